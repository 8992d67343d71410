// Free helpers of the plug-in framework: GUID handling and reference counting
// on any object of the ILxUnknown shape, plus access to host globals.
#pragma once

#include <cstdint>

#include "hostabi/lxtypes.h"

namespace lx {

// Stores the eleven parts of a GUID in order (host byte order).
void GUIDSet(LXtGUID* guid, std::uint32_t d1, std::uint16_t d2, std::uint16_t d3, std::uint8_t b0,
             std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4, std::uint8_t b5,
             std::uint8_t b6, std::uint8_t b7);

// Compares the 32-bit part, the two 16-bit parts, then the eight bytes, and
// answers the difference (a minus b, taken unsigned) at the first part that
// differs; 0 when all are equal. Only "zero or not" carries meaning: the
// difference of two unsigned parts is never zero unless they are equal.
int GUIDCompare(const LXtGUID* a, const LXtGUID* b);

// AddRef through the object's table; answers the object. Null is passed
// through untouched.
ILxUnknownID UnkAddRef(ILxUnknownID obj);
void* ObjAddRef(void* obj);

// Release through the object's table; answers the object's new count (0 for
// a null object).
unsigned UnkRelease(ILxUnknownID obj);
unsigned ObjRelease(void* obj);

// A host-wide interface ("global") by GUID, or null when there is no context
// yet or the host does not offer it. The module object caches the interface
// and owns its reference: callers neither add nor release references, and
// must not keep the pointer past the module's release.
void* GetGlobal(const LXtGUID* guid);

}  // namespace lx
