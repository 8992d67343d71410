// The byte count of strip 1 that the directory written after a pass's
// first scan records in advance, read from the file's raw directories.
#include <gtest/gtest.h>

#include "writer/WriterTestSupport.h"

using namespace writertest;

namespace {

constexpr unsigned kWidth = 5;

struct Strips {
    std::vector<std::uint32_t> offsets, counts;
};

Strips stripsOf(const std::string& path, std::size_t directory)
{
    const auto file = bytesOf(path);
    const auto d = file.directories().at(directory);
    return {file.values(*d.find(273)), file.values(*d.find(279))};
}

TEST(StripPreset, VisibleAfterTheFirstScanOfEachPassAndGoneAfterIt)
{
    ScratchDir dir;
    const std::string path = dir.file("preset.ovq");
    constexpr unsigned kHeight = 3;
    auto writer = makeWriter(dir.wfile("preset.ovq"), kWidth, kHeight);
    const struct {
        int mask;
        std::uint32_t rowBytes;
    } passes[] = {{1, kWidth * 3}, {2, kWidth * 4}, {4, kWidth * 2}};
    for (std::size_t p = 0; p < 3; ++p) {
        SCOPED_TRACE("pass " + std::to_string(passes[p].mask));
        writer->beginPass(passes[p].mask);
        samplepattern::fillRow(*writer, passes[p].mask, kWidth, 0);
        writer->putScan();
        Strips first = stripsOf(path, p);
        EXPECT_NE(first.offsets[0], 0u);
        EXPECT_EQ(first.offsets[1], 0u);
        EXPECT_EQ(first.offsets[2], 0u);
        EXPECT_EQ(first.counts,
                  (std::vector<std::uint32_t>{passes[p].rowBytes, passes[p].rowBytes, 0}));

        for (unsigned y = 1; y < kHeight; ++y) {
            samplepattern::fillRow(*writer, passes[p].mask, kWidth, y);
            writer->putScan();
        }
        Strips done = stripsOf(path, p);
        EXPECT_EQ(done.counts, std::vector<std::uint32_t>(kHeight, passes[p].rowBytes));
        EXPECT_EQ(done.offsets[0], first.offsets[0]);
        EXPECT_GT(done.offsets[1], done.offsets[0]);
        EXPECT_GT(done.offsets[2], done.offsets[1]);
    }
    writer->close();
}

TEST(StripPreset, NeverForASingleRow)
{
    // With one strip there is no strip 1 to preset; writing one would
    // overrun libtiff's array.
    ScratchDir dir;
    {
        auto writer = makeWriter(dir.wfile("row.ovq"), kWidth, 1);
        samplepattern::writePass(*writer, 7, kWidth, 1);
    }
    for (std::size_t d = 0; d < 3; ++d)
        EXPECT_EQ(stripsOf(dir.file("row.ovq"), d).counts.size(), 1u);
    TiffFile tiff(dir.file("row.ovq"));
    EXPECT_EQ(tiff.strip(0), expectedRow(1, kWidth, 0));
}

TEST(StripPreset, NeverWhenCompressing)
{
    ScratchDir dir;
    const std::string path = dir.file("lzw.ovq");
    auto writer = makeWriter(dir.wfile("lzw.ovq"), kWidth, 4, true);
    writer->beginPass(1);
    samplepattern::fillRow(*writer, 1, kWidth, 0);
    writer->putScan();
    const Strips first = stripsOf(path, 0);
    EXPECT_NE(first.counts[0], 0u);
    EXPECT_EQ(first.counts[1], 0u);
}

}  // namespace
