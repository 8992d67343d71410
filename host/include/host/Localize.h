// Client-side holders of host interfaces.
//
// A wrapper holds at most one reference to one host interface, obtained by
// QueryInterface for the wrapper's own GUID, and gives it up when cleared,
// when a new object is successfully set, and when destroyed. Wrappers are
// not copyable: a second holder of the same interface is made with copy(),
// which takes a reference of its own.
#pragma once

#include "host/lx.h"
#include "hostabi/lxvtables.h"

class CLxLocalizedObject {
public:
    CLxLocalizedObject() = default;
    CLxLocalizedObject(const CLxLocalizedObject&) = delete;
    CLxLocalizedObject& operator=(const CLxLocalizedObject&) = delete;
    // Never throws.
    virtual ~CLxLocalizedObject() = default;

    // Queries the object for the wrapper's interface. On success the
    // previous interface is released and the new one (carrying the
    // reference the query added) is kept; on failure the wrapper is left
    // empty. The caller keeps its own reference either way.
    virtual bool set(void* object) = 0;
    // As set(), for a reference the caller owns and gives up here whether
    // or not the interface was found. take(null) empties the wrapper.
    virtual bool take(void* object) = 0;
    // set() with the other wrapper's interface.
    virtual bool copy(CLxLocalizedObject& other) = 0;
    virtual bool test() const = 0;
    virtual void clear() = 0;
    // Hands out the held interface with a reference of the caller's own;
    // answers false and leaves *out alone when empty.
    virtual bool get(void** out) = 0;
    // The held interface, borrowed (no reference added); null when empty.
    virtual operator ILxUnknownID() const = 0;
};

template <class T>
class CLxLocalize : public CLxLocalizedObject {
public:
    // Gives up the held reference. Never throws.
    ~CLxLocalize() override { release(); }

    bool set(void* object) override
    {
        void* found = nullptr;
        if (object && LXx_OK(lxTable<ILxUnknownVT>(object)->QueryInterface(object, &m_guid, &found))
            && found) {
            release();
            m_loc = static_cast<T*>(found);
            return true;
        }
        release();
        return false;
    }

    bool take(void* object) override
    {
        if (!object) {
            release();
            return false;
        }
        set(object);
        lx::ObjRelease(object);
        return test();
    }

    bool copy(CLxLocalizedObject& other) override { return set(static_cast<ILxUnknownID>(other)); }

    bool test() const override { return m_loc != nullptr; }

    void clear() override { release(); }

    bool get(void** out) override
    {
        if (!m_loc)
            return false;
        lx::ObjAddRef(m_loc);
        *out = m_loc;
        return true;
    }

    operator ILxUnknownID() const override { return m_loc; }

protected:
    explicit CLxLocalize(const LXtGUID& guid) : m_guid(guid) {}

    // The held interface, or null.
    T* m_loc = nullptr;
    LXtGUID m_guid;

private:
    // Non-virtual so that the destructor never dispatches into a derived
    // class that is already gone.
    void release() noexcept
    {
        if (m_loc) {
            T* held = m_loc;
            m_loc = nullptr;
            lx::ObjRelease(held);
        }
    }
};
