// The built plug-in loaded and driven as the host drives it: tags and
// description at load, saves that succeed and fail with their messages and
// results, and every host reference given back once the module is released.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostabi/lxguids.h"
#include "hostsim/Host.h"
#include "hostsim/Plugin.h"
#include "hostsim/SimLayeredImage.h"
#include "hostsim/testing/TestPolicies.h"
#include "support/OrvoBlocks.h"
#include "support/ScratchDir.h"

namespace {

const unsigned kWidth = 4;
const unsigned kHeight = 3;

bool exists(const std::string& path)
{
    return std::filesystem::exists(testsupport::pathFromNarrow(path));
}

// The camera parameters a host script writes beside the target.
void writeParameters(const std::string& target)
{
    std::ofstream(target + ".param.txt") << "Parameters\n"
                                            "pos 1 2 3\n"
                                            "worldMatrix 1 0 0 0 1 0 0 0 1\n"
                                            "focalLen 35\napertureX 36\napertureY 24\n"
                                            "offsetX 0\noffsetY 0\nsqueeze 1\n"
                                            "filmFit horizontal\nprojType persp\n"
                                            "dpi 72\npAspect 1\ndepthMax 100\n";
}

// The colour image beside the target: uncompressed 32-bit true colour,
// bottom row stored first, B G R A per pixel.
void writeColour(const std::string& target, unsigned w, unsigned h)
{
    std::vector<unsigned char> bytes(18, 0);
    bytes[2] = 2;
    bytes[12] = static_cast<unsigned char>(w & 0xFF);
    bytes[13] = static_cast<unsigned char>(w >> 8);
    bytes[14] = static_cast<unsigned char>(h & 0xFF);
    bytes[15] = static_cast<unsigned char>(h >> 8);
    bytes[16] = 32;
    bytes[17] = 0x08;
    for (unsigned i = 0; i < w * h; ++i) {
        const unsigned char px[4] = {static_cast<unsigned char>(i), 0x40, 0x80, 0xFF};
        bytes.insert(bytes.end(), px, px + 4);
    }
    std::ofstream out(target + ".rgb.tga", std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<float> depthRamp()
{
    std::vector<float> v(kWidth * kHeight);
    for (unsigned i = 0; i < v.size(); ++i)
        v[i] = (i % 5 == 0) ? 0.0f : static_cast<float>(i) / static_cast<float>(v.size());
    return v;
}

// Two materials (red, blue) and background.
std::vector<float> materialColours()
{
    std::vector<float> v;
    for (unsigned i = 0; i < kWidth * kHeight; ++i) {
        const float r = (i % 3 == 1) ? 1.0f : 0.0f;
        const float b = (i % 3 == 2) ? 1.0f : 0.0f;
        v.insert(v.end(), {r, 0.0f, b});
    }
    return v;
}

class PluginTest : public ::testing::Test {
protected:
    // Declared before the host, which borrows it.
    fennick::hostsim::TestHostPolicy hostPolicy;
    fennick::hostsim::Host host{hostPolicy};
    testsupport::ScratchDir scratch{"fennick_plugin_"};
    std::string dir = scratch.str();
    std::string target = scratch.file("render.ovq");

    void TearDown() override
    {
        EXPECT_EQ(0, host.liveReferences()) << "the module kept host references after its release";
        EXPECT_EQ(0, host.misuses());
    }

    // One save through a freshly loaded module, released afterwards.
    LxResult saveThroughModule(fennick::hostsim::SimLayeredImage& image)
    {
        fennick::hostsim::Plugin plugin(FENNICK_MODULE_PATH, host);
        return plugin.save(image.object(), target);
    }
};

TEST_F(PluginTest, LoadReadsTagsAndDescription)
{
    fennick::hostsim::Plugin plugin(FENNICK_MODULE_PATH, host);
    const auto tags = plugin.tags();
    ASSERT_EQ(1u, tags.size());
    EXPECT_EQ("server", tags[0].type);
    EXPECT_EQ("avk_Orvo", tags[0].info);
    EXPECT_EQ(0, std::memcmp(&tags[0].guid, &LXu_SAVER, sizeof(LXtGUID)));

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"saver.outClass", "layeredimage"},
        {"saver.dosType", "ovq"},
        {"server.username", "Quillorn Orvo"},
        {"server.logsubsystem", "io-status"},
    };
    EXPECT_EQ(expected, plugin.description());
}

TEST_F(PluginTest, MissingModuleIsReportedByName)
{
    const std::string missing = dir + "/absent.so";
    try {
        fennick::hostsim::Plugin plugin(missing, host);
        FAIL() << "loading a missing module must throw";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find(missing)) << e.what();
    }
}

