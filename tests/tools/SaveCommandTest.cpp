// `orvo save`: a render written as OpenEXR by the tests, saved through the
// tool, gives the same Orvo pictures as the same data saved through the host
// stand-in directly; and every bad input ends in one clear message.
#include "tools/SamePictures.h"
#include "tools/ToolTestSupport.h"
#include "tools/ExrWrite.h"
#include "tools/ToolProcess.h"

#include "hostsim/Host.h"
#include "hostsim/Plugin.h"
#include "hostsim/SimLayeredImage.h"
#include "avkorvo/OrvoReader.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>

using namespace tooltest;

namespace {

constexpr int kW = 7;
constexpr int kH = 5;

// A renderer's Z is planar depth, measured along the camera's axis; the
// distance to what a pixel sees is longer by this factor, for a pixel at
// (u, v) on a film one unit in front of the camera.
double distancePerPlanarDepth(double u, double v) { return std::sqrt(1 + u * u + v * v); }

const char kParams[]
    = "Parameters pos 1 2 3 worldMatrix 1 0 0 0 1 0 0 0 1 focalLen 4 apertureX 2 apertureY 1.5\n"
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
                const float hue[3][3]
                    = {{0.9f, 0.1f, 0.1f}, {0.1f, 0.8f, 0.1f}, {0.2f, 0.2f, 1.0f}};
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
    fennick::hostsim::Host host;
    fennick::hostsim::SimLayeredImage image(kW, kH);
    image.addFloatLayer("RGBA", 4, s.interleave({&s.r, &s.g, &s.b, &s.a}));
    image.addFloatLayer("Orvo_depth", 1, s.depth);
    image.addFloatLayer("Orvo_mat", 3, s.interleave({&s.mr, &s.mg, &s.mb}));
    fennick::hostsim::Plugin plugin(FENNICK_MODULE_PATH, host);
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
    RunResult r
        = runOrvo("save render.exr tool.ovq --params params.txt --rgb colour.tga", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // What was used, one line each, and one line for what was written.
    EXPECT_EQ(r.out, "depth layer: \"Orvo_depth\"\nmaterial layer: \"Orvo_mat\"\n"
                     "colour image: colour.tga\n"
                     "wrote tool.ovq: 7 x 5 pixels, colour, depth, material (3 materials)\n");
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
    std::vector<ExrChannel> mat
        = {{"B", scene.mb, true}, {"G", scene.mg, true}, {"R", scene.mr, true}};
    writeExr(dir.file("parts.exr"), kW, kH,
             {{"beauty", colourChannels(scene)},
              {"Orvo_depth", {{"Y", scene.depth}}},
              {"Orvo_mat", mat}});
    RunResult r
        = runOrvo("save parts.exr parts.ovq --params params.txt --rgb colour.tga", dir.path());
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
    writeExr(dir.file("nodepth.exr"), kW, kH, {{"", colourChannels(scene)}});
    writeExr(dir.file("nocolour.exr"), kW, kH, {{"", {{"Orvo_depth.Y", scene.depth}}}});
    writeBytes(dir.file("bad-params.txt"), {'P', 'a', 'r', 'a', 'm', 's', '\n'});
    ASSERT_EQ(::mkdir(dir.file("folder.ovq").c_str(), 0755), 0);

    struct Case {
        std::string args;
        std::string message;  // the start of standard error
    } cases[] = {
        {"save missing.exr t.ovq --params params.txt",
         "orvo: missing.exr: cannot read the OpenEXR render: "},
        {"save garbage.exr t.ovq --params params.txt",
         "orvo: garbage.exr: cannot read the OpenEXR render: "},
        {"save cut.exr t.ovq --params params.txt",
         "orvo: cut.exr: cannot read the OpenEXR render: "},
        {"save render.exr t.ovq --params nowhere.txt",
         "orvo: nowhere.txt: cannot read the parameter file: No such file or directory\n"},
        {"save render.exr t.ovq --params .",
         "orvo: .: cannot read the parameter file: not a regular file\n"},
        {"save render.exr t.ovq",
         "orvo: t.ovq.param.txt: no parameter file; give one with --params FILE, put it beside "
         "the target, or save a render that carries the OpenEXR attributes worldToCamera and "
         "worldToNDC\n"},
        {"save nocolour.exr t.ovq --params params.txt",
         "orvo: nocolour.exr: no colour layer (R, G, B channels) to make the colour image from; "
         "give one with --rgb\n"},
        {"save render.exr t.ovq --params params.txt --rgb none.tga",
         "orvo: none.tga: cannot read the colour image: No such file or directory\n"},
        {"save render.exr t.ovq --params params.txt --plugin ./none.so",
         "orvo: ./none.so: no plug-in file there (given with --plugin)\n"},
        {"save render.exr t.ovq --params bad-params.txt",
         "orvo: bad-params.txt:1: the file must begin with the word \"Parameters\", not "
         "\"Params\"\n"},
        {"save nodepth.exr t.ovq --params params.txt",
         "orvo: nodepth.exr: no depth layer (a layer named Orvo_depth...) and no depth channel "
         "(Z); give --depth CHANNEL, a channel of planar depth in scene units\n"},
        // A failure of the save itself: the saver's log line.
        {"save render.exr folder.ovq --params params.txt",
         "orvo: io-status: Error writing Orvo file - Is a directory\n"},
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
}

TEST_F(SaveCommand, AFailedSaveLeavesAnExistingTargetAlone)
{
    writeBytes(dir.file("keep.ovq"), {'o', 'l', 'd'});
    writeExr(dir.file("nodepth.exr"), kW, kH, {{"", colourChannels(scene)}});
    RunResult r = runOrvo("save nodepth.exr keep.ovq --params params.txt", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(readText(dir.file("keep.ovq")), "old");
}

TEST_F(SaveCommand, LayersTheHostCannotHoldAreLeftOutAndSaid)
{
    // A render as renderers write them: a bare Z beside the colour, a motion
    // layer of two channels, normals of three; the saver's layers as well.
    std::vector<ExrChannel> channels = colourChannels(scene);
    channels.push_back({"Z", scene.depth});
    channels.push_back({"motion.X", scene.r, true});
    channels.push_back({"motion.Y", scene.g, true});
    channels.push_back({"N.X", scene.r});
    channels.push_back({"N.Y", scene.g});
    channels.push_back({"N.Z", scene.b});
    channels.push_back({"Orvo_depth.Y", scene.depth});
    channels.push_back({"Orvo_mat.R", scene.mr});
    channels.push_back({"Orvo_mat.G", scene.mg});
    channels.push_back({"Orvo_mat.B", scene.mb});
    writeExr(dir.file("aovs.exr"), kW, kH, {{"", channels}});
    RunResult r
        = runOrvo("save aovs.exr aovs.ovq --params params.txt --rgb colour.tga", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "orvo: left out layer \"motion\" (X, Y): 2 channels; the host's layers hold "
                     "1, 3 or 4\n");
    expectSamePictures(dir.file("direct.ovq"), dir.file("aovs.ovq"));
}

TEST_F(SaveCommand, TellsWhichDepthAndMaterialLayersTheSaverTakes)
{
    // The saver's rule: the last layer that begins with the prefix, so that
    // Orvo_depth_old wins over Orvo_depth and Orvo_matte is the material.
    std::vector<ExrChannel> channels = colourChannels(scene);
    channels.push_back({"Orvo_depth.Y", std::vector<float>(kW * kH, 0.5f)});
    channels.push_back({"Orvo_depth_old.Y", scene.depth});
    channels.push_back({"Orvo_mat.R", scene.mr});
    channels.push_back({"Orvo_mat.G", scene.mg});
    channels.push_back({"Orvo_mat.B", scene.mb});
    channels.push_back({"Orvo_matte.Y", std::vector<float>(kW * kH, 1.0f)});
    writeExr(dir.file("two.exr"), kW, kH, {{"", channels}});
    RunResult r = runOrvo("save two.exr two.ovq --params params.txt", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "orvo: warning: 2 layers begin with \"Orvo_depth\" (Orvo_depth, "
                     "Orvo_depth_old); the saver uses the last, \"Orvo_depth_old\"\n"
                     "orvo: warning: 2 layers begin with \"Orvo_mat\" (Orvo_mat, Orvo_matte); "
                     "the saver uses the last, \"Orvo_matte\"\n");
    EXPECT_NE(r.out.find("depth layer: \"Orvo_depth_old\"\nmaterial layer: \"Orvo_matte\"\n"),
              std::string::npos)
        << r.out;
}

TEST_F(SaveCommand, DepthInSceneUnitsIsConvertedOrCalledOut)
{
    // Planar depth in scene units: the distance from the camera, seen along
    // its axis. The parameter file's camera: focal length 4, film 2 x 1 for
    // a 7 x 5 picture, depthMax 10.
    std::vector<float> z(kW * kH);
    std::vector<double> distance(kW * kH);
    const double fw = 2.0, fh = 2.0 * kH / kW, focal = 4.0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const double u = ((x + 0.5) / kW - 0.5) * fw / focal;
            const double v = (0.5 - (y + 0.5) / kH) * fh / focal;
            distance[y * kW + x] = 1.0 + 0.5 * x + 0.25 * y;
            z[y * kW + x] = float(distance[y * kW + x] / distancePerPlanarDepth(u, v));
        }
    z[0] = std::numeric_limits<float>::infinity();  // the background
    z[1] = 0.0f;
    z[2] = 12.0f;  // beyond depthMax
    std::vector<ExrChannel> channels = colourChannels(scene);
    channels.push_back({"Z", z});
    writeExr(dir.file("z.exr"), kW, kH, {{"", channels}});

    RunResult plain = runOrvo("save z.exr z.ovq --params params.txt", dir.path());
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.err, "orvo: z.exr: no depth layer (a layer named Orvo_depth...); the render "
                         "has the channel \"Z\": to save it as depth (a distance in scene units), "
                         "give --depth Z\n");

    RunResult r = runOrvo("save z.exr z.ovq --params params.txt --depth Z", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "orvo: warning: 1 of 35 samples of Z lie at depthMax (10) or farther; they "
                     "are saved as no depth\n");
    auto reader = Talvenrock::Orvo::OrvoReader::open(dir.file("z.ovq"));
    const double far = reader->summary().camera.farDistance;
    std::vector<std::uint32_t> row(kW);
    for (int y = 0; y < kH; ++y) {
        reader->readDepthRow(y, row.data());
        for (int x = 0; x < kW; ++x) {
            if (y == 0 && x < 3) {
                EXPECT_EQ(row[x], Talvenrock::Orvo::kNoDepth) << x;
                continue;
            }
            EXPECT_NEAR(Talvenrock::Orvo::depthDistance(row[x], far), distance[y * kW + x], 1e-5)
                << x << "," << y;
        }
    }

    // The same distances written straight into the depth layer: most are
    // outside 0..1, which is said with the count.
    std::vector<ExrChannel> wrong = colourChannels(scene);
    wrong.push_back({"Orvo_depth.Y", z});
    writeExr(dir.file("wrong.exr"), kW, kH, {{"", wrong}});
    RunResult w = runOrvo("save wrong.exr wrong.ovq --params params.txt", dir.path());
    EXPECT_EQ(w.status, 0) << w.err;
    EXPECT_EQ(w.err, "orvo: warning: 34 of 35 samples of the depth layer \"Orvo_depth\" are "
                     "negative, above 1, NaN or infinite; the layer holds 1 - distance / depthMax "
                     "(0 where nothing was hit); for a distance in scene units give --depth "
                     "CHANNEL\n");
}

TEST_F(SaveCommand, RefusesATargetThatIsOneOfItsInputs)
{
    const std::vector<unsigned char> render = readBytes(dir.file("render.exr"));
    const std::vector<unsigned char> colour = readBytes(dir.file("colour.tga"));
    ASSERT_EQ(::link(dir.file("render.exr").c_str(), dir.file("alias.exr").c_str()), 0);
    struct Case {
        const char* args;
        const char* message;
    } cases[] = {
        {"save render.exr render.exr --params params.txt",
         "orvo: render.exr: the target is the render render.exr; saving would replace it\n"},
        {"save render.exr ./alias.exr --params params.txt",
         "orvo: ./alias.exr: the target is the render render.exr; saving would replace it\n"},
        {"save render.exr params.txt --params params.txt",
         "orvo: params.txt: the target is the parameter file params.txt; saving would replace "
         "it\n"},
        {"save render.exr colour.tga --params params.txt --rgb colour.tga",
         "orvo: colour.tga: the target is the colour image colour.tga; saving would replace it\n"},
    };
    for (const Case& c : cases) {
        RunResult r = runOrvo(c.args, dir.path());
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err, c.message) << c.args;
    }
    EXPECT_EQ(readBytes(dir.file("render.exr")), render);
    EXPECT_EQ(readText(dir.file("params.txt")), kParams);
    EXPECT_EQ(readBytes(dir.file("colour.tga")), colour);
}

