#include "tools/orvo/TgaImage.h"

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
