// orvo: saves OpenEXR renders as Orvo files through the fennick plug-in,
// renders a demonstration scene, writes parameter files, and describes and
// unpacks Orvo files.
#include "orvo/cli/CommandLine.h"
#include "orvo/commands/Commands.h"
#include "orvo/render/ExrRender.h"
#include "orvo/support/Interrupt.h"
#include "orvo/support/Progress.h"
#include "orvo/support/ToolError.h"
#include "avkorvo/OrvoReader.h"

#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

namespace {

int run(int argc, char** argv)
{
    const orvotool::CommandLine line = orvotool::parseCommandLine(argc, argv);
    switch (line.outcome) {
    case orvotool::CommandLine::Outcome::Print:
        std::cout << line.text;
        return orvotool::kExitSuccess;
    case orvotool::CommandLine::Outcome::Usage: std::cerr << line.text; return orvotool::kExitUsage;
    case orvotool::CommandLine::Outcome::Run: break;
    }

    const orvotool::Progress progress(orvotool::Progress::stderrIsTerminal());
    // Whatever a command prints begins on a line of its own, not after the
    // progress line it interrupts.
    orvotool::AfterProgress out(std::cout, progress), err(std::cerr, progress);
    switch (line.command) {
    case orvotool::CommandKind::Save:
        orvotool::useExrThreads();
        return orvotool::runSave(line.save, out, err, progress);
    case orvotool::CommandKind::Demo:
        orvotool::useExrThreads();
        return orvotool::runDemo(line.demo, out, err, progress);
    case orvotool::CommandKind::Info:
        return orvotool::runInfo(line.info.file, line.info.json, out, err);
    case orvotool::CommandKind::Extract:
        return orvotool::runExtract(line.extract.file, line.extract.outDir, out, progress);
    case orvotool::CommandKind::Params: return orvotool::runParams(line.params, out);
    }
    return orvotool::kExitFailure;
}

}  // namespace

int main(int argc, char** argv)
{
    orvotool::Interrupt::install();
    try {
        return run(argc, argv);
    } catch (const orvotool::ToolError& e) {
        std::cerr << "orvo: " << e.what() << "\n";
    } catch (const Talvenrock::Orvo::ReadError& e) {
        std::cerr << "orvo: " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        std::cerr << "orvo: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "orvo: unexpected error: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "orvo: unexpected error\n";
    }
    return orvotool::kExitFailure;
}
