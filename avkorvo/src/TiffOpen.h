// Opening the TIFF handle of a new Orvo file.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <string>

namespace Talvenrock {
namespace Orvo {

// Creates or truncates the file at `path` as a classic TIFF file in the
// machine's byte order (libtiff mode "w"). libtiff's warnings and errors for
// this handle are swallowed: the writer runs inside a host application whose
// console is not ours, and it reports failures through its own errors.
// Returns nullptr when the file cannot be opened, with the reason as the
// failed open left it (for throwSystemError). The caller owns the handle
// and releases it with TIFFClose.
TIFF* openTiffForWriting(const std::wstring& path);

// The same on a file the caller opened (OrvoFile::OpenFile) and keeps: the
// handle writes through it and never closes it. `name` stands for the file
// in libtiff's own (swallowed) messages.
TIFF* openTiffForWriting(std::intptr_t native, const std::wstring& name);

}  // namespace Orvo
}  // namespace Talvenrock
