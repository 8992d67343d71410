#include "TagExtender.h"
#include "TiffStatus.h"

#include <atomic>
#include <mutex>

#include "avkorvo/OrvoFile.h"

namespace Talvenrock {
namespace Orvo {

namespace {

constexpr short kOneValue = 1;
constexpr unsigned char kMayChangeWhileWriting = 1;
constexpr unsigned char kNoCountPassed = 0;

// TIFFFieldInfo takes a mutable name pointer; libtiff never writes through
// it, so the shared constant name can be handed over as it is.
const TIFFFieldInfo subfileFieldInfo[] = {
    {kSubfileTag, kOneValue, kOneValue, TIFF_LONG, FIELD_CUSTOM, kMayChangeWhileWriting,
     kNoCountPassed, const_cast<char*>(kSubfileTagName)},
};

// libtiff swaps extenders without telling the old one until the swap is
// done, so our extender is live a moment before its predecessor is known. A
// handle opened by another thread of the host in that moment would skip the
// predecessor. The installer holds installLock across the swap and the
// store; the extender, until `installed` is set, takes the lock to wait for
// the predecessor. Nothing else ever blocks on it.
std::atomic<TIFFExtendProc> previousExtender{nullptr};
std::atomic<bool> installed{false};
std::mutex installLock;
std::once_flag installOnce;

// When the module holding this library is unloaded (or the process ends),
// libtiff, which may stay loaded in the host, must not keep calling an
// extender whose code is gone: the earlier extender is put back. If another
// extender was installed after ours it calls ours in turn and has to stay;
// then nothing can be undone safely and the extender is left in place.
struct ExtenderRemoval {
    ~ExtenderRemoval()
    {
        if (!installed.load())
            return;
        const TIFFExtendProc current = TIFFSetTagExtender(previousExtender.load());
        if (current != XTIFFDefaultDirectory)
            TIFFSetTagExtender(current);
    }
} extenderRemoval;

}  // namespace

void XTIFFDefaultDirectory(TIFF* tif)
{
    // The tag is merged anew for each directory because libtiff resets a
    // handle's field list whenever it sets up a directory.
    TIFFMergeFieldInfo(tif, subfileFieldInfo, sizeof subfileFieldInfo / sizeof subfileFieldInfo[0]);
    if (!installed.load()) {
        const std::lock_guard<std::mutex> waitForInstaller(installLock);
    }
    if (const TIFFExtendProc previous = previousExtender.load())
        previous(tif);
}

void XTIFFInitialize()
{
    std::call_once(installOnce, [] {
        const std::lock_guard<std::mutex> lock(installLock);
        const TIFFExtendProc before = TIFFSetTagExtender(XTIFFDefaultDirectory);
        if (TagInstallation::pause_)
            TagInstallation::pause_();
        // Never our own predecessor, or every directory set-up would recurse.
        previousExtender.store(before == XTIFFDefaultDirectory ? nullptr : before);
        installed.store(true);
    });
}

std::uint32_t subfileTagValue(std::uint64_t offset) { return classicOffset(offset); }

void (*TagInstallation::pause_)() = nullptr;

}  // namespace Orvo
}  // namespace Talvenrock
