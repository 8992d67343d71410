// What `orvo info` tells about an Orvo file, as text or as one JSON document:
// the directories, the colour directory's texts and resolution, the camera
// field by field, depth statistics, the material table with pixel counts and
// the property list.
#pragma once

#include "tools/reader/OrvoReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvotool {

struct PixelStats {
    bool hasDepth = false;
    std::uint64_t pixels = 0;
    std::uint64_t noDepth = 0;     // pixels whose code is the no-depth marker
    std::uint32_t smallestCode = 0;  // over pixels with depth
    std::uint32_t largestCode = 0;
    bool hasMaterials = false;
    // Pixels per tag, indexed by tag (65536 entries when there are materials).
    std::vector<std::uint64_t> tagPixels;
};

// Reads every depth and material row once. Throws orvoread::ReadError.
PixelStats collectStats(orvoread::OrvoReader& reader);

std::string infoText(const orvoread::OrvoSummary& summary, const PixelStats& stats);
std::string infoJson(const orvoread::OrvoSummary& summary, const PixelStats& stats);

}  // namespace orvotool