TEST_F(SaveCommand, ChecksTheParameterFileByLineAndKey)
{
    const std::string good = kParams;
    auto variant = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const std::string rowsMust = "its rows, the camera's right, up and back directions, must be "
                                 "unit vectors at right angles; ";
    struct Case {
        std::string text;
        std::string message;
    } cases[] = {
        {variant("focalLen 4", "focalLen 4mm"),
         "orvo: p.txt:1: key \"focalLen\": \"4mm\" is not a number\n"},
        {variant("depthMax 10", "depthMax -1"),
         "orvo: p.txt:3: key \"depthMax\": the depth range must be above 0, not -1\n"},
        {variant("dpi 300 pAspect 1", "pAspect 1 dpi 300"),
         "orvo: p.txt:2: expected the key \"dpi\", found \"pAspect\" (keys come in a fixed order "
         "and are case-sensitive)\n"},
        {variant("\ndepthMax 10\n", "\ndepthMax\n"),
         "orvo: p.txt:3: key \"depthMax\": the file ends before its value\n"},
        {variant("apertureY 1.5", "apertureY 0"),
         "orvo: p.txt:1: key \"apertureY\": the film height must be above 0, not 0\n"},
        // The saver would store any matrix as the camera's axes; only unit
        // rows at right angles are a camera.
        {variant("worldMatrix 1 0 0 0 1 0 0 0 1", "worldMatrix 0 0 0 0 0 0 0 0 0"),
         "orvo: p.txt:1: key \"worldMatrix\": " + rowsMust + "row 1 has length 0\n"},
        {variant("worldMatrix 1 0 0 0 1 0 0 0 1", "worldMatrix 1 0 0 0 1 0 0 0 2"),
         "orvo: p.txt:1: key \"worldMatrix\": " + rowsMust + "row 3 has length 2\n"},
        {variant("worldMatrix 1 0 0 0 1 0 0 0 1", "worldMatrix 1 0 0 0.6 0.8 0\n0 0 1"),
         "orvo: p.txt:1: key \"worldMatrix\": " + rowsMust
             + "row 1 and row 2 are not at right angles (their dot product is 0.6)\n"},
    };
    for (const Case& c : cases) {
        writeBytes(dir.file("p.txt"), std::vector<unsigned char>(c.text.begin(), c.text.end()));
        RunResult r = runOrvo("save render.exr t.ovq --params p.txt", dir.path());
        EXPECT_EQ(r.status, 1) << c.text;
        // The tool's message, not the plug-in's: the plug-in never ran.
        EXPECT_EQ(r.err, c.message) << c.text;
        EXPECT_FALSE(fileExists(dir.file("t.ovq")));
        EXPECT_FALSE(fileExists(dir.file("t.ovq.param.txt")));
    }
}

