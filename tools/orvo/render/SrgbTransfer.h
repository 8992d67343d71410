// The sRGB transfer function between linear light and 8-bit encoded values:
// one definition for the colour image the saver reads (encoded from a
// render's linear colour) and for an Orvo file's colour picture given back
// as linear colour (`orvo export`), so that decoding a byte and encoding the
// result gives that byte again.
#pragma once

#include <cstdint>

namespace fennick {
namespace tool {

// Linear light (0..1, clamped; NaN as 0) to an 8-bit sRGB-encoded value,
// rounded to the nearest.
std::uint8_t encodeSrgb8(float linear);

// An 8-bit sRGB-encoded value to linear light, 0..1; encodeSrgb8 of the
// result is `encoded`.
float decodeSrgb8(std::uint8_t encoded);

}  // namespace tool
}  // namespace fennick
