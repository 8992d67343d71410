// Conversion of one depth-layer sample into the 32-bit code of the depth
// picture.
#pragma once

#include <cstdint>

// Code of a pixel without depth.
inline constexpr std::uint32_t kNoDepth = 0xFFFFFFFFu;

// trunc((1 - v) x depthMax / farDistance x 4294967294), with 1 - v computed
// in 32-bit float and the rest in double, in that order, so every build gives
// the same code to the last bit. The factor is 2^32 - 2.
// v == 0.0 (nothing rendered) and NaN give kNoDepth. The result is clamped to
// 0..4294967295 before it is converted, so no sample (infinities included)
// reaches an undefined float-to-integer conversion.
std::uint32_t depthCode(float v, double depthMax, double farDistance);
