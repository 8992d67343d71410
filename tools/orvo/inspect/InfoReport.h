// What `orvo info` tells about an Orvo file, as text or as one JSON document:
// the directories, the colour directory's texts and resolution, the camera
// field by field (saying so when a planar camera's axes are not orthonormal:
// axesFault), depth statistics, the material table with pixel counts and
// the property list.
//
// The JSON document has a fixed schema (kInfoSchemaVersion): every key is
// present for every file, null where the file has nothing for it, and a
// document of the same keys reports a file that could not be read. Texts are
// valid UTF-8: bytes that are not become U+FFFD, and the key of the text with
// "Hex" appended holds the raw bytes in hex (null when the text was valid).
#pragma once

#include "avkorvo/OrvoReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fennick {
namespace tool {

inline constexpr int kInfoSchemaVersion = 1;

struct PixelStats {
    bool hasDepth = false;
    std::uint64_t pixels = 0;
    std::uint64_t noDepth = 0;       // pixels whose code is the no-depth marker
    std::uint32_t smallestCode = 0;  // over pixels with depth
    std::uint32_t largestCode = 0;
    bool hasMaterials = false;
    // Pixels per tag, indexed by tag (65536 entries when there are materials).
    std::vector<std::uint64_t> tagPixels;
};

// Reads every depth and material row once. Throws Talvenrock::Orvo::ReadError.
PixelStats collectStats(Talvenrock::Orvo::OrvoReader& reader);

std::string infoText(const Talvenrock::Orvo::OrvoSummary& summary, const PixelStats& stats);
std::string infoJson(const Talvenrock::Orvo::OrvoSummary& summary, const PixelStats& stats);
// The JSON document for a file that could not be read: the same keys, with
// "valid" false and the message in "error".
std::string infoJsonFailure(const std::string& path, const std::string& error);

// `text` as valid UTF-8, each byte that is not part of a valid sequence
// replaced by U+FFFD; `valid` tells whether it already was.
std::string validUtf8(const std::string& text, bool& valid);

}  // namespace tool
}  // namespace fennick
