// The layered render the benchmarks save: what a large production frame
// gives the saver, made without ray tracing so that an 8K frame is ready in
// about a second.
//
// A ground of kBenchMaterials tiles (wavy borders, one material each, the
// hues spread round the colour circle) recedes towards a sky band at the
// top. Each tile is shaded like a bulging surface, so its material colour
// changes in lightness over thousands of values whose rounding gives many
// distinct hues, all within one material. Layers, in the order a host gives
// them: "RGBA" (the shaded colour, alpha 1), "Orvo_depth" (0 for the sky,
// a smooth range elsewhere) and "Orvo_mat" (material colour times shading;
// the sky is black, no material).
#pragma once

#include "orvo/render/RenderImage.h"

namespace bench {

inline constexpr unsigned kBenchMaterials = 300;

fennick::tool::RenderImage benchScene(unsigned width, unsigned height);

}  // namespace bench
