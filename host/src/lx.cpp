#include "host/lx.h"

#include "host/ThisModule.h"
#include "hostabi/lxvtables.h"

namespace lx {

void GUIDSet(LXtGUID* guid, std::uint32_t d1, std::uint16_t d2, std::uint16_t d3, std::uint8_t b0,
             std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4, std::uint8_t b5,
             std::uint8_t b6, std::uint8_t b7)
{
    guid->x1 = d1;
    guid->x2 = d2;
    guid->x3 = d3;
    const std::uint8_t bytes[8] = {b0, b1, b2, b3, b4, b5, b6, b7};
    for (int i = 0; i < 8; ++i)
        guid->x4[i] = bytes[i];
}

int GUIDCompare(const LXtGUID* a, const LXtGUID* b)
{
    // Unsigned subtraction wraps instead of overflowing, and is zero only
    // for equal parts.
    if (a->x1 != b->x1)
        return static_cast<int>(a->x1 - b->x1);
    if (a->x2 != b->x2)
        return static_cast<int>(static_cast<unsigned>(a->x2) - b->x2);
    if (a->x3 != b->x3)
        return static_cast<int>(static_cast<unsigned>(a->x3) - b->x3);
    for (int i = 0; i < 8; ++i) {
        if (a->x4[i] != b->x4[i])
            return static_cast<int>(static_cast<unsigned>(a->x4[i]) - b->x4[i]);
    }
    return 0;
}

ILxUnknownID UnkAddRef(ILxUnknownID obj)
{
    if (obj)
        lxTable<ILxUnknownVT>(obj)->AddRef(obj);
    return obj;
}

void* ObjAddRef(void* obj) { return UnkAddRef(obj); }

unsigned UnkRelease(ILxUnknownID obj)
{
    return obj ? lxTable<ILxUnknownVT>(obj)->Release(obj) : 0u;
}

unsigned ObjRelease(void* obj) { return UnkRelease(obj); }

void* GetGlobal(const LXtGUID* guid) { return thisModule.GetGlobal(guid); }

}  // namespace lx
