#include "orvo/render/MaterialIds.h"

#include "orvo/render/Cryptomatte.h"
#include "orvo/support/ToolError.h"
#include "avkorvo/OrvoReader.h"

#include "contract/LayerNames.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <unordered_map>

namespace fennick {
namespace tool {

namespace {

// The saver's tags are 16-bit with 0 for "no material".
constexpr std::size_t kMaxTags = 65535;
// Hues run from 0 to 6 round the circle, one unit a sector (red, yellow,
// green, cyan, blue, magenta); 65535 hues spaced over it lie 9e-5 apart,
// far more than the saver's tolerance of 1e-5 and than a float's error.
constexpr double kHueTurn = 6.0;
constexpr unsigned kRgb = 3;
constexpr std::uint8_t kFullByte = 255;

// Fully saturated, full-value colour of `hue` in [0, 6): the largest
// component 1, the smallest 0, so that no pixel falls below the saver's
// darkness threshold and the hue it computes is `hue` itself.
void hueColour(double hue, float* rgb)
{
    const int sector = static_cast<int>(hue);
    const float rising = static_cast<float>(hue - sector);
    const float falling = 1.0f - rising;
    const float colours[6][3] = {{1, rising, 0},  {falling, 1, 0}, {0, 1, rising},
                                 {0, falling, 1}, {rising, 0, 1},  {1, 0, falling}};
    std::copy(colours[sector], colours[sector] + kRgb, rgb);
}

// The table colour of each of `ids` (sorted, distinct), as the saver
// reads a layer: 0..1. Empty when the table gives every ID a colour of its
// own that the saver classifies as one material and colours back with the
// same bytes: a fully saturated colour (one component 255, one 0) has the
// hue it names to within 1/255, far above the saver's hue tolerance, and
// the saver colours a material of one hue with that hue's fully saturated
// colour rounded to bytes, which is the colour again. Else why not.
std::string tableFault(const std::vector<TableMaterial>& table,
                       const std::vector<std::uint32_t>& ids,
                       std::unordered_map<std::uint32_t, std::array<float, kRgb>>& colourOf)
{
    constexpr float kByteMax = 255.0f;
    std::map<std::uint32_t, const TableMaterial*> byTag;
    for (const TableMaterial& m : table)
        byTag.emplace(m.tag, &m);
    std::map<std::array<std::uint8_t, kRgb>, std::uint32_t> idOfColour;
    for (std::uint32_t id : ids) {
        const auto found = byTag.find(id);
        if (found == byTag.end())
            return "ID " + std::to_string(id) + " is not in it";
        const std::array<std::uint8_t, kRgb>& c = found->second->colour;
        const std::string text = "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", "
                                 + std::to_string(c[2]) + ")";
        if (*std::max_element(c.begin(), c.end()) != kFullByte
            || *std::min_element(c.begin(), c.end()) != 0)
            return "the colour of ID " + std::to_string(id) + " " + text
                   + " is not fully saturated";
        const auto [other, fresh] = idOfColour.emplace(c, id);
        if (!fresh)
            return "IDs " + std::to_string(other->second) + " and " + std::to_string(id)
                   + " share the colour " + text;
        colourOf.emplace(id, std::array<float, kRgb>{float(c[0]) / kByteMax, float(c[1]) / kByteMax,
                                                     float(c[2]) / kByteMax});
    }
    return {};
}

}  // namespace

std::string MaterialIds::label(std::uint32_t id) const
{
    const auto named = names.find(id);
    if (named != names.end())
        return named->second;
    if (!cryptomatte)
        return "ID " + std::to_string(id);
    return "ID " + idHex(id);
}

void MaterialIds::fromWholeNumbers(const std::vector<float>& samples)
{
    ids.resize(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const float v = samples[i];
        if (v >= 0 && v <= kMaxWholeId && std::floor(v) == v) {
            ids[i] = static_cast<std::uint32_t>(v);
        } else {
            ids[i] = kNoMaterialId;
            ++notWhole;
        }
    }
}

MaterialLayer materialLayer(const std::string& render, const MaterialIds& materials)
{
    std::vector<std::uint32_t> sorted;
    {
        std::vector<std::uint32_t> all(materials.ids);
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        for (std::uint32_t id : all)
            if (id != kNoMaterialId)
                sorted.push_back(id);
    }
    MaterialLayer made;
    made.distinctIds = sorted.size();
    if (sorted.size() > kMaxTags)
        throw ToolError(render + ": --materials " + materials.source + " holds "
                        + std::to_string(sorted.size()) + " IDs; an Orvo file has tags for "
                        + std::to_string(kMaxTags) + " materials");
    std::unordered_map<std::uint32_t, std::array<float, kRgb>> colourOf;
    colourOf.reserve(sorted.size());
    if (materials.table) {
        made.tableUnused = tableFault(*materials.table, sorted, colourOf);
        made.tableColours = made.tableUnused.empty();
    }
    if (!made.tableColours) {
        colourOf.clear();
        for (std::size_t k = 0; k < sorted.size(); ++k) {
            std::array<float, kRgb> rgb{};
            hueColour(kHueTurn * double(k) / double(sorted.size()), rgb.data());
            colourOf.emplace(sorted[k], rgb);
        }
    }

    RenderLayer& layer = made.layer;
    layer.name = fennick::contract::kMaterialLayerPrefix;
    layer.channels = kRgb;
    layer.rgb = true;
    layer.values.assign(materials.ids.size() * kRgb, 0.0f);
    // Neighbouring pixels mostly share a material: the last lookup is kept.
    std::uint32_t lastId = kNoMaterialId;
    const float* lastColour = nullptr;
    for (std::size_t i = 0; i < materials.ids.size(); ++i) {
        const std::uint32_t id = materials.ids[i];
        if (id == kNoMaterialId)
            continue;
        if (lastColour == nullptr || id != lastId) {
            lastColour = colourOf.at(id).data();
            lastId = id;
        }
        std::copy(lastColour, lastColour + kRgb, layer.values.begin() + std::ptrdiff_t(i * kRgb));
    }
    return made;
}

std::vector<MaterialTag> tagsOfIds(const std::string& target, const MaterialIds& materials,
                                   std::uint64_t& mixed)
{
    mixed = 0;
    auto reader = Talvenrock::Orvo::OrvoReader::open(target);
    const Talvenrock::Orvo::OrvoSummary& s = reader->summary();
    if (!s.has(Talvenrock::Orvo::Channel::Material)
        || std::uint64_t(s.width) * s.height != materials.ids.size())
        throw ToolError(target
                        + ": the saved file has no material picture of the render's size "
                          "to read the tags back from");
    std::unordered_map<std::uint32_t, MaterialTag> byId;
    std::vector<std::uint16_t> row(s.width);
    for (std::uint32_t y = 0; y < s.height; ++y) {
        reader->readMaterialRow(y, row.data());
        for (std::uint32_t x = 0; x < s.width; ++x) {
            const std::uint32_t id = materials.ids[std::size_t(y) * s.width + x];
            if (id == kNoMaterialId)
                continue;
            auto [entry, first] = byId.try_emplace(id, MaterialTag{row[x], id, 0});
            (void)first;
            ++entry->second.pixels;
            if (entry->second.tag != row[x])
                ++mixed;
        }
    }
    std::vector<MaterialTag> tags;
    for (const auto& [id, tag] : byId)
        tags.push_back(tag);
    std::sort(tags.begin(), tags.end(), [](const MaterialTag& a, const MaterialTag& b) {
        return a.tag != b.tag ? a.tag < b.tag : a.id < b.id;
    });
    return tags;
}

}  // namespace tool
}  // namespace fennick
