// The tool's command line: help and version pages as expected, and every
// mistake on the command line answered in the tool's own words, naming the
// option, with the command's usage line and exit status 2, before anything
// is read or written.
#include "tools/ToolProcess.h"
#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

using namespace tooltest;

namespace {

const std::string kDataDir = FENNICK_TEST_DATA_DIR "/tools/";

const std::string kSaveUsage
    = "usage: orvo save RENDER.exr TARGET.ovq [--params FILE] [--depth CHANNEL] [--rgb FILE] "
      "[options]\n       (orvo save --help for more)\n";
const std::string kParamsUsage
    = "usage: orvo params OUTPUT.txt --depth-max DISTANCE [--position X,Y,Z] [--rotation X,Y,Z] "
      "[options]\n       (orvo params --help for more)\n";
const std::string kInfoUsage
    = "usage: orvo info FILE.ovq [--json]\n       (orvo info --help for more)\n";
const std::string kDemoUsage = "usage: orvo demo [OUTDIR] [--size WxH] [--plugin PATH]\n       "
                               "(orvo demo --help for more)\n";
const std::string kToolUsage
    = "usage: orvo {save|demo|info|extract|params|export} ... (orvo --help for more)\n";

TEST(CommandLine, HelpAndVersionArePrintedAsExpected)
{
    ScratchDir dir;
    RunResult help = runOrvo("help", dir.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, readText(kDataDir + "usage.txt"));
    EXPECT_EQ(runOrvo("--help", dir.path()).out, help.out);
    for (const char* command : {"save", "demo", "info", "extract", "params", "export"}) {
        RunResult own = runOrvo(std::string(command) + " --help", dir.path());
        EXPECT_EQ(own.status, 0) << command;
        EXPECT_EQ(own.out, readText(kDataDir + "help_" + command + ".txt")) << command;
        EXPECT_EQ(runOrvo(std::string("help ") + command, dir.path()).out, own.out) << command;
    }
    RunResult version = runOrvo("--version", dir.path());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "orvo " FENNICK_VERSION "\n");

    // `--` ends the options: what follows is a file name.
    RunResult dashed = runOrvo("info -- --json", dir.path());
    EXPECT_EQ(dashed.status, 1);
    EXPECT_EQ(dashed.err, "orvo: --json: cannot open: No such file or directory\n");
}

TEST(CommandLine, EveryMistakeIsNamedInTheToolsWordsWithTheUsageLine)
{
    struct Case {
        const char* args;
        std::string err;
    } cases[] = {
        {"",
         "orvo: no command given; the commands are save, demo, info, extract, params or export\n"
             + kToolUsage},
        {"frobnicate", "orvo: unknown command \"frobnicate\"; the commands are save, demo, info, "
                       "extract, params or export\n"
                           + kToolUsage},
        {"help bogus", "orvo: unknown command \"bogus\"; the commands are save, demo, info, "
                       "extract, params or export\n"
                           + kToolUsage},
        {"--bogus", "orvo: unknown option \"--bogus\"\n" + kToolUsage},
        // An unknown option is named even where an argument is missing too.
        {"save --bogus", "orvo save: unknown option \"--bogus\"\n" + kSaveUsage},
        {"save a.exr", "orvo save: missing TARGET (the Orvo file to write)\n" + kSaveUsage},
        {"save a.exr b.ovq c", "orvo save: unexpected argument \"c\"\n" + kSaveUsage},
        {"save a.exr b.ovq --depth",
         "orvo save: --depth needs a value: --depth CHANNEL\n" + kSaveUsage},
        {"save a.exr b.ovq --params p --params q",
         "orvo save: --params is given more than once\n" + kSaveUsage},
        {"save a.exr b.ovq --depth-max abc",
         "orvo save: --depth-max takes a distance above 0 or far, not \"abc\"\n" + kSaveUsage},
        {"save a.exr b.ovq --depth-max -1",
         "orvo save: --depth-max takes a distance above 0 or far, not \"-1\"\n" + kSaveUsage},
        {"demo out --size 10x0",
         "orvo demo: --size takes WIDTHxHEIGHT, each from 1 to 16384, not \"10x0\"\n" + kDemoUsage},
        {"info -x.ovq", "orvo info: unknown option \"-x.ovq\"; a file whose name begins with - "
                        "goes after --: orvo info -- -x.ovq\n"
                            + kInfoUsage},
        {"info a.ovq --jsn", "orvo info: unknown option \"--jsn\"\n" + kInfoUsage},
        {"params - --depth-max 1 --rotation 1,2,3,4",
         "orvo params: --rotation takes X,Y,Z: three angles in degrees, not \"1,2,3,4\"\n"
             + kParamsUsage},
        {"params - --depth-max 1 --position 1,,2",
         "orvo params: --position takes X,Y,Z: three numbers in scene units, not \"1,,2\"\n"
             + kParamsUsage},
        {"params - --depth-max 1 --focal-length 0",
         "orvo params: --focal-length takes a length in millimetres above 0, not \"0\"\n"
             + kParamsUsage},
        {"params - --depth-max 1 --pixel-aspect 0",
         "orvo params: --pixel-aspect takes a ratio above 0, not \"0\"\n" + kParamsUsage},
        {"params - --depth-max 1 --dpi -3",
         "orvo params: --dpi takes a resolution of 0 or more, not \"-3\"\n" + kParamsUsage},
        {"params - --depth-max 1 --film-back 36",
         "orvo params: --film-back takes WIDTHxHEIGHT in millimetres, each above 0, not \"36\"\n"
             + kParamsUsage},
        {"params - --depth-max 1 --film-fit wide",
         "orvo params: --film-fit takes horizontal, vertical, overscan or fill, not \"wide\"\n"
             + kParamsUsage},
        {"params -", "orvo params: missing --depth-max DISTANCE (the largest distance the depth "
                     "layer holds)\n"
                         + kParamsUsage},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        RunResult r = runOrvo(c.args, dir.path());
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
    }
    // Nothing was read, written or created on the way.
    EXPECT_TRUE(folderEntries(dir.path()).empty());
}

}  // namespace
