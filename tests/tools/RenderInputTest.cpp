// How the tool takes a render apart for the saver: OpenEXR channels grouped
// into layers in file order, the layouts it accepts and refuses, and the
// colour side file made from the colour layer.
#include "tools/ToolTestSupport.h"
#include "tools/ExrWrite.h"

#include "orvo/render/ExrRender.h"
#include "orvo/support/FileOps.h"
#include "orvo/sidefiles/SideFiles.h"
#include "orvo/sidefiles/TgaImage.h"
#include "orvo/support/ToolError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

using namespace tooltest;
using fennick::tool::RenderImage;
using fennick::tool::ToolError;

namespace {

std::vector<float> ramp(std::size_t n, float start, float step)
{
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = start + step * float(i);
    return v;
}

std::string errorOf(const std::string& path, const std::string& depth = std::string())
{
    try {
        fennick::tool::readExrRender(path, fennick::tool::ChannelRequests{depth, "", ""});
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
             {{"",
               {{"b", ramp(6, 0.3f, 0.01f)},
                {"g", ramp(6, 0.2f, 0.01f)},
                {"r", ramp(6, 0.1f, 0.01f)},
                {"Orvo_depth.Z", ramp(6, 0.5f, 0.1f)},
                {"Orvo_mat.A", ramp(6, 1.0f, 0.0f)},
                {"Orvo_mat.B", ramp(6, 0.0f, 0.0f)},
                {"Orvo_mat.G", ramp(6, 0.5f, 0.0f)},
                {"Orvo_mat.R", ramp(6, 0.9f, 0.0f)},
                // A pass under a pass: the layer is all before the last dot.
                {"diffuse.direct.B", ramp(6, 0.03f, 0.0f)},
                {"diffuse.direct.G", ramp(6, 0.02f, 0.0f)},
                {"diffuse.direct.R", ramp(6, 0.01f, 0.0f)},
                {"diffuse.indirect.R", ramp(6, 0.04f, 0.0f)}}}});
    RenderImage image = fennick::tool::readExrRender(path).image;
    EXPECT_EQ(image.width, 3u);
    EXPECT_EQ(image.height, 2u);
    ASSERT_EQ(image.layers.size(), 5u);
    EXPECT_EQ(image.layers[3].name, "diffuse.direct");
    ASSERT_EQ(image.layers[3].channels, 3u);
    EXPECT_FLOAT_EQ(image.layers[3].values[0], 0.01f);
    EXPECT_FLOAT_EQ(image.layers[3].values[2], 0.03f);
    EXPECT_EQ(image.layers[4].name, "diffuse.indirect");
    EXPECT_EQ(image.layers[4].channels, 1u);
    EXPECT_EQ(image.layers[0].name, "Orvo_depth");  // "O" sorts before "b"
    EXPECT_EQ(image.layers[0].channels, 1u);
    EXPECT_FLOAT_EQ(image.layers[0].values[5], 1.0f);
    EXPECT_EQ(image.layers[1].name, "Orvo_mat");
    ASSERT_EQ(image.layers[1].channels, 4u);
    // Interleaved R, G, B, A whatever the order in the file.
    EXPECT_FLOAT_EQ(image.layers[1].values[0], 0.9f);
    EXPECT_FLOAT_EQ(image.layers[1].values[1], 0.5f);
    EXPECT_FLOAT_EQ(image.layers[1].values[3], 1.0f);
    EXPECT_EQ(image.layers[2].name, fennick::tool::kColourLayerName);
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
    image.layers.push_back({fennick::tool::kColourLayerName, 4, ramp(48, -0.5f, 0.1f)});
    image.layers.push_back({"Orvo_depth", 1, ramp(12, 0.0f, 0.07f)});
    image.layers.push_back({"Orvo_mat", 3, ramp(36, 0.2f, 0.02f)});
    fennick::tool::writeExrRender(dir.file("w.exr"), image);
    RenderImage back = fennick::tool::readExrRender(dir.file("w.exr")).image;
    ASSERT_EQ(back.layers.size(), 3u);
    // Read back in the file's order: the colour layer's channels sort first.
    EXPECT_EQ(back.layers[0].name, fennick::tool::kColourLayerName);
    EXPECT_EQ(back.layers[0].values, image.layers[0].values);
    EXPECT_EQ(back.layers[1].values, image.layers[1].values);
    EXPECT_EQ(back.layers[2].values, image.layers[2].values);
}

TEST(ExrLayers, LayoutsTheHostCannotHoldAreLeftOutWithTheReason)
{
    ScratchDir dir;
    // Normals and a bare Z beside the colour, motion of two channels.
    writeExr(dir.file("aov.exr"), 2, 2,
             {{"",
               {{"A", ramp(4, 1, 0)},
                {"B", ramp(4, 0, 1)},
                {"G", ramp(4, 0, 1)},
                {"N.X", ramp(4, 0, 1)},
                {"N.Y", ramp(4, 1, 1)},
                {"N.Z", ramp(4, 2, 1)},
                {"R", ramp(4, 0, 1)},
                {"Z", ramp(4, 5, 1)},
                {"motion.X", ramp(4, 0, 1)},
                {"motion.Y", ramp(4, 0, 1)}}}});
    fennick::tool::ExrRender r = fennick::tool::readExrRender(dir.file("aov.exr"));
    ASSERT_EQ(r.image.layers.size(), 3u);
    EXPECT_EQ(r.image.layers[0].name, fennick::tool::kColourLayerName);
    EXPECT_EQ(r.image.layers[0].channels, 4u);
    EXPECT_TRUE(r.image.layers[0].rgb);
    EXPECT_EQ(r.image.layers[1].name, "Z");
    EXPECT_EQ(r.image.layers[1].values, ramp(4, 5, 1));
    EXPECT_EQ(r.image.layers[2].name, "N");
    EXPECT_FALSE(r.image.layers[2].rgb);
    EXPECT_FLOAT_EQ(r.image.layers[2].values[2], 2.0f);  // X, Y, Z in order
    ASSERT_EQ(r.leftOut.size(), 1u);
    EXPECT_EQ(r.leftOut[0].name, "motion");
    EXPECT_EQ(r.leftOut[0].channels, (std::vector<std::string>{"X", "Y"}));
    EXPECT_EQ(r.leftOut[0].reason, "2 channels; the host's layers hold 1, 3 or 4");
    EXPECT_EQ(r.image.colourLayer(), &r.image.layers[0]);

    // The channel named for depth forms no layer.
    fennick::tool::ExrRender d = fennick::tool::readExrRender(dir.file("aov.exr"), {"Z", "", ""});
    EXPECT_EQ(d.depth, ramp(4, 5, 1));
    EXPECT_EQ(d.image.layers.size(), 2u);
    EXPECT_EQ(errorOf(dir.file("aov.exr"), "depth.Z"),
              dir.file("aov.exr")
                  + ": no channel \"depth.Z\" for --depth; the channels are A, B, "
                    "G, R, Z, N.X, N.Y, N.Z, motion.X, motion.Y");

    writeExr(dir.file("parts.exr"), 2, 2,
             {{"a", {{"Y", ramp(4, 0, 1)}}}, {"b", {{"U", ramp(4, 0, 1)}, {"V", ramp(4, 0, 1)}}}});
    fennick::tool::ExrRender p = fennick::tool::readExrRender(dir.file("parts.exr"));
    ASSERT_EQ(p.leftOut.size(), 1u);
    EXPECT_EQ(p.leftOut[0].name, "b");
    ASSERT_EQ(p.image.layers.size(), 1u);
    EXPECT_EQ(p.image.layers[0].name, "a");
}

TEST(ExrLayers, AHeaderClaimingMorePixelsThanTheFileHoldsIsRefusedByName)
{
    ScratchDir dir;
    constexpr int kRows = 4096;
    writeExr(dir.file("tall.exr"), 1, kRows, {{"", {{"Y", ramp(kRows, 0, 0)}}}});
    std::vector<unsigned char> bytes = readBytes(dir.file("tall.exr"));
    // The data window: xMin, yMin, xMax, yMax after its name, type and size.
    const std::string name = std::string("dataWindow") + '\0' + "box2i" + '\0';
    auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
    ASSERT_NE(at, bytes.end());
    const std::size_t xMax = std::size_t(at - bytes.begin()) + name.size() + 4 + 8;
    // Wider rows leave the file's table of row blocks as it is: only the
    // pixels are claimed.
    for (const int width : {20000, 46340}) {
        for (int i = 0; i < 4; ++i)
            bytes[xMax + i] = static_cast<unsigned char>((width - 1) >> (8 * i));
        writeBytes(dir.file("huge.exr"), bytes);
        EXPECT_EQ(errorOf(dir.file("huge.exr")),
                  dir.file("huge.exr") + ": the header claims " + std::to_string(width) + " x "
                      + std::to_string(kRows) + " pixels in 1 channels ("
                      + std::to_string(4ull * width * kRows)
                      + " bytes of samples), more than a "
                        "file of "
                      + std::to_string(bytes.size())
                      + " bytes can hold; the file is "
                        "damaged");
    }
    // A side beyond the largest colour image the saver takes: refused by
    // OpenEXR's own limit, in its words made readable, with the file's name
    // once.
    for (int i = 0; i < 4; ++i)
        bytes[xMax + i] = static_cast<unsigned char>(99999 >> (8 * i));
    writeBytes(dir.file("wide.exr"), bytes);
    EXPECT_EQ(errorOf(dir.file("wide.exr")),
              dir.file("wide.exr")
                  + ": cannot read the OpenEXR render: The width of the data window exceeds the "
                    "maximum width of 65535 pixels");
}

TEST(ColourSideFile, IsSrgbEncodedWithAlphaKept)
{
    EXPECT_EQ(fennick::tool::encodeSrgb8(0.0f), 0);
    EXPECT_EQ(fennick::tool::encodeSrgb8(-1.0f), 0);
    EXPECT_EQ(fennick::tool::encodeSrgb8(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(fennick::tool::encodeSrgb8(1.0f), 255);
    EXPECT_EQ(fennick::tool::encodeSrgb8(7.0f), 255);
    EXPECT_EQ(fennick::tool::encodeSrgb8(0.5f), 188);    // 0.7354 x 255
    EXPECT_EQ(fennick::tool::encodeSrgb8(0.002f), 7);    // linear segment: 12.92 x 0.002 x 255
    EXPECT_EQ(fennick::tool::encodeSrgb8(0.216f), 128);  // sRGB middle grey

    fennick::tool::RenderLayer rgba{"c", 4, {1.0f, 0.5f, 0.0f, 0.25f}};
    EXPECT_EQ(fennick::tool::layerToBgra(rgba, 1, 1), (std::vector<std::uint8_t>{0, 188, 255, 64}));
    fennick::tool::RenderLayer rgb{"c", 3, {0.0f, 0.0f, 1.0f}};
    EXPECT_EQ(fennick::tool::layerToBgra(rgb, 1, 1), (std::vector<std::uint8_t>{255, 0, 0, 255}));

    ScratchDir dir;
    fennick::tool::writeTga32(dir.file("c.tga"), 2, 1, {1, 2, 3, 4, 5, 6, 7, 8});
    const std::vector<unsigned char> tga = readBytes(dir.file("c.tga"));
    ASSERT_EQ(tga.size(), 18u + 8u);
    EXPECT_EQ(tga[2], 2);             // uncompressed true colour
    EXPECT_EQ(tga[12], 2);            // width
    EXPECT_EQ(tga[14], 1);            // height
    EXPECT_EQ(tga[16], 32);           // bits a pixel
    EXPECT_EQ(tga[17] & 0x20, 0x20);  // top row first
    EXPECT_EQ(tga[18 + 4], 5);
}

TEST(SideFilesPlacement, AWriteThatDoesNotReachTheDiskGivesTheSystemsReason)
{
    // /dev/full takes the open and refuses every byte, as a full disk does.
    try {
        fennick::tool::writeWholeFile("/dev/full", "Parameters", 10, "parameter file");
        ADD_FAILURE() << "a write to a full device was reported as done";
    } catch (const fennick::tool::ToolError& e) {
        EXPECT_EQ(std::string(e.what()), std::string("/dev/full: cannot write the parameter file: ")
                                             + std::strerror(ENOSPC));
    }
}

TEST(SideFilesPlacement, KeepsTheUsersFilesAndCleansUpItsOwn)
{
    ScratchDir dir;
    const std::string target = dir.file("t.ovq");
    writeBytes(dir.file("given.txt"), {'p'});
    {
        fennick::tool::SideFiles side(target);
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
        fennick::tool::SideFiles side(target);
        side.placeParams(std::nullopt);
        std::remove((target + ".param.txt").c_str());  // what the save does
    }
    EXPECT_EQ(readText(target + ".param.txt"), "own");

    // Given on the command line while another lies beside the target: refused.
    fennick::tool::SideFiles side(target);
    EXPECT_THROW(side.placeParams(dir.file("given.txt")), ToolError);
    EXPECT_EQ(readText(target + ".param.txt"), "own");
}

}  // namespace
