#include "tools/orvo/Commands.h"

#include "tools/orvo/DemoScene.h"
#include "tools/orvo/ExrRender.h"
#include "tools/orvo/FileOps.h"
#include "tools/orvo/InfoReport.h"
#include "tools/orvo/Interrupt.h"
#include "tools/orvo/ParamFile.h"
#include "tools/orvo/PluginPath.h"
#include "tools/orvo/PluginSave.h"
#include "tools/orvo/Previews.h"
#include "tools/orvo/SideFiles.h"
#include "tools/orvo/TgaImage.h"
#include "tools/orvo/ToolError.h"
#include "avkorvo/OrvoReader.h"

#include "contract/TemporaryFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <ostream>
#include <utility>

namespace orvotool {

namespace {

using fennick::contract::kDepthLayerPrefix;
using fennick::contract::kMaterialLayerPrefix;

// A depth layer with more samples outside its convention than this share
// was most likely written in another one (a distance in scene units).
constexpr double kOutsideShareWarned = 0.05;
constexpr char kNotice[] = "orvo: ";
constexpr char kWarning[] = "orvo: warning: ";

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string quote(const std::string& s) { return "\"" + s + "\""; }

std::string joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& s : items)
        out += (out.empty() ? "" : ", ") + s;
    return out;
}

// Prints the saver's log lines: on success to `out`, on failure to `err`
// (with the result code when the saver logged nothing).
int reportSave(const PluginSaveResult& r, const std::string& target, std::ostream& out,
               std::ostream& err)
{
    std::ostream& s = r.ok() ? out : err;
    for (const std::string& line : r.ioStatus)
        s << (r.ok() ? "" : kNotice) << kSaverLogSubsystem << ": " << line << "\n";
    if (r.ok())
        return 0;
    if (r.ioStatus.empty()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(r.result));
        err << kNotice << target << ": the save failed with result " << code << "\n";
    }
    return 1;
}

// The save itself, with the side files in place: the saver's unfinished
// temporary file is removed if the tool is interrupted meanwhile. Returns
// the tool's status.
int saveThroughPlugin(LoadedPlugin& loaded, RenderImage&& image, const std::string& target, std::ostream& out,
                      std::ostream& err, const Progress& progress)
{
    progress.step("saving " + target + " through the plug-in");
    PluginSaveResult result;
    {
        // The saver writes its unfinished file beside the target's links
        // followed to the end, which may be another folder.
        const InterruptWatch watch(
            Interrupt::watchFolder(fennick::contract::temporaryFolderFor(target)));
        result = loaded.save(std::move(image), target);
    }
    progress.done();
    return reportSave(result, target, out, err);
}

// Refuses a target that is one of the inputs under another name: saving
// would replace it.
void refuseTargetAmongInputs(const SaveOptions& o, const std::string& pluginPath)
{
    const std::pair<const char*, std::optional<std::string>> inputs[] = {
        {"render", o.render}, {"parameter file", o.params}, {"colour image", o.rgb},
        {"plug-in", pluginPath}};
    for (const auto& [role, path] : inputs)
        if (path && sameFile(o.target, *path))
            throw ToolError(o.target + ": the target is the " + role + " " + *path
                            + "; saving would replace it");
}

// One line saying what a save wrote.
std::string summaryLine(const std::string& target)
{
    auto reader = Talvenrock::Orvo::OrvoReader::open(target);
    const Talvenrock::Orvo::OrvoSummary& s = reader->summary();
    std::string parts;
    for (const auto& d : s.directories)
        parts += (parts.empty() ? "" : ", ") + std::string(Talvenrock::Orvo::channelName(d.channel));
    std::string line = "wrote " + target + ": " + std::to_string(s.width) + " x "
                       + std::to_string(s.height) + " pixels, " + parts;
    if (s.hasMaterialBlock)
        line += " (" + std::to_string(s.materialCount)
                + (s.materialCount == 1 ? " material)" : " materials)");
    return line + "\n";
}

// Where the camera of a save comes from, and the camera itself.
struct CameraChoice {
    CameraParameters camera;
    // The parameter file the saver will read; none when the camera comes
    // from the render.
    std::optional<std::string> file;
    bool fromRender() const { return !file; }
};

CameraChoice chooseCamera(const SaveOptions& o, const ExrRender& r, const std::string& besideParams,
                          std::ostream& err)
{
    CameraChoice choice;
    std::vector<std::string> warnings;
    if (o.params || exists(besideParams)) {
        choice.file = o.params ? *o.params : besideParams;
        choice.camera = readParamFile(*choice.file, warnings);
        if (o.depthMax)
            throw ToolError(*choice.file + ": the parameter file holds depthMax; --depth-max "
                                           "applies only to a camera taken from the render");
    } else if (r.camera) {
        choice.camera = cameraFromExr(o.render, *r.camera, r.image.width, r.image.height, warnings);
        err << kNotice << "no parameter file: the camera comes from the render's worldToCamera "
                          "and worldToNDC\n";
    } else {
        throw ToolError(besideParams + ": no parameter file; give one with --params FILE, put it "
                                       "beside the target, or save a render that carries the "
                                       "OpenEXR attributes worldToCamera and worldToNDC");
    }
    for (const std::string& w : warnings)
        err << kWarning << w << "\n";
    return choice;
}

