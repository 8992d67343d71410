#include "tools/orvo/Previews.h"

#include "tools/orvo/FileOps.h"
#include "tools/orvo/PngFile.h"
#include "tools/orvo/ToolError.h"
#include "tools/reader/QuietTiff.h"

#include <cmath>
#include <limits>

namespace orvotool {

using orvoread::Channel;

namespace {

constexpr std::uint16_t kNearWhite = 65535;
const std::uint8_t kUnlistedTagGrey = 128;
// Deflate level of the distance picture: at 8K the default (6) takes half
// as long again for a file hardly smaller. The picture has no predictor:
// the floating-point one (3) packs it tighter, but common readers (Python's
// tifffile without extra codecs, for one) cannot undo it, and the
// horizontal one (2) differences integers, not floats.
constexpr int kDistanceZipLevel = 3;

void colourPreview(orvoread::OrvoReader& reader, const std::string& path)
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

void depthPreview(orvoread::OrvoReader& reader, const PixelStats& stats, const std::string& path)
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
            if (code == orvoread::kNoDepth) {
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

void materialPreview(orvoread::OrvoReader& reader, const std::string& path)
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

void distanceTiff(orvoread::OrvoReader& reader, const std::string& path)
{
    const auto& s = reader.summary();
    orvoread::QuietTiff out(path, "w");
    TIFF* tif = out.get();
    if (tif == nullptr)
        throw ToolError(path + ": cannot create: " + out.takeError());
    const bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, s.width)
                    && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, s.height)
                    && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1)
                    && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 32)
                    && TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP)
                    && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK)
                    && TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
                    && TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE)
                    && TIFFSetField(tif, TIFFTAG_ZIPQUALITY, kDistanceZipLevel)
                    && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    if (!ok)
        throw ToolError(path + ": cannot set up the depth picture: " + out.takeError());
    const double far = s.camera.farDistance;
    std::vector<std::uint32_t> codes(s.width);
    std::vector<float> distances(s.width);
    for (std::uint32_t y = 0; y < s.height; ++y) {
        reader.readDepthRow(y, codes.data());
        for (std::uint32_t x = 0; x < s.width; ++x)
            distances[x] = codes[x] == orvoread::kNoDepth
                               ? std::numeric_limits<float>::quiet_NaN()
                               : static_cast<float>(orvoread::depthDistance(codes[x], far));
        if (TIFFWriteScanline(tif, distances.data(), y, 0) < 0)
            throw ToolError(path + ": cannot write row " + std::to_string(y) + ": "
                            + out.takeError());
    }
    if (!out.close())
        throw ToolError(path + ": cannot finish: " + out.takeError());
}

}  // namespace

std::vector<std::string> writePreviews(orvoread::OrvoReader& reader, const PixelStats& stats,
                                       const std::string& outDir, const Progress& progress)
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
        write("depth.tif", [&](const std::string& p) { distanceTiff(reader, p); });
    }
    if (s.has(Channel::Material))
        write("materials.png", [&](const std::string& p) { materialPreview(reader, p); });
    return written;
}

}  // namespace orvotool
