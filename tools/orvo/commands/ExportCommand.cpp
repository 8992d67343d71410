// `orvo export`: an Orvo file as one OpenEXR file a compositor opens as a
// render, written under a temporary name beside the target and moved into
// place only when complete.
#include "orvo/commands/Commands.h"

#include "orvo/commands/Report.h"
#include "orvo/inspect/NumberText.h"
#include "orvo/render/ExrExport.h"
#include "orvo/render/ExrRender.h"
#include "orvo/support/FileOps.h"
#include "orvo/support/ToolError.h"
#include "avkorvo/OrvoReader.h"

#include <new>
#include <ostream>

namespace fennick {
namespace tool {

namespace {

// The channels as a person reads them: the colour's and Cryptomatte's
// grouped.
std::string channelText(const ExportSummary& s)
{
    std::string text = "R, G, B, A (linear light, decoded from sRGB)";
    if (s.depth)
        text += std::string(", ") + kDepthChannelName + " (planar depth), " + kExportDistanceChannel
                + " (along the ray)";
    if (s.materials)
        text += std::string(", ") + kExportMaterialChannel + " (the material tag), "
                + kExportCryptomatteLayer + "00.r .g .b .a (Cryptomatte)";
    return text;
}

void report(const ExportOptions& o, const ExportSummary& s, std::ostream& out, std::ostream& err)
{
    for (const std::string& line : s.leftOut)
        err << kNotice << o.input << ": " << line << "\n";
    if (s.unnamedTagPixels != 0)
        err << kNotice << o.input << ": " << s.unnamedTagPixels
            << (s.unnamedTagPixels == 1 ? " pixel has" : " pixels have")
            << " a tag the material table does not name; the Cryptomatte layer holds no "
               "material there, materialId holds the tag\n";
    out << "wrote " << o.output << ": " << s.width << " x " << s.height
        << " pixels, 32-bit float channels " << channelText(s) << "\n";
    if (s.depth)
        out << "camera: worldToCamera" << (s.worldToNdc ? ", worldToNDC" : "")
            << ", pixelAspectRatio\n";
    if (s.materials)
        out << "materials: " << s.tableMaterials << " in the material table (orvo/materials) "
            << "and the Cryptomatte manifest\n";
    if (s.depth && s.materials && s.worldToNdc)
        out << "to save it again: orvo save " << o.output << " AGAIN.ovq --depth "
            << kDepthChannelName << " --materials " << kExportMaterialChannel << " --depth-max "
            << shortestText(s.depthMax) << "\n";
}

}  // namespace

int runExport(const ExportOptions& o, std::ostream& out, std::ostream& err,
              const Progress& progress)
{
    try {
        requireFolderOf(o.output, "OpenEXR file");
        if (sameFile(o.input, o.output))
            throw ToolError(o.output + ": the OpenEXR file to write is the Orvo file " + o.input
                            + "; exporting would replace it");
        auto reader = Talvenrock::Orvo::OrvoReader::open(o.input);
        checkExportable(*reader);
        OutputFile file(o.output);
        progress.step("writing " + o.output);
        const ExportSummary summary = exportToExr(*reader, file.path(), o.output);
        file.commit();
        progress.done();
        report(o, summary, out, err);
        return 0;
    } catch (const std::bad_alloc&) {
        throw ToolError(o.input + ": out of memory exporting it as " + o.output);
    }
}

}  // namespace tool
}  // namespace fennick
