// A save through the plug-in as the host makes it: the render becomes the
// host's layered image (one float image per layer, in order, by name), the
// plug-in module is loaded from its file and asked to save to the target.
// The side files must already lie beside the target.
#pragma once

#include "tools/orvo/RenderImage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvotool {

// The host log the saver reports to.
inline constexpr char kSaverLogSubsystem[] = "io-status";

struct PluginSaveResult {
    std::int32_t result = 0;  // the saver's result code; negative is failure
    std::vector<std::string> ioStatus;  // texts logged to "io-status", in order
    bool ok() const { return result >= 0; }
};

// Throws ToolError when the plug-in cannot be loaded or the render cannot
// be handed over; the save's own failures come back in the result.
PluginSaveResult saveWithPlugin(const std::string& pluginPath, const RenderImage& image,
                                const std::string& target);

}  // namespace orvotool