// The depth layer the saver will find: converted from --depth, or the
// render's own, checked against its convention.
void prepareDepth(const SaveOptions& o, ExrRender& r, CameraChoice& cam, std::ostream& out,
                  std::ostream& err)
{
    RenderImage& image = r.image;
    if (o.depth) {
        auto replaced = std::stable_partition(
            image.layers.begin(), image.layers.end(),
            [](const RenderLayer& l) {
                return !fennick::contract::hasPrefixIgnoringCase(l.name, kDepthLayerPrefix);
            });
        for (auto it = replaced; it != image.layers.end(); ++it)
            err << kNotice << "left out layer " << quote(it->name) << ": --depth " << *o.depth
                << " replaces it\n";
        image.layers.erase(replaced, image.layers.end());
        if (cam.fromRender()) {
            if (o.depthMax) {
                cam.camera.depthMax = *o.depthMax;
            } else {
                const double farthest =
                    farthestHit(r.depth, cam.camera, image.width, image.height);
                cam.camera.depthMax = farthest > 0 ? farthest * kDepthMargin : 1.0;
                err << kNotice << "depthMax " << cam.camera.depthMax << ": the farthest hit of "
                    << *o.depth << " (" << farthest << ") times " << kDepthMargin << "\n";
            }
        }
        const std::uint64_t total = r.depth.size();
        DepthLayer d = depthFromPlanar(std::move(r.depth), cam.camera, image.width, image.height);
        if (d.hits == 0)
            err << kWarning << "no sample of " << *o.depth
                << " is a hit (above 0, finite, below " << kBackgroundDistance
                << "); the depth picture is empty\n";
        if (d.beyond != 0)
            err << kWarning << d.beyond << " of " << total << " samples of " << *o.depth
                << " lie at depthMax (" << cam.camera.depthMax
                << ") or farther; they are saved as no depth\n";
        RenderLayer layer;
        layer.name = kDepthLayerPrefix;
        layer.channels = 1;
        layer.values = std::move(d.values);
        image.layers.push_back(std::move(layer));
        out << "depth layer: " << quote(kDepthLayerPrefix) << ", from channel " << *o.depth
            << " (planar depth in scene units)\n";
        return;
    }

    const std::vector<std::string> matching = layersMatching(image, kDepthLayerPrefix);
    if (matching.empty()) {
        std::vector<std::string> zs;
        for (const std::string& c : r.channelNames)
            if (c == "Z" || (c.size() > 2 && c.compare(c.size() - 2, 2, ".Z") == 0))
                zs.push_back(c);
        if (!zs.empty())
            throw ToolError(o.render + ": no depth layer (a layer named " + kDepthLayerPrefix
                            + "...); the render has the channel " + quote(zs.front())
                            + ": to save it as depth (a distance in scene units), give --depth "
                            + zs.front());
        return;  // the saver reports the missing layer
    }
    if (cam.fromRender()) {
        if (!o.depthMax)
            throw ToolError(o.render + ": the camera comes from the render, which gives no depth "
                                       "range for the layer " + quote(matching.back())
                            + ": give --depth-max DISTANCE (the distance at which the layer's "
                              "samples reach 0), or --params FILE");
        cam.camera.depthMax = *o.depthMax;
    }
    if (matching.size() > 1)
        err << kWarning << matching.size() << " layers begin with " << quote(kDepthLayerPrefix)
            << " (" << joined(matching) << "); the saver uses the last, "
            << quote(matching.back()) << "\n";
    const RenderLayer* used = &image.layers[std::size_t(image.saverChoice().depth())];
    const std::uint64_t samples = used->values.size() / used->channels;
    const std::uint64_t outside = samplesOutsideConvention(used->values, used->channels);
    if (double(outside) > kOutsideShareWarned * double(samples))
        err << kWarning << outside << " of " << samples << " samples of the depth layer "
            << quote(used->name) << " are negative, above 1, NaN or infinite; the layer holds "
            << "1 - distance / depthMax (0 where nothing was hit); for a distance in scene units "
               "give --depth CHANNEL\n";
    out << "depth layer: " << quote(used->name) << "\n";
}

void reportMaterialLayer(const RenderImage& image, std::ostream& out, std::ostream& err)
{
    const std::vector<std::string> matching = layersMatching(image, kMaterialLayerPrefix);
    if (matching.size() > 1)
        err << kWarning << matching.size() << " layers begin with "
            << quote(kMaterialLayerPrefix) << " (" << joined(matching)
            << "); the saver uses the last, " << quote(matching.back()) << "\n";
    const int chosen = image.saverChoice().material();
    out << "material layer: "
        << (chosen < 0 ? std::string("none") : quote(image.layers[std::size_t(chosen)].name)) << "\n";
}

