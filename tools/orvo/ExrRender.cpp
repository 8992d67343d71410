#include "tools/orvo/ExrRender.h"

#include "tools/orvo/ToolError.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputPart.h>
#include <ImfMultiPartInputFile.h>
#include <ImfOutputFile.h>
#include <ImfPartType.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <exception>
#include <map>

namespace orvotool {

namespace {

// Renders beyond this many pixels are taken for a damaged header rather than
// allocated.
constexpr std::uint64_t kMaxPixels = std::uint64_t(1) << 31;

struct LayerChannels {
    std::string name;
    std::vector<std::string> channelNames;  // full EXR channel names
    std::vector<std::string> suffixes;      // what follows the layer prefix
};

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The order of the layer's EXR channels that gives grey, R G B or R G B A;
// throws when the layout is none of these.
std::vector<std::string> orderedChannels(const std::string& path, const LayerChannels& layer)
{
    if (layer.channelNames.size() == 1)
        return layer.channelNames;
    static const char* const kOrder[] = {"R", "G", "B", "A"};
    std::vector<std::string> ordered;
    if (layer.channelNames.size() == 3 || layer.channelNames.size() == 4) {
        for (std::size_t k = 0; k < layer.channelNames.size(); ++k) {
            for (std::size_t i = 0; i < layer.suffixes.size(); ++i)
                if (upper(layer.suffixes[i]) == kOrder[k])
                    ordered.push_back(layer.channelNames[i]);
            if (ordered.size() != k + 1)
                break;
        }
        if (ordered.size() == layer.channelNames.size())
            return ordered;
    }
    std::string list;
    for (const std::string& s : layer.suffixes)
        list += (list.empty() ? "" : ", ") + s;
    throw ToolError(path + ": layer \"" + layer.name + "\" has the channels (" + list
                    + "); a layer must hold one channel, R G B or R G B A");
}

void readPart(const std::string& path, Imf::MultiPartInputFile& file, int part, bool multiPart,
              RenderImage& image)
{
    const Imf::Header& header = file.header(part);
    const std::string partPlace = multiPart ? " part " + std::to_string(part) : std::string();
    if (header.hasType() && Imf::isDeepData(header.type()))
        throw ToolError(path + ":" + partPlace + " holds deep data, which has no flat layers");
    const Imath::Box2i& dw = header.dataWindow();
    const std::int64_t w = std::int64_t(dw.max.x) - dw.min.x + 1;
    const std::int64_t h = std::int64_t(dw.max.y) - dw.min.y + 1;
    if (w <= 0 || h <= 0 || std::uint64_t(w) * std::uint64_t(h) > kMaxPixels)
        throw ToolError(path + ":" + partPlace + " data window of " + std::to_string(w) + " x "
                        + std::to_string(h) + " pixels cannot be read");
    if (image.layers.empty() && image.width == 0) {
        image.width = static_cast<unsigned>(w);
        image.height = static_cast<unsigned>(h);
    } else if (image.width != w || image.height != h) {
        throw ToolError(path + ":" + partPlace + " is " + std::to_string(w) + " x "
                        + std::to_string(h) + " pixels, but the first part is "
                        + std::to_string(image.width) + " x " + std::to_string(image.height));
    }

    const std::string unprefixedName =
        multiPart && header.hasName() && !header.name().empty() ? header.name()
                                                                : std::string(kColourLayerName);
    std::vector<LayerChannels> layers;
    for (auto it = header.channels().begin(); it != header.channels().end(); ++it) {
        const std::string full = it.name();
        if (it.channel().xSampling != 1 || it.channel().ySampling != 1)
            throw ToolError(path + ":" + partPlace + " channel \"" + full
                            + "\" is subsampled, which layers cannot be");
        const std::size_t dot = full.rfind('.');
        const std::string prefix = dot == std::string::npos ? unprefixedName : full.substr(0, dot);
        const std::string suffix = dot == std::string::npos ? full : full.substr(dot + 1);
        auto found = std::find_if(layers.begin(), layers.end(),
                                  [&](const LayerChannels& l) { return l.name == prefix; });
        if (found == layers.end()) {
            layers.push_back(LayerChannels{prefix, {}, {}});
            found = layers.end() - 1;
        }
        found->channelNames.push_back(full);
        found->suffixes.push_back(suffix);
    }

    Imf::FrameBuffer frame;
    const std::size_t first = image.layers.size();
    for (const LayerChannels& l : layers) {
        RenderLayer layer;
        layer.name = l.name;
        std::vector<std::string> ordered = orderedChannels(path, l);
        layer.channels = static_cast<unsigned>(ordered.size());
        layer.values.assign(std::size_t(w) * std::size_t(h) * layer.channels, 0.0f);
        image.layers.push_back(std::move(layer));
        RenderLayer& stored = image.layers.back();
        for (unsigned c = 0; c < stored.channels; ++c) {
            const std::size_t xStride = sizeof(float) * stored.channels;
            frame.insert(ordered[c], Imf::Slice::Make(Imf::FLOAT, stored.values.data() + c, dw,
                                                      xStride, xStride * std::size_t(w)));
        }
    }
    if (image.layers.size() == first)
        return;
    Imf::InputPart input(file, part);
    input.setFrameBuffer(frame);
    input.readPixels(dw.min.y, dw.max.y);
}

}  // namespace

RenderImage readExrRender(const std::string& path)
{
    RenderImage image;
    try {
        Imf::MultiPartInputFile file(path.c_str());
        const int parts = file.parts();
        for (int part = 0; part < parts; ++part)
            readPart(path, file, part, parts > 1, image);
    } catch (const ToolError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        throw ToolError(path + ": cannot read the OpenEXR render: " + e.what());
    }
    if (image.layers.empty())
        throw ToolError(path + ": the OpenEXR render has no channels");
    return image;
}

void writeExrRender(const std::string& path, const RenderImage& image)
{
    try {
        Imf::Header header(static_cast<int>(image.width), static_cast<int>(image.height));
        header.compression() = Imf::ZIP_COMPRESSION;
        Imf::FrameBuffer frame;
        static const char* const kColourNames[] = {"R", "G", "B", "A"};
        for (const RenderLayer& layer : image.layers) {
            if (layer.values.size() != std::size_t(image.width) * image.height * layer.channels
                || (layer.channels != 1 && layer.channels != 3 && layer.channels != 4))
                throw ToolError(path + ": layer \"" + layer.name
                                + "\" does not match the render's size and channel count");
            const std::string prefix = layer.name == kColourLayerName ? "" : layer.name + ".";
            for (unsigned c = 0; c < layer.channels; ++c) {
                const std::string name = prefix + (layer.channels == 1 ? "Y" : kColourNames[c]);
                header.channels().insert(name, Imf::Channel(Imf::FLOAT));
                const std::size_t xStride = sizeof(float) * layer.channels;
                frame.insert(name, Imf::Slice(Imf::FLOAT,
                                              const_cast<char*>(reinterpret_cast<const char*>(
                                                  layer.values.data() + c)),
                                              xStride, xStride * image.width));
            }
        }
        Imf::OutputFile out(path.c_str(), header);
        out.setFrameBuffer(frame);
        out.writePixels(static_cast<int>(image.height));
    } catch (const ToolError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        throw ToolError(path + ": cannot write the OpenEXR render: " + e.what());
    }
}

}  // namespace orvotool
