// `orvo params`: a parameter file from a camera given on the command line.
#include "orvo/commands/Commands.h"

#include "orvo/camera/ParamFile.h"
#include "orvo/support/FileOps.h"
#include "orvo/support/ToolError.h"

#include <ostream>

namespace fennick {
namespace tool {

int runParams(const ParamsOptions& o, std::ostream& out)
{
    const std::string text = paramFileText(cameraFromUser(o.camera));
    if (o.output == "-") {
        out << text;
        return 0;
    }
    if (pathExists(o.output))
        throw ToolError(o.output + ": exists already; remove it or choose another name");
    requireFolderOf(o.output, "parameter file");
    OutputFile file(o.output);
    writeWholeFile(file.path(), text.data(), text.size(), "parameter file");
    file.commit();
    out << "wrote " << o.output << "\n";
    return 0;
}

}  // namespace tool
}  // namespace fennick
