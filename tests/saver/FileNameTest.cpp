// The target name's conversion from the host's narrow text to the wide path
// the writer takes.
#include "saver/src/FileName.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

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

using testsupport::cutOffCharacter;

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
                                               static_cast<int>(name.size()), narrow, sizeof narrow,
                                               nullptr, utf8 ? nullptr : &lossy);
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
        EXPECT_EQ(wide, L"caf\u00C3\u00A9.ovq")
            << "UTF-8 bytes are two characters of the code page";
    }
}

TEST(FileName, RefusesBytesTheActiveCodePageLacks)
{
    const std::string cut = cutOffCharacter();
    if (cut.empty())
        GTEST_SKIP() << "code page " << GetACP()
                     << " is single-byte: every byte is a character, so every name converts";
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
        "caf\xE9.ovq",       // Latin-1 e-acute
        "\xC3",              // cut-off sequence
        "a\x80z",            // stray continuation byte
        "\xC0\xAF",          // overlong "/"
        "\xED\xA0\x80",      // a UTF-16 surrogate
        "\xF4\x90\x80\x80",  // beyond U+10FFFF
    };
    for (const char* name : bad) {
        std::wstring wide;
        EXPECT_FALSE(getWCS(name, wide)) << name;
    }
}

#endif

}  // namespace
