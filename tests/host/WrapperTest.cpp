// Client wrappers: exactly one reference held per wrapper, given up on every
// path, checked against the stand-in host's counted objects.
#include <gtest/gtest.h>

#include <vector>

#include "host/HostWrappers.h"
#include "hostsim/Host.h"
#include "hostsim/SimLayeredImage.h"
#include "hostsim/testing/TestPolicies.h"

namespace {

fennick::hostsim::SimLayeredImage twoLayers()
{
    fennick::hostsim::SimLayeredImage image(2, 1);
    image.addLayer("colour", LXiIMP_RGB24, {10, 20, 30, 40, 50, 60});
    image.addFloatLayer("Orvo_depth", 1, {0.25f, 0.5f});
    return image;
}

TEST(WrapperTest, SetKeepsOneReferenceAndClearGivesItBack)
{
    fennick::hostsim::SimLayeredImage image(1, 1);
    {
        CLxUser_LayeredImage layered(image.object());
        ASSERT_TRUE(layered.test());
        EXPECT_EQ(1, image.references());
        EXPECT_EQ(image.object(), static_cast<ILxUnknownID>(layered));
        EXPECT_EQ(1, image.references()) << "the conversion must not add a reference";

        // A second set of the same object replaces the reference, not adds.
        EXPECT_TRUE(layered.set(image.object()));
        EXPECT_EQ(1, image.references());

        layered.clear();
        EXPECT_FALSE(layered.test());
        EXPECT_EQ(0, image.references());
    }
    EXPECT_EQ(0, image.misuses());
}

TEST(WrapperTest, DestructorReleases)
{
    fennick::hostsim::SimLayeredImage image(1, 1);
    {
        CLxUser_LayeredImage a(image.object());
        CLxUser_LayeredImage b;
        EXPECT_TRUE(b.copy(a));
        EXPECT_EQ(2, image.references());
    }
    EXPECT_EQ(0, image.references());
    EXPECT_EQ(0, image.misuses());
}

TEST(WrapperTest, SetOfObjectLackingTheInterfaceEmptiesTheWrapper)
{
    fennick::hostsim::Host host;
    fennick::hostsim::SimLayeredImage image(1, 1);
    CLxUser_LayeredImage layered(image.object());
    ASSERT_TRUE(layered.test());

    EXPECT_FALSE(layered.set(host.context()));
    EXPECT_FALSE(layered.test());
    EXPECT_EQ(0, image.references()) << "the earlier interface must be released";
    EXPECT_EQ(0, host.liveReferences());

    EXPECT_FALSE(layered.set(nullptr));
    EXPECT_FALSE(layered.test());
}

TEST(WrapperTest, TakeGivesUpTheCallersReferenceOnEveryPath)
{
    fennick::hostsim::Host host;
    fennick::hostsim::SimLayeredImage image(1, 1);
    CLxUser_LayeredImage layered;

    // Success: the wrapper ends up with exactly the one reference.
    lx::ObjAddRef(image.object());
    EXPECT_TRUE(layered.take(image.object()));
    EXPECT_EQ(1, image.references());

    // An object without the interface: false, and the caller's reference
    // is still consumed; the earlier interface is gone too.
    lx::ObjAddRef(host.context());
    EXPECT_FALSE(layered.take(host.context()));
    EXPECT_FALSE(layered.test());
    EXPECT_EQ(0, host.liveReferences());
    EXPECT_EQ(0, image.references());

    // take(null) empties the wrapper and answers false.
    lx::ObjAddRef(image.object());
    ASSERT_TRUE(layered.take(image.object()));
    EXPECT_FALSE(layered.take(nullptr));
    EXPECT_FALSE(layered.test());
    EXPECT_EQ(0, image.references());

    EXPECT_EQ(0, host.misuses());
    EXPECT_EQ(0, image.misuses());
}

TEST(WrapperTest, GetAddsAReferenceOnlyWhenHolding)
{
    fennick::hostsim::SimLayeredImage image(1, 1);
    CLxUser_LayeredImage layered;

    int sentinel = 0;
    void* out = &sentinel;
    EXPECT_FALSE(layered.get(&out));
    EXPECT_EQ(&sentinel, out) << "get on an empty wrapper must write nothing";

    ASSERT_TRUE(layered.set(image.object()));
    ASSERT_TRUE(layered.get(&out));
    EXPECT_EQ(image.object(), out);
    EXPECT_EQ(2, image.references());
    lx::ObjRelease(out);
    EXPECT_EQ(1, image.references());
}

TEST(WrapperTest, LayeredImageOperations)
{
    fennick::hostsim::SimLayeredImage image = twoLayers();
    CLxUser_LayeredImage layered(image.object());
    ASSERT_TRUE(layered.test());

    unsigned w = 0, h = 0;
    EXPECT_EQ(LXe_OK, layered.Size(&w, &h));
    EXPECT_EQ(2u, w);
    EXPECT_EQ(1u, h);
    EXPECT_EQ(2u, layered.Count());

    const char* name = nullptr;
    EXPECT_EQ(LXe_OK, layered.Name(1, &name));
    EXPECT_STREQ("Orvo_depth", name);
    EXPECT_EQ(LXe_OUTOFBOUNDS, layered.Name(2, &name));

    {
        CLxUser_Image depth;
        ASSERT_TRUE(layered.GetImage(depth, 1));
        EXPECT_EQ(2, image.references()) << "the layered image and its layer, one each";
        EXPECT_EQ(LXiIMP_GREYFP, depth.Format());
        float v = 0.0f;
        EXPECT_EQ(LXe_OK, depth.GetPixel(1, 0, depth.Format(), &v));
        EXPECT_EQ(0.5f, v);

        // A failed fetch leaves the image wrapper as it was.
        EXPECT_FALSE(layered.GetImage(depth, 5));
        EXPECT_TRUE(depth.test());
        EXPECT_EQ(2, image.references());

        // Fetching another layer into the same wrapper swaps the reference.
        ASSERT_TRUE(layered.GetImage(depth, 0));
        EXPECT_EQ(LXiIMP_RGB24, depth.Format());
        EXPECT_EQ(2, image.references());
    }
    EXPECT_EQ(1, image.references());
    EXPECT_EQ(0, image.misuses());
}

TEST(WrapperTest, FailuresInjectedByTheHostPassThrough)
{
    fennick::hostsim::TestLayeredImagePolicy imagePolicy;
    imagePolicy.failName(0, LXe_NOTFOUND);
    imagePolicy.failImage(1);
    fennick::hostsim::SimLayeredImage image = twoLayers();
    image.setPolicy(imagePolicy);
    CLxUser_LayeredImage layered(image.object());

    const char* name = "untouched";
    EXPECT_EQ(LXe_NOTFOUND, layered.Name(0, &name));
    EXPECT_STREQ("untouched", name);

    CLxUser_Image depth;
    EXPECT_FALSE(layered.GetImage(depth, 1));
    EXPECT_FALSE(depth.test());
    EXPECT_EQ(1, image.references());
}

TEST(WrapperTest, EmptyWrappersAnswerFailureWithoutCallingTheHost)
{
    CLxUser_LayeredImage layered;
    unsigned w = 7, h = 7;
    EXPECT_TRUE(LXx_FAIL(layered.Size(&w, &h)));
    EXPECT_EQ(7u, w);
    EXPECT_EQ(0u, layered.Count());
    const char* name = nullptr;
    EXPECT_TRUE(LXx_FAIL(layered.Name(0, &name)));
    CLxUser_Image image;
    EXPECT_FALSE(layered.GetImage(image, 0));

    unsigned char pixel[LXi_MAX_PIXEL_BYTES] = {};
    EXPECT_EQ(0u, image.Format());
    EXPECT_TRUE(LXx_FAIL(image.GetPixel(0, 0, LXiIMP_RGB24, pixel)));
}

}  // namespace
