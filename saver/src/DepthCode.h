// Conversion of one depth-layer sample into the 32-bit code of the depth
// picture.
#pragma once

#include <cstdint>

// trunc((1 - v) x depthMax / farDistance x kDepthScale), with 1 - v computed
// in 32-bit float and the rest in double, in that order, so every build gives
// the same code to the last bit. kDepthScale and kNoDepth are the file
// format's (avkorvo/OrvoFormat.h): the code of farDistance and of a pixel
// without depth. v == 0.0 (nothing rendered) and NaN give kNoDepth. The
// result is clamped to 0..kNoDepth before it is converted, so no sample
// (infinities included) reaches an undefined float-to-integer conversion.
std::uint32_t depthCode(float v, double depthMax, double farDistance);
