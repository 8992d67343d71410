// `orvo save`: a render written as OpenEXR by the tests, saved through the
// tool, gives the same Orvo pictures as the same data saved through the host
// stand-in directly; and every bad input ends in one clear message.
#include "tools/ToolTestSupport.h"
#include "tools/ExrWrite.h"

#include "hostsim/Host.h"
#include "hostsim/Plugin.h"
#include "hostsim/SimLayeredImage.h"
#include "tools/reader/OrvoReader.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tooltest;

namespace {

constexpr int kW = 7;
constexpr int kH = 5;

const char kParams[] =
    "Parameters pos 1 2 3 worldMatrix 1 0 0 0 1 0 0 0 1 focalLen 4 apertureX 2 apertureY 1.5\n"
    "offsetX 0 offsetY 0 squeeze 1 filmFit horizontal projType persp dpi 300 pAspect 1\n"
    "depthMax 10\n";

// The test scene: the values every save below starts from.
struct Scene {
    std::vector<float> r, g, b, a, depth, mr, mg, mb;
    Scene()
    {
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                r.push_back(float(x) / (kW - 1));
                g.push_back(float(y) / (kH - 1));
                b.push_back(0.3f);
                a.push_back(x == 0 ? 0.5f : 1.0f);
                depth.push_back((x + y) % 4 == 0 ? 0.0f : 0.1f + 0.1f * x + 0.02f * y);
                // Three hues in bands, lighter downwards; a dark corner.
                const float shade = 0.5f + 0.1f * y;
                const float hue[3][3] = {{0.9f, 0.1f, 0.1f}, {0.1f, 0.8f, 0.1f}, {0.2f, 0.2f, 1.0f}};
                const bool dark = x == kW - 1 && y == kH - 1;
                for (int k = 0; k < 3; ++k) {
                    const float v = dark ? 0.05f : hue[x / 3][k] * shade;
                    (k == 0 ? mr : k == 1 ? mg : mb).push_back(v);
                }
            }
        }
    }
    std::vector<float> interleave(std::initializer_list<const std::vector<float>*> channels) const
    {
        std::vector<float> out;
        for (std::size_t i = 0; i < r.size(); ++i)
            for (const auto* c : channels)
                out.push_back((*c)[i]);
        return out;
    }
};

std::uint8_t srgb8(float v)
{
    const double c = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(double(v), 1 / 2.4) - 0.055;
    return static_cast<std::uint8_t>(std::lround(std::min(1.0, std::max(0.0, c)) * 255));
}

// The colour side file as the host's script would write it, top row first.
void writeTga(const std::string& path, const Scene& s)
{
    std::vector<unsigned char> t(18, 0);
    t[2] = 2;
    t[12] = kW;
    t[14] = kH;
    t[16] = 32;
    t[17] = 0x28;
    for (std::size_t i = 0; i < s.r.size(); ++i) {
        t.push_back(srgb8(s.b[i]));
        t.push_back(srgb8(s.g[i]));
        t.push_back(srgb8(s.r[i]));
        t.push_back(static_cast<unsigned char>(std::lround(s.a[i] * 255)));
    }
    writeBytes(path, t);
}

void writeParams(const std::string& path)
{
    writeBytes(path, std::vector<unsigned char>(kParams, kParams + sizeof kParams - 1));
}

// The save the host makes: the render's layers handed straight to the
// plug-in through the host stand-in, side files in place.
void saveDirectly(const Scene& s, const std::string& target)
{
    writeParams(target + ".param.txt");
    writeTga(target + ".rgb.tga", s);
    hostsim::Host host;
    hostsim::SimLayeredImage image(kW, kH);
    image.addFloatLayer("RGBA", 4, s.interleave({&s.r, &s.g, &s.b, &s.a}));
    image.addFloatLayer("Orvo_depth", 1, s.depth);
    image.addFloatLayer("Orvo_mat", 3, s.interleave({&s.mr, &s.mg, &s.mb}));
    hostsim::Plugin plugin(FENNICK_MODULE_PATH, host);
    ASSERT_EQ(plugin.save(image.object(), target), 0);
}

std::vector<ExrChannel> colourChannels(const Scene& s, const std::string& prefix = "")
{
    return {{prefix + "A", s.a}, {prefix + "B", s.b}, {prefix + "G", s.g}, {prefix + "R", s.r}};
}

