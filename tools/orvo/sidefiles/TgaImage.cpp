#include "orvo/sidefiles/TgaImage.h"

#include "orvo/support/FileOps.h"
#include "orvo/support/ToolError.h"

#include "contract/ColourImage.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace fennick {
namespace tool {

namespace {
namespace TgaField = fennick::contract::TgaField;
using fennick::contract::kTgaBitsPerPixel;
using fennick::contract::kTgaBytesPerPixel;
using fennick::contract::kTgaHasColourMap;
using fennick::contract::kTgaHeaderSize;
using fennick::contract::kTgaMaxSide;
using fennick::contract::kTgaTrueColour;

// Descriptor: 8 alpha bits, and rows stored top row first.
constexpr unsigned kTgaAlphaBits = 8;
constexpr std::uint8_t kTgaDescriptorTopDown8Alpha
    = kTgaAlphaBits | fennick::contract::kTgaTopDownBit;
constexpr std::uint8_t kOpaque = 255;

std::string tgaTypeName(unsigned type)
{
    switch (type) {
    case 0: return "no image data";
    case 1: return "uncompressed colour-mapped";
    case 2: return "uncompressed true colour";
    case 3: return "uncompressed grey";
    case 9: return "run-length encoded colour-mapped";
    case 10: return "run-length encoded true colour";
    case 11: return "run-length encoded grey";
    default: return "unknown";
    }
}

void putTga(const std::string& path, const CFile& f, const void* bytes, std::size_t size)
{
    if (std::fwrite(bytes, 1, size, f.get()) != size)
        throw ToolError(path + ": cannot write the colour image: " + std::strerror(errno));
}

void finishTga(const std::string& path, CFile& f)
{
    if (std::fclose(f.release()) != 0)
        throw ToolError(path + ": cannot write the colour image: " + std::strerror(errno));
}

// Rows of the colour image converted and written at a time: a few megabytes
// at 8K, where the whole image would take over a hundred.
constexpr unsigned kRowsPerWrite = 64;

// encodeSrgb8 without std::pow, which at 8K costs a second or more. The
// encoding rises with its input, so it is fixed by the smallest float that
// reaches each value 1..255. The floats below 1 fall into buckets by their
// top bits (same exponent, leading mantissa bits); a bucket starts at the
// value of its first float and rarely spans a bound, so a lookup is mostly
// one load and one comparison, and always gives encodeSrgb8's byte.
struct SrgbBounds {
    static constexpr unsigned kBucketShift = 15;
    static constexpr std::uint32_t kOne = 0x3F800000u;  // the bits of 1.0f

    std::array<float, 255> lowest;
    std::vector<std::uint8_t> bucketStart;

    SrgbBounds() : bucketStart(kOne >> kBucketShift)
    {
        for (unsigned k = 1; k <= 255; ++k) {
            // Bisect on the bit patterns of positive floats, which order as
            // the floats do: encodeSrgb8(below) < k <= encodeSrgb8(above).
            std::uint32_t below = 0, above = kOne;
            while (above - below > 1) {
                const std::uint32_t mid = below + (above - below) / 2;
                float f;
                std::memcpy(&f, &mid, sizeof f);
                (encodeSrgb8(f) >= k ? above : below) = mid;
            }
            std::memcpy(&lowest[k - 1], &above, sizeof(float));
        }
        for (std::uint32_t b = 0; b < bucketStart.size(); ++b) {
            const std::uint32_t first = b << kBucketShift;
            float f;
            std::memcpy(&f, &first, sizeof f);
            bucketStart[b] = static_cast<std::uint8_t>(
                std::upper_bound(lowest.begin(), lowest.end(), f) - lowest.begin());
        }
    }

