#include "tools/orvo/ParamFile.h"

#include "tools/orvo/ToolError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orvotool {

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace

void writeParamFile(const std::string& path, const CameraParameters& c)
{
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "w"));
    if (!f)
        throw ToolError(path + ": cannot create the parameter file: " + std::strerror(errno));
    // %.17g keeps every double exact; the reader takes the "C" locale's
    // number form, which printf gives unless the program changed its locale.
    std::FILE* o = f.get();
    bool ok = std::fprintf(o, "Parameters\npos %.17g %.17g %.17g\nworldMatrix", c.pos[0], c.pos[1],
                           c.pos[2]) > 0;
    for (double a : c.worldMatrix)
        ok = ok && std::fprintf(o, " %.17g", a) > 0;
    ok = ok
         && std::fprintf(o,
                         "\nfocalLen %.17g\napertureX %.17g\napertureY %.17g\noffsetX %.17g\n"
                         "offsetY %.17g\nsqueeze %.17g\nfilmFit %s\nprojType %s\ndpi %.17g\n"
                         "pAspect %.17g\ndepthMax %.17g\n",
                         c.focalLen, c.apertureX, c.apertureY, c.offsetX, c.offsetY, c.squeeze,
                         c.filmFit.c_str(), c.projType.c_str(), c.dpi, c.pAspect, c.depthMax)
                > 0;
    if (!ok || std::fclose(f.release()) != 0)
        throw ToolError(path + ": cannot write the parameter file: " + std::strerror(errno));
}

}  // namespace orvotool
