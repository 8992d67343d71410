// The two side files the host's preparation script writes beside the target
// and the saver reads and consumes: the target's whole name (extension
// included) followed by these suffixes.
#pragma once

#include <string>

namespace fennick {
namespace contract {

// The camera: a text file of keyed numbers (ParameterFile).
inline constexpr char kParameterFileSuffix[] = ".param.txt";
// The colour picture: an uncompressed 32-bit TGA.
inline constexpr char kColourImageSuffix[] = ".rgb.tga";

inline std::string parameterFileFor(const std::string& target)
{
    return target + kParameterFileSuffix;
}
inline std::string colourImageFor(const std::string& target) { return target + kColourImageSuffix; }

}  // namespace contract
}  // namespace fennick
