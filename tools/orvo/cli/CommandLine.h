// The tool's command line: which command to run with which options, or the
// text to print instead (help, version, or a usage error). Every value is
// read and range-checked here, so that each mistake on the command line is
// one message in the tool's words naming the option, followed by the
// command's usage line, and exits with kExitUsage; the commands themselves
// see only values that make sense.
#pragma once

#include "orvo/commands/Commands.h"

#include <string>

namespace fennick {
namespace tool {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

enum class CommandKind { Save, Demo, Info, Extract, Params, Export };

struct InfoOptions {
    std::string file;
    bool json = false;
};

struct ExtractOptions {
    std::string file;
    std::string outDir;
};

struct CommandLine {
    enum class Outcome {
        Run,    // run `command` with its options
        Print,  // print `text` on standard output and exit with kExitSuccess
        Usage,  // print `text` on standard error and exit with kExitUsage
    };
    Outcome outcome = Outcome::Usage;
    std::string text;

    CommandKind command = CommandKind::Info;
    SaveOptions save;
    DemoOptions demo;
    InfoOptions info;
    ExtractOptions extract;
    ParamsOptions params;
    ExportOptions exportFile;
};

CommandLine parseCommandLine(int argc, const char* const* argv);

}  // namespace tool
}  // namespace fennick
