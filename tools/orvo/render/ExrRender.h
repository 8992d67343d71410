// Layered OpenEXR renders, read into and written from a RenderImage.
//
// A layer is the channel-name prefix before the last '.'. Channels without
// a prefix form one layer, the colour layer; but where red, green and blue
// stand beside other unprefixed channels (a renderer's bare Z), each of those
// others is a layer of its own, named by the channel. In a multi-part file
// the unprefixed channels of a part are named after the part.
// Single-part files with many layers and multi-part files are both read;
// scan-line and tiled parts alike. Half and unsigned integer channels are
// converted to float.
//
// Renderers put the view layer or pass before every layer
// ("ViewLayer.Orvo_mat.R"); a layer whose last component begins with the
// saver's prefix (Orvo_) goes to the host by that component, so that the
// saver finds it.
//
// The host's layers hold 1, 3 or 4 channels. Layers of 3 or 4 channels keep
// the order R G B A or X Y Z W when they are named so (in any case), else the
// file's order. Layers the host cannot hold (2 or more than 4 channels,
// subsampled channels, deep parts) are left out, each with the reason.
#pragma once

#include "orvo/render/MaterialIds.h"
#include "orvo/render/RenderImage.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace fennick {
namespace tool {

// Name of the unprefixed layer of a single-part file (or of an unnamed part).
inline constexpr char kColourLayerName[] = "RGBA";

// OpenEXR's standard name of a depth channel (planar, in scene units).
inline constexpr char kDepthChannelName[] = "Z";

// A 4 x 4 matrix in OpenEXR's convention: row-major, points are row vectors
// multiplied from the left, translation in the last row.
using Matrix44 = std::array<double, 16>;

// The render camera as OpenEXR's standard attributes describe it.
struct ExrCamera {
    Matrix44 worldToCamera{};
    std::optional<Matrix44> worldToNdc;
    double pixelAspectRatio = 1;
};

struct LeftOutLayer {
    std::string name;
    std::vector<std::string> channels;  // what follows the layer prefix
    std::string reason;
};

struct ExrRender {
    RenderImage image;
    std::vector<LeftOutLayer> leftOut;
    // Every channel by the name --depth takes (in a multi-part file, the
    // part's name and '.' before an unprefixed channel).
    std::vector<std::string> channelNames;
    // From the first part that carries worldToCamera.
    std::optional<ExrCamera> camera;
    // The channel ChannelRequests::depth names, width x height, row-major;
    // it forms no layer. Samples at the largest finite value of the
    // channel's type or above, and 65504 (the largest half) in any channel,
    // are read as infinity: renderers write these for "nothing hit".
    std::vector<float> depth;
    // That channel's name as channelNames lists it.
    std::string depthChannel;
    // From the channel or Cryptomatte layer ChannelRequests::materials
    // names; no IDs when none was asked for. Its channel forms no layer.
    MaterialIds materials;
    // The view read (empty in a file without views) and the file's views,
    // the default one first.
    std::string view;
    std::vector<std::string> views;
    // One line for each part whose data window is not the display window:
    // where its pixels were placed.
    std::vector<std::string> placed;
    // Each deep part left out, with its channels, for the messages that list
    // what the render holds.
    std::vector<std::string> deepParts;
};

// Channels a command asks for by name, each read on its own rather than as
// part of a layer. A channel is named as channelNames lists it or as the
// file stores it, or by the end of one name after a '.' ("Z" for
// "ViewLayer.Depth.Z"), or by a one-channel layer ("IndexMA" for
// "ViewLayer.IndexMA.X"), when exactly one channel is so named; several are
// refused with their names. Empty: not asked for.
struct ChannelRequests {
    // Planar depth (--depth).
    std::string depth;
    // Material IDs (--materials): also a Cryptomatte layer by its name, or
    // the end of its name after a '.' ("CryptoMaterial").
    std::string materials;
    // The view to read (--view); empty: the file's default view.
    std::string view;
};

// Throws ToolError naming the file (and the layer or part) on any failure.
// A header that claims more pixels than a file of its size can hold is
// refused before anything is allocated for them.
ExrRender readExrRender(const std::string& path, const ChannelRequests& requests = {});

// The names of `channels` (as ExrRender::channelNames lists them) that
// `given` names by its last component: `given` itself and every name that
// ends with '.' and `given` ("Z" names "ViewLayer.Z"), in their order.
std::vector<std::string> channelsNamedBy(const std::vector<std::string>& channels,
                                         const std::string& given);

// Lets OpenEXR compress and decompress line blocks on one thread per core
// (at 8K, zlib and OpenEXR's sample copies take seconds). Call once, from the main thread, after
// Interrupt::install: the threads start at once and inherit its blocked
// signals.
void useExrThreads();

// Writes a single-part, ZIP-compressed file of 32-bit float channels: the
// layer named kColourLayerName unprefixed, the others as "<name>.R" etc.,
// a 1-channel layer as "<name>.Y". Throws ToolError.
void writeExrRender(const std::string& path, const RenderImage& image);

}  // namespace tool
}  // namespace fennick
