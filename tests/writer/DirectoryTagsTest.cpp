// The image directories as TIFF readers see them: tags, strips and the
// order of the directories, read back with libtiff and from the raw bytes.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <optional>

#include "writer/WriterTestSupport.h"

using namespace writertest;

namespace {

constexpr unsigned kWidth = 7;
constexpr unsigned kHeight = 5;
constexpr int kRgb = 1, kDepth = 2, kMaterial = 4;

std::string writeThreePasses(const ScratchDir& dir, const std::string& name, bool compress,
                             const std::wstring& software = L"fennick tests")
{
    auto writer = makeWriter(dir.wfile(name), kWidth, kHeight, compress, software);
    samplepattern::writePass(*writer, kRgb, kWidth, kHeight);
    samplepattern::writePass(*writer, kDepth, kWidth, kHeight);
    samplepattern::writePass(*writer, kMaterial, kWidth, kHeight);
    writer->close();
    return dir.file(name);
}

std::set<std::uint16_t> tagNumbers(const orvoblocks::Directory& d)
{
    std::set<std::uint16_t> tags;
    for (const auto& e : d.entries)
        tags.insert(e.tag);
    return tags;
}

// "YYYY:MM:DD HH:MM:SS"
bool isTiffDateTime(const std::string& text)
{
    const std::string shape = "dddd:dd:dd dd:dd:dd";
    if (text.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i]))
                            : text[i] != shape[i])
            return false;
    return true;
}

// Checks every strip of the current directory against the pattern.
void expectStripsMatch(const TiffFile& tiff, int channel)
{
    for (unsigned y = 0; y < kHeight; ++y)
        ASSERT_EQ(tiff.strip(y), expectedRow(channel, kWidth, y))
            << "channel " << channel << " row " << y;
}

TEST(DirectoryTags, EachDirectoryCarriesExactlyItsTags)
{
    ScratchDir dir;
    const std::string path = writeThreePasses(dir, "tags.ovq", false);
    const auto file = bytesOf(path);
    const auto dirs = file.directories();
    ASSERT_EQ(dirs.size(), 3u);

    const std::set<std::uint16_t> rgb{256, 257, 258, 259, 262, 273, 277, 278,
                                      279, 282, 283, 284, 296, 305, 306, 34953};
    const std::set<std::uint16_t> single{256, 257, 258, 259, 273, 277, 278, 279, 284, 34953};
    EXPECT_EQ(tagNumbers(dirs[0]), rgb);
    EXPECT_EQ(tagNumbers(dirs[1]), single);
    EXPECT_EQ(tagNumbers(dirs[2]), single);

    TiffFile tiff(path);
    struct Expected {
        std::uint16_t bits, samples;
    } expected[] = {{8, 3}, {32, 1}, {16, 1}};
    for (int d = 0; d < 3; ++d) {
        SCOPED_TRACE("directory " + std::to_string(d));
        tiff.select(d);
        EXPECT_EQ(tiff.u32(TIFFTAG_IMAGEWIDTH), kWidth);
        EXPECT_EQ(tiff.u32(TIFFTAG_IMAGELENGTH), kHeight);
        EXPECT_EQ(tiff.u16(TIFFTAG_BITSPERSAMPLE), expected[d].bits);
        EXPECT_EQ(tiff.u16(TIFFTAG_SAMPLESPERPIXEL), expected[d].samples);
        EXPECT_EQ(tiff.u16(TIFFTAG_COMPRESSION), COMPRESSION_NONE);
        EXPECT_EQ(tiff.u32(TIFFTAG_ROWSPERSTRIP), 1u);
        EXPECT_EQ(tiff.u16(TIFFTAG_PLANARCONFIG), PLANARCONFIG_CONTIG);
        expectStripsMatch(tiff, 1 << d);
    }
    tiff.select(0);
    EXPECT_EQ(tiff.u16(TIFFTAG_PHOTOMETRIC), PHOTOMETRIC_RGB);
    EXPECT_EQ(tiff.u16(TIFFTAG_RESOLUTIONUNIT), RESUNIT_INCH);
    EXPECT_EQ(tiff.real(TIFFTAG_XRESOLUTION), 96.0f);
    EXPECT_EQ(tiff.real(TIFFTAG_YRESOLUTION), 96.0f);
    EXPECT_EQ(tiff.text(TIFFTAG_SOFTWARE), "fennick tests");
    EXPECT_TRUE(isTiffDateTime(tiff.text(TIFFTAG_DATETIME))) << tiff.text(TIFFTAG_DATETIME);
}

