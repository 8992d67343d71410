#include "orvo/cli/CommandLine.h"

#include "orvo/render/DemoScene.h"
#include "orvo/support/FramePattern.h"
#include "orvo/support/ToolError.h"

#include "contract/SideFileNames.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#ifndef FENNICK_VERSION
#error "FENNICK_VERSION must name the project's version"
#endif

namespace fennick {
namespace tool {

namespace {

constexpr unsigned kMaxDemoSide = 16384;
constexpr char kDefaultDemoDir[] = "orvo-demo";
// --depth-max's word for the farthest hit of --depth.
constexpr char kFarthest[] = "far";
constexpr std::size_t kVectorComponents = 3;
// --frames names at most this many: more is a slip of the keyboard
// (0-99999999), not a render anyone has.
constexpr long kMaxNamedFrames = 1000000;

const char kToolAbout[] = "Save OpenEXR renders as Orvo files through the fennick plug-in, "
                          "inspect Orvo files, and export them to OpenEXR.";
const char kToolSynopsis[] = "orvo {save|demo|info|extract|params|export} ...";
const char kCommandNames[] = "save, demo, info, extract, params or export";
const char kPluginNote[] = "The plug-in is fennick.so beside the tool or in its installed folder, "
                           "unless --plugin names another. ";
const char kEndOfOptions[] = "`--` ends the options (for a file whose name begins with -).";

// One line a command, shown with a usage error instead of the whole help.
struct Synopsis {
    const char* command;
    const char* line;
};
const Synopsis kSynopses[] = {
    {"save",
     "orvo save RENDER.exr TARGET.ovq [--params FILE] [--depth CHANNEL] [--rgb FILE] [options]"},
    {"demo", "orvo demo [OUTDIR] [--size WxH] [--plugin PATH]"},
    {"info", "orvo info FILE.ovq [--json]"},
    {"extract", "orvo extract FILE.ovq OUTDIR"},
    {"params",
     "orvo params OUTPUT.txt --depth-max DISTANCE [--position X,Y,Z] [--rotation X,Y,Z] [options]"},
    {"export", "orvo export FILE.ovq OUT.exr"},
};

// A mistake on the command line, in the tool's words; `command` is the
// command it concerns, empty for the tool as a whole.
struct UsageError {
    std::string command;
    std::string text;
};

std::string quote(const std::string& s) { return "\"" + s + "\""; }

const char* synopsisOf(const std::string& command)
{
    for (const Synopsis& s : kSynopses)
        if (command == s.command)
            return s.line;
    return kToolSynopsis;
}

std::string usageText(const UsageError& e)
{
    const std::string t = (e.command.empty() ? std::string("orvo: ") : "orvo " + e.command + ": ")
                          + e.text + "\nusage: " + synopsisOf(e.command);
    return e.command.empty() ? t + " (orvo --help for more)\n"
                             : t + "\n       (orvo " + e.command + " --help for more)\n";
}

// Help pages begin with the same usage line as a usage error: the parser's
// own would show the arguments that the tool requires as optional, since it
// leaves their check to the tool.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App* app, std::string) const override
    {
        const bool tool = app->get_parent() == nullptr;
        return std::string("Usage: ") + synopsisOf(tool ? std::string() : app->get_name()) + "\n";
    }
};

// A number in the C locale's form, whole text, finite; nullopt otherwise.
std::optional<double> toNumber(const std::string& text)
{
    double v = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, v);
    if (text.empty() || error != std::errc() || stop != end || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// Numbers separated by `separator`, exactly `count` of them.
std::optional<std::vector<double>> toNumbers(const std::string& text, char separator,
                                             std::size_t count)
{
    std::vector<double> values;
    std::size_t from = 0;
    for (;;) {
        const std::size_t to = text.find(separator, from);
        const std::optional<double> v = toNumber(text.substr(from, to - from));
        if (!v)
            return std::nullopt;
        values.push_back(*v);
        if (to == std::string::npos)
            break;
        from = to + 1;
    }
    if (values.size() != count)
        return std::nullopt;
    return values;
}

// What the parser collected without a place for it. It keeps the `--`
// that ended the options among them, which is no mistake.
std::vector<std::string> unplaced(const CLI::App& app)
{
    std::vector<std::string> extras = app.remaining();
    extras.erase(std::remove(extras.begin(), extras.end(), "--"), extras.end());
    return extras;
}

// One command of the tool: its options are taken as text and converted
// here, so that no value reaches a command unchecked and every complaint
// is the tool's own.
class Command {
public:
    Command(CLI::App& tool, const char* name, const char* about, const std::string& footer)
        : name_(name), app_(tool.add_subcommand(name, about))
    {
        app_->footer(footer);
        // Unknown options and surplus arguments are collected and named by
        // check(), before any missing argument, so that `orvo save --bogus`
        // speaks of --bogus.
        app_->allow_extras();
    }

    CLI::App* app() const { return app_; }
    const std::string& name() const { return name_; }

    void positional(const char* name, const char* about)
    {
        app_->add_option(name, text_[name], about)->type_name("");
    }
    void option(const char* name, const char* valueName, const std::string& about)
    {
        app_->add_option(name, text_[name], about)->type_name(valueName);
    }

    std::optional<std::string> given(const char* name) const
    {
        if (app_->count(name) == 0)
            return std::nullopt;
        return text_.at(name);
    }
    std::string required(const char* name, const char* what) const
    {
        std::optional<std::string> v = given(name);
        if (!v)
            fail(std::string("missing ") + name + " (" + what + ")");
        return *v;
    }

    [[noreturn]] void fail(const std::string& text) const { throw UsageError{name_, text}; }

    // Refuses what the parser collected without a place for it.
    void check() const
    {
        const std::vector<std::string> extras = unplaced(*app_);
        if (extras.empty())
            return;
        const std::string& first = extras.front();
        if (first.size() > 1 && first[0] == '-') {
            const bool looksLikeFile = first.find_first_of("./") != std::string::npos;
            fail("unknown option " + quote(first)
                 + (looksLikeFile ? "; a file whose name begins with - goes after --: orvo " + name_
                                        + " -- " + first
                                  : std::string()));
        }
        fail("unexpected argument " + quote(first));
    }

    // Number options: `what` says what the option takes, for the message.
    std::optional<double> number(const char* name, const char* what) const
    {
        const std::optional<std::string> text = given(name);
        if (!text)
            return std::nullopt;
        const std::optional<double> v = toNumber(*text);
        if (!v)
            fail(std::string(name) + " takes " + what + ", not " + quote(*text));
        return v;
    }
    std::optional<double> positive(const char* name, const char* what) const
    {
        const std::optional<double> v = number(name, what);
        if (v && !(*v > 0))
            fail(std::string(name) + " takes " + what + ", not " + quote(*given(name)));
        return v;
    }
    std::optional<std::string> word(const char* name, std::initializer_list<const char*> words,
                                    const char* choices) const
    {
        const std::optional<std::string> text = given(name);
        if (!text)
            return std::nullopt;
        for (const char* w : words)
            if (*text == w)
                return text;
        fail(std::string(name) + " takes " + choices + ", not " + quote(*text));
    }
    // X,Y,Z
    void vector(const char* name, const char* what, double (&out)[kVectorComponents]) const
    {
        const std::optional<std::string> text = given(name);
        if (!text)
            return;
        const auto values = toNumbers(*text, ',', kVectorComponents);
        if (!values)
            fail(std::string(name) + " takes X,Y,Z: " + what + ", not " + quote(*text));
        for (std::size_t k = 0; k < kVectorComponents; ++k)
            out[k] = (*values)[k];
    }

private:
    std::string name_;
    CLI::App* app_;
    std::map<std::string, std::string> text_;  // nodes stay put: the parser writes into them
};

// The option of `app` whose name the parser's message is about, found by
// its name standing whole in the text; the message itself is never shown.
const CLI::Option* optionNamedIn(const CLI::App& app, const std::string& message)
{
    const CLI::Option* best = nullptr;
    for (const CLI::Option* opt : app.get_options()) {
        const std::string name = opt->get_name();
        for (std::size_t at = message.find(name); !name.empty() && at != std::string::npos;
             at = message.find(name, at + 1)) {
            const std::size_t after = at + name.size();
            const bool whole = after == message.size()
                               || !(std::isalnum(static_cast<unsigned char>(message[after]))
                                    || message[after] == '-' || message[after] == '_');
            if (whole && (best == nullptr || name.size() > best->get_name().size()))
                best = opt;
        }
    }
    return best;
}

// The parser's complaint in the tool's words.
UsageError translate(const CLI::ParseError& e, CLI::App& tool)
{
    const std::vector<CLI::App*> parsed = tool.get_subcommands();
    const CLI::App& app = parsed.empty() ? tool : *parsed.back();
    const std::string command = parsed.empty() ? std::string() : app.get_name();
    const CLI::Option* opt = optionNamedIn(app, e.what());
    if (opt == nullptr)
        return {command, "the command line cannot be read as given"};
    const std::string name = opt->get_name();
    if (opt->count() > 1)
        return {command, name + " is given more than once"};
    if (opt->get_expected_max() == 0)
        return {command, name + " takes no value"};
    return {command, name + " needs a value: " + name + " " + opt->get_type_name()};
}

void parseSize(const Command& cmd, unsigned& width, unsigned& height)
{
    const std::optional<std::string> text = cmd.given("--size");
    if (!text)
        return;
    const auto values = toNumbers(*text, 'x', 2);
    auto side = [](double v) { return v >= 1 && v <= kMaxDemoSide && v == std::floor(v); };
    if (!values || !side((*values)[0]) || !side((*values)[1])
        || text->find_first_of(".eE+-") != std::string::npos)
        cmd.fail("--size takes WIDTHxHEIGHT, each from 1 to " + std::to_string(kMaxDemoSide)
                 + ", not " + quote(*text));
    width = static_cast<unsigned>((*values)[0]);
    height = static_cast<unsigned>((*values)[1]);
}

void parseFilmBack(const Command& cmd, double& width, double& height)
{
    const std::optional<std::string> text = cmd.given("--film-back");
    if (!text)
        return;
    const auto values = toNumbers(*text, 'x', 2);
    if (!values || !((*values)[0] > 0) || !((*values)[1] > 0))
        cmd.fail("--film-back takes WIDTHxHEIGHT in millimetres, each above 0, not "
                 + quote(*text));
    width = (*values)[0];
    height = (*values)[1];
}

// Whether `path` names a sequence; a name with two marks is a mistake.
bool hasFrameMark(const Command& cmd, const std::string& path)
{
    try {
        return FramePattern::of(path).has_value();
    } catch (const ToolError& e) {
        cmd.fail(e.what());
    }
}

// A render with a frame mark is a sequence, saved one target a frame; without
// one, the target and the other files are taken as named, '#' and all.
void parseFrames(const Command& save, SaveOptions& o)
{
    const bool sequence = hasFrameMark(save, o.render);
    const std::optional<std::string> text = save.given("--frames");
    if (text && !sequence)
        save.fail("--frames names frames of a sequence, and RENDER " + quote(o.render)
                  + " has no frame mark; write the frame in its name as #### or %04d");
    if (!sequence)
        return;
    if (!hasFrameMark(save, o.target))
        save.fail("TARGET " + quote(o.target) + " has no frame mark, and RENDER " + quote(o.render)
                  + " is a sequence; a sequence saves one target a frame: mark the "
                    "frame in TARGET too (shot.####.ovq)");
    if (o.params)
        hasFrameMark(save, *o.params);
    if (o.rgb)
        hasFrameMark(save, *o.rgb);
    if (!text)
        return;
    o.frames = parseFrameRange(*text);
    if (!o.frames)
        save.fail("--frames takes A, A-B or A-BxSTEP (whole frames from 0, A not above B, STEP "
                  "from 1), not "
                  + quote(*text));
    if ((o.frames->last - o.frames->first) / o.frames->step >= kMaxNamedFrames)
        save.fail("--frames " + *text + " names more than " + std::to_string(kMaxNamedFrames)
                  + " frames");
}

// "orvo help [COMMAND]" is --help by another name.
CommandLine helpFor(const CLI::App& tool, int argc, const char* const* argv)
{
    CommandLine c;
    if (argc > 3)
        throw UsageError{"", "help takes one command at most"};
    if (argc == 2) {
        c.outcome = CommandLine::Outcome::Print;
        c.text = tool.help();
        return c;
    }
    for (const CLI::App* sub : tool.get_subcommands({}))
        if (sub->get_name() == argv[2]) {
            c.outcome = CommandLine::Outcome::Print;
            c.text = sub->help("orvo");
            return c;
        }
    throw UsageError{"",
                     "unknown command " + quote(argv[2]) + "; the commands are " + kCommandNames};
}

CommandLine parse(int argc, const char* const* argv)
{
    CLI::App tool{kToolAbout, "orvo"};
    tool.set_version_flag("--version", std::string("orvo ") + FENNICK_VERSION);
    tool.require_subcommand(0, 1);
    tool.allow_extras();
    tool.footer(std::string(kPluginNote) + kEndOfOptions);
    tool.formatter(std::make_shared<HelpFormatter>());

    Command save(tool, "save", "Save a layered OpenEXR render as an Orvo file through the plug-in.",
                 std::string(kPluginNote) + kEndOfOptions);
    save.positional("RENDER", "the layered OpenEXR render");
    save.positional("TARGET", "the Orvo file to write (.ovq)");
    save.option("--params", "FILE",
                std::string("the parameter file (camera); else TARGET")
                    + fennick::contract::kParameterFileSuffix
                    + ", else the camera from the render's worldToCamera and worldToNDC");
    save.option("--depth", "CHANNEL",
                "a channel of planar depth in scene units (Z, depth.Z), converted to the depth "
                "layer");
    save.option("--depth-max", "DISTANCE",
                "the depth range, or far: the farthest hit of --depth times 1.25 (the default "
                "when the camera comes from the render); replaces a parameter file's");
    save.option("--materials", "CHANNEL",
                "material tags from a channel of whole-number IDs (IndexMA) or a Cryptomatte "
                "layer (CryptoMaterial), one tag an ID, made into the material layer");
    save.option("--view", "NAME",
                "the view of a multi-view (stereo) render to save (default: its default view)");
    save.option("--up", "AXIS",
                "the up axis of the world the render's camera is in: y (default) or z (Blender); "
                "the saved camera is in the host's world, Y up");
    save.option("--rgb", "FILE",
                "the colour image, an uncompressed 32-bit TGA; else made from the render's "
                "colour layer");
    save.option("--frames", "A-B[xSTEP]",
                "with a frame mark (#### or %04d) in RENDER and TARGET: the frames to save, "
                "A, A-B or A-BxSTEP; else every frame whose render exists");
    save.option("--plugin", "PATH", "the plug-in to save through");

    Command demo(tool, "demo",
                 "Render the built-in scene and save it as OUTDIR/demo.ovq, with previews and the "
                 "camera it was saved with.",
                 std::string(kPluginNote) + kEndOfOptions);
    demo.positional("OUTDIR",
                    "the output folder (default orvo-demo; only its last part is created)");
    demo.option("--size", "WxH", "the picture's size (default 640x480)");
    demo.option("--plugin", "PATH", "the plug-in to save through");

    Command info(tool, "info", "Check an Orvo file and describe it.", kEndOfOptions);
    info.positional("FILE", "the Orvo file");
    bool infoJson = false;
    info.app()->add_flag("--json", infoJson,
                         "one JSON document (schema in the README), also for a file that fails");

    Command extract(tool, "extract",
                    "Write colour.png, depth.png, depth.tif and materials.png of an Orvo file.",
                    kEndOfOptions);
    extract.positional("FILE", "the Orvo file");
    extract.positional("OUTDIR", "the output folder (only its last part is created)");

    Command params(tool, "params", "Write a parameter file (the camera) for `orvo save --params`.",
                   kEndOfOptions);
    params.positional("OUTPUT", "the file to write; - for standard output");
    params.option("--position", "X,Y,Z", "camera position in scene units, in the world of --up");
    params.option("--rotation", "X,Y,Z",
                  "camera rotation in degrees about the world axes, applied in that order; "
                  "unrotated it looks along -Z");
    params.option("--up", "AXIS",
                  "the up axis of the world --position and --rotation are in: y (default, the "
                  "host's) or z (Blender); the file is in the host's world");
    params.option("--focal-length", "MM", "focal length in mm (default 50)");
    params.option("--film-back", "WxH", "film back in mm (default 36x24)");
    params.option("--film-fit", "FIT",
                  "which side of the film fills the picture: horizontal (default), vertical, "
                  "overscan or fill");
    params.option("--projection", "KIND", "persp (default) or ortho");
    params.option("--depth-max", "DISTANCE",
                  "the depth range in scene units: the largest distance the depth layer holds "
                  "(required)");
    params.option("--dpi", "DPI", "resolution in dots per inch (default 72)");
    params.option("--pixel-aspect", "RATIO", "pixel aspect ratio (default 1)");

    Command exportCmd(tool, "export",
                      "Write an Orvo file as one OpenEXR file: linear colour, depth, material "
                      "IDs, Cryptomatte and the camera.",
                      "Every channel is 32-bit float: R, G, B (linear, decoded from sRGB) and A; Z "
                      "(planar depth) and distance (along the ray), infinite where nothing was "
                      "hit; materialId (the tag, 0 for none); CryptoMaterial00.r .g .b .a. The "
                      "camera is in worldToCamera, worldToNDC and pixelAspectRatio, the texts and "
                      "the material table in orvo/... attributes. `orvo save OUT.exr AGAIN.ovq "
                      "--depth Z --materials materialId --depth-max D` gives the file back; the "
                      "command prints D. "
                          + std::string(kEndOfOptions));
    exportCmd.positional("FILE", "the Orvo file");
    exportCmd.positional("OUT", "the OpenEXR file to write (.exr)");

    if (argc >= 2 && std::string(argv[1]) == "help")
        return helpFor(tool, argc, argv);
    try {
        tool.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() != 0)
            throw translate(e, tool);
        // --help and --version: the parser's own text is the answer.
        std::ostringstream out, err;
        tool.exit(e, out, err);
        CommandLine c;
        c.outcome = CommandLine::Outcome::Print;
        c.text = out.str();
        return c;
    }

    const std::vector<std::string> extras = unplaced(tool);
    if (!extras.empty()) {
        const std::string& first = extras.front();
        throw UsageError{
            "", (first.size() > 1 && first[0] == '-' ? "unknown option " : "unknown command ")
                    + quote(first)
                    + (first[0] == '-' ? std::string()
                                       : std::string("; the commands are ") + kCommandNames)};
    }

    CommandLine c;
    c.outcome = CommandLine::Outcome::Run;
    if (save.app()->parsed()) {
        save.check();
        c.command = CommandKind::Save;
        SaveOptions& o = c.save;
        o.render = save.required("RENDER", "the OpenEXR render to save");
        o.target = save.required("TARGET", "the Orvo file to write");
        o.params = save.given("--params");
        o.depth = save.given("--depth");
        o.depthMaxFromHits = save.given("--depth-max") == std::optional<std::string>(kFarthest);
        if (!o.depthMaxFromHits)
            o.depthMax = save.positive("--depth-max", "a distance above 0 or far");
        else if (!o.depth)
            save.fail("--depth-max far takes the farthest hit of --depth; give --depth CHANNEL");
        o.materials = save.given("--materials");
        o.view = save.given("--view");
        o.zUp = save.word("--up", {"y", "z"}, "y or z").value_or("y") == "z";
        o.rgb = save.given("--rgb");
        o.plugin = save.given("--plugin");
        parseFrames(save, o);
    } else if (demo.app()->parsed()) {
        demo.check();
        c.command = CommandKind::Demo;
        DemoOptions& o = c.demo;
        o.outDir = demo.given("OUTDIR").value_or(kDefaultDemoDir);
        o.width = kDemoDefaultWidth;
        o.height = kDemoDefaultHeight;
        parseSize(demo, o.width, o.height);
        o.plugin = demo.given("--plugin");
    } else if (info.app()->parsed()) {
        info.check();
        c.command = CommandKind::Info;
        c.info.file = info.required("FILE", "the Orvo file to describe");
        c.info.json = infoJson;
    } else if (extract.app()->parsed()) {
        extract.check();
        c.command = CommandKind::Extract;
        c.extract.file = extract.required("FILE", "the Orvo file to unpack");
        c.extract.outDir = extract.required("OUTDIR", "the folder for the previews");
    } else if (params.app()->parsed()) {
        params.check();
        c.command = CommandKind::Params;
        c.params.output = params.required("OUTPUT", "the file to write, or - for standard output");
        UserCamera& u = c.params.camera;
        params.vector("--position", "three numbers in scene units", u.position);
        params.vector("--rotation", "three angles in degrees", u.rotation);
        u.zUp = params.word("--up", {"y", "z"}, "y or z").value_or("y") == "z";
        u.focalLengthMm = params.positive("--focal-length", "a length in millimetres above 0")
                              .value_or(u.focalLengthMm);
        parseFilmBack(params, u.filmWidthMm, u.filmHeightMm);
        u.filmFit = params
                        .word("--film-fit", {"horizontal", "vertical", "overscan", "fill"},
                              "horizontal, vertical, overscan or fill")
                        .value_or(u.filmFit);
        u.projection = params.word("--projection", {"persp", "ortho"}, "persp or ortho")
                           .value_or(u.projection);
        if (!params.given("--depth-max"))
            params.fail(
                "missing --depth-max DISTANCE (the largest distance the depth layer holds)");
        u.depthMax = *params.positive("--depth-max", "a distance above 0");
        const std::optional<double> dpi = params.number("--dpi", "a resolution of 0 or more");
        if (dpi && *dpi < 0)
            params.fail("--dpi takes a resolution of 0 or more, not "
                        + quote(*params.given("--dpi")));
        u.dpi = dpi.value_or(u.dpi);
        u.pixelAspect
            = params.positive("--pixel-aspect", "a ratio above 0").value_or(u.pixelAspect);
    } else if (exportCmd.app()->parsed()) {
        exportCmd.check();
        c.command = CommandKind::Export;
        c.exportFile.input = exportCmd.required("FILE", "the Orvo file to export");
        c.exportFile.output = exportCmd.required("OUT", "the OpenEXR file to write");
    } else {
        throw UsageError{"", std::string("no command given; the commands are ") + kCommandNames};
    }
    return c;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv)
{
    try {
        return parse(argc, argv);
    } catch (const UsageError& e) {
        CommandLine c;
        c.outcome = CommandLine::Outcome::Usage;
        c.text = usageText(e);
        return c;
    }
}

}  // namespace tool
}  // namespace fennick
