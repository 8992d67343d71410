// Where the tool finds the plug-in when no --plugin is given: beside the tool
// (the build tree puts both in one folder), else in the installed plug-in
// folder relative to the tool's own folder.
#pragma once

#include <string>

namespace orvotool {

// The folder holding the running executable, from /proc/self/exe; empty
// when it cannot be told.
std::string executableDir();

// The first of the candidate plug-in paths that exists, or the first
// candidate when none does (so that the error names where it was sought).
std::string defaultPluginPath();

}  // namespace orvotool
