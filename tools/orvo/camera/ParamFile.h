// The camera side file the saver reads: the word "Parameters" and thirteen
// keyed entries, written as the host's preparation script writes them, and
// read back and checked before the plug-in sees it.
#pragma once

#include "contract/ParameterFile.h"

#include <string>
#include <vector>

namespace fennick {
namespace tool {

// The render camera in the host's coordinates (Y up; the camera looks along
// the negative third row of its world matrix), as the saver reads it.
using fennick::contract::CameraParameters;

// What a camera the tool makes starts from: unrotated at the origin, a
// 50 mm lens on a 36 x 24 mm film fitted horizontally, 72 dpi, square
// pixels, depthMax 1.
inline constexpr double kNewFocalLength = 0.05;
inline constexpr double kNewApertureX = 0.036;
inline constexpr double kNewApertureY = 0.024;
inline constexpr double kDefaultDpi = 72;
CameraParameters newCamera();

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

}  // namespace tool
}  // namespace fennick
