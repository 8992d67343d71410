#include "host/Polymorph.h"

#include <new>

#include "host/lx.h"
#include "hostabi/lxguids.h"

namespace {

LXtCOMProxy* asProxy(LXtObjectID proxy) { return static_cast<LXtCOMProxy*>(proxy); }

}  // namespace

void CLxGenericPolymorph::AddInterface(CLxInterface* iface)
{
    iface->m_unknown->QueryInterface = QueryInterface;
    iface->m_unknown->AddRef = AddRef;
    iface->m_unknown->Release = Release;

    iface->next = nullptr;
    iface->prev = m_lastInterface;
    if (m_lastInterface)
        m_lastInterface->next = iface;
    else
        m_firstInterface = iface;
    m_lastInterface = iface;
}

CLxInterface* CLxGenericPolymorph::FindIID(const LXtGUID* iid)
{
    if (!iid || lx::GUIDCompare(iid, &LXu_UNKNOWN) == 0)
        return m_firstInterface;
    for (CLxInterface* iface = m_firstInterface; iface; iface = iface->next) {
        if (lx::GUIDCompare(iid, &iface->iid) == 0)
            return iface;
    }
    return nullptr;
}

const LXtGUID* CLxGenericPolymorph::DefaultInterface()
{
    return m_firstInterface ? &m_firstInterface->iid : nullptr;
}

void* CLxGenericPolymorph::Spawn(const LXtGUID* iid) noexcept
{
    CLxInterface* iface = FindIID(iid);
    if (!iface)
        return nullptr;

    auto* inst
        = new (std::nothrow) LXtCOMInstance{this, nullptr, nullptr, nullptr, nullptr, nullptr, 0};
    if (!inst)
        return nullptr;
    try {
        inst->object = NewObj();
    } catch (...) {
        delete inst;
        return nullptr;
    }

    void* proxy = NewProxy(inst, iface);
    if (!proxy) {
        FreeObj(inst->object);
        delete inst;
        return nullptr;
    }

    inst->next = m_firstInstance;
    if (m_firstInstance)
        m_firstInstance->prev = inst;
    else
        m_lastInstance = inst;
    m_firstInstance = inst;
    return proxy;
}

void* CLxGenericPolymorph::NewProxy(LXtCOMInstance* inst, CLxInterface* iface) noexcept
{
    auto* proxy = new (std::nothrow)
        LXtCOMProxy{iface->table, nullptr, inst->last, iface, inst, inst->object, 0};
    if (!proxy)
        return nullptr;
    if (inst->last)
        inst->last->next = proxy;
    else
        inst->first = proxy;
    inst->last = proxy;

    inst->refs += 1;
    proxy->refs += 1;
    return proxy;
}

LxResult LXx_CALL CLxGenericPolymorph::QueryInterface(LXtObjectID self, const LXtGUID* iid,
                                                      void** out)
{
    if (!self || !out)
        return LXe_FAILED;
    LXtCOMProxy* proxy = asProxy(self);
    CLxGenericPolymorph* owner = proxy->inst->owner;
    CLxInterface* iface = owner->FindIID(iid);
    if (!iface)
        return LXe_NOINTERFACE;
    void* made = owner->NewProxy(proxy->inst, iface);
    if (!made)
        return LXe_FAILED;
    *out = made;
    return LXe_OK;
}

unsigned LXx_CALL CLxGenericPolymorph::AddRef(LXtObjectID self)
{
    if (!self)
        return 0;
    LXtCOMProxy* proxy = asProxy(self);
    proxy->inst->refs += 1;
    proxy->refs += 1;
    return static_cast<unsigned>(proxy->refs);
}

unsigned LXx_CALL CLxGenericPolymorph::Release(LXtObjectID self)
{
    if (!self)
        return 0;
    LXtCOMProxy* proxy = asProxy(self);
    LXtCOMInstance* inst = proxy->inst;
    inst->refs -= 1;
    proxy->refs -= 1;
    if (proxy->refs != 0)
        return static_cast<unsigned>(proxy->refs);

    if (proxy->prev)
        proxy->prev->next = proxy->next;
    else
        inst->first = proxy->next;
    if (proxy->next)
        proxy->next->prev = proxy->prev;
    else
        inst->last = proxy->prev;
    delete proxy;

    if (inst->refs != 0)
        return 0;

    CLxGenericPolymorph* owner = inst->owner;
    if (inst->prev)
        inst->prev->next = inst->next;
    else
        owner->m_firstInstance = inst->next;
    if (inst->next)
        inst->next->prev = inst->prev;
    else
        owner->m_lastInstance = inst->prev;
    void* object = inst->object;
    delete inst;
    owner->FreeObj(object);
    return 0;
}
