// The reader library on files of the writer library: what it reports, the
// pixels it reads back, and its refusal of damaged or foreign files with a
// message that names the file and the place.
#include "avkorvo/OrvoReader.h"

#include "support/OrvoBlocks.h"
#include "tools/ToolTestSupport.h"

#include <tiffio.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

using namespace tooltest;
using Talvenrock::Orvo::Channel;
using Talvenrock::Orvo::OrvoReader;
using Talvenrock::Orvo::ReadError;

namespace {

constexpr std::uint16_t kSubfileTag = 34953;

std::string openError(const std::string& path)
{
    try {
        OrvoReader::open(path);
    } catch (const ReadError& e) {
        return e.what();
    }
    return "(opened without error)";
}

// Offset of the value field of tag 34953 in directory `index`.
std::size_t subfileTagValueAt(const std::vector<unsigned char>& bytes, std::size_t index)
{
    const std::vector<orvoblocks::Directory> dirs = orvoblocks::OrvoBytes(bytes).directories();
    const orvoblocks::IfdEntry* e = dirs.at(index).find(kSubfileTag);
    if (e == nullptr)
        throw std::runtime_error("known file lacks tag 34953");
    return e->entryOffset + 8;
}

class KnownFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = dir.file("known.ovq");
        writeKnownOrvo(path);
        bytes = readBytes(path);
    }
    // Writes the known file's bytes, changed by `patch`, and returns the
    // reader's error for it.
    template <typename Patch>
    std::string errorAfter(Patch patch)
    {
        std::vector<unsigned char> b = bytes;
        patch(b);
        const std::string damaged = dir.file("damaged.ovq");
        writeBytes(damaged, b);
        return openError(damaged);
    }
    std::uint32_t blockOffset(std::size_t directory) const
    {
        orvoblocks::OrvoBytes parsed(bytes);
        return parsed.u32(subfileTagValueAt(bytes, directory));
    }

    ScratchDir dir;
    std::string path;
    std::vector<unsigned char> bytes;
};

TEST_F(KnownFile, SummaryHoldsWhatTheWriterWrote)
{
    auto reader = OrvoReader::open(path);
    const Talvenrock::Orvo::OrvoSummary& s = reader->summary();
    EXPECT_EQ(s.width, kKnownWidth);
    EXPECT_EQ(s.height, kKnownHeight);
    EXPECT_EQ(s.fileSize, bytes.size());
    ASSERT_EQ(s.directories.size(), 3u);
    EXPECT_EQ(s.directories[0].channel, Channel::Colour);
    EXPECT_EQ(s.directories[1].channel, Channel::Depth);
    EXPECT_EQ(s.directories[2].channel, Channel::Material);
    EXPECT_EQ(s.directories[2].blockOffset, blockOffset(2));
    EXPECT_EQ(s.software, "Talvenrock Orvo plugin for Modo");
    EXPECT_EQ(s.dateTime.size(), 19u);
    EXPECT_TRUE(s.documentName.empty());
    EXPECT_TRUE(s.hasResolution);
    EXPECT_EQ(s.xResolution, 300.0);
    EXPECT_EQ(s.resolutionUnit, 2);  // inch
    EXPECT_FALSE(s.shadowSet);

    ASSERT_TRUE(s.hasCamera);
    const Talvenrock::Orvo::Camera& c = s.camera;
    EXPECT_FALSE(c.panoramic);
    EXPECT_EQ(c.blockCode, 1u);
    EXPECT_EQ(c.kind, 0u);
    EXPECT_EQ(c.position[1], -3.0);
    EXPECT_EQ(c.yAxis[2], 1.0);
    EXPECT_EQ(c.zAxis[1], 1.0);
    EXPECT_EQ(c.topLeft[0], -1.0);
    EXPECT_EQ(c.bottomRight[1], -0.5);
    EXPECT_EQ(c.farDistance, 15.0);
    EXPECT_EQ(c.code, 4u);

    // The list runs from the last record written back to the first.
    ASSERT_EQ(s.materials.size(), 2u);
    EXPECT_EQ(s.materialCount, 2u);
    EXPECT_EQ(s.materials[0].tag, 2);
    EXPECT_EQ(s.materials[0].name, "Gr\xC3\xBCn \"2\"");
    EXPECT_EQ(s.materials[0].green, 255);
    EXPECT_EQ(s.materials[1].tag, 1);
    EXPECT_EQ(s.materials[1].name, "Mat 1");
    EXPECT_EQ(s.materials[1].red, 255);
}

