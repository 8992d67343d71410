// Loads a built plug-in module and drives it the way the host does: the
// module object from _ILxModule_Create, the context handed over through
// SetContext, the server tags and the saver's static description read at
// load, and a save as Generate, Save and Release on a fresh saver.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "hostabi/lxtypes.h"
#include "hostsim/Host.h"

namespace fennick {
namespace hostsim {

// One tag of the module's tag description.
struct PluginTag {
    std::string type;
    std::string info;
    // The GUID the tag's third word points at (all zero when it is null).
    LXtGUID guid;
};

class Plugin {
public:
    // Loads the module and reads its tags and the saver's description.
    // Throws std::runtime_error naming the file and the step that failed.
    // The host must outlive the Plugin.
    //
    // The module stays mapped after the Plugin goes (RTLD_NODELETE; pinned on Windows): its
    // interface records and server registry live until the process ends by
    // design, and must stay reachable rather than turn into leaks.
    Plugin(const std::string& soPath, Host& host);
    // Releases the module object, so that it gives back the context and the
    // globals it took. Never throws.
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    std::vector<PluginTag> tags() const { return m_tags; }
    // The saver's static description, rows in order.
    std::vector<std::pair<std::string, std::string>> description() const { return m_description; }

    // Generate on the module proxy, as the host calls it (*out untouched on
    // failure). A proxy made here is the caller's to release.
    LxResult generate(const char* name, const LXtGUID* iid, void** out);

    // One save: a new saver server, Save(source, filename, no monitor), and
    // the saver released again. Answers Generate's failure or Save's result.
    LxResult save(LXtObjectID source, const std::string& filename);

    // The module proxy (borrowed).
    LXtObjectID module() const { return m_module; }

private:
    void readTags();
    void readDescription();

    std::string m_path;
    void* m_library = nullptr;
    LXtObjectID m_module = nullptr;
    std::vector<PluginTag> m_tags;
    std::vector<std::pair<std::string, std::string>> m_description;
};

}  // namespace hostsim
}  // namespace fennick
