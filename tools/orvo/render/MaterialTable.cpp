#include "orvo/render/MaterialTable.h"

#include <nlohmann/json.hpp>

#include <limits>

namespace fennick {
namespace tool {

namespace {

constexpr char kTagKey[] = "tag";
constexpr char kNameKey[] = "name";
constexpr char kColourKey[] = "colour";
constexpr std::size_t kRgb = 3;

}  // namespace

std::string materialTableText(const std::vector<TableMaterial>& table)
{
    nlohmann::json doc = nlohmann::json::array();
    for (const TableMaterial& m : table)
        doc.push_back({{kTagKey, m.tag},
                       {kNameKey, m.name},
                       {kColourKey, {m.colour[0], m.colour[1], m.colour[2]}}});
    return doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<std::vector<TableMaterial>> readMaterialTable(const std::string& text,
                                                            std::string& why)
{
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    if (!doc.is_array()) {
        why = "it is not a JSON array";
        return std::nullopt;
    }
    std::vector<TableMaterial> table;
    for (const nlohmann::json& entry : doc) {
        const auto at = [&](const char* key) {
            return entry.is_object() && entry.contains(key) ? entry.at(key) : nlohmann::json();
        };
        const nlohmann::json tag = at(kTagKey), name = at(kNameKey), colour = at(kColourKey);
        if (!tag.is_number_unsigned()
            || tag.get<std::uint64_t>() > std::numeric_limits<std::uint32_t>::max()
            || !name.is_string() || !colour.is_array() || colour.size() != kRgb) {
            why = "entry " + std::to_string(table.size() + 1)
                  + " is not {\"tag\": N, \"name\": \"...\", \"colour\": [r, g, b]}";
            return std::nullopt;
        }
        TableMaterial m;
        m.tag = tag.get<std::uint32_t>();
        m.name = name.get<std::string>();
        for (std::size_t k = 0; k < kRgb; ++k) {
            if (!colour[k].is_number_unsigned()
                || colour[k].get<std::uint64_t>() > std::numeric_limits<std::uint8_t>::max()) {
                why = "the colour of tag " + std::to_string(m.tag) + " is not three bytes";
                return std::nullopt;
            }
            m.colour[k] = colour[k].get<std::uint8_t>();
        }
        table.push_back(std::move(m));
    }
    return table;
}

}  // namespace tool
}  // namespace fennick
