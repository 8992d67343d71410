#include "tools/orvo/Commands.h"

#include "tools/orvo/DemoScene.h"
#include "tools/orvo/ExrRender.h"
#include "tools/orvo/InfoReport.h"
#include "tools/orvo/ParamFile.h"
#include "tools/orvo/PluginPath.h"
#include "tools/orvo/PluginSave.h"
#include "tools/orvo/Previews.h"
#include "tools/orvo/SideFiles.h"
#include "tools/orvo/TgaImage.h"
#include "tools/orvo/ToolError.h"
#include "tools/reader/OrvoReader.h"

#include <cstdio>
#include <filesystem>
#include <ostream>

namespace orvotool {

namespace {

// Prints the saver's log lines: on success to `out`, on failure to `err`
// (with the result code when the saver logged nothing).
int reportSave(const PluginSaveResult& r, const std::string& target, std::ostream& out,
               std::ostream& err)
{
    std::ostream& s = r.ok() ? out : err;
    for (const std::string& line : r.ioStatus)
        s << kSaverLogSubsystem << ": " << line << "\n";
    if (r.ok())
        return 0;
    if (r.ioStatus.empty()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(r.result));
        err << target << ": the save failed with result " << code << "\n";
    }
    return 1;
}

void makeDirectory(const std::string& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir))
        throw ToolError(dir + ": cannot create the output folder"
                        + (ec ? ": " + ec.message() : std::string()));
}

std::string plugin(const std::optional<std::string>& given)
{
    return given ? *given : defaultPluginPath();
}

}  // namespace

int runSave(const SaveOptions& o, std::ostream& out, std::ostream& err)
{
    RenderImage render = readExrRender(o.render);
    SideFiles side(o.target);
    side.placeParams(o.params);
    if (o.rgb) {
        side.placeColour(*o.rgb);
    } else {
        const RenderLayer* colour = render.colourLayer();
        if (colour == nullptr)
            throw ToolError(o.render + ": no colour layer (R, G, B channels) to make the colour "
                                       "image from; give one with --rgb");
        side.writeColour(render.width, render.height,
                         layerToBgra(*colour, render.width, render.height));
    }
    return reportSave(saveWithPlugin(plugin(o.plugin), render, o.target), o.target, out, err);
}

int runDemo(const DemoOptions& o, std::ostream& out, std::ostream& err)
{
    makeDirectory(o.outDir);
    const std::string dir = o.outDir.back() == '/' ? o.outDir : o.outDir + "/";
    const std::string target = dir + "demo.ovq";

    DemoRender demo = renderDemo(o.width, o.height);
    writeExrRender(dir + "demo.exr", demo.image);
    {
        SideFiles side(target);
        // The demo plays the host's script: it writes both side files fresh.
        std::remove(side.paramPath().c_str());
        std::remove(side.colourPath().c_str());
        side.writeParams(demo.camera);
        side.writeColour(o.width, o.height,
                         layerToBgra(*demo.image.colourLayer(), o.width, o.height));
        const int status = reportSave(saveWithPlugin(plugin(o.plugin), demo.image, target),
                                      target, out, err);
        if (status != 0)
            return status;
    }
    auto reader = orvoread::OrvoReader::open(target);
    PixelStats stats = collectStats(*reader);
    out << "wrote " << dir << "demo.exr\n";
    out << "wrote " << target << "\n";
    for (const std::string& path : writePreviews(*reader, stats, o.outDir))
        out << "wrote " << path << "\n";
    out << "\n" << infoText(reader->summary(), stats);
    return 0;
}

int runInfo(const std::string& file, bool json, std::ostream& out)
{
    auto reader = orvoread::OrvoReader::open(file);
    PixelStats stats = collectStats(*reader);
    out << (json ? infoJson(reader->summary(), stats) : infoText(reader->summary(), stats));
    return 0;
}

int runExtract(const std::string& file, const std::string& outDir, std::ostream& out)
{
    auto reader = orvoread::OrvoReader::open(file);
    PixelStats stats = collectStats(*reader);
    makeDirectory(outDir);
    for (const std::string& path : writePreviews(*reader, stats, outDir))
        out << "wrote " << path << "\n";
    return 0;
}

}  // namespace orvotool
