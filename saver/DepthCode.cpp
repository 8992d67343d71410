#include "saver/DepthCode.h"

#include <cmath>

namespace {
constexpr double kDepthCodeScale = 4294967294.0;
constexpr double kDepthCodeCeiling = 4294967295.0;
}  // namespace

std::uint32_t depthCode(float v, double depthMax, double farDistance)
{
    if (v == 0.0f || std::isnan(v))
        return kNoDepth;
    const float nearness = 1.0f - v;
    const double code = static_cast<double>(nearness) * depthMax / farDistance * kDepthCodeScale;
    if (std::isnan(code))
        return kNoDepth;
    if (code <= 0.0)
        return 0;
    if (code >= kDepthCodeCeiling)
        return kNoDepth;
    return static_cast<std::uint32_t>(code);
}
