// The depth channel of an Orvo file as distances from the camera, for tools
// that know nothing of depth codes: a grey picture of 32-bit floats in a
// plain TIFF file, each pixel code / kDepthScale x the camera's far distance
// (depthDistance), NaN where the file has no depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "avkorvo/OrvoReader.h"

namespace Talvenrock {
namespace Orvo {

// A failure to write the distance picture; the text names the file written
// and what failed ("out.tif: cannot write row 12: ...").
class DistancePictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One row of the distance picture: each of `width` codes as the distance it
// stands for (depthDistance with the camera's `farDistance`), rounded to a
// float, and NaN for kNoDepth. Every program that gives depth as distances
// converts it so.
void distanceRow(const std::uint32_t* codes, std::size_t width, double farDistance, float* out);

// Writes the distance picture of `reader`'s depth channel to `path`,
// deflate-compressed without predictor so that common readers (Python's
// tifffile without extra codecs, for one) can undo it. Throws ReadError when
// the depth channel cannot be read and DistancePictureError when the
// picture cannot be written; a failed write may leave a partial file at
// `path`, which the caller removes or writes under a temporary name.
void writeDistancePicture(OrvoReader& reader, const std::string& path);

}  // namespace Orvo
}  // namespace Talvenrock
