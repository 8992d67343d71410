#include "orvo/plugin/PluginSave.h"

#include "orvo/support/ToolError.h"

#include "hostsim/Host.h"
#include "hostsim/Plugin.h"
#include "hostsim/SimLayeredImage.h"

#include <sys/stat.h>

#include <stdexcept>
#include <utility>

namespace fennick {
namespace tool {

// Destruction runs in reverse: the plug-in releases what it holds before the
// host it borrowed from goes away.
struct LoadedPlugin::Impl {
    explicit Impl(const std::string& path) : plugin(path, host) {}
    fennick::hostsim::Host host;
    fennick::hostsim::Plugin plugin;
};

LoadedPlugin::LoadedPlugin(const PluginLocation& location)
{
    const std::string& path = location.path;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw ToolError(location.given
                            ? path + ": no plug-in file there (given with --plugin)"
                            : path + ": no plug-in file here; give the plug-in with --plugin PATH");
    try {
        impl_ = std::make_unique<Impl>(path);
    } catch (const std::runtime_error& e) {
        throw ToolError(e.what());
    }
}

LoadedPlugin::~LoadedPlugin() = default;

PluginSaveResult LoadedPlugin::save(RenderImage&& image, const std::string& target)
{
    fennick::hostsim::SimLayeredImage layered(image.width, image.height);
    std::vector<RenderLayer> layers = std::move(image.layers);
    image.layers.clear();
    for (RenderLayer& layer : layers) {
        try {
            layered.addFloatLayer(layer.name, layer.channels, std::move(layer.values));
        } catch (const std::invalid_argument& e) {
            throw ToolError(target + ": layer \"" + layer.name
                            + "\" cannot be handed to the saver: " + e.what());
        }
    }
    const std::size_t before = impl_->host.messages().size();
    PluginSaveResult out;
    out.result = impl_->plugin.save(layered.object(), target);
    const auto& messages = impl_->host.messages();
    for (std::size_t i = before; i < messages.size(); ++i)
        if (messages[i].subsystem == kSaverLogSubsystem)
            out.ioStatus.push_back(messages[i].text);
    return out;
}

}  // namespace tool
}  // namespace fennick
