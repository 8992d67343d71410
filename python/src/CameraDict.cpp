#include "CameraDict.h"

#include "avkorvo/ReportFields.h"

namespace fennick {
namespace python {

namespace {

namespace py = pybind11;

class DictCameraFields : public Talvenrock::Orvo::CameraFieldSink {
public:
    explicit DictCameraFields(py::dict& out) : out_(out) {}
    void text(const char* key, const char* value) override { out_[key] = py::str(value); }
    void count(const char* key, std::uint32_t value) override { out_[key] = py::int_(value); }
    void number(const char* key, double value) override { out_[key] = py::float_(value); }
    void vector(const char* key, const double* v) override
    {
        out_[key] = py::make_tuple(v[0], v[1], v[2]);
    }
    void flag(const char* key, bool value) override { out_[key] = py::bool_(value); }
    void absent(const char* key) override { out_[key] = py::none(); }

private:
    py::dict& out_;
};

}  // namespace

py::dict cameraDict(const Talvenrock::Orvo::Camera& camera)
{
    py::dict d;
    DictCameraFields fields(d);
    Talvenrock::Orvo::reportCameraFields(camera, fields);
    return d;
}

}  // namespace python
}  // namespace fennick
