#include "orvo/render/RenderImage.h"

namespace fennick {
namespace tool {

using fennick::contract::hasPrefixIgnoringCase;

const RenderLayer* RenderImage::colourLayer() const
{
    for (const RenderLayer& layer : layers)
        if (layer.rgb && !hasPrefixIgnoringCase(layer.name, fennick::contract::kSaverLayerPrefix))
            return &layer;
    return nullptr;
}

fennick::contract::LayerChoice RenderImage::saverChoice() const
{
    fennick::contract::LayerChoice choice;
    for (std::size_t i = 0; i < layers.size(); ++i)
        choice.consider(static_cast<int>(i), layers[i].name.c_str());
    return choice;
}

std::vector<std::string> layersMatching(const RenderImage& image, const char* prefix)
{
    std::vector<std::string> names;
    for (const RenderLayer& layer : image.layers)
        if (hasPrefixIgnoringCase(layer.name, prefix))
            names.push_back(layer.name);
    return names;
}

}  // namespace tool
}  // namespace fennick
