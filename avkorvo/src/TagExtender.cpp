#include "TagExtender.h"

#include <atomic>
#include <mutex>

namespace Talvenrock {
namespace Orvo {

namespace {

// TIFFFieldInfo takes a mutable name pointer; libtiff never writes through it.
char subfileTagName[] = "QuillornSubfileData";

constexpr short kOneValue = 1;
constexpr unsigned char kMayChangeWhileWriting = 1;
constexpr unsigned char kNoCountPassed = 0;

const TIFFFieldInfo subfileFieldInfo[] = {
    {kSubfileTag, kOneValue, kOneValue, TIFF_LONG, FIELD_CUSTOM, kMayChangeWhileWriting,
     kNoCountPassed, subfileTagName},
};

// Set once, right after our extender is installed. Atomic because a handle
// opened by another thread of the host in that moment may already call the
// extender.
std::atomic<TIFFExtendProc> previousExtender{nullptr};
std::atomic<bool> installed{false};
std::once_flag installOnce;

// When the module holding this library is unloaded (or the process ends),
// libtiff, which may stay loaded in the host, must not keep calling an
// extender whose code is gone: the earlier extender is put back. If another
// extender was installed after ours it calls ours in turn and has to stay;
// then nothing can be undone safely and the extender is left in place.
struct ExtenderRemoval {
    ~ExtenderRemoval() {
        if (!installed.load()) return;
        const TIFFExtendProc current = TIFFSetTagExtender(previousExtender.load());
        if (current != XTIFFDefaultDirectory) TIFFSetTagExtender(current);
    }
} extenderRemoval;

}  // namespace

void XTIFFDefaultDirectory(TIFF* tif) {
    // The tag is merged anew for each directory because libtiff resets a
    // handle's field list whenever it sets up a directory.
    TIFFMergeFieldInfo(tif, subfileFieldInfo, sizeof subfileFieldInfo / sizeof subfileFieldInfo[0]);
    if (const TIFFExtendProc previous = previousExtender.load()) previous(tif);
}

void XTIFFInitialize() {
    std::call_once(installOnce, [] {
        const TIFFExtendProc before = TIFFSetTagExtender(XTIFFDefaultDirectory);
        // Never our own predecessor, or every directory set-up would recurse.
        previousExtender.store(before == XTIFFDefaultDirectory ? nullptr : before);
        installed.store(true);
    });
}

}  // namespace Orvo
}  // namespace Talvenrock
