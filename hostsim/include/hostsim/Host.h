// An in-process stand-in for the host application, as far as a plug-in
// module sees it: the context object, the GUID-lookup service, the log
// service with its logs, and the record of every message logged.
//
// The Host owns all of these objects; they live exactly as long as the Host.
// A plug-in borrows them through QueryInterface/AddRef and gives them back
// with Release; liveReferences() tells how many it still holds, so a test can
// assert that a save or a module released everything it took.
//
// What the host offers (its services, its logs, its entries) is asked of a
// HostPolicy, the well-behaved host unless another is given.
#pragma once

#include <memory>
#include <vector>

#include "hostabi/lxtypes.h"
#include "hostsim/HostPolicy.h"
#include "hostsim/SimLog.h"

namespace fennick {
namespace hostsim {

class Host {
public:
    // A host that offers everything it has.
    Host();
    // A host that asks `policy` what it offers; the policy is borrowed and
    // must outlive the Host.
    explicit Host(HostPolicy& policy);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The context object handed to a module (borrowed: whoever gives it to
    // a module adds the reference the module will own).
    LXtObjectID context();

    // Every log entry accepted by any log, in order.
    const std::vector<LogRecord>& messages() const;

    // The counts stay with every host, not only a test's: a host cannot
    // free an object a plug-in still holds, so its objects count references
    // in any case, and a caller that drives a real plug-in (the tool) may
    // report one that keeps references or releases too often.

    // References on the host's objects still held by others.
    long liveReferences() const;
    // Calls that broke the rules (see SimObject::misuses); 0 for a
    // well-behaved plug-in.
    long misuses() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace hostsim
}  // namespace fennick
