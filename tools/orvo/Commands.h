// The tool's commands. Each writes its report to `out` and the save's
// failure messages to `err`, and returns the process exit status (0 success,
// 1 failure). Errors that end a command early are thrown as ToolError or
// orvoread::ReadError; main reports them.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace orvotool {

struct SaveOptions {
    std::string render;
    std::string target;
    std::optional<std::string> params;
    std::optional<std::string> rgb;
    std::optional<std::string> plugin;
};

struct DemoOptions {
    std::string outDir;
    unsigned width;
    unsigned height;
    std::optional<std::string> plugin;
};

int runSave(const SaveOptions& options, std::ostream& out, std::ostream& err);
int runDemo(const DemoOptions& options, std::ostream& out, std::ostream& err);
int runInfo(const std::string& file, bool json, std::ostream& out);
int runExtract(const std::string& file, const std::string& outDir, std::ostream& out);

}  // namespace orvotool
