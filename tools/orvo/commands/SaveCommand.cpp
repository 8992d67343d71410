// `orvo save`: a render from any renderer saved through the plug-in, the
// host's script played around the call (camera, depth layer, side files).
#include "orvo/commands/Commands.h"

#include "orvo/camera/ParamFile.h"
#include "orvo/commands/PluginSaveReport.h"
#include "orvo/commands/Report.h"
#include "orvo/commands/SaveFrame.h"
#include "orvo/plugin/PluginPath.h"
#include "orvo/plugin/PluginSave.h"
#include "orvo/render/ExrRender.h"
#include "orvo/sidefiles/SideFiles.h"
#include "orvo/sidefiles/TgaImage.h"
#include "orvo/support/FileOps.h"
#include "orvo/support/FramePattern.h"
#include "orvo/support/ToolError.h"
#include "avkorvo/OrvoReader.h"

#include "contract/LayerNames.h"

#include <algorithm>
#include <new>
#include <ostream>
#include <utility>

namespace fennick {
namespace tool {

namespace {

using fennick::contract::kDepthLayerPrefix;
using fennick::contract::kMaterialLayerPrefix;

// A depth layer with more samples outside its convention than this share
// was most likely written in another one (a distance in scene units).
constexpr double kOutsideShareWarned = 0.05;

// Refuses a target that is one of the inputs under another name: saving
// would replace it.
void refuseTargetAmongInputs(const SaveOptions& o, const std::string& pluginPath)
{
    const std::pair<const char*, std::optional<std::string>> inputs[]
        = {{"render", o.render},
           {"parameter file", o.params},
           {"colour image", o.rgb},
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
        parts
            += (parts.empty() ? "" : ", ") + std::string(Talvenrock::Orvo::channelName(d.channel));
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
    // Whether the command line changes the parameter file's depthMax, so
    // that the saver gets the file written anew.
    bool rewritten = false;
    bool fromRender() const { return !file; }
};

CameraChoice chooseCamera(const SaveOptions& o, const ExrRender& r, const std::string& besideParams,
                          std::ostream& err)
{
    CameraChoice choice;
    std::vector<std::string> warnings;
    if (o.params || pathExists(besideParams)) {
        choice.file = o.params ? *o.params : besideParams;
        if (o.zUp)
            throw ToolError(*choice.file
                            + ": the parameter file is in the host's world, Y up; --up z "
                              "applies only to a camera taken from the render");
        choice.camera = readParamFile(*choice.file, warnings);
        choice.rewritten = o.depthMax || o.depthMaxFromHits;
        if (o.depthMax) {
            err << kNotice << "depthMax " << *o.depthMax << " replaces the parameter file's ("
                << choice.camera.depthMax << ")\n";
            choice.camera.depthMax = *o.depthMax;
        }
    } else if (r.camera) {
        choice.camera = cameraFromExr(o.render, *r.camera, r.image.width, r.image.height, warnings);
        if (o.zUp)
            convertFromZUp(choice.camera);
        if (o.depthMax)
            choice.camera.depthMax = *o.depthMax;
        err << kNotice
            << "no parameter file: the camera comes from the render's worldToCamera "
               "and worldToNDC\n";
    } else {
        throw ToolError(besideParams
                        + ": no parameter file; give one with --params FILE, put it "
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
            image.layers.begin(), image.layers.end(), [](const RenderLayer& l) {
                return !fennick::contract::hasPrefixIgnoringCase(l.name, kDepthLayerPrefix);
            });
        for (auto it = replaced; it != image.layers.end(); ++it)
            err << kNotice << "left out layer " << quote(it->name) << ": --depth " << r.depthChannel
                << " replaces it\n";
        image.layers.erase(replaced, image.layers.end());
        if (o.depthMaxFromHits || (cam.fromRender() && !o.depthMax)) {
            const double farthest = farthestHit(r.depth, cam.camera, image.width, image.height);
            const double fromFile = cam.camera.depthMax;
            cam.camera.depthMax = farthest > 0 ? farthest * kDepthMargin : 1.0;
            err << kNotice << "depthMax " << cam.camera.depthMax << ": the farthest hit of "
                << r.depthChannel << " (" << farthest << ") times " << kDepthMargin;
            if (!cam.fromRender())
                err << ", replacing the parameter file's (" << fromFile << ")";
            err << "\n";
        }
        const std::uint64_t total = r.depth.size();
        DepthLayer d = depthFromPlanar(std::move(r.depth), cam.camera, image.width, image.height);
        if (d.hits == 0)
            err << kWarning << "no sample of " << r.depthChannel
                << " is a hit (above 0, finite, below " << kBackgroundDistance
                << "); the depth picture is empty\n";
        if (d.beyond != 0)
            err << kWarning << d.beyond << " of " << total << " samples of " << r.depthChannel
                << " lie at depthMax (" << cam.camera.depthMax
                << ") or farther; they are saved as no depth\n";
        RenderLayer layer;
        layer.name = kDepthLayerPrefix;
        layer.channels = 1;
        layer.values = std::move(d.values);
        image.layers.push_back(std::move(layer));
        out << "depth layer: " << quote(kDepthLayerPrefix) << ", from channel " << r.depthChannel
            << " (planar depth in scene units)\n";
        return;
    }

    const std::vector<std::string> matching = layersMatching(image, kDepthLayerPrefix);
    if (matching.empty()) {
        const std::vector<std::string> zs = channelsNamedBy(r.channelNames, kDepthChannelName);
        if (!zs.empty())
            throw ToolError(o.render + ": no depth layer (a layer named " + kDepthLayerPrefix
                            + "...); the render has the channel " + quote(zs.front())
                            + ": to save it as depth (a distance in scene units), give --depth "
                            + zs.front());
        // Said here: the saver's own words for it ask for the host's script.
        throw ToolError(o.render + ": no depth layer (a layer named " + kDepthLayerPrefix
                        + "...) and no depth channel (Z); give --depth CHANNEL, a channel of "
                          "planar depth in scene units");
    }
    if (cam.fromRender()) {
        if (!o.depthMax)
            throw ToolError(o.render
                            + ": the camera comes from the render, which gives no depth "
                              "range for the layer "
                            + quote(matching.back())
                            + ": give --depth-max DISTANCE (the distance at which the layer's "
                              "samples reach 0), or --params FILE");
    }
    if (matching.size() > 1)
        err << kWarning << matching.size() << " layers begin with " << quote(kDepthLayerPrefix)
            << " (" << joined(matching) << "); the saver uses the last, " << quote(matching.back())
            << "\n";
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
        err << kWarning << matching.size() << " layers begin with " << quote(kMaterialLayerPrefix)
            << " (" << joined(matching) << "); the saver uses the last, " << quote(matching.back())
            << "\n";
    const int chosen = image.saverChoice().material();
    out << "material layer: "
        << (chosen < 0 ? std::string("none") : quote(image.layers[std::size_t(chosen)].name))
        << "\n";
}

// Leaves out the material layers --materials replaces, and adds the one
// painted from its IDs.
void prepareMaterials(const SaveOptions& o, ExrRender& r, std::ostream& out, std::ostream& err)
{
    RenderImage& image = r.image;
    const MaterialIds& m = r.materials;
    auto replaced
        = std::stable_partition(image.layers.begin(), image.layers.end(), [](const RenderLayer& l) {
              return !fennick::contract::hasPrefixIgnoringCase(l.name, kMaterialLayerPrefix);
          });
    for (auto it = replaced; it != image.layers.end(); ++it)
        err << kNotice << "left out layer " << quote(it->name) << ": --materials " << m.source
            << " replaces it\n";
    image.layers.erase(replaced, image.layers.end());
    if (m.notWhole != 0)
        err << kWarning << m.notWhole << " of " << m.ids.size() << " samples of " << m.source
            << " are not whole numbers from 0 to " << MaterialIds::kMaxWholeId
            << "; they are saved as no material\n";
    if (!m.tableProblem.empty())
        err << kWarning << "the render's " << kMaterialTableAttribute
            << " is not a material table (" << m.tableProblem
            << "); the IDs are painted in evenly spaced hues\n";
    MaterialLayer made = materialLayer(o.render, m);
    const std::size_t distinct = made.distinctIds;
    image.layers.push_back(std::move(made.layer));
    if (!made.tableUnused.empty())
        err << kWarning << "the render's material table (" << kMaterialTableAttribute
            << ") cannot colour the IDs of " << m.source << ": " << made.tableUnused
            << "; they are painted in evenly spaced hues\n";
    if (distinct == 0)
        err << kWarning << "no pixel of " << m.source << " has a material ID; the material "
            << "picture is empty\n";
    out << "material layer: " << quote(kMaterialLayerPrefix) << ", from "
        << (m.cryptomatte ? "the Cryptomatte layer " : "channel ") << m.source << " (" << distinct
        << (distinct == 1 ? " ID" : " IDs")
        << (made.tableColours ? ", in the colours of the render's material table" : "") << ")\n";
}

// Which tag each ID became, read back from the saved file: the file names
// its materials "Mat N", so this is how the user learns which is which.
void reportMaterialTags(const SaveOptions& o, const MaterialIds& m, std::ostream& out,
                        std::ostream& err)
{
    std::uint64_t mixed = 0;
    const std::vector<MaterialTag> tags = tagsOfIds(o.target, m, mixed);
    unsigned previous = 0;
    bool shared = false;
    for (const MaterialTag& t : tags) {
        shared = shared || (t.tag == previous && t.tag != 0);
        previous = t.tag;
        out << "Mat " << t.tag << ": " << m.label(t.id) << " (" << t.pixels
            << (t.pixels == 1 ? " pixel)\n" : " pixels)\n");
    }
    if (mixed != 0 || shared)
        err << kWarning << "the saved tags do not follow the IDs of " << m.source << " one to one ("
            << mixed << " pixels differ from their ID's first pixel)\n";
}

}  // namespace

int saveFrame(const SaveOptions& o, LoadedPlugin& loaded, std::ostream& out, std::ostream& summary,
              std::ostream& err, const Progress& progress)
{
    progress.step("reading " + o.render);
    ExrRender r = readExrRender(o.render, ChannelRequests{o.depth.value_or(std::string()),
                                                          o.materials.value_or(std::string()),
                                                          o.view.value_or(std::string())});
    progress.done();
    if (!r.view.empty())
        out << "view: " << r.view << (o.view ? "" : " (the default)") << "; the render's views are "
            << joined(r.views) << "\n";
    for (const std::string& line : r.placed)
        out << line << "\n";
    for (const LeftOutLayer& l : r.leftOut)
        err << kNotice << "left out layer " << quote(l.name)
            << (l.channels.empty() ? std::string() : " (" + joined(l.channels) + ")") << ": "
            << l.reason << "\n";
    if (o.rgb)
        checkColourImage(*o.rgb, r.image.width, r.image.height);

    SideFiles side(o.target);
    CameraChoice cam = chooseCamera(o, r, side.paramPath(), err);
    prepareDepth(o, r, cam, out, err);
    if (o.materials)
        prepareMaterials(o, r, out, err);
    else
        reportMaterialLayer(r.image, out, err);

    progress.step("writing the side files");
    if (cam.fromRender() || cam.rewritten)
        side.writeParams(cam.camera, cam.file && sameFile(*cam.file, side.paramPath()));
    else
        side.placeParams(cam.file == side.paramPath() ? std::nullopt : cam.file);
    if (o.rgb) {
        side.placeColour(*o.rgb);
        out << "colour image: " << *o.rgb << "\n";
    } else {
        const RenderLayer* colour = r.image.colourLayer();
        if (colour == nullptr)
            throw ToolError(o.render
                            + ": no colour layer (R, G, B channels) to make the colour "
                              "image from; give one with --rgb");
        side.writeColour(r.image.width, r.image.height, *colour);
        out << "colour image: from layer " << quote(colour->name) << "\n";
    }

    const int status = saveThroughPlugin(loaded, std::move(r.image), o.target, out, err, progress);
    if (status == 0) {
        summary << summaryLine(o.target);
        if (o.materials)
            reportMaterialTags(o, r.materials, out, err);
    }
    return status;
}

void checkFrameInputs(const SaveOptions& o, const std::string& pluginPath)
{
    requireFolderOf(o.target, "target");
    refuseTargetAmongInputs(o, pluginPath);
}

namespace {

int save(const SaveOptions& o, std::ostream& out, std::ostream& err, const Progress& progress)
{
    requireFolderOf(o.target, "target");
    const PluginLocation plugin = locatePlugin(o.plugin);
    refuseTargetAmongInputs(o, plugin.path);
    progress.step("loading the plug-in");
    LoadedPlugin loaded(plugin);
    return saveFrame(o, loaded, out, out, err, progress);
}

}  // namespace

int runSave(const SaveOptions& o, std::ostream& out, std::ostream& err, const Progress& progress)
{
    if (FramePattern::of(o.render))
        return saveSequence(o, out, err, progress);
    try {
        return save(o, out, err, progress);
    } catch (const std::bad_alloc&) {
        throw ToolError(o.render + ": out of memory saving it as " + o.target);
    }
}

}  // namespace tool
}  // namespace fennick
