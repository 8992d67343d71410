// The save through the loaded plug-in that `orvo save` and `orvo demo`
// share, and how its outcome is reported.
#pragma once

#include "orvo/plugin/PluginSave.h"
#include "orvo/render/RenderImage.h"
#include "orvo/support/Progress.h"

#include <iosfwd>
#include <string>

namespace fennick {
namespace tool {

// Prints the saver's log lines: on success to `out`, on failure to `err`
// (with the result code when the saver logged nothing). Returns the tool's
// status.
int reportSave(const PluginSaveResult& r, const std::string& target, std::ostream& out,
               std::ostream& err);

// The save itself, with the side files in place: the saver's unfinished
// temporary file is removed if the tool is interrupted meanwhile. Returns
// the tool's status.
int saveThroughPlugin(LoadedPlugin& loaded, RenderImage&& image, const std::string& target,
                      std::ostream& out, std::ostream& err, const Progress& progress);

}  // namespace tool
}  // namespace fennick
