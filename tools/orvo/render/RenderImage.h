// A layered render as the tool hands it to the saver: named float layers of
// one size, in order. This is the tool's side of the host's layered image.
#pragma once

#include "contract/LayerNames.h"

#include <string>
#include <vector>

namespace fennick {
namespace tool {

struct RenderLayer {
    std::string name;
    // 1 (grey), 3 or 4 floats a pixel.
    unsigned channels = 0;
    // Row-major, top row first, channels interleaved.
    std::vector<float> values;
    // Whether the channels are red, green, blue (and alpha), in that order.
    bool rgb = false;
};

struct RenderImage {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<RenderLayer> layers;

    // The colour layer: the first of red, green and blue (and alpha) whose
    // name is not one the saver may take (kSaverLayerPrefix); null when
    // there is none.
    const RenderLayer* colourLayer() const;
    // The depth and material layers the saver will take, by index.
    fennick::contract::LayerChoice saverChoice() const;
};

// Names of every layer that matches `prefix` as the saver matches it, in
// order, for telling the user which ones the saver passes over.
std::vector<std::string> layersMatching(const RenderImage& image, const char* prefix);

}  // namespace tool
}  // namespace fennick