TEST_F(SaveCommand, ChecksTheColourImageAndSaysWhatItIs)
{
    std::vector<unsigned char> tga = readBytes(dir.file("colour.tga"));
    std::vector<unsigned char> rle = tga;
    rle[2] = 10;
    rle[16] = 24;
    writeBytes(dir.file("rle.tga"), rle);
    std::vector<unsigned char> wide = tga;
    wide[12] = kW + 1;
    writeBytes(dir.file("wide.tga"), wide);
    std::vector<unsigned char> cut(tga.begin(), tga.end() - 4);
    writeBytes(dir.file("cut.tga"), cut);
    writeBytes(dir.file("tiny.tga"), {1, 2, 3});
    // A colour map the saver skips: its six bytes count towards the file's
    // length, which this one lacks.
    std::vector<unsigned char> mapped = tga;
    mapped[1] = 1;
    mapped[5] = 2;
    mapped[7] = 24;
    writeBytes(dir.file("mapped.tga"), mapped);
    std::vector<unsigned char> badMap = tga;
    badMap[1] = 2;
    writeBytes(dir.file("badmap.tga"), badMap);
    const std::string needed
        = "; the colour image must be an uncompressed 32-bit TGA (type 2) of 7 x 5 pixels\n";
    struct Case {
        const char* file;
        std::string message;
    } cases[] = {
        {"rle.tga", "orvo: rle.tga: a TGA of type 10 (run-length encoded true colour), 24 bits a "
                    "pixel, 7 x 5 pixels"
                        + needed},
        {"wide.tga", "orvo: wide.tga: a TGA of type 2 (uncompressed true colour), 32 bits a "
                     "pixel, 8 x 5 pixels"
                         + needed},
        {"cut.tga", "orvo: cut.tga: a TGA of type 2 (uncompressed true colour), 32 bits a pixel, "
                    "7 x 5 pixels, but the file ends after 154 bytes of the 158 its pixels "
                    "need\n"},
        {"tiny.tga",
         "orvo: tiny.tga: not a TGA file (3 bytes, shorter than a TGA header)" + needed},
        {"mapped.tga",
         "orvo: mapped.tga: a TGA of type 2 (uncompressed true colour), 32 bits a pixel, "
         "7 x 5 pixels, but the file ends after 158 bytes of the 164 its pixels need\n"},
        {"badmap.tga",
         "orvo: badmap.tga: a TGA of type 2 (uncompressed true colour), 32 bits a pixel, "
         "7 x 5 pixels, colour map type 2"
             + needed},
    };
    for (const Case& c : cases) {
        RunResult r = runOrvo(
            std::string("save render.exr t.ovq --params params.txt --rgb ") + c.file, dir.path());
        EXPECT_EQ(r.status, 1) << c.file;
        EXPECT_EQ(r.err, c.message) << c.file;
        EXPECT_FALSE(fileExists(dir.file("t.ovq.rgb.tga")));
    }
}

TEST_F(SaveCommand, NamesTheMissingFolderAndRefusesNamedPipes)
{
    RunResult folder = runOrvo("save render.exr nowhere/t.ovq --params params.txt", dir.path());
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err, "orvo: nowhere: the folder for the target nowhere/t.ovq does not exist: "
                          "No such file or directory\n");

    ASSERT_EQ(::mkfifo(dir.file("pipe.exr").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe.txt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe.tga").c_str(), 0600), 0);
    struct Case {
        const char* args;
        const char* message;
    } cases[] = {
        {"save pipe.exr t.ovq --params params.txt",
         "orvo: pipe.exr: cannot read the OpenEXR render: not a regular file\n"},
        {"save render.exr t.ovq --params pipe.txt",
         "orvo: pipe.txt: cannot read the parameter file: not a regular file\n"},
        {"save render.exr t.ovq --params params.txt --rgb pipe.tga",
         "orvo: pipe.tga: cannot read the colour image: not a regular file\n"},
    };
    for (const Case& c : cases) {
        RunResult r = runOrvo(c.args, dir.path(), 20);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err, c.message) << c.args;
    }
}

// A render large enough that the plug-in is still saving when a signal
// comes.
void writeBigRender(const std::string& path)
{
    constexpr int kBigW = 1200, kBigH = 900;
    std::vector<float> grey(kBigW * kBigH, 0.5f), depth(kBigW * kBigH, 0.25f);
    writeExr(path, kBigW, kBigH,
             {{"", {{"R", grey}, {"G", grey}, {"B", grey}, {"Orvo_depth.Y", depth}}}});
}

