#include "host/ThisModule.h"

#include "host/lx.h"
#include "host/lxguids.h"

CLxThisModule thisModule;

CLxThisModule::CLxThisModule() = default;

CLxThisModule::~CLxThisModule() = default;

LxResult CLxThisModule::need_SetContext(LXtObjectID context)
{
    LXtObjectID previous = m_context;
    m_context = context;
    if (previous)
        lx::ObjRelease(previous);
    return LXe_OK;
}

void CLxThisModule::FreeObj(void* /*object*/)
{
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
    if (LXx_FAIL(lxTable<ILxUnknownVT>(m_context)->QueryInterface(m_context, &LXu_GUIDSERVICE, &service)) ||
        !service)
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
    if (LXx_FAIL(lxTable<ILxUnknownVT>(m_context)->QueryInterface(m_context, guid, &value)) || !value)
        return nullptr;

    const int slot = m_globalCount;
    m_ownKeys[slot] = *guid;
    const LXtGUID* hostCopy = LookupGUID(guid);
    m_globalKeys[slot] = hostCopy ? hostCopy : &m_ownKeys[slot];
    m_globalValues[slot] = value;
    m_globalCount = slot + 1;
    return value;
}
