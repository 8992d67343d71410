// `orvo info`: the description of a known file as text and as JSON against
// the expected output, and the refusal of files that are not valid Orvo
// files with a message saying what is wrong and where.
#include "tools/ToolTestSupport.h"

#include "support/OrvoBlocks.h"

#include <nlohmann/json.hpp>
#include <tiffio.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>

using namespace tooltest;

namespace {

const std::string kDataDir = FENNICK_TEST_DATA_DIR "/tools/";

constexpr std::size_t kDateTimeLength = 19;  // "YYYY:MM:DD HH:MM:SS"

// The only value that changes from run to run is the writing time; it is
// replaced after its marker when it has the TIFF date form.
std::string maskAfter(std::string text, const std::string& marker, const std::string& end)
{
    const std::size_t at = text.find(marker);
    if (at == std::string::npos)
        return text;
    const std::size_t from = at + marker.size();
    if (text.compare(from + kDateTimeLength, end.size(), end) != 0)
        return text;
    for (std::size_t i = 0; i < kDateTimeLength; ++i) {
        const char c = text[from + i];
        const bool digit = c >= '0' && c <= '9';
        const bool expected = (i == 4 || i == 7 || i == 13 || i == 16) ? c == ':'
                              : i == 10                                ? c == ' '
                                                                       : digit;
        if (!expected)
            return text;
    }
    return text.replace(from, kDateTimeLength, "<masked>");
}

std::string maskDateTime(const std::string& text)
{
    return maskAfter(maskAfter(text, "DateTime: ", "\n"), "\"dateTime\": \"", "\"");
}

class InfoCommand : public ::testing::Test {
protected:
    void SetUp() override { writeKnownOrvo(dir.file("known.ovq")); }
    ScratchDir dir;
};

TEST_F(InfoCommand, DescribesTheKnownFile)
{
    RunResult r = runOrvo("info known.ovq", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(maskDateTime(r.out), readText(kDataDir + "info_known.txt"));
}

TEST_F(InfoCommand, DescribesTheKnownFileAsJson)
{
    RunResult r = runOrvo("info known.ovq --json", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(maskDateTime(r.out), readText(kDataDir + "info_known.json"));
}

TEST(InfoPropertyList, IsPrintedEscapedInJson)
{
    ScratchDir dir;
    writeKnownOrvo(dir.file("lit.ovq"), true);
    RunResult r = runOrvo("info --json lit.ovq", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"propertyList\": \"<?xml version=\\\"1.0\\\" encoding=\\\"UTF-8\\\"?>\\n"
                         "<!DOCTYPE plist PUBLIC"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("<string>2 0.4 0.000000/0.000000/1.000000 0.0 0/0/0</string>"),
              std::string::npos);
}

TEST_F(InfoCommand, RefusesFilesThatAreNotValidOrvoFiles)
{
    const std::vector<unsigned char> good = readBytes(dir.file("known.ovq"));

    std::vector<unsigned char> truncated(good.begin(), good.begin() + good.size() / 2);
    writeBytes(dir.file("truncated.ovq"), truncated);

    // The depth directory's block pointing past the end of the file.
    std::vector<unsigned char> pastEnd = good;
    const std::vector<orvoblocks::Directory> dirs = orvoblocks::OrvoBytes(good).directories();
    const orvoblocks::IfdEntry* tag = dirs.at(1).find(34953);
    ASSERT_NE(tag, nullptr);
    patchU32(pastEnd, tag->entryOffset + 8, 5000);
    writeBytes(dir.file("past-end.ovq"), pastEnd);

    // A plain TIFF: the known file with its custom tag renumbered.
    std::vector<unsigned char> plain = good;
    for (const auto& d : dirs) {
        const orvoblocks::IfdEntry* e = d.find(34953);
        ASSERT_NE(e, nullptr);
        plain[e->entryOffset] = 0x8A;  // 34954, a tag nobody reads
    }
    writeBytes(dir.file("plain.tif"), plain);

    // A strip of the depth directory pointing past the end of the file; its
    // block is intact.
    std::vector<unsigned char> stripPastEnd = good;
    const orvoblocks::IfdEntry* strips = dirs.at(1).find(TIFFTAG_STRIPOFFSETS);
    ASSERT_NE(strips, nullptr);
    ASSERT_EQ(strips->count, kKnownHeight);  // one row a strip, an array of offsets
    patchU32(stripPastEnd, strips->value + 4, 100000);
    writeBytes(dir.file("strip-past-end.ovq"), stripPastEnd);
    ASSERT_EQ(::mkfifo(dir.file("pipe.ovq").c_str(), 0600), 0);

    struct Case {
        const char* file;
        std::string expected;
    } cases[] = {
        {"truncated.ovq", "orvo: truncated.ovq: "},
        {"strip-past-end.ovq", "orvo: strip-past-end.ovq: depth directory 1, strip 1, row 1: at "
                               "offset 100000 with 16 bytes extends past end of file (size "
                                   + std::to_string(good.size()) + ")\n"},
        {"pipe.ovq", "orvo: pipe.ovq: cannot open: not a regular file\n"},
        {"past-end.ovq", "orvo: past-end.ovq: depth block at offset 5000: extends past end of "
                         "file (size "
                             + std::to_string(good.size()) + ")\n"},
        {"plain.tif", "orvo: plain.tif: directory 0: no tag 34953 (QuillornSubfileData); not an "
                      "Orvo file\n"},
        {"missing.ovq", "orvo: missing.ovq: cannot open: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        for (const bool json : {false, true}) {
            RunResult r
                = runOrvo(std::string("info ") + c.file + (json ? " --json" : ""), dir.path(), 20);
            EXPECT_EQ(r.status, 1) << c.file;
            EXPECT_EQ(r.err.rfind(c.expected, 0), 0u) << c.file << ": " << r.err;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line for " << c.file;
            if (!json) {
                EXPECT_EQ(r.out, "") << c.file;
                continue;
            }
            // The failure as a document of the schema too.
            const nlohmann::json j = nlohmann::json::parse(r.out);
            EXPECT_EQ(j.at("valid"), false);
            EXPECT_EQ("orvo: " + j.at("error").get<std::string>() + "\n", r.err) << c.file;
            EXPECT_EQ(j.at("file"), c.file);
            EXPECT_TRUE(j.at("camera").is_null());
        }
    }
}

// Where value `index` of a SHORT or LONG entry lies (inline or out of line),
// and its change, written in the file's byte order.
std::size_t elementAt(const orvoblocks::IfdEntry& e, std::uint32_t index)
{
    const std::uint32_t width = e.type == orvoblocks::kTiffShort ? 2 : 4;
    const std::size_t at = std::uint64_t(width) * e.count <= 4 ? e.entryOffset + 8 : e.value;
    return at + std::size_t(width) * index;
}

void setElement(std::vector<unsigned char>& bytes, const orvoblocks::IfdEntry& e,
                std::uint32_t index, std::uint32_t value)
{
    const orvoblocks::OrvoBytes file(bytes);
    const std::size_t at = elementAt(e, index);
    if (e.type == orvoblocks::kTiffLong) {
        patchU32(bytes, at, value);
        return;
    }
    ASSERT_LE(value, 0xFFFFu);
    bytes.at(at + (file.bigEndian() ? 1 : 0)) = static_cast<unsigned char>(value);
    bytes.at(at + (file.bigEndian() ? 0 : 1)) = static_cast<unsigned char>(value >> 8);
}

// The entry of `tag` in directory `index`.
orvoblocks::IfdEntry entryOf(const std::vector<unsigned char>& bytes, std::size_t index,
                             std::uint16_t tag)
{
    const std::vector<orvoblocks::Directory> dirs = orvoblocks::OrvoBytes(bytes).directories();
    const orvoblocks::IfdEntry* e = dirs.at(index).find(tag);
    if (e == nullptr)
        throw std::runtime_error("no tag " + std::to_string(tag) + " in directory "
                                 + std::to_string(index));
    return *e;
}

// Strips whose byte counts damage has zeroed, cut or run over by a flipped
// byte: inside the file, so a check against the file's size lets them
// through, yet they do not hold their rows. Uncompressed, open refuses them
// from the stored count alone; compressed, only a decode can tell, and info
// runs it. Either way the message names the directory, the strip and the
// row, and `info --json` reports the file invalid with the same message.
TEST(InfoStrips, RefusesEveryStripThatCannotBeDecodedToItsRows)
{
    ScratchDir dir;
    writeKnownOrvo(dir.file("known.ovq"));
    writeKnownOrvo(dir.file("lzw.ovq"), false, true);
    const std::vector<unsigned char> plain = readBytes(dir.file("known.ovq"));
    const std::vector<unsigned char> packed = readBytes(dir.file("lzw.ovq"));
    const std::uint32_t colourRow = kKnownWidth * 3, depthRow = kKnownWidth * 4,
                        materialRow = kKnownWidth * 2;

    // Each damage: the file it starts from, what it changes, and the message
    // that `info` must give (for a decode that fails, up to libtiff's reason).
    struct Case {
        std::string file;
        const std::vector<unsigned char>* from;
        std::function<void(std::vector<unsigned char>&)> damage;
        std::string expected;
        bool wholeLine;
    };
    auto counts = [](const std::vector<unsigned char>& b, std::size_t d) {
        return entryOf(b, d, TIFFTAG_STRIPBYTECOUNTS);
    };
    const std::vector<Case> cases = {
        {"zeroed-counts.ovq", &plain,
         [&](std::vector<unsigned char>& b) {
             for (std::uint32_t s = 0; s < kKnownHeight; ++s)
                 setElement(b, counts(b, 1), s, 0);
         },
         "depth directory 1, strip 0, row 0: holds 0 bytes instead of the "
             + std::to_string(depthRow) + " its uncompressed row takes",
         true},
        {"count-short-of-a-row.ovq", &plain,
         [&](std::vector<unsigned char>& b) { setElement(b, counts(b, 2), 2, materialRow - 1); },
         "material directory 2, strip 2, row 2: holds " + std::to_string(materialRow - 1)
             + " bytes instead of the " + std::to_string(materialRow)
             + " its uncompressed row takes",
         true},
        // The low byte of a count flipped: 12 becomes 243, still inside the
        // file, running over the next strips. libtiff puts a count of its own
        // in place of this one (the first two of an uncompressed directory
        // differ), so the stored count is what must be checked.
        {"count-flipped.ovq", &plain,
         [&](std::vector<unsigned char>& b) { setElement(b, counts(b, 0), 1, colourRow ^ 0xFFu); },
         "colour directory 0, strip 1, row 1: holds " + std::to_string(colourRow ^ 0xFFu)
             + " bytes instead of the " + std::to_string(colourRow) + " its uncompressed row takes",
         true},
        {"lzw-zeroed-counts.ovq", &packed,
         [&](std::vector<unsigned char>& b) {
             for (std::uint32_t s = 0; s < kKnownHeight; ++s)
                 setElement(b, counts(b, 0), s, 0);
         },
         "colour directory 0, strip 0, row 0: holds no bytes, so its compressed row cannot be "
         "decoded",
         true},
        // Compressed strips cut to their first byte: the code stops before
        // the row is whole. The depth rows are read for the statistics too;
        // the colour rows only by the check.
        {"lzw-colour-cut.ovq", &packed,
         [&](std::vector<unsigned char>& b) { setElement(b, counts(b, 0), 1, 1); },
         "colour directory 0, strip 1, row 1: cannot be decoded: ", false},
        {"lzw-depth-cut.ovq", &packed,
         [&](std::vector<unsigned char>& b) { setElement(b, counts(b, 1), 2, 1); },
         "depth directory 1, strip 2, row 2: cannot be decoded: ", false},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> b = *c.from;
        c.damage(b);
        ASSERT_NE(b, *c.from) << c.file;
        writeBytes(dir.file(c.file), b);
        const RunResult text = runOrvo("info " + c.file, dir.path());
        EXPECT_EQ(text.status, 1) << c.file;
        EXPECT_EQ(text.out, "") << c.file;
        const std::string expected = "orvo: " + c.file + ": " + c.expected;
        if (c.wholeLine)
            EXPECT_EQ(text.err, expected + "\n");
        else
            EXPECT_EQ(text.err.rfind(expected, 0), 0u) << text.err;
        const RunResult json = runOrvo("info --json " + c.file, dir.path());
        EXPECT_EQ(json.status, 1) << c.file;
        const nlohmann::json j = nlohmann::json::parse(json.out);
        EXPECT_EQ(j.at("valid"), false) << c.file;
        EXPECT_EQ("orvo: " + j.at("error").get<std::string>() + "\n", text.err) << c.file;
    }

    // extract decodes the colour rows itself and keeps naming the row.
    const RunResult extract = runOrvo("extract lzw-colour-cut.ovq previews", dir.path());
    EXPECT_EQ(extract.status, 1);
    EXPECT_EQ(extract.err.rfind("orvo: lzw-colour-cut.ovq: colour directory 0, row 1: cannot be "
                                "decoded: ",
                                0),
              0u)
        << extract.err;

    // Strips of two rows, the last strip holding the one row that remains,
    // as another writer could store them: rows 0 and 1 copied together to
    // the end of the file as strip 0, row 2 as strip 1 (libtiff reads as
    // many entries of each strip array as the directory has strips).
    std::vector<unsigned char> paired = plain;
    const orvoblocks::OrvoBytes parsed(plain);
    const orvoblocks::IfdEntry offsets = entryOf(plain, 0, TIFFTAG_STRIPOFFSETS);
    const std::vector<std::uint32_t> rowAt = parsed.values(offsets);
    const std::uint32_t pairAt = std::uint32_t(paired.size());
    for (std::uint32_t y = 0; y < 2; ++y)
        paired.insert(paired.end(), plain.begin() + rowAt.at(y),
                      plain.begin() + rowAt.at(y) + colourRow);
    const orvoblocks::IfdEntry rowsPerStrip = entryOf(plain, 0, TIFFTAG_ROWSPERSTRIP);
    ASSERT_EQ(rowsPerStrip.count, 1u);
    setElement(paired, rowsPerStrip, 0, 2);
    setElement(paired, offsets, 0, pairAt);
    setElement(paired, offsets, 1, rowAt.at(2));
    setElement(paired, counts(paired, 0), 0, 2 * colourRow);
    setElement(paired, counts(paired, 0), 1, colourRow);
    writeBytes(dir.file("paired.ovq"), paired);
    std::vector<unsigned char> pairShort = paired;
    setElement(pairShort, counts(pairShort, 0), 0, colourRow);
    writeBytes(dir.file("pair-short.ovq"), pairShort);
    std::vector<unsigned char> lastLong = paired;
    setElement(lastLong, counts(lastLong, 0), 1, 2 * colourRow);
    writeBytes(dir.file("last-long.ovq"), lastLong);

    // The undamaged files, of each kind, are valid.
    for (const char* file : {"known.ovq", "lzw.ovq", "paired.ovq"}) {
        const RunResult r = runOrvo(std::string("info --json ") + file, dir.path());
        EXPECT_EQ(r.status, 0) << file << ": " << r.err;
        EXPECT_EQ(nlohmann::json::parse(r.out).at("valid"), true) << file;
    }
    // Read through its strips of two, the picture is the known one.
    ASSERT_EQ(runOrvo("extract paired.ovq pairs", dir.path()).status, 0);
    ASSERT_EQ(runOrvo("extract known.ovq singles", dir.path()).status, 0);
    EXPECT_EQ(readBytes(dir.file("pairs/colour.png")), readBytes(dir.file("singles/colour.png")));
    EXPECT_EQ(runOrvo("info pair-short.ovq", dir.path()).err,
              "orvo: pair-short.ovq: colour directory 0, strip 0, rows 0 to 1: holds "
                  + std::to_string(colourRow) + " bytes instead of the "
                  + std::to_string(2 * colourRow) + " its 2 uncompressed rows take\n");
    EXPECT_EQ(runOrvo("info last-long.ovq", dir.path()).err,
              "orvo: last-long.ovq: colour directory 0, strip 1, row 2: holds "
                  + std::to_string(2 * colourRow) + " bytes instead of the "
                  + std::to_string(colourRow) + " its uncompressed row takes\n");
}

TEST(InfoJson, EveryFileGivesTheSameKeysAndNamesAreValidUtf8)
{
    ScratchDir dir;
    // A file with an undecodable byte in its name and in a material's name.
    const std::string oddName = "k\xffn.ovq";
    writeKnownOrvo(dir.file("k.ovq"));
    ASSERT_EQ(std::rename(dir.file("k.ovq").c_str(), dir.file(oddName).c_str()), 0);
    std::vector<unsigned char> bytes = readBytes(dir.file(oddName));
    const std::string mat = std::string("Mat 1") + '\0';
    auto at = std::search(bytes.begin(), bytes.end(), mat.begin(), mat.end());
    ASSERT_NE(at, bytes.end());
    at[1] = 0xFF;
    writeBytes(dir.file(oddName), bytes);

    // Colour and depth only: no material directory, no material table.
    const std::string plainPath = dir.file("plain.ovq");
    {
        using namespace Talvenrock::Orvo;
        const std::wstring wpath(plainPath.begin(), plainPath.end());
        std::unique_ptr<OrvoFile> f(
            OrvoFile::create(wpath, 2, 1, L"", L"", L"", L"", knownProjection(), false));
        f->beginPass(1);
        f->putScan();
        f->beginPass(2);
        f->zLine()[0] = f->zLine()[1] = kNone;
        f->putScan();
        f->close();
    }

    RunResult odd = runOrvo("info --json 'k\xffn.ovq'", dir.path());
    ASSERT_EQ(odd.status, 0) << odd.err;
    RunResult plain = runOrvo("info --json plain.ovq", dir.path());
    ASSERT_EQ(plain.status, 0) << plain.err;
    RunResult missing = runOrvo("info --json missing.ovq", dir.path());
    EXPECT_EQ(missing.status, 1);
    const nlohmann::json a = nlohmann::json::parse(odd.out);
    const nlohmann::json b = nlohmann::json::parse(plain.out);
    const nlohmann::json c = nlohmann::json::parse(missing.out);

    EXPECT_EQ(a.at("schemaVersion"), 1);
    EXPECT_EQ(a.at("file"), "k\xef\xbf\xbdn.ovq");
    EXPECT_EQ(a.at("fileHex"), "6bff6e2e6f7671");
    const nlohmann::json& m = a.at("materials").at(0);
    EXPECT_EQ(m.at("name"), "M\xef\xbf\xbdt 1");
    EXPECT_EQ(m.at("nameHex"), "4dff742031");
    EXPECT_TRUE(a.at("materials").at(1).at("nameHex").is_null());
    EXPECT_TRUE(b.at("fileHex").is_null());

    // The same keys, in the same order, whatever the file holds.
    auto keys = [](const nlohmann::json& j) {
        std::vector<std::string> k;
        for (auto it = j.begin(); it != j.end(); ++it)
            k.push_back(it.key());
        return k;
    };
    EXPECT_EQ(keys(a), keys(b));
    EXPECT_EQ(keys(a), keys(c));
    EXPECT_EQ(keys(a.at("camera")), keys(b.at("camera")));
    EXPECT_EQ(keys(a.at("depth")), keys(b.at("depth")));
    EXPECT_TRUE(b.at("materials").is_null());
    EXPECT_TRUE(b.at("noMaterialPixels").is_null());
    EXPECT_TRUE(b.at("unlistedTags").is_null());
    EXPECT_TRUE(b.at("depth").at("smallestCode").is_null());
    EXPECT_TRUE(b.at("depth").at("nearestDistance").is_null());
    EXPECT_EQ(b.at("valid"), true);
    EXPECT_TRUE(b.at("error").is_null());
    EXPECT_EQ(c.at("valid"), false);
}

// Every key of the JSON camera is the value the depth block holds, read
// here byte by byte, for both kinds of camera; each field has a value of its
// own, so that two keys swapped or a field read for another shows. The keys
// of the other kind are null.
TEST(InfoJson, EveryCameraKeyIsTheFilesOwnValueForBothKinds)
{
    using namespace Talvenrock::Orvo;
    ScratchDir dir;
    Projection planar;
    planar.kind = kOtherPlanarCameraKind;
    const double planarValues[][3] = {{1, -3, 2}, {0.6, 0.8, 0}, {0, 0, 1},       {0.8, -0.6, 0},
                                      {0, 0, -1}, {-1, 0.5, 4},  {1.25, -0.75, 4}};
    double* const planarFields[]
        = {planar.position,  planar.xAxis,   planar.yAxis,      planar.zAxis,
           planar.spareAxis, planar.topLeft, planar.bottomRight};
    for (int f = 0; f < 7; ++f)
        std::copy(planarValues[f], planarValues[f] + 3, planarFields[f]);
    planar.nearDistance = 0.125;
    planar.farDistance = 15;
    planar.scale = 1.5;
    planar.code = 5;
    PanoProjection pano;
    const double panoValues[][3]
        = {{1.5, 2.5, 3.5}, {0.1, 0.2, 0.3}, {0.4, 0.5, 0.6}, {0.7, 0.8, 0.9}};
    double* const panoFields[] = {pano.position, pano.direction1, pano.direction2, pano.direction3};
    for (int f = 0; f < 4; ++f)
        std::copy(panoValues[f], panoValues[f] + 3, panoFields[f]);
    pano.angle = 75;
    pano.nearDistance = 0.25;
    pano.farDistance = 40;
    pano.scale = 2;
    pano.code = 7;
    auto write = [&](const std::string& name, auto projection) {
        const std::string path = dir.file(name);
        const std::wstring wpath(path.begin(), path.end());
        std::unique_ptr<OrvoFile> f(
            OrvoFile::create(wpath, 2, 1, L"", L"", L"", L"", projection, false));
        f->beginPass(1);
        f->putScan();
        f->beginPass(2);
        f->zLine()[0] = 1;
        f->zLine()[1] = kNone;
        f->putScan();
        f->close();
    };
    write("planar.ovq", planar);
    write("pano.ovq", pano);

    auto cameraOf = [&](const std::string& name) {
        RunResult r = runOrvo("info --json " + name, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        return nlohmann::json::parse(r.out).at("camera");
    };
    auto block = [&](const std::string& name) {
        const auto bytes = orvoblocks::OrvoBytes::fromFile(dir.file(name));
        return bytes.depthBlock(bytes.subfileOffsets().at(1));
    };
    auto expectVector = [](const nlohmann::json& j, const double* v, const char* key) {
        ASSERT_TRUE(j.is_array()) << key;
        ASSERT_EQ(j.size(), 3u) << key;
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(j[k].get<double>(), v[k]) << key << "[" << k << "]";
    };
    const char* const planarKeys[]
        = {"xAxis", "yAxis", "zAxis", "spareAxis", "topLeft", "bottomRight", "axesOrthonormal"};
    const char* const panoKeys[] = {"direction1", "direction2", "direction3", "angle"};

    const nlohmann::json p = cameraOf("planar.ovq");
    const orvoblocks::PlanarCamera pb = block("planar.ovq").planar;
    EXPECT_EQ(p.at("projection"), "planar");
    EXPECT_EQ(p.at("blockCode"), orvoblocks::kPlanarDepthBlockCode);
    EXPECT_EQ(p.at("kind"), pb.kind);
    const double* const planarRead[]
        = {pb.position, pb.xAxis, pb.yAxis, pb.zAxis, pb.spareAxis, pb.topLeft, pb.bottomRight};
    const char* const planarNames[]
        = {"position", "xAxis", "yAxis", "zAxis", "spareAxis", "topLeft", "bottomRight"};
    for (int f = 0; f < 7; ++f)
        expectVector(p.at(planarNames[f]), planarRead[f], planarNames[f]);
    EXPECT_EQ(p.at("axesOrthonormal"), true);
    EXPECT_EQ(p.at("nearDistance").get<double>(), pb.nearDistance);
    EXPECT_EQ(p.at("farDistance").get<double>(), pb.farDistance);
    EXPECT_EQ(p.at("scale").get<double>(), pb.scale);
    EXPECT_EQ(p.at("code"), pb.code);
    for (const char* key : panoKeys)
        EXPECT_TRUE(p.at(key).is_null()) << key;

    const nlohmann::json q = cameraOf("pano.ovq");
    const orvoblocks::PanoCamera qb = block("pano.ovq").pano;
    EXPECT_EQ(q.at("projection"), "panoramic");
    EXPECT_EQ(q.at("blockCode"), orvoblocks::kPanoDepthBlockCode);
    EXPECT_EQ(q.at("kind"), qb.kind);
    expectVector(q.at("position"), qb.position, "position");
    expectVector(q.at("direction1"), qb.direction1, "direction1");
    expectVector(q.at("direction2"), qb.direction2, "direction2");
    expectVector(q.at("direction3"), qb.direction3, "direction3");
    EXPECT_EQ(q.at("angle").get<double>(), qb.angle);
    EXPECT_EQ(q.at("nearDistance").get<double>(), qb.nearDistance);
    EXPECT_EQ(q.at("farDistance").get<double>(), qb.farDistance);
    EXPECT_EQ(q.at("scale").get<double>(), qb.scale);
    EXPECT_EQ(q.at("code"), qb.code);
    for (const char* key : planarKeys)
        EXPECT_TRUE(q.at(key).is_null()) << key;
    // What was written is what the bytes hold: the byte reader is read right.
    EXPECT_EQ(qb.angle, pano.angle);
    EXPECT_EQ(pb.bottomRight[0], planar.bottomRight[0]);
}

// A camera whose axes are not unit vectors at right angles (saved before the
// tool refused such parameter files, or by another writer) is not described
// as if it were fine; the file is still valid.
TEST(InfoCamera, SaysWhenTheAxesAreNotOrthonormal)
{
    ScratchDir dir;
    Talvenrock::Orvo::Projection scaled = knownProjection();
    scaled.zAxis[1] = 2;
    Talvenrock::Orvo::Projection sheared = knownProjection();
    sheared.yAxis[0] = 0.6;
    sheared.yAxis[2] = 0.8;
    Talvenrock::Orvo::Projection flat = knownProjection();
    for (double* axis : {flat.xAxis, flat.yAxis, flat.zAxis})
        std::fill(axis, axis + 3, 0.0);
    struct Case {
        const char* file;
        Talvenrock::Orvo::Projection camera;
        const char* axes;  // the text's lines from xAxis to spareAxis
    } cases[] = {
        {"scaled.ovq", scaled,
         "  xAxis: 1 0 0\n  yAxis: 0 0 1\n  zAxis: 0 2 0\n"
         "  axes: not orthonormal: zAxis has length 2\n  spareAxis:"},
        {"sheared.ovq", sheared,
         "  xAxis: 1 0 0\n  yAxis: 0.6 0 0.8\n  zAxis: 0 1 0\n"
         "  axes: not orthonormal: xAxis and yAxis are not at right angles (their dot product is "
         "0.6)\n  spareAxis:"},
        {"flat.ovq", flat,
         "  xAxis: 0 0 0\n  yAxis: 0 0 0\n  zAxis: 0 0 0\n"
         "  axes: not orthonormal: xAxis has length 0\n  spareAxis:"},
    };
    for (const Case& c : cases) {
        writeKnownOrvo(dir.file(c.file), false, false, c.camera);
        RunResult text = runOrvo(std::string("info ") + c.file, dir.path());
        EXPECT_EQ(text.status, 0) << c.file << ": " << text.err;
        EXPECT_NE(text.out.find(c.axes), std::string::npos) << c.file << ":\n" << text.out;
        RunResult json = runOrvo(std::string("info --json ") + c.file, dir.path());
        EXPECT_EQ(json.status, 0) << c.file << ": " << json.err;
        const nlohmann::json j = nlohmann::json::parse(json.out);
        EXPECT_EQ(j.at("valid"), true) << c.file;
        EXPECT_EQ(j.at("camera").at("axesOrthonormal"), false) << c.file;
    }
}

}  // namespace
