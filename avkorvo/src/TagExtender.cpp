#include "TagExtender.h"

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

// Written once under the once-flag below, before any handle can call the
// extender that reads it.
TIFFExtendProc previousExtender = nullptr;
std::once_flag installOnce;

}  // namespace

const char* const kSubfileTagName = subfileTagName;

void XTIFFDefaultDirectory(TIFF* tif) {
    // The tag is merged anew for each directory because libtiff resets a
    // handle's field list whenever it sets up a directory.
    TIFFMergeFieldInfo(tif, subfileFieldInfo, sizeof subfileFieldInfo / sizeof subfileFieldInfo[0]);
    if (previousExtender) previousExtender(tif);
}

void XTIFFInitialize() {
    std::call_once(installOnce, [] {
        const TIFFExtendProc before = TIFFSetTagExtender(XTIFFDefaultDirectory);
        // Never our own predecessor, or every directory set-up would recurse.
        previousExtender = before == XTIFFDefaultDirectory ? nullptr : before;
    });
}

}  // namespace Orvo
}  // namespace Talvenrock
