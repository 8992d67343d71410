// The fixed save that builds of either byte order write, and the comparison
// that proves their files equal: the files follow the machine's byte order
// and read back with the values given; two saves differ only in DateTime;
// a change of any one value, however small, is reported by name.
#include "platform/FixedSave.h"
#include "platform/OrderCompare.h"

#include "support/OrvoBlocks.h"
#include "support/ScratchDir.h"
#include "avkorvo/OrvoReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace platformtest;
using Talvenrock::Orvo::OrvoReader;

namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kStripOffsetsTag = 273;
constexpr std::uint16_t kSoftwareTag = 305;
constexpr std::uint16_t kDateTimeTag = 306;
constexpr std::uint64_t kPanoAngleAt = 112;       // in the panoramic depth block
constexpr std::uint64_t kColourBlockTextAt = 24;  // property list in the colour block
constexpr std::uint64_t kRecordGreenAt = 7;
constexpr std::uint64_t kRecordNameAt = 9;

using Scratch = testsupport::ScratchDir;

std::vector<unsigned char> readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class FixedSaveFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_THROW(writeFixedSave(FENNICK_MODULE_PATH, dir.str())); }
    Scratch dir;
};

TEST_F(FixedSaveFiles, FollowTheMachinesByteOrderAndReadBackAsGiven)
{
    for (const std::string& name : fixedSaveFiles()) {
        EXPECT_EQ(byteOrderMark(dir.file(name)), machineByteOrderMark()) << name;
        EXPECT_EQ(orvoblocks::OrvoBytes::fromFile(dir.file(name)).bigEndian(),
                  machineByteOrderMark() == "MM");
    }

    // Through the plug-in: the saver's texts, a planar camera, one material
    // a hue, and the side files consumed.
    auto saved = OrvoReader::open(dir.file(kSavedName));
    const Talvenrock::Orvo::OrvoSummary& s = saved->summary();
    EXPECT_EQ(s.littleEndian, machineByteOrderMark() == "II");
    ASSERT_EQ(s.directories.size(), 3u);
    EXPECT_EQ(s.width, kFixedWidth);
    EXPECT_EQ(s.height, kFixedHeight);
    EXPECT_EQ(s.software, "Talvenrock Orvo plugin for Modo");
    EXPECT_FALSE(s.shadowSet);
    EXPECT_EQ(s.camera.blockCode, 1u);
    // The host's y-up position (1.5, -2.25, 3.125) with the axes exchanged
    // into the file's z-up frame.
    EXPECT_EQ(s.camera.position[0], 1.5);
    EXPECT_EQ(s.camera.position[1], -3.125);
    EXPECT_EQ(s.camera.position[2], -2.25);
    ASSERT_EQ(s.materials.size(), 4u);
    EXPECT_EQ(s.materials.back().tag, 1u);
    EXPECT_EQ(s.materials.back().name, "Mat 1");
    EXPECT_FALSE(fs::exists(dir.file(std::string(kSavedName) + ".param.txt")));
    EXPECT_FALSE(fs::exists(dir.file(std::string(kSavedName) + ".rgb.tga")));
    std::vector<std::uint32_t> depth(kFixedWidth);
    saved->readDepthRow(0, depth.data());
    EXPECT_EQ(depth[0], Talvenrock::Orvo::kNoDepth);  // the left column holds nothing
    EXPECT_NE(depth[1], Talvenrock::Orvo::kNoDepth);

    // Through the writer: every field the saver leaves out.
    auto lit = OrvoReader::open(dir.file(kLitName));
    const Talvenrock::Orvo::OrvoSummary& l = lit->summary();
    EXPECT_EQ(l.software, "sw  ");  // padded to four bytes
    EXPECT_EQ(l.documentName, "Fixed scene");
    EXPECT_EQ(l.artist, "\xC3\x84rtist \xCE\xBB");
    EXPECT_EQ(l.copyright, "\xC2\xA9 Talvenrock");
    EXPECT_EQ(l.resolutionUnit, 3);  // centimetre
    EXPECT_EQ(l.yResolution, 119.0);
    ASSERT_TRUE(l.shadowSet);
    EXPECT_NE(l.propertyList.find("<string>lit.ovq</string>"), std::string::npos);
    EXPECT_NE(l.propertyList.find("2 0.4 0.218218/-0.436436/0.872872 0.0 0/0/0"), std::string::npos)
        << l.propertyList;
    const Talvenrock::Orvo::Camera& c = l.camera;
    EXPECT_TRUE(c.panoramic);
    EXPECT_EQ(c.kind, 3u);
    EXPECT_EQ(c.direction2[2], -1.0 / 3.0);
    EXPECT_EQ(c.direction3[1], 1e-300);
    EXPECT_EQ(c.angle, 72.5);
    EXPECT_EQ(c.scale, -0.001);
    EXPECT_EQ(c.code, 0x01020304u);
    ASSERT_EQ(l.materials.size(), 3u);
    EXPECT_EQ(l.materials[0].tag, 0x0102u);
    EXPECT_EQ(l.materials[0].blue, 255u);
    EXPECT_EQ(l.materials[1].name, "Gr\xC3\xBCn \"2\" & <3>");
    // The compressed copy holds the same pictures.
    auto lzw = OrvoReader::open(dir.file(kLzwName));
    for (const Talvenrock::Orvo::DirectoryInfo& d : lzw->summary().directories)
        EXPECT_EQ(d.compression, 5) << "directory " << d.index;  // LZW
    std::vector<std::uint16_t> tags(kFixedWidth), lzwTags(kFixedWidth);
    std::vector<std::uint32_t> lzwDepth(kFixedWidth);
    for (std::uint32_t y : {0u, kFixedHeight - 1}) {
        lit->readDepthRow(y, depth.data());
        lit->readMaterialRow(y, tags.data());
        lzw->readDepthRow(y, lzwDepth.data());
        lzw->readMaterialRow(y, lzwTags.data());
        EXPECT_EQ(lzwDepth, depth) << "row " << y;
        EXPECT_EQ(lzwTags, tags) << "row " << y;
        for (std::uint32_t x = 0; x < kFixedWidth; ++x) {
            EXPECT_EQ(depth[x], (x + y) % 6 == 0 ? Talvenrock::Orvo::kNoDepth
                                                 : 0x01020304u * x + 0x00A0B0C1u * y);
            EXPECT_EQ(tags[x], (x / 5 + y) % 4 + 0x0100 * (x % 2));
        }
    }
}

