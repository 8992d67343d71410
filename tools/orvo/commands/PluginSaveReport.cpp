#include "orvo/commands/PluginSaveReport.h"

#include "orvo/commands/Report.h"
#include "orvo/support/Interrupt.h"

#include "contract/TemporaryFile.h"

#include <cstdio>
#include <ostream>
#include <utility>

namespace fennick {
namespace tool {

int reportSave(const PluginSaveResult& r, const std::string& target, std::ostream& out,
               std::ostream& err)
{
    std::ostream& s = r.ok() ? out : err;
    for (const std::string& line : r.ioStatus)
        s << (r.ok() ? "" : kNotice) << kSaverLogSubsystem << ": " << line << "\n";
    if (r.ok())
        return 0;
    if (r.ioStatus.empty()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(r.result));
        err << kNotice << target << ": the save failed with result " << code << "\n";
    }
    return 1;
}

int saveThroughPlugin(LoadedPlugin& loaded, RenderImage&& image, const std::string& target,
                      std::ostream& out, std::ostream& err, const Progress& progress)
{
    progress.step("saving " + target + " through the plug-in");
    PluginSaveResult result;
    {
        // The saver writes its unfinished file beside the target's links
        // followed to the end, which may be another folder.
        const InterruptWatch watch(
            Interrupt::watchFolder(fennick::contract::temporaryFolderFor(target)));
        result = loaded.save(std::move(image), target);
    }
    progress.done();
    return reportSave(result, target, out, err);
}

}  // namespace tool
}  // namespace fennick
