#include "hostsim/Host.h"

#include <cstring>
#include <utility>

#include "hostabi/lxguids.h"

namespace fennick {
namespace hostsim {

namespace {

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
            SimObject* service = nullptr;
            if (iid && m_host.policy.offersService(*iid)) {
                if (sameGUID(*iid, LXu_GUIDSERVICE))
                    service = &m_host.lookup;
                else if (sameGUID(*iid, LXu_LOGSERVICE))
                    service = &m_host.logService;
            }
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

    explicit Impl(HostPolicy& answers) : policy(answers), logService(answers) {}

    HostPolicy& policy;
    SimGUIDService lookup;
    SimLogService logService;
    Context context{*this};
};

Host::Host() : Host(HostPolicy::wellBehaved()) {}

Host::Host(HostPolicy& policy) : m_impl(std::make_unique<Impl>(policy)) {}

Host::~Host() = default;

LXtObjectID Host::context() { return m_impl->context.id(); }

const std::vector<LogRecord>& Host::messages() const { return m_impl->logService.records(); }

long Host::liveReferences() const
{
    return m_impl->context.references() + m_impl->lookup.references()
           + m_impl->logService.totalReferences();
}

long Host::misuses() const
{
    return m_impl->context.misuses() + m_impl->lookup.misuses() + m_impl->logService.totalMisuses();
}

}  // namespace hostsim
}  // namespace fennick
