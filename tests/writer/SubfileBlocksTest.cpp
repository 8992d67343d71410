// The writer's own bytes, read independently of libtiff: the sub-file
// blocks each directory points at, the material record list and the
// property list of the RGB block.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include "writer/WriterTestSupport.h"

using namespace writertest;

namespace {

constexpr unsigned kWidth = 4;
constexpr unsigned kHeight = 3;

Projection distinctProjection()
{
    Projection p;
    p.kind = 0;
    double v = 1.5;
    for (double* axis :
         {p.position, p.xAxis, p.yAxis, p.zAxis, p.spareAxis, p.topLeft, p.bottomRight})
        for (int i = 0; i < 3; ++i)
            axis[i] = (v += 1.25);
    p.nearDistance = -0.5;
    p.farDistance = 1234.5;
    p.scale = 0.25;
    p.code = 4;
    return p;
}

bool machineIsBigEndian()
{
    const std::uint16_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 0;
}

std::uint64_t sizeOf(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

std::uint32_t firstStripOffset(const orvoblocks::OrvoBytes& file, const orvoblocks::Directory& d)
{
    return file.values(*d.find(273)).at(0);
}

TEST(SubfileBlocks, PlanarFileWithMaterials)
{
    ScratchDir dir;
    const std::string path = dir.file("planar.ovq");
    const Projection projection = distinctProjection();
    {
        std::unique_ptr<OrvoFile> writer(OrvoFile::create(dir.wfile("planar.ovq"), kWidth, kHeight,
                                                          L"sw", L"", L"", L"", projection, false));
        samplepattern::writePass(*writer, 1, kWidth, kHeight);
        samplepattern::writePass(*writer, 2, kWidth, kHeight);
        samplepattern::writePass(*writer, 4, kWidth, kHeight);
        writer->putMaterial(1, 255, 0, 0, L"Mat 1");
        writer->putMaterial(2, 0, 128, 0, L"gr\u00fcn");
        writer->putMaterial(3, 1, 2, 3, L"");
        writer->close();
    }
    const auto file = bytesOf(path);
    EXPECT_EQ(file.bigEndian(), machineIsBigEndian());  // the header states the writer's order
    const auto dirs = file.directories();
    const auto offsets = file.subfileOffsets();
    ASSERT_EQ(offsets.size(), 3u);

    // The saver's kind of RGB block: no shadow, 16 bytes, strip 0 right after it.
    const auto rgb = file.rgbBlock(offsets[0]);
    EXPECT_EQ(rgb.head.code, 0u);
    EXPECT_EQ(rgb.head.one, 1u);
    EXPECT_EQ(rgb.head.kind, 3u);
    EXPECT_EQ(rgb.head.extra, 5u);
    EXPECT_EQ(rgb.hasShadow, 0u);
    EXPECT_EQ(rgb.reserved, 0u);
    EXPECT_EQ(offsets[0] + 16, firstStripOffset(file, dirs[0]));

    const auto depth = file.depthBlock(offsets[1]);
    EXPECT_EQ(depth.head.code, 1u);
    EXPECT_EQ(depth.head.one, 1u);
    EXPECT_EQ(depth.head.kind, 0u);
    EXPECT_EQ(depth.head.extra, 0u);
    EXPECT_EQ(depth.size, 212u);
    EXPECT_EQ(offsets[1] + 212, firstStripOffset(file, dirs[1]));
    const auto& c = depth.planar;
    EXPECT_EQ(c.kind, projection.kind);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(c.position[i], projection.position[i]);
        EXPECT_EQ(c.xAxis[i], projection.xAxis[i]);
        EXPECT_EQ(c.yAxis[i], projection.yAxis[i]);
        EXPECT_EQ(c.zAxis[i], projection.zAxis[i]);
        EXPECT_EQ(c.spareAxis[i], projection.spareAxis[i]);
        EXPECT_EQ(c.topLeft[i], projection.topLeft[i]);
        EXPECT_EQ(c.bottomRight[i], projection.bottomRight[i]);
    }
    EXPECT_EQ(c.nearDistance, projection.nearDistance);
    EXPECT_EQ(c.farDistance, projection.farDistance);
    EXPECT_EQ(c.scale, projection.scale);
    EXPECT_EQ(c.code, projection.code);

    // The material block is the last thing in the file, 16 bytes long.
    const auto mat = file.materialBlock(offsets[2]);
    EXPECT_EQ(mat.head.one, 1u);
    EXPECT_EQ(mat.head.kind, 1u);
    EXPECT_EQ(mat.head.extra, 3u);
    EXPECT_EQ(offsets[2] + 16, sizeOf(path));

    const auto records = file.materials(mat.listHead);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].tag, 3u);
    EXPECT_EQ(records[1].tag, 2u);
    EXPECT_EQ(records[2].tag, 1u);
    EXPECT_EQ(records[2].previous, 0u);
    EXPECT_EQ(records[1].previous, records[2].offset);
    EXPECT_EQ(records[2].name, "Mat 1");
    EXPECT_EQ(records[1].name, "gr\xC3\xBCn");
    EXPECT_EQ(records[0].name, "");
    EXPECT_EQ((std::vector<int>{records[2].r, records[2].g, records[2].b}),
              (std::vector<int>{255, 0, 0}));
    EXPECT_EQ((std::vector<int>{records[1].r, records[1].g, records[1].b}),
              (std::vector<int>{0, 128, 0}));
    EXPECT_EQ((std::vector<int>{records[0].r, records[0].g, records[0].b}),
              (std::vector<int>{1, 2, 3}));
    // Records are unaligned and back to back: 9 bytes, the name, a NUL.
    EXPECT_EQ(records[1].offset, records[2].offset + 9 + 5 + 1);
    EXPECT_EQ(records[0].offset, records[1].offset + 9 + 5 + 1);
}

