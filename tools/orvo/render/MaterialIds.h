// Material tags from an ID channel (`orvo save --materials`).
//
// Renderers say which material each pixel shows as an ID: a channel of
// whole numbers (Blender's Material Index, 0 for none) or a Cryptomatte
// layer, whose rank-0 ID (the material covering most of the pixel) is a
// hash of the material's name, the names listed in the file's manifest.
// The saver tags materials by hue, so the tool paints each ID in a hue of
// its own, spaced evenly round the colour circle: each is farther from every
// other than the saver's hue tolerance, and so becomes exactly one tag. A
// render exported from an Orvo file carries the file's material table, and
// its IDs are the file's tags: each is then painted in its table colour, so
// that the saver gives back the same tags and the same table.
#pragma once

#include "orvo/render/MaterialTable.h"
#include "orvo/render/RenderImage.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fennick {
namespace tool {

// "No material" in MaterialIds::ids: 0 in an ID channel, and the float 0
// (every bit clear) that Cryptomatte writes where nothing was covered.
inline constexpr std::uint32_t kNoMaterialId = 0;

struct MaterialIds {
    // What --materials resolved to: the channel as the tool lists channels,
    // or the Cryptomatte layer's name.
    std::string source;
    bool cryptomatte = false;
    // Width x height, row-major: an ID channel's whole numbers, or the bits
    // of Cryptomatte's float IDs.
    std::vector<std::uint32_t> ids;
    // From a Cryptomatte manifest: ID bits to the material's name.
    std::map<std::uint32_t, std::string> names;
    // Samples of an ID channel that were not whole numbers from 0 to
    // kMaxWholeId (an antialiased channel); saved as no material.
    std::uint64_t notWhole = 0;
    // The render's material table (kMaterialTableAttribute), read with an
    // ID channel of whole numbers; `tableProblem` says why an attribute of
    // that name was not read as one.
    std::optional<std::vector<TableMaterial>> table;
    std::string tableProblem;

    // Whole numbers above this are not read as IDs: a float holds every
    // whole number exactly only up to 2^24.
    static constexpr float kMaxWholeId = 16777216.0f;

    // The ID as the user knows it: the material's name, or "ID " and the
    // number (a Cryptomatte ID not in the manifest as its 8 hex digits).
    std::string label(std::uint32_t id) const;
    // Sets `ids` from an ID channel's samples.
    void fromWholeNumbers(const std::vector<float>& samples);
};

struct MaterialLayer {
    // Named as the saver looks for it; black where there is no material.
    RenderLayer layer;
    std::size_t distinctIds = 0;
    // Whether the IDs are painted in the colours of `table`; else in evenly
    // spaced hues.
    bool tableColours = false;
    // Why a table the render carries could not give the colours; empty
    // when it did or there was none.
    std::string tableUnused;
};

// The material layer painting every distinct ID but kNoMaterialId in a fully
// saturated colour of its own: its table colour when the table gives every
// ID one (see above), else a hue spaced evenly from the others. Throws
// ToolError naming `render` when there are more IDs than the saver has tags.
MaterialLayer materialLayer(const std::string& render, const MaterialIds& materials);

struct MaterialTag {
    unsigned tag = 0;
    std::uint32_t id = kNoMaterialId;
    std::uint64_t pixels = 0;
};

// The tag the saved file gives each ID, read back from its material picture,
// in tag order. `mixed` counts pixels whose tag is not the one their ID's
// first pixel got (0 when each ID became one tag, as it should).
std::vector<MaterialTag> tagsOfIds(const std::string& target, const MaterialIds& materials,
                                   std::uint64_t& mixed);

}  // namespace tool
}  // namespace fennick
