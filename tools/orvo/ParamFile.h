// The camera side file the saver reads: the word "Parameters" and thirteen
// keyed entries, written as the host's preparation script writes them, and
// read back and checked before the plug-in sees it.
#pragma once

#include <string>
#include <vector>

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

// The parameter file's text. Each number is the shortest text that reads
// back to it exactly (-0 written as 0).
std::string paramFileText(const CameraParameters& camera);

// Reads a parameter file as the saver reads it and checks what the saver
// does not: each value is one whole number token, worldMatrix's rows unit
// vectors at right angles (axesFault), lengths and depthMax above 0, dpi not
// negative. Throws ToolError "<file>:<line>: <what is wrong>" at
// the first problem, naming the key. Doubtful but valid values (an unknown
// film fit word) are added to `warnings`.
CameraParameters readParamFile(const std::string& path, std::vector<std::string>& warnings);

// The film's width and height as the saver frames it for an image of
// width x height pixels (its fit rule), in the unit of the apertures.
void filmSize(const CameraParameters& camera, unsigned width, unsigned height, double& filmWidth,
              double& filmHeight);

}  // namespace orvotool