TEST_F(KnownFile, RowsReadBackInAnyOrderAcrossChannels)
{
    auto reader = OrvoReader::open(path);
    std::vector<std::uint8_t> rgb(kKnownWidth * 3);
    std::vector<std::uint32_t> depth(kKnownWidth);
    std::vector<std::uint16_t> tags(kKnownWidth);
    for (unsigned y : {2u, 0u, 1u}) {
        reader->readMaterialRow(y, tags.data());
        reader->readColourRow(y, rgb.data());
        reader->readDepthRow(y, depth.data());
        for (unsigned x = 0; x < kKnownWidth; ++x) {
            EXPECT_EQ(rgb[3 * x], knownRed(x, y));
            EXPECT_EQ(rgb[3 * x + 1], knownGreen(x, y));
            EXPECT_EQ(rgb[3 * x + 2], kKnownBlue);
            EXPECT_EQ(depth[x], kKnownDepth[y][x]) << "x " << x << " y " << y;
            EXPECT_EQ(tags[x], kKnownTags[y][x]) << "x " << x << " y " << y;
        }
    }
    EXPECT_THROW(reader->readDepthRow(kKnownHeight, depth.data()), ReadError);
}

TEST(ReaderCompressed, LzwStripsReadBack)
{
    ScratchDir dir;
    const std::string path = dir.file("lzw.ovq");
    writeKnownOrvo(path, false, true);
    auto reader = OrvoReader::open(path);
    EXPECT_EQ(reader->summary().directories[1].compression, 5);  // LZW
    std::vector<std::uint32_t> depth(kKnownWidth);
    std::vector<std::uint8_t> rgb(kKnownWidth * 3);
    for (unsigned y : {1u, 2u, 0u}) {
        reader->readDepthRow(y, depth.data());
        reader->readColourRow(y, rgb.data());
        for (unsigned x = 0; x < kKnownWidth; ++x) {
            EXPECT_EQ(depth[x], kKnownDepth[y][x]);
            EXPECT_EQ(rgb[3 * x], knownRed(x, y));
        }
    }
}

TEST(ReaderPropertyList, ComesWithTheShadowDirection)
{
    ScratchDir dir;
    const std::string path = dir.file("lit.ovq");
    writeKnownOrvo(path, true);
    auto reader = OrvoReader::open(path);
    const auto& s = reader->summary();
    ASSERT_TRUE(s.shadowSet);
    EXPECT_NE(s.propertyList.find("<string>" + path + "</string>"), std::string::npos);
    EXPECT_NE(s.propertyList.find("<string>2 0.4 0.000000/0.000000/1.000000 0.0 0/0/0</string>"),
              std::string::npos);
    EXPECT_EQ(s.propertyList.substr(s.propertyList.size() - 8), "</plist>");
}

TEST_F(KnownFile, RefusesBlocksOutsideTheFile)
{
    const std::string past = errorAfter([&](std::vector<unsigned char>& b) {
        patchU32(b, subfileTagValueAt(b, 1), std::uint32_t(b.size() + 100));
    });
    EXPECT_EQ(past, dir.file("damaged.ovq") + ": depth block at offset "
                        + std::to_string(bytes.size() + 100) + ": extends past end of file (size "
                        + std::to_string(bytes.size()) + ")");

    // A planar depth block that starts inside the file but runs past its end.
    const std::string straddling = errorAfter([&](std::vector<unsigned char>& b) {
        patchU32(b, subfileTagValueAt(b, 1), std::uint32_t(b.size() - 20));
        patchU32(b, b.size() - 20, 1);
    });
    EXPECT_NE(straddling.find("depth block at offset " + std::to_string(bytes.size() - 20)
                              + ": extends past end of file"),
              std::string::npos)
        << straddling;

    const std::string zero = errorAfter(
        [&](std::vector<unsigned char>& b) { patchU32(b, subfileTagValueAt(b, 0), 0); });
    EXPECT_NE(zero.find("directory 0: tag 34953 is 0"), std::string::npos) << zero;
}

