#include "contract/ColourImage.h"

namespace fennick {
namespace contract {

namespace {

constexpr unsigned kBitsPerByte = 8;

unsigned littleEndian16(const unsigned char* p) { return p[0] | (unsigned(p[1]) << kBitsPerByte); }

}  // namespace

ColourImageHeader parseColourImageHeader(const unsigned char* h)
{
    ColourImageHeader r;
    r.imageType = h[TgaField::kImageType];
    r.colourMapType = h[TgaField::kColourMapType];
    r.bitsPerPixel = h[TgaField::kBitsPerPixel];
    r.width = littleEndian16(&h[TgaField::kWidth]);
    r.height = littleEndian16(&h[TgaField::kHeight]);
    r.topDown = (h[TgaField::kDescriptor] & kTgaTopDownBit) != 0;
    r.dataOffset = kTgaHeaderSize + h[TgaField::kIdLength];
    if (r.colourMapType == kTgaHasColourMap) {
        // A true-colour image may still carry a map: whole bytes per entry.
        const std::uint64_t entryBytes
            = (h[TgaField::kColourMapEntryBits] + kBitsPerByte - 1) / kBitsPerByte;
        r.dataOffset += littleEndian16(&h[TgaField::kColourMapLength]) * entryBytes;
    }
    return r;
}

}  // namespace contract
}  // namespace fennick
