// A libtiff handle whose warnings and errors are kept with the handle instead
// of being printed: libtiff's own texts must not clutter the tool's output,
// and the reader turns them into messages that name the file and the place.
//
// Internal to the reader library and the tool; not part of the reader's
// public interface.
#pragma once

#include <tiffio.h>

#include <string>

namespace orvoread {

class QuietTiff {
public:
    // Opens path in the libtiff mode given ("r", "w"). On failure get() is
    // null and lastError() says why, in libtiff's words.
    QuietTiff(const std::string& path, const char* mode);
    QuietTiff(const QuietTiff&) = delete;
    QuietTiff& operator=(const QuietTiff&) = delete;
    // Closes the handle; never throws.
    ~QuietTiff();

    TIFF* get() const { return tif_; }
    // Closes the handle now (for writers: flushes), returning false when
    // libtiff reported an error while closing.
    bool close();

    // The last error libtiff reported on this handle ("" when none), and
    // forgets it, so that each operation can ask for its own.
    std::string takeError();

private:
    static int onError(TIFF*, void* self, const char* module, const char* fmt, va_list ap);
    static int onWarning(TIFF*, void* self, const char* module, const char* fmt, va_list ap);

    TIFF* tif_ = nullptr;
    std::string lastError_;
};

}  // namespace orvoread