TEST_F(KnownFile, RefusesStripsOutsideTheFileAndFilesThatAreNotRegular)
{
    // Each strip of each directory in turn pointing past the end: the reader
    // names the directory, the strip and its row.
    const std::vector<orvoblocks::Directory> dirs = orvoblocks::OrvoBytes(bytes).directories();
    const char* const channels[] = {"colour", "depth", "material"};
    ASSERT_EQ(dirs.size(), 3u);
    for (std::size_t d = 0; d < dirs.size(); ++d) {
        const orvoblocks::IfdEntry* offsets = dirs[d].find(TIFFTAG_STRIPOFFSETS);
        ASSERT_NE(offsets, nullptr);
        ASSERT_EQ(offsets->count, kKnownHeight);
        for (std::uint32_t strip = 0; strip < kKnownHeight; ++strip) {
            const std::string error = errorAfter([&](std::vector<unsigned char>& b) {
                patchU32(b, offsets->value + 4 * strip, std::uint32_t(b.size()));
            });
            EXPECT_NE(error.find(std::string(channels[d]) + " directory " + std::to_string(d)
                                 + ", strip " + std::to_string(strip) + ", row "
                                 + std::to_string(strip) + ": at offset "
                                 + std::to_string(bytes.size()) + " with "),
                      std::string::npos)
                << error;
            EXPECT_NE(error.find(" bytes extends past end of file (size "
                                 + std::to_string(bytes.size()) + ")"),
                      std::string::npos)
                << error;
        }
    }
    // A compressed strip's length, which libtiff cannot work out for itself.
    const std::string lzw = dir.file("lzw.ovq");
    writeKnownOrvo(lzw, false, true);
    std::vector<unsigned char> packed = readBytes(lzw);
    const std::vector<orvoblocks::Directory> packedDirs
        = orvoblocks::OrvoBytes(packed).directories();
    const orvoblocks::IfdEntry* lengths = packedDirs.at(0).find(TIFFTAG_STRIPBYTECOUNTS);
    ASSERT_NE(lengths, nullptr);
    ASSERT_EQ(lengths->count, kKnownHeight);  // an array of SHORT or LONG lengths
    constexpr std::uint16_t kTiffShort = 3;
    constexpr std::uint16_t kLongest = 0xFFFF;
    if (lengths->type == kTiffShort) {
        packed.at(lengths->value) = packed.at(lengths->value + 1) = 0xFF;
    } else {
        patchU32(packed, lengths->value, kLongest);
    }
    ASSERT_GT(kLongest, packed.size());
    writeBytes(lzw, packed);
    EXPECT_NE(openError(lzw).find(": colour directory 0, strip 0, row 0: at offset "),
              std::string::npos)
        << openError(lzw);
#ifndef _WIN32
    // Opening a named pipe would wait for a writer.
    ASSERT_EQ(::mkfifo(dir.file("pipe.ovq").c_str(), 0600), 0);
    EXPECT_EQ(openError(dir.file("pipe.ovq")),
              dir.file("pipe.ovq") + ": cannot open: not a regular file");
#endif
}

TEST_F(KnownFile, RefusesABlockOfAnotherChannel)
{
    // The depth directory pointing at the material block.
    const std::string e = errorAfter([&](std::vector<unsigned char>& b) {
        patchU32(b, subfileTagValueAt(b, 1), blockOffset(2));
    });
    EXPECT_NE(e.find("depth block at offset " + std::to_string(blockOffset(2))
                     + ": block code 2 instead of 1"),
              std::string::npos)
        << e;
}

TEST_F(KnownFile, RefusesAMaterialListThatLoopsOrMissesItsCount)
{
    const std::uint32_t block = blockOffset(2);
    orvoblocks::OrvoBytes parsed(bytes);
    const std::uint32_t last = parsed.u32(block + 12);  // record of tag 2
    const std::uint32_t first = parsed.u32(last);       // record of tag 1
    ASSERT_EQ(parsed.u32(first), 0u);

    // The first record pointing back at the last: a loop, found before the
    // count runs out when the count is large.
    const std::string loop = errorAfter([&](std::vector<unsigned char>& b) {
        patchU32(b, first, last);
        patchU32(b, block + 8, 5);
    });
    EXPECT_NE(loop.find("material record at offset " + std::to_string(last)
                        + ": the material list loops back"),
              std::string::npos)
        << loop;

    const std::string overlong
        = errorAfter([&](std::vector<unsigned char>& b) { patchU32(b, first, last); });
    EXPECT_NE(overlong.find("holds more records than the count 2"), std::string::npos) << overlong;

    const std::string short_
        = errorAfter([&](std::vector<unsigned char>& b) { patchU32(b, block + 8, 3); });
    EXPECT_NE(short_.find("ends after 2 records, but the count is 3"), std::string::npos) << short_;

    const std::string outside = errorAfter([&](std::vector<unsigned char>& b) {
        patchU32(b, first, std::uint32_t(b.size() - 4));
        patchU32(b, block + 8, 5);
    });
    EXPECT_NE(outside.find("material record at offset " + std::to_string(bytes.size() - 4)
                           + ": extends past end of file"),
              std::string::npos)
        << outside;

    const std::string unfinished = errorAfter(
        [&](std::vector<unsigned char>& b) { patchU32(b, subfileTagValueAt(b, 2), 0); });
    EXPECT_NE(unfinished.find("the material table was never written"), std::string::npos)
        << unfinished;
}

