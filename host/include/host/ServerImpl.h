// Bases of the module's server classes. Each operation the host may call has
// a default here that answers "not implemented", so a server overrides only
// what it offers. The adapters (host/Adapters.h) call these virtually.
#pragma once

#include "hostabi/lxtypes.h"

class CLxImpl_Module {
public:
    virtual ~CLxImpl_Module() = default;
    // Creates a new instance of the named server, asked for by interface.
    virtual LxResult mod_Generate(const char* /*name*/, const LXtGUID* /*iid*/, void** /*out*/)
    {
        return LXe_NOTIMPL;
    }
    // The module may not be unloaded while the host runs.
    virtual LxResult mod_IsLocked() { return 1; }
};

class CLxImpl_TagDescription {
public:
    virtual ~CLxImpl_TagDescription() = default;
    virtual unsigned tag_Count() = 0;
    virtual LxResult tag_Describe(unsigned /*index*/, LXtTagInfoDesc* /*desc*/)
    {
        return LXe_NOTIMPL;
    }
};

class CLxImpl_NeedContext {
public:
    virtual ~CLxImpl_NeedContext() = default;
    virtual LxResult need_SetContext(LXtObjectID /*context*/) { return LXe_NOTIMPL; }
};

class CLxImpl_Saver {
public:
    virtual ~CLxImpl_Saver() = default;
    // Checks whether the source can be saved; message is a host object for
    // the answer's text.
    virtual LxResult sav_Verify(LXtObjectID /*source*/, LXtObjectID /*message*/)
    {
        return LXe_NOTIMPL;
    }
    // Saves the source object to the file; monitor is a host progress object
    // that may be null.
    virtual LxResult sav_Save(LXtObjectID /*source*/, const char* /*filename*/,
                              LXtObjectID /*monitor*/)
    {
        return LXe_NOTIMPL;
    }
};
