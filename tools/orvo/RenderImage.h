// A layered render as the tool hands it to the saver: named float layers of
// one size, in order. This is the tool's side of the host's layered image.
#pragma once

#include <string>
#include <vector>

namespace orvotool {

struct RenderLayer {
    std::string name;
    // 1 (grey), 3 (R, G, B) or 4 (R, G, B, A) floats a pixel.
    unsigned channels = 0;
    // Row-major, top row first, channels interleaved.
    std::vector<float> values;
};

struct RenderImage {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<RenderLayer> layers;

    // The colour layer: the first of 3 or 4 channels whose name does not
    // start with "Orvo_" (ignoring case); null when there is none.
    const RenderLayer* colourLayer() const;
};

}  // namespace orvotool
