// How the tool takes a render apart for the saver: OpenEXR channels grouped
// into layers in file order, the layouts it accepts and refuses, and the
// colour side file made from the colour layer.
#include "tools/ToolTestSupport.h"
#include "tools/ExrWrite.h"

#include "tools/orvo/ExrRender.h"
#include "tools/orvo/SideFiles.h"
#include "tools/orvo/TgaImage.h"
#include "tools/orvo/ToolError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tooltest;
using orvotool::RenderImage;
using orvotool::ToolError;

namespace {

std::vector<float> ramp(std::size_t n, float start, float step)
{
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = start + step * float(i);
    return v;
}

std::string errorOf(const std::string& path)
{
    try {
        orvotool::readExrRender(path);
    } catch (const ToolError& e) {
        return e.what();
    }
    return "(read without error)";
}

TEST(ExrLayers, ChannelsGroupIntoLayersInFileOrder)
{
    ScratchDir dir;
    const std::string path = dir.file("r.exr");
    // Lower-case colour channels and a depth channel named Z.
    writeExr(path, 3, 2,
             {{"", {{"b", ramp(6, 0.3f, 0.01f)}, {"g", ramp(6, 0.2f, 0.01f)},
                    {"r", ramp(6, 0.1f, 0.01f)}, {"Orvo_depth.Z", ramp(6, 0.5f, 0.1f)},
                    {"Orvo_mat.A", ramp(6, 1.0f, 0.0f)}, {"Orvo_mat.B", ramp(6, 0.0f, 0.0f)},
                    {"Orvo_mat.G", ramp(6, 0.5f, 0.0f)}, {"Orvo_mat.R", ramp(6, 0.9f, 0.0f)}}}});
    RenderImage image = orvotool::readExrRender(path);
    EXPECT_EQ(image.width, 3u);
    EXPECT_EQ(image.height, 2u);
    ASSERT_EQ(image.layers.size(), 3u);
    EXPECT_EQ(image.layers[0].name, "Orvo_depth");  // "O" sorts before "b"
    EXPECT_EQ(image.layers[0].channels, 1u);
    EXPECT_FLOAT_EQ(image.layers[0].values[5], 1.0f);
    EXPECT_EQ(image.layers[1].name, "Orvo_mat");
    ASSERT_EQ(image.layers[1].channels, 4u);
    // Interleaved R, G, B, A whatever the order in the file.
    EXPECT_FLOAT_EQ(image.layers[1].values[0], 0.9f);
    EXPECT_FLOAT_EQ(image.layers[1].values[1], 0.5f);
    EXPECT_FLOAT_EQ(image.layers[1].values[3], 1.0f);
    EXPECT_EQ(image.layers[2].name, orvotool::kColourLayerName);
    ASSERT_EQ(image.layers[2].channels, 3u);
    EXPECT_FLOAT_EQ(image.layers[2].values[3 * 4 + 0], 0.14f);
    EXPECT_FLOAT_EQ(image.layers[2].values[3 * 4 + 2], 0.34f);
    EXPECT_EQ(image.colourLayer(), &image.layers[2]);
}

TEST(ExrLayers, WrittenRendersReadBackExactly)
{
    ScratchDir dir;
    RenderImage image;
    image.width = 4;
    image.height = 3;
    image.layers.push_back({orvotool::kColourLayerName, 4, ramp(48, -0.5f, 0.1f)});
    image.layers.push_back({"Orvo_depth", 1, ramp(12, 0.0f, 0.07f)});
    image.layers.push_back({"Orvo_mat", 3, ramp(36, 0.2f, 0.02f)});
    orvotool::writeExrRender(dir.file("w.exr"), image);
    RenderImage back = orvotool::readExrRender(dir.file("w.exr"));
    ASSERT_EQ(back.layers.size(), 3u);
    // Read back in the file's order: the colour layer's channels sort first.
    EXPECT_EQ(back.layers[0].name, orvotool::kColourLayerName);
    EXPECT_EQ(back.layers[0].values, image.layers[0].values);
    EXPECT_EQ(back.layers[1].values, image.layers[1].values);
    EXPECT_EQ(back.layers[2].values, image.layers[2].values);
}

TEST(ExrLayers, UnsupportedLayoutsAreRefusedByName)
{
    ScratchDir dir;
    writeExr(dir.file("two.exr"), 2, 2, {{"", {{"N.X", ramp(4, 0, 1)}, {"N.Y", ramp(4, 0, 1)}}}});
    EXPECT_EQ(errorOf(dir.file("two.exr")),
              dir.file("two.exr") + ": layer \"N\" has the channels (X, Y); a layer must hold one "
                                    "channel, R G B or R G B A");
    writeExr(dir.file("rgx.exr"), 2, 2,
             {{"", {{"B", ramp(4, 0, 1)}, {"G", ramp(4, 0, 1)}, {"X", ramp(4, 0, 1)}}}});
    EXPECT_NE(errorOf(dir.file("rgx.exr")).find("layer \"RGBA\" has the channels (B, G, X)"),
              std::string::npos);
    writeExr(dir.file("parts.exr"), 2, 2,
             {{"a", {{"Y", ramp(4, 0, 1)}}}, {"b", {{"U", ramp(4, 0, 1)}, {"V", ramp(4, 0, 1)}}}});
    EXPECT_NE(errorOf(dir.file("parts.exr")).find("layer \"b\" has the channels (U, V)"),
              std::string::npos);
}

TEST(ColourSideFile, IsSrgbEncodedWithAlphaKept)
{
    EXPECT_EQ(orvotool::encodeSrgb8(0.0f), 0);
    EXPECT_EQ(orvotool::encodeSrgb8(-1.0f), 0);
    EXPECT_EQ(orvotool::encodeSrgb8(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(orvotool::encodeSrgb8(1.0f), 255);
    EXPECT_EQ(orvotool::encodeSrgb8(7.0f), 255);
    EXPECT_EQ(orvotool::encodeSrgb8(0.5f), 188);    // 0.7354 x 255
    EXPECT_EQ(orvotool::encodeSrgb8(0.002f), 7);    // linear segment: 12.92 x 0.002 x 255
    EXPECT_EQ(orvotool::encodeSrgb8(0.216f), 128);   // sRGB middle grey

    orvotool::RenderLayer rgba{"c", 4, {1.0f, 0.5f, 0.0f, 0.25f}};
    EXPECT_EQ(orvotool::layerToBgra(rgba, 1, 1), (std::vector<std::uint8_t>{0, 188, 255, 64}));
    orvotool::RenderLayer rgb{"c", 3, {0.0f, 0.0f, 1.0f}};
    EXPECT_EQ(orvotool::layerToBgra(rgb, 1, 1), (std::vector<std::uint8_t>{255, 0, 0, 255}));

    ScratchDir dir;
    orvotool::writeTga32(dir.file("c.tga"), 2, 1, {1, 2, 3, 4, 5, 6, 7, 8});
    const std::vector<unsigned char> tga = readBytes(dir.file("c.tga"));
    ASSERT_EQ(tga.size(), 18u + 8u);
    EXPECT_EQ(tga[2], 2);     // uncompressed true colour
    EXPECT_EQ(tga[12], 2);    // width
    EXPECT_EQ(tga[14], 1);    // height
    EXPECT_EQ(tga[16], 32);   // bits a pixel
    EXPECT_EQ(tga[17] & 0x20, 0x20);  // top row first
    EXPECT_EQ(tga[18 + 4], 5);
}

TEST(SideFilesPlacement, KeepsTheUsersFilesAndCleansUpItsOwn)
{
    ScratchDir dir;
    const std::string target = dir.file("t.ovq");
    writeBytes(dir.file("given.txt"), {'p'});
    {
        orvotool::SideFiles side(target);
        side.placeParams(dir.file("given.txt"));
        side.writeColour(1, 1, {0, 0, 0, 255});
        EXPECT_EQ(readText(target + ".param.txt"), "p");
        EXPECT_TRUE(fileExists(target + ".rgb.tga"));
        // An unconsumed side file of the tool's own is not replaced.
        EXPECT_THROW(side.writeColour(1, 1, {0, 0, 0, 255}), ToolError);
    }
    // The save never ran: what the tool created is gone, the user's file stays.
    EXPECT_FALSE(fileExists(target + ".param.txt"));
    EXPECT_FALSE(fileExists(target + ".rgb.tga"));
    EXPECT_TRUE(fileExists(dir.file("given.txt")));

    // A parameter file already beside the target is put back once consumed.
    writeBytes(target + ".param.txt", {'o', 'w', 'n'});
    {
        orvotool::SideFiles side(target);
        side.placeParams(std::nullopt);
        std::remove((target + ".param.txt").c_str());  // what the save does
    }
    EXPECT_EQ(readText(target + ".param.txt"), "own");

    // Given on the command line while another lies beside the target: refused.
    orvotool::SideFiles side(target);
    EXPECT_THROW(side.placeParams(dir.file("given.txt")), ToolError);
    EXPECT_EQ(readText(target + ".param.txt"), "own");
}

}  // namespace