TEST_F(SaveCommand, AnInterruptedSaveLeavesNothingOfItsOwnAndPutsBackTheUsersFile)
{
    writeBigRender(dir.file("big.exr"));
    writeParams(dir.file("big.ovq.param.txt"));
    const std::set<std::string> before = folderEntries(dir.path());
    const std::string param = dir.file("big.ovq.param.txt"), rgb = dir.file("big.ovq.rgb.tga");
    // The saver has consumed the user's parameter file and not yet the
    // colour image: it is writing the Orvo file, whose unfinished file lies
    // beside the tool's own, where the user's parameter file waits.
    auto temporaryFiles = [&] {
        const std::set<std::string> names = folderEntries(dir.path());
        return std::count_if(names.begin(), names.end(), [](const std::string& n) {
            return n.find(".orvo-tmp-") != std::string::npos;
        });
    };
    InterruptedRun r
        = runOrvoAndInterrupt({"save", "big.exr", "big.ovq"}, dir.path(), SIGTERM, [&] {
              return fileExists(rgb) && !fileExists(param) && temporaryFiles() == 2;
          });
    ASSERT_TRUE(r.signalled) << "the save ended before the signal could be sent";
    EXPECT_EQ(r.terminatedBy, SIGTERM);
    EXPECT_EQ(folderEntries(dir.path()), before);
    EXPECT_EQ(readText(param), kParams);
    // One line says what went and what came back; the saver's unfinished
    // file is among what went.
    EXPECT_EQ(r.err.rfind("orvo: interrupted; removed ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("big.ovq.rgb.tga"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(".orvo-tmp-"), std::string::npos) << r.err;
    const std::string putBack = "; put back big.ovq.param.txt\n";
    EXPECT_EQ(r.err.find(putBack), r.err.size() - putBack.size()) << r.err;
}

// The saver writes its unfinished file beside the file a symbolic link
// leads to, in another folder: that one goes too.
TEST_F(SaveCommand, AnInterruptedSaveThroughALinkIntoAnotherFolderLeavesNothingThere)
{
    writeBigRender(dir.file("big.exr"));
    ASSERT_EQ(::mkdir(dir.file("real").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("real/shot.ovq", dir.file("link.ovq").c_str()), 0);
    const std::set<std::string> before = folderEntries(dir.path());
    const std::string param = dir.file("link.ovq.param.txt"), rgb = dir.file("link.ovq.rgb.tga");
    // The saver is writing: its unfinished file is there.
    InterruptedRun r = runOrvoAndInterrupt(
        {"save", "big.exr", "link.ovq", "--params", "params.txt"}, dir.path(), SIGINT, [&] {
            return fileExists(rgb) && !fileExists(param)
                   && anyEntryContains(dir.file("real"), ".orvo-tmp-");
        });
    ASSERT_TRUE(r.signalled) << "the save ended before the signal could be sent";
    EXPECT_EQ(r.terminatedBy, SIGINT);
    EXPECT_EQ(folderEntries(dir.file("real")), std::set<std::string>{}) << r.err;
    EXPECT_EQ(folderEntries(dir.path()), before);
    EXPECT_NE(r.err.find("real/.orvo-tmp-"), std::string::npos) << r.err;
}

// A camera the tests know: at (1, 2, 3), turned 30 degrees about Y and
// then -20 degrees about X (in the world's axes: R = Ry Rx), focal length
// 30 mm on a 36 mm film, fitted horizontally.
struct KnownCamera {
    static constexpr double kYaw = 30, kPitch = -20;
    double pos[3] = {1, 2, 3};
    double right[3], up[3], back[3];
    double focal = 0.030, filmWidth = 0.036;
    // A pixel's width over its height: the film is this much less tall than
    // the pixel counts say.
    double pixelAspect = 1;
    KnownCamera()
    {
        const double pi = 3.14159265358979323846;
        const double c = std::cos(kYaw * pi / 180), s = std::sin(kYaw * pi / 180);
        const double cp = std::cos(kPitch * pi / 180), sp = std::sin(kPitch * pi / 180);
        const double r[3] = {c, 0, -s}, u[3] = {s * sp, cp, c * sp}, b[3] = {s * cp, -sp, c * cp};
        for (int k = 0; k < 3; ++k) {
            right[k] = r[k];
            up[k] = u[k];
            back[k] = b[k];
        }
    }
    // Focal length over film width and height, for a picture of w x h.
    double sx() const { return focal / filmWidth; }
    double filmHeight(int w, int h) const { return filmWidth * h / (w * pixelAspect); }
    double sy(int w, int h) const { return focal / filmHeight(w, h); }

    // OpenEXR's matrices: points are row vectors; camera space looks along
    // +z with y up (left-handed).
    Imath::M44f worldToCamera() const
    {
        Imath::M44f m;  // identity
        for (int i = 0; i < 3; ++i) {
            m[i][0] = float(right[i]);
            m[i][1] = float(up[i]);
            m[i][2] = float(-back[i]);
        }
        for (int j = 0; j < 3; ++j) {
            const double* axis = j == 0 ? right : j == 1 ? up : back;
            const double sign = j == 2 ? -1 : 1;
            m[3][j] = float(-sign * (pos[0] * axis[0] + pos[1] * axis[1] + pos[2] * axis[2]));
        }
        return m;
    }
    Imath::M44f worldToNdc(int w, int h) const
    {
        Imath::M44f p;
        p.makeIdentity();
        p[0][0] = float(sx());
        p[1][1] = float(-sy(w, h));
        p[2][0] = 0.5f;
        p[2][1] = 0.5f;
        p[2][2] = 1.0f;
        p[2][3] = 1.0f;
        p[3][2] = -0.1f;
        p[3][3] = 0.0f;
        return worldToCamera() * p;
    }
    // The saver's record of this camera (position and axes in the record's
    // Z-up frame, the film centred at the focal length).
    void expectRecord(const Talvenrock::Orvo::Camera& c, int w, int h, double depthMax) const
    {
        constexpr double kTolerance = 1e-5;  // the matrices are floats
        const double fh = filmHeight(w, h);
        const double position[3] = {pos[0], -pos[2], pos[1]};
        const double x[3] = {right[0], -right[2], right[1]};
        const double y[3] = {up[0], -up[2], up[1]};
        const double z[3] = {-back[0], back[2], -back[1]};
        const double tl[3] = {-0.5 * filmWidth, 0.5 * fh, focal};
        const double br[3] = {0.5 * filmWidth, -0.5 * fh, focal};
        EXPECT_EQ(c.kind, 0u);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(c.position[k], position[k], kTolerance) << k;
            EXPECT_NEAR(c.xAxis[k], x[k], kTolerance) << k;
            EXPECT_NEAR(c.yAxis[k], y[k], kTolerance) << k;
            EXPECT_NEAR(c.zAxis[k], z[k], kTolerance) << k;
            EXPECT_NEAR(c.topLeft[k], tl[k], kTolerance) << k;
            EXPECT_NEAR(c.bottomRight[k], br[k], kTolerance) << k;
        }
        EXPECT_EQ(c.spareAxis[2], 1.0);
        EXPECT_EQ(c.nearDistance, 0.0);
        EXPECT_NEAR(c.farDistance, 1.5 * depthMax, 1.5 * depthMax * kTolerance);
        EXPECT_EQ(c.scale, 1.0);
        EXPECT_EQ(c.code, 4u);
    }
};

TEST_F(SaveCommand, ParamsWritesTheCameraAUserDescribes)
{
    RunResult p = runOrvo("params cam.txt --position 1,2,3 --rotation -20,30,0 --focal-length 30 "
                          "--film-back 36x24 --depth-max 10 --dpi 150",
                          dir.path());
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_EQ(p.out, "wrote cam.txt\n");
    RunResult again = runOrvo("params cam.txt --depth-max 10", dir.path());
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, "orvo: cam.txt: exists already; remove it or choose another name\n");

    RunResult r = runOrvo("save render.exr cam.ovq --params cam.txt", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    auto reader = Talvenrock::Orvo::OrvoReader::open(dir.file("cam.ovq"));
    KnownCamera().expectRecord(reader->summary().camera, kW, kH, 10);
    EXPECT_EQ(reader->summary().xResolution, 150);

    // Numbers as a person writes them: quarter turns give 0s and 1s, not the
    // noise of pi / 2 in radians; -0 is 0; millimetres become the shortest
    // metres that read back exactly.
    RunResult turned = runOrvo("params - --position 0.1,-0,2.5 --rotation 90,0,180 "
                               "--focal-length 35 --film-back 36x24 --depth-max 10 "
                               "--pixel-aspect 0.8",
                               dir.path());
    ASSERT_EQ(turned.status, 0) << turned.err;
    EXPECT_EQ(turned.out, "Parameters\n"
                          "pos 0.1 0 2.5\n"
                          "worldMatrix -1 0 0 0 0 1 0 1 0\n"
                          "focalLen 0.035\n"
                          "apertureX 0.036\n"
                          "apertureY 0.024\n"
                          "offsetX 0\n"
                          "offsetY 0\n"
                          "squeeze 1\n"
                          "filmFit horizontal\n"
                          "projType persp\n"
                          "dpi 72\n"
                          "pAspect 0.8\n"
                          "depthMax 10\n");
    // In a world whose Z is up (Blender's), a camera turned 90 degrees about
    // X looks along +Y with +Z up: the host's unturned camera, at a position
    // whose Y and Z trade places, one with its sign.
    RunResult zUp
        = runOrvo("params - --up z --position 1,2,3 --rotation 90,0,0 --depth-max 10", dir.path());
    RunResult yUp = runOrvo("params - --position 1,3,-2 --depth-max 10", dir.path());
    ASSERT_EQ(zUp.status, 0) << zUp.err;
    EXPECT_EQ(zUp.out, yUp.out);

    // The saver reads the same doubles back: the record's axes (in its Z-up
    // frame, zAxis minus the back row) and film hold them exactly.
    writeBytes(dir.file("turned.txt"),
               std::vector<unsigned char>(turned.out.begin(), turned.out.end()));
    RunResult saved = runOrvo("save render.exr turned.ovq --params turned.txt", dir.path());
    ASSERT_EQ(saved.status, 0) << saved.err;
    const Talvenrock::Orvo::Camera c
        = Talvenrock::Orvo::OrvoReader::open(dir.file("turned.ovq"))->summary().camera;
    const double position[3] = {0.1, -2.5, 0}, x[3] = {-1, 0, 0}, y[3] = {0, -1, 0},
                 z[3] = {0, 0, -1};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(c.position[k], position[k]) << k;
        EXPECT_EQ(c.xAxis[k], x[k]) << k;
        EXPECT_EQ(c.yAxis[k], y[k]) << k;
        EXPECT_EQ(c.zAxis[k], z[k]) << k;
    }
    EXPECT_EQ(c.topLeft[0], -0.018);
    EXPECT_EQ(c.topLeft[2], 0.035);
    EXPECT_EQ(c.farDistance, 15);
}

TEST_F(SaveCommand, TakesTheCameraFromTheRendersAttributes)
{
    const KnownCamera camera;
    std::vector<ExrChannel> channels = colourChannels(scene);
    channels.push_back({"Orvo_depth.Y", scene.depth});
    ExrPart part{"", channels};
    part.worldToCamera = camera.worldToCamera();
    part.worldToNdc = camera.worldToNdc(kW, kH);
    writeExr(dir.file("cam.exr"), kW, kH, {part});

    RunResult r = runOrvo("save cam.exr cam.ovq --depth-max 10", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "orvo: no parameter file: the camera comes from the render's worldToCamera "
                     "and worldToNDC\n");
    auto reader = Talvenrock::Orvo::OrvoReader::open(dir.file("cam.ovq"));
    camera.expectRecord(reader->summary().camera, kW, kH, 10);
    // The depth layer kept its meaning: the same codes as with the file.
    auto direct = Talvenrock::Orvo::OrvoReader::open(dir.file("direct.ovq"));
    std::vector<std::uint32_t> a(kW), b(kW);
    for (int y = 0; y < kH; ++y) {
        reader->readDepthRow(y, a.data());
        direct->readDepthRow(y, b.data());
        EXPECT_EQ(a, b) << y;
    }
    EXPECT_FALSE(fileExists(dir.file("cam.ovq.param.txt")));

    // Pixels twice as wide as tall: the frame is half as tall as square
    // pixels would make it, as worldToNDC says.
    KnownCamera wide;
    wide.pixelAspect = 2;
    ExrPart widePart = part;
    widePart.worldToNdc = wide.worldToNdc(kW, kH);
    widePart.pixelAspectRatio = float(wide.pixelAspect);
    writeExr(dir.file("wide.exr"), kW, kH, {widePart});
    RunResult w = runOrvo("save wide.exr wide.ovq --depth-max 10", dir.path());
    ASSERT_EQ(w.status, 0) << w.err;
    wide.expectRecord(Talvenrock::Orvo::OrvoReader::open(dir.file("wide.ovq"))->summary().camera,
                      kW, kH, 10);

    // Without a depth range the layer cannot be scaled; without worldToNDC
    // the lens is unknown.
    RunResult noRange = runOrvo("save cam.exr t.ovq", dir.path());
    EXPECT_EQ(noRange.status, 1);
    EXPECT_NE(noRange.err.find("give --depth-max DISTANCE"), std::string::npos) << noRange.err;
    part.worldToNdc.reset();
    writeExr(dir.file("nondc.exr"), kW, kH, {part});
    RunResult noNdc = runOrvo("save nondc.exr t.ovq --depth-max 10", dir.path());
    EXPECT_EQ(noNdc.status, 1);
    EXPECT_EQ(noNdc.err, "orvo: nondc.exr: the render's camera cannot be used: it has "
                         "worldToCamera but no worldToNDC, which holds the lens; give the camera "
                         "with --params FILE\n");
    EXPECT_FALSE(fileExists(dir.file("t.ovq")));
}

TEST(SaveRendererOutput, NamesUnderAViewLayerAndTheLargestHalfAsSkyAreTakenAsMeant)
{
    // Every channel under the view layer's name, as Blender writes them;
    // depth in 32-bit floats, where the sky is 65504, the largest half (as
    // Eevee keeps its depth).
    ScratchDir dir;
    constexpr int w = 8, h = 5;
    const KnownCamera camera;
    std::vector<float> r(w * h, 0.5f), a(w * h, 1.0f), z(w * h), mr(w * h), mg(w * h), mb(w * h);
    std::vector<double> distance(w * h);
    double farthest = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int i = y * w + x;
            const double u = ((x + 0.5) / w - 0.5) / camera.sx();
            const double v = (0.5 - (y + 0.5) / h) / camera.sy(w, h);
            // What the channel holds, and the distance it stands for.
            z[i] = float(2.0 + 0.3 * x + 0.2 * y);
            distance[i] = double(z[i]) * distancePerPlanarDepth(u, v);
            // Three materials in vertical bands.
            mr[i] = x < 3 ? 1.0f : 0.0f;
            mg[i] = x >= 3 && x < 6 ? 1.0f : 0.0f;
            mb[i] = x >= 6 ? 1.0f : 0.0f;
            if (i != 0)
                farthest = std::max(farthest, distance[i]);
        }
    z[0] = 65504.0f;
    ExrPart part{"",
                 {{"ViewLayer.Combined.R", r, true},
                  {"ViewLayer.Combined.G", r, true},
                  {"ViewLayer.Combined.B", r, true},
                  {"ViewLayer.Combined.A", a, true},
                  {"ViewLayer.Depth.Z", z},
                  {"ViewLayer.Orvo_mat.R", mr},
                  {"ViewLayer.Orvo_mat.G", mg},
                  {"ViewLayer.Orvo_mat.B", mb}}};
    part.worldToCamera = camera.worldToCamera();
    part.worldToNdc = camera.worldToNdc(w, h);
    writeExr(dir.file("blender.exr"), w, h, {part});

    RunResult s = runOrvo("save blender.exr shot.ovq --depth Z", dir.path());
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_NE(s.out.find("depth layer: \"Orvo_depth\", from channel ViewLayer.Depth.Z"),
              std::string::npos)
        << s.out;
    EXPECT_NE(s.out.find("material layer: \"Orvo_mat\""), std::string::npos) << s.out;
    auto reader = Talvenrock::Orvo::OrvoReader::open(dir.file("shot.ovq"));
    const auto& summary = reader->summary();
    EXPECT_EQ(summary.materialCount, 3u);
    // The range comes from the farthest real hit, not from the sky.
    const double depthMax = farthest * 1.25;
    EXPECT_NEAR(summary.camera.farDistance, 1.5 * depthMax, 1e-4);
    std::vector<std::uint32_t> row(w);
    for (int y = 0; y < h; ++y) {
        reader->readDepthRow(y, row.data());
        for (int x = 0; x < w; ++x) {
            if (y == 0 && x == 0)
                EXPECT_EQ(row[x], Talvenrock::Orvo::kNoDepth);
            else
                EXPECT_NEAR(Talvenrock::Orvo::depthDistance(row[x], summary.camera.farDistance),
                            distance[y * w + x], 1e-5)
                    << x << "," << y;
        }
    }

    // A short name that fits two channels is refused with both.
    ExrPart two{"", {{"ViewLayer.Depth.Z", z, true}, {"ViewLayer.Mist.Z", z}}};
    two.worldToCamera = camera.worldToCamera();
    two.worldToNdc = camera.worldToNdc(w, h);
    writeExr(dir.file("two.exr"), w, h, {two});
    RunResult ambiguous = runOrvo("save two.exr two.ovq --depth Z", dir.path());
    EXPECT_EQ(ambiguous.status, 1);
    EXPECT_EQ(ambiguous.err, "orvo: two.exr: 2 channels are named by \"Z\" (ViewLayer.Depth.Z, "
                             "ViewLayer.Mist.Z); give --depth one of them\n");
}

