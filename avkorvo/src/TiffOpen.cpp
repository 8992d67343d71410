#include "TiffOpen.h"

#include <cerrno>
#include <cstdarg>
#include <memory>
#include <new>

#include "FileIo.h"
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

// Runs `open` with options that swallow libtiff's messages for the handle,
// keeping the reason of a failed open past the freeing of the options.
template <class Open>
TIFF* openQuietly(Open open) {
    std::unique_ptr<TIFFOpenOptions, OptionsRelease> options(TIFFOpenOptionsAlloc());
    if (!options) throw std::bad_alloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), swallowTiffMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), swallowTiffMessage, nullptr);

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

TIFF* openTiffForWriting(const std::wstring& path) {
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

TIFF* openTiffForWriting(std::intptr_t native, const std::wstring& name) {
    const std::string narrowName = utf8(name);
    return openQuietly([&](TIFFOpenOptions* options) {
        return openTiffOnFile(native, narrowName.c_str(), kWriteMode, options);
    });
}

}  // namespace Orvo
}  // namespace Talvenrock
