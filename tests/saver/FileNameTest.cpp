// The target name's way to the disk: narrow-to-wide conversion and the
// temporary file that replaces the target only when complete.
#include "saver/FileName.h"
#include "saver/TempTarget.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// Runs a test body in the "C" locale, whatever the process had, and puts
// the previous locale back.
class CLocaleScope {
public:
    CLocaleScope() : saved_(std::setlocale(LC_ALL, nullptr)) { std::setlocale(LC_ALL, "C"); }
    ~CLocaleScope() { std::setlocale(LC_ALL, saved_.c_str()); }

private:
    std::string saved_;
};

#ifdef _WIN32

// A name of a character that the active code page lacks a whole byte
// sequence for: a first byte whose sequence is cut off. Empty for a
// single-byte code page, where every byte is a character.
std::string cutOffCharacter()
{
    if (GetACP() == CP_UTF8)
        return "\xC3";
    CPINFO info{};
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize == 1 || info.LeadByte[0] == 0)
        return std::string();
    return std::string(1, static_cast<char>(info.LeadByte[0]));
}

// The system's text for a Windows error code, as FormatMessage gives it
// without the line break at its end.
std::string windowsErrorText(DWORD code)
{
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text(buffer, length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

// The host's narrow names are in the active code page.
TEST(FileName, DecodesTheActiveCodePage)
{
    std::wstring wide;
    ASSERT_TRUE(getWCS("C:\\plain\\ascii name.ovq", wide));
    EXPECT_EQ(wide, L"C:\\plain\\ascii name.ovq");
    ASSERT_TRUE(getWCS("", wide));
    EXPECT_TRUE(wide.empty());

    // Every character the code page has comes back as itself.
    int found = 0;
    for (const wchar_t c : {L'\u00E9', L'\u00FC', L'\u20AC', L'\u0416', L'\u65E5'}) {
        const std::wstring name = std::wstring(L"caf") + c + L".ovq";
        char narrow[32];
        BOOL lossy = FALSE;
        const bool utf8 = GetACP() == CP_UTF8;
        const int length = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, name.data(),
                                               static_cast<int>(name.size()), narrow, sizeof narrow, nullptr,
                                               utf8 ? nullptr : &lossy);
        if (length <= 0 || lossy)
            continue;  // not in this code page
        ++found;
        ASSERT_TRUE(getWCS(std::string(narrow, static_cast<std::size_t>(length)), wide)) << int(c);
        EXPECT_EQ(wide, name);
    }
    EXPECT_GT(found, 0) << "code page " << GetACP() << " has none of the characters tried";

    if (GetACP() == 1252) {
        // Western European: bytes that are not UTF-8 name characters here.
        ASSERT_TRUE(getWCS("caf\xE9 \x80.ovq", wide));
        EXPECT_EQ(wide, L"caf\u00E9 \u20AC.ovq");
        ASSERT_TRUE(getWCS("caf\xC3\xA9.ovq", wide));
        EXPECT_EQ(wide, L"caf\u00C3\u00A9.ovq") << "UTF-8 bytes are two characters of the code page";
    }
}

TEST(FileName, RefusesBytesTheActiveCodePageLacks)
{
    const std::string cut = cutOffCharacter();
    if (cut.empty())
        GTEST_SKIP() << "code page " << GetACP() << " is single-byte: every byte is a character, so every name converts";
    std::wstring wide;
    EXPECT_FALSE(getWCS("caf" + cut, wide));
    EXPECT_FALSE(getWCS("caf" + cut + ".ovq", wide));
}

#else

TEST(FileName, DecodesUtf8WhateverTheLocale)
{
    CLocaleScope c;
    std::wstring wide;
    ASSERT_TRUE(getWCS("caf\xC3\xA9.ovq", wide));
    EXPECT_EQ(wide, L"caf\u00E9.ovq");
    ASSERT_TRUE(getWCS("/tmp/\xE6\x97\xA5\xE6\x9C\xAC/\xF0\x9F\x8E\xA8.ovq", wide));
    EXPECT_EQ(wide, L"/tmp/\u65E5\u672C/\U0001F3A8.ovq");
    ASSERT_TRUE(getWCS("", wide));
    EXPECT_TRUE(wide.empty());
    ASSERT_TRUE(getWCS("plain/ascii name.ovq", wide));
    EXPECT_EQ(wide, L"plain/ascii name.ovq");
}

TEST(FileName, RefusesBytesThatAreNotUtf8)
{
    const char* bad[] = {
        "caf\xE9.ovq",          // Latin-1 e-acute
        "\xC3",                 // cut-off sequence
        "a\x80z",               // stray continuation byte
        "\xC0\xAF",             // overlong "/"
        "\xED\xA0\x80",         // a UTF-16 surrogate
        "\xF4\x90\x80\x80",     // beyond U+10FFFF
    };
    for (const char* name : bad) {
        std::wstring wide;
        EXPECT_FALSE(getWCS(name, wide)) << name;
    }
}

#endif

class TempTargetTest : public ::testing::Test {
protected:
    testsupport::ScratchDir scratch{"fennick_temp_target_"};
    std::string dir = scratch.file("");
    std::string target = dir + "target.ovq";

    static bool exists(const std::string& p) { return std::filesystem::exists(testsupport::pathFromNarrow(p)); }
    static std::string contents(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(TempTargetTest, CommitReplacesTheTargetAndAbandonLeavesItAlone)
{
    { std::ofstream(target) << "old"; }
    std::string firstTemp;
    {
        TempTarget temp(target);
        ASSERT_TRUE(temp.ok()) << temp.errorText();
        firstTemp = temp.path();
        EXPECT_EQ(firstTemp.rfind(target, 0), 0u) << "beside the target, in its folder";
        EXPECT_NE(firstTemp, target);
        std::ofstream(temp.path()) << "half";
    }
    EXPECT_FALSE(exists(firstTemp)) << "an uncommitted file is removed";
    EXPECT_EQ(contents(target), "old");

    TempTarget temp(target);
    ASSERT_TRUE(temp.ok());
    EXPECT_NE(temp.path(), firstTemp) << "names are unique";
    std::ofstream(temp.path()) << "new";
    ASSERT_TRUE(temp.commit()) << temp.errorText();
    EXPECT_EQ(contents(target), "new");
    EXPECT_FALSE(exists(temp.path()));
}

TEST_F(TempTargetTest, NewFileGetsTheUsualPermissions)
{
#ifndef _WIN32
    const mode_t mask = ::umask(022);
#endif
    {
        TempTarget temp(target);
        ASSERT_TRUE(temp.ok());
        ASSERT_TRUE(temp.commit());
    }
    const std::filesystem::perms perms = std::filesystem::status(testsupport::pathFromNarrow(target)).permissions();
#ifdef _WIN32
    // No umask here: the file is simply not read-only.
    EXPECT_NE(perms & std::filesystem::perms::owner_write, std::filesystem::perms::none);
#else
    ::umask(mask);
    EXPECT_EQ(perms & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read | std::filesystem::perms::others_read);
#endif
}

TEST_F(TempTargetTest, MissingFolderIsReportedWithTheSystemsReason)
{
    TempTarget temp(dir + "no_such_folder/a.ovq");
    EXPECT_FALSE(temp.ok());
    EXPECT_EQ(temp.errorText(), std::strerror(ENOENT));
    EXPECT_FALSE(temp.commit());
}

TEST_F(TempTargetTest, FailedCommitIsReportedWithTheSystemsReason)
{
    // A folder at the target's name cannot be replaced by a file.
    const std::filesystem::path folder = testsupport::pathFromNarrow(target);
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    std::ofstream(folder / "inside") << "kept";
    TempTarget temp(target);
    ASSERT_TRUE(temp.ok()) << temp.errorText();
    EXPECT_FALSE(temp.commit());
#ifdef _WIN32
    EXPECT_EQ(temp.errorText(), windowsErrorText(ERROR_ACCESS_DENIED));
#else
    EXPECT_EQ(temp.errorText(), std::strerror(EISDIR));
#endif
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

}  // namespace
