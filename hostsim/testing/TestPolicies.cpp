#include "hostsim/testing/TestPolicies.h"

#include "hostabi/lxguids.h"
#include "hostsim/SimObject.h"

namespace fennick {
namespace hostsim {

long TestHostPolicy::contextQueries(const LXtGUID& iid) const
{
    long count = 0;
    for (const auto& asked : m_queries) {
        if (sameGUID(asked, iid))
            ++count;
    }
    return count;
}

bool TestHostPolicy::offersService(const LXtGUID& iid)
{
    m_queries.push_back(iid);
    if (sameGUID(iid, LXu_LOGSERVICE))
        return !m_withholdLog;
    if (sameGUID(iid, LXu_GUIDSERVICE))
        return !m_withholdLookup;
    return true;
}

bool TestHostPolicy::hasLog(const std::string& subsystem)
{
    return m_withheldSubsystems.count(subsystem) == 0;
}

bool TestHostPolicy::makesEntry() { return !m_failNewEntry; }

void TestLayeredImagePolicy::claimSize(unsigned width, unsigned height)
{
    m_claimedWidth = width;
    m_claimedHeight = height;
    m_claimsSize = true;
}

void TestLayeredImagePolicy::size(unsigned& width, unsigned& height)
{
    if (!m_claimsSize)
        return;
    width = m_claimedWidth;
    height = m_claimedHeight;
}

LxResult TestLayeredImagePolicy::nameResult(unsigned index)
{
    const auto failing = m_nameCodes.find(index);
    return failing == m_nameCodes.end() ? LXe_OK : failing->second;
}

bool TestLayeredImagePolicy::givesImage(unsigned index)
{
    return m_failingImages.count(index) == 0;
}

}  // namespace hostsim
}  // namespace fennick