TEST(SaveRendererOutput, ACameraInAZUpWorldIsCarriedIntoTheHostsWorld)
{
    // The known camera's matrices as a Z-up renderer writes them: a world
    // point (x, y, z) there is (x, z, -y) in the host's world.
    ScratchDir dir;
    constexpr int w = 6, h = 4;
    const KnownCamera camera;
    const Imath::M44f zUpToHost(1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1);
    std::vector<float> grey(w * h, 0.5f), z(w * h, 5.0f);
    double farthest = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double u = ((x + 0.5) / w - 0.5) / camera.sx();
            const double v = (0.5 - (y + 0.5) / h) / camera.sy(w, h);
            farthest = std::max(farthest, 5.0 * distancePerPlanarDepth(u, v));
        }
    ExrPart part{"", {{"R", grey}, {"G", grey}, {"B", grey}, {"Z", z}}};
    part.worldToCamera = zUpToHost * camera.worldToCamera();
    part.worldToNdc = zUpToHost * camera.worldToNdc(w, h);
    writeExr(dir.file("zup.exr"), w, h, {part});

    RunResult s = runOrvo("save zup.exr zup.ovq --depth Z --up z", dir.path());
    ASSERT_EQ(s.status, 0) << s.err;
    camera.expectRecord(Talvenrock::Orvo::OrvoReader::open(dir.file("zup.ovq"))->summary().camera,
                        w, h, farthest * 1.25);

    // A parameter file is in the host's world already.
    writeBytes(dir.file("zup.ovq.param.txt"), {'P'});
    RunResult params
        = runOrvo("save zup.exr again.ovq --params zup.ovq.param.txt --up z", dir.path());
    EXPECT_EQ(params.status, 1);
    EXPECT_EQ(params.err, "orvo: zup.ovq.param.txt: the parameter file is in the host's world, Y "
                          "up; --up z applies only to a camera taken from the render\n");
}

