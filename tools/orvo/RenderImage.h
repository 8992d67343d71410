// A layered render as the tool hands it to the saver: named float layers of
// one size, in order. This is the tool's side of the host's layered image.
#pragma once

#include <string>
#include <vector>

namespace orvotool {

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
    // name does not start with "Orvo_" (ignoring case); null when there is
    // none.
    const RenderLayer* colourLayer() const;
};

// The saver's rule for its two layers: the last layer whose name begins
// with the prefix, ignoring case.
inline constexpr char kDepthLayerPrefix[] = "Orvo_depth";
inline constexpr char kMaterialLayerPrefix[] = "Orvo_mat";
// Names of every layer that matches `prefix` as the saver matches it, in
// order (the saver takes the last).
std::vector<std::string> layersMatching(const RenderImage& image, const char* prefix);
// Whether `name` begins with `prefix`, ignoring case.
bool hasPrefixIgnoringCase(const std::string& name, const char* prefix);

}  // namespace orvotool
