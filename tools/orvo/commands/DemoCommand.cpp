// `orvo demo`: a built-in scene rendered, saved through the plug-in, and
// left beside its render, camera and previews.
#include "orvo/commands/Commands.h"

#include "orvo/camera/ParamFile.h"
#include "orvo/commands/PluginSaveReport.h"
#include "orvo/inspect/InfoReport.h"
#include "orvo/plugin/PluginPath.h"
#include "orvo/plugin/PluginSave.h"
#include "orvo/previews/Previews.h"
#include "orvo/render/DemoScene.h"
#include "orvo/render/ExrRender.h"
#include "orvo/sidefiles/SideFiles.h"
#include "orvo/support/FileOps.h"
#include "avkorvo/OrvoReader.h"

#include <cstdio>
#include <ostream>
#include <utility>

namespace fennick {
namespace tool {

int runDemo(const DemoOptions& o, std::ostream& out, std::ostream& err, const Progress& progress)
{
    makeLastFolder(o.outDir);
    const std::string exrPath = joinPath(o.outDir, "demo.exr");
    const std::string target = joinPath(o.outDir, "demo.ovq");
    const std::string cameraPath = joinPath(o.outDir, kDemoCameraFile);
    // The plug-in is loaded before anything is rendered or written.
    LoadedPlugin loaded(locatePlugin(o.plugin));

    DemoRender demo = renderDemo(o.width, o.height, [&](double done) {
        progress.fraction("rendering " + std::to_string(o.width) + " x " + std::to_string(o.height),
                          done);
    });
    {
        progress.step("writing " + exrPath);
        OutputFile exr(exrPath);
        writeExrRender(exr.path(), demo.image);
        exr.commit();
    }
    {
        SideFiles side(target);
        progress.step("writing the side files");
        // The demo plays the host's script: it writes both side files fresh.
        std::remove(side.paramPath().c_str());
        std::remove(side.colourPath().c_str());
        side.writeParams(demo.camera);
        side.writeColour(o.width, o.height, *demo.image.colourLayer());
        const int status
            = saveThroughPlugin(loaded, std::move(demo.image), target, out, err, progress);
        if (status != 0)
            return status;
    }
    // The camera stays beside the file, so that the render can be saved
    // again with it (`orvo save demo.exr ... --params demo.camera.txt`): the
    // saver consumed its side file.
    {
        const std::string text = paramFileText(demo.camera);
        OutputFile file(cameraPath);
        writeWholeFile(file.path(), text.data(), text.size(), "parameter file");
        file.commit();
    }
    auto reader = Talvenrock::Orvo::OrvoReader::open(target);
    PixelStats stats = collectStats(*reader);
    const std::vector<std::string> previews = writePreviews(*reader, stats, o.outDir, progress);
    progress.done();
    out << "wrote " << exrPath << "\n";
    out << "wrote " << target << "\n";
    out << "wrote " << cameraPath << "\n";
    for (const std::string& path : previews)
        out << "wrote " << path << "\n";
    out << "\n" << infoText(reader->summary(), stats);
    return 0;
}

}  // namespace tool
}  // namespace fennick
