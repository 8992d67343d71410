#include "TiffOpen.h"

#include <cerrno>
#include <memory>
#include <new>

#include "FileIo.h"
#include "QuietTiff.h"
#include "TiffStatus.h"
#include "Utf8.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace Talvenrock {
namespace Orvo {

namespace {

const char* const kWriteMode = "w";

// Runs `open` with options that swallow libtiff's messages for the handle,
// keeping the reason of a failed open past the freeing of the options.
template <class Open>
TIFF* openQuietly(Open open)
{
    TiffOptions options = quietTiffOptions(nullptr);
    clearSystemError();
    TIFF* tif = open(options.get());
    const int openErrno = errno;
#ifdef _WIN32
    const DWORD openError = GetLastError();
#endif
    options.reset();
    errno = openErrno;
#ifdef _WIN32
    SetLastError(openError);
#endif
    return tif;
}

}  // namespace

TIFF* openTiffForWriting(const std::wstring& path)
{
    return openQuietly([&](TIFFOpenOptions* options) {
#ifdef _WIN32
        // The wide path goes to libtiff unchanged, so every name the file
        // system accepts can be written.
        return TIFFOpenWExt(path.c_str(), kWriteMode, options);
#else
        return TIFFOpenExt(utf8(path).c_str(), kWriteMode, options);
#endif
    });
}

TIFF* openTiffForWriting(std::intptr_t native, const std::wstring& name)
{
    const std::string narrowName = utf8(name);
    return openQuietly([&](TIFFOpenOptions* options) {
        return openTiffOnFile(native, narrowName.c_str(), kWriteMode, options);
    });
}

}  // namespace Orvo
}  // namespace Talvenrock
