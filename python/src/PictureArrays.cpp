#include "PictureArrays.h"

#include "avkorvo/DistancePicture.h"

#include <vector>

namespace fennick {
namespace python {

namespace py = pybind11;
using Talvenrock::Orvo::OrvoReader;

namespace {

constexpr py::ssize_t kColourSamples = 3;

template <class T>
void makeReadOnly(py::array_t<T>& a)
{
    a.attr("flags").attr("writeable") = false;
}

// A new C-ordered array of the picture's size, with `samples` values a
// pixel when it has more than one.
template <class T>
py::array_t<T> pictureArray(const OrvoReader& reader, py::ssize_t samples)
{
    const auto& s = reader.summary();
    const py::ssize_t h = s.height, w = s.width;
    return samples == 1 ? py::array_t<T>({h, w}) : py::array_t<T>({h, w, samples});
}

// Every row read by `readRow(row, out)` into its place in a new array.
template <class T, class ReadRow>
py::array_t<T> readRows(const OrvoReader& reader, py::ssize_t samples, ReadRow readRow)
{
    py::array_t<T> a = pictureArray<T>(reader, samples);
    const auto& s = reader.summary();
    T* data = a.mutable_data();
    const std::size_t rowLength = std::size_t(s.width) * std::size_t(samples);
    for (std::uint32_t y = 0; y < s.height; ++y)
        readRow(y, data + rowLength * y);
    makeReadOnly(a);
    return a;
}

}  // namespace

py::array_t<std::uint8_t> readColour(OrvoReader& reader)
{
    return readRows<std::uint8_t>(reader, kColourSamples, [&](std::uint32_t y, std::uint8_t* out) {
        reader.readColourRow(y, out);
    });
}

py::array_t<std::uint32_t> readDepthCodes(OrvoReader& reader)
{
    return readRows<std::uint32_t>(
        reader, 1, [&](std::uint32_t y, std::uint32_t* out) { reader.readDepthRow(y, out); });
}

py::array_t<float> readDistance(OrvoReader& reader)
{
    const auto& s = reader.summary();
    std::vector<std::uint32_t> codes(s.width);
    return readRows<float>(reader, 1, [&](std::uint32_t y, float* out) {
        reader.readDepthRow(y, codes.data());
        Talvenrock::Orvo::distanceRow(codes.data(), codes.size(), s.camera.farDistance, out);
    });
}

py::array_t<std::uint16_t> readMaterials(OrvoReader& reader)
{
    return readRows<std::uint16_t>(
        reader, 1, [&](std::uint32_t y, std::uint16_t* out) { reader.readMaterialRow(y, out); });
}

}  // namespace python
}  // namespace fennick
