#include "orvo/camera/OrvoCamera.h"

#include "orvo/camera/RenderCamera.h"
#include "orvo/inspect/NumberText.h"
#include "orvo/support/ToolError.h"

#include <cmath>

namespace fennick {
namespace tool {

namespace {

// A non-perspective record's corners are at +-2 x film / focal length.
constexpr double kOtherPlanarSpan = 4;
constexpr char kOtherPlanarWord[] = "ortho";

}  // namespace

CameraParameters cameraFromOrvo(const std::string& path, const Talvenrock::Orvo::Camera& cam,
                                unsigned width, unsigned height)
{
    if (cam.panoramic)
        throw ToolError(path
                        + ": the camera is panoramic, which OpenEXR's planar camera "
                          "attributes (worldToCamera, worldToNDC) cannot express");
    CameraParameters c = newCamera();
    for (int k = 0; k < 3; ++k) {
        c.pos[k] = cam.position[k];
        c.worldMatrix[k] = cam.xAxis[k];
        c.worldMatrix[3 + k] = cam.yAxis[k];
        c.worldMatrix[6 + k] = -cam.zAxis[k];
    }
    convertFromZUp(c);
    const bool perspective = cam.kind == Talvenrock::Orvo::kPerspectiveCameraKind;
    const double spanX = cam.bottomRight[0] - cam.topLeft[0];
    const double spanY = cam.topLeft[1] - cam.bottomRight[1];
    c.projType = perspective ? fennick::contract::kPerspectiveWord : kOtherPlanarWord;
    c.focalLen = perspective ? cam.topLeft[2] : 1.0;
    c.apertureX = perspective ? spanX : spanX / kOtherPlanarSpan;
    c.apertureY = perspective ? spanY : spanY / kOtherPlanarSpan;
    c.filmFit = "horizontal";
    if (!(c.focalLen > 0) || !(c.apertureX > 0) || !(c.apertureY > 0) || !std::isfinite(c.focalLen)
        || !std::isfinite(c.apertureX) || !std::isfinite(c.apertureY))
        throw ToolError(path + ": the camera's frame corners (" + shortestText(cam.topLeft[0])
                        + ", " + shortestText(cam.topLeft[1]) + ", " + shortestText(cam.topLeft[2])
                        + ") and (" + shortestText(cam.bottomRight[0]) + ", "
                        + shortestText(cam.bottomRight[1]) + ", " + shortestText(cam.bottomRight[2])
                        + ") span no frame in front of the camera");
    c.pAspect = (c.apertureX / width) / (c.apertureY / height);
    c.depthMax = cam.farDistance / fennick::contract::kFarDistanceFactor;
    return c;
}

}  // namespace tool
}  // namespace fennick
