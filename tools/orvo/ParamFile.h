// The camera side file the saver reads: the word "Parameters" and thirteen
// keyed entries, written as the host's preparation script writes them.
#pragma once

#include <string>

namespace orvotool {

// The render camera in the host's coordinates (Y up; the camera looks along
// the negative third row of its world matrix).
struct CameraParameters {
    double pos[3] = {0, 0, 0};
    double worldMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // rows: right, up, back
    double focalLen = 0.05;
    double apertureX = 0.036;
    double apertureY = 0.024;
    double offsetX = 0, offsetY = 0;
    double squeeze = 1;
    std::string filmFit = "horizontal";  // "horizontal", "overscan", "fill", else vertical
    std::string projType = "persp";
    double dpi = 72;
    double pAspect = 1;
    double depthMax = 1;
};

// Numbers are written so that they read back exactly. Throws ToolError.
void writeParamFile(const std::string& path, const CameraParameters& camera);

}  // namespace orvotool
