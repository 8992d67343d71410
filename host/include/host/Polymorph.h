// Server side of the object model: how the module's C++ objects appear to
// the host as objects of the ILxUnknown shape.
//
// A polymorph is the factory of one server class. It lists the interfaces
// the class offers (CLxInterface records, the first one being the default)
// and the live instances (one per server object). The host never sees a
// server object; it holds proxies: small records whose first word is the
// function table of one interface record, each with its own reference count.
// An instance's count is the sum of its proxies' counts; the server object is
// freed when the last reference of its last proxy is released.
//
// Interface records and polymorphs registered with the module live until the
// process ends: the host may call into their tables at any time while the
// module is loaded.
#pragma once

#include <cstdint>

#include "hostabi/lxtypes.h"
#include "hostabi/lxvtables.h"

class CLxGenericPolymorph;
class CLxInterface;
struct LXtCOMInstance;

// What the host holds. `table` must stay the first member: it makes the
// proxy a valid object of its interface.
struct LXtCOMProxy {
    const void* table;
    LXtCOMProxy* next;
    LXtCOMProxy* prev;
    CLxInterface* iface;
    LXtCOMInstance* inst;
    void* object;  // the instance's server object, for the adapters
    std::int32_t refs;
};

// One server object and the proxies that reach it.
struct LXtCOMInstance {
    CLxGenericPolymorph* owner;
    LXtCOMInstance* next;
    LXtCOMInstance* prev;
    LXtCOMProxy* first;
    LXtCOMProxy* last;
    void* object;
    std::int32_t refs;  // sum of the proxies' counts
};

// One interface a polymorph offers: its GUID and its function table. The
// table itself lives in the adapter (host/Adapters.h) that derives from this
// record; the record keeps a pointer to it and AddInterface fills the three
// common entries. Trivially destructible on purpose: a record must stay
// usable for as long as the host may hold a proxy.
class CLxInterface {
public:
    CLxInterface(const CLxInterface&) = delete;
    CLxInterface& operator=(const CLxInterface&) = delete;

    CLxInterface* next = nullptr;
    CLxInterface* prev = nullptr;
    // The table proxies of this interface point at (the adapter's table).
    const void* table;
    LXtGUID iid;

protected:
    // `unknown` is the start of the adapter's table, its three common
    // entries; the adapter fills the rest.
    CLxInterface(const LXtGUID& guid, ILxUnknownVT* unknown)
        : table(unknown), iid(guid), m_unknown(unknown)
    {
    }

private:
    friend class CLxGenericPolymorph;
    ILxUnknownVT* m_unknown;
};

class CLxGenericPolymorph {
public:
    CLxGenericPolymorph() = default;
    CLxGenericPolymorph(const CLxGenericPolymorph&) = delete;
    CLxGenericPolymorph& operator=(const CLxGenericPolymorph&) = delete;
    // Frees nothing: interface records and live instances may still be
    // reached by the host. Never throws.
    virtual ~CLxGenericPolymorph() = default;

    // Creates a server object; may throw (Spawn turns that into null).
    virtual void* NewObj() = 0;
    // Destroys a server object made by NewObj. Must not throw.
    virtual void FreeObj(void* object) = 0;

    // Fills the record's common entries with this class's QueryInterface,
    // AddRef and Release and appends it; the first record added is the
    // default interface. The record must outlive every proxy of it.
    void AddInterface(CLxInterface* iface);

    // The record for a GUID; null or ILxUnknown selects the default one.
    // Null when the polymorph does not offer the interface.
    CLxInterface* FindIID(const LXtGUID* iid);
    // The GUID of the default interface, or null with no interfaces.
    const LXtGUID* DefaultInterface();

    // A new server object with one proxy of the requested interface (count
    // 1, owned by the caller). Null, with nothing created, when the
    // interface is not offered or the object cannot be made.
    void* Spawn(const LXtGUID* iid) noexcept;
    // A new proxy of an instance, counted 1 for the caller; null when out
    // of memory.
    void* NewProxy(LXtCOMInstance* inst, CLxInterface* iface) noexcept;

    // The three common entries of every table built here. A successful
    // query always makes a new proxy, even for the proxy's own interface.
    static LxResult LXx_CALL QueryInterface(LXtObjectID proxy, const LXtGUID* iid, void** out);
    static unsigned LXx_CALL AddRef(LXtObjectID proxy);
    static unsigned LXx_CALL Release(LXtObjectID proxy);

private:
    LXtCOMInstance* m_firstInstance = nullptr;
    LXtCOMInstance* m_lastInstance = nullptr;
    CLxInterface* m_firstInterface = nullptr;
    CLxInterface* m_lastInterface = nullptr;
};

// The factory of server class T: a default-constructed T per instance,
// deleted through its virtual destructor.
template <class T>
class CLxPolymorph : public CLxGenericPolymorph {
public:
    void* NewObj() override { return new T; }
    void FreeObj(void* object) override { delete static_cast<T*>(object); }
};
