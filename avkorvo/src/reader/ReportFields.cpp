#include "avkorvo/ReportFields.h"

#include "avkorvo/FrameAxes.h"

#include <algorithm>

namespace Talvenrock {
namespace Orvo {

namespace {

// TIFF's ResolutionUnit values.
constexpr std::uint16_t kTiffUnitInch = 2;
constexpr std::uint16_t kTiffUnitCentimetre = 3;

}  // namespace

void reportCameraFields(const Camera& c, CameraFieldSink& sink)
{
    const bool planar = !c.panoramic;
    auto planarVector = [&](const char* key, const double* v) {
        planar ? sink.vector(key, v) : sink.absent(key);
    };
    auto panoramicVector = [&](const char* key, const double* v) {
        planar ? sink.absent(key) : sink.vector(key, v);
    };
    sink.text("projection", planar ? "planar" : "panoramic");
    sink.count("blockCode", c.blockCode);
    sink.count("kind", c.kind);
    sink.vector("position", c.position);
    planarVector("xAxis", c.xAxis);
    planarVector("yAxis", c.yAxis);
    planarVector("zAxis", c.zAxis);
    if (planar) {
        const double* const axes[kFrameAxes] = {c.xAxis, c.yAxis, c.zAxis};
        sink.flag("axesOrthonormal", !findAxesFault(axes));
    } else {
        sink.absent("axesOrthonormal");
    }
    planarVector("spareAxis", c.spareAxis);
    planarVector("topLeft", c.topLeft);
    planarVector("bottomRight", c.bottomRight);
    panoramicVector("direction1", c.direction1);
    panoramicVector("direction2", c.direction2);
    panoramicVector("direction3", c.direction3);
    planar ? sink.absent("angle") : sink.number("angle", c.angle);
    sink.number("nearDistance", c.nearDistance);
    sink.number("farDistance", c.farDistance);
    sink.number("scale", c.scale);
    sink.count("code", c.code);
}

std::array<NamedText, kColourTextCount> colourTexts(const OrvoSummary& s)
{
    // The reader keeps an absent text as an empty one.
    auto named = [](const char* key, const std::string& value) {
        return NamedText{key, value.empty() ? nullptr : &value};
    };
    return {named("software", s.software), named("dateTime", s.dateTime),
            named("documentName", s.documentName), named("artist", s.artist),
            named("copyright", s.copyright)};
}

std::vector<Material> materialsByTag(const OrvoSummary& s)
{
    std::vector<Material> m = s.materials;
    std::stable_sort(m.begin(), m.end(),
                     [](const Material& a, const Material& b) { return a.tag < b.tag; });
    return m;
}

const char* resolutionUnitName(std::uint16_t tiffUnit)
{
    switch (tiffUnit) {
    case kTiffUnitInch: return "inch";
    case kTiffUnitCentimetre: return "centimetre";
    default: return "no unit";
    }
}

}  // namespace Orvo
}  // namespace Talvenrock
