// An Orvo file's material table carried in an OpenEXR render as the string
// attribute orvo/materials (`orvo export` writes it). The saver names its
// materials itself and colours each by the hue it classified, so a render
// whose whole-number ID channel holds the file's tags gives back the same
// table only when each tag is painted in its table colour: `orvo save
// --materials` does so when the render carries the table.
//
// The text is a JSON array in tag order of {"tag": N, "name": "...",
// "colour": [red, green, blue]}, colours as the file's bytes (0..255).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fennick {
namespace tool {

inline constexpr char kMaterialTableAttribute[] = "orvo/materials";

struct TableMaterial {
    std::uint32_t tag = 0;
    std::string name;  // UTF-8
    std::array<std::uint8_t, 3> colour{};
};

std::string materialTableText(const std::vector<TableMaterial>& table);

// The table of such a text; nullopt when the text is not one (the reason in
// `why`).
std::optional<std::vector<TableMaterial>> readMaterialTable(const std::string& text,
                                                            std::string& why);

}  // namespace tool
}  // namespace fennick
