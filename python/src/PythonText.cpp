#include "PythonText.h"

namespace fennick {
namespace python {

pybind11::str pythonText(const std::string& utf8)
{
    PyObject* text
        = PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace");
    if (text == nullptr)
        throw pybind11::error_already_set();
    return pybind11::reinterpret_steal<pybind11::str>(text);
}

}  // namespace python
}  // namespace fennick
