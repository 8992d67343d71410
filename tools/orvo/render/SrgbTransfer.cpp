#include "orvo/render/SrgbTransfer.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace fennick {
namespace tool {

namespace {

// IEC 61966-2-1: a linear segment near black, a power law above it.
constexpr double kLinearSlope = 12.92;
constexpr double kLinearLimit = 0.0031308;  // on the linear side
constexpr double kExponent = 2.4;
constexpr double kOffset = 0.055;
constexpr double kByteMax = 255.0;
constexpr std::size_t kByteValues = 256;

double encoded(double linear)
{
    return linear <= kLinearLimit ? kLinearSlope * linear
                                  : (1 + kOffset) * std::pow(linear, 1 / kExponent) - kOffset;
}

// The inverse of encoded(); the segments meet where the linear one ends.
double decoded(double value)
{
    return value <= kLinearSlope * kLinearLimit
               ? value / kLinearSlope
               : std::pow((value + kOffset) / (1 + kOffset), kExponent);
}

}  // namespace

std::uint8_t encodeSrgb8(float linear)
{
    if (!(linear > 0.0f))  // also NaN
        return 0;
    if (linear >= 1.0f)
        return 255;
    return static_cast<std::uint8_t>(std::lround(encoded(double(linear)) * kByteMax));
}

float decodeSrgb8(std::uint8_t value)
{
    // 256 values, each decoded once: an export asks for three a pixel, and
    // std::pow for each would cost seconds at 8K.
    static const std::array<float, kByteValues> linear = [] {
        std::array<float, kByteValues> table{};
        for (std::size_t v = 0; v < kByteValues; ++v)
            table[v] = static_cast<float>(decoded(double(v) / kByteMax));
        return table;
    }();
    return linear[value];
}

}  // namespace tool
}  // namespace fennick
