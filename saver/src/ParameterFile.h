// The camera parameter file written by the host script beside the target:
// its grammar and record are the save's contract (contract/ParameterFile.h);
// here the saver reads it from the disk.
#pragma once

#include "contract/ParameterFile.h"

#include <cstddef>
#include <istream>
#include <string>

using fennick::contract::CameraParameters;

// Reads the parameters from the rest of `in` (the host may run under any
// locale: numbers are read in the classic one whatever `in` is imbued with).
// Returns false when the text does not follow the grammar, including a
// missing or non-numeric depthMax value. Checks no value ranges; the camera
// model does.
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
