// libtiff I/O on a file the caller opened and keeps: the writer of an Orvo
// file given as an open file (OrvoFile::OpenFile) reads, writes and seeks
// through these procedures and never closes the file.
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
TIFF* openTiffOnFile(std::intptr_t native, const char* name, const char* mode, TIFFOpenOptions* options);

}  // namespace Orvo
}  // namespace Talvenrock
