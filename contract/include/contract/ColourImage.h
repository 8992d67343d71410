// The colour image the host's preparation script writes beside the target
// (contract/SideFileNames.h): a TGA file, whose 18-byte header (16-bit
// fields little-endian) says what follows. The saver reads exactly one
// kind, uncompressed true colour (image type 2) of 32 bits a pixel (blue,
// green, red, alpha), with or without a colour map, whose entries it skips;
// the tool writes that kind and checks a user's file against the same
// header rule before the saver sees it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fennick {
namespace contract {

inline constexpr std::size_t kTgaHeaderSize = 18;

// Byte offsets of the header's fields.
namespace TgaField {
inline constexpr std::size_t kIdLength = 0;
inline constexpr std::size_t kColourMapType = 1;
inline constexpr std::size_t kImageType = 2;
inline constexpr std::size_t kColourMapLength = 5;  // 16 bits: entries
inline constexpr std::size_t kColourMapEntryBits = 7;
inline constexpr std::size_t kWidth = 12;   // 16 bits
inline constexpr std::size_t kHeight = 14;  // 16 bits
inline constexpr std::size_t kBitsPerPixel = 16;
inline constexpr std::size_t kDescriptor = 17;
}  // namespace TgaField

inline constexpr unsigned kTgaTrueColour = 2;
inline constexpr unsigned kTgaBitsPerPixel = 32;
inline constexpr std::uint64_t kTgaBytesPerPixel = 4;
inline constexpr unsigned kTgaNoColourMap = 0;
inline constexpr unsigned kTgaHasColourMap = 1;
// Descriptor bit 5: the first stored row is the image's top row.
inline constexpr unsigned kTgaTopDownBit = 0x20;
inline constexpr unsigned kTgaMaxSide = 65535;

struct ColourImageHeader {
    unsigned imageType = 0;
    unsigned colourMapType = 0;
    unsigned bitsPerPixel = 0;
    unsigned width = 0;
    unsigned height = 0;
    bool topDown = false;
    // Where the first pixel lies: after the header, the ID field and the
    // colour map's entries.
    std::uint64_t dataOffset = kTgaHeaderSize;

    // Whether the saver reads this kind of image.
    bool readable() const
    {
        return imageType == kTgaTrueColour && bitsPerPixel == kTgaBitsPerPixel
               && colourMapType <= kTgaHasColourMap;
    }
    // The file's length with all its pixels.
    std::uint64_t bytesNeeded() const
    {
        return dataOffset + std::uint64_t(width) * height * kTgaBytesPerPixel;
    }
};

// The header's fields, from its kTgaHeaderSize bytes.
ColourImageHeader parseColourImageHeader(const unsigned char* header);

}  // namespace contract
}  // namespace fennick