TEST(SaveRendererOutput, ARenderAsRenderersWriteItSavesWithOnlyTheDepthChannelNamed)
{
    // RGBA in half floats, Z in scene units (float), a two-channel motion
    // AOV (half), the camera in worldToCamera and worldToNDC, tiled.
    ScratchDir dir;
    constexpr int w = 9, h = 6;
    const KnownCamera camera;
    std::vector<float> r(w * h), g(w * h), b(w * h), a(w * h, 1.0f), z(w * h), mx(w * h), my(w * h);
    std::vector<double> distance(w * h, 0.0);
    double nearest = 1e30, farthest = 0;
    auto pixelFactor = [&](int x, int y) {
        const double u = ((x + 0.5) / w - 0.5) / camera.sx();
        const double v = (0.5 - (y + 0.5) / h) / camera.sy(w, h);
        return distancePerPlanarDepth(u, v);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int i = y * w + x;
            r[i] = 0.1f * x;
            g[i] = 0.15f * y;
            b[i] = 0.4f;
            mx[i] = 0.5f * x;
            my[i] = -0.5f * y;
            distance[i] = 3.0 + 0.4 * x + 0.7 * y;
            z[i] = float(distance[i] / pixelFactor(x, y));
        }
    // The background: at infinity, and at 0 where a renderer clears it.
    z[0] = std::numeric_limits<float>::infinity();
    z[w - 1] = 0.0f;
    for (int i = 0; i < w * h; ++i) {
        if (i == 0 || i == w - 1)
            continue;
        // What the tool reads back from the float channel.
        distance[i] = double(z[i]) * pixelFactor(i % w, i / w);
        nearest = std::min(nearest, distance[i]);
        farthest = std::max(farthest, distance[i]);
    }
    ExrPart part{"",
                 {{"R", r, true},
                  {"G", g, true},
                  {"B", b, true},
                  {"A", a, true},
                  {"Z", z},
                  {"motion.X", mx, true},
                  {"motion.Y", my, true}}};
    part.tiled = true;
    part.worldToCamera = camera.worldToCamera();
    part.worldToNdc = camera.worldToNdc(w, h);
    writeExr(dir.file("beauty.exr"), w, h, {part});

    RunResult s = runOrvo("save beauty.exr shot.ovq --depth Z", dir.path());
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_NE(s.err.find("orvo: left out layer \"motion\" (X, Y)"), std::string::npos) << s.err;
    EXPECT_NE(s.err.find("orvo: no parameter file: the camera comes from the render"),
              std::string::npos)
        << s.err;

    RunResult info = runOrvo("info --json shot.ovq", dir.path());
    ASSERT_EQ(info.status, 0) << info.err;
    const nlohmann::json j = nlohmann::json::parse(info.out);
    const nlohmann::json& c = j.at("camera");
    const double depthMax = farthest * 1.25;  // the farthest hit with the tool's margin
    auto reader = Talvenrock::Orvo::OrvoReader::open(dir.file("shot.ovq"));
    camera.expectRecord(reader->summary().camera, w, h, depthMax);
    // The JSON report holds the same record.
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(c.at("position")[k].get<double>(), reader->summary().camera.position[k]);
        EXPECT_EQ(c.at("zAxis")[k].get<double>(), reader->summary().camera.zAxis[k]);
        EXPECT_EQ(c.at("topLeft")[k].get<double>(), reader->summary().camera.topLeft[k]);
    }
    EXPECT_NEAR(c.at("farDistance").get<double>(), 1.5 * depthMax, 1e-4);
    const nlohmann::json& d = j.at("depth");
    EXPECT_EQ(d.at("noDepth").get<int>(), 2);
    EXPECT_NEAR(d.at("nearestDistance").get<double>(), nearest, 1e-5);
    EXPECT_NEAR(d.at("farthestDistance").get<double>(), farthest, 1e-5);
    // Every pixel's distance.
    std::vector<std::uint32_t> row(w);
    for (int y = 0; y < h; ++y) {
        reader->readDepthRow(y, row.data());
        for (int x = 0; x < w; ++x) {
            if (y == 0 && (x == 0 || x == w - 1)) {
                EXPECT_EQ(row[x], Talvenrock::Orvo::kNoDepth);
                continue;
            }
            EXPECT_NEAR(Talvenrock::Orvo::depthDistance(row[x], 1.5 * depthMax),
                        distance[y * w + x], 1e-5)
                << x << "," << y;
        }
    }
}

}  // namespace

