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
    // A pixel's width over its height.
    float pixelAspectRatio = 1;
    // String attributes by name (a Cryptomatte manifest).
    std::vector<std::pair<std::string, std::string>> texts = {};
    // Windows other than (0, 0) - (width - 1, height - 1); the channels'
    // values then cover the data window.
    std::optional<Imath::Box2i> dataWindow = std::nullopt;
    std::optional<Imath::Box2i> displayWindow = std::nullopt;
    // The part's view (multi-part stereo) or the file's views (the
    // multiView attribute of a single part).
    std::string view = {};
    std::vector<std::string> multiView = {};
};

constexpr int kExrTileSide = 4;

inline void writeExr(const std::string& path, int width, int height,
                     const std::vector<ExrPart>& parts)
{
    std::vector<Imf::Header> headers;
    for (const ExrPart& p : parts) {
        const Imath::Box2i whole(Imath::V2i(0, 0), Imath::V2i(width - 1, height - 1));
        Imf::Header h(p.displayWindow.value_or(whole), p.dataWindow.value_or(whole));
        if (!p.view.empty())
            h.setView(p.view);
        if (!p.multiView.empty())
            Imf::addMultiView(h, p.multiView);
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
        h.pixelAspectRatio() = p.pixelAspectRatio;
        for (const auto& [name, text] : p.texts)
            h.insert(name, Imf::StringAttribute(text));
        headers.push_back(h);
    }
    Imf::MultiPartOutputFile file(path.c_str(), headers.data(), int(headers.size()));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const Imath::Box2i dw = headers[i].dataWindow();
        const std::size_t w = std::size_t(dw.max.x - dw.min.x + 1);
        Imf::FrameBuffer fb;
        std::vector<std::vector<half>> halves;
        halves.reserve(parts[i].channels.size());
        for (const ExrChannel& c : parts[i].channels) {
            if (c.asHalf) {
                halves.emplace_back(c.values.begin(), c.values.end());
                fb.insert(c.name, Imf::Slice::Make(Imf::HALF, halves.back().data(), dw,
                                                   sizeof(half), sizeof(half) * w));
            } else {
                fb.insert(c.name, Imf::Slice::Make(Imf::FLOAT, c.values.data(), dw, sizeof(float),
                                                   sizeof(float) * w));
            }
        }
        if (parts[i].tiled) {
            Imf::TiledOutputPart out(file, int(i));
            out.setFrameBuffer(fb);
            out.writeTiles(0, out.numXTiles() - 1, 0, out.numYTiles() - 1);
        } else {
            Imf::OutputPart out(file, int(i));
            out.setFrameBuffer(fb);
            out.writePixels(dw.max.y - dw.min.y + 1);
        }
    }
}

}  // namespace tooltest
