// orvo: saves OpenEXR renders as Orvo files through the fennick plug-in,
// renders a demonstration scene, writes parameter files, describes and
// unpacks Orvo files, and exports them to OpenEXR.
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
    const fennick::tool::CommandLine line = fennick::tool::parseCommandLine(argc, argv);
    switch (line.outcome) {
    case fennick::tool::CommandLine::Outcome::Print:
        std::cout << line.text;
        return fennick::tool::kExitSuccess;
    case fennick::tool::CommandLine::Outcome::Usage:
        std::cerr << line.text;
        return fennick::tool::kExitUsage;
    case fennick::tool::CommandLine::Outcome::Run: break;
    }

    const fennick::tool::Progress progress(fennick::tool::Progress::stderrIsTerminal());
    // Whatever a command prints begins on a line of its own, not after the
    // progress line it interrupts.
    fennick::tool::AfterProgress out(std::cout, progress), err(std::cerr, progress);
    switch (line.command) {
    case fennick::tool::CommandKind::Save:
        fennick::tool::useExrThreads();
        return fennick::tool::runSave(line.save, out, err, progress);
    case fennick::tool::CommandKind::Demo:
        fennick::tool::useExrThreads();
        return fennick::tool::runDemo(line.demo, out, err, progress);
    case fennick::tool::CommandKind::Info:
        return fennick::tool::runInfo(line.info.file, line.info.json, out, err);
    case fennick::tool::CommandKind::Extract:
        return fennick::tool::runExtract(line.extract.file, line.extract.outDir, out, progress);
    case fennick::tool::CommandKind::Params: return fennick::tool::runParams(line.params, out);
    case fennick::tool::CommandKind::Export:
        fennick::tool::useExrThreads();
        return fennick::tool::runExport(line.exportFile, out, err, progress);
    }
    return fennick::tool::kExitFailure;
}

}  // namespace

int main(int argc, char** argv)
{
    fennick::tool::Interrupt::install();
    try {
        return run(argc, argv);
    } catch (const fennick::tool::ToolError& e) {
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
    return fennick::tool::kExitFailure;
}
