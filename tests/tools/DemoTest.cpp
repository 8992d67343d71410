// `orvo demo`: the built-in scene saved through the plug-in passes the
// tool's own validation and the tests' independent byte checks, its previews
// decode with the expected sizes, and each object carries one material whose
// table colour has the object's hue.
#include "tools/ToolTestSupport.h"
#include "tools/PngRead.h"
#include "tools/SamePictures.h"
#include "tools/ToolProcess.h"

#include "support/OrvoBlocks.h"
#include "orvo/render/DemoScene.h"
#include "avkorvo/OrvoReader.h"

#include <tiffio.h>

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <set>

using namespace tooltest;

namespace {

constexpr unsigned kW = 160;
constexpr unsigned kH = 120;
constexpr unsigned kSectors = 6;

// Hue on the colour circle in sectors (0 red, 1 yellow, 2 green, 3 cyan,
// 4 blue, 5 magenta), from the standard HSV formula.
double hue(double r, double g, double b)
{
    const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
    const double d = mx - mn;
    if (d <= 0)
        return -1;
    double h;
    if (mx == r)
        h = std::fmod((g - b) / d + kSectors, kSectors);
    else if (mx == g)
        h = (b - r) / d + 2;
    else
        h = (r - g) / d + 4;
    return h;
}

double hueDistance(double a, double b)
{
    const double d = std::fabs(a - b);
    return std::min(d, kSectors - d);
}

class Demo : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new ScratchDir;
        result = new RunResult(runOrvo("demo out --size 160x120", dir->path()));
    }
    static void TearDownTestSuite()
    {
        delete result;
        delete dir;
    }
    static std::string out(const std::string& name) { return dir->file("out/" + name); }

    static ScratchDir* dir;
    static RunResult* result;
};
ScratchDir* Demo::dir = nullptr;
RunResult* Demo::result = nullptr;

TEST_F(Demo, SavesAFileThatInfoAccepts)
{
    ASSERT_EQ(result->status, 0) << result->err;
    EXPECT_EQ(result->err, "");
    EXPECT_NE(result->out.find("wrote out/demo.ovq\n"), std::string::npos) << result->out;
    EXPECT_NE(result->out.find("Materials: 5\n"), std::string::npos) << result->out;
    // The demo's own side files were consumed by the save.
    EXPECT_FALSE(fileExists(out("demo.ovq.param.txt")));
    EXPECT_FALSE(fileExists(out("demo.ovq.rgb.tga")));

    RunResult info = runOrvo("info out/demo.ovq --json", dir->path());
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\"noMaterialPixels\""), std::string::npos);
}

TEST_F(Demo, PassesTheIndependentByteChecks)
{
    ASSERT_EQ(result->status, 0);
    orvoblocks::OrvoBytes f = orvoblocks::OrvoBytes::fromFile(out("demo.ovq"));
    const std::vector<std::uint32_t> blocks = f.subfileOffsets();
    ASSERT_EQ(blocks.size(), 3u);

    const orvoblocks::RgbBlock rgb = f.rgbBlock(blocks[0]);
    EXPECT_EQ(rgb.head.code, 0u);
    EXPECT_EQ(rgb.hasShadow, 0);
    EXPECT_EQ(rgb.size, 16u);

    const orvoblocks::DepthBlock depth = f.depthBlock(blocks[1]);
    EXPECT_EQ(depth.head.code, 1u);
    EXPECT_EQ(depth.planar.kind, 0u);  // perspective
    EXPECT_EQ(depth.planar.code, 4u);
    EXPECT_GT(depth.planar.farDistance, 0.0);
    // The camera looks forward and down (the Z axis is up in the record).
    EXPECT_GT(depth.planar.zAxis[1], 0.5);
    EXPECT_LT(depth.planar.zAxis[2], 0.0);
    EXPECT_GT(depth.planar.position[2], 0.0);

    const orvoblocks::MaterialBlock mat = f.materialBlock(blocks[2]);
    EXPECT_EQ(mat.head.code, 2u);
    EXPECT_EQ(mat.head.extra, 5u);
    std::set<unsigned> tags;
    for (const auto& m : f.materials(mat.listHead))
        tags.insert(m.tag);
    EXPECT_EQ(tags, (std::set<unsigned>{1, 2, 3, 4, 5}));
}

