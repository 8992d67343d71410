// The fields of a file's summary under the names every report of the file
// gives them: the camera field by field, the colour directory's texts and
// the resolution's unit. The `orvo` tool's JSON report and the Python
// module both take their keys from here, so that a key cannot be spelt or
// left out in one and not in the other.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "avkorvo/OrvoReader.h"

namespace Talvenrock {
namespace Orvo {

// Receives the camera's fields in report order. Each key is a string
// literal, valid for the program's life. A field that the camera's kind
// does not have (a planar camera's axes of a panoramic one, and the other
// way round) comes as absent, so that every report holds every key.
class CameraFieldSink {
public:
    virtual void text(const char* key, const char* value) = 0;
    // A 32-bit field stored as an integer (block code, kind, code).
    virtual void count(const char* key, std::uint32_t value) = 0;
    virtual void number(const char* key, double value) = 0;
    // Three numbers.
    virtual void vector(const char* key, const double* value) = 0;
    virtual void flag(const char* key, bool value) = 0;
    virtual void absent(const char* key) = 0;

    // Never throws.
    virtual ~CameraFieldSink() = default;
};

// Hands every field of `camera` to `sink`: projection ("planar" or
// "panoramic"), blockCode, kind, position, xAxis, yAxis, zAxis,
// axesOrthonormal (the frame rule of FrameAxes.h, for a planar camera),
// spareAxis, topLeft, bottomRight, direction1, direction2, direction3,
// angle, nearDistance, farDistance, scale, code. Values as stored.
void reportCameraFields(const Camera& camera, CameraFieldSink& sink);

// A text of the colour directory and its key; value is null where the file
// has no such text. It points into the summary it came from.
struct NamedText {
    const char* key;
    const std::string* value;
};

constexpr std::size_t kColourTextCount = 5;

// software, dateTime, documentName, artist, copyright, in that order.
std::array<NamedText, kColourTextCount> colourTexts(const OrvoSummary& summary);

// The material table in report order: by tag, records of one tag in list
// order.
std::vector<Material> materialsByTag(const OrvoSummary& summary);

// The resolution's TIFF unit as reports name it: "inch", "centimetre", or
// "no unit" for every other value.
const char* resolutionUnitName(std::uint16_t tiffUnit);

}  // namespace Orvo
}  // namespace Talvenrock
