// Successful saves, read back through libtiff and the independent byte
// reader: colour, depth codes, material tags and table, camera block, tags.
#include "SaveFixture.h"

#include "saver/src/DepthCode.h"
#include "support/OrvoBlocks.h"

#include <tiffio.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <limits>

namespace fennick_test {
namespace {

using fennick::hostsim::SimLayeredImage;
using namespace orvoblocks;

int quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// The pictures of a saved file, one vector of rows per directory.
struct ReadBack {
    int directories = 0;
    unsigned width = 0;
    unsigned height = 0;
    std::vector<std::vector<unsigned char>> rgb;  // rows of R, G, B
    std::vector<std::vector<std::uint32_t>> depth;
    std::vector<std::vector<std::uint16_t>> tags;
    std::string software;
    float xResolution = 0;
    float yResolution = 0;
    std::uint16_t resolutionUnit = 0;
};

template <class T>
std::vector<std::vector<T>> readRows(TIFF* tif, unsigned width, unsigned height)
{
    std::vector<std::vector<T>> rows;
    std::vector<unsigned char> buf(static_cast<std::size_t>(TIFFScanlineSize(tif)));
    EXPECT_EQ(buf.size(), width * sizeof(T) * (sizeof(T) == 1 ? 3 : 1));
    for (unsigned y = 0; y < height; ++y) {
        EXPECT_EQ(TIFFReadScanline(tif, buf.data(), y, 0), 1) << y;
        std::vector<T> row(buf.size() / sizeof(T));
        std::memcpy(row.data(), buf.data(), buf.size());
        rows.push_back(row);
    }
    return rows;
}

ReadBack readBack(const std::string& path)
{
    ReadBack r;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
    TIFF* tif = TIFFOpenExt(path.c_str(), "r", options);
    TIFFOpenOptionsFree(options);
    if (!tif) {
        ADD_FAILURE() << "libtiff cannot open " << path;
        return r;
    }
    r.directories = TIFFNumberOfDirectories(tif);
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &r.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &r.height);
    const char* software = nullptr;
    if (TIFFGetField(tif, TIFFTAG_SOFTWARE, &software) && software)
        r.software = software;
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &r.xResolution);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &r.yResolution);
    TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &r.resolutionUnit);
    r.rgb = readRows<unsigned char>(tif, r.width, r.height);
    if (TIFFSetDirectory(tif, 1))
        r.depth = readRows<std::uint32_t>(tif, r.width, r.height);
    if (TIFFSetDirectory(tif, 2))
        r.tags = readRows<std::uint16_t>(tif, r.width, r.height);
    TIFFClose(tif);
    return r;
}

class SaveEndToEnd : public SaveFixture {};

