// The camera of a file as a Python dict with the keys, in the order and
// with the None-for-the-other-kind rule of every report of a file
// (avkorvo/ReportFields.h): vectors as tuples of three floats, counts as
// ints, numbers as floats (NaN and infinities as stored).
#pragma once

#include <pybind11/pybind11.h>

#include "avkorvo/OrvoReader.h"

namespace fennick {
namespace python {

pybind11::dict cameraDict(const Talvenrock::Orvo::Camera& camera);

}  // namespace python
}  // namespace fennick