namespace {

std::vector<std::uint16_t> materialTags(const std::string& file)
{
    auto reader = Talvenrock::Orvo::OrvoReader::open(file);
    const auto& s = reader->summary();
    std::vector<std::uint16_t> tags(std::size_t(s.width) * s.height);
    for (std::uint32_t y = 0; y < s.height; ++y)
        reader->readMaterialRow(y, tags.data() + std::size_t(y) * s.width);
    return tags;
}

float floatWithBits(std::uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// A render laid out as Blender writes one, with the camera's attributes.
ExrPart viewLayerPart(int w, int h, std::vector<ExrChannel> extra)
{
    const KnownCamera camera;
    const std::vector<float> grey(std::size_t(w * h), 0.5f), z(std::size_t(w * h), 5.0f);
    ExrPart part{"",
                 {{"ViewLayer.Combined.R", grey},
                  {"ViewLayer.Combined.G", grey},
                  {"ViewLayer.Combined.B", grey},
                  {"ViewLayer.Depth.Z", z}}};
    for (ExrChannel& c : extra)
        part.channels.push_back(std::move(c));
    part.worldToCamera = camera.worldToCamera();
    part.worldToNdc = camera.worldToNdc(w, h);
    return part;
}

}  // namespace

TEST(SaveRendererOutput, MaterialIdsBecomeOneTagEachNamedAsTheRendererNamesThem)
{
    // Four vertical bands two pixels wide: sky, then three materials, as a
    // Material Index channel (7, 3, 12; one antialiased sample of 2.5) and
    // as Cryptomatte's rank-0 IDs (two named in the manifest, one not).
    ScratchDir dir;
    constexpr int w = 8, h = 6;
    const std::uint32_t hashes[3] = {0x24950135u, 0x6e1a9181u, 0x41200000u};
    const float indices[3] = {7, 3, 12};
    std::vector<float> index(w * h), rank0(w * h), coverage(w * h), other(w * h), red(w * h, 1.0f);
    std::vector<std::uint16_t> expectedByIndex(w * h), expectedByHash(w * h);
    for (int i = 0; i < w * h; ++i) {
        const int band = i % w / 2;
        index[i] = band == 0 ? 0.0f : indices[band - 1];
        rank0[i] = band == 0 ? 0.0f : floatWithBits(hashes[band - 1]);
        coverage[i] = band == 0 ? 0.0f : 1.0f;
        // Tags count from the first pixel of each material, row by row.
        expectedByIndex[i] = expectedByHash[i] = static_cast<std::uint16_t>(band);
    }
    const int edge = 5 * w + 4;
    index[edge] = 2.5f;
    expectedByIndex[edge] = 0;
    ExrPart part = viewLayerPart(w, h,
                                 {{"ViewLayer.IndexMA.X", index},
                                  {"ViewLayer.CryptoMaterial00.r", rank0},
                                  {"ViewLayer.CryptoMaterial00.g", coverage},
                                  {"ViewLayer.CryptoMaterial00.b", other},
                                  {"ViewLayer.CryptoMaterial00.a", other},
                                  {"ViewLayer.Orvo_mat.R", red},
                                  {"ViewLayer.Orvo_mat.G", other},
                                  {"ViewLayer.Orvo_mat.B", other}});
    part.texts = {{"cryptomatte/c7dbf5e/name", "ViewLayer.CryptoMaterial"},
                  {"cryptomatte/c7dbf5e/hash", "MurmurHash3_32"},
                  {"cryptomatte/c7dbf5e/conversion", "uint32_to_float32"},
                  {"cryptomatte/c7dbf5e/manifest",
                   R"({"Ground":"24950135","Red":"6e1a9181","default_surface":"78d05529"})"}};
    writeExr(dir.file("ids.exr"), w, h, {part});

    RunResult byIndex = runOrvo("save ids.exr index.ovq --depth Z --materials IndexMA", dir.path());
    ASSERT_EQ(byIndex.status, 0) << byIndex.err;
    EXPECT_NE(byIndex.out.find("material layer: \"Orvo_mat\", from channel ViewLayer.IndexMA.X (3 "
                               "IDs)\n"),
              std::string::npos)
        << byIndex.out;
    EXPECT_NE(byIndex.out.find("(3 materials)\nMat 1: ID 7 (12 pixels)\nMat 2: ID 3 (11 pixels)\n"
                               "Mat 3: ID 12 (12 pixels)\n"),
              std::string::npos)
        << byIndex.out;
    EXPECT_NE(byIndex.err.find("orvo: left out layer \"Orvo_mat\": --materials "
                               "ViewLayer.IndexMA.X replaces it\n"),
              std::string::npos)
        << byIndex.err;
    EXPECT_NE(byIndex.err.find("orvo: warning: 1 of 48 samples of ViewLayer.IndexMA.X are not "
                               "whole numbers"),
              std::string::npos)
        << byIndex.err;
    EXPECT_EQ(materialTags(dir.file("index.ovq")), expectedByIndex);

    RunResult byHash
        = runOrvo("save ids.exr hash.ovq --depth Z --materials CryptoMaterial", dir.path());
    ASSERT_EQ(byHash.status, 0) << byHash.err;
    EXPECT_NE(byHash.out.find("Mat 1: Ground (12 pixels)\nMat 2: Red (12 pixels)\n"
                              "Mat 3: ID 41200000 (12 pixels)\n"),
              std::string::npos)
        << byHash.out;
    EXPECT_EQ(materialTags(dir.file("hash.ovq")), expectedByHash);
    // The file's own names stay the saver's.
    EXPECT_EQ(Talvenrock::Orvo::OrvoReader::open(dir.file("hash.ovq"))->summary().materialCount,
              3u);

    RunResult missing = runOrvo("save ids.exr none.ovq --depth Z --materials IndexOB", dir.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("orvo: ids.exr: no channel \"IndexOB\" for --materials; the "
                                "channels are ViewLayer.Combined.B",
                                0),
              0u)
        << missing.err;
    EXPECT_FALSE(fileExists(dir.file("none.ovq")));
}

TEST(SaveRendererOutput, EveryTagTheFileHasGoesToAnIdOfItsOwn)
{
    // 65535 IDs, one a pixel after a pixel of none: as many materials as
    // the file's 16-bit tags can tell apart, each hue still its own.
    ScratchDir dir;
    constexpr int side = 256;
    std::vector<float> ids(side * side);
    std::vector<std::uint16_t> expected(side * side);
    for (int i = 0; i < side * side; ++i) {
        ids[i] = float(i);
        expected[i] = static_cast<std::uint16_t>(i);
    }
    writeExr(dir.file("many.exr"), side, side,
             {viewLayerPart(side, side, {{"ViewLayer.IndexOB.X", ids}})});
    RunResult all = runOrvo("save many.exr many.ovq --depth Z --materials IndexOB", dir.path());
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(materialTags(dir.file("many.ovq")), expected);
    EXPECT_NE(all.out.find("\nMat 65535: ID 65535 (1 pixel)\n"), std::string::npos);
    EXPECT_EQ(all.err.find("warning"), std::string::npos) << all.err;

    // One more is more than the tags can hold.
    ids[0] = 65536.0f;
    writeExr(dir.file("more.exr"), side, side,
             {viewLayerPart(side, side, {{"ViewLayer.IndexOB.X", ids}})});
    RunResult more = runOrvo("save more.exr more.ovq --depth Z --materials IndexOB", dir.path());
    EXPECT_EQ(more.status, 1);
    EXPECT_NE(more.err.find("\norvo: more.exr: --materials ViewLayer.IndexOB.X holds 65536 IDs; "
                            "an Orvo file has tags for 65535 materials\n"),
              std::string::npos)
        << more.err;
    EXPECT_FALSE(fileExists(dir.file("more.ovq")));
}

TEST(SaveRendererOutput, ADepthRangeOnTheCommandLineReplacesTheParameterFilesAndKeepsTheFile)
{
    // Planar depth 5 everywhere, seen through the parameter file's camera
    // (focal length 4 on a film 2 wide, 1.5 high: horizontal fit).
    ScratchDir dir;
    constexpr int w = 8, h = 6;
    writeExr(dir.file("z.exr"), w, h, {viewLayerPart(w, h, {})});
    writeParams(dir.file("p.txt"));
    RunResult given
        = runOrvo("save z.exr given.ovq --params p.txt --depth Z --depth-max 7", dir.path());
    ASSERT_EQ(given.status, 0) << given.err;
    EXPECT_NE(given.err.find("orvo: depthMax 7 replaces the parameter file's (10)\n"),
              std::string::npos)
        << given.err;
    EXPECT_EQ(
        Talvenrock::Orvo::OrvoReader::open(dir.file("given.ovq"))->summary().camera.farDistance,
        1.5 * 7);
    EXPECT_EQ(readText(dir.file("p.txt")), kParams);

    // The farthest hit is at a corner pixel's centre, over the user's own
    // file beside the target, which the save must not consume.
    writeParams(dir.file("far.ovq.param.txt"));
    RunResult far = runOrvo("save z.exr far.ovq --depth Z --depth-max far", dir.path());
    ASSERT_EQ(far.status, 0) << far.err;
    const double u = (0.5 / w - 0.5) * 2 / 4, v = (0.5 - 0.5 / h) * 1.5 / 4;
    const double farthest = 5 * distancePerPlanarDepth(u, v);
    EXPECT_NEAR(
        Talvenrock::Orvo::OrvoReader::open(dir.file("far.ovq"))->summary().camera.farDistance,
        1.5 * 1.25 * farthest, 1e-5);
    EXPECT_EQ(readText(dir.file("far.ovq.param.txt")), kParams);

    RunResult noDepth = runOrvo("save z.exr none.ovq --params p.txt --depth-max far", dir.path());
    EXPECT_EQ(noDepth.status, 2);
    EXPECT_EQ(noDepth.err.rfind("orvo save: --depth-max far takes the farthest hit of --depth; "
                                "give --depth CHANNEL\n",
                                0),
              0u)
        << noDepth.err;
}

// The red of frame f's render: frames 10 and 12 differ, so that a target
// holding another frame's picture shows.
float frameRed(long frame) { return frame == 10 ? 0.2f : 0.8f; }

TEST_F(SaveCommand, SavesEachFrameOfASequenceAndCountsTheOnesThatFail)
{
    // Frames 10 and 12 are good, 11 is cut short, 13 was never rendered.
    auto frameRender = [&](long frame, const std::string& name) {
        Scene s = scene;
        std::fill(s.r.begin(), s.r.end(), frameRed(frame));
        writeSinglePartExr(dir.file(name), s);
    };
    frameRender(10, "r.0010.exr");
    frameRender(12, "r.0012.exr");
    frameRender(11, "r.0011.exr");
    std::vector<unsigned char> whole = readBytes(dir.file("r.0011.exr"));
    whole.resize(whole.size() / 2);
    writeBytes(dir.file("r.0011.exr"), whole);
    // Names the pattern does not stand for: too few digits, a zero more
    // than #### writes, another extension.
    frameRender(14, "r.14.exr");
    frameRender(15, "r.00015.exr");
    frameRender(16, "r.0016.exr.bak");
    // A camera a frame, told apart by its depth range.
    std::string params(kParams);
    writeBytes(dir.file("cam.0010.txt"), {params.begin(), params.end()});
    params.replace(params.find("depthMax 10"), 11, "depthMax 20");
    writeBytes(dir.file("cam.0012.txt"), {params.begin(), params.end()});

    RunResult r = runOrvo("save 'r.####.exr' 'shot.%04d.ovq' --params 'cam.####.txt' "
                          "--frames 10-13",
                          dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "frame 10: wrote shot.0010.ovq: 7 x 5 pixels, colour, depth, material "
                     "(3 materials)\n"
                     "frame 12: wrote shot.0012.ovq: 7 x 5 pixels, colour, depth, material "
                     "(3 materials)\n");
    EXPECT_EQ(r.err.find("orvo: frame 11: r.0011.exr: cannot read the OpenEXR render"), 0u)
        << r.err;
    EXPECT_NE(r.err.find("\norvo: frame 13: r.0013.exr: no such render; --frames names frame "
                         "13\norvo: 2 of 4 frames failed: 11, 13\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fileExists(dir.file("shot.0011.ovq")));
    EXPECT_FALSE(fileExists(dir.file("shot.0013.ovq")));
    std::map<long, double> far;
    for (long frame : {10L, 12L}) {
        auto reader = Talvenrock::Orvo::OrvoReader::open(
            dir.file("shot.00" + std::to_string(frame) + ".ovq"));
        far[frame] = reader->summary().camera.farDistance;
        std::vector<std::uint8_t> row(3 * kW);
        reader->readColourRow(1, row.data());
        EXPECT_EQ(row[3 * 2], srgb8(frameRed(frame))) << frame;
        EXPECT_EQ(row[3 * 2 + 1], srgb8(scene.g[kW + 2])) << frame;
    }
    // Each frame took its own camera: twice the depth range, twice as far.
    EXPECT_NEAR(far[12], 2 * far[10], 1e-9 * far[12]);

    // Without --frames: the frames whose renders are there, in order, and
    // no other file.
    RunResult found = runOrvo("save 'r.####.exr' 'again.####.ovq' --params params.txt", dir.path());
    EXPECT_EQ(found.status, 1);
    EXPECT_EQ(found.out, "frame 10: wrote again.0010.ovq: 7 x 5 pixels, colour, depth, material "
                         "(3 materials)\n"
                         "frame 12: wrote again.0012.ovq: 7 x 5 pixels, colour, depth, material "
                         "(3 materials)\n");
    EXPECT_NE(found.err.find("orvo: 1 of 3 frames failed: 11\n"), std::string::npos) << found.err;
    std::set<std::string> saved;
    for (const std::string& name : folderEntries(dir.path()))
        if (name.rfind("again.", 0) == 0)
            saved.insert(name);
    EXPECT_EQ(saved, (std::set<std::string>{"again.0010.ovq", "again.0012.ovq"}));

    // A colour image a frame, each the other frame's red, so that a frame
    // saved with the render's colour or its neighbour's image shows; on a
    // terminal the progress counts the frames.
    for (long frame : {10L, 12L}) {
        Scene s = scene;
        std::fill(s.r.begin(), s.r.end(), frameRed(frame == 10 ? 12 : 10));
        writeTga(dir.file("c.00" + std::to_string(frame) + ".tga"), s);
    }
    TerminalRun shown
        = runOrvoOnTerminal({"save", "r.####.exr", "tga.####.ovq", "--params", "params.txt",
                             "--rgb", "c.####.tga", "--frames", "10-12x2"},
                            dir.path());
    EXPECT_EQ(shown.status, 0) << shown.output;
    EXPECT_NE(shown.output.find("frame 2 of 2: saving"), std::string::npos) << shown.output;
    for (long frame : {10L, 12L}) {
        auto reader = Talvenrock::Orvo::OrvoReader::open(
            dir.file("tga.00" + std::to_string(frame) + ".ovq"));
        std::vector<std::uint8_t> row(3 * kW);
        reader->readColourRow(1, row.data());
        EXPECT_EQ(row[3 * 2], srgb8(frameRed(frame == 10 ? 12 : 10))) << frame;
    }

    RunResult none = runOrvo("save 'nothing.####.exr' 'n.####.ovq'", dir.path());
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("nothing.####.exr: no render matches the pattern"), std::string::npos)
        << none.err;
}
