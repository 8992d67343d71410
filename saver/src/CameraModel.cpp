#include "CameraModel.h"

#include <cmath>
#include <limits>

namespace {

// The largest resolution the file's 32-bit field holds.
constexpr double kUint32Max = double(std::numeric_limits<std::uint32_t>::max());

// Host (x, y, z) to file (x, -z, y).
void exchangeAxes(const double* in, double* out)
{
    out[0] = in[0];
    out[1] = -in[2];
    out[2] = in[1];
}

bool allFinite(const double* v, int n)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i]))
            return false;
    return true;
}

}  // namespace

bool makeProjection(const CameraParameters& p, unsigned width, unsigned height,
                    Talvenrock::Orvo::Projection& out)
{
    const bool perspective = p.projType == fennick::contract::kPerspectiveWord;
    if (width == 0 || height == 0)
        return false;
    if (!(p.pAspect > 0.0) || !std::isfinite(p.pAspect))
        return false;
    if (!(p.depthMax > 0.0) || !std::isfinite(p.depthMax))
        return false;
    if (!perspective && p.focalLen == 0.0)
        return false;

    Talvenrock::Orvo::Projection r;
    r.kind = perspective ? Talvenrock::Orvo::kPerspectiveCameraKind
                         : Talvenrock::Orvo::kOtherPlanarCameraKind;
    exchangeAxes(p.pos, r.position);
    exchangeAxes(&p.worldMatrix[0], r.xAxis);
    exchangeAxes(&p.worldMatrix[3], r.yAxis);
    exchangeAxes(&p.worldMatrix[6], r.zAxis);
    for (double& c : r.zAxis)
        c = -c;

    const fennick::contract::FilmSize film = fennick::contract::filmSize(p, width, height);
    const double filmW = film.width;
    const double filmH = film.height;

    if (perspective) {
        r.topLeft[0] = -0.5 * filmW;
        r.topLeft[1] = 0.5 * filmH;
        r.topLeft[2] = p.focalLen;
        r.bottomRight[0] = 0.5 * filmW;
        r.bottomRight[1] = -0.5 * filmH;
        r.bottomRight[2] = p.focalLen;
    } else {
        const double x = 2.0 * filmW / p.focalLen;
        const double y = 2.0 * filmH / p.focalLen;
        r.topLeft[0] = -x;
        r.topLeft[1] = y;
        r.topLeft[2] = 0.0;
        r.bottomRight[0] = x;
        r.bottomRight[1] = -y;
        r.bottomRight[2] = 0.0;
    }
    r.nearDistance = 0.0;
    r.farDistance = kFarDistanceFactor * p.depthMax;
    r.scale = 1.0;
    r.code = kProjectionCode;

    const bool finite = allFinite(r.position, 3) && allFinite(r.xAxis, 3) && allFinite(r.yAxis, 3)
                        && allFinite(r.zAxis, 3) && allFinite(r.topLeft, 3)
                        && allFinite(r.bottomRight, 3) && std::isfinite(r.farDistance);
    if (!finite)
        return false;
    out = r;
    return true;
}

std::uint32_t resolutionFromDpi(double dpi)
{
    if (std::isnan(dpi) || dpi <= 0.0)
        return 0;
    if (dpi >= kUint32Max)
        return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(dpi);  // truncates toward zero
}
