// The tool's commands. Each writes its report to `out` and notices and
// warnings to `err` (each line beginning "orvo: "), and returns the process
// exit status (0 success, 1 failure). Errors that end a command early are
// thrown as ToolError or Talvenrock::Orvo::ReadError, naming the file; main reports
// them.
#pragma once

#include "orvo/support/FramePattern.h"
#include "orvo/support/Progress.h"
#include "orvo/camera/RenderCamera.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace fennick {
namespace tool {

struct SaveOptions {
    std::string render;
    std::string target;
    std::optional<std::string> params;
    std::optional<std::string> rgb;
    std::optional<std::string> plugin;
    // A channel holding planar depth in scene units, converted to the depth
    // layer.
    std::optional<std::string> depth;
    // The depth range: with a camera from the render, or replacing a
    // parameter file's; above 0.
    std::optional<double> depthMax;
    // The depth range from the farthest hit of `depth` (times
    // kDepthMargin): the default with a camera from the render, asked for
    // with a parameter file.
    bool depthMaxFromHits = false;
    // A channel of material IDs or a Cryptomatte layer, made into the
    // material layer.
    std::optional<std::string> materials;
    // The view of a multi-view render to save; else its default view.
    std::optional<std::string> view;
    // Whether the render's camera (worldToCamera, worldToNDC) is in a world
    // whose Z is up.
    bool zUp = false;
    // With a frame mark in `render` (and so in `target`): the frames to
    // save; without, every frame whose render exists.
    std::optional<FrameRange> frames;
};

struct DemoOptions {
    std::string outDir;
    unsigned width;
    unsigned height;
    std::optional<std::string> plugin;
};

// Checked on the command line: lengths, ratios and depthMax above 0, dpi not
// negative.
struct ParamsOptions {
    std::string output;  // "-" for standard output
    UserCamera camera;
};

struct ExportOptions {
    std::string input;   // the Orvo file
    std::string output;  // the OpenEXR file to write
};

int runSave(const SaveOptions& options, std::ostream& out, std::ostream& err,
            const Progress& progress);
int runDemo(const DemoOptions& options, std::ostream& out, std::ostream& err,
            const Progress& progress);
// With `json`, a file that cannot be read is also reported as a JSON
// document on `out`.
int runInfo(const std::string& file, bool json, std::ostream& out, std::ostream& err);
int runExtract(const std::string& file, const std::string& outDir, std::ostream& out,
               const Progress& progress);
int runParams(const ParamsOptions& options, std::ostream& out);
int runExport(const ExportOptions& options, std::ostream& out, std::ostream& err,
              const Progress& progress);

}  // namespace tool
}  // namespace fennick
