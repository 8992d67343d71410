// Fuzz target: the parameter-file reader and the camera model. Any text is
// either refused or turned into a camera record with finite fields only.
#include "saver/src/CameraModel.h"
#include "saver/src/ParameterFile.h"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

bool finite3(const double* v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    CameraParameters params;
    if (!readParameterFile(in, params))
        return 0;
    Talvenrock::Orvo::Projection projection;
    // Sizes of a typical render and of a degenerate one.
    for (unsigned wh : {1u, 640u}) {
        if (!makeProjection(params, wh, wh, projection))
            continue;
        const bool finite = finite3(projection.position) && finite3(projection.xAxis)
                            && finite3(projection.yAxis) && finite3(projection.zAxis)
                            && finite3(projection.topLeft) && finite3(projection.bottomRight)
                            && std::isfinite(projection.farDistance) && projection.farDistance > 0;
        // An accepted camera with a non-finite field would reach the file.
        if (!finite)
            std::abort();
    }
    (void)resolutionFromDpi(params.dpi);
    return 0;
}
