// Base of every object the stand-in host hands to a plug-in.
//
// The plug-in sees an object as a pointer whose first word points at a
// function table (hostabi/lxvtables.h); here that pointer is the object's face,
// which also leads back to the C++ object. Each object answers to its own
// interface and to ILxUnknown, and counts the references others hold on it.
// The host owns every SimObject: an object whose count drops to zero stays
// alive until its owner goes, so a plug-in that releases too often is
// recorded as a misuse instead of freeing memory under the host.
#pragma once

#include "hostabi/lxtypes.h"
#include "hostabi/lxvtables.h"

namespace fennick {
namespace hostsim {

// Whether two GUIDs name the same interface, byte for byte: the host's own
// copies and a plug-in's may lie anywhere in memory.
bool sameGUID(const LXtGUID& a, const LXtGUID& b);

class SimObject {
public:
    SimObject(const SimObject&) = delete;
    SimObject& operator=(const SimObject&) = delete;
    virtual ~SimObject() = default;

    // The pointer the plug-in holds (borrowed: no reference added).
    LXtObjectID id() { return &m_face; }

    // References held by others (QueryInterface and AddRef add one,
    // Release drops one).
    long references() const { return m_refs; }
    // Calls that would have broken the object: Release below zero, null
    // arguments, foreign objects passed in.
    long misuses() const { return m_misuses; }

    // The object behind a face handed out by any SimObject.
    static SimObject* from(LXtObjectID id);

    virtual LxResult queryInterface(const LXtGUID* iid, void** out);
    unsigned addRef();
    unsigned release();

    // The three common entries every table here starts with.
    static ILxUnknownVT unknownEntries();

protected:
    SimObject(const void* table, const LXtGUID& iid);

    bool answers(const LXtGUID* iid) const;
    void misuse() { ++m_misuses; }

private:
    struct Face {
        const void* table;
        SimObject* owner;
    };
    Face m_face;
    LXtGUID m_iid;
    long m_refs = 0;
    long m_misuses = 0;
};

}  // namespace hostsim
}  // namespace fennick
