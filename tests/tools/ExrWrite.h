// Writes OpenEXR files for the tests straight through the OpenEXR library,
// independently of the tool's own writer: single-part files with many
// layers, multi-part files, channels of any name and type, scan-line or
// tiled parts, and the camera attributes renderers write.
#pragma once

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputPart.h>
#include <ImfPartType.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>
#include <ImfTiledOutputPart.h>

#include <half.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tooltest {

struct ExrChannel {
    std::string name;           // full channel name, e.g. "Orvo_depth.Y"
    std::vector<float> values;  // width x height, row-major
    bool asHalf = false;
};

struct ExrPart {
    std::string name;  // part name; unused for a single part
    std::vector<ExrChannel> channels;
    bool tiled = false;
    std::optional<Imath::M44f> worldToCamera = std::nullopt;
    std::optional<Imath::M44f> worldToNdc = std::nullopt;
    // String attributes by name (a Cryptomatte manifest).
    std::vector<std::pair<std::string, std::string>> texts = {};
};

constexpr int kExrTileSide = 4;

inline void writeExr(const std::string& path, int width, int height,
                     const std::vector<ExrPart>& parts)
{
    std::vector<Imf::Header> headers;
    for (const ExrPart& p : parts) {
        Imf::Header h(width, height);
        h.setType(p.tiled ? Imf::TILEDIMAGE : Imf::SCANLINEIMAGE);
        if (p.tiled)
            h.setTileDescription(Imf::TileDescription(kExrTileSide, kExrTileSide, Imf::ONE_LEVEL));
        if (parts.size() > 1)
            h.setName(p.name);
        for (const ExrChannel& c : p.channels)
            h.channels().insert(c.name, Imf::Channel(c.asHalf ? Imf::HALF : Imf::FLOAT));
        if (p.worldToCamera)
            Imf::addWorldToCamera(h, *p.worldToCamera);
        if (p.worldToNdc)
            Imf::addWorldToNDC(h, *p.worldToNdc);
        for (const auto& [name, text] : p.texts)
            h.insert(name, Imf::StringAttribute(text));
        headers.push_back(h);
    }
    Imf::MultiPartOutputFile file(path.c_str(), headers.data(), int(headers.size()));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        Imf::FrameBuffer fb;
        std::vector<std::vector<half>> halves;
        halves.reserve(parts[i].channels.size());
        for (const ExrChannel& c : parts[i].channels) {
            if (c.asHalf) {
                halves.emplace_back(c.values.begin(), c.values.end());
                fb.insert(c.name,
                          Imf::Slice(Imf::HALF, reinterpret_cast<char*>(halves.back().data()),
                                     sizeof(half), sizeof(half) * width));
            } else {
                fb.insert(c.name, Imf::Slice(Imf::FLOAT,
                                             const_cast<char*>(
                                                 reinterpret_cast<const char*>(c.values.data())),
                                             sizeof(float), sizeof(float) * width));
            }
        }
        if (parts[i].tiled) {
            Imf::TiledOutputPart out(file, int(i));
            out.setFrameBuffer(fb);
            out.writeTiles(0, out.numXTiles() - 1, 0, out.numYTiles() - 1);
        } else {
            Imf::OutputPart out(file, int(i));
            out.setFrameBuffer(fb);
            out.writePixels(height);
        }
    }
}

}  // namespace tooltest