TEST_F(KnownFile, RefusesATruncatedFile)
{
    for (std::size_t keep : {std::size_t(4), bytes.size() / 2, bytes.size() - 1}) {
        const std::string e = errorAfter([&](std::vector<unsigned char>& b) { b.resize(keep); });
        EXPECT_EQ(e.rfind(dir.file("damaged.ovq") + ": ", 0), 0u) << e;
        EXPECT_EQ(e.find("opened without error"), std::string::npos) << "kept " << keep;
    }
}

// Every byte of the known file, uncompressed and compressed, replaced in turn
// by values that make offsets and counts point anywhere: each damaged file is
// either refused with a ReadError, at open or by the strips' check, or reads
// completely, never anything worse (the sanitizer build turns a stray read
// into a failure). A file accepted whose rows then fail to decode is what
// `orvo info` must never call valid.
TEST_F(KnownFile, DamagedBytesAreReadOrRefusedNeverFollowedBlindly)
{
    const std::string lzw = dir.file("lzw.ovq");
    writeKnownOrvo(lzw, false, true);
    const std::string damaged = dir.file("mutant.ovq");
    const unsigned char replacements[] = {0x00, 0xFF, 0x7F, 0x03};
    for (const std::vector<unsigned char>& original : {bytes, readBytes(lzw)}) {
        std::size_t refused = 0, read = 0;
        for (std::size_t at = 0; at < original.size(); ++at) {
            for (unsigned char value : replacements) {
                if (original[at] == value)
                    continue;
                std::vector<unsigned char> b = original;
                b[at] = value;
                writeBytes(damaged, b);
                std::unique_ptr<OrvoReader> reader;
                try {
                    reader = OrvoReader::open(damaged);
                    reader->verifyStrips();
                } catch (const ReadError& e) {
                    EXPECT_EQ(std::string(e.what()).rfind(damaged + ": ", 0), 0u) << e.what();
                    ++refused;
                    continue;
                }
                const auto& s = reader->summary();
                std::vector<std::uint8_t> rgb(std::size_t(s.width) * 3);
                std::vector<std::uint32_t> depth(s.width);
                std::vector<std::uint16_t> tags(s.width);
                try {
                    for (std::uint32_t y = 0; y < s.height; ++y) {
                        if (s.has(Channel::Colour))
                            reader->readColourRow(y, rgb.data());
                        if (s.has(Channel::Depth))
                            reader->readDepthRow(y, depth.data());
                        if (s.has(Channel::Material))
                            reader->readMaterialRow(y, tags.data());
                    }
                    ++read;
                } catch (const ReadError& e) {
                    ADD_FAILURE() << "byte " << at << " set to " << int(value) << ": accepted, yet "
                                  << e.what();
                }
            }
        }
        // Pixel bytes change nothing structural; header and block bytes do.
        EXPECT_GT(read, 0u);
        EXPECT_GT(refused, 0u);
    }
}

TEST(ReaderForeignFiles, AreRefusedWithTheReason)
{
    ScratchDir dir;
    const std::string text = dir.file("notes.ovq");
    writeBytes(text, {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'});
    EXPECT_EQ(openError(text), text + ": not a TIFF file: the header does not start with II or MM");

    const std::string big = dir.file("big.ovq");
    writeBytes(big, {'I', 'I', 43, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(openError(big), big + ": is a BigTIFF file; Orvo files are classic TIFF files");

    EXPECT_NE(openError(dir.file("missing.ovq")).find("missing.ovq: cannot open: No such file"),
              std::string::npos);

    // An ordinary RGB TIFF without the Orvo tag.
    const std::string plain = dir.file("plain.tif");
    {
        TIFF* tif = TIFFOpen(plain.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 2);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        unsigned char row[6] = {1, 2, 3, 4, 5, 6};
        for (unsigned y = 0; y < 2; ++y)
            TIFFWriteScanline(tif, row, y, 0);
        TIFFClose(tif);
    }
    EXPECT_EQ(openError(plain), plain
                                    + ": directory 0: no tag 34953 (QuillornSubfileData); not "
                                      "an Orvo file");
}

}  // namespace
