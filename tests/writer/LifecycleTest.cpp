// The writer's life: creation, the settings taken at the first RGB scan,
// closing, destruction and use after closing.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "writer/WriterTestSupport.h"

using namespace writertest;

namespace {

constexpr unsigned kWidth = 3;
constexpr unsigned kHeight = 4;

std::string shadowLine(const std::string& path)
{
    const auto file = bytesOf(path);
    const auto rgb = file.rgbBlock(file.subfileOffsets().at(0));
    if (!rgb.hasShadow)
        return "";
    const auto at = rgb.text.find("<string>2 0.4 ");
    return rgb.text.substr(at, rgb.text.find("</string>", at) - at);
}

TEST(Lifecycle, WriterWithoutScansLeavesOnlyTheHeader)
{
    ScratchDir dir;
    {
        auto writer = makeWriter(dir.wfile("empty.ovq"), kWidth, kHeight);
        writer->close();
    }
    const auto file = bytesOf(dir.file("empty.ovq"));
    EXPECT_TRUE(file.directories().empty());
    EXPECT_EQ(file.size(), 8u);  // TIFF header only: no directory, no block
}

TEST(Lifecycle, SecondCloseAndDeletionLeaveTheFileAlone)
{
    ScratchDir dir;
    const std::string path = dir.file("twice.ovq");
    auto writer = makeWriter(dir.wfile("twice.ovq"), kWidth, kHeight);
    samplepattern::writePass(*writer, 7, kWidth, kHeight);
    writer->putMaterial(1, 1, 2, 3, L"m");
    writer->close();
    const auto closed = orvoblocks::readFileBytes(path);
    EXPECT_NO_THROW(writer->close());
    EXPECT_EQ(orvoblocks::readFileBytes(path), closed);
    writer.reset();
    EXPECT_EQ(orvoblocks::readFileBytes(path), closed);
}

TEST(Lifecycle, DeletionWithoutCloseFinishesTheMaterialDirectory)
{
    ScratchDir dir;
    {
        auto writer = makeWriter(dir.wfile("dropped.ovq"), kWidth, kHeight);
        samplepattern::writePass(*writer, 4, kWidth, kHeight);
        writer->putMaterial(1, 9, 8, 7, L"first");
        writer->putMaterial(2, 6, 5, 4, L"second");
    }
    const auto file = bytesOf(dir.file("dropped.ovq"));
    const auto mat = file.materialBlock(file.subfileOffsets().at(0));
    EXPECT_EQ(mat.head.extra, 2u);
    const auto records = file.materials(mat.listHead);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].name, "second");
    EXPECT_EQ(records[1].name, "first");
}

TEST(Lifecycle, MaterialTagStaysZeroUntilClose)
{
    ScratchDir dir;
    const std::string path = dir.file("pending.ovq");
    auto writer = makeWriter(dir.wfile("pending.ovq"), kWidth, kHeight);
    samplepattern::writePass(*writer, 4, kWidth, kHeight);
    writer->putMaterial(1, 0, 0, 0, L"x");
    // libtiff writes through to the file, so it is readable while open.
    EXPECT_EQ(bytesOf(path).subfileOffsets(), std::vector<std::uint32_t>{0});
    writer->close();
    const auto file = bytesOf(path);
    EXPECT_EQ(file.materialBlock(file.subfileOffsets().at(0)).head.extra, 1u);
}

TEST(Lifecycle, ShadowDirectionIsNormalisedOrZero)
{
    const struct {
        double x, y, z;
        const char* printed;  // empty: no shadow information in the file
    } cases[] = {
        {0, 0, 2, "<string>2 0.4 0.000000/0.000000/1.000000 0.0 0/0/0"},
        {3, 0, -4, "<string>2 0.4 0.600000/0.000000/-0.800000 0.0 0/0/0"},
        {0, 0, 0, ""},
        {std::nan(""), 1, 1, ""},
        // Squares that underflow to 0 in double: no direction. (Arithmetic
        // wider than double, the x87 unit's, would keep them above 0.)
        {1e-200, 0, 0, ""},
        {0, -1e-200, 0, ""},
        {0, 0, 1e-200, ""},
        {1e-200, 1e-200, -1e-200, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printed);
        ScratchDir dir;
        {
            auto writer = makeWriter(dir.wfile("s.ovq"), kWidth, kHeight);
            writer->setShadowDirection(1, 1, 1);  // replaced by the call below
            writer->setShadowDirection(c.x, c.y, c.z);
            samplepattern::writePass(*writer, 1, kWidth, kHeight);
        }
        EXPECT_EQ(shadowLine(dir.file("s.ovq")), c.printed);
    }
}