TEST(SubfileBlocks, PanoramicDepthBlock)
{
    ScratchDir dir;
    PanoProjection pano;
    pano.position[0] = 1.0;
    pano.direction1[1] = -2.0;
    pano.direction2[2] = 3.5;
    pano.direction3[0] = 7.0;
    pano.angle = 90.0;
    pano.nearDistance = 0.125;
    pano.farDistance = 500.0;
    pano.scale = 2.0;
    pano.code = 9;
    {
        std::unique_ptr<OrvoFile> writer(OrvoFile::create(dir.wfile("pano.ovq"), kWidth, kHeight,
                                                          L"", L"", L"", L"", pano, false));
        samplepattern::writePass(*writer, 2, kWidth, kHeight);
    }
    const auto file = bytesOf(dir.file("pano.ovq"));
    const auto offsets = file.subfileOffsets();
    ASSERT_EQ(offsets.size(), 1u);
    const auto depth = file.depthBlock(offsets[0]);
    EXPECT_EQ(depth.head.code, 8u);
    EXPECT_EQ(depth.size, 148u);
    EXPECT_EQ(offsets[0] + 148, firstStripOffset(file, file.directories()[0]));
    const auto& c = depth.pano;
    EXPECT_EQ(c.kind, 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(c.position[i], pano.position[i]);
        EXPECT_EQ(c.direction1[i], pano.direction1[i]);
        EXPECT_EQ(c.direction2[i], pano.direction2[i]);
        EXPECT_EQ(c.direction3[i], pano.direction3[i]);
    }
    EXPECT_EQ(c.angle, 90.0);
    EXPECT_EQ(c.nearDistance, 0.125);
    EXPECT_EQ(c.farDistance, 500.0);
    EXPECT_EQ(c.scale, 2.0);
    EXPECT_EQ(c.code, 9u);
}

TEST(SubfileBlocks, ShadowDirectionAddsThePropertyList)
{
    ScratchDir dir;
    // The name goes into the XML unescaped, exactly as given (as UTF-8).
    // '&' and '\'' are the characters XML escapes that every system allows
    // in a file name.
    const std::string name = "a&b'c.ovq";
    const std::string path = dir.file(name);
    {
        auto writer = makeWriter(dir.wfile(name), kWidth, kHeight);
        writer->setShadowDirection(0.0, 0.0, 2.0);
        samplepattern::writePass(*writer, 1, kWidth, kHeight);
    }
    const auto file = bytesOf(path);
    const std::uint32_t start = file.subfileOffsets().at(0);
    const auto rgb = file.rgbBlock(start);
    EXPECT_EQ(rgb.hasShadow, 1u);
    EXPECT_EQ(rgb.reserved, 0u);
    const std::string expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                                 "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                 "<plist version=\"1.0\">\n"
                                 "<dict>\n"
                                 "<key>Version</key>\n"
                                 "<integer>4</integer>\n"
                                 "<key>Name</key>\n"
                                 "<string>"
                                 + dir.utf8file(name)
                                 + "</string>\n"
                                   "<key>Shadows</key>\n"
                                   "<string>2 0.4 0.000000/0.000000/1.000000 0.0 0/0/0</string>\n"
                                   "</dict>\n"
                                   "</plist>";
    EXPECT_EQ(rgb.text, expected);
    EXPECT_EQ(rgb.textLength, expected.size());
    EXPECT_TRUE(rgb.textNulTerminated);
    EXPECT_EQ(rgb.endOffset, start + 24 + rgb.textLength);
    EXPECT_EQ(file.u8(rgb.endOffset), 0u);
    EXPECT_EQ(start + rgb.size, firstStripOffset(file, file.directories()[0]));
}

TEST(SubfileBlocks, MaterialPassWithoutMaterials)
{
    ScratchDir dir;
    {
        auto writer = makeWriter(dir.wfile("nomat.ovq"), kWidth, kHeight);
        samplepattern::writePass(*writer, 4, kWidth, kHeight);
        writer->close();
    }
    const auto file = bytesOf(dir.file("nomat.ovq"));
    const auto mat = file.materialBlock(file.subfileOffsets().at(0));
    EXPECT_EQ(mat.head.extra, 0u);
    EXPECT_EQ(mat.listHead, 0u);
    EXPECT_TRUE(file.materials(mat.listHead).empty());
}

TEST(SubfileBlocks, MaterialsWithoutMaterialPassAreAppendedButUnlinked)
{
    ScratchDir dir;
    const std::string path = dir.file("orphans.ovq");
    std::uint64_t before = 0;
    {
        auto writer = makeWriter(dir.wfile("orphans.ovq"), kWidth, kHeight);
        samplepattern::writePass(*writer, 1, kWidth, kHeight);
        before = sizeOf(path);
        writer->putMaterial(1, 1, 1, 1, L"one");
        writer->putMaterial(2, 2, 2, 2, L"two");
        writer->close();
    }
    const auto file = bytesOf(path);
    constexpr std::uint64_t kRecord = 9 + 3 + 1;
    ASSERT_EQ(sizeOf(path), before + 2 * kRecord);
    const auto records = file.materials(static_cast<std::uint32_t>(before + kRecord));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].name, "two");
    EXPECT_EQ(records[1].name, "one");
    EXPECT_EQ(records[1].offset, before);
    // Only the RGB directory exists and nothing points at the records.
    const auto offsets = file.subfileOffsets();
    ASSERT_EQ(offsets.size(), 1u);
    EXPECT_EQ(file.rgbBlock(offsets[0]).head.code, orvoblocks::kRgbBlockCode);
}

}  // namespace