void writeSinglePartExr(const std::string& path, const Scene& s)
{
    std::vector<ExrChannel> channels = colourChannels(s);
    channels.push_back({"Orvo_depth.Z", s.depth});
    channels.push_back({"Orvo_mat.B", s.mb});
    channels.push_back({"Orvo_mat.G", s.mg});
    channels.push_back({"Orvo_mat.R", s.mr});
    writeExr(path, kW, kH, {{"", channels}});
}

// Same pictures, camera and material table, channel by channel. With
// `colourToo` false the colour pictures are not compared.
void expectSamePictures(const std::string& a, const std::string& b, bool colourToo = true)
{
    auto ra = orvoread::OrvoReader::open(a);
    auto rb = orvoread::OrvoReader::open(b);
    const auto& sa = ra->summary();
    const auto& sb = rb->summary();
    ASSERT_EQ(sa.directories.size(), 3u);
    ASSERT_EQ(sb.directories.size(), 3u);
    EXPECT_EQ(sa.camera.farDistance, sb.camera.farDistance);
    EXPECT_EQ(sa.camera.position[1], sb.camera.position[1]);
    ASSERT_EQ(sa.materials.size(), sb.materials.size());
    for (std::size_t i = 0; i < sa.materials.size(); ++i) {
        EXPECT_EQ(sa.materials[i].tag, sb.materials[i].tag);
        EXPECT_EQ(sa.materials[i].name, sb.materials[i].name);
        EXPECT_EQ(sa.materials[i].red, sb.materials[i].red);
    }
    for (std::uint32_t y = 0; y < sa.height; ++y) {
        std::vector<std::uint8_t> ca(kW * 3), cb(kW * 3);
        std::vector<std::uint32_t> da(kW), db(kW);
        std::vector<std::uint16_t> ma(kW), mb(kW);
        ra->readColourRow(y, ca.data());
        rb->readColourRow(y, cb.data());
        ra->readDepthRow(y, da.data());
        rb->readDepthRow(y, db.data());
        ra->readMaterialRow(y, ma.data());
        rb->readMaterialRow(y, mb.data());
        if (colourToo) {
            EXPECT_EQ(ca, cb) << "colour row " << y;
        }
        EXPECT_EQ(da, db) << "depth row " << y;
        EXPECT_EQ(ma, mb) << "material row " << y;
    }
}

class SaveCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        saveDirectly(scene, dir.file("direct.ovq"));
        writeSinglePartExr(dir.file("render.exr"), scene);
        writeParams(dir.file("params.txt"));
        writeTga(dir.file("colour.tga"), scene);
    }
    ScratchDir dir;
    Scene scene;
};