    std::uint8_t encode(float linear) const
    {
        if (!(linear > 0.0f))  // also NaN
            return 0;
        std::uint32_t bits;
        std::memcpy(&bits, &linear, sizeof bits);
        if (bits >= kOne)
            return 255;
        unsigned v = bucketStart[bits >> kBucketShift];
        while (v < 255 && lowest[v] <= linear)
            ++v;
        return static_cast<std::uint8_t>(v);
    }
};

const SrgbBounds& srgbBounds()
{
    static const SrgbBounds bounds;
    return bounds;
}

// Pixels [first, first + count) of a 3- or 4-channel layer as B, G, R, A.
void convertPixels(const RenderLayer& layer, std::size_t first, std::size_t count,
                   std::uint8_t* bgra)
{
    const SrgbBounds& srgb = srgbBounds();
    const unsigned n = layer.channels;
    const float* p = layer.values.data() + first * n;
    for (std::size_t i = 0; i < count; ++i, p += n, bgra += 4) {
        // The file stores blue, green, red, alpha; the layer red, green, blue
        // (and alpha).
        bgra[0] = srgb.encode(p[2]);
        bgra[1] = srgb.encode(p[1]);
        bgra[2] = srgb.encode(p[0]);
        bgra[3] = n == 4 ? encodeLinear8(p[3]) : kOpaque;
    }
}

CFile startTga32(const std::string& path, unsigned width, unsigned height)
{
    if (width == 0 || height == 0 || width > kTgaMaxSide || height > kTgaMaxSide)
        throw ToolError(path + ": cannot write a TGA image of " + std::to_string(width) + " x "
                        + std::to_string(height) + " pixels (sides 1 to 65535)");
    std::uint8_t header[kTgaHeaderSize] = {};
    header[TgaField::kImageType] = kTgaTrueColour;
    header[TgaField::kWidth] = static_cast<std::uint8_t>(width & 0xFF);
    header[TgaField::kWidth + 1] = static_cast<std::uint8_t>(width >> 8);
    header[TgaField::kHeight] = static_cast<std::uint8_t>(height & 0xFF);
    header[TgaField::kHeight + 1] = static_cast<std::uint8_t>(height >> 8);
    header[TgaField::kBitsPerPixel] = kTgaBitsPerPixel;
    header[TgaField::kDescriptor] = kTgaDescriptorTopDown8Alpha;
    CFile f(std::fopen(path.c_str(), "wb"));
    if (!f)
        throw ToolError(path + ": cannot create the colour image: " + std::strerror(errno));
    putTga(path, f, header, sizeof header);
    return f;
}
}  // namespace

std::uint8_t encodeLinear8(float value)
{
    if (!(value > 0.0f))
        return 0;
    if (value >= 1.0f)
        return 255;
    return static_cast<std::uint8_t>(std::lround(double(value) * 255.0));
}

void writeTga32(const std::string& path, unsigned width, unsigned height,
                const std::vector<std::uint8_t>& bgra)
{
    CFile f = startTga32(path, width, height);
    putTga(path, f, bgra.data(), bgra.size());
    finishTga(path, f);
}

void writeLayerTga32(const std::string& path, const RenderLayer& layer, unsigned width,
                     unsigned height)
{
    CFile f = startTga32(path, width, height);
    const std::size_t rows = std::min(height, kRowsPerWrite);
    std::vector<std::uint8_t> bgra(std::size_t(width) * rows * 4);
    for (unsigned y = 0; y < height; y += kRowsPerWrite) {
        const std::size_t pixels = std::size_t(width) * std::min(height - y, kRowsPerWrite);
        convertPixels(layer, std::size_t(y) * width, pixels, bgra.data());
        putTga(path, f, bgra.data(), pixels * 4);
    }
    finishTga(path, f);
}

void checkColourImage(const std::string& path, unsigned width, unsigned height)
{
    requireRegularFile(path, "colour image");
    const std::string needed = "; the colour image must be an uncompressed 32-bit TGA (type 2) of "
                               + std::to_string(width) + " x " + std::to_string(height) + " pixels";
    CFile f(std::fopen(path.c_str(), "rb"));
    if (!f)
        throw ToolError(path + ": cannot read the colour image: " + std::strerror(errno));
    std::uint8_t h[kTgaHeaderSize];
    const std::size_t got = std::fread(h, 1, sizeof h, f.get());
    if (got < kTgaHeaderSize)
        throw ToolError(path + ": not a TGA file (" + std::to_string(got)
                        + " bytes, shorter than a TGA header)" + needed);
    const fennick::contract::ColourImageHeader header
        = fennick::contract::parseColourImageHeader(h);
    const std::string is = path + ": a TGA of type " + std::to_string(header.imageType) + " ("
                           + tgaTypeName(header.imageType) + "), "
                           + std::to_string(header.bitsPerPixel) + " bits a pixel, "
                           + std::to_string(header.width) + " x " + std::to_string(header.height)
                           + " pixels";
    // Any colour map type but none or one is not TGA's.
    const unsigned mapType = header.colourMapType;
    if (!header.readable())
        throw ToolError(
            is + (mapType > kTgaHasColourMap ? ", colour map type " + std::to_string(mapType) : "")
            + needed);
    if (header.width != width || header.height != height)
        throw ToolError(is + needed);
    const std::uint64_t expected = header.bytesNeeded();
    const std::uint64_t size = fileSize(path);
    if (size < expected)
        throw ToolError(is + ", but the file ends after " + std::to_string(size) + " bytes of the "
                        + std::to_string(expected) + " its pixels need");
}

std::vector<std::uint8_t> layerToBgra(const RenderLayer& layer, unsigned width, unsigned height)
{
    const std::size_t pixels = std::size_t(width) * height;
    std::vector<std::uint8_t> bgra(pixels * 4);
    convertPixels(layer, 0, pixels, bgra.data());
    return bgra;
}

}  // namespace tool
}  // namespace fennick
