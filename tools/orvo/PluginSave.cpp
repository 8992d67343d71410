#include "tools/orvo/PluginSave.h"

#include "tools/orvo/ToolError.h"

#include "hostsim/Host.h"
#include "hostsim/Plugin.h"
#include "hostsim/SimLayeredImage.h"

#include <stdexcept>

namespace orvotool {

PluginSaveResult saveWithPlugin(const std::string& pluginPath, const RenderImage& image,
                                const std::string& target)
{
    // Destruction runs in reverse: the plug-in releases its proxies before the
    // layered image and the host it borrowed from go away.
    hostsim::Host host;
    hostsim::SimLayeredImage layered(image.width, image.height);
    for (const RenderLayer& layer : image.layers) {
        try {
            layered.addFloatLayer(layer.name, layer.channels, layer.values);
        } catch (const std::invalid_argument& e) {
            throw ToolError(target + ": layer \"" + layer.name
                            + "\" cannot be handed to the saver: " + e.what());
        }
    }
    PluginSaveResult out;
    try {
        hostsim::Plugin plugin(pluginPath, host);
        out.result = plugin.save(layered.object(), target);
    } catch (const std::runtime_error& e) {
        throw ToolError(e.what());
    }
    for (const hostsim::LogRecord& r : host.messages())
        if (r.subsystem == kSaverLogSubsystem)
            out.ioStatus.push_back(r.text);
    return out;
}

}  // namespace orvotool
