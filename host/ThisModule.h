// The module object: the registry of the servers this module offers, the
// holder of the host context, and the cache of host globals.
//
// There is one module object per loaded module (`thisModule`). It owns one
// reference to the context (handed over by SetContext), to the GUID-lookup
// service, and to each cached global, and gives all of them up in FreeObj,
// which the host triggers by releasing the module's last proxy.
#pragma once

#include "host/HostInterfaces.h"
#include "host/ServerImpl.h"

class CLxThisModule : public CLxImpl_Module, public CLxImpl_TagDescription, public CLxImpl_NeedContext {
public:
    // Most distinct globals the cache holds; this module uses one.
    static constexpr int kMaxGlobals = 100;

    CLxThisModule();
    // Frees nothing: the host may still call into the module's tables while
    // unloading. Never throws.
    ~CLxThisModule() override;

    CLxThisModule(const CLxThisModule&) = delete;
    CLxThisModule& operator=(const CLxThisModule&) = delete;

    unsigned tag_Count() override { return 0; }

    // Keeps the context as given; the caller hands over one reference, which
    // FreeObj releases. A second context replaces the first, whose
    // reference is released then.
    LxResult need_SetContext(LXtObjectID context) override;

    // Releases the cached globals (in cache order), the lookup service and
    // the context, and forgets them all: GetGlobal answers null until a new
    // context arrives. The argument is the module object itself.
    void FreeObj(void* object);

    // True when the host's GUID-lookup service is held (asked for again on
    // every call while the context lacks it).
    bool InitService();
    // Through the lookup service: a GUID by name, and the host's persistent
    // copy of a GUID. Null without the service.
    const LXtGUID* LookupGUID(const char* name);
    const LXtGUID* LookupGUID(const LXtGUID* guid);

    // A host global, cached with one reference owned by this object; null
    // without a context, for a null GUID, or when the host lacks it (then
    // nothing is cached and a later call asks again).
    void* GetGlobal(const LXtGUID* guid);

    // The context as given by SetContext (borrowed), or null.
    LXtObjectID context() const { return m_context; }

private:
    LXtObjectID m_context = nullptr;
    ILxGUIDService* m_lookup = nullptr;

    void* m_globalValues[kMaxGlobals] = {};
    // Key of each cached global: the host's persistent copy of its GUID, or
    // the copy in m_ownKeys when the host gave none. Never null for an
    // entry below m_globalCount.
    const LXtGUID* m_globalKeys[kMaxGlobals] = {};
    LXtGUID m_ownKeys[kMaxGlobals] = {};
    int m_globalCount = 0;
};

// The one module object, constructed at load time.
extern CLxThisModule thisModule;
