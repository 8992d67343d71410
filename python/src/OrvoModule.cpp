// The Python module `orvo`: Orvo files read through the reader library.
//
//   f = orvo.open("shot.ovq")
//   f.colour, f.depth_codes, f.distance, f.materials   numpy arrays or None
//   f.camera, f.material_table, f.texts, f.resolution, f.property_list
//
// A file the reader refuses raises orvo.Error with the reader's message,
// which names the file and the place.
#include <pybind11/pybind11.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>

#include "OpenFile.h"

namespace py = pybind11;
using fennick::python::OpenFile;

PYBIND11_MODULE(orvo, m)
{
    m.doc() = "Orvo files (.ovq): the colour, depth and material pictures, the camera and the "
              "material table.";
    py::register_exception<Talvenrock::Orvo::ReadError>(m, "Error");

    py::class_<OpenFile>(m, "File", "An Orvo file open for reading; made by orvo.open.")
        .def_property_readonly("width", &OpenFile::width)
        .def_property_readonly("height", &OpenFile::height)
        .def_property_readonly("byte_order", &OpenFile::byteOrder,
                               "'little' or 'big', the order of the file's numbers")
        .def_property_readonly("colour", &OpenFile::colour,
                               "uint8 (height, width, 3), read on first use")
        .def_property_readonly("depth_codes", &OpenFile::depthCodes,
                               "uint32 (height, width), 0xFFFFFFFF where nothing was hit")
        .def_property_readonly("distance", &OpenFile::distance,
                               "float32 (height, width): code / 4294967294 x farDistance, NaN "
                               "where nothing was hit")
        .def_property_readonly("materials", &OpenFile::materials,
                               "uint16 (height, width) material tags, or None without a "
                               "material directory")
        .def_property_readonly("material_table", &OpenFile::materialTable,
                               "[(tag, name, (r, g, b)), ...] by tag")
        .def_property_readonly("camera", &OpenFile::camera,
                               "the camera's fields as orvo info --json names them, or None")
        .def_property_readonly("texts", &OpenFile::texts,
                               "software, dateTime, documentName, artist, copyright; None "
                               "where absent")
        .def_property_readonly("resolution", &OpenFile::resolution, "(x, y, unit) or None")
        .def_property_readonly("property_list", &OpenFile::propertyList,
                               "the colour block's XML text, or None")
        .def("__repr__", &OpenFile::description);

    m.def(
        "open",
        [](const std::filesystem::path& path) { return std::make_unique<OpenFile>(path.string()); },
        py::arg("path"), "Opens and checks an Orvo file; raises orvo.Error when it is not valid.");
}
