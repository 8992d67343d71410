#include "host/ThisModule.h"

#include <cstring>

#include "host/lx.h"
#include "hostabi/lxguids.h"

CLxThisModule thisModule;

namespace {
// Tag type under which every server is listed to the host.
const char* const kServerTagType = "server";
}  // namespace

CLxThisModule::CLxThisModule()
{
    AddInterface(&m_moduleIfc);
    AddInterface(&m_tagIfc);
    AddInterface(&m_needIfc);
}

int CLxThisModule::AddServer(const char* name, CLxGenericPolymorph* server)
{
    if (m_serverCount >= kMaxServers || !name || !server || !server->DefaultInterface())
        return m_serverCount;
    m_servers[m_serverCount] = server;
    m_serverNames[m_serverCount] = name;
    m_serverGuids[m_serverCount] = server->DefaultInterface();
    return ++m_serverCount;
}

LxResult CLxThisModule::mod_Generate(const char* name, const LXtGUID* iid, void** out)
{
    if (!name || !iid)
        return LXe_NOTFOUND;
    for (int i = 0; i < m_serverCount; ++i) {
        if (std::strcmp(name, m_serverNames[i]) != 0 || lx::GUIDCompare(iid, m_serverGuids[i]) != 0)
            continue;
        if (!out)
            return LXe_FAILED;
        *out = m_servers[i]->Spawn(iid);
        return *out ? LXe_OK : LXe_FAILED;
    }
    return LXe_NOTFOUND;
}

unsigned CLxThisModule::tag_Count() { return static_cast<unsigned>(m_serverCount); }

LxResult CLxThisModule::tag_Describe(unsigned index, LXtTagInfoDesc* desc)
{
    if (index >= static_cast<unsigned>(m_serverCount))
        return LXe_OUTOFBOUNDS;
    if (!desc)
        return LXe_FAILED;
    desc->type = kServerTagType;
    desc->info = m_serverNames[index];
    desc->data = m_serverGuids[index];
    return LXe_OK;
}

CLxThisModule::~CLxThisModule() = default;

LxResult CLxThisModule::need_SetContext(LXtObjectID context)
{
    // The same context again hands over no new reference of its own to keep:
    // releasing it here would leave the module holding a released pointer.
    LXtObjectID previous = m_context;
    m_context = context;
    if (previous && previous != context)
        lx::ObjRelease(previous);
    return LXe_OK;
}

void* CLxThisModule::NewObj()
{
    ++m_liveInstances;
    return this;
}

void CLxThisModule::FreeObj(void* /*object*/)
{
    // Every instance leads to this one object, so only the last one to go
    // may give back what they all use. That includes an instance whose proxy
    // could not be made: the polymorph frees it at once, while earlier
    // instances still hold the context and the globals.
    if (m_liveInstances > 1) {
        --m_liveInstances;
        return;
    }
    m_liveInstances = 0;
    for (int i = 0; i < m_globalCount; ++i) {
        void* value = m_globalValues[i];
        m_globalValues[i] = nullptr;
        m_globalKeys[i] = nullptr;
        lx::ObjRelease(value);
    }
    m_globalCount = 0;

    // The lookup service came from a QueryInterface on the context and
    // carries a reference of ours like any other global.
    if (m_lookup) {
        ILxGUIDService* lookup = m_lookup;
        m_lookup = nullptr;
        lx::ObjRelease(lookup);
    }
    if (m_context) {
        LXtObjectID context = m_context;
        m_context = nullptr;
        lx::ObjRelease(context);
    }
}

bool CLxThisModule::InitService()
{
    if (m_lookup)
        return true;
    if (!m_context)
        return false;
    void* service = nullptr;
    if (LXx_FAIL(
            lxTable<ILxUnknownVT>(m_context)->QueryInterface(m_context, &LXu_GUIDSERVICE, &service))
        || !service)
        return false;
    m_lookup = static_cast<ILxGUIDService*>(service);
    return true;
}

const LXtGUID* CLxThisModule::LookupGUID(const char* name)
{
    if (!InitService())
        return nullptr;
    return m_lookup->vt->ByName(m_lookup, name);
}

const LXtGUID* CLxThisModule::LookupGUID(const LXtGUID* guid)
{
    if (!InitService())
        return nullptr;
    return m_lookup->vt->Fixed(m_lookup, guid);
}

void* CLxThisModule::GetGlobal(const LXtGUID* guid)
{
    if (!m_context || !guid)
        return nullptr;
    for (int i = 0; i < m_globalCount; ++i) {
        if (lx::GUIDCompare(m_globalKeys[i], guid) == 0)
            return m_globalValues[i];
    }
    if (m_globalCount >= kMaxGlobals)
        return nullptr;

    void* value = nullptr;
    if (LXx_FAIL(lxTable<ILxUnknownVT>(m_context)->QueryInterface(m_context, guid, &value))
        || !value)
        return nullptr;

    const int slot = m_globalCount;
    m_ownKeys[slot] = *guid;
    const LXtGUID* hostCopy = LookupGUID(guid);
    m_globalKeys[slot] = hostCopy ? hostCopy : &m_ownKeys[slot];
    m_globalValues[slot] = value;
    m_globalCount = slot + 1;
    return value;
}
