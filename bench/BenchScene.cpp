#include "bench/BenchScene.h"

#include "contract/LayerNames.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace bench {

namespace {

constexpr unsigned kTileColumns = 20;
constexpr unsigned kTileRows = kBenchMaterials / kTileColumns;
static_assert(kTileColumns * kTileRows == kBenchMaterials, "one material a tile");
// Neighbouring tiles get hues this many steps apart round the circle (a
// step count prime to the number of materials visits every hue once).
constexpr unsigned kHueStride = 7;
constexpr float kHueSectors = 6.0f;

constexpr float kSkyShare = 0.2f;  // of the height, at the top
constexpr double kPi = 3.14159265358979323846;
constexpr double kBorderWave = 0.01;  // of the picture, each border's swing
constexpr double kWavesAcross = 3.0;
constexpr double kWavesDown = 5.0;

// Shading never takes a tile's top component below kMinShade, which keeps
// it clear of the classifier's dark threshold.
constexpr float kMinShade = 0.35f;
constexpr float kAmbient = 0.25f;
constexpr float kAlbedo = 0.8f;
const float kSkyTop[3] = {0.35f, 0.55f, 0.95f};
const float kSkyHorizon[3] = {0.75f, 0.85f, 1.0f};

constexpr float kFarthestGround = 0.15f;  // depth-layer value at the horizon
constexpr float kGroundDepthRange = 0.8f;
constexpr float kBulgeDepth = 0.01f;

// A pure hue: its top component 1 and its bottom 0.
void hueColour(float hue, float rgb[3])
{
    const int sector = static_cast<int>(hue);
    const float f = hue - static_cast<float>(sector);
    const float table[6][3]
        = {{1, f, 0}, {1 - f, 1, 0}, {0, 1, f}, {0, 1 - f, 1}, {f, 0, 1}, {1, 0, 1 - f}};
    std::copy(table[sector % 6], table[sector % 6] + 3, rgb);
}

unsigned cell(double position, unsigned cells)
{
    const double scaled = std::floor(position * cells);
    return static_cast<unsigned>(std::clamp(scaled, 0.0, static_cast<double>(cells - 1)));
}

}  // namespace

fennick::tool::RenderImage benchScene(unsigned width, unsigned height)
{
    float materials[kBenchMaterials][3];
    for (unsigned i = 0; i < kBenchMaterials; ++i)
        hueColour(static_cast<float>((i * kHueStride) % kBenchMaterials) * kHueSectors
                      / kBenchMaterials,
                  materials[i]);

    const std::size_t pixels = std::size_t(width) * height;
    fennick::tool::RenderImage image;
    image.width = width;
    image.height = height;
    image.layers.resize(3);
    fennick::tool::RenderLayer& colour = image.layers[0];
    fennick::tool::RenderLayer& depth = image.layers[1];
    fennick::tool::RenderLayer& material = image.layers[2];
    colour = {"RGBA", 4, std::vector<float>(pixels * 4), true};
    depth = {fennick::contract::kDepthLayerPrefix, 1, std::vector<float>(pixels), false};
    material = {fennick::contract::kMaterialLayerPrefix, 3, std::vector<float>(pixels * 3), true};

    // Each border's wave depends on the other axis only: one table a side.
    std::vector<double> rowSwing(width);
    for (unsigned x = 0; x < width; ++x)
        rowSwing[x] = kBorderWave * std::sin(2 * kPi * kWavesAcross * x / width);
    const unsigned skyRows = static_cast<unsigned>(kSkyShare * static_cast<float>(height));
    const double groundRows = std::max(1u, height - skyRows);

    for (unsigned y = 0; y < height; ++y) {
        const double columnSwing = kBorderWave * std::sin(2 * kPi * kWavesDown * y / height);
        const double v = (static_cast<double>(y) - skyRows + 0.5) / groundRows;
        for (unsigned x = 0; x < width; ++x) {
            const std::size_t i = std::size_t(y) * width + x;
            float* c = &colour.values[4 * i];
            float* m = &material.values[3 * i];
            c[3] = 1.0f;
            if (y < skyRows) {
                const float t = static_cast<float>(y) / static_cast<float>(std::max(1u, skyRows));
                for (int k = 0; k < 3; ++k)
                    c[k] = kSkyTop[k] + (kSkyHorizon[k] - kSkyTop[k]) * t;
                continue;  // no depth, no material
            }
            const double u = (x + 0.5) / width + columnSwing;
            const double w = v + rowSwing[x];
            const unsigned column = cell(u, kTileColumns);
            const unsigned row = cell(w, kTileRows);
            // Within the tile, -1 to 1 across; a bulge lit from the front.
            const double a = 2 * (u * kTileColumns - column) - 1;
            const double b = 2 * (w * kTileRows - row) - 1;
            const double bulge = std::sqrt(std::max(0.0, 1.0 - (a * a + b * b) / 2));
            const float shade = kMinShade + (1.0f - kMinShade) * static_cast<float>(bulge);
            const float* base = materials[row * kTileColumns + column];
            for (int k = 0; k < 3; ++k) {
                m[k] = base[k] * shade;
                c[k] = base[k] * kAlbedo * (kAmbient + (1.0f - kAmbient) * shade);
            }
            depth.values[i] = kFarthestGround
                              + kGroundDepthRange * static_cast<float>(std::clamp(v, 0.0, 1.0))
                              + kBulgeDepth * static_cast<float>(bulge);
        }
    }
    return image;
}

}  // namespace bench
