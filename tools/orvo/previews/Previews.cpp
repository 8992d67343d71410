#include "orvo/previews/Previews.h"

#include "orvo/support/FileOps.h"
#include "orvo/previews/PngFile.h"
#include "orvo/support/ToolError.h"
#include "avkorvo/DistancePicture.h"

#include <cmath>

namespace fennick {
namespace tool {

using Talvenrock::Orvo::Channel;

namespace {

constexpr std::uint16_t kNearWhite = 65535;
const std::uint8_t kUnlistedTagGrey = 128;

void colourPreview(Talvenrock::Orvo::OrvoReader& reader, const std::string& path)
{
    const auto& s = reader.summary();
    std::vector<std::uint8_t> row(std::size_t(s.width) * 3);
    PngFile png(path, s.width, s.height, PngFile::Format::Rgb8);
    for (std::uint32_t y = 0; y < s.height; ++y) {
        reader.readColourRow(y, row.data());
        png.writeRow(row.data());
    }
    png.finish();
}

void depthPreview(Talvenrock::Orvo::OrvoReader& reader, const PixelStats& stats,
                  const std::string& path)
{
    const auto& s = reader.summary();
    std::vector<std::uint32_t> codes(s.width);
    std::vector<std::uint16_t> grey(s.width);
    const double range = double(stats.largestCode) - double(stats.smallestCode);
    PngFile png(path, s.width, s.height, PngFile::Format::Grey16);
    for (std::uint32_t y = 0; y < s.height; ++y) {
        reader.readDepthRow(y, codes.data());
        for (std::uint32_t x = 0; x < s.width; ++x) {
            const std::uint32_t code = codes[x];
            if (code == Talvenrock::Orvo::kNoDepth) {
                grey[x] = 0;
            } else if (range <= 0.0) {
                grey[x] = kNearWhite;
            } else {
                const double far = (double(code) - double(stats.smallestCode)) / range;
                grey[x] = static_cast<std::uint16_t>(
                    std::lround(kNearWhite - far * (kNearWhite - kFarGrey)));
            }
        }
        png.writeRow(grey.data());
    }
    png.finish();
}

void materialPreview(Talvenrock::Orvo::OrvoReader& reader, const std::string& path)
{
    const auto& s = reader.summary();
    std::vector<std::uint8_t> palette(65536 * 3, kUnlistedTagGrey);
    palette[0] = palette[1] = palette[2] = 0;
    for (const auto& m : s.materials) {
        if (m.tag == 0)
            continue;
        palette[m.tag * 3 + 0] = m.red;
        palette[m.tag * 3 + 1] = m.green;
        palette[m.tag * 3 + 2] = m.blue;
    }
    std::vector<std::uint16_t> tags(s.width);
    std::vector<std::uint8_t> row(std::size_t(s.width) * 3);
    PngFile png(path, s.width, s.height, PngFile::Format::Rgb8);
    for (std::uint32_t y = 0; y < s.height; ++y) {
        reader.readMaterialRow(y, tags.data());
        for (std::uint32_t x = 0; x < s.width; ++x)
            for (int k = 0; k < 3; ++k)
                row[std::size_t(x) * 3 + k] = palette[std::size_t(tags[x]) * 3 + k];
        png.writeRow(row.data());
    }
    png.finish();
}

}  // namespace

std::vector<std::string> writePreviews(Talvenrock::Orvo::OrvoReader& reader,
                                       const PixelStats& stats, const std::string& outDir,
                                       const Progress& progress)
{
    std::vector<std::string> written;
    const auto& s = reader.summary();
    // Each preview is written under a temporary name and moved over its
    // final name only when complete: a failure keeps the previous file.
    auto write = [&](const char* name, auto&& writer) {
        OutputFile out(joinPath(outDir, name));
        progress.step(std::string("writing ") + out.finalPath());
        writer(out.path());
        out.commit();
        written.push_back(out.finalPath());
    };
    if (s.has(Channel::Colour))
        write("colour.png", [&](const std::string& p) { colourPreview(reader, p); });
    if (s.has(Channel::Depth)) {
        write("depth.png", [&](const std::string& p) { depthPreview(reader, stats, p); });
        write("depth.tif", [&](const std::string& p) {
            try {
                Talvenrock::Orvo::writeDistancePicture(reader, p);
            } catch (const Talvenrock::Orvo::DistancePictureError& e) {
                throw ToolError(e.what());
            }
        });
    }
    if (s.has(Channel::Material))
        write("materials.png", [&](const std::string& p) { materialPreview(reader, p); });
    return written;
}

}  // namespace tool
}  // namespace fennick
