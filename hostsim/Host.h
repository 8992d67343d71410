// An in-process stand-in for the host application, as far as a plug-in
// module sees it: the context object, the GUID-lookup service, the log
// service with its logs, and the record of every message logged.
//
// The Host owns all of these objects; they live exactly as long as the Host.
// A plug-in borrows them through QueryInterface/AddRef and gives them back
// with Release; liveReferences() tells how many it still holds, so a test can
// assert that a save or a module released everything it took.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hostabi/lxtypes.h"
#include "hostsim/SimLog.h"

namespace hostsim {

class Host {
public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The context object handed to a module (borrowed: whoever gives it to
    // a module adds the reference the module will own).
    LXtObjectID context();

    // Every log entry accepted by any log, in order.
    const std::vector<LogRecord>& messages() const;

    // Switches for failure tests. A withheld service is not answered by the
    // context's QueryInterface; a withheld subsystem has no log.
    void withholdLogService(bool withhold);
    void withholdLookupService(bool withhold);
    void withholdSubsystem(const std::string& name);
    // The log service refuses to make entries.
    void failNewEntry(bool fail);

    // How often the context was asked for an interface, for one GUID.
    long contextQueries(const LXtGUID& iid) const;

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