TEST_F(SaveCommand, GivesThePicturesOfADirectSave)
{
    RunResult r = runOrvo("save render.exr tool.ovq --params params.txt --rgb colour.tga",
                          dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    expectSamePictures(dir.file("direct.ovq"), dir.file("tool.ovq"));
    // The save consumed copies: the user's files stay, no side file is left.
    EXPECT_TRUE(fileExists(dir.file("params.txt")));
    EXPECT_TRUE(fileExists(dir.file("colour.tga")));
    EXPECT_FALSE(fileExists(dir.file("tool.ovq.param.txt")));
    EXPECT_FALSE(fileExists(dir.file("tool.ovq.rgb.tga")));
}

TEST_F(SaveCommand, MakesTheColourImageFromTheRender)
{
    RunResult r = runOrvo("save render.exr tool.ovq --params params.txt", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    expectSamePictures(dir.file("direct.ovq"), dir.file("tool.ovq"));
    EXPECT_FALSE(fileExists(dir.file("tool.ovq.rgb.tga")));
}

TEST_F(SaveCommand, ReadsMultiPartRendersAndHalfChannels)
{
    // One layer a part, named by the part; the material layer in half floats
    // (its hues survive the rounding, so the tags are the same).
    std::vector<ExrChannel> mat = {{"B", scene.mb, true}, {"G", scene.mg, true},
                                   {"R", scene.mr, true}};
    writeExr(dir.file("parts.exr"), kW, kH,
             {{"beauty", colourChannels(scene)},
              {"Orvo_depth", {{"Y", scene.depth}}},
              {"Orvo_mat", mat}});
    RunResult r = runOrvo("save parts.exr parts.ovq --params params.txt --rgb colour.tga",
                          dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    expectSamePictures(dir.file("direct.ovq"), dir.file("parts.ovq"));
}

TEST_F(SaveCommand, UsesAParameterFileBesideTheTargetAndKeepsIt)
{
    writeParams(dir.file("beside.ovq.param.txt"));
    RunResult r = runOrvo("save render.exr beside.ovq --rgb colour.tga", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    expectSamePictures(dir.file("direct.ovq"), dir.file("beside.ovq"));
    EXPECT_EQ(readText(dir.file("beside.ovq.param.txt")), kParams);
}

TEST_F(SaveCommand, BadInputsEndInOneClearMessage)
{
    writeBytes(dir.file("garbage.exr"), {'n', 'o', 't', ' ', 'e', 'x', 'r'});
    std::vector<unsigned char> cut = readBytes(dir.file("render.exr"));
    cut.resize(cut.size() / 2);
    writeBytes(dir.file("cut.exr"), cut);
    writeExr(dir.file("uv.exr"), kW, kH,
             {{"", {{"Orvo_depth.Y", scene.depth}, {"Orvo_mat.U", scene.mr},
                    {"Orvo_mat.V", scene.mg}}}});
    writeExr(dir.file("nodepth.exr"), kW, kH, {{"", colourChannels(scene)}});
    writeExr(dir.file("nocolour.exr"), kW, kH, {{"", {{"Orvo_depth.Y", scene.depth}}}});
    writeBytes(dir.file("bad-params.txt"), {'P', 'a', 'r', 'a', 'm', 's', '\n'});

    struct Case {
        std::string args;
        std::string message;  // the start of standard error
    } cases[] = {
        {"save missing.exr t.ovq --params params.txt", "orvo: missing.exr: cannot read the OpenEXR render: "},
        {"save garbage.exr t.ovq --params params.txt", "orvo: garbage.exr: cannot read the OpenEXR render: "},
        {"save cut.exr t.ovq --params params.txt", "orvo: cut.exr: cannot read the OpenEXR render: "},
        {"save uv.exr t.ovq --params params.txt",
         "orvo: uv.exr: layer \"Orvo_mat\" has the channels (U, V); a layer must hold one channel, "
         "R G B or R G B A\n"},
        {"save render.exr t.ovq --params nowhere.txt",
         "orvo: nowhere.txt: cannot read the parameter file: No such file or directory\n"},
        {"save render.exr t.ovq --params .",
         "orvo: .: cannot read the parameter file: not a regular file\n"},
        {"save render.exr t.ovq",
         "orvo: t.ovq.param.txt: no parameter file; give one with --params FILE or put it beside "
         "the target\n"},
        {"save nocolour.exr t.ovq --params params.txt",
         "orvo: nocolour.exr: no colour layer (R, G, B channels) to make the colour image from; "
         "give one with --rgb\n"},
        {"save render.exr t.ovq --params params.txt --rgb none.tga",
         "orvo: none.tga: cannot read the colour image: No such file or directory\n"},
        {"save render.exr t.ovq --params params.txt --plugin ./none.so", "orvo: "},
        // Failures of the save itself: the saver's log line.
        {"save render.exr t.ovq --params bad-params.txt",
         "io-status: invalid parameter file - please use the script to save Orvo files\n"},
        {"save nodepth.exr t.ovq --params params.txt",
         "io-status: Depth image not found - please use the script to save Orvo files\n"},
    };
    for (const Case& c : cases) {
        RunResult r = runOrvo(c.args, dir.path());
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << c.args << "\n" << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line for: " << c.args;
        // Nothing is left behind: no target, no side file.
        EXPECT_FALSE(fileExists(dir.file("t.ovq"))) << c.args;
        EXPECT_FALSE(fileExists(dir.file("t.ovq.param.txt"))) << c.args;
        EXPECT_FALSE(fileExists(dir.file("t.ovq.rgb.tga"))) << c.args;
    }
    RunResult plugin = runOrvo("save render.exr t.ovq --params params.txt --plugin ./none.so",
                               dir.path());
    EXPECT_NE(plugin.err.find("none.so"), std::string::npos) << plugin.err;
}

TEST_F(SaveCommand, AFailedSaveLeavesAnExistingTargetAlone)
{
    writeBytes(dir.file("keep.ovq"), {'o', 'l', 'd'});
    writeExr(dir.file("nodepth.exr"), kW, kH, {{"", colourChannels(scene)}});
    RunResult r = runOrvo("save nodepth.exr keep.ovq --params params.txt", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(readText(dir.file("keep.ovq")), "old");
}

TEST(SaveUsage, WrongArgumentsExitWithUsage)
{
    ScratchDir dir;
    for (const char* args : {"save", "save a.exr", "save a.exr b.ovq c", "save a.exr b.ovq --params",
                             "save a.exr b.ovq --colour x"}) {
        RunResult r = runOrvo(args, dir.path());
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << args;
    }
}

}  // namespace
