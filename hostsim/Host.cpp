#include "hostsim/Host.h"

#include <cstring>
#include <utility>

#include "hostabi/lxguids.h"

namespace hostsim {

namespace {

bool sameGUID(const LXtGUID& a, const LXtGUID& b)
{
    return std::memcmp(&a, &b, sizeof(LXtGUID)) == 0;
}

// The host's own, persistent copies of the GUIDs it knows, with their names.
const std::pair<const char*, LXtGUID> kKnownGUIDs[] = {
    {"Log", LXu_LOG},
    {"LogEntry", LXu_LOGENTRY},
    {"Image", LXu_IMAGE},
    {"LayeredImage", LXu_LAYEREDIMAGE},
    {"LogService", LXu_LOGSERVICE},
    {"GUIDService", LXu_GUIDSERVICE},
};

// Stands in for any context-only interface GUID; the context is only ever
// reached as ILxUnknown.
constexpr LXtGUID kContextGUID = LXu_UNKNOWN;

class SimGUIDService : public SimObject {
public:
    SimGUIDService();

    const LXtGUID* byName(const char* name)
    {
        if (!name) {
            misuse();
            return nullptr;
        }
        for (const auto& known : kKnownGUIDs) {
            if (std::strcmp(known.first, name) == 0)
                return &known.second;
        }
        return nullptr;
    }

    const LXtGUID* fixed(const LXtGUID* guid)
    {
        if (!guid) {
            misuse();
            return nullptr;
        }
        for (const auto& known : kKnownGUIDs) {
            if (sameGUID(known.second, *guid))
                return &known.second;
        }
        return nullptr;
    }
};

const LXtGUID* LXx_CALL ByNameEntry(LXtObjectID self, const char* name)
{
    return static_cast<SimGUIDService*>(SimObject::from(self))->byName(name);
}

const LXtGUID* LXx_CALL FixedEntry(LXtObjectID self, const LXtGUID* guid)
{
    return static_cast<SimGUIDService*>(SimObject::from(self))->fixed(guid);
}

const ILxGUIDServiceVT kGUIDServiceTable = [] {
    ILxGUIDServiceVT t{};
    t.unk = SimObject::unknownEntries();
    t.ByName = ByNameEntry;
    t.Fixed = FixedEntry;
    return t;
}();

SimGUIDService::SimGUIDService() : SimObject(&kGUIDServiceTable, LXu_GUIDSERVICE) {}

const ILxUnknownVT kContextTable = SimObject::unknownEntries();

}  // namespace

struct Host::Impl {
    class Context : public SimObject {
    public:
        explicit Context(Impl& host) : SimObject(&kContextTable, kContextGUID), m_host(host) {}

        LxResult queryInterface(const LXtGUID* iid, void** out) override
        {
            if (iid)
                m_host.queries.push_back(*iid);
            SimObject* service = nullptr;
            if (iid && sameGUID(*iid, LXu_GUIDSERVICE) && !m_host.withholdLookup)
                service = &m_host.lookup;
            else if (iid && sameGUID(*iid, LXu_LOGSERVICE) && !m_host.withholdLog)
                service = &m_host.logService;
            if (!service)
                return SimObject::queryInterface(iid, out);
            if (!out) {
                misuse();
                return LXe_FAILED;
            }
            service->addRef();
            *out = service->id();
            return LXe_OK;
        }

    private:
        Impl& m_host;
    };

    SimGUIDService lookup;
    SimLogService logService;
    Context context{*this};
    std::vector<LXtGUID> queries;
    bool withholdLookup = false;
    bool withholdLog = false;
};

Host::Host() : m_impl(std::make_unique<Impl>()) {}

Host::~Host() = default;

LXtObjectID Host::context()
{
    return m_impl->context.id();
}

const std::vector<LogRecord>& Host::messages() const
{
    return m_impl->logService.records();
}

void Host::withholdLogService(bool withhold)
{
    m_impl->withholdLog = withhold;
}

void Host::withholdLookupService(bool withhold)
{
    m_impl->withholdLookup = withhold;
}

void Host::withholdSubsystem(const std::string& name)
{
    m_impl->logService.withholdSubsystem(name);
}

void Host::failNewEntry(bool fail)
{
    m_impl->logService.failNewEntry(fail);
}

long Host::contextQueries(const LXtGUID& iid) const
{
    long count = 0;
    for (const auto& asked : m_impl->queries) {
        if (sameGUID(asked, iid))
            ++count;
    }
    return count;
}

long Host::liveReferences() const
{
    return m_impl->context.references() + m_impl->lookup.references() +
           m_impl->logService.totalReferences();
}

long Host::misuses() const
{
    return m_impl->context.misuses() + m_impl->lookup.misuses() + m_impl->logService.totalMisuses();
}

}  // namespace hostsim
