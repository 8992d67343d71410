// Adapters: interface records whose method entries turn a host call on a
// proxy into a virtual call on the proxy's server object (T, the server
// class that the polymorph creates).
//
// Every entry is a host boundary, so no C++ exception leaves it. Server code
// may throw an unsigned 32-bit result code to answer with that code; any
// other exception answers LXe_FAILED (entries that return a count answer 0).
// A proxy whose object is missing answers LXe_FAILED as well.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <type_traits>

#include "host/Polymorph.h"
#include "hostabi/lxguids.h"

namespace lx {

// The one chain of catches of every entry point the host calls.
template <class F>
LxResult Guarded(F&& call) noexcept
{
    static_assert(std::is_same<unsigned, std::uint32_t>::value,
                  "result codes are thrown as 32-bit unsigned");
    try {
        return call();
    } catch (unsigned code) {
        return static_cast<LxResult>(code);
    } catch (const std::bad_alloc&) {
        return LXe_FAILED;
    } catch (const std::exception&) {
        return LXe_FAILED;
    } catch (...) {
        return LXe_FAILED;
    }
}

// The server object behind a proxy.
template <class T>
T* ProxyObject(LXtObjectID proxy)
{
    return proxy ? static_cast<T*>(static_cast<LXtCOMProxy*>(proxy)->object) : nullptr;
}

}  // namespace lx

template <class T>
class CLxIfc_Module : public CLxInterface {
public:
    CLxIfc_Module() : CLxInterface(LXu_MODULE, &m_table.unk)
    {
        m_table.Generate = Generate;
        m_table.IsLocked = IsLocked;
    }

private:
    static LxResult LXx_CALL Generate(LXtObjectID self, const char* name, const LXtGUID* iid,
                                      void** out)
    {
        return lx::Guarded([&] {
            T* obj = lx::ProxyObject<T>(self);
            return obj ? obj->mod_Generate(name, iid, out) : LXe_FAILED;
        });
    }
    static LxResult LXx_CALL IsLocked(LXtObjectID self)
    {
        return lx::Guarded([&] {
            T* obj = lx::ProxyObject<T>(self);
            return obj ? obj->mod_IsLocked() : LXe_FAILED;
        });
    }

    ILxModuleVT m_table{};
};

template <class T>
class CLxIfc_TagDescription : public CLxInterface {
public:
    CLxIfc_TagDescription() : CLxInterface(LXu_TAGDESCRIPTION, &m_table.unk)
    {
        m_table.Count = Count;
        m_table.Describe = Describe;
    }

private:
    static unsigned LXx_CALL Count(LXtObjectID self)
    {
        const LxResult count = lx::Guarded([&] {
            T* obj = lx::ProxyObject<T>(self);
            return obj ? static_cast<LxResult>(obj->tag_Count()) : LXe_FAILED;
        });
        return LXx_FAIL(count) ? 0u : static_cast<unsigned>(count);
    }
    static LxResult LXx_CALL Describe(LXtObjectID self, unsigned index, LXtTagInfoDesc* desc)
    {
        return lx::Guarded([&] {
            T* obj = lx::ProxyObject<T>(self);
            return obj ? obj->tag_Describe(index, desc) : LXe_FAILED;
        });
    }

    ILxTagDescriptionVT m_table{};
};

template <class T>
class CLxIfc_NeedContext : public CLxInterface {
public:
    CLxIfc_NeedContext() : CLxInterface(LXu_NEEDCONTEXT, &m_table.unk)
    {
        m_table.SetContext = SetContext;
    }

private:
    static LxResult LXx_CALL SetContext(LXtObjectID self, LXtObjectID context)
    {
        return lx::Guarded([&] {
            T* obj = lx::ProxyObject<T>(self);
            return obj ? obj->need_SetContext(context) : LXe_FAILED;
        });
    }

    ILxNeedContextVT m_table{};
};

template <class T>
class CLxIfc_Saver : public CLxInterface {
public:
    CLxIfc_Saver() : CLxInterface(LXu_SAVER, &m_table.unk)
    {
        m_table.Verify = Verify;
        m_table.Save = Save;
    }

private:
    static LxResult LXx_CALL Verify(LXtObjectID self, LXtObjectID source, LXtObjectID message)
    {
        return lx::Guarded([&] {
            T* obj = lx::ProxyObject<T>(self);
            return obj ? obj->sav_Verify(source, message) : LXe_FAILED;
        });
    }
    static LxResult LXx_CALL Save(LXtObjectID self, LXtObjectID source, const char* filename,
                                  LXtObjectID monitor)
    {
        return lx::Guarded([&] {
            T* obj = lx::ProxyObject<T>(self);
            return obj ? obj->sav_Save(source, filename, monitor) : LXe_FAILED;
        });
    }

    ILxSaverVT m_table{};
};

// The class-level description of server T: the rows of the static table
// T::descInfo up to the row whose type is null. The server object is not
// used; the rows and their texts are static.
template <class T>
class CLxIfc_StaticDesc : public CLxInterface {
public:
    CLxIfc_StaticDesc() : CLxInterface(LXu_STATICDESC, &m_table.unk)
    {
        m_table.Count = Count;
        m_table.Describe = Describe;
    }

private:
    static unsigned LXx_CALL Count(LXtObjectID)
    {
        unsigned n = 0;
        while (T::descInfo[n].type)
            ++n;
        return n;
    }
    static LxResult LXx_CALL Describe(LXtObjectID self, unsigned index, LXtTagInfoDesc* desc)
    {
        if (!desc)
            return LXe_FAILED;
        if (index >= Count(self))
            return LXe_OUTOFBOUNDS;
        *desc = T::descInfo[index];
        return LXe_OK;
    }

    ILxTagDescriptionVT m_table{};
};
