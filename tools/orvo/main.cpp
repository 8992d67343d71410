// orvo: saves OpenEXR renders as Orvo files through the fennick plug-in,
// renders a demonstration scene, writes parameter files, and describes and
// unpacks Orvo files.
#include "tools/orvo/Commands.h"
#include "tools/orvo/DemoScene.h"
#include "tools/orvo/ExrRender.h"
#include "tools/orvo/Interrupt.h"
#include "tools/orvo/Progress.h"
#include "tools/orvo/ToolError.h"
#include "tools/reader/OrvoReader.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#ifndef FENNICK_VERSION
#error "FENNICK_VERSION must name the project's version"
#endif

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr unsigned kMaxDemoSide = 16384;

// One line a command, shown with a usage error instead of the whole help.
struct Synopsis {
    const char* command;
    const char* line;
};
const Synopsis kSynopses[] = {
    {"save", "orvo save RENDER.exr TARGET.ovq [--params FILE] [--depth CHANNEL] [--rgb FILE] [options]"},
    {"demo", "orvo demo [OUTDIR] [--size WxH] [--plugin PATH]"},
    {"info", "orvo info FILE.ovq [--json]"},
    {"extract", "orvo extract FILE.ovq OUTDIR"},
    {"params", "orvo params OUTPUT.txt --depth-max DISTANCE [--position X,Y,Z] [--rotation X,Y,Z] [options]"},
};
const char kToolSynopsis[] = "orvo {save|demo|info|extract|params} ... (orvo --help for more)";

struct UsageError {
    std::string text;
};

void parseSize(const std::string& text, unsigned& width, unsigned& height)
{
    unsigned w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%u%c%u%c", &w, &x, &h, &extra) != 3 || x != 'x' || w == 0
        || h == 0 || w > kMaxDemoSide || h > kMaxDemoSide)
        throw UsageError{"--size takes WIDTHxHEIGHT, each from 1 to "
                         + std::to_string(kMaxDemoSide) + ", not \"" + text + "\""};
    width = w;
    height = h;
}

void parseFilmBack(const std::string& text, double& width, double& height)
{
    double w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%lf%c%lf%c", &w, &x, &h, &extra) != 3 || x != 'x')
        throw UsageError{"--film-back takes WIDTHxHEIGHT in millimetres, not \"" + text + "\""};
    width = w;
    height = h;
}

template <typename T>
std::optional<T> given(const CLI::App* app, const char* name, const T& value)
{
    return app->count(name) ? std::optional<T>(value) : std::nullopt;
}

void printUsageError(const std::string& message, const CLI::App& app)
{
    std::string command;
    for (const CLI::App* sub : app.get_subcommands())
        command = sub->get_name();
    std::cerr << "orvo: " << message << "\n";
    for (const Synopsis& s : kSynopses) {
        if (command == s.command) {
            std::cerr << "usage: " << s.line << "\n       (orvo " << command
                      << " --help for more)\n";
            return;
        }
    }
    std::cerr << "usage: " << kToolSynopsis << "\n";
}

