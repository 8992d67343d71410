#include "MaterialHelper.h"

#include "avkorvo/OrvoFile.h"

#include <cmath>
#include <cstring>
#include <cwchar>

namespace {

// Range::widen's tests for an interval lying just above red and a hue just
// below it, or the reverse.
constexpr float kNearRedAbove = 1.0f;
constexpr float kNearRedBelow = 5.0f;
// "Mat 65535" and its terminator.
constexpr std::size_t kNameChars = 10;

unsigned char channel(float v)
{
    return static_cast<unsigned char>(static_cast<int>(v * 255.0f + 0.5f));
}

std::uint32_t bitsOf(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// Fibonacci hashing of a hue's bits into the cache's index range.
constexpr std::uint32_t kGoldenRatio32 = 0x9E3779B9u;

}  // namespace

float MaterialHelper::circularDistance(float a, float b)
{
    const float d = std::fabs(a - b);
    return d < kFullTurn - d ? d : kFullTurn - d;
}

float MaterialHelper::gethue(float r, float g, float b)
{
    // A component that is not a number needs no test of its own: it fails
    // every comparison, which leads to a case whose top component or hue is
    // then not a number, and the test at the end turns either into no hue.
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
    const std::uint32_t pixel[3] = {bitsOf(r), bitsOf(g), bitsOf(b)};
    if (haveLastPixel && pixel[0] == lastPixel[0] && pixel[1] == lastPixel[1]
        && pixel[2] == lastPixel[2])
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
    using Entry = HueSet::Entry;
    if (hues.empty()) {
        const unsigned short tag = insertHue(h);
        hues.insert(h, tag);
        return tag;
    }

    const HueSet::Around found = hues.around(h);
    const Entry upper = found.atOrAbove;
    if (upper.tag != 0 && upper.hue == h)
        return upper.tag;

    // The neighbour tests: the hue just above first, then the one just below
    // (one turn round when h lies below every hue); when h lies above every
    // hue, the one just below first, then the smallest one turn further.
    const Entry lower = found.below;  // none exactly when upper is the first
    Entry neighbour;
    if (upper.tag != 0) {
        if (withinLimit(h, upper.hue)) {
            neighbour = upper;
        } else if (lower.tag != 0) {
            if (withinLimit(lower.hue, h))
                neighbour = lower;
        } else {
            const Entry last = hues.last();
            if (withinLimit(last.hue, kFullTurn + h))
                neighbour = last;
        }
    } else {
        // lower is the last hue here.
        if (withinLimit(lower.hue, h)) {
            neighbour = lower;
        } else {
            const Entry first = hues.first();
            if (withinLimit(h, kFullTurn + first.hue))
                neighbour = first;
        }
    }

    if (neighbour.tag == 0 && ranges.size() >= kMaxMaterials) {
        // No tag is left for a new material: join the nearest recorded hue,
        // which is the one just above h or just below it, round the circle.
        const Entry above = upper.tag != 0 ? upper : hues.first();
        const Entry below = lower.tag != 0 ? lower : hues.last();
        neighbour
            = circularDistance(h, above.hue) <= circularDistance(h, below.hue) ? above : below;
    }

    if (neighbour.tag != 0) {
        hues.insert(h, neighbour.tag);
        addHue(neighbour.tag, h);
        return neighbour.tag;
    }
    const unsigned short tag = insertHue(h);
    hues.insert(h, tag);
    return tag;
}

unsigned short MaterialHelper::insertHue(float hue)
{
    ranges.push_back(Range{hue, hue});
    return static_cast<unsigned short>(ranges.size());
}

void MaterialHelper::addHue(unsigned short tag, float hue) { ranges[tag - 1u].widen(hue); }

void MaterialHelper::Range::widen(float hue)
{
    float used = hue;
    if (max <= kNearRedAbove && hue >= kNearRedBelow) {
        min += kFullTurn;
        max += kFullTurn;
    } else if (hue <= kNearRedAbove && min >= kNearRedBelow) {
        used = hue + kFullTurn;
    }
    if (min > used)
        min = used;
    if (used > max)
        max = used;
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
        case 0:
            red = 255;
            green = up;
            break;
        case 1:
            red = down;
            green = 255;
            break;
        case 2:
            green = 255;
            blue = up;
            break;
        case 3:
            green = down;
            blue = 255;
            break;
        case 4:
            red = up;
            blue = 255;
            break;
        default:
            red = 255;
            blue = down;
            break;
        }
        file.putMaterial(tag, red, green, blue, name);
    }
}
