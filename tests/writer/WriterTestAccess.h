// The writer's tests reach its internals only through this class, which the
// writer declares as a friend and which only the tests define: no caller of
// the shipped library can change what these set.
#pragma once

#include "avkorvo/src/OrvoFileImp.h"
#include "avkorvo/src/TagExtender.h"

namespace Talvenrock {
namespace Orvo {

class WriterTestAccess {
public:
    // Every directory rewrite is left to libtiff, the reference the
    // writer's own strip-entry updates are checked against.
    static void rewriteWholeDirectories(OrvoFileImp& writer) { writer.writeStripEntries_ = false; }

    // `pause` runs inside the tag's installation, after our extender is
    // live and before its predecessor is recorded. Set it before the first
    // writer of the process is created.
    static void pauseTagInstallation(void (*pause)()) { TagInstallation::pause_ = pause; }
};

}  // namespace Orvo
}  // namespace Talvenrock