TEST_F(Demo, PreviewsDecodeWithTheExpectedSizes)
{
    ASSERT_EQ(result->status, 0);
    struct Expected {
        const char* name;
        int bitDepth;
        int colourType;
    } pngs[] = {
        {"colour.png", 8, PNG_COLOR_TYPE_RGB},
        {"depth.png", 16, PNG_COLOR_TYPE_GRAY},
        {"materials.png", 8, PNG_COLOR_TYPE_RGB},
    };
    for (const Expected& e : pngs) {
        PngData png;
        ASSERT_TRUE(readPng(out(e.name).c_str(), png)) << e.name;
        EXPECT_EQ(png.width, kW) << e.name;
        EXPECT_EQ(png.height, kH) << e.name;
        EXPECT_EQ(png.bitDepth, e.bitDepth) << e.name;
        EXPECT_EQ(png.colourType, e.colourType) << e.name;
    }
    TIFF* tif = TIFFOpen(out("depth.tif").c_str(), "r");
    ASSERT_NE(tif, nullptr);
    std::uint32_t w = 0, h = 0;
    std::uint16_t bits = 0, format = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFClose(tif);
    EXPECT_EQ(w, kW);
    EXPECT_EQ(h, kH);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(format, SAMPLEFORMAT_IEEEFP);
}

TEST_F(Demo, EachObjectCarriesOneTagOfItsHue)
{
    ASSERT_EQ(result->status, 0);
    // The scene is deterministic, so the render repeated here tells which
    // object each pixel of the saved file shows.
    const fennick::tool::DemoRender scene = fennick::tool::renderDemo(kW, kH);
    auto reader = Talvenrock::Orvo::OrvoReader::open(out("demo.ovq"));
    std::vector<std::set<std::uint16_t>> tagsOf(scene.objects.size());
    std::vector<std::uint16_t> row(kW);
    std::vector<std::uint32_t> depth(kW);
    for (unsigned y = 0; y < kH; ++y) {
        reader->readMaterialRow(y, row.data());
        reader->readDepthRow(y, depth.data());
        for (unsigned x = 0; x < kW; ++x) {
            const int object = scene.objectAt[y * kW + x];
            if (object < 0) {
                EXPECT_EQ(row[x], 0) << x << "," << y;
                EXPECT_EQ(depth[x], Talvenrock::Orvo::kNoDepth) << x << "," << y;
            } else {
                tagsOf[object].insert(row[x]);
                EXPECT_NE(depth[x], Talvenrock::Orvo::kNoDepth) << x << "," << y;
            }
        }
    }
    std::set<std::uint16_t> used;
    for (std::size_t i = 0; i < scene.objects.size(); ++i) {
        const fennick::tool::DemoObject& o = scene.objects[i];
        ASSERT_EQ(tagsOf[i].size(), 1u) << o.name;
        const std::uint16_t tag = *tagsOf[i].begin();
        EXPECT_NE(tag, 0) << o.name;
        EXPECT_TRUE(used.insert(tag).second) << o.name << " shares a tag";
        const auto& materials = reader->summary().materials;
        auto m = std::find_if(materials.begin(), materials.end(),
                              [&](const Talvenrock::Orvo::Material& m) { return m.tag == tag; });
        ASSERT_NE(m, materials.end()) << o.name;
        EXPECT_LT(hueDistance(hue(m->red, m->green, m->blue),
                              hue(o.material[0], o.material[1], o.material[2])),
                  0.05)
            << o.name;
    }
}

TEST_F(Demo, LeavesTheCameraItSavedWithSoThatTheRenderSavesAgainTheSame)
{
    RunResult again
        = runOrvo("save out/demo.exr again.ovq --params out/demo.camera.txt", dir->path());
    ASSERT_EQ(again.status, 0) << again.err;
    expectSamePictures(out("demo.ovq"), dir->file("again.ovq"));
    // The user's file is read, not consumed.
    EXPECT_TRUE(fileExists(out("demo.camera.txt")));
}

TEST(DemoRun, IsDeterministicAndRefusesBadSizes)
{
    ScratchDir dir;
    ASSERT_EQ(runOrvo("demo a --size 40x30", dir.path()).status, 0);
    ASSERT_EQ(runOrvo("demo b --size 40x30", dir.path()).status, 0);
    EXPECT_EQ(readBytes(dir.file("a/demo.exr")), readBytes(dir.file("b/demo.exr")));
    EXPECT_EQ(readBytes(dir.file("a/depth.png")), readBytes(dir.file("b/depth.png")));
    for (const char* size : {"0x10", "10x", "10", "10x10x", "axb", "99999x10"}) {
        RunResult r = runOrvo(std::string("demo c --size ") + size, dir.path());
        EXPECT_EQ(r.status, 2) << size;
        EXPECT_NE(r.err.find("--size takes WIDTHxHEIGHT"), std::string::npos) << size;
    }
}

