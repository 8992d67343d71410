#include "TiffOpen.h"

#include <cerrno>
#include <cstdarg>
#include <memory>
#include <new>

#include "TiffStatus.h"
#include "Utf8.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace Talvenrock {
namespace Orvo {

namespace {

const char* const kWriteMode = "w";

// Returning 1 tells libtiff the message was handled, so the process-wide
// handlers (which print to stderr by default) are not called.
int swallowTiffMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsRelease {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

TIFF* openTiffForWriting(const std::wstring& path) {
    std::unique_ptr<TIFFOpenOptions, OptionsRelease> options(TIFFOpenOptionsAlloc());
    if (!options) throw std::bad_alloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), swallowTiffMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), swallowTiffMessage, nullptr);

    clearSystemError();
#ifdef _WIN32
    // The wide path goes to libtiff unchanged, so every name the file system
    // accepts can be written.
    TIFF* tif = TIFFOpenWExt(path.c_str(), kWriteMode, options.get());
#else
    TIFF* tif = TIFFOpenExt(utf8(path).c_str(), kWriteMode, options.get());
#endif
    // Freeing the options must not hide why the open failed.
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

}  // namespace Orvo
}  // namespace Talvenrock
