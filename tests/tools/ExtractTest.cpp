// `orvo extract`: the previews of the known file hold its pixels: colour as
// stored, depth near-bright with black for no depth, materials in their table
// colours, and distances with NaN for no depth.
#include "tools/ToolTestSupport.h"
#include "tools/PngRead.h"
#include "tools/ToolProcess.h"

#include "support/OrvoBlocks.h"

#include <tiffio.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>

using namespace tooltest;

namespace {

constexpr std::uint16_t kNearWhite = 65535;
constexpr std::uint16_t kFarGrey = 8192;  // the farthest depth in the preview
constexpr unsigned char kUnlistedGrey = 128;
constexpr double kFarDistance = 15.0;          // the known file's camera
constexpr double kLargestCode = 4294967294.0;  // the depth code of farDistance

// The distance that depth.tif holds for a depth code of the known file.
float knownDistance(std::uint32_t code) { return float(code / kLargestCode * kFarDistance); }

class Extract : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeKnownOrvo(dir.file("known.ovq"));
        run = runOrvo("extract known.ovq previews", dir.path());
    }
    ScratchDir dir;
    RunResult run;
};

TEST_F(Extract, WritesEveryPreviewAndSaysSo)
{
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "wrote previews/colour.png\nwrote previews/depth.png\n"
                       "wrote previews/depth.tif\nwrote previews/materials.png\n");
}

TEST_F(Extract, ColourAndMaterialPreviewsHoldThePixels)
{
    ASSERT_EQ(run.status, 0) << run.err;
    PngData colour, materials;
    ASSERT_TRUE(readPng(dir.file("previews/colour.png").c_str(), colour));
    ASSERT_TRUE(readPng(dir.file("previews/materials.png").c_str(), materials));
    for (unsigned y = 0; y < kKnownHeight; ++y) {
        for (unsigned x = 0; x < kKnownWidth; ++x) {
            const unsigned char* c = &colour.pixels[y * colour.rowBytes + 3 * x];
            EXPECT_EQ(c[0], knownRed(x, y));
            EXPECT_EQ(c[1], knownGreen(x, y));
            EXPECT_EQ(c[2], kKnownBlue);
            const unsigned char* m = &materials.pixels[y * materials.rowBytes + 3 * x];
            const std::uint16_t tag = kKnownTags[y][x];
            // Tag 1 red, tag 2 green in the table; 3 only in the pixels.
            const unsigned char expected[4][3] = {
                {0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {kUnlistedGrey, kUnlistedGrey, kUnlistedGrey}};
            EXPECT_EQ(m[0], expected[tag][0]) << x << "," << y;
            EXPECT_EQ(m[1], expected[tag][1]) << x << "," << y;
            EXPECT_EQ(m[2], expected[tag][2]) << x << "," << y;
        }
    }
}

TEST_F(Extract, DepthPreviewsShowDistances)
{
    ASSERT_EQ(run.status, 0) << run.err;
    PngData grey;
    ASSERT_TRUE(readPng(dir.file("previews/depth.png").c_str(), grey));
    TIFF* tif = TIFFOpen(dir.file("previews/depth.tif").c_str(), "r");
    ASSERT_NE(tif, nullptr);
    std::uint16_t compression = 0;
    EXPECT_EQ(TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression), 1);
    EXPECT_EQ(compression, COMPRESSION_ADOBE_DEFLATE);
    std::vector<float> distances(kKnownWidth);
    for (unsigned y = 0; y < kKnownHeight; ++y) {
        ASSERT_EQ(TIFFReadScanline(tif, distances.data(), y, 0), 1);
        for (unsigned x = 0; x < kKnownWidth; ++x) {
            std::uint16_t g;
            std::memcpy(&g, &grey.pixels[y * grey.rowBytes + 2 * x], 2);
            const std::uint32_t code = kKnownDepth[y][x];
            if (code == kNone) {
                EXPECT_EQ(g, 0) << x << "," << y;
                EXPECT_TRUE(std::isnan(distances[x])) << x << "," << y;
                continue;
            }
            EXPECT_FLOAT_EQ(distances[x], knownDistance(code));
            // The known file's codes run from 0 to kLargestCode: grey falls
            // linearly from white to kFarGrey.
            const double expected = kNearWhite - code / kLargestCode * (kNearWhite - kFarGrey);
            EXPECT_NEAR(g, expected, 1.0) << x << "," << y;
        }
    }
    TIFFClose(tif);
}

