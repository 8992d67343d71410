// The writer's file: libtiff I/O procedures on a file the caller opened and
// keeps (OrvoFile::OpenFile, which the writer never closes), and positioned
// reads and writes on an open file, for the writer's own updates beside
// libtiff's.
#pragma once

#include <tiffio.h>

#include <cstdint>

namespace Talvenrock {
namespace Orvo {

// Opens a libtiff handle in `mode` on the open file `native` (a file
// descriptor; on Windows a HANDLE), which must stay open until TIFFClose.
// `name` is only for libtiff's own messages. A failed read, write or seek
// leaves its reason where throwSystemError finds it: errno, or on Windows
// the thread's last Win32 error. Returns nullptr when libtiff refuses.
TIFF* openTiffOnFile(std::intptr_t native, const char* name, const char* mode,
                     TIFFOpenOptions* options);

// No file: -1 is neither a descriptor nor a valid HANDLE
// (INVALID_HANDLE_VALUE).
constexpr std::intptr_t kNoFile = -1;

// All of `size` bytes at `offset`, in one call where the system allows:
// the appends and in-place updates of a scan cost one system call each
// instead of a seek and a transfer. On POSIX systems the file position is
// left alone; on Windows it moves past the transfer. libtiff positions the
// file itself before each strip and directory it writes, so it relies on
// neither. False, with the reason left for throwSystemError, when the
// transfer failed or came up short.
bool writeAt(std::intptr_t native, std::uint64_t offset, const void* data, std::size_t size);
bool readAt(std::intptr_t native, std::uint64_t offset, void* data, std::size_t size);

}  // namespace Orvo
}  // namespace Talvenrock
