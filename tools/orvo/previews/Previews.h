// The files `orvo extract` writes from an Orvo file, for viewing in ordinary
// image tools:
//   colour.png     the colour picture, 8-bit RGB;
//   depth.png      16-bit grey: the nearest depth white, the farthest
//                  kFarGrey, no depth black;
//   materials.png  each pixel in its material's table colour, tag 0 black,
//                  a tag missing from the table mid grey;
//   depth.tif      32-bit float distances (code / 4294967294 x farDistance),
//                  NaN where there is no depth.
// Channels the file lacks give no preview.
#pragma once

#include "orvo/inspect/InfoReport.h"
#include "orvo/support/Progress.h"
#include "avkorvo/OrvoReader.h"

#include <string>
#include <vector>

namespace fennick {
namespace tool {

inline constexpr std::uint16_t kFarGrey = 8192;

// Writes the previews into outDir (which must exist) and returns the paths
// written. Throws ToolError or Talvenrock::Orvo::ReadError.
std::vector<std::string> writePreviews(Talvenrock::Orvo::OrvoReader& reader,
                                       const PixelStats& stats, const std::string& outDir,
                                       const Progress& progress);

}  // namespace tool
}  // namespace fennick
