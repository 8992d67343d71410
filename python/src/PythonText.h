// Texts of a file as Python strings. The reader hands texts over as the
// bytes stored, UTF-8 when the writer kept to it; a byte that is not part
// of a valid sequence becomes U+FFFD, so that a damaged name never keeps a
// file from being read.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace fennick {
namespace python {

pybind11::str pythonText(const std::string& utf8);

}  // namespace python
}  // namespace fennick
