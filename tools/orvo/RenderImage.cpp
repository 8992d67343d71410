#include "tools/orvo/RenderImage.h"

#include <strings.h>

#include <cstring>

namespace orvotool {

namespace {
// Layers the saver reads for depth and materials start with this.
constexpr char kSaverLayerPrefix[] = "Orvo_";
}  // namespace

bool hasPrefixIgnoringCase(const std::string& name, const char* prefix)
{
    const std::size_t n = std::strlen(prefix);
    return name.size() >= n && strncasecmp(name.c_str(), prefix, n) == 0;
}

const RenderLayer* RenderImage::colourLayer() const
{
    for (const RenderLayer& layer : layers)
        if (layer.rgb && !hasPrefixIgnoringCase(layer.name, kSaverLayerPrefix))
            return &layer;
    return nullptr;
}

std::vector<std::string> layersMatching(const RenderImage& image, const char* prefix)
{
    std::vector<std::string> names;
    for (const RenderLayer& layer : image.layers)
        if (hasPrefixIgnoringCase(layer.name, prefix))
            names.push_back(layer.name);
    return names;
}

}  // namespace orvotool
