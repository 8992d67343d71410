// Drives the statically linked module object in-process, the way the host
// does around a save: the module receives the host's context (with a
// reference of its own, as SetContext hands over) and, when the helper goes,
// is released so that every global and the context are given back.
#pragma once

#include "host/ThisModule.h"
#include "host/lx.h"
#include "hostsim/Host.h"

namespace fennick_test {

class InProcessModule {
public:
    explicit InProcessModule(fennick::hostsim::Host& host)
    {
        thisModule.need_SetContext(lx::ObjAddRef(host.context()));
    }
    ~InProcessModule() { thisModule.FreeObj(&thisModule); }

    InProcessModule(const InProcessModule&) = delete;
    InProcessModule& operator=(const InProcessModule&) = delete;
};

}  // namespace fennick_test
