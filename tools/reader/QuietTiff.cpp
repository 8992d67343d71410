#include "tools/reader/QuietTiff.h"

#include <cstdarg>
#include <cstdio>

namespace orvoread {

namespace {
// libtiff's messages are short; longer ones are cut, which only shortens the
// explanation attached to our own message.
constexpr std::size_t kMessageBufferSize = 512;
// libtiff refuses single allocations above this, so that a damaged count in
// a directory cannot make it reserve gigabytes.
constexpr tmsize_t kMaxTiffAllocation = tmsize_t(1) << 30;

struct OptionsHolder {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    ~OptionsHolder() { TIFFOpenOptionsFree(opts); }
};
}  // namespace

QuietTiff::QuietTiff(const std::string& path, const char* mode)
{
    OptionsHolder options;
    if (options.opts == nullptr) {
        lastError_ = "out of memory";
        return;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.opts, &QuietTiff::onError, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options.opts, &QuietTiff::onWarning, this);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.opts, kMaxTiffAllocation);
    tif_ = TIFFOpenExt(path.c_str(), mode, options.opts);
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

int QuietTiff::onError(TIFF*, void* self, const char* module, const char* fmt, va_list ap)
{
    char buffer[kMessageBufferSize];
    std::vsnprintf(buffer, sizeof buffer, fmt, ap);
    auto* me = static_cast<QuietTiff*>(self);
    me->lastError_ = buffer;
    (void)module;
    return 1;  // handled: libtiff calls no global handler
}

int QuietTiff::onWarning(TIFF*, void*, const char*, const char*, va_list)
{
    // Warnings (unknown tags, odd but readable values) are dropped: the
    // reader's own checks decide what is wrong with a file.
    return 1;
}

}  // namespace orvoread
