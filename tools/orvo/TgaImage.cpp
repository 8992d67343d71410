#include "tools/orvo/TgaImage.h"

#include "tools/orvo/FileOps.h"
#include "tools/orvo/ToolError.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orvotool {

namespace {
constexpr std::size_t kTgaHeaderSize = 18;
// Header fields (little-endian 16-bit sizes).
constexpr std::size_t kTgaIdLengthAt = 0;
constexpr std::size_t kTgaColourMapTypeAt = 1;
constexpr std::size_t kTgaImageTypeAt = 2;
constexpr std::size_t kTgaWidthAt = 12;
constexpr std::size_t kTgaHeightAt = 14;
constexpr std::size_t kTgaDepthAt = 16;
constexpr std::size_t kTgaDescriptorAt = 17;
constexpr std::uint8_t kTgaTrueColour = 2;
constexpr std::uint8_t kTgaBitsPerPixel = 32;
// Descriptor: 8 alpha bits, bit 5 set for rows stored top row first.
constexpr std::uint8_t kTgaDescriptorTopDown8Alpha = 0x28;
constexpr unsigned kTgaMaxSide = 65535;
constexpr std::uint8_t kOpaque = 255;

constexpr std::size_t kTgaBytesPerPixel = 4;

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

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace

std::uint8_t encodeSrgb8(float linear)
{
    if (!(linear > 0.0f))  // also NaN
        return 0;
    if (linear >= 1.0f)
        return 255;
    // The sRGB transfer function: linear segment near black, power law above.
    double v = linear <= 0.0031308f ? 12.92 * linear
                                    : 1.055 * std::pow(double(linear), 1.0 / 2.4) - 0.055;
    return static_cast<std::uint8_t>(std::lround(v * 255.0));
}

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
    if (width == 0 || height == 0 || width > kTgaMaxSide || height > kTgaMaxSide)
        throw ToolError(path + ": cannot write a TGA image of " + std::to_string(width) + " x "
                        + std::to_string(height) + " pixels (sides 1 to 65535)");
    std::uint8_t header[kTgaHeaderSize] = {};
    header[kTgaImageTypeAt] = kTgaTrueColour;
    header[kTgaWidthAt] = static_cast<std::uint8_t>(width & 0xFF);
    header[kTgaWidthAt + 1] = static_cast<std::uint8_t>(width >> 8);
    header[kTgaHeightAt] = static_cast<std::uint8_t>(height & 0xFF);
    header[kTgaHeightAt + 1] = static_cast<std::uint8_t>(height >> 8);
    header[kTgaDepthAt] = kTgaBitsPerPixel;
    header[kTgaDescriptorAt] = kTgaDescriptorTopDown8Alpha;
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "wb"));
    if (!f)
        throw ToolError(path + ": cannot create the colour image: " + std::strerror(errno));
    if (std::fwrite(header, 1, sizeof header, f.get()) != sizeof header
        || std::fwrite(bgra.data(), 1, bgra.size(), f.get()) != bgra.size()
        || std::fclose(f.release()) != 0)
        throw ToolError(path + ": cannot write the colour image: " + std::strerror(errno));
}

void checkColourImage(const std::string& path, unsigned width, unsigned height)
{
    requireRegularFile(path, "colour image");
    const std::string needed = "; the colour image must be an uncompressed 32-bit TGA (type 2, "
                               "no colour map) of "
                               + std::to_string(width) + " x " + std::to_string(height)
                               + " pixels";
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f)
        throw ToolError(path + ": cannot read the colour image: " + std::strerror(errno));
    std::uint8_t h[kTgaHeaderSize];
    const std::size_t got = std::fread(h, 1, sizeof h, f.get());
    if (got < kTgaHeaderSize)
        throw ToolError(path + ": not a TGA file (" + std::to_string(got)
                        + " bytes, shorter than a TGA header)" + needed);
    const unsigned type = h[kTgaImageTypeAt];
    const unsigned bits = h[kTgaDepthAt];
    const unsigned w = h[kTgaWidthAt] | (unsigned(h[kTgaWidthAt + 1]) << 8);
    const unsigned ht = h[kTgaHeightAt] | (unsigned(h[kTgaHeightAt + 1]) << 8);
    const std::string is = path + ": a TGA of type " + std::to_string(type) + " ("
                           + tgaTypeName(type) + "), " + std::to_string(bits) + " bits a pixel, "
                           + std::to_string(w) + " x " + std::to_string(ht) + " pixels";
    if (type != kTgaTrueColour || bits != kTgaBitsPerPixel || h[kTgaColourMapTypeAt] != 0)
        throw ToolError(is + (h[kTgaColourMapTypeAt] != 0 ? ", with a colour map" : "") + needed);
    if (w != width || ht != height)
        throw ToolError(is + needed);
    const std::uint64_t dataBytes = std::uint64_t(w) * ht * kTgaBytesPerPixel;
    const std::uint64_t expected = kTgaHeaderSize + h[kTgaIdLengthAt] + dataBytes;
    if (std::fseek(f.get(), 0, SEEK_END) != 0)
        throw ToolError(path + ": cannot read the colour image: " + std::strerror(errno));
    const long size = std::ftell(f.get());
    if (size < 0 || std::uint64_t(size) < expected)
        throw ToolError(is + ", but the file ends after " + std::to_string(size)
                        + " bytes of the " + std::to_string(expected) + " its pixels need");
}

std::vector<std::uint8_t> layerToBgra(const RenderLayer& layer, unsigned width, unsigned height)
{
    const std::size_t pixels = std::size_t(width) * height;
    std::vector<std::uint8_t> bgra(pixels * 4);
    const unsigned n = layer.channels;
    for (std::size_t i = 0; i < pixels; ++i) {
        const float* p = &layer.values[i * n];
        // The file stores blue, green, red, alpha; the layer red, green, blue
        // (and alpha).
        bgra[4 * i + 0] = encodeSrgb8(p[2]);
        bgra[4 * i + 1] = encodeSrgb8(p[1]);
        bgra[4 * i + 2] = encodeSrgb8(p[0]);
        bgra[4 * i + 3] = n == 4 ? encodeLinear8(p[3]) : kOpaque;
    }
    return bgra;
}

}  // namespace orvotool
