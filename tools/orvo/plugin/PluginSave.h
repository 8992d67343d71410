// A save through the plug-in as the host makes it: the render becomes the
// host's layered image (one float image per layer, in order, by name), the
// plug-in module is loaded from its file and asked to save to the target.
// The side files must already lie beside the target.
#pragma once

#include "orvo/plugin/PluginPath.h"
#include "orvo/render/RenderImage.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fennick {
namespace tool {

// The host log the saver reports to.
inline constexpr char kSaverLogSubsystem[] = "io-status";

struct PluginSaveResult {
    std::int32_t result = 0;            // the saver's result code; negative is failure
    std::vector<std::string> ioStatus;  // texts logged to "io-status", in order
    bool ok() const { return result >= 0; }
};

// The plug-in, loaded once and checked before any work that needs it.
class LoadedPlugin {
public:
    // Throws ToolError naming the plug-in file when it cannot be loaded.
    explicit LoadedPlugin(const PluginLocation& location);
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    // Throws ToolError when the render cannot be handed over; the save's own
    // failures come back in the result. The layers' pixels move into the
    // host's image rather than being copied (at 8K a copy would double the
    // memory), which leaves `image` without layers.
    PluginSaveResult save(RenderImage&& image, const std::string& target);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tool
}  // namespace fennick