TEST_F(SaveEndToEnd, ColourDepthMaterialsCameraAndTags)
{
    constexpr unsigned w = 5;
    constexpr unsigned h = 3;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> depth = depthRamp(w, h);
    depth[0] = 0.0f;   // nothing rendered
    depth[1] = 0.25f;  // with depthMax 100: 2147483647
    depth[2] = 1.0f;   // at the far end of the range: 0
    depth[3] = nan;
    std::vector<float> mat(w * h * 3, 0.0f);  // black: no material
    auto setMat = [&](unsigned x, unsigned y, float r, float g, float b) {
        float* p = &mat[(y * w + x) * 3];
        p[0] = r;
        p[1] = g;
        p[2] = b;
    };
    setMat(1, 0, 1.0f, 0.5f, 0.0f);   // orange: tag 1
    setMat(2, 0, 0.0f, 0.0f, 1.0f);   // blue: tag 2
    setMat(0, 1, 0.5f, 0.25f, 0.0f);  // darker orange: tag 1
    setMat(1, 1, 0.6f, 0.6f, 0.6f);   // grey: tag 0
    setMat(4, 2, 0.0f, 0.8f, 0.0f);   // green: tag 3

    SimLayeredImage image(w, h);
    image.addFloatLayer("Final Color", 4, std::vector<float>(w * h * 4, 1.0f));
    image.addFloatLayer("Orvo_depth", 1, depth);
    image.addFloatLayer("Orvo_mat", 3, mat);
    writeSideFiles(target, w, h);

    ASSERT_EQ(save(image, target), LXe_OK);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(files(), std::set<std::string>{"view.tif"})
        << "both side files consumed, no temporary left";
    expectReferencesReleased(image);

    const ReadBack r = readBack(target);
    EXPECT_EQ(r.directories, 3);
    ASSERT_EQ(r.width, w);
    ASSERT_EQ(r.height, h);
    EXPECT_EQ(r.software, "Talvenrock Orvo plugin for Modo");
    EXPECT_EQ(r.xResolution, 299.0f);
    EXPECT_EQ(r.yResolution, 299.0f);
    EXPECT_EQ(r.resolutionUnit, RESUNIT_INCH);

    ASSERT_EQ(r.rgb.size(), h);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            unsigned char bgra[4];
            colourAt(x, y, bgra);
            EXPECT_EQ(r.rgb[y][x * 3 + 0], bgra[2]) << x << "," << y;
            EXPECT_EQ(r.rgb[y][x * 3 + 1], bgra[1]) << x << "," << y;
            EXPECT_EQ(r.rgb[y][x * 3 + 2], bgra[0]) << x << "," << y;
        }

    ASSERT_EQ(r.depth.size(), h);
    EXPECT_EQ(r.depth[0][0], 0xFFFFFFFFu);
    EXPECT_EQ(r.depth[0][1], 2147483647u);
    EXPECT_EQ(r.depth[0][2], 0u);
    EXPECT_EQ(r.depth[0][3], 0xFFFFFFFFu);
    for (unsigned i = 4; i < w * h; ++i)
        EXPECT_EQ(r.depth[i / w][i % w], depthCode(depth[i], 100.0, 150.0)) << i;

    ASSERT_EQ(r.tags.size(), h);
    const std::uint16_t expectedTags[h][w] = {{0, 1, 2, 0, 0}, {1, 0, 0, 0, 0}, {0, 0, 0, 0, 3}};
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            EXPECT_EQ(r.tags[y][x], expectedTags[y][x]) << x << "," << y;

    const OrvoBytes bytes = OrvoBytes::fromFile(target);
    const std::vector<std::uint32_t> blocks = bytes.subfileOffsets();
    ASSERT_EQ(blocks.size(), 3u);
    const DepthBlock depthBlock = bytes.depthBlock(blocks[1]);
    EXPECT_EQ(depthBlock.size, kPlanarDepthBlockSize);
    const PlanarCamera& cam = depthBlock.planar;
    EXPECT_EQ(cam.kind, 0u);
    EXPECT_EQ(cam.position[0], 1.0);
    EXPECT_EQ(cam.position[1], -3.0);
    EXPECT_EQ(cam.position[2], 2.0);
    EXPECT_TRUE(std::signbit(cam.xAxis[1]));
    EXPECT_EQ(cam.zAxis[1], 1.0);
    // Horizontal fit, A = 5/3: film 36 x 21.6 at focal length 35.
    EXPECT_DOUBLE_EQ(cam.topLeft[0], -18.0);
    EXPECT_DOUBLE_EQ(cam.topLeft[1], 10.8);
    EXPECT_DOUBLE_EQ(cam.topLeft[2], 35.0);
    EXPECT_DOUBLE_EQ(cam.bottomRight[0], 18.0);
    EXPECT_DOUBLE_EQ(cam.bottomRight[1], -10.8);
    EXPECT_EQ(cam.nearDistance, 0.0);
    EXPECT_EQ(cam.farDistance, 150.0);
    EXPECT_EQ(cam.scale, 1.0);
    EXPECT_EQ(cam.code, 4u);

    std::vector<MaterialRecord> materials
        = bytes.materials(bytes.materialBlock(blocks[2]).listHead);
    std::sort(materials.begin(), materials.end(),
              [](const MaterialRecord& a, const MaterialRecord& b) { return a.tag < b.tag; });
    ASSERT_EQ(materials.size(), 3u);
    const struct {
        const char* name;
        int r, g, b;
    } expected[3] = {{"Mat 1", 255, 128, 0}, {"Mat 2", 0, 0, 255}, {"Mat 3", 0, 255, 0}};
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(materials[i].tag, i + 1);
        EXPECT_EQ(materials[i].name, expected[i].name);
        EXPECT_EQ(materials[i].r, expected[i].r);
        EXPECT_EQ(materials[i].g, expected[i].g);
        EXPECT_EQ(materials[i].b, expected[i].b);
    }
}

TEST_F(SaveEndToEnd, WithoutMaterialLayerTheFileHasTwoDirectories)
{
    SimLayeredImage image(3, 2);
    image.addFloatLayer("Orvo_depth", 1, depthRamp(3, 2));
    writeSideFiles(target, 3, 2);
    ASSERT_EQ(save(image, target), LXe_OK);
    const ReadBack r = readBack(target);
    EXPECT_EQ(r.directories, 2);
    EXPECT_TRUE(r.tags.empty());
    EXPECT_EQ(OrvoBytes::fromFile(target).subfileOffsets().size(), 2u);
    expectReferencesReleased(image);
}

