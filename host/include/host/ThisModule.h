// The module object: the registry of the servers this module offers, the
// holder of the host context, and the cache of host globals.
//
// There is one module object per loaded module (`thisModule`). It owns one
// reference to the context (handed over by SetContext), to the GUID-lookup
// service, and to each cached global, and gives all of them up in FreeObj,
// which the host triggers by releasing the module's last proxy.
#pragma once

#include "host/Adapters.h"
#include "host/HostInterfaces.h"
#include "host/Polymorph.h"
#include "host/ServerImpl.h"

class CLxThisModule : public CLxImpl_Module,
                      public CLxImpl_TagDescription,
                      public CLxImpl_NeedContext,
                      public CLxGenericPolymorph {
public:
    // Most servers the registry holds; this module registers one.
    static constexpr int kMaxServers = 20;
    // Most distinct globals the cache holds; this module uses one.
    static constexpr int kMaxGlobals = 100;

    CLxThisModule();
    // Frees nothing: the host may still call into the module's tables while
    // unloading. Never throws.
    ~CLxThisModule() override;

    CLxThisModule(const CLxThisModule&) = delete;
    CLxThisModule& operator=(const CLxThisModule&) = delete;

    // Appends a server under a name. The name is kept, not copied (it must
    // be static), and so is the polymorph, which must live until the
    // process ends. Answers the new server count; a server beyond
    // kMaxServers, or one without interfaces, is refused and the count
    // answered unchanged.
    int AddServer(const char* name, CLxGenericPolymorph* server);

    // A new instance of the server registered under exactly this name
    // (case-sensitive), asked for by its default interface GUID. Unknown
    // name or GUID: LXe_NOTFOUND with *out untouched.
    LxResult mod_Generate(const char* name, const LXtGUID* iid, void** out) override;

    // One tag per server: type "server", info its name, data its GUID.
    unsigned tag_Count() override;
    LxResult tag_Describe(unsigned index, LXtTagInfoDesc* desc) override;

    // Keeps the context as given; the caller hands over one reference, which
    // FreeObj releases. A different second context replaces the first, whose
    // reference is released then; the same context again changes nothing.
    LxResult need_SetContext(LXtObjectID context) override;

    // When the last live instance goes: releases the cached globals (in
    // cache order), the lookup service and the context, and forgets them
    // all, so GetGlobal answers null until a new context arrives. Earlier
    // instances only count down. The argument is the module object itself.
    void FreeObj(void* object) override;
    // Every instance of the module leads to this one object; it counts them.
    void* NewObj() override;

    // True when the host's GUID-lookup service is held (asked for again on
    // every call while the context lacks it).
    bool InitService();
    // Through the lookup service: a GUID by name, and the host's persistent
    // copy of a GUID. Null without the service.
    const LXtGUID* LookupGUID(const char* name);
    const LXtGUID* LookupGUID(const LXtGUID* guid);

    // A host global, cached with one reference owned by this object; null
    // without a context, for a null GUID, when the cache is full, or when
    // the host lacks it (then nothing is cached and a later call asks
    // again).
    void* GetGlobal(const LXtGUID* guid);

    // The context as given by SetContext (borrowed), or null.
    LXtObjectID context() const { return m_context; }

private:
    // Interfaces of the module object, in the order they are offered (the
    // first is the default).
    CLxIfc_Module<CLxThisModule> m_moduleIfc;
    CLxIfc_TagDescription<CLxThisModule> m_tagIfc;
    CLxIfc_NeedContext<CLxThisModule> m_needIfc;

    CLxGenericPolymorph* m_servers[kMaxServers] = {};
    const char* m_serverNames[kMaxServers] = {};
    // Points into each server's default interface record.
    const LXtGUID* m_serverGuids[kMaxServers] = {};
    int m_serverCount = 0;

    LXtObjectID m_context = nullptr;
    ILxGUIDService* m_lookup = nullptr;

    void* m_globalValues[kMaxGlobals] = {};
    // Key of each cached global: the host's persistent copy of its GUID, or
    // the copy in m_ownKeys when the host gave none. Never null for an
    // entry below m_globalCount.
    const LXtGUID* m_globalKeys[kMaxGlobals] = {};
    LXtGUID m_ownKeys[kMaxGlobals] = {};
    int m_globalCount = 0;
    // Module instances (proxy families) alive now; see FreeObj.
    int m_liveInstances = 0;
};

// The one module object, constructed at load time.
extern CLxThisModule thisModule;