// The process's time zone set to `zone` for the life of the object.
class TimeZone {
public:
    explicit TimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            saved_ = std::string(old);
        set(zone);
    }
    ~TimeZone() { set(saved_ ? saved_->c_str() : nullptr); }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    static void set(const char* zone)
    {
#ifdef _WIN32
        _putenv_s("TZ", zone ? zone : "");
        _tzset();
#else
        if (zone)
            setenv("TZ", zone, 1);
        else
            unsetenv("TZ");
        tzset();
#endif
    }
    std::optional<std::string> saved_;
};

std::string dateTimeText(std::time_t t, bool utc)
{
    const std::tm* parts = utc ? std::gmtime(&t) : std::localtime(&t);
    char text[32];
    return std::string(text, std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", parts));
}

TEST(DirectoryTags, DateTimeIsTheTimeOfWritingInUtcWhateverTheLocalZone)
{
    // Eleven hours east of Greenwich, in the form both C runtimes read.
    TimeZone zone("FNK-11");
    const std::time_t before = std::time(nullptr);
    ASSERT_NE(dateTimeText(before, false), dateTimeText(before, true)) << "the runtime ignored TZ";

    ScratchDir dir;
    const std::string path = writeThreePasses(dir, "date.ovq", false);
    const std::time_t after = std::time(nullptr);
    TiffFile tiff(path);
    const std::string written = tiff.text(TIFFTAG_DATETIME);
    // The texts are fixed-width, so their order is the order of the times.
    EXPECT_LE(dateTimeText(before, true), written);
    EXPECT_LE(written, dateTimeText(after, true));
}

TEST(DirectoryTags, TextsArePaddedAndEmptyOnesLeftOut)
{
    ScratchDir dir;
    const std::wstring path = dir.wfile("texts.ovq");
    {
        std::unique_ptr<OrvoFile> writer(OrvoFile::create(path, 2, 2, L"ab", L"sc\u00e9ne", L"Ann",
                                                          L"(c) 2026", Projection(), false));
        samplepattern::writePass(*writer, kRgb, 2, 2);
        writer->close();
    }
    TiffFile tiff(dir.file("texts.ovq"));
    EXPECT_EQ(tiff.text(TIFFTAG_SOFTWARE), "ab  ");
    EXPECT_EQ(tiff.text(TIFFTAG_DOCUMENTNAME), "sc\xC3\xA9ne");
    EXPECT_EQ(tiff.text(TIFFTAG_ARTIST), "Ann ");
    EXPECT_EQ(tiff.text(TIFFTAG_COPYRIGHT), "(c) 2026");

    {
        std::unique_ptr<OrvoFile> writer(
            OrvoFile::create(path, 2, 2, L"", L"", L"", L"", Projection(), false));
        samplepattern::writePass(*writer, kRgb, 2, 2);
    }
    const auto tags = tagNumbers(bytesOf(dir.file("texts.ovq")).directories().at(0));
    for (std::uint16_t absent : {269, 305, 315, 33432})
        EXPECT_EQ(tags.count(absent), 0u) << absent;
    EXPECT_EQ(tags.count(306), 1u);  // DateTime is always there
}

TEST(DirectoryTags, ResolutionAndItsUnit)
{
    ScratchDir dir;
    struct Case {
        Talvenrock::Orvo::ResolutionUnit unit;
        std::uint32_t tiffUnit;
    } cases[]
        = {{Talvenrock::Orvo::ResolutionInch, 2}, {Talvenrock::Orvo::ResolutionCentimeter, 3}};
    for (const auto& c : cases) {
        {
            auto writer = makeWriter(dir.wfile("res.ovq"), 2, 2);
            writer->setResolution(300, 150, c.unit);
            samplepattern::writePass(*writer, kRgb, 2, 2);
        }
        const auto file = bytesOf(dir.file("res.ovq"));
        const auto rgb = file.directories().at(0);
        EXPECT_EQ(file.values(*rgb.find(296)), std::vector<std::uint32_t>{c.tiffUnit});
        // RATIONAL: numerator and denominator, out of line.
        const std::uint32_t x = file.u32(rgb.find(282)->entryOffset + 8);
        const std::uint32_t y = file.u32(rgb.find(283)->entryOffset + 8);
        EXPECT_EQ(file.u32(x), 300u);
        EXPECT_EQ(file.u32(x + 4), 1u);
        EXPECT_EQ(file.u32(y), 150u);
        EXPECT_EQ(file.u32(y + 4), 1u);
    }
}

TEST(DirectoryTags, CompressionUsesLzwWithPredictorsAndPixelsRoundTrip)
{
    ScratchDir dir;
    const std::string path = writeThreePasses(dir, "lzw.ovq", true);
    TiffFile tiff(path);
    ASSERT_EQ(tiff.directoryCount(), 3);
    const std::uint16_t predictor[] = {PREDICTOR_HORIZONTAL, PREDICTOR_HORIZONTAL, PREDICTOR_NONE};
    for (int d = 0; d < 3; ++d) {
        SCOPED_TRACE("directory " + std::to_string(d));
        tiff.select(d);
        EXPECT_EQ(tiff.u16(TIFFTAG_COMPRESSION), COMPRESSION_LZW);
        EXPECT_EQ(tiff.u16(TIFFTAG_PREDICTOR), predictor[d]);
        expectStripsMatch(tiff, 1 << d);
    }
    // Uncompressed directories carry no Predictor at all.
    ScratchDir plainDir;
    const auto plain = bytesOf(writeThreePasses(plainDir, "plain.ovq", false));
    for (const auto& d : plain.directories())
        EXPECT_EQ(d.find(317), nullptr);
}

TEST(DirectoryTags, DirectoriesAreNumberedInCreationOrder)
{
    ScratchDir dir;
    {
        auto writer = makeWriter(dir.wfile("order.ovq"), kWidth, kHeight);
        samplepattern::writePass(*writer, kMaterial, kWidth, kHeight);
        samplepattern::writePass(*writer, kRgb, kWidth, kHeight);
        samplepattern::writePass(*writer, kDepth, kWidth, kHeight);
        writer->putMaterial(1, 10, 20, 30, L"only");
        writer->close();
    }
    const std::string path = dir.file("order.ovq");
    TiffFile tiff(path);
    ASSERT_EQ(tiff.directoryCount(), 3);
    const int channelOf[] = {kMaterial, kRgb, kDepth};
    const std::uint16_t bits[] = {16, 8, 32};
    for (int d = 0; d < 3; ++d) {
        tiff.select(d);
        EXPECT_EQ(tiff.u16(TIFFTAG_BITSPERSAMPLE), bits[d]);
        expectStripsMatch(tiff, channelOf[d]);
    }
    // close() finished directory 0, the material one, not the last directory.
    const auto file = bytesOf(path);
    const auto offsets = file.subfileOffsets();
    EXPECT_EQ(file.materialBlock(offsets[0]).head.extra, 1u);
    EXPECT_EQ(file.rgbBlock(offsets[1]).head.code, orvoblocks::kRgbBlockCode);
    EXPECT_EQ(file.depthBlock(offsets[2]).head.code, orvoblocks::kPlanarDepthBlockCode);
}

TEST(DirectoryTags, OnePassOfAllChannelsStoresTheSamePictures)
{
    ScratchDir dir;
    const std::string threePasses = writeThreePasses(dir, "three.ovq", false);
    {
        // No beginPass at all: a new writer feeds every channel.
        auto writer = makeWriter(dir.wfile("one.ovq"), kWidth, kHeight);
        for (unsigned y = 0; y < kHeight; ++y) {
            samplepattern::fillRow(*writer, kRgb | kDepth | kMaterial, kWidth, y);
            writer->putScan();
        }
    }
    TiffFile a(threePasses), b(dir.file("one.ovq"));
    ASSERT_EQ(b.directoryCount(), 3);
    for (int d = 0; d < 3; ++d) {
        a.select(d);
        b.select(d);
        EXPECT_EQ(b.u16(TIFFTAG_BITSPERSAMPLE), a.u16(TIFFTAG_BITSPERSAMPLE));
        for (unsigned y = 0; y < kHeight; ++y)
            EXPECT_EQ(b.strip(y), a.strip(y)) << d << "/" << y;
    }
    // Interleaved in the file: strip 0 of the depth directory lies before
    // strip 1 of the RGB directory.
    const auto file = bytesOf(dir.file("one.ovq"));
    const auto dirs = file.directories();
    const auto rgbOffsets = file.values(*dirs[0].find(273));
    const auto depthOffsets = file.values(*dirs[1].find(273));
    EXPECT_LT(depthOffsets[0], rgbOffsets[1]);
}

TEST(DirectoryTags, OnlyTheChannelsWrittenHaveDirectories)
{
    ScratchDir dir;
    {
        auto writer = makeWriter(dir.wfile("rgb.ovq"), kWidth, kHeight);
        samplepattern::writePass(*writer, kRgb, kWidth, kHeight);
        // A pass without any channel writes nothing.
        samplepattern::writePass(*writer, 0, kWidth, kHeight);
        writer->close();
    }
    const auto file = bytesOf(dir.file("rgb.ovq"));
    ASSERT_EQ(file.directories().size(), 1u);
    EXPECT_EQ(file.directories()[0].find(258)->count, 3u);
}

}  // namespace
