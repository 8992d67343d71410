// The stand-in host itself: pixel fetch and conversion, failure injection,
// and robustness against a plug-in that miscounts.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "hostabi/lxguids.h"
#include "hostabi/lxvtables.h"
#include "hostsim/Host.h"
#include "hostsim/SimLayeredImage.h"
#include "hostsim/testing/TestPolicies.h"

namespace {

// Fetches one pixel of layer `index` straight through the function tables,
// as a plug-in would, and gives the references back.
LxResult fetch(fennick::hostsim::SimLayeredImage& image, unsigned index, unsigned x, unsigned y,
               LXtPixelFormat format, void* buf)
{
    LXtObjectID obj = image.object();
    void* layer = nullptr;
    LxResult rc = lxTable<ILxLayeredImageVT>(obj)->Image(obj, index, &layer);
    if (LXx_FAIL(rc))
        return rc;
    rc = lxTable<ILxImageVT>(layer)->GetPixel(layer, x, y, format, buf);
    lxTable<ILxUnknownVT>(layer)->Release(layer);
    return rc;
}

TEST(HostSimTest, PixelsComeBackInTheirOwnFormatUnchanged)
{
    fennick::hostsim::SimLayeredImage image(2, 2);
    image.addLayer("rgba", LXiIMP_RGBA32, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    image.addFloatLayer("rgbf", 3, {0.f, 0.f, 0.f, 0.f, 0.f, 0.f, 0.1f, 0.2f, 0.3f, 0.f, 0.f, 0.f});

    unsigned char rgba[4];
    ASSERT_EQ(LXe_OK, fetch(image, 0, 1, 1, LXiIMP_RGBA32, rgba));
    const unsigned char expected[4] = {13, 14, 15, 16};
    EXPECT_EQ(0, std::memcmp(expected, rgba, 4)) << "row-major, top row first";

    float rgb[3];
    ASSERT_EQ(LXe_OK, fetch(image, 1, 0, 1, LXiIMP_RGBFP, rgb));
    EXPECT_EQ(0.1f, rgb[0]);
    EXPECT_EQ(0.2f, rgb[1]);
    EXPECT_EQ(0.3f, rgb[2]);
    EXPECT_EQ(0, image.references());
}

TEST(HostSimTest, ConversionsBetweenFormats)
{
    fennick::hostsim::SimLayeredImage image(1, 1);
    image.addLayer("grey8", LXiIMP_GREY8, {51});
    image.addFloatLayer("rgbf", 3, {0.5f, 1.5f, -0.25f});

    float grey[4];
    ASSERT_EQ(LXe_OK, fetch(image, 0, 0, 0, LXiIMP_RGBAFP, grey));
    EXPECT_FLOAT_EQ(0.2f, grey[0]);
    EXPECT_FLOAT_EQ(0.2f, grey[1]);
    EXPECT_FLOAT_EQ(0.2f, grey[2]);
    EXPECT_FLOAT_EQ(1.0f, grey[3]);

    unsigned char rgb8[3];
    ASSERT_EQ(LXe_OK, fetch(image, 1, 0, 0, LXiIMP_RGB24, rgb8));
    EXPECT_EQ(128, rgb8[0]);
    EXPECT_EQ(255, rgb8[1]) << "clamped above";
    EXPECT_EQ(0, rgb8[2]) << "clamped below";

    float mean = 0.0f;
    ASSERT_EQ(LXe_OK, fetch(image, 1, 0, 0, LXiIMP_GREYFP, &mean));
    EXPECT_FLOAT_EQ((0.5f + 1.5f - 0.25f) / 3.0f, mean);
}

TEST(HostSimTest, OutOfRangeAndUnknownRequestsFailCleanly)
{
    fennick::hostsim::SimLayeredImage image(2, 1);
    image.addLayer("grey8", LXiIMP_GREY8, {1, 2});
    unsigned char buf[LXi_MAX_PIXEL_BYTES] = {};
    EXPECT_EQ(LXe_OUTOFBOUNDS, fetch(image, 0, 2, 0, LXiIMP_GREY8, buf));
    EXPECT_EQ(LXe_OUTOFBOUNDS, fetch(image, 0, 0, 1, LXiIMP_GREY8, buf));
    EXPECT_EQ(LXe_OUTOFBOUNDS, fetch(image, 1, 0, 0, LXiIMP_GREY8, buf));
    EXPECT_TRUE(LXx_FAIL(fetch(image, 0, 0, 0, 2, buf)));
    EXPECT_EQ(0, image.references());
}

TEST(HostSimTest, LayersMustMatchTheImageSize)
{
    fennick::hostsim::SimLayeredImage image(2, 2);
    EXPECT_THROW(image.addLayer("short", LXiIMP_RGB24, std::vector<unsigned char>(11)),
                 std::invalid_argument);
    EXPECT_THROW(image.addFloatLayer("short", 1, std::vector<float>(3)), std::invalid_argument);
    EXPECT_THROW(image.addFloatLayer("two", 2, std::vector<float>(8)), std::invalid_argument);
    EXPECT_THROW(image.addLayer("odd", 0x200 | 3, std::vector<unsigned char>(12)),
                 std::invalid_argument);
}

TEST(HostSimTest, OverReleaseIsRecordedNotApplied)
{
    fennick::hostsim::Host host;
    LXtObjectID context = host.context();
    lxTable<ILxUnknownVT>(context)->AddRef(context);
    EXPECT_EQ(0u, lxTable<ILxUnknownVT>(context)->Release(context));
    EXPECT_EQ(0u, lxTable<ILxUnknownVT>(context)->Release(context));
    EXPECT_EQ(0, host.liveReferences());
    EXPECT_EQ(1, host.misuses());

    fennick::hostsim::SimLayeredImage image(1, 1);
    lxTable<ILxUnknownVT>(image.object())->Release(image.object());
    EXPECT_EQ(0, image.references());
    EXPECT_EQ(1, image.misuses());
}

TEST(HostSimTest, ContextAnswersOnlyItsServices)
{
    fennick::hostsim::TestHostPolicy policy;
    fennick::hostsim::Host host(policy);
    LXtObjectID context = host.context();
    void* out = nullptr;
    EXPECT_EQ(LXe_NOINTERFACE,
              lxTable<ILxUnknownVT>(context)->QueryInterface(context, &LXu_IMAGE, &out));
    EXPECT_EQ(nullptr, out);

    ASSERT_EQ(LXe_OK,
              lxTable<ILxUnknownVT>(context)->QueryInterface(context, &LXu_LOGSERVICE, &out));
    EXPECT_EQ(1, host.liveReferences());
    lxTable<ILxUnknownVT>(out)->Release(out);

    policy.withholdLookupService(true);
    EXPECT_EQ(LXe_NOINTERFACE,
              lxTable<ILxUnknownVT>(context)->QueryInterface(context, &LXu_GUIDSERVICE, &out));
    EXPECT_EQ(0, host.liveReferences());
    EXPECT_EQ(0, host.misuses());
}

}  // namespace
