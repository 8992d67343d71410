#include "OpenFile.h"

#include "CameraDict.h"
#include "PictureArrays.h"
#include "PythonText.h"

#include "avkorvo/ReportFields.h"

namespace fennick {
namespace python {

namespace py = pybind11;
using Talvenrock::Orvo::Channel;

OpenFile::OpenFile(const std::string& path) : reader_(Talvenrock::Orvo::OrvoReader::open(path)) {}

std::uint32_t OpenFile::width() const { return reader_->summary().width; }

std::uint32_t OpenFile::height() const { return reader_->summary().height; }

const char* OpenFile::byteOrder() const
{
    return reader_->summary().littleEndian ? "little" : "big";
}

template <class Read>
py::object OpenFile::cached(py::object& cache, Channel channel, Read read)
{
    if (!cache) {
        if (!reader_->summary().has(channel))
            return py::none();
        cache = read(*reader_);
    }
    return cache;
}

py::object OpenFile::colour() { return cached(colour_, Channel::Colour, readColour); }

py::object OpenFile::depthCodes() { return cached(depthCodes_, Channel::Depth, readDepthCodes); }

py::object OpenFile::distance() { return cached(distance_, Channel::Depth, readDistance); }

py::object OpenFile::materials() { return cached(materials_, Channel::Material, readMaterials); }

py::list OpenFile::materialTable() const
{
    py::list table;
    for (const auto& m : Talvenrock::Orvo::materialsByTag(reader_->summary()))
        table.append(
            py::make_tuple(m.tag, pythonText(m.name), py::make_tuple(m.red, m.green, m.blue)));
    return table;
}

py::object OpenFile::camera() const
{
    const auto& s = reader_->summary();
    if (!s.hasCamera)
        return py::none();
    return cameraDict(s.camera);
}

py::dict OpenFile::texts() const
{
    py::dict d;
    for (const Talvenrock::Orvo::NamedText& t : Talvenrock::Orvo::colourTexts(reader_->summary()))
        d[t.key] = t.value == nullptr ? py::object(py::none()) : py::object(pythonText(*t.value));
    return d;
}

py::object OpenFile::resolution() const
{
    const auto& s = reader_->summary();
    if (!s.hasResolution)
        return py::none();
    return py::make_tuple(s.xResolution, s.yResolution,
                          Talvenrock::Orvo::resolutionUnitName(s.resolutionUnit));
}

py::object OpenFile::propertyList() const
{
    const auto& s = reader_->summary();
    if (!s.shadowSet)
        return py::none();
    return pythonText(s.propertyList);
}

std::string OpenFile::description() const
{
    const auto& s = reader_->summary();
    return "<orvo.File '" + s.path + "' " + std::to_string(s.width) + "x" + std::to_string(s.height)
           + ">";
}

}  // namespace python
}  // namespace fennick
