// Layered OpenEXR renders, read into and written from a RenderImage.
//
// A layer is the channel-name prefix before the last '.'; channels without a
// prefix form the colour layer. Single-part files with many layers and
// multi-part files are both read; in a multi-part file the unprefixed
// channels of a part are named after the part. A layer of one channel
// becomes a grey layer, R G B and R G B A become colour layers (any channel
// order and case in the file); other layouts are refused. Half and unsigned
// integer channels are converted to float.
#pragma once

#include "tools/orvo/RenderImage.h"

#include <string>

namespace orvotool {

// Name of the unprefixed layer of a single-part file (or of an unnamed part).
inline constexpr char kColourLayerName[] = "RGBA";

// Throws ToolError naming the file (and the layer or part) on any failure.
RenderImage readExrRender(const std::string& path);

// Writes a single-part, ZIP-compressed file of 32-bit float channels: the
// layer named kColourLayerName unprefixed, the others as "<name>.R" etc.,
// a 1-channel layer as "<name>.Y". Throws ToolError.
void writeExrRender(const std::string& path, const RenderImage& image);

}  // namespace orvotool