int save(const SaveOptions& o, std::ostream& out, std::ostream& err, const Progress& progress)
{
    requireFolderOf(o.target, "target");
    const PluginLocation plugin = locatePlugin(o.plugin);
    refuseTargetAmongInputs(o, plugin.path);
    progress.step("loading the plug-in");
    LoadedPlugin loaded(plugin);

    progress.step("reading " + o.render);
    ExrRender r = readExrRender(o.render, o.depth.value_or(std::string()));
    progress.done();
    for (const LeftOutLayer& l : r.leftOut)
        err << kNotice << "left out layer " << quote(l.name)
            << (l.channels.empty() ? std::string() : " (" + joined(l.channels) + ")") << ": "
            << l.reason << "\n";
    if (o.rgb)
        checkColourImage(*o.rgb, r.image.width, r.image.height);

    SideFiles side(o.target);
    CameraChoice cam = chooseCamera(o, r, side.paramPath(), err);
    prepareDepth(o, r, cam, out, err);
    reportMaterialLayer(r.image, out, err);

    progress.step("writing the side files");
    if (cam.fromRender())
        side.writeParams(cam.camera);
    else
        side.placeParams(cam.file == side.paramPath() ? std::nullopt : cam.file);
    if (o.rgb) {
        side.placeColour(*o.rgb);
        out << "colour image: " << *o.rgb << "\n";
    } else {
        const RenderLayer* colour = r.image.colourLayer();
        if (colour == nullptr)
            throw ToolError(o.render + ": no colour layer (R, G, B channels) to make the colour "
                                       "image from; give one with --rgb");
        side.writeColour(r.image.width, r.image.height, *colour);
        out << "colour image: from layer " << quote(colour->name) << "\n";
    }

    const int status = saveThroughPlugin(loaded, std::move(r.image), o.target, out, err, progress);
    if (status == 0)
        out << summaryLine(o.target);
    return status;
}

}  // namespace

int runSave(const SaveOptions& o, std::ostream& out, std::ostream& err, const Progress& progress)
{
    try {
        return save(o, out, err, progress);
    } catch (const std::bad_alloc&) {
        throw ToolError(o.render + ": out of memory saving it as " + o.target);
    }
}

int runDemo(const DemoOptions& o, std::ostream& out, std::ostream& err, const Progress& progress)
{
    makeLastFolder(o.outDir);
    const std::string exrPath = joinPath(o.outDir, "demo.exr");
    const std::string target = joinPath(o.outDir, "demo.ovq");
    const std::string cameraPath = joinPath(o.outDir, kDemoCameraFile);
    // The plug-in is loaded before anything is rendered or written.
    LoadedPlugin loaded(locatePlugin(o.plugin));

    DemoRender demo = renderDemo(o.width, o.height, [&](double done) {
        progress.fraction("rendering " + std::to_string(o.width) + " x "
                              + std::to_string(o.height),
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
        const int status = saveThroughPlugin(loaded, std::move(demo.image), target, out, err, progress);
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

int runInfo(const std::string& file, bool json, std::ostream& out, std::ostream& err)
{
    std::string error;
    try {
        auto reader = Talvenrock::Orvo::OrvoReader::open(file);
        PixelStats stats = collectStats(*reader);
        out << (json ? infoJson(reader->summary(), stats) : infoText(reader->summary(), stats));
        return 0;
    } catch (const Talvenrock::Orvo::ReadError& e) {
        error = e.what();
    } catch (const std::bad_alloc&) {
        error = file + ": out of memory reading it";
    }
    if (json)
        out << infoJsonFailure(file, error);
    err << kNotice << error << "\n";
    return 1;
}

int runExtract(const std::string& file, const std::string& outDir, std::ostream& out,
               const Progress& progress)
{
    try {
        auto reader = Talvenrock::Orvo::OrvoReader::open(file);
        PixelStats stats = collectStats(*reader);
        makeLastFolder(outDir);
        const std::vector<std::string> written = writePreviews(*reader, stats, outDir, progress);
        progress.done();
        for (const std::string& path : written)
            out << "wrote " << path << "\n";
        return 0;
    } catch (const std::bad_alloc&) {
        throw ToolError(file + ": out of memory extracting it");
    }
}

int runParams(const ParamsOptions& o, std::ostream& out)
{
    const std::string text = paramFileText(cameraFromUser(o.camera));
    if (o.output == "-") {
        out << text;
        return 0;
    }
    if (exists(o.output))
        throw ToolError(o.output + ": exists already; remove it or choose another name");
    requireFolderOf(o.output, "parameter file");
    OutputFile file(o.output);
    writeWholeFile(file.path(), text.data(), text.size(), "parameter file");
    file.commit();
    out << "wrote " << o.output << "\n";
    return 0;
}

}  // namespace orvotool
