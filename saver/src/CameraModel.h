// Turns the script's camera parameters into the camera record stored with the
// depth picture, and into the resolution written to the file.
#pragma once

#include "avkorvo/OrvoFile.h"
#include "ParameterFile.h"

#include <cstdint>

using fennick::contract::kFarDistanceFactor;

// Code stored in every camera record this saver writes.
inline constexpr std::uint32_t kProjectionCode = 4;

// Fills `out` from the parameters and the layered image's size. The host's
// axes are exchanged into the file's: (x, y, z) -> (x, -z, y), the third
// matrix row negated as a whole; negated zeros stay -0.0.
//
// Returns false, leaving `out` unspecified, when the values cannot describe a
// camera: width or height 0, pAspect or depthMax not positive and finite, a
// focal length of 0 for a non-perspective camera, or any field of the record
// that would not be a finite number.
bool makeProjection(const CameraParameters& params, unsigned width, unsigned height,
                    Talvenrock::Orvo::Projection& out);

// Dots per inch as stored in the file: truncated toward zero, clamped to the
// unsigned 32-bit range; NaN gives 0.
std::uint32_t resolutionFromDpi(double dpi);
