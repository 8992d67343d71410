// The camera record and resolution made from the parameters: film fit,
// frame corners, the axis exchange, and the values that cannot make a camera.
#include "saver/src/CameraModel.h"

#include "ParameterText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using namespace fennick_test;
using Talvenrock::Orvo::Projection;

// The worked example: W 400, H 200, pAspect 1 (A = 2), apertures 2 x 1.5,
// focal length 4.
Projection project(const ParameterText& t, unsigned w = 400, unsigned h = 200)
{
    Projection r;
    EXPECT_TRUE(makeProjection(parsed(t), w, h, r));
    return r;
}

void expectCorners(const Projection& r, double x0, double y0, double z0, double x1, double y1,
                   double z1)
{
    EXPECT_DOUBLE_EQ(r.topLeft[0], x0);
    EXPECT_DOUBLE_EQ(r.topLeft[1], y0);
    EXPECT_DOUBLE_EQ(r.topLeft[2], z0);
    EXPECT_DOUBLE_EQ(r.bottomRight[0], x1);
    EXPECT_DOUBLE_EQ(r.bottomRight[1], y1);
    EXPECT_DOUBLE_EQ(r.bottomRight[2], z1);
}

TEST(CameraModel, FilmFitAndCornersOfAPerspectiveCamera)
{
    ParameterText t;
    t.filmFit = "horizontal";
    expectCorners(project(t), -1, 0.5, 4, 1, -0.5, 4);
    t.filmFit = "fill";  // 2 < A x 1.5 = 3: horizontal
    expectCorners(project(t), -1, 0.5, 4, 1, -0.5, 4);
    t.filmFit = "overscan";  // 2 is not > 3: vertical
    expectCorners(project(t), -1.5, 0.75, 4, 1.5, -0.75, 4);
    t.filmFit = "vertical";
    expectCorners(project(t), -1.5, 0.75, 4, 1.5, -0.75, 4);
    t.filmFit = "Horizontal";  // words are case-sensitive: vertical
    expectCorners(project(t), -1.5, 0.75, 4, 1.5, -0.75, 4);
    EXPECT_EQ(project(t).kind, 0u);
}

TEST(CameraModel, OverscanAndFillTurnAtEquality)
{
    ParameterText t;
    t.apertureX = "3";  // exactly A x apertureY: neither comparison holds
    t.filmFit = "overscan";
    expectCorners(project(t), -1.5, 0.75, 4, 1.5, -0.75, 4);
    t.filmFit = "fill";
    expectCorners(project(t), -1.5, 0.75, 4, 1.5, -0.75, 4);
    t.apertureX = "4";  // now overscan fits horizontally, fill vertically
    t.filmFit = "overscan";
    expectCorners(project(t), -2, 1, 4, 2, -1, 4);
    t.filmFit = "fill";
    expectCorners(project(t), -1.5, 0.75, 4, 1.5, -0.75, 4);
}

TEST(CameraModel, EqualityThatTheTwoFitsRoundApartIsVertical)
{
    // A = 300 / 200 = 1.5 and 1.5 x 0.09 is 0.135 in double, so the two
    // sides are equal; yet 0.135 / 1.5 is 0.09 plus one unit in the last
    // place, so a horizontal fit would give a film height other than
    // apertureY, and the corners tell the two fits apart exactly.
    ParameterText t;
    t.apertureX = "0.135";
    t.apertureY = "0.09";
    const double apertureY = 0.09;
    const double aspect = 300.0 / 200.0;
    ASSERT_EQ(aspect * apertureY, 0.135);
    ASSERT_NE(0.135 / aspect, apertureY);
    for (const char* fit : {"overscan", "fill"}) {
        t.filmFit = fit;
        const Projection r = project(t, 300, 200);
        EXPECT_EQ(r.topLeft[0], -0.5 * 0.135) << fit;
        EXPECT_EQ(r.topLeft[1], 0.5 * apertureY) << fit;
        EXPECT_EQ(r.bottomRight[1], -0.5 * apertureY) << fit;
    }
    t.filmFit = "horizontal";  // the other branch, which the fits must not take
    EXPECT_NE(project(t, 300, 200).topLeft[1], 0.5 * apertureY);
}

TEST(CameraModel, PixelAspectEntersTheImageAspect)
{
    ParameterText t;
    t.pAspect = "0.5";  // A = 400 x 0.5 / 200 = 1
    t.filmFit = "horizontal";
    expectCorners(project(t), -1, 1, 4, 1, -1, 4);
}

TEST(CameraModel, CornersOfANonPerspectiveCamera)
{
    ParameterText t;
    t.projType = "ortho";
    t.filmFit = "horizontal";
    Projection r = project(t);
    EXPECT_EQ(r.kind, 1u);
    expectCorners(r, -1, 0.5, 0, 1, -0.5, 0);
    t.filmFit = "vertical";
    expectCorners(project(t), -1.5, 0.75, 0, 1.5, -0.75, 0);
}

