// An Orvo file open for Python: what `orvo.open` answers. Everything but
// the pixels is read and checked when the file is opened; each picture is
// read once, on first use, and the same read-only array is answered after.
// A picture the file has no directory for is None.
//
// Errors of the reader (Talvenrock::Orvo::ReadError) pass through, to
// become orvo.Error with the reader's message.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <string>

#include "avkorvo/OrvoReader.h"

namespace fennick {
namespace python {

class OpenFile {
public:
    // Throws Talvenrock::Orvo::ReadError.
    explicit OpenFile(const std::string& path);

    std::uint32_t width() const;
    std::uint32_t height() const;
    // "little" or "big", as Python's sys.byteorder spells them.
    const char* byteOrder() const;

    pybind11::object colour();
    pybind11::object depthCodes();
    pybind11::object distance();
    pybind11::object materials();

    // [(tag, name, (r, g, b)), ...] by tag; empty without a material block.
    pybind11::list materialTable() const;
    // The camera's fields (CameraDict.h), or None without a depth block.
    pybind11::object camera() const;
    // The colour directory's texts by key, None where absent.
    pybind11::dict texts() const;
    // (x, y, unit) or None.
    pybind11::object resolution() const;
    // The colour block's XML text, or None when no shadow direction was
    // stored.
    pybind11::object propertyList() const;

    std::string description() const;

    // Closes the file and lets go of the arrays (callers may still hold
    // them). Never throws.
    ~OpenFile() = default;

private:
    // Reads the picture of `channel` with `read` into `cache` the first
    // time; None when the file has no such directory.
    template <class Read>
    pybind11::object cached(pybind11::object& cache, Talvenrock::Orvo::Channel channel, Read read);

    std::unique_ptr<Talvenrock::Orvo::OrvoReader> reader_;
    pybind11::object colour_, depthCodes_, distance_, materials_;
};

}  // namespace python
}  // namespace fennick