TEST_F(PluginTest, SaveWithMaterialLayer)
{
    fennick::hostsim::SimLayeredImage image(kWidth, kHeight);
    image.addFloatLayer("Orvo_depth", 1, depthRamp());
    image.addFloatLayer("Orvo_mat", 3, materialColours());
    writeParameters(target);
    writeColour(target, kWidth, kHeight);

    EXPECT_EQ(LXe_OK, saveThroughModule(image));
    EXPECT_TRUE(host.messages().empty()) << host.messages().front().text;
    EXPECT_EQ(0, image.references());
    EXPECT_FALSE(exists(target + ".param.txt"));
    EXPECT_FALSE(exists(target + ".rgb.tga"));

    const auto file = orvoblocks::OrvoBytes::fromFile(target);
    const auto blocks = file.subfileOffsets();
    ASSERT_EQ(3u, blocks.size()) << "colour, depth and material pictures";
    EXPECT_EQ(orvoblocks::kRgbBlockCode, file.head(blocks[0]).code);
    EXPECT_EQ(orvoblocks::kPlanarDepthBlockCode, file.head(blocks[1]).code);
    const auto materials = file.materialBlock(blocks[2]);
    EXPECT_EQ(2u, materials.head.extra) << "red and blue";
    EXPECT_EQ(2u, file.materials(materials.listHead).size());
}

TEST_F(PluginTest, SaveWithoutMaterialLayer)
{
    fennick::hostsim::SimLayeredImage image(kWidth, kHeight);
    image.addLayer("colour", LXiIMP_RGBA32, std::vector<unsigned char>(kWidth * kHeight * 4, 9));
    image.addFloatLayer("ORVO_DEPTH_pass", 1, depthRamp());
    writeParameters(target);
    writeColour(target, kWidth, kHeight);

    EXPECT_EQ(LXe_OK, saveThroughModule(image));
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(0, image.references());
    const auto blocks = orvoblocks::OrvoBytes::fromFile(target).subfileOffsets();
    EXPECT_EQ(2u, blocks.size()) << "colour and depth pictures only";
}

TEST_F(PluginTest, SaveWithoutDepthLayerFailsWithItsMessage)
{
    fennick::hostsim::SimLayeredImage image(kWidth, kHeight);
    image.addFloatLayer("Orvo_mat", 3, materialColours());
    writeParameters(target);
    writeColour(target, kWidth, kHeight);

    EXPECT_EQ(LXe_FAILED, saveThroughModule(image));
    ASSERT_EQ(1u, host.messages().size());
    EXPECT_EQ("io-status", host.messages()[0].subsystem);
    EXPECT_EQ(LXe_LOG_INFO, host.messages()[0].type);
    EXPECT_EQ("Depth image not found - please use the script to save Orvo files",
              host.messages()[0].text);
    EXPECT_EQ(0, image.references());
    EXPECT_TRUE(exists(target + ".param.txt"));
    EXPECT_TRUE(exists(target + ".rgb.tga"));
    EXPECT_FALSE(exists(target));
}

TEST_F(PluginTest, HostFailuresReachTheHostAsResults)
{
    fennick::hostsim::TestLayeredImagePolicy imagePolicy;
    imagePolicy.failName(0, LXe_OUTOFBOUNDS);
    fennick::hostsim::SimLayeredImage image(kWidth, kHeight);
    image.addFloatLayer("Orvo_depth", 1, depthRamp());
    image.setPolicy(imagePolicy);
    {
        fennick::hostsim::Plugin plugin(FENNICK_MODULE_PATH, host);
        EXPECT_EQ(LXe_OUTOFBOUNDS, plugin.save(image.object(), target));
        EXPECT_EQ(LXe_FAILED, plugin.save(host.context(), target));
    }
    ASSERT_EQ(2u, host.messages().size());
    EXPECT_EQ("Could not get name of image 0", host.messages()[0].text);
    EXPECT_EQ(LXe_LOG_INFO, host.messages()[0].type);
    EXPECT_EQ("Not a layered image", host.messages()[1].text);
    EXPECT_EQ(LXe_LOG_FAILURE, host.messages()[1].type);
    EXPECT_EQ(0, image.references());
}

TEST_F(PluginTest, NoLogSubsystemFailsSilently)
{
    hostPolicy.withholdSubsystem("io-status");
    fennick::hostsim::SimLayeredImage image(kWidth, kHeight);
    EXPECT_EQ(LXe_FAILED, saveThroughModule(image));
    EXPECT_TRUE(host.messages().empty());
}

}  // namespace
