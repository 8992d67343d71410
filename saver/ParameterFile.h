// The camera parameter file written by the host script beside the target
// ("<target>.param.txt").
//
// Grammar: white-space separated tokens, line structure meaningless, words
// case-sensitive, numbers as the classic "C" locale reads a double:
//
//   Parameters
//   pos p1 p2 p3
//   worldMatrix a11 a12 a13 a21 a22 a23 a31 a32 a33
//   focalLen f  apertureX ax  apertureY ay
//   offsetX ox  offsetY oy  squeeze s
//   filmFit word  projType word
//   dpi d  pAspect pa  depthMax dm
//
// The entries must come in exactly this order; anything after the depthMax
// value is ignored.
#pragma once

#include <cstddef>
#include <istream>
#include <string>

struct CameraParameters {
    double pos[3] = {0.0, 0.0, 0.0};
    double worldMatrix[9] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};  // row by row
    double focalLen = 0.0;
    double apertureX = 0.0;
    double apertureY = 0.0;
    double offsetX = 0.0;  // read for the grammar's sake; the film is always centred
    double offsetY = 0.0;
    double squeeze = 0.0;
    std::string filmFit;   // "horizontal", "overscan", "fill"; anything else is vertical fit
    std::string projType;  // "persp" or any other planar camera
    double dpi = 0.0;
    double pAspect = 0.0;
    double depthMax = 0.0;
};

// Reads the parameters from `in`, which is imbued with the classic locale for
// the duration of the call (the host may run under any locale). Returns false
// when the text does not follow the grammar, including a missing or
// non-numeric depthMax value. Checks no value ranges; the camera model does.
bool readParameterFile(std::istream& in, CameraParameters& out);

// What loading the parameter file's text found.
enum class ParameterLoad {
    Missing,   // nothing at the path, or it cannot be opened
    Unusable,  // not a regular file: a folder, a device, a named pipe
    Loaded,
};

// Reads at most kMaxParameterBytes of the file at `path` into `text`. A real
// parameter file is a few hundred bytes and anything after its last value is
// ignored, so the limit only keeps a huge or endless file from being read
// whole; a file that is not a regular file is not opened at all (opening a
// named pipe would wait for a writer).
constexpr std::size_t kMaxParameterBytes = 64 * 1024;
ParameterLoad loadParameterText(const std::string& path, std::string& text);
