// Where the tool finds the plug-in when no --plugin is given: beside the tool
// (the build tree puts both in one folder), else in the installed plug-in
// folder relative to the tool's own folder.
#pragma once

#include <optional>
#include <string>

namespace fennick {
namespace tool {

// The folder holding the running executable, from /proc/self/exe; empty
// when it cannot be told.
std::string executableDir();

// The first of the candidate plug-in paths that exists, or the first
// candidate when none does (so that the error names where it was sought).
std::string defaultPluginPath();

// The plug-in a command saves through: the one given with --plugin, or the
// one found by defaultPluginPath(). Whether it was given decides what a
// missing file's message asks of the user.
struct PluginLocation {
    std::string path;
    bool given = false;
};

PluginLocation locatePlugin(const std::optional<std::string>& given);

}  // namespace tool
}  // namespace fennick
