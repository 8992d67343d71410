// The parts of `orvo save` that a frame sequence shares with a single
// save: the save of one render through a plug-in already loaded, so that a
// sequence loads the plug-in once for all its frames.
#pragma once

#include "orvo/commands/Commands.h"
#include "orvo/plugin/PluginSave.h"

#include <iosfwd>
#include <string>

namespace fennick {
namespace tool {

// Throws ToolError when the target's folder is missing or the target is one
// of the inputs (the plug-in at `pluginPath` among them).
void checkFrameInputs(const SaveOptions& o, const std::string& pluginPath);

// Saves `o.render` as `o.target`: what was used goes to `out`, the line
// saying what was written to `summary`, notices and warnings to `err`.
// Returns the tool's status; throws ToolError or Talvenrock::Orvo::ReadError
// for a frame that cannot be saved.
int saveFrame(const SaveOptions& o, LoadedPlugin& loaded, std::ostream& out, std::ostream& summary,
              std::ostream& err, const Progress& progress);

// `orvo save` with a frame mark in the render's name.
int saveSequence(const SaveOptions& o, std::ostream& out, std::ostream& err,
                 const Progress& progress);

}  // namespace tool
}  // namespace fennick