int run(int argc, char** argv)
{
    CLI::App app{"Save OpenEXR renders as Orvo files through the fennick plug-in, and inspect "
                 "Orvo files.",
                 "orvo"};
    app.set_version_flag("--version", std::string("orvo ") + FENNICK_VERSION);
    app.require_subcommand(1);
    app.footer("The plug-in is fennick.so beside the tool or in its installed folder, unless "
               "--plugin names another. `--` ends the options.");

    orvotool::SaveOptions save;
    std::string saveParams, saveRgb, savePlugin, saveDepth;
    double saveDepthMax = 0;
    CLI::App* saveCmd = app.add_subcommand(
        "save", "Save a layered OpenEXR render as an Orvo file through the plug-in.");
    saveCmd->add_option("RENDER", save.render, "the layered OpenEXR render")->required();
    saveCmd->add_option("TARGET", save.target, "the Orvo file to write (.ovq)")->required();
    saveCmd->add_option("--params", saveParams,
                        "the parameter file (camera); else TARGET.param.txt, else the camera "
                        "from the render's worldToCamera and worldToNDC");
    saveCmd->add_option("--depth", saveDepth,
                        "a channel of planar depth in scene units (Z, depth.Z), converted to "
                        "the depth layer");
    saveCmd->add_option("--depth-max", saveDepthMax,
                        "the depth range, when the camera comes from the render (default: the "
                        "farthest hit of --depth times 1.25)");
    saveCmd->add_option("--rgb", saveRgb,
                        "the colour image, an uncompressed 32-bit TGA; else made from the "
                        "render's colour layer");
    saveCmd->add_option("--plugin", savePlugin, "the plug-in to save through");

    orvotool::DemoOptions demo{"orvo-demo", orvotool::kDemoDefaultWidth,
                               orvotool::kDemoDefaultHeight, std::nullopt};
    std::string demoSize, demoPlugin;
    CLI::App* demoCmd = app.add_subcommand(
        "demo", "Render the built-in scene and save it as OUTDIR/demo.ovq, with previews.");
    demoCmd->add_option("OUTDIR", demo.outDir, "the output folder (default orvo-demo)");
    demoCmd->add_option("--size", demoSize, "the picture's size, WxH (default 640x480)");
    demoCmd->add_option("--plugin", demoPlugin, "the plug-in to save through");

    std::string infoFile;
    bool infoAsJson = false;
    CLI::App* infoCmd = app.add_subcommand("info", "Check an Orvo file and describe it.");
    infoCmd->add_option("FILE", infoFile, "the Orvo file")->required();
    infoCmd->add_flag("--json", infoAsJson,
                      "one JSON document (schema in the README), also for a file that fails");

    std::string extractFile, extractDir;
    CLI::App* extractCmd = app.add_subcommand(
        "extract", "Write colour.png, depth.png, depth.tif and materials.png of an Orvo file.");
    extractCmd->add_option("FILE", extractFile, "the Orvo file")->required();
    extractCmd->add_option("OUTDIR", extractDir, "the output folder (only its last part is "
                                                 "created)")
        ->required();

    orvotool::ParamsOptions params;
    std::vector<double> position, rotation;
    std::string filmBack;
    orvotool::UserCamera& user = params.camera;
    CLI::App* paramsCmd = app.add_subcommand(
        "params", "Write a parameter file (the camera) for `orvo save --params`.");
    paramsCmd->add_option("OUTPUT", params.output, "the file to write; - for standard output")
        ->required();
    paramsCmd->add_option("--position", position, "camera position X,Y,Z in scene units (Y up)")
        ->delimiter(',')
        ->expected(3);
    paramsCmd->add_option("--rotation", rotation,
                          "camera rotation X,Y,Z in degrees about the world axes, applied in "
                          "that order; unrotated it looks along -Z")
        ->delimiter(',')
        ->expected(3);
    paramsCmd->add_option("--focal-length", user.focalLengthMm, "focal length in mm (default 50)");
    paramsCmd->add_option("--film-back", filmBack, "film back WxH in mm (default 36x24)");
    paramsCmd->add_option("--film-fit", user.filmFit,
                          "which side of the film fills the picture (default horizontal)")
        ->check(CLI::IsMember({"horizontal", "vertical", "overscan", "fill"}));
    paramsCmd->add_option("--projection", user.projection,
                          "persp (default) or ortho")
        ->check(CLI::IsMember({"persp", "ortho"}));
    paramsCmd->add_option("--depth-max", user.depthMax,
                          "the depth range in scene units: the largest distance the depth "
                          "layer holds")
        ->required();
    paramsCmd->add_option("--dpi", user.dpi, "resolution in dots per inch (default 72)");
    paramsCmd->add_option("--pixel-aspect", user.pixelAspect, "pixel aspect ratio (default 1)");

    // "orvo help [COMMAND]" is --help by another name.
    if (argc >= 2 && std::string(argv[1]) == "help") {
        const CLI::App* about = &app;
        if (argc >= 3)
            for (const CLI::App* sub : app.get_subcommands({}))
                if (sub->get_name() == argv[2])
                    about = sub;
        std::cout << about->help(about == &app ? "" : "orvo");
        return 0;
    }
    try {
        app.parse(argc, argv);
        if (demoCmd->parsed() && !demoSize.empty())
            parseSize(demoSize, demo.width, demo.height);
        if (paramsCmd->parsed() && !filmBack.empty())
            parseFilmBack(filmBack, user.filmWidthMm, user.filmHeightMm);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return app.exit(e, std::cout, std::cerr);
        const bool unknownCommand = argc >= 2 && argv[1][0] != '-' && app.get_subcommands().empty();
        printUsageError(unknownCommand ? "unknown command \"" + std::string(argv[1]) + "\""
                                       : std::string(e.what()),
                        app);
        return kExitUsage;
    } catch (const UsageError& e) {
        printUsageError(e.text, app);
        return kExitUsage;
    }

    const orvotool::Progress progress(orvotool::Progress::stderrIsTerminal());
    if (saveCmd->parsed() || demoCmd->parsed())
        orvotool::useExrThreads();
    if (saveCmd->parsed()) {
        save.params = given(saveCmd, "--params", saveParams);
        save.rgb = given(saveCmd, "--rgb", saveRgb);
        save.plugin = given(saveCmd, "--plugin", savePlugin);
        save.depth = given(saveCmd, "--depth", saveDepth);
        save.depthMax = given(saveCmd, "--depth-max", saveDepthMax);
        return orvotool::runSave(save, std::cout, std::cerr, progress);
    }
    if (demoCmd->parsed()) {
        demo.plugin = given(demoCmd, "--plugin", demoPlugin);
        return orvotool::runDemo(demo, std::cout, std::cerr, progress);
    }
    if (infoCmd->parsed())
        return orvotool::runInfo(infoFile, infoAsJson, std::cout, std::cerr);
    if (extractCmd->parsed())
        return orvotool::runExtract(extractFile, extractDir, std::cout, progress);
    for (int k = 0; k < 3; ++k) {
        if (!position.empty())
            user.position[k] = position[std::size_t(k)];
        if (!rotation.empty())
            user.rotation[k] = rotation[std::size_t(k)];
    }
    return orvotool::runParams(params, std::cout);
}

}  // namespace

int main(int argc, char** argv)
{
    orvotool::Interrupt::install();
    try {
        return run(argc, argv);
    } catch (const orvotool::ToolError& e) {
        std::cerr << "orvo: " << e.what() << "\n";
    } catch (const orvoread::ReadError& e) {
        std::cerr << "orvo: " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        std::cerr << "orvo: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "orvo: unexpected error: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "orvo: unexpected error\n";
    }
    return kExitFailure;
}
