// Policies for failure tests: a host and a layered image that answer well
// until a test switches one answer off, and a record of what the context
// was asked. A test hands a policy to the Host or SimLayeredImage it
// drives and keeps the policy alive for as long as that object lives.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "hostsim/HostPolicy.h"

namespace fennick {
namespace hostsim {

class TestHostPolicy : public HostPolicy {
public:
    // A withheld service is not answered by the context's QueryInterface.
    void withholdLogService(bool withhold) { m_withholdLog = withhold; }
    void withholdLookupService(bool withhold) { m_withholdLookup = withhold; }
    // A withheld subsystem has no log.
    void withholdSubsystem(const std::string& name) { m_withheldSubsystems.insert(name); }
    // The log service refuses to make entries.
    void failNewEntry(bool fail) { m_failNewEntry = fail; }

    // How often the context was asked for an interface, for one GUID.
    long contextQueries(const LXtGUID& iid) const;

    bool offersService(const LXtGUID& iid) override;
    bool hasLog(const std::string& subsystem) override;
    bool makesEntry() override;

private:
    bool m_withholdLog = false;
    bool m_withholdLookup = false;
    bool m_failNewEntry = false;
    std::set<std::string> m_withheldSubsystems;
    std::vector<LXtGUID> m_queries;
};

class TestLayeredImagePolicy : public LayeredImagePolicy {
public:
    // The name query for this layer answers `code` instead of the name.
    void failName(unsigned index, LxResult code) { m_nameCodes[index] = code; }
    // The image fetch for this layer fails.
    void failImage(unsigned index) { m_failingImages.insert(index); }
    // The layered image answers this size instead of its layers' own, as a
    // host whose image and layers disagree would.
    void claimSize(unsigned width, unsigned height);

    void size(unsigned& width, unsigned& height) override;
    LxResult nameResult(unsigned index) override;
    bool givesImage(unsigned index) override;

private:
    std::map<unsigned, LxResult> m_nameCodes;
    std::set<unsigned> m_failingImages;
    bool m_claimsSize = false;
    unsigned m_claimedWidth = 0;
    unsigned m_claimedHeight = 0;
};

}  // namespace hostsim
}  // namespace fennick
