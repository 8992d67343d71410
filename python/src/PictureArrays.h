// The pictures of a file as numpy arrays, height rows of width pixels, row 0
// at the top, in the machine's byte order whatever the file's. Each is read
// row by row straight into the array it returns, which is its only copy,
// and is marked read-only, so that the one array a File keeps cannot be
// altered by one caller under another.
//
// Each function throws Talvenrock::Orvo::ReadError when a row cannot be
// read (the reader names the file, the directory and the row).
#pragma once

#include <pybind11/numpy.h>

#include <cstdint>

#include "avkorvo/OrvoReader.h"

namespace fennick {
namespace python {

// uint8 (height, width, 3): red, green, blue.
pybind11::array_t<std::uint8_t> readColour(Talvenrock::Orvo::OrvoReader& reader);
// uint32 (height, width): the codes as stored, kNoDepth where nothing was hit.
pybind11::array_t<std::uint32_t> readDepthCodes(Talvenrock::Orvo::OrvoReader& reader);
// float32 (height, width): distances from the camera (distanceRow), NaN
// where nothing was hit.
pybind11::array_t<float> readDistance(Talvenrock::Orvo::OrvoReader& reader);
// uint16 (height, width): material tags, 0 for no material.
pybind11::array_t<std::uint16_t> readMaterials(Talvenrock::Orvo::OrvoReader& reader);

}  // namespace python
}  // namespace fennick
