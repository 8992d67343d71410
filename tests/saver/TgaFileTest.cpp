// Reading the colour image row by row.
#include "saver/src/TgaFile.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Builds TGA bytes; stored rows are numbered in storage order and every
// pixel's bytes tell its stored row and column.
struct TgaBytes {
    unsigned width = 3;
    unsigned height = 2;
    unsigned char imageType = 2;
    unsigned char depth = 32;
    unsigned char descriptor = 0x08;
    std::string id;
    unsigned char colourMapType = 0;
    unsigned mapLength = 0;
    unsigned char mapEntryBits = 0;

    static unsigned char pixelByte(unsigned storedRow, unsigned x, unsigned channel)
    {
        return static_cast<unsigned char>(storedRow * 64 + x * 4 + channel);
    }

    std::vector<unsigned char> bytes() const
    {
        std::vector<unsigned char> b(18, 0);
        b[0] = static_cast<unsigned char>(id.size());
        b[1] = colourMapType;
        b[2] = imageType;
        b[5] = static_cast<unsigned char>(mapLength & 0xFF);
        b[6] = static_cast<unsigned char>(mapLength >> 8);
        b[7] = mapEntryBits;
        b[12] = static_cast<unsigned char>(width & 0xFF);
        b[13] = static_cast<unsigned char>(width >> 8);
        b[14] = static_cast<unsigned char>(height & 0xFF);
        b[15] = static_cast<unsigned char>(height >> 8);
        b[16] = depth;
        b[17] = descriptor;
        for (char c : id)
            b.push_back(static_cast<unsigned char>(c));
        for (unsigned i = 0; i < mapLength * ((mapEntryBits + 7u) / 8u); ++i)
            b.push_back(0xEE);
        for (unsigned row = 0; row < height; ++row)
            for (unsigned x = 0; x < width; ++x)
                for (unsigned c = 0; c < 4; ++c)
                    b.push_back(pixelByte(row, x, c));
        return b;
    }
};

class TgaFileTest : public ::testing::Test {
protected:
    testsupport::ScratchDir dir{"fennick_tga_"};
    std::string path = dir.file("colour.tga");

    void write(const std::vector<unsigned char>& b)
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    }

    // Reads image row `row` and checks it is stored row `stored`.
    void expectRow(TgaFile& tga, unsigned row, unsigned stored)
    {
        std::vector<unsigned char> buf(tga.width * 4, 0);
        ASSERT_TRUE(tga.readLine(buf.data(), row)) << "row " << row;
        for (unsigned x = 0; x < tga.width; ++x)
            for (unsigned c = 0; c < 4; ++c)
                EXPECT_EQ(buf[x * 4 + c], TgaBytes::pixelByte(stored, x, c))
                    << row << "," << x << "," << c;
    }
};

TEST_F(TgaFileTest, BottomUpFileReturnsItsLastStoredRowFirst)
{
    write(TgaBytes{}.bytes());
    TgaFile tga(path.c_str());
    ASSERT_NE(tga.file, nullptr);
    EXPECT_EQ(tga.width, 3u);
    EXPECT_EQ(tga.height, 2u);
    EXPECT_FALSE(tga.topDown);
    expectRow(tga, 0, 1);
    expectRow(tga, 1, 0);
    expectRow(tga, 0, 1);  // rows may be read again, in any order
}

TEST_F(TgaFileTest, TopDownFileReturnsItsFirstStoredRowFirst)
{
    TgaBytes t;
    t.descriptor = 0x28;
    write(t.bytes());
    TgaFile tga(path.c_str());
    ASSERT_NE(tga.file, nullptr);
    EXPECT_TRUE(tga.topDown);
    expectRow(tga, 0, 0);
    expectRow(tga, 1, 1);
}

TEST_F(TgaFileTest, IdFieldAndColourMapAreSkipped)
{
    TgaBytes t;
    t.id = "abcde";
    write(t.bytes());
    {
        TgaFile tga(path.c_str());
        ASSERT_NE(tga.file, nullptr);
        EXPECT_EQ(tga.dataOffset, 23u);
        expectRow(tga, 0, 1);
    }
    t.colourMapType = 1;
    t.mapLength = 7;
    t.mapEntryBits = 15;  // two bytes an entry
    write(t.bytes());
    TgaFile tga(path.c_str());
    ASSERT_NE(tga.file, nullptr);
    EXPECT_EQ(tga.dataOffset, 18u + 5u + 14u);
    expectRow(tga, 0, 1);
    expectRow(tga, 1, 0);
}

TEST_F(TgaFileTest, RejectsKindsItDoesNotRead)
{
    struct Case {
        const char* why;
        TgaBytes t;
    };
    TgaBytes rgb24;
    rgb24.depth = 24;
    TgaBytes rle;
    rle.imageType = 10;
    TgaBytes mapped;
    mapped.imageType = 1;
    TgaBytes oddMap;
    oddMap.colourMapType = 2;
    for (const Case& c : {Case{"24-bit", rgb24}, Case{"run-length encoded", rle},
                          Case{"colour-mapped", mapped}, Case{"unknown colour-map type", oddMap}}) {
        write(c.t.bytes());
        TgaFile tga(path.c_str());
        EXPECT_EQ(tga.file, nullptr) << c.why;
        EXPECT_EQ(tga.width, 0u) << c.why;
        EXPECT_EQ(tga.height, 0u) << c.why;
        unsigned char buf[4] = {};
        EXPECT_FALSE(tga.readLine(buf, 0)) << c.why;
    }
    write(std::vector<unsigned char>(17, 0));  // header cut short
    TgaFile shortHeader(path.c_str());
    EXPECT_EQ(shortHeader.file, nullptr);
    TgaFile missing((path + ".absent").c_str());
    EXPECT_EQ(missing.file, nullptr);
}

TEST_F(TgaFileTest, FileCutInsideItsLastStoredRowFailsOnlyThatRow)
{
    std::vector<unsigned char> b = TgaBytes{}.bytes();
    b.resize(b.size() - 1);
    write(b);
    TgaFile tga(path.c_str());
    ASSERT_NE(tga.file, nullptr);
    std::vector<unsigned char> buf(12);
    EXPECT_FALSE(tga.readLine(buf.data(), 0)) << "bottom-up: image row 0 is the last stored row";
    expectRow(tga, 1, 0);
}

TEST_F(TgaFileTest, RowOutsideTheImageLeavesTheBufferUntouched)
{
    write(TgaBytes{}.bytes());
    TgaFile tga(path.c_str());
    std::vector<unsigned char> buf(12, 0x5A);
    EXPECT_FALSE(tga.readLine(buf.data(), 2));
    EXPECT_FALSE(tga.readLine(buf.data(), 0xFFFFFFFFu));
    for (unsigned char c : buf)
        EXPECT_EQ(c, 0x5A);
}

TEST_F(TgaFileTest, HugeHeaderOverAShortFileReadsNothing)
{
    // The header claims 65535 x 65535 pixels (16 GiB); nothing is allocated
    // from it and reads beyond the data fail cleanly.
    TgaBytes t;
    std::vector<unsigned char> b = t.bytes();
    b[12] = b[13] = b[14] = b[15] = 0xFF;
    write(b);
    TgaFile tga(path.c_str());
    ASSERT_NE(tga.file, nullptr);
    EXPECT_EQ(tga.width, 65535u);
    EXPECT_EQ(tga.height, 65535u);
    std::vector<unsigned char> buf(65535u * 4u);
    EXPECT_FALSE(tga.readLine(buf.data(), 0));
    EXPECT_FALSE(tga.readLine(buf.data(), 65534));
}

}  // namespace
