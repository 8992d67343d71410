// `orvo info`: the description of a known file as text and as JSON against
// the expected output, and the refusal of files that are not valid Orvo
// files with a message saying what is wrong and where.
#include "tools/ToolTestSupport.h"

#include "support/OrvoBlocks.h"

#include <gtest/gtest.h>


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

    struct Case {
        const char* file;
        std::string expected;
    } cases[] = {
        {"truncated.ovq", "orvo: truncated.ovq: "},
        {"past-end.ovq", "orvo: past-end.ovq: depth block at offset 5000: extends past end of "
                         "file (size " + std::to_string(good.size()) + ")\n"},
        {"plain.tif", "orvo: plain.tif: directory 0: no tag 34953 (QuillornSubfileData); not an "
                      "Orvo file\n"},
        {"missing.ovq", "orvo: missing.ovq: cannot open: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        for (const char* json : {"", " --json"}) {
            RunResult r = runOrvo(std::string("info ") + c.file + json, dir.path());
            EXPECT_EQ(r.status, 1) << c.file;
            EXPECT_EQ(r.out, "") << c.file;
            EXPECT_EQ(r.err.rfind(c.expected, 0), 0u) << c.file << ": " << r.err;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line for " << c.file;
        }
    }
}

TEST(InfoUsage, WrongArgumentsExitWithUsage)
{
    ScratchDir dir;
    const std::string usage = readText(kDataDir + "usage.txt");
    RunResult help = runOrvo("help", dir.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, usage);
    for (const char* args : {"info", "info a.ovq b.ovq", "info a.ovq --jsn", "", "frobnicate"}) {
        RunResult r = runOrvo(args, dir.path());
        EXPECT_EQ(r.status, 2) << args;
        // One line saying what is wrong, then the usage.
        const std::size_t firstLine = r.err.find('\n');
        ASSERT_NE(firstLine, std::string::npos) << args;
        EXPECT_EQ(r.err.rfind("orvo: ", 0), 0u) << args;
        EXPECT_EQ(r.err.substr(firstLine + 1), usage) << args;
    }
}

}  // namespace
