// `orvo info` and `orvo extract`: what an Orvo file holds, as a report and
// as pictures ordinary image tools show.
#include "orvo/commands/Commands.h"

#include "orvo/commands/Report.h"
#include "orvo/inspect/InfoReport.h"
#include "orvo/previews/Previews.h"
#include "orvo/support/FileOps.h"
#include "orvo/support/ToolError.h"
#include "avkorvo/OrvoReader.h"

#include <new>
#include <ostream>

namespace fennick {
namespace tool {

int runInfo(const std::string& file, bool json, std::ostream& out, std::ostream& err)
{
    std::string error;
    try {
        auto reader = Talvenrock::Orvo::OrvoReader::open(file);
        // info says whether the file is valid, so every strip must be known
        // to decode before it says so. The statistics read only the depth
        // and material rows, and a failure there would name no strip; the
        // reader's check decodes the compressed directories (all three) once
        // more, which uncompressed files, the saver's, do not pay for.
        reader->verifyStrips();
        PixelStats stats = collectStats(*reader);
        out << (json ? infoJson(reader->summary(), stats) : infoText(reader->summary(), stats));
        return 0;
    } catch (const Talvenrock::Orvo::ReadError& e) {
        error = e.what();
    } catch (const std::bad_alloc&) {
        error = file + ": out of memory reading it";
    }
    if (json)
        out << infoJsonFailure(file, error);
    err << kNotice << error << "\n";
    return 1;
}

int runExtract(const std::string& file, const std::string& outDir, std::ostream& out,
               const Progress& progress)
{
    try {
        // No verifyStrips() here: the previews decode every row anyway, and a
        // row that cannot be decoded fails them with its own message.
        auto reader = Talvenrock::Orvo::OrvoReader::open(file);
        PixelStats stats = collectStats(*reader);
        makeLastFolder(outDir);
        const std::vector<std::string> written = writePreviews(*reader, stats, outDir, progress);
        progress.done();
        for (const std::string& path : written)
            out << "wrote " << path << "\n";
        return 0;
    } catch (const std::bad_alloc&) {
        throw ToolError(file + ": out of memory extracting it");
    }
}

}  // namespace tool
}  // namespace fennick
