// Typed handles of the host interfaces the plug-in holds. Each is the shape
// of the host's object as the plug-in sees it: a first word pointing at the
// interface's function table (hostabi/lxvtables.h). The objects themselves are
// the host's; these types only let the wrappers call through the right table.
#pragma once

#include "hostabi/lxvtables.h"

struct ILxLog {
    const ILxLogVT* vt;
};
struct ILxLogEntry {
    const ILxLogEntryVT* vt;
};
struct ILxImage {
    const ILxImageVT* vt;
};
struct ILxLayeredImage {
    const ILxLayeredImageVT* vt;
};
struct ILxLogService {
    const ILxLogServiceVT* vt;
};
struct ILxGUIDService {
    const ILxGUIDServiceVT* vt;
};
