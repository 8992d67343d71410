#include "platform/FixedSave.h"

#include "avkorvo/OrvoFile.h"
#include "hostsim/Host.h"
#include "hostsim/Plugin.h"
#include "hostsim/SimLayeredImage.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace platformtest {

namespace {

using namespace Talvenrock::Orvo;

// The side files the host script leaves beside the target.
constexpr char kParamSuffix[] = ".param.txt";
constexpr char kColourSuffix[] = ".rgb.tga";

// Uncompressed true-colour TGA, 32 bits a pixel, rows stored bottom first.
constexpr std::size_t kTgaHeaderSize = 18;
constexpr unsigned char kTgaTrueColour = 2;
constexpr unsigned char kTgaBitsPerPixel = 32;
constexpr unsigned char kTgaAlphaBits = 8;
constexpr std::size_t kTgaImageTypeAt = 2;
constexpr std::size_t kTgaWidthAt = 12;
constexpr std::size_t kTgaHeightAt = 14;
constexpr std::size_t kTgaBitsAt = 16;
constexpr std::size_t kTgaDescriptorAt = 17;

// A rotated perspective camera with values that are not round in binary, so
// that every byte of the stored doubles matters.
constexpr char kParameters[]
    = "Parameters\n"
      "pos 1.5 -2.25 3.125\n"
      "worldMatrix 0.8660254037844387 -0.5 0 0.5 0.8660254037844387 0 0 0 1\n"
      "focalLen 35\n"
      "apertureX 36\n"
      "apertureY 24\n"
      "offsetX 0.1\n"
      "offsetY -0.2\n"
      "squeeze 1\n"
      "filmFit horizontal\n"
      "projType persp\n"
      "dpi 299.9\n"
      "pAspect 1\n"
      "depthMax 100\n";

void writeFile(const std::string& path, const void* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush())
        throw std::runtime_error(path + ": cannot be written");
}

