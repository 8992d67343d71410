#include "QuietTiff.h"

#include <cstdarg>
#include <cstdio>
#include <new>

namespace Talvenrock {
namespace Orvo {

namespace {

// libtiff's messages are short; longer ones are cut, which only shortens the
// explanation attached to our own message.
constexpr std::size_t kMessageBufferSize = 512;
// What the reader lets libtiff allocate at once.
constexpr tmsize_t kReaderAllocationLimit = tmsize_t(1) << 30;

// Returning 1 tells libtiff the message was handled, so the process-wide
// handlers are not called.
constexpr int kHandled = 1;

int keepError(TIFF*, void* lastError, const char*, const char* fmt, va_list ap)
{
    if (lastError != nullptr) {
        char buffer[kMessageBufferSize];
        std::vsnprintf(buffer, sizeof buffer, fmt, ap);
        *static_cast<std::string*>(lastError) = buffer;
    }
    return kHandled;
}

int dropWarning(TIFF*, void*, const char*, const char*, va_list) { return kHandled; }

}  // namespace

TiffOptions quietTiffOptions(std::string* lastError, tmsize_t maxSingleAllocation)
{
    TiffOptions options(TIFFOpenOptionsAlloc());
    if (!options)
        throw std::bad_alloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), keepError, lastError);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), dropWarning, nullptr);
    if (maxSingleAllocation != kNoAllocationLimit)
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), maxSingleAllocation);
    return options;
}

QuietTiff::QuietTiff(const std::string& path, const char* mode)
{
    const TiffOptions options = quietTiffOptions(&lastError_, kReaderAllocationLimit);
    tif_ = TIFFOpenExt(path.c_str(), mode, options.get());
}

QuietTiff::~QuietTiff()
{
    if (tif_ != nullptr)
        TIFFClose(tif_);
}

bool QuietTiff::close()
{
    if (tif_ == nullptr)
        return true;
    lastError_.clear();
    TIFFClose(tif_);
    tif_ = nullptr;
    return lastError_.empty();
}

std::string QuietTiff::takeError()
{
    std::string e;
    e.swap(lastError_);
    return e;
}

}  // namespace Orvo
}  // namespace Talvenrock
