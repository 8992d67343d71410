// Classification of the material layer's colours into 16-bit material tags,
// and the material table written after the material picture.
//
// Pixels are grouped by hue alone (a lighter or darker pixel of one colour
// gets the same tag). Hues within kHueLimit of a hue already seen share its
// tag; every other hue opens a new material. Tags count from 1 in the order
// of each material's first pixel; 0 is "no material" (dark or grey pixels).
#pragma once

#include "HueSet.h"

#include <array>
#include <cstdint>
#include <vector>

namespace Talvenrock {
namespace Orvo {
class OrvoFile;
}
}  // namespace Talvenrock

class MaterialHelper {
public:
    // Hue of a pixel without one (top component below kDarkThreshold, equal
    // components, or a component that is not a number).
    static constexpr float kNoHue = -100.0f;
    // A pixel's largest component must reach this for the pixel to have a hue.
    static constexpr float kDarkThreshold = 0.2f;
    // Two hues closer than this belong to one material.
    static constexpr float kHueLimit = 0.00001f;
    // Tags are 16-bit and 0 is reserved.
    static constexpr std::size_t kMaxMaterials = 65535;
    // Hues run round a circle of this length: 6 is red again.
    static constexpr float kFullTurn = 6.0f;

    // Hue interval of one material. A material whose hues lie on both sides
    // of red has an interval running past 6: values from 6 up stand for the
    // hue minus 6.
    struct Range {
        float min;
        float max;

        // Takes `hue` into the interval, across red where needed.
        void widen(float hue);
    };

    // Whether `higher` (not below `lower`) is near enough to `lower` for the
    // two to be one material's: less than kHueLimit above it, the difference
    // taken in float. A pair across red is asked as `lower` and the other
    // hue plus kFullTurn.
    static bool withinLimit(float lower, float higher) { return higher - lower < kHueLimit; }

    // Distance round the colour circle between two hues in [0, 6]: what
    // decides which material a new hue joins once no tag is left.
    static float circularDistance(float a, float b);

    // Hue in [0, 6] (one unit per sector: 0 red, 1 yellow, 2 green, 3 cyan,
    // 4 blue, 5 magenta), all in 32-bit float; kNoHue when there is none.
    // Never NaN.
    static float gethue(float r, float g, float b);

    // Tag of one pixel; classifies the hue and extends the tables as needed.
    // Never 0 for a pixel with a hue, even after kMaxMaterials materials:
    // from then on a new hue joins the material of the nearest recorded hue.
    unsigned short getTag(float r, float g, float b);

    // Opens a new material for `hue`; returns its tag (the material count).
    // Only while fewer than kMaxMaterials exist; getTag never calls it later.
    unsigned short insertHue(float hue);
    // Widens material `tag`'s interval by `hue` (Range::widen).
    void addHue(unsigned short tag, float hue);

    // One putMaterial per material, in tag order, named "Mat <tag>" and
    // coloured by the middle of its hue interval. A writer error leaves at
    // once; the records before it have been written.
    void writeMaterials(Talvenrock::Orvo::OrvoFile& file) const;

    const std::vector<Range>& materialRanges() const { return ranges; }

private:
    // The classification of a hue not known to be recorded, against every
    // distinct hue classified so far.
    unsigned short classifyHue(float h);

    std::vector<Range> ranges;  // tag t is ranges[t - 1]
    HueSet hues;                // every distinct hue classified, with its tag

    // A hue once classified keeps its tag and classifying it again changes
    // nothing, so its tag can be remembered: for the last pixel (a render's
    // neighbours are mostly equal) and, by the hue's bits, in a small
    // direct-mapped table (a render has few hues, each over many pixels).
    static constexpr std::size_t kHueCacheBits = 12;
    struct CachedHue {
        std::uint32_t bits = 0;
        unsigned short tag = 0;  // 0: the slot is empty
    };
    std::array<CachedHue, std::size_t(1) << kHueCacheBits> hueCache{};
    std::uint32_t lastPixel[3] = {0, 0, 0};
    unsigned short lastTag = 0;
    bool haveLastPixel = false;
};
