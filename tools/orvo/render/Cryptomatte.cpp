#include "orvo/render/Cryptomatte.h"

#include "orvo/support/Text.h"
#include "orvo/support/ToolError.h"

#include <murmurhash.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>

namespace fennick {
namespace tool {

namespace {

constexpr std::uint32_t kHashSeed = 0;
constexpr unsigned kMantissaBits = 23;
constexpr std::uint32_t kExponentMask = 0xFF;
constexpr std::uint32_t kLowestExponentBit = 1u << kMantissaBits;
constexpr std::size_t kKeyDigits = 7;
constexpr int kHexBase = 16;
constexpr char kHexDigits[] = "%08x";
constexpr std::size_t kHexChars = 8;

}  // namespace

std::uint32_t murmurHash3(const std::string& name)
{
    std::uint32_t hash[1] = {0};
    lmmh_x86_32(name.data(), static_cast<unsigned>(name.size()), kHashSeed, hash);
    return hash[0];
}

std::uint32_t cryptomatteId(const std::string& name)
{
    std::uint32_t id = murmurHash3(name);
    const std::uint32_t exponent = (id >> kMantissaBits) & kExponentMask;
    if (exponent == 0 || exponent == kExponentMask)
        id ^= kLowestExponentBit;
    return id;
}

std::string idHex(std::uint32_t id)
{
    char hex[kHexChars + 1];
    std::snprintf(hex, sizeof hex, kHexDigits, static_cast<unsigned>(id));
    return hex;
}

std::string cryptomatteAttributeBase(const std::string& layer)
{
    return kCryptomattePrefix + idHex(murmurHash3(layer)).substr(0, kKeyDigits);
}

std::string manifestText(const std::map<std::string, std::uint32_t>& ids)
{
    nlohmann::json doc = nlohmann::json::object();
    for (const auto& [name, id] : ids)
        doc[name] = idHex(id);
    return doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::map<std::uint32_t, std::string>
manifestNames(const std::string& path, const std::string& layer, const std::string& manifest)
{
    std::map<std::uint32_t, std::string> names;
    const nlohmann::json doc = nlohmann::json::parse(manifest, nullptr, false);
    if (!doc.is_object())
        throw ToolError(path + ": the manifest of the Cryptomatte layer " + quote(layer)
                        + " is not a JSON object of names and IDs");
    for (const auto& [name, hex] : doc.items()) {
        if (!hex.is_string())
            continue;
        const std::string digits = hex.get<std::string>();
        char* end = nullptr;
        const unsigned long id = std::strtoul(digits.c_str(), &end, kHexBase);
        if (!digits.empty() && *end == '\0' && id <= 0xFFFFFFFFul)
            names.emplace(static_cast<std::uint32_t>(id), name);
    }
    return names;
}

}  // namespace tool
}  // namespace fennick