TEST(Lifecycle, SettingsAfterTheFirstRgbScanChangeNothing)
{
    ScratchDir dir;
    {
        std::unique_ptr<OrvoFile> writer(OrvoFile::create(
            dir.wfile("late.ovq"), kWidth, kHeight, L"", L"", L"", L"", PanoProjection(), false));
        writer->beginPass(1);
        samplepattern::fillRow(*writer, 1, kWidth, 0);
        writer->putScan();
        writer->setResolution(300, 300, Talvenrock::Orvo::ResolutionCentimeter);
        writer->setShadowDirection(0, 1, 0);
        for (unsigned y = 1; y < kHeight; ++y) {
            samplepattern::fillRow(*writer, 1, kWidth, y);
            writer->putScan();
        }
    }
    TiffFile tiff(dir.file("late.ovq"));
    EXPECT_EQ(tiff.real(TIFFTAG_XRESOLUTION), 96.0f);
    EXPECT_EQ(tiff.real(TIFFTAG_YRESOLUTION), 96.0f);
    EXPECT_EQ(tiff.u16(TIFFTAG_RESOLUTIONUNIT), RESUNIT_INCH);
    EXPECT_EQ(shadowLine(dir.file("late.ovq")), "");
}

TEST(Lifecycle, UncreatableFileRaisesTheSystemText)
{
    ScratchDir dir;
    try {
        std::unique_ptr<OrvoFile> writer(makeWriter(dir.wfile("missing/x.ovq"), kWidth, kHeight));
        ADD_FAILURE() << "a writer was returned";
    } catch (const OrvoError& e) {
        EXPECT_STREQ(e.what(), std::strerror(ENOENT));
    }
    try {
        std::unique_ptr<OrvoFile> writer(OrvoFile::create(dir.wfile("missing/y.ovq"), 1, 1, L"",
                                                          L"", L"", L"", PanoProjection(), false));
        ADD_FAILURE() << "a writer was returned";
    } catch (const OrvoError& e) {
        EXPECT_STREQ(e.what(), std::strerror(ENOENT));
    }
}

TEST(Lifecycle, ScansBeyondTheHeightAreRefusedBeforeTouchingTheFile)
{
    ScratchDir dir;
    const std::string path = dir.file("tall.ovq");
    auto writer = makeWriter(dir.wfile("tall.ovq"), kWidth, kHeight);
    samplepattern::writePass(*writer, 3, kWidth, kHeight);
    const auto complete = orvoblocks::readFileBytes(path);
    try {
        writer->putScan();
        ADD_FAILURE() << "a fifth row was stored in a picture of four";
    } catch (const OrvoError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "putScan: row 4 is beyond the picture's 4 rows in " + path);
    }
    EXPECT_EQ(orvoblocks::readFileBytes(path), complete);
    // A scan of no channel writes nothing, so it is never beyond the picture.
    writer->beginPass(0);
    for (unsigned y = 0; y <= kHeight; ++y)
        writer->putScan();
    // The next pass starts at row 0 again, and the file stays readable.
    samplepattern::writePass(*writer, 4, kWidth, kHeight);
    writer->close();
    TiffFile tiff(path);
    ASSERT_EQ(tiff.directoryCount(), 3);
    for (int d = 0; d < 3; ++d) {
        tiff.select(d);
        for (unsigned y = 0; y < kHeight; ++y)
            EXPECT_EQ(tiff.strip(y), expectedRow(1 << d, kWidth, y));
    }
}

TEST(Lifecycle, WritingAfterCloseIsRefused)
{
    ScratchDir dir;
    const std::string path = dir.file("closed.ovq");
    auto writer = makeWriter(dir.wfile("closed.ovq"), kWidth, kHeight);
    samplepattern::writePass(*writer, 1, kWidth, kHeight);
    writer->close();
    const auto closed = orvoblocks::readFileBytes(path);
    try {
        writer->putScan();
        ADD_FAILURE() << "putScan after close";
    } catch (const OrvoError& e) {
        EXPECT_EQ(std::string(e.what()), "putScan called after close of " + path);
    }
    EXPECT_THROW(writer->putMaterial(1, 0, 0, 0, L"late"), OrvoError);
    // The line buffers stay usable until deletion.
    writer->rgbLine()[0] = 1;
    writer->zLine()[kWidth - 1] = 2;
    writer->matLine()[kWidth - 1] = 3;
    EXPECT_EQ(orvoblocks::readFileBytes(path), closed);
}

}  // namespace
