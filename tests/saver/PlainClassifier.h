// The material classification done the obvious way, as the reference the
// saver's classifier is checked against: every hue classified so far in a
// std::map, asked afresh for every pixel, with no remembered tags.
//
// It takes from MaterialHelper only what defines the result: the hue of a
// colour, when two hues are near enough to share a material, the distance
// round the circle and how a material's interval takes a hue. How the
// recorded hues are kept and searched is its own, since that is what the
// comparison checks.
#pragma once

#include "saver/src/MaterialHelper.h"

#include <iterator>
#include <map>
#include <vector>

class PlainClassifier {
public:
    unsigned short getTag(float r, float g, float b)
    {
        const float h = MaterialHelper::gethue(r, g, b);
        if (h == MaterialHelper::kNoHue)
            return 0;
        const auto known = hueTags.find(h);
        if (known != hueTags.end())
            return known->second;

        const unsigned short tag = tagOfNewHue(h);
        hueTags.emplace(h, tag);
        if (tag > ranges.size())
            ranges.push_back({h, h});
        else
            ranges[tag - 1u].widen(h);
        return tag;
    }

    const std::vector<MaterialHelper::Range>& materialRanges() const { return ranges; }

private:
    using HueTags = std::map<float, unsigned short>;

    // A hue not recorded yet joins the recorded hue just above it when that
    // is near enough, else the one just below; only a hue above or below
    // every recorded one looks round red, to the smallest or the largest.
    // A hue near none opens a material while tags are left, and after that
    // joins the nearest recorded hue round the circle, the one above on a tie.
    unsigned short tagOfNewHue(float h) const
    {
        constexpr float kFullTurn = MaterialHelper::kFullTurn;
        if (hueTags.empty())
            return newTag();
        const auto above = hueTags.upper_bound(h);
        const bool hasAbove = above != hueTags.end();
        const bool hasBelow = above != hueTags.begin();
        if (hasAbove && MaterialHelper::withinLimit(h, above->first))
            return above->second;
        if (hasBelow && MaterialHelper::withinLimit(std::prev(above)->first, h))
            return std::prev(above)->second;
        if (!hasBelow && MaterialHelper::withinLimit(hueTags.rbegin()->first, h + kFullTurn))
            return hueTags.rbegin()->second;
        if (!hasAbove && MaterialHelper::withinLimit(h, hueTags.begin()->first + kFullTurn))
            return hueTags.begin()->second;

        if (ranges.size() < MaterialHelper::kMaxMaterials)
            return newTag();
        const HueTags::value_type& up = hasAbove ? *above : *hueTags.begin();
        const HueTags::value_type& down = hasBelow ? *std::prev(above) : *hueTags.rbegin();
        return MaterialHelper::circularDistance(h, up.first)
                       <= MaterialHelper::circularDistance(h, down.first)
                   ? up.second
                   : down.second;
    }

    unsigned short newTag() const { return static_cast<unsigned short>(ranges.size() + 1); }

    HueTags hueTags;                            // every distinct hue classified, with its tag
    std::vector<MaterialHelper::Range> ranges;  // tag t is ranges[t - 1]
};
