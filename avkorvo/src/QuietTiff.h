// libtiff handles that never print. libtiff reports warnings and errors
// through process-wide handlers that write to stderr by default; the writer
// runs inside a host whose console is not ours, and the reader's users get
// messages that name the file and the place instead of libtiff's texts. Both
// halves of the library open their handles with these options, so that no
// handle of ours ever reaches the global handlers.
#pragma once

#include <tiffio.h>

#include <memory>
#include <string>

namespace Talvenrock {
namespace Orvo {

struct TiffOptionsRelease {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
using TiffOptions = std::unique_ptr<TIFFOpenOptions, TiffOptionsRelease>;

// No limit on a single allocation: libtiff's own default.
constexpr tmsize_t kNoAllocationLimit = 0;

// Options for TIFFOpenExt and its relatives. Warnings are dropped. The text
// of each error libtiff reports on the handle goes to `lastError`, replacing
// the one before, or is dropped when `lastError` is null; the string must
// outlive the handle. `maxSingleAllocation` bounds each allocation libtiff
// makes for the handle, so that a damaged count cannot make it reserve
// gigabytes. The options may be freed once the handle is open. Throws
// std::bad_alloc.
TiffOptions quietTiffOptions(std::string* lastError,
                             tmsize_t maxSingleAllocation = kNoAllocationLimit);

// The reader's handle: opened quietly, its errors kept for the reader's own
// messages.
class QuietTiff {
public:
    // Opens path in the libtiff mode given ("r", "w"). On failure get() is
    // null and takeError() says why, in libtiff's words.
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
    std::string lastError_;
    TIFF* tif_ = nullptr;
};

}  // namespace Orvo
}  // namespace Talvenrock