// Readers without extra codecs decode the distance picture too: Python's
// tifffile (which undoes no floating-point predictor without imagecodecs)
// and Pillow, as a 32-bit float picture.
TEST_F(Extract, TheDistancePictureReadsInTifffileAndPillow)
{
    ASSERT_EQ(run.status, 0) << run.err;
    const RunResult py = runProgram(
        FENNICK_PYTHON, std::string("'") + FENNICK_DEPTH_TIF_READER + "' previews/depth.tif",
        dir.path());
    ASSERT_EQ(py.status, 0) << py.err;
    std::istringstream in(py.out);
    const std::pair<std::string, std::string> readers[]
        = {{"tifffile", "float32"}, {"Pillow", "F"}};
    for (const auto& [reader, kind] : readers) {
        std::string name, type;
        unsigned width = 0, height = 0;
        in >> name >> type >> width >> height;
        EXPECT_EQ(name, reader);
        EXPECT_EQ(type, kind) << reader;
        ASSERT_EQ(width, kKnownWidth) << reader;
        ASSERT_EQ(height, kKnownHeight) << reader;
        for (unsigned y = 0; y < kKnownHeight; ++y)
            for (unsigned x = 0; x < kKnownWidth; ++x) {
                std::string text;
                ASSERT_TRUE(in >> text) << reader;
                const double v = std::strtod(text.c_str(), nullptr);
                const std::uint32_t code = kKnownDepth[y][x];
                const std::string where
                    = reader + " " + std::to_string(x) + "," + std::to_string(y);
                if (code == kNone)
                    EXPECT_TRUE(std::isnan(v)) << where << ": " << text;
                else
                    EXPECT_FLOAT_EQ(float(v), knownDistance(code)) << where;
            }
    }
    std::string rest;
    EXPECT_FALSE(in >> rest) << rest;
}

TEST(ExtractRefusal, ABadFileWritesNothing)
{
    ScratchDir dir;
    writeBytes(dir.file("bad.ovq"), {'I', 'I', 42, 0, 200, 0, 0, 0});
    ASSERT_EQ(::mkfifo(dir.file("pipe.ovq").c_str(), 0600), 0);
    for (const char* file : {"bad.ovq", "pipe.ovq"}) {
        RunResult r = runOrvo(std::string("extract ") + file + " previews", dir.path(), 20);
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_EQ(r.err.rfind(std::string("orvo: ") + file + ": ", 0), 0u) << r.err;
        if (std::string(file) == "pipe.ovq") {
            EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
        }
        EXPECT_FALSE(fileExists(dir.file("previews")));
    }
}

TEST(ExtractRefusal, CreatesOnlyTheLastFolderAndNamesTheMissingOne)
{
    ScratchDir dir;
    writeKnownOrvo(dir.file("known.ovq"));
    RunResult r = runOrvo("extract known.ovq missing/dir/x", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "orvo: missing/dir: no such folder to create missing/dir/x in (only the last "
                     "folder of a path is created)\n");
    EXPECT_FALSE(fileExists(dir.file("missing")));
    RunResult ok = runOrvo("extract known.ovq x", dir.path());
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_TRUE(fileExists(dir.file("x/colour.png")));
}

TEST(ExtractRefusal, ADamagedFileLeavesEarlierPreviewsWhole)
{
    ScratchDir dir;
    writeKnownOrvo(dir.file("good.ovq"));
    ASSERT_EQ(runOrvo("extract good.ovq previews", dir.path()).status, 0);
    const std::vector<unsigned char> colour = readBytes(dir.file("previews/colour.png"));

    // LZW strips whose colour data is garbage: the file opens, its colour
    // rows cannot be decoded.
    writeKnownOrvo(dir.file("lzw.ovq"), false, true);
    std::vector<unsigned char> bytes = readBytes(dir.file("lzw.ovq"));
    const orvoblocks::OrvoBytes parsed(bytes);
    const std::vector<orvoblocks::Directory> dirs = parsed.directories();
    const orvoblocks::IfdEntry* offsets = dirs.at(0).find(TIFFTAG_STRIPOFFSETS);
    const orvoblocks::IfdEntry* counts = dirs.at(0).find(TIFFTAG_STRIPBYTECOUNTS);
    ASSERT_NE(offsets, nullptr);
    ASSERT_NE(counts, nullptr);
    const std::uint32_t strip = parsed.values(*offsets).at(0);
    const std::uint32_t length = parsed.values(*counts).at(0);
    ASSERT_LE(std::size_t(strip) + length, bytes.size());
    for (std::uint32_t i = 0; i < length; ++i)
        bytes[strip + i] = 0xFF;
    writeBytes(dir.file("lzw.ovq"), bytes);

    RunResult r = runOrvo("extract lzw.ovq previews", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("orvo: lzw.ovq: colour directory 0, row 0: cannot be decoded", 0), 0u)
        << r.err;
    EXPECT_EQ(readBytes(dir.file("previews/colour.png")), colour);
    EXPECT_FALSE(anyEntryContains(dir.file("previews"), ".orvo-tmp-"));
}

}  // namespace