void putLittle16(std::vector<unsigned char>& b, std::size_t at, unsigned value)
{
    b[at] = static_cast<unsigned char>(value & 0xFF);
    b[at + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

void writeColourImage(const std::string& path)
{
    std::vector<unsigned char> b(kTgaHeaderSize, 0);
    b[kTgaImageTypeAt] = kTgaTrueColour;
    putLittle16(b, kTgaWidthAt, kFixedWidth);
    putLittle16(b, kTgaHeightAt, kFixedHeight);
    b[kTgaBitsAt] = kTgaBitsPerPixel;
    b[kTgaDescriptorAt] = kTgaAlphaBits;
    for (unsigned stored = 0; stored < kFixedHeight; ++stored) {
        const unsigned y = kFixedHeight - 1 - stored;
        for (unsigned x = 0; x < kFixedWidth; ++x) {
            b.push_back(static_cast<unsigned char>(17 * x + 3 * y));   // blue
            b.push_back(static_cast<unsigned char>(200 - 5 * y + x));  // green
            b.push_back(static_cast<unsigned char>(11 * x * y + 40));  // red
            b.push_back(static_cast<unsigned char>(255 - x));          // alpha, dropped
        }
    }
    writeFile(path, b.data(), b.size());
}

// Depth layer: nothing rendered along the left column and at the far corner,
// the far end of the range at one pixel, a ramp elsewhere.
std::vector<float> depthLayer()
{
    std::vector<float> v(std::size_t(kFixedWidth) * kFixedHeight);
    for (unsigned y = 0; y < kFixedHeight; ++y)
        for (unsigned x = 0; x < kFixedWidth; ++x) {
            float d = 0.0f;
            if (x != 0)
                d = 0.03125f
                    + 0.9f * float(x * kFixedHeight + y) / float(kFixedWidth * kFixedHeight);
            v[std::size_t(y) * kFixedWidth + x] = d;
        }
    v[std::size_t(kFixedHeight - 1) * kFixedWidth + kFixedWidth - 1] = 0.0f;
    v[std::size_t(kFixedWidth) + 1] = 1.0f;
    return v;
}

// Material layer: four hues in bands, each shaded across its band so that
// one material covers several colours, grey and black patches without one.
std::vector<float> materialLayer()
{
    static const float hues[][3]
        = {{1.0f, 0.5f, 0.0f}, {0.0f, 0.25f, 1.0f}, {0.2f, 1.0f, 0.2f}, {0.75f, 0.0f, 1.0f}};
    std::vector<float> v(std::size_t(kFixedWidth) * kFixedHeight * 3);
    for (unsigned y = 0; y < kFixedHeight; ++y)
        for (unsigned x = 0; x < kFixedWidth; ++x) {
            float* p = &v[(std::size_t(y) * kFixedWidth + x) * 3];
            if ((x + y) % 7 == 3) {
                p[0] = p[1] = p[2] = 0.5f;  // grey: no hue
                continue;
            }
            if (y == 0)
                continue;  // black: nothing
            const float* hue = hues[(x / 6 + y / 5) % 4];
            const float shade = 0.4f + 0.6f * float(x % 6) / 5.0f;
            for (int c = 0; c < 3; ++c)
                p[c] = hue[c] * shade;
        }
    return v;
}

std::vector<float> colourLayer()
{
    std::vector<float> v(std::size_t(kFixedWidth) * kFixedHeight * 4, 1.0f);
    for (std::size_t i = 0; i < v.size(); i += 4)
        v[i] = float(i % 97) / 96.0f;
    return v;
}

void saveThroughPlugin(const std::string& pluginPath, const std::string& target)
{
    writeFile(target + kParamSuffix, kParameters, sizeof kParameters - 1);
    writeColourImage(target + kColourSuffix);

    // Destroyed in reverse: the plug-in gives back what it borrowed before
    // the layered image and the host go.
    fennick::hostsim::Host host;
    fennick::hostsim::SimLayeredImage layered(kFixedWidth, kFixedHeight);
    layered.addFloatLayer("Final Color", 4, colourLayer());
    layered.addFloatLayer("Orvo_depth", 1, depthLayer());
    layered.addFloatLayer("Orvo_mat", 3, materialLayer());
    LxResult rc = 0;
    {
        fennick::hostsim::Plugin plugin(pluginPath, host);
        rc = plugin.save(layered.object(), target);
    }
    std::string log;
    for (const fennick::hostsim::LogRecord& r : host.messages())
        log += " \"" + r.text + "\"";
    if (rc != 0 || !log.empty())
        throw std::runtime_error(target + ": the plug-in's save answered " + std::to_string(rc)
                                 + (log.empty() ? "" : " and logged" + log));
}

// Runs in `folder` until destroyed, so that a relative name is the same in
// every build.
class InFolder {
public:
    explicit InFolder(const std::string& folder) : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~InFolder()
    {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::filesystem::path previous_;
};

PanoProjection litCamera()
{
    PanoProjection p;
    p.kind = 3;
    const double position[3] = {-1.25, 2.5, 0.001};
    const double d1[3] = {0.6, 0.0, 0.8};
    const double d2[3] = {0.1, 0.7, -1.0 / 3.0};
    const double d3[3] = {-0.8, 1e-300, 0.6};
    for (int i = 0; i < 3; ++i) {
        p.position[i] = position[i];
        p.direction1[i] = d1[i];
        p.direction2[i] = d2[i];
        p.direction3[i] = d3[i];
    }
    p.angle = 72.5;
    p.nearDistance = 0.125;
    p.farDistance = 250.75;
    p.scale = -0.001;
    p.code = 0x01020304;
    return p;
}

// Written under its bare name, which the property list carries.
void writeLitFile(const std::string& folder, const char* fileName, bool compress)
{
    InFolder in(folder);
    const std::wstring name(fileName, fileName + std::strlen(fileName));
    std::unique_ptr<OrvoFile> f(OrvoFile::create(name, kFixedWidth, kFixedHeight, L"sw",
                                                 L"Fixed scene", L"\u00c4rtist \u03bb",
                                                 L"\u00a9 Talvenrock", litCamera(), compress));
    f->setResolution(118, 119, ResolutionCentimeter);
    f->setShadowDirection(0.25, -0.5, 1.0);
    // One pass of every channel: the three directories are made by the first
    // scan and their strips alternate. Values whose bytes all differ show a
    // swapped or shifted byte wherever it happens.
    f->beginPass(1 | 2 | 4);
    for (unsigned y = 0; y < kFixedHeight; ++y) {
        for (unsigned x = 0; x < kFixedWidth; ++x) {
            for (unsigned c = 0; c < 3; ++c)
                f->rgbLine()[3 * x + c] = static_cast<std::uint8_t>(x * 11 + y * 7 + c * 85);
            f->zLine()[x] = (x + y) % 6 == 0 ? 0xFFFFFFFFu : 0x01020304u * x + 0x00A0B0C1u * y;
            f->matLine()[x] = static_cast<std::uint16_t>((x / 5 + y) % 4 + 0x0100 * (x % 2));
        }
        f->putScan();
    }
    f->putMaterial(1, 255, 0, 0, L"Mat 1");
    f->putMaterial(2, 1, 2, 3, L"Gr\u00fcn \"2\" & <3>");
    f->putMaterial(0x0102, 0, 128, 255, L"");
    f->close();
}

}  // namespace

std::vector<std::string> fixedSaveFiles() { return {kSavedName, kLitName, kLzwName}; }

void writeFixedSave(const std::string& pluginPath, const std::string& folder)
{
    saveThroughPlugin(pluginPath, folder + "/" + kSavedName);
    const struct {
        const char* name;
        bool compress;
    } written[] = {{kLitName, false}, {kLzwName, true}};
    for (const auto& [name, compress] : written) {
        try {
            writeLitFile(folder, name, compress);
        } catch (const OrvoError& e) {
            throw std::runtime_error(folder + "/" + name + ": " + e.what());
        } catch (const std::filesystem::filesystem_error& e) {
            throw std::runtime_error(folder + ": cannot work in it: " + e.what());
        }
    }
}

std::string machineByteOrderMark()
{
    const std::uint16_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1 ? "II" : "MM";
}

}  // namespace platformtest
