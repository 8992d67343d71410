#include "DepthCode.h"

#include <cmath>

#include "avkorvo/OrvoFormat.h"

using Talvenrock::Orvo::kDepthScale;
using Talvenrock::Orvo::kNoDepth;

namespace {
// Products this large are no distance the code can hold: no depth.
constexpr double kDepthCodeCeiling = static_cast<double>(kNoDepth);
}  // namespace

std::uint32_t depthCode(float v, double depthMax, double farDistance)
{
    if (v == 0.0f || std::isnan(v))
        return kNoDepth;
    const float nearness = 1.0f - v;
    const double code = static_cast<double>(nearness) * depthMax / farDistance * kDepthScale;
    if (std::isnan(code))
        return kNoDepth;
    if (code <= 0.0)
        return 0;
    if (code >= kDepthCodeCeiling)
        return kNoDepth;
    return static_cast<std::uint32_t>(code);
}
