#include "orvo/render/SrgbTransfer.h"

#include <cmath>

namespace fennick {
namespace tool {

namespace {

// IEC 61966-2-1: a linear segment near black, a power law above it.
constexpr double kLinearSlope = 12.92;
constexpr double kLinearLimit = 0.0031308;  // on the linear side
constexpr double kExponent = 2.4;
constexpr double kOffset = 0.055;
constexpr double kByteMax = 255.0;

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
    return static_cast<float>(decoded(double(value) / kByteMax));
}

}  // namespace tool
}  // namespace fennick
