#include "orvo/render/ExrExport.h"
#include "orvo/render/ExrRender.h"

#include "orvo/camera/CameraAxes.h"
#include "orvo/camera/OrvoCamera.h"
#include "orvo/camera/RenderCamera.h"
#include "orvo/inspect/InfoReport.h"
#include "orvo/inspect/NumberText.h"
#include "orvo/render/Cryptomatte.h"
#include "orvo/render/ExrLibraryText.h"
#include "orvo/render/MaterialTable.h"
#include "orvo/render/SrgbTransfer.h"
#include "orvo/support/ToolError.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <optional>

namespace fennick {
namespace tool {

namespace {

using Talvenrock::Orvo::Channel;
using Talvenrock::Orvo::OrvoSummary;

constexpr char kAttributePrefix[] = "orvo/";
constexpr int kFastZipLevel = 1;
// Rows converted and written at a time: a few megabytes at 8K, where the
// whole picture in float channels would take over a gigabyte.
constexpr std::uint32_t kBandRows = 64;
constexpr unsigned kRgba = 4;
constexpr std::size_t kTags = 65536;
constexpr float kOpaque = 1.0f;
constexpr float kFullCoverage = 1.0f;
constexpr std::uint16_t kResolutionInch = 2;
constexpr std::uint16_t kResolutionCentimetre = 3;
const char* const kColourChannels[kRgba] = {"R", "G", "B", "A"};
const char* const kCryptomatteSuffixes[kRgba] = {".r", ".g", ".b", ".a"};

struct CameraOut {
    CameraParameters parameters;
    ExrCamera exr;
};

// The camera the export writes, or none when the file has no depth (and so
// no camera). Throws for what OpenEXR cannot express.
std::optional<CameraOut> exportCamera(const OrvoSummary& s)
{
    if (!s.has(Channel::Depth) || !s.hasCamera)
        return std::nullopt;
    CameraOut out;
    out.parameters = cameraFromOrvo(s.path, s.camera, s.width, s.height);
    const double* const rows[3] = {&out.parameters.worldMatrix[0], &out.parameters.worldMatrix[3],
                                   &out.parameters.worldMatrix[6]};
    const char* const names[3] = {"the right axis", "the up axis", "the viewing axis"};
    const std::string fault = axesFault(rows, names);
    if (!fault.empty())
        throw ToolError(s.path + ": the camera's axes are not unit vectors at right angles ("
                        + fault + "), which worldToCamera cannot express");
    out.exr = exrCameraFrom(s.path, out.parameters, s.width, s.height);
    return out;
}

Imath::M44f toM44f(const Matrix44& m)
{
    Imath::M44f out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out[r][c] = static_cast<float>(m[std::size_t(r * 4 + c)]);
    return out;
}

void addText(Imf::Header& header, const char* key, const std::string& value)
{
    if (value.empty())
        return;
    bool valid = true;
    header.insert(std::string(kAttributePrefix) + key,
                  Imf::StringAttribute(validUtf8(value, valid)));
}

std::string resolutionText(const OrvoSummary& s)
{
    const char* unit = s.resolutionUnit == kResolutionInch         ? " per inch"
                       : s.resolutionUnit == kResolutionCentimetre ? " per centimetre"
                                                                   : " (no unit)";
    return shortestText(s.xResolution) + " x " + shortestText(s.yResolution) + unit;
}

// The pixels of one band, channel by channel; what the frame buffer points
// into.
struct Band {
    std::vector<float> colour, z, distance, tag, crypto;
};

}  // namespace

void checkExportable(const Talvenrock::Orvo::OrvoReader& reader) { exportCamera(reader.summary()); }

ExportSummary exportToExr(Talvenrock::Orvo::OrvoReader& reader, const std::string& writePath,
                          const std::string& target)
{
    const OrvoSummary& s = reader.summary();
    const std::optional<CameraOut> camera = exportCamera(s);
    ExportSummary sum;
    sum.width = s.width;
    sum.height = s.height;
    sum.depth = camera.has_value();
    sum.materials = s.has(Channel::Material);
    if (!s.has(Channel::Colour))
        sum.leftOut.push_back("no colour picture: R, G, B are 0");
    if (!sum.depth)
        sum.leftOut.push_back(
            "no depth picture, and so no camera: no Z, distance, worldToCamera or worldToNDC");

    // Names by tag for Cryptomatte; a tag the table does not name has none.
    std::vector<TableMaterial> table;
    for (const auto& m : s.materials) {
        bool valid = true;
        table.push_back({m.tag, validUtf8(m.name, valid), {m.red, m.green, m.blue}});
    }
    std::sort(table.begin(), table.end(),
              [](const TableMaterial& a, const TableMaterial& b) { return a.tag < b.tag; });
    sum.tableMaterials = table.size();
    std::vector<float> idOfTag(kTags, 0.0f);
    std::vector<bool> named(kTags, false);
    std::map<std::string, std::uint32_t> manifest;
    for (const TableMaterial& m : table) {
        if (m.tag == 0)
            continue;
        const std::uint32_t id = cryptomatteId(m.name);
        std::memcpy(&idOfTag[m.tag], &id, sizeof id);
        named[m.tag] = true;
        manifest.emplace(m.name, id);
    }

    try {
        Imf::Header header(static_cast<int>(s.width), static_cast<int>(s.height));
        header.compression() = Imf::ZIP_COMPRESSION;
        header.zipCompressionLevel() = kFastZipLevel;
        std::vector<std::string>& channels = sum.channels;
        for (const char* c : kColourChannels)
            channels.push_back(c);
        if (sum.depth) {
            channels.push_back(kDepthChannelName);
            channels.push_back(kExportDistanceChannel);
        }
        const std::string crypto = std::string(kExportCryptomatteLayer) + kCryptomatteFirstRanks;
        if (sum.materials) {
            channels.push_back(kExportMaterialChannel);
            for (const char* suffix : kCryptomatteSuffixes)
                channels.push_back(crypto + suffix);
        }
        for (const std::string& c : channels)
            header.channels().insert(c, Imf::Channel(Imf::FLOAT));

        if (camera) {
            header.pixelAspectRatio() = static_cast<float>(camera->exr.pixelAspectRatio);
            Imf::addWorldToCamera(header, toM44f(camera->exr.worldToCamera));
            if (camera->exr.worldToNdc) {
                Imf::addWorldToNDC(header, toM44f(*camera->exr.worldToNdc));
                sum.worldToNdc = true;
            } else {
                sum.leftOut.push_back("an orthographic camera: no worldToNDC, which here holds "
                                      "only perspective projections");
            }
            sum.depthMax = camera->parameters.depthMax;
            header.insert(std::string(kAttributePrefix) + "farDistance",
                          Imf::StringAttribute(shortestText(s.camera.farDistance)));
        }
        addText(header, "software", s.software);
        addText(header, "dateTime", s.dateTime);
        addText(header, "documentName", s.documentName);
        addText(header, "artist", s.artist);
        addText(header, "copyright", s.copyright);
        if (s.hasResolution)
            addText(header, "resolution", resolutionText(s));
        addText(header, "propertyList", s.propertyList);
        if (s.hasMaterialBlock)
            header.insert(kMaterialTableAttribute, Imf::StringAttribute(materialTableText(table)));
        if (sum.materials) {
            const std::string base = cryptomatteAttributeBase(kExportCryptomatteLayer);
            header.insert(base + kCryptomatteName, Imf::StringAttribute(kExportCryptomatteLayer));
            header.insert(base + kCryptomatteHash, Imf::StringAttribute(kCryptomatteHashName));
            header.insert(base + kCryptomatteConversion,
                          Imf::StringAttribute(kCryptomatteConversionName));
            header.insert(base + kCryptomatteManifest,
                          Imf::StringAttribute(manifestText(manifest)));
        }

        Imf::OutputFile out(writePath.c_str(), header);
        const std::size_t w = s.width;
        const std::size_t bandPixels = w * std::min(s.height, kBandRows);
        Band band;
        band.colour.assign(bandPixels * kRgba, 0.0f);
        if (sum.depth) {
            band.z.assign(bandPixels, 0.0f);
            band.distance.assign(bandPixels, 0.0f);
        }
        if (sum.materials) {
            band.tag.assign(bandPixels, 0.0f);
            band.crypto.assign(bandPixels * kRgba, 0.0f);
        }
        std::vector<std::uint8_t> rgb(w * 3);
        std::vector<std::uint32_t> codes(w);
        std::vector<std::uint16_t> tags(w);
        std::optional<RayLengths> rayLength;
        if (camera)
            rayLength.emplace(camera->parameters, s.width, s.height);
        constexpr float kInfinity = std::numeric_limits<float>::infinity();

        for (std::uint32_t y0 = 0; y0 < s.height; y0 += kBandRows) {
            const std::uint32_t rows = std::min(kBandRows, s.height - y0);
            for (std::uint32_t r = 0; r < rows; ++r) {
                const std::uint32_t y = y0 + r;
                const std::size_t row = std::size_t(r) * w;
                if (s.has(Channel::Colour))
                    reader.readColourRow(y, rgb.data());
                for (std::size_t x = 0; x < w; ++x) {
                    float* p = &band.colour[(row + x) * kRgba];
                    for (unsigned k = 0; k < 3; ++k)
                        p[k] = decodeSrgb8(rgb[x * 3 + k]);
                    p[3] = kOpaque;
                }
                if (sum.depth) {
                    reader.readDepthRow(y, codes.data());
                    for (std::size_t x = 0; x < w; ++x) {
                        const std::uint32_t code = codes[x];
                        if (code == Talvenrock::Orvo::kNoDepth) {
                            band.z[row + x] = band.distance[row + x] = kInfinity;
                            continue;
                        }
                        const double d
                            = Talvenrock::Orvo::depthDistance(code, s.camera.farDistance);
                        band.distance[row + x] = static_cast<float>(d);
                        band.z[row + x] = static_cast<float>(
                            d / (*rayLength)(static_cast<unsigned>(x), static_cast<unsigned>(y)));
                    }
                }
                if (sum.materials) {
                    reader.readMaterialRow(y, tags.data());
                    for (std::size_t x = 0; x < w; ++x) {
                        const std::uint16_t t = tags[x];
                        float* c = &band.crypto[(row + x) * kRgba];
                        band.tag[row + x] = static_cast<float>(t);
                        const bool hasName = named[t];
                        if (t != 0 && !hasName)
                            ++sum.unnamedTagPixels;
                        c[0] = idOfTag[t];
                        c[1] = hasName ? kFullCoverage : 0.0f;
                        c[2] = c[3] = 0.0f;
                    }
                }
            }
            // Each slice's origin is the band's first row, so that OpenEXR
            // finds row y at (y - y0) rows into the band.
            const Imath::V2i origin(0, static_cast<int>(y0));
            const auto slice = [&](const std::vector<float>& v, unsigned stride, unsigned k) {
                return Imf::Slice::Make(Imf::FLOAT, v.data() + k, origin, std::int64_t(w),
                                        std::int64_t(rows), sizeof(float) * stride,
                                        sizeof(float) * stride * w);
            };
            Imf::FrameBuffer frame;
            for (unsigned k = 0; k < kRgba; ++k)
                frame.insert(kColourChannels[k], slice(band.colour, kRgba, k));
            if (sum.depth) {
                frame.insert(kDepthChannelName, slice(band.z, 1, 0));
                frame.insert(kExportDistanceChannel, slice(band.distance, 1, 0));
            }
            if (sum.materials) {
                frame.insert(kExportMaterialChannel, slice(band.tag, 1, 0));
                for (unsigned k = 0; k < kRgba; ++k)
                    frame.insert(crypto + kCryptomatteSuffixes[k], slice(band.crypto, kRgba, k));
            }
            out.setFrameBuffer(frame);
            out.writePixels(static_cast<int>(rows));
        }
    } catch (const ToolError&) {
        throw;
    } catch (const Talvenrock::Orvo::ReadError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw ToolError(target + ": out of memory writing the OpenEXR file of "
                        + std::to_string(s.width) + " x " + std::to_string(s.height) + " pixels");
    } catch (const std::exception& e) {
        throw ToolError(target
                        + ": cannot write the OpenEXR file: " + libraryText(e.what(), writePath));
    }
    return sum;
}

}  // namespace tool
}  // namespace fennick
