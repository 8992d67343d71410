// Decoration of the module's one exported entry point. On ELF platforms the
// linker version script of the module target keeps everything else local.
#pragma once

#include "hostabi/lxtypes.h"

#if defined(_WIN32)
#define LXX_MODULE_EXPORT __declspec(dllexport)
#elif defined(__GNUC__)
#define LXX_MODULE_EXPORT __attribute__((visibility("default")))
#else
#define LXX_MODULE_EXPORT
#endif

extern "C" LXX_MODULE_EXPORT void* LXx_CALL _ILxModule_Create();
