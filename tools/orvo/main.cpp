// orvo: saves OpenEXR renders as Orvo files through the fennick plug-in,
// renders a demonstration scene, and describes and unpacks Orvo files.
#include "tools/orvo/Commands.h"
#include "tools/orvo/DemoScene.h"
#include "tools/orvo/ToolError.h"
#include "tools/reader/OrvoReader.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr unsigned kMaxDemoSide = 16384;

const char kUsage[] =
    "usage:\n"
    "  orvo save RENDER.exr TARGET.ovq [--params FILE] [--rgb FILE] [--plugin PATH]\n"
    "      save a layered OpenEXR render through the plug-in; the parameter file\n"
    "      is FILE or TARGET.ovq.param.txt, the colour image FILE or made from\n"
    "      the render's colour layer\n"
    "  orvo demo [OUTDIR] [--size WxH] [--plugin PATH]\n"
    "      render the built-in scene (640x480) and save it as OUTDIR/demo.ovq\n"
    "      (OUTDIR defaults to orvo-demo), with previews\n"
    "  orvo info FILE.ovq [--json]\n"
    "      check an Orvo file and describe it\n"
    "  orvo extract FILE.ovq OUTDIR\n"
    "      write colour.png, depth.png, depth.tif and materials.png\n"
    "The plug-in is fennick.so beside the tool or in its installed folder,\n"
    "unless --plugin names another.\n";

struct UsageError {
    std::string text;
};

// Splits arguments into positional ones and the options named in `valued`
// (which take the next argument) and `flags` (which take none).
struct Arguments {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    const std::string* find(const std::string& name) const
    {
        const std::string* found = nullptr;
        for (const auto& o : options)
            if (o.first == name)
                found = &o.second;
        return found;
    }
};

Arguments parse(int argc, char** argv, int first, const std::vector<std::string>& valued,
                const std::vector<std::string>& flags)
{
    Arguments a;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        bool matched = false;
        for (const std::string& v : valued) {
            if (arg == v) {
                if (i + 1 >= argc)
                    throw UsageError{arg + " needs a value"};
                a.options.emplace_back(arg, argv[++i]);
                matched = true;
            }
        }
        for (const std::string& f : flags) {
            if (arg == f) {
                a.options.emplace_back(arg, "");
                matched = true;
            }
        }
        if (matched)
            continue;
        if (arg.size() > 1 && arg[0] == '-')
            throw UsageError{"unknown option " + arg};
        a.positional.push_back(arg);
    }
    return a;
}

std::optional<std::string> optional(const Arguments& a, const char* name)
{
    const std::string* v = a.find(name);
    return v ? std::optional<std::string>(*v) : std::nullopt;
}

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

int run(int argc, char** argv)
{
    if (argc < 2)
        throw UsageError{"no command given"};
    const std::string command = argv[1];
    if (command == "help" || command == "--help" || command == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "save") {
        Arguments a = parse(argc, argv, 2, {"--params", "--rgb", "--plugin"}, {});
        if (a.positional.size() != 2)
            throw UsageError{"save takes a render and a target"};
        orvotool::SaveOptions o;
        o.render = a.positional[0];
        o.target = a.positional[1];
        o.params = optional(a, "--params");
        o.rgb = optional(a, "--rgb");
        o.plugin = optional(a, "--plugin");
        return orvotool::runSave(o, std::cout, std::cerr);
    }
    if (command == "demo") {
        Arguments a = parse(argc, argv, 2, {"--size", "--plugin"}, {});
        if (a.positional.size() > 1)
            throw UsageError{"demo takes at most one output folder"};
        orvotool::DemoOptions o;
        o.outDir = a.positional.empty() ? "orvo-demo" : a.positional[0];
        o.width = orvotool::kDemoDefaultWidth;
        o.height = orvotool::kDemoDefaultHeight;
        if (const std::string* size = a.find("--size"))
            parseSize(*size, o.width, o.height);
        o.plugin = optional(a, "--plugin");
        return orvotool::runDemo(o, std::cout, std::cerr);
    }
    if (command == "info") {
        Arguments a = parse(argc, argv, 2, {}, {"--json"});
        if (a.positional.size() != 1)
            throw UsageError{"info takes one file"};
        return orvotool::runInfo(a.positional[0], a.find("--json") != nullptr, std::cout);
    }
    if (command == "extract") {
        Arguments a = parse(argc, argv, 2, {}, {});
        if (a.positional.size() != 2)
            throw UsageError{"extract takes a file and an output folder"};
        return orvotool::runExtract(a.positional[0], a.positional[1], std::cout);
    }
    throw UsageError{"unknown command \"" + command + "\""};
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "orvo: " << e.text << "\n" << kUsage;
        return kExitUsage;
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