TEST_F(FixedSaveFiles, TwoSavesDifferOnlyInTheirDateTime)
{
    Scratch again;
    writeFixedSave(FENNICK_MODULE_PATH, again.str());
    for (const std::string& name : fixedSaveFiles())
        EXPECT_EQ(compareOrvoFiles(dir.file(name), again.file(name)), std::vector<std::string>())
            << name;

    // A different DateTime alone is no difference.
    const std::string other = again.file("other-time.ovq");
    std::vector<unsigned char> bytes = readAll(dir.file(kLitName));
    const orvoblocks::OrvoBytes parsed(bytes);
    const std::vector<orvoblocks::Directory> dirs = parsed.directories();
    const orvoblocks::IfdEntry* time = dirs.at(0).find(kDateTimeTag);
    ASSERT_NE(time, nullptr);
    const std::uint32_t year = parsed.u32(time->entryOffset + 8);
    bytes.at(year) = bytes.at(year) == '1' ? '2' : '1';
    writeAll(other, bytes);
    EXPECT_EQ(compareOrvoFiles(dir.file(kLitName), other), std::vector<std::string>());
}

TEST_F(FixedSaveFiles, ReportsAChangeOfAnyOneValueByName)
{
    const std::string original = dir.file(kLitName);
    const std::vector<unsigned char> bytes = readAll(original);
    const orvoblocks::OrvoBytes parsed(bytes);
    const auto dirs = parsed.directories();
    ASSERT_EQ(dirs.size(), 3u);
    const std::vector<std::uint32_t> blocks = parsed.subfileOffsets();
    auto strip = [&](std::size_t directory, std::size_t row) {
        return parsed.values(*dirs.at(directory).find(kStripOffsetsTag)).at(row);
    };
    const std::uint32_t lastRecord = parsed.materialBlock(blocks[2]).listHead;
    const std::uint32_t middleRecord = parsed.u32(lastRecord);
    // The least significant byte of a double: its change moves the value by
    // one unit in the last place.
    const std::uint64_t angleLowByte = blocks[1] + kPanoAngleAt + (parsed.bigEndian() ? 7 : 0);
    const orvoblocks::IfdEntry* software = dirs[0].find(kSoftwareTag);
    ASSERT_NE(software, nullptr);
    const std::uint32_t softwareText
        = software->count <= 4 ? software->entryOffset + 8 : parsed.u32(software->entryOffset + 8);

    struct Change {
        std::uint64_t at;
        const char* reported;
    };
    const Change changes[] = {
        {strip(0, 5) + 4, "colour row 5 pixel 1 sample 1: "},
        {strip(1, 2) + 9, "depth row 2 pixel 2: "},
        {strip(2, 16) + 1, "material row 16 pixel 0: "},
        {angleLowByte, "camera angle: "},
        {lastRecord + kRecordGreenAt, "material record 0 green: "},
        {middleRecord + kRecordNameAt + 2, "material record 1 name: "},
        {blocks[0] + kColourBlockTextAt + 50, "property list: "},
        {softwareText + 1, "Software: "},
    };
    for (const Change& change : changes) {
        std::vector<unsigned char> b = bytes;
        b.at(change.at) ^= 0x01;
        const std::string changed = dir.file("changed.ovq");
        writeAll(changed, b);
        const std::vector<std::string> found = compareOrvoFiles(original, changed);
        ASSERT_EQ(found.size(), 1u) << change.reported << "\n" << ::testing::PrintToString(found);
        EXPECT_EQ(found[0].rfind(change.reported, 0), 0u) << found[0];
    }

    // A file the reader refuses is a difference too.
    writeAll(dir.file("cut.ovq"),
             std::vector<unsigned char>(bytes.begin(), bytes.begin() + bytes.size() / 2));
    const std::vector<std::string> refused = compareOrvoFiles(original, dir.file("cut.ovq"));
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].rfind("the reader: refuses it: ", 0), 0u) << refused[0];
}

}  // namespace