TEST_F(SaveEndToEnd, LayersAreFoundByCaseInsensitivePrefixAndTheLastMatchWins)
{
    constexpr unsigned w = 2;
    constexpr unsigned h = 1;
    SimLayeredImage image(w, h);
    image.addFloatLayer("Orvo_depth", 1, {0.5f, 0.5f});
    image.addFloatLayer("ORVO_MAT", 3, {0, 0, 1, 0, 0, 1});
    image.addFloatLayer("orvo_DEPTH.001", 1, {0.0f, 1.0f});
    image.addFloatLayer("Orvo_matte pass", 3, {1, 0, 0, 0, 1, 0});
    image.addFloatLayer("Final Color", 3, std::vector<float>(w * h * 3, 0.5f));
    writeSideFiles(target, w, h);
    ASSERT_EQ(save(image, target), LXe_OK);
    const ReadBack r = readBack(target);
    ASSERT_EQ(r.depth.size(), h);
    EXPECT_EQ(r.depth[0][0], 0xFFFFFFFFu);
    EXPECT_EQ(r.depth[0][1], 0u);
    ASSERT_EQ(r.tags.size(), h);
    EXPECT_EQ(r.tags[0][0], 1);  // red, from the later material layer
    EXPECT_EQ(r.tags[0][1], 2);  // green
}

TEST_F(SaveEndToEnd, LayersInIntegerFormatsAreConvertedNotMisread)
{
    constexpr unsigned w = 2;
    constexpr unsigned h = 2;
    SimLayeredImage image(w, h);
    image.addLayer("Orvo_depth", LXiIMP_GREY8, {0, 51, 255, 0});
    image.addLayer("Orvo_mat", LXiIMP_RGBA32,
                   {200, 100, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 100, 50, 0, 255});
    writeSideFiles(target, w, h);
    ASSERT_EQ(save(image, target), LXe_OK)
        << (host.messages().empty() ? "" : host.messages()[0].text);
    const ReadBack r = readBack(target);
    ASSERT_EQ(r.depth.size(), h);
    EXPECT_EQ(r.depth[0][0], 0xFFFFFFFFu);
    EXPECT_EQ(r.depth[0][1], depthCode(51.0f / 255.0f, 100.0, 150.0));
    EXPECT_EQ(r.depth[1][0], 0u);
    ASSERT_EQ(r.tags.size(), h);
    EXPECT_EQ(r.tags[0][0], 1);  // orange
    EXPECT_EQ(r.tags[0][1], 0);  // black
    EXPECT_EQ(r.tags[1][0], 2);  // blue
    EXPECT_EQ(r.tags[1][1], 1);  // darker orange
}

TEST_F(SaveEndToEnd, TopDownColourImageAndReplacedTarget)
{
    {
        std::ofstream(target) << "an older render";
    }
    SimLayeredImage image(3, 4);
    image.addFloatLayer("Orvo_depth", 1, depthRamp(3, 4));
    writeParameters(target, sceneCamera().text());
    writeColour(target, 3, 4, true);
    ASSERT_EQ(save(image, target), LXe_OK);
    EXPECT_EQ(files(), std::set<std::string>{"view.tif"});
    const ReadBack r = readBack(target);
    ASSERT_EQ(r.rgb.size(), 4u);
    for (unsigned y = 0; y < 4; ++y) {
        unsigned char bgra[4];
        colourAt(2, y, bgra);
        EXPECT_EQ(r.rgb[y][6], bgra[2]) << y;
        EXPECT_EQ(r.rgb[y][7], bgra[1]) << y;
    }
}

TEST_F(SaveEndToEnd, NonAsciiNameIsSavedAsGivenInTheCLocale)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    const std::string cafe = dir + "/caf\xC3\xA9.ovq";
    SimLayeredImage image(2, 2);
    image.addFloatLayer("Orvo_depth", 1, depthRamp(2, 2));
    writeSideFiles(cafe, 2, 2);
    const LxResult rc = save(image, cafe);
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_EQ(rc, LXe_OK) << (host.messages().empty() ? "" : host.messages()[0].text);
    EXPECT_EQ(files(), std::set<std::string>{"caf\xC3\xA9.ovq"});
    EXPECT_EQ(readBack(cafe).directories, 2);
}

}  // namespace
}  // namespace fennick_test
