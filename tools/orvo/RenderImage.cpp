#include "tools/orvo/RenderImage.h"

#include <strings.h>

namespace orvotool {

namespace {
// Layers the saver reads for depth and materials start with this.
constexpr char kSaverLayerPrefix[] = "Orvo_";
constexpr std::size_t kSaverLayerPrefixLength = sizeof kSaverLayerPrefix - 1;
}  // namespace

const RenderLayer* RenderImage::colourLayer() const
{
    for (const RenderLayer& layer : layers) {
        if (layer.channels < 3)
            continue;
        if (layer.name.size() >= kSaverLayerPrefixLength
            && strncasecmp(layer.name.c_str(), kSaverLayerPrefix, kSaverLayerPrefixLength) == 0)
            continue;
        return &layer;
    }
    return nullptr;
}

}  // namespace orvotool
