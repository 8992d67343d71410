// The target name's way to the disk: narrow-to-wide conversion and the
// temporary file that replaces the target only when complete.
#include "saver/FileName.h"
#include "saver/TempTarget.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

class TempTargetTest : public ::testing::Test {
protected:
    std::string dir = ::testing::TempDir();
    std::string target = dir + "temp_target_" + std::to_string(getpid()) + "_"
        + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ovq";

    void TearDown() override { std::remove(target.c_str()); }

    static bool exists(const std::string& p)
    {
        struct stat st;
        return ::stat(p.c_str(), &st) == 0;
    }
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
    const mode_t mask = ::umask(022);
    {
        TempTarget temp(target);
        ASSERT_TRUE(temp.ok());
        ASSERT_TRUE(temp.commit());
    }
    ::umask(mask);
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(TempTargetTest, MissingFolderIsReportedNotIgnored)
{
    TempTarget temp(dir + "no_such_folder_" + std::to_string(getpid()) + "/a.ovq");
    EXPECT_FALSE(temp.ok());
    EXPECT_FALSE(temp.errorText().empty());
    EXPECT_FALSE(temp.commit());
}

}  // namespace