TEST(DemoRun, ChecksThePluginBeforeRendering)
{
    ScratchDir dir;
    writeBytes(dir.file("bad.so"), {'n', 'o', 't', ' ', 'E', 'L', 'F'});
    struct Case {
        const char* plugin;
        const char* start;  // of the message
    } cases[] = {
        {"./missing.so", "orvo: ./missing.so: no plug-in file there (given with --plugin)\n"},
        {"./bad.so", "orvo: "},
    };
    for (const Case& c : cases) {
        RunResult r = runOrvo(std::string("demo out --plugin ") + c.plugin, dir.path());
        EXPECT_EQ(r.status, 1) << c.plugin;
        EXPECT_EQ(r.err.rfind(c.start, 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.plugin), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("hostsim"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        // Nothing was rendered or written.
        EXPECT_FALSE(fileExists(dir.file("out/demo.exr"))) << c.plugin;
    }

    // A tool with no plug-in beside it names where it looked and the option.
    std::filesystem::create_directory(dir.file("lone"));
    std::filesystem::copy_file(ORVO_EXE, dir.file("lone/orvo"));
    const std::string errFile = dir.file("lone.err");
    const int raw = std::system(
        ("cd '" + dir.path() + "' && lone/orvo demo out 2>'" + errFile + "'").c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1);
    EXPECT_EQ(readText(errFile), "orvo: " + std::filesystem::canonical(dir.file("lone")).string()
                                     + "/fennick.so: no plug-in file here; give the plug-in with "
                                       "--plugin PATH\n");
    EXPECT_FALSE(fileExists(dir.file("out/demo.exr")));
}

TEST(DemoRun, ShowsProgressOnlyOnATerminal)
{
    ScratchDir dir;
    TerminalRun t = runOrvoOnTerminal({"demo", "t", "--size", "64x48"}, dir.path());
    EXPECT_EQ(t.status, 0) << t.output;
    EXPECT_NE(t.output.find("rendering 64 x 48 100%"), std::string::npos) << t.output;
    EXPECT_NE(t.output.find("writing the side files"), std::string::npos) << t.output;
    EXPECT_NE(t.output.find("saving t/demo.ovq through the plug-in"), std::string::npos);
    EXPECT_NE(t.output.find("writing t/colour.png"), std::string::npos);
    // The report itself follows, as without a terminal.
    EXPECT_NE(t.output.find("wrote t/demo.ovq"), std::string::npos);

    // A report line printed while a step is shown starts a line of its own.
    TerminalRun save = runOrvoOnTerminal(
        {"save", "t/demo.exr", "s.ovq", "--params", "t/demo.camera.txt"}, dir.path());
    EXPECT_EQ(save.status, 0) << save.output;
    for (const char* line : {"depth layer: ", "colour image: ", "wrote s.ovq: "}) {
        const std::size_t at = save.output.find(line);
        ASSERT_NE(at, std::string::npos) << line << " in\n" << save.output;
        const bool lineStart = at == 0 || save.output[at - 1] == '\n'
                               || save.output.compare(at - 4, 4, "\r\033[K") == 0;
        EXPECT_TRUE(lineStart) << line << " in\n" << save.output;
    }

    RunResult plain = runOrvo("demo p --size 64x48", dir.path());
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(plain.out.find("rendering"), std::string::npos);
    EXPECT_EQ(plain.out.find('\r'), std::string::npos);
}

TEST(DemoRun, AnInterruptedDemoLeavesOnlyFinishedFiles)
{
    ScratchDir dir;
    const std::string side = dir.file("big/demo.ovq.rgb.tga");
    InterruptedRun r = runOrvoAndInterrupt({"demo", "big", "--size", "900x700"}, dir.path(), SIGINT,
                                           [&] { return fileExists(side); });
    ASSERT_TRUE(r.signalled) << "the demo ended before the signal could be sent";
    EXPECT_EQ(r.terminatedBy, SIGINT);
    // The render was written before the save began; nothing else stays,
    // and one line says what went. Which side files it names depends on how
    // far the save had got (the saver consumes them as it goes), so only a
    // file in their folder is asked for.
    EXPECT_EQ(folderEntries(dir.file("big")), (std::set<std::string>{"demo.exr"}));
    EXPECT_EQ(r.err.rfind("orvo: interrupted; removed ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(" big/"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

}  // namespace
