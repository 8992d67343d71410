// The module's entry point: the host calls it to obtain the module object.
#include "ModuleExport.h"

#include "host/ThisModule.h"
#include "Initialize.h"

namespace {
// Set in the loaded image; cleared once the servers are registered.
unsigned char init = 1;
}  // namespace

// Answers a new proxy of the module interface, owned by the caller, or null
// when the module cannot be set up. Every call makes a new proxy; all of
// them lead to thisModule. The host boundary: nothing is thrown out of here.
extern "C" LXX_MODULE_EXPORT void* LXx_CALL _ILxModule_Create()
{
    try {
        if (init) {
            initialize();
            init = 0;
        }
        return thisModule.Spawn(nullptr);
    } catch (...) {
        return nullptr;
    }
}