TEST(CameraModel, ExchangesTheAxesIntoTheFilesFrame)
{
    ParameterText t;
    t.pos = "1 2 3";
    t.matrix = "1 2 3 4 5 6 7 8 9";
    const Projection r = project(t);
    const double expected[4][3] = {{1, -3, 2}, {1, -3, 2}, {4, -6, 5}, {-7, 9, -8}};
    const double* actual[4] = {r.position, r.xAxis, r.yAxis, r.zAxis};
    for (int v = 0; v < 4; ++v)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(actual[v][i], expected[v][i]) << v << "," << i;
    EXPECT_EQ(r.spareAxis[0], 0.0);
    EXPECT_EQ(r.spareAxis[1], 0.0);
    EXPECT_EQ(r.spareAxis[2], 1.0);
    EXPECT_EQ(r.nearDistance, 0.0);
    EXPECT_EQ(r.scale, 1.0);
    EXPECT_EQ(r.code, 4u);
}

TEST(CameraModel, IdentityMatrixKeepsTheSignsOfNegatedZeros)
{
    const Projection r = project(ParameterText());
    const double* axes[3] = {r.xAxis, r.yAxis, r.zAxis};
    const double values[3][3] = {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}};
    // Negated places: x[1], y[1], z[0], z[2] hold -0.0.
    const bool negative[3][3] = {{false, true, false}, {false, true, false}, {true, false, true}};
    for (int a = 0; a < 3; ++a)
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(axes[a][i], values[a][i]) << a << "," << i;
            EXPECT_EQ(std::signbit(axes[a][i]), negative[a][i]) << a << "," << i;
        }
    EXPECT_TRUE(std::signbit(r.position[1]));
}

TEST(CameraModel, FarDistanceIsOneAndAHalfDepthRanges)
{
    ParameterText t;
    t.depthMax = "10";
    EXPECT_EQ(project(t).farDistance, 15.0);
}

TEST(CameraModel, RefusesValuesThatCannotMakeACamera)
{
    struct Case {
        const char* why;
        ParameterText t;
        unsigned w = 400;
        unsigned h = 200;
    };
    std::vector<Case> cases;
    auto add = [&](const char* why, auto change, unsigned w = 400, unsigned h = 200) {
        ParameterText t;
        change(t);
        cases.push_back({why, t, w, h});
    };
    add("depthMax 0", [](ParameterText& t) { t.depthMax = "0"; });
    add("depthMax negative", [](ParameterText& t) { t.depthMax = "-5"; });
    add("pAspect 0", [](ParameterText& t) { t.pAspect = "0"; });
    add("pAspect negative", [](ParameterText& t) { t.pAspect = "-1"; });
    add("focal length 0, not perspective", [](ParameterText& t) {
        t.focalLen = "0";
        t.projType = "ortho";
    });
    add(
        "height 0", [](ParameterText&) {}, 400, 0);
    add(
        "width 0", [](ParameterText&) {}, 0, 200);
    add("corner overflows", [](ParameterText& t) {
        t.apertureX = "1e308";
        t.pAspect = "1e-308";
    });
    add("far distance overflows", [](ParameterText& t) { t.depthMax = "1.7e308"; });
    for (const Case& c : cases) {
        CameraParameters p;
        ASSERT_TRUE(parse(c.t.text(), p)) << c.why;
        Projection r;
        EXPECT_FALSE(makeProjection(p, c.w, c.h, r)) << c.why;
    }

    ParameterText perspectiveAtZero;
    perspectiveAtZero.focalLen = "0";
    Projection r;
    EXPECT_TRUE(makeProjection(parsed(perspectiveAtZero), 400, 200, r))
        << "a perspective camera divides by nothing";
}

TEST(CameraModel, ResolutionTruncatesAndClamps)
{
    EXPECT_EQ(resolutionFromDpi(299.9), 299u);
    EXPECT_EQ(resolutionFromDpi(72.0), 72u);
    EXPECT_EQ(resolutionFromDpi(0.99), 0u);
    EXPECT_EQ(resolutionFromDpi(-3.5), 0u);
    EXPECT_EQ(resolutionFromDpi(4294967295.0), 4294967295u);
    EXPECT_EQ(resolutionFromDpi(4294967294.9), 4294967294u);
    EXPECT_EQ(resolutionFromDpi(1e300), 4294967295u);
    EXPECT_EQ(resolutionFromDpi(std::numeric_limits<double>::infinity()), 4294967295u);
    EXPECT_EQ(resolutionFromDpi(std::nan("")), 0u);
}

}  // namespace
