#include "saver/MaterialHelper.h"

#include "avkorvo/OrvoFile.h"

#include <cmath>
#include <cstring>
#include <cwchar>
#include <iterator>

namespace {

constexpr float kFullTurn = 6.0f;
// addHue's tests for an interval lying just above red and a hue just below
// it, or the reverse.
constexpr float kNearRedAbove = 1.0f;
constexpr float kNearRedBelow = 5.0f;
// "Mat 65535" and its terminator.
constexpr std::size_t kNameChars = 10;

// Distance round the colour circle between two hues in [0, 6].
float circularDistance(float a, float b)
{
    const float d = std::fabs(a - b);
    return d < kFullTurn - d ? d : kFullTurn - d;
}

unsigned char channel(float v) { return static_cast<unsigned char>(static_cast<int>(v * 255.0f + 0.5f)); }

std::uint32_t bitsOf(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// Fibonacci hashing of a hue's bits into the cache's index range.
constexpr std::uint32_t kGoldenRatio32 = 0x9E3779B9u;

}  // namespace

float MaterialHelper::gethue(float r, float g, float b)
{
    if (std::isnan(r) || std::isnan(g) || std::isnan(b))
        return kNoHue;
    float top = 0.0f;
    float hue = 0.0f;
    if (r > g) {
        if (b > r) {
            top = b;
            hue = 4.0f + (r - g) / (b - g);
        } else if (b > g) {
            top = r;
            hue = 6.0f - (b - g) / (r - g);
        } else {
            top = r;
            hue = (g - b) / (r - b);
        }
    } else if (r > b) {
        top = g;
        hue = 2.0f - (r - b) / (g - b);
    } else if (g > b) {
        top = g;
        hue = 2.0f + (b - r) / (g - r);
    } else {
        // Equal components (grey, white) divide zero by zero here; the NaN
        // test below turns them into "no hue", as it does infinite inputs
        // whose differences are not numbers.
        top = b;
        hue = 4.0f - (g - r) / (b - r);
    }
    if (!(top >= kDarkThreshold) || std::isnan(hue))
        return kNoHue;
    return hue;
}

unsigned short MaterialHelper::getTag(float r, float g, float b)
{
    // Equal bits give the same hue, so the same tag; comparing bits rather
    // than values keeps NaN and signed zeros out of the question.
    if (!remember) {
        const float h = gethue(r, g, b);
        return h == kNoHue ? 0 : classifyHue(h);
    }
    const std::uint32_t pixel[3] = {bitsOf(r), bitsOf(g), bitsOf(b)};
    if (haveLastPixel && pixel[0] == lastPixel[0] && pixel[1] == lastPixel[1] && pixel[2] == lastPixel[2])
        return lastTag;

    const float h = gethue(r, g, b);
    unsigned short tag = 0;
    if (h != kNoHue) {
        const std::uint32_t hue = bitsOf(h);
        CachedHue& slot = hueCache[(hue * kGoldenRatio32) >> (32 - kHueCacheBits)];
        if (slot.tag != 0 && slot.bits == hue) {
            tag = slot.tag;
        } else {
            tag = classifyHue(h);
            slot.bits = hue;
            slot.tag = tag;
        }
    }
    std::memcpy(lastPixel, pixel, sizeof lastPixel);
    lastTag = tag;
    haveLastPixel = true;
    return tag;
}

unsigned short MaterialHelper::classifyHue(float h)
{
    if (hueTags.empty()) {
        const unsigned short tag = insertHue(h);
        hueTags.emplace(h, tag);
        return tag;
    }

    const auto upper = hueTags.lower_bound(h);
    if (upper != hueTags.end() && upper->first == h)
        return upper->second;

    // The neighbour tests: the hue just above first, then the one just below
    // (one turn round when h lies below every hue); when h lies above every
    // hue, the one just below first, then the smallest one turn further.
    const auto first = hueTags.begin();
    const auto last = std::prev(hueTags.end());
    auto neighbour = hueTags.end();
    if (upper != hueTags.end()) {
        if (upper->first - h < kHueLimit)
            neighbour = upper;
        else if (upper != first && h - std::prev(upper)->first < kHueLimit)
            neighbour = std::prev(upper);
        else if (upper == first && (kFullTurn + h) - last->first < kHueLimit)
            neighbour = last;
    } else {
        if (h - last->first < kHueLimit)
            neighbour = last;
        else if ((kFullTurn + first->first) - h < kHueLimit)
            neighbour = first;
    }

    if (neighbour == hueTags.end() && ranges.size() >= kMaxMaterials) {
        // No tag is left for a new material: join the nearest recorded hue,
        // which is the one just above h or just below it, round the circle.
        const auto above = upper != hueTags.end() ? upper : first;
        const auto below = upper != first ? std::prev(upper) : last;
        neighbour = circularDistance(h, above->first) <= circularDistance(h, below->first) ? above : below;
    }

    if (neighbour != hueTags.end()) {
        const unsigned short tag = neighbour->second;
        hueTags.emplace_hint(upper, h, tag);
        addHue(tag, h);
        return tag;
    }
    const unsigned short tag = insertHue(h);
    hueTags.emplace_hint(upper, h, tag);
    return tag;
}

unsigned short MaterialHelper::insertHue(float hue)
{
    ranges.push_back(Range{hue, hue});
    return static_cast<unsigned short>(ranges.size());
}

void MaterialHelper::addHue(unsigned short tag, float hue)
{
    Range& range = ranges[tag - 1u];
    float used = hue;
    if (range.max <= kNearRedAbove && hue >= kNearRedBelow) {
        range.min += kFullTurn;
        range.max += kFullTurn;
    } else if (hue <= kNearRedAbove && range.min >= kNearRedBelow) {
        used = hue + kFullTurn;
    }
    if (range.min > used)
        range.min = used;
    if (used > range.max)
        range.max = used;
}

void MaterialHelper::writeMaterials(Talvenrock::Orvo::OrvoFile& file) const
{
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const auto tag = static_cast<unsigned short>(i + 1);
        wchar_t name[kNameChars];
        std::swprintf(name, kNameChars, L"Mat %d", static_cast<int>(tag));

        const Range& range = ranges[i];
        const float mid = (range.max + range.min) * 0.5f;
        const int whole = static_cast<int>(mid);
        const int sector = whole % 6;
        const float rising = mid - static_cast<float>(whole);
        const float falling = static_cast<float>(whole + 1) - mid;
        const unsigned char up = channel(rising);
        const unsigned char down = channel(falling);
        unsigned char red = 0;
        unsigned char green = 0;
        unsigned char blue = 0;
        switch (sector) {
        case 0: red = 255; green = up; break;
        case 1: red = down; green = 255; break;
        case 2: green = 255; blue = up; break;
        case 3: green = down; blue = 255; break;
        case 4: red = up; blue = 255; break;
        default: red = 255; blue = down; break;
        }
        file.putMaterial(tag, red, green, blue, name);
    }
}
