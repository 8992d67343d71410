#include "hostsim/SimObject.h"

#include <cstring>

#include "hostabi/lxguids.h"

namespace fennick {
namespace hostsim {

bool sameGUID(const LXtGUID& a, const LXtGUID& b)
{
    return std::memcmp(&a, &b, sizeof(LXtGUID)) == 0;
}

namespace {

LxResult LXx_CALL QueryInterfaceEntry(LXtObjectID self, const LXtGUID* iid, void** out)
{
    return SimObject::from(self)->queryInterface(iid, out);
}

unsigned LXx_CALL AddRefEntry(LXtObjectID self) { return SimObject::from(self)->addRef(); }

unsigned LXx_CALL ReleaseEntry(LXtObjectID self) { return SimObject::from(self)->release(); }

}  // namespace

SimObject::SimObject(const void* table, const LXtGUID& iid) : m_face{table, this}, m_iid(iid) {}

SimObject* SimObject::from(LXtObjectID id) { return static_cast<Face*>(id)->owner; }

ILxUnknownVT SimObject::unknownEntries()
{
    return ILxUnknownVT{QueryInterfaceEntry, AddRefEntry, ReleaseEntry};
}

bool SimObject::answers(const LXtGUID* iid) const
{
    return sameGUID(*iid, m_iid) || sameGUID(*iid, LXu_UNKNOWN);
}

LxResult SimObject::queryInterface(const LXtGUID* iid, void** out)
{
    if (!iid || !out) {
        misuse();
        return LXe_FAILED;
    }
    if (!answers(iid))
        return LXe_NOINTERFACE;
    addRef();
    *out = id();
    return LXe_OK;
}

unsigned SimObject::addRef() { return static_cast<unsigned>(++m_refs); }

unsigned SimObject::release()
{
    if (m_refs <= 0) {
        misuse();
        return 0;
    }
    return static_cast<unsigned>(--m_refs);
}

}  // namespace hostsim
}  // namespace fennick
