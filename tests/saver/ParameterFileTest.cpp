// Reading the camera parameter file: its grammar and what it refuses.
#include "saver/src/ParameterFile.h"

#include "ParameterText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <locale>
#include <sstream>
#include <string>

namespace {

using namespace fennick_test;

TEST(ParameterFile, ReadsEveryValueInOrder)
{
    ParameterText t;
    t.pos = "1.5 -2 2.5e-3";
    t.matrix = "11 12 13 21 22 23 31 32 33";
    t.filmFit = "overscan";
    t.projType = "ortho";
    t.dpi = "299.9";
    t.pAspect = "0.9";
    t.depthMax = "123.25";
    const CameraParameters p = parsed(t);
    EXPECT_EQ(p.pos[0], 1.5);
    EXPECT_EQ(p.pos[1], -2.0);
    EXPECT_EQ(p.pos[2], 2.5e-3);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(p.worldMatrix[i], 10.0 * (i / 3 + 1) + (i % 3 + 1)) << i;
    EXPECT_EQ(p.focalLen, 4.0);
    EXPECT_EQ(p.apertureX, 2.0);
    EXPECT_EQ(p.apertureY, 1.5);
    EXPECT_EQ(p.offsetX, 0.1);
    EXPECT_EQ(p.offsetY, -0.2);
    EXPECT_EQ(p.squeeze, 1.0);
    EXPECT_EQ(p.filmFit, "overscan");
    EXPECT_EQ(p.projType, "ortho");
    EXPECT_EQ(p.dpi, 299.9);
    EXPECT_EQ(p.pAspect, 0.9);
    EXPECT_EQ(p.depthMax, 123.25);
}

TEST(ParameterFile, LayoutOfWhiteSpaceDoesNotMatter)
{
    ParameterText t;
    t.pos = "1 2 3";
    CameraParameters oneLine;
    CameraParameters tokenPerLine;
    CameraParameters tabs;
    ASSERT_TRUE(parse(t.text(" "), oneLine));
    std::string perLine = t.text("\n");
    for (char& c : perLine)
        if (c == ' ')
            c = '\n';
    ASSERT_TRUE(parse(perLine, tokenPerLine));
    ASSERT_TRUE(parse("\r\n\t " + t.text("\t\t\r\n  "), tabs));
    for (const CameraParameters* p : {&tokenPerLine, &tabs}) {
        EXPECT_EQ(p->pos[1], oneLine.pos[1]);
        EXPECT_EQ(p->pos[2], oneLine.pos[2]);
        EXPECT_EQ(p->filmFit, oneLine.filmFit);
        EXPECT_EQ(p->depthMax, oneLine.depthMax);
    }
}

TEST(ParameterFile, TrailingWordsAreIgnored)
{
    CameraParameters p;
    ASSERT_TRUE(parse(ParameterText().text() + " extra words 17 here", p));
    EXPECT_EQ(p.depthMax, 10.0);
}

TEST(ParameterFile, NumbersAreReadInTheClassicLocaleWhateverTheStreamsLocale)
{
    // A locale whose decimal separator is a comma would read "1.5" as 1.
    struct CommaDecimal : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    ParameterText t;
    t.depthMax = "1.5";
    std::istringstream in(t.text());
    const std::locale comma(std::locale::classic(), new CommaDecimal);
    in.imbue(comma);
    CameraParameters p;
    ASSERT_TRUE(readParameterFile(in, p));
    EXPECT_EQ(p.depthMax, 1.5);
    EXPECT_TRUE(std::has_facet<CommaDecimal>(in.getloc())) << "the caller's locale is restored";
}

TEST(ParameterFile, RefusesTextThatBreaksTheGrammar)
{
    const std::string good = ParameterText().text();
    struct Case {
        const char* why;
        std::string text;
    };
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    const Case cases[] = {
        {"empty", ""},
        {"header in lower case", replaced("Parameters", "parameters")},
        {"key misspelt", replaced("focalLen", "focallen")},
        {"key missing", replaced("squeeze 1 ", "")},
        {"dpi after pAspect", replaced("dpi 72 pAspect 1", "pAspect 1 dpi 72")},
        {"value not a number", replaced("apertureX 2", "apertureX two")},
        {"value missing", replaced("focalLen 4", "focalLen")},
        {"too few matrix values", replaced("1 0 0 0 1 0 0 0 1", "1 0 0 0 1 0 0 0")},
        {"ends after pos", good.substr(0, good.find("worldMatrix"))},
        {"ends right after the depthMax key", replaced("depthMax 10", "depthMax")},
        {"depthMax not a number", replaced("depthMax 10", "depthMax ten")},
        {"depthMax a word that starts like no number", replaced("depthMax 10", "depthMax -")},
    };
    for (const Case& c : cases) {
        CameraParameters p;
        EXPECT_FALSE(parse(c.text, p)) << c.why;
    }
}

}  // namespace
