#include "hostsim/Plugin.h"

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#else
#include <dlfcn.h>
#endif

#include <stdexcept>

#include "contract/ServerName.h"
#include "hostabi/lxguids.h"
#include "hostabi/lxvtables.h"

namespace fennick {
namespace hostsim {

namespace {

const char* const kEntryPoint = "_ILxModule_Create";

typedef void*(LXx_CALL* ModuleCreateFn)();

// Holds one reference the host took on a plug-in object.
class Held {
public:
    Held() = default;
    explicit Held(void* obj) : m_obj(obj) {}
    ~Held() { reset(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

    void* get() const { return m_obj; }
    void** out()
    {
        reset();
        return &m_obj;
    }
    void* release()
    {
        void* obj = m_obj;
        m_obj = nullptr;
        return obj;
    }
    void reset()
    {
        if (m_obj) {
            void* obj = m_obj;
            m_obj = nullptr;
            lxTable<ILxUnknownVT>(obj)->Release(obj);
        }
    }

private:
    void* m_obj = nullptr;
};

std::string text(const char* s) { return s ? std::string(s) : std::string(); }

// The system's loader behind one face. A loaded module stays in the process
// until it ends, whatever closeModule does: its interface records and server
// registry are meant to outlive every object of it.
#ifdef _WIN32

std::string lastErrorText()
{
    const DWORD code = GetLastError();
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string message
        = length ? std::string(buffer, length) : "system error " + std::to_string(code);
    LocalFree(buffer);
    while (!message.empty()
           && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

// `path` is UTF-8; the loader is given the wide path, so any name works.
void* openModule(const std::string& path, std::string& why)
{
    std::wstring wide;
    try {
        wide = std::filesystem::u8path(path).make_preferred().wstring();
    } catch (const std::exception&) {
        why = "the path is not valid UTF-8";
        return nullptr;
    }
    const HMODULE library = LoadLibraryW(wide.c_str());
    if (!library) {
        why = lastErrorText();
        return nullptr;
    }
    // Pinned: FreeLibrary no longer unmaps it, as RTLD_NODELETE does.
    HMODULE pinned = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(library), &pinned)) {
        why = "cannot keep it loaded: " + lastErrorText();
        FreeLibrary(library);
        return nullptr;
    }
    return library;
}

void* findSymbol(void* library, const char* name)
{
    // GetProcAddress answers a generic function pointer; the caller casts it
    // to the symbol's real type.
    const FARPROC symbol = GetProcAddress(static_cast<HMODULE>(library), name);
    return reinterpret_cast<void*>(reinterpret_cast<void (*)()>(symbol));
}

void closeModule(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

#else

void* openModule(const std::string& path, std::string& why)
{
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library)
        why = text(dlerror());
    return library;
}

void* findSymbol(void* library, const char* name) { return dlsym(library, name); }

void closeModule(void* library) { dlclose(library); }

#endif

}  // namespace

Plugin::Plugin(const std::string& soPath, Host& host) : m_path(soPath)
{
    auto fail = [&](const std::string& what) {
        return std::runtime_error("the plug-in " + m_path + ": " + what);
    };

    std::string why;
    m_library = openModule(m_path, why);
    if (!m_library)
        throw fail("cannot be loaded: " + why);

    auto create = reinterpret_cast<ModuleCreateFn>(findSymbol(m_library, kEntryPoint));
    if (!create) {
        closeModule(m_library);
        throw fail(std::string("no entry point ") + kEntryPoint);
    }

    Held module(create());
    if (!module.get()) {
        closeModule(m_library);
        throw fail(std::string(kEntryPoint) + " answered no module object");
    }

    try {
        Held need;
        if (LXx_FAIL(lxTable<ILxUnknownVT>(module.get())
                         ->QueryInterface(module.get(), &LXu_NEEDCONTEXT, need.out())))
            throw fail("the module object lacks the need-context interface");
        // The module takes over this reference and releases it when the
        // module object goes.
        LXtObjectID context = host.context();
        lxTable<ILxUnknownVT>(context)->AddRef(context);
        const LxResult rc = lxTable<ILxNeedContextVT>(need.get())->SetContext(need.get(), context);
        if (LXx_FAIL(rc)) {
            lxTable<ILxUnknownVT>(context)->Release(context);
            throw fail("SetContext failed");
        }

        m_module = module.get();
        readTags();
        readDescription();
    } catch (...) {
        m_module = nullptr;
        module.reset();
        closeModule(m_library);
        throw;
    }
    module.release();
}

Plugin::~Plugin()
{
    if (m_module)
        lxTable<ILxUnknownVT>(m_module)->Release(m_module);
    if (m_library)
        closeModule(m_library);
}

void Plugin::readTags()
{
    Held tags;
    if (LXx_FAIL(lxTable<ILxUnknownVT>(m_module)->QueryInterface(m_module, &LXu_TAGDESCRIPTION,
                                                                 tags.out())))
        throw std::runtime_error("the plug-in " + m_path
                                 + ": the module object lacks tag descriptions");
    const ILxTagDescriptionVT* vt = lxTable<ILxTagDescriptionVT>(tags.get());
    const unsigned count = vt->Count(tags.get());
    for (unsigned i = 0; i < count; ++i) {
        LXtTagInfoDesc desc{};
        if (LXx_FAIL(vt->Describe(tags.get(), i, &desc)))
            throw std::runtime_error("the plug-in " + m_path + ": tag " + std::to_string(i)
                                     + " cannot be described");
        PluginTag tag{text(desc.type), text(desc.info), LXtGUID{}};
        if (desc.data)
            tag.guid = *static_cast<const LXtGUID*>(desc.data);
        m_tags.push_back(tag);
    }
}

void Plugin::readDescription()
{
    Held saver;
    if (LXx_FAIL(generate(fennick::contract::kSaverServerName, &LXu_SAVER, saver.out())))
        throw std::runtime_error("the plug-in " + m_path + ": no server "
                                 + fennick::contract::kSaverServerName);
    Held desc;
    if (LXx_FAIL(lxTable<ILxUnknownVT>(saver.get())
                     ->QueryInterface(saver.get(), &LXu_STATICDESC, desc.out())))
        throw std::runtime_error("the plug-in " + m_path + ": server "
                                 + fennick::contract::kSaverServerName
                                 + " has no static description");
    const ILxTagDescriptionVT* vt = lxTable<ILxTagDescriptionVT>(desc.get());
    const unsigned count = vt->Count(desc.get());
    for (unsigned i = 0; i < count; ++i) {
        LXtTagInfoDesc row{};
        if (LXx_FAIL(vt->Describe(desc.get(), i, &row)))
            throw std::runtime_error("the plug-in " + m_path + ": description row "
                                     + std::to_string(i) + " of "
                                     + fennick::contract::kSaverServerName + " cannot be read");
        m_description.emplace_back(text(row.type), text(row.info));
    }
}

LxResult Plugin::generate(const char* name, const LXtGUID* iid, void** out)
{
    return lxTable<ILxModuleVT>(m_module)->Generate(m_module, name, iid, out);
}

LxResult Plugin::save(LXtObjectID source, const std::string& filename)
{
    Held saver;
    const LxResult made = generate(fennick::contract::kSaverServerName, &LXu_SAVER, saver.out());
    if (LXx_FAIL(made))
        return made;
    return lxTable<ILxSaverVT>(saver.get())->Save(saver.get(), source, filename.c_str(), nullptr);
}

}  // namespace hostsim
}  // namespace fennick
