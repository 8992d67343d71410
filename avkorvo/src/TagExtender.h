// Registration of the custom tag that points each directory of an Orvo file
// at its sub-file block.
#pragma once

#include <tiffio.h>

#include <cstdint>

#include "avkorvo/OrvoFormat.h"

namespace Talvenrock {
namespace Orvo {

// The value of the tag kSubfileTag (OrvoFormat.h) for a block at file
// offset `offset`. The tag holds 32 bits in every file, so a block past
// 4 GiB raises "offset out of range" rather than pointing a reader at the
// wrong bytes.
std::uint32_t subfileTagValue(std::uint64_t offset);

// Installs the tag extender once per process; later calls return at once.
// Safe when writers are created on several threads at the same time: the
// installation runs exactly once and the extender that was installed before
// is kept and called on. Must run before the first TIFF handle that should
// know the tag is opened.
void XTIFFInitialize();

// libtiff calls this for every directory of every handle it sets up after
// XTIFFInitialize: merges the custom tag's field description into the
// handle, then hands on to the extender installed before, if any.
void XTIFFDefaultDirectory(TIFF* tif);

// The moment inside the installation after our extender is live and before
// its predecessor is recorded. Nothing happens there; the writer's tests
// (WriterTestAccess, defined by the tests only) hold the installation up
// in it to open a handle in exactly that moment.
class TagInstallation {
private:
    friend class WriterTestAccess;
    friend void XTIFFInitialize();
    static void (*pause_)();
};

}  // namespace Orvo
}  // namespace Talvenrock
