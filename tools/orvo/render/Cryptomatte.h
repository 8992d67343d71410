// Cryptomatte's naming rules, for reading a render's ID layer (`orvo save
// --materials CryptoMaterial`) and writing one (`orvo export`).
//
// A Cryptomatte layer NAME is the channels NAME00.r .. NAME00.a (and on):
// per rank, an ID and its coverage. An ID is the MurmurHash3 (x86, 32-bit,
// seed 0) of the object's UTF-8 name, stored as the bits of a 32-bit float;
// hashes whose exponent bits are all 0 or all 1 (denormals, infinities,
// NaN) have their lowest exponent bit flipped first, so that every ID is an
// ordinary float. The header says which layer is which through the string
// attributes cryptomatte/KEY/name, /hash, /conversion and /manifest (a JSON
// object of names to 8 hex digits of their IDs), KEY being the first 7 hex
// digits of the hash of the layer's name.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace fennick {
namespace tool {

inline constexpr char kCryptomattePrefix[] = "cryptomatte/";
inline constexpr char kCryptomatteName[] = "/name";
inline constexpr char kCryptomatteHash[] = "/hash";
inline constexpr char kCryptomatteConversion[] = "/conversion";
inline constexpr char kCryptomatteManifest[] = "/manifest";
inline constexpr char kCryptomatteHashName[] = "MurmurHash3_32";
inline constexpr char kCryptomatteConversionName[] = "uint32_to_float32";
// The channels of rank 0 (ID, coverage) and rank 1 after the layer's name.
inline constexpr char kCryptomatteFirstRanks[] = "00";

// MurmurHash3_x86_32 of the bytes of `name`, seed 0.
std::uint32_t murmurHash3(const std::string& name);

// The ID of `name` as a float's bits: its hash, with the lowest exponent bit
// flipped when the exponent is all 0s or all 1s.
std::uint32_t cryptomatteId(const std::string& name);

// An ID as the manifest and the tool's messages write it: 8 lower-case hex
// digits.
std::string idHex(std::uint32_t id);

// "cryptomatte/KEY", the start of the attributes of the layer `layer`.
std::string cryptomatteAttributeBase(const std::string& layer);

// The manifest's text for names to their IDs.
std::string manifestText(const std::map<std::string, std::uint32_t>& ids);

// A manifest's names by ID; entries whose value is not a 32-bit hex number
// are passed over. Throws ToolError naming `path` and `layer` when the text is not a
// JSON object.
std::map<std::uint32_t, std::string>
manifestNames(const std::string& path, const std::string& layer, const std::string& manifest);

}  // namespace tool
}  // namespace fennick
