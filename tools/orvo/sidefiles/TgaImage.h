// The colour side file the saver reads: an uncompressed true-colour TGA of 32
// bits a pixel (blue, green, red, alpha), stored top row first.
#pragma once

#include "orvo/render/RenderImage.h"
#include "orvo/render/SrgbTransfer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fennick {
namespace tool {

// Coverage (0..1, clamped) to an 8-bit value, not gamma-encoded.
std::uint8_t encodeLinear8(float value);

// Writes width x height pixels of 4 bytes each, B, G, R, A, top row first.
// Throws ToolError naming the file. Width and height must be below 65536.
void writeTga32(const std::string& path, unsigned width, unsigned height,
                const std::vector<std::uint8_t>& bgra);

// Writes a 3- or 4-channel layer of linear floats as the colour image (as
// layerToBgra converts it) a few rows at a time, without the whole image in
// memory. Throws ToolError as writeTga32.
void writeLayerTga32(const std::string& path, const RenderLayer& layer, unsigned width,
                     unsigned height);

// Throws ToolError unless `path` is what the saver reads as its colour
// image: an uncompressed true-colour TGA (type 2, with or without a colour
// map, which is skipped) of 32 bits a pixel, width x height pixels, with all
// its pixels in the file. The
// message says what the file is and what is needed.
void checkColourImage(const std::string& path, unsigned width, unsigned height);

// The pixels of a 3- or 4-channel layer of linear floats as B, G, R, A bytes,
// colour sRGB-encoded; alpha kept (1.0 when the layer has none).
std::vector<std::uint8_t> layerToBgra(const RenderLayer& layer, unsigned width, unsigned height);

}  // namespace tool
}  // namespace fennick
