// `orvo save` on the layouts studios' renders come in: a data window inside
// or across a larger display window, parts with windows of their own,
// stereo views in one part or in several, luminance and chroma, deep parts.
// The renders are written with OpenEXR's own API; the saved pictures are
// checked at known pixels against the camera's own geometry.
#include "tools/ExrWrite.h"
#include "tools/ToolTestSupport.h"

#include "avkorvo/OrvoReader.h"
#include "orvo/render/ExrRender.h"

#include <ImfDeepFrameBuffer.h>
#include <ImfDeepScanLineOutputFile.h>
#include <ImfRgbaFile.h>
#include <gtest/gtest.h>

#include <cmath>

using namespace tooltest;

namespace {

// A camera at the origin looking along -Z, focal length 4 on a film 2 wide,
// 1.5 high (horizontal fit), so an 8 x 6 picture has square pixels.
const char kParams[]
    = "Parameters pos 0 0 0 worldMatrix 1 0 0 0 1 0 0 0 1 focalLen 4 apertureX 2 apertureY 1.5\n"
      "offsetX 0 offsetY 0 squeeze 1 filmFit horizontal projType persp dpi 72 pAspect 1\n"
      "depthMax 100\n";
constexpr int kW = 8, kH = 6;

// The distance along the ray through the centre of pixel (x, y) of the
// 8 x 6 frame to a point at planar depth z.
double rayDistance(int x, int y, double z)
{
    const double u = ((x + 0.5) / kW - 0.5) * 2 / 4, v = (0.5 - (y + 0.5) / kH) * 1.5 / 4;
    return z * std::sqrt(1 + u * u + v * v);
}

Imath::Box2i box(int x0, int y0, int x1, int y1)
{
    return Imath::Box2i(Imath::V2i(x0, y0), Imath::V2i(x1, y1));
}

// The saved file's colour (R, G, B bytes) and distance (NaN for no depth)
// at every pixel.
struct Saved {
    std::vector<std::uint8_t> rgb;
    std::vector<double> distance;
    std::uint32_t width = 0, height = 0;
    explicit Saved(const std::string& path)
    {
        auto reader = Talvenrock::Orvo::OrvoReader::open(path);
        const auto& s = reader->summary();
        width = s.width;
        height = s.height;
        rgb.resize(std::size_t(width) * height * 3);
        std::vector<std::uint32_t> codes(width);
        for (std::uint32_t y = 0; y < height; ++y) {
            reader->readColourRow(y, rgb.data() + std::size_t(y) * width * 3);
            reader->readDepthRow(y, codes.data());
            for (std::uint32_t c : codes)
                distance.push_back(c == Talvenrock::Orvo::kNoDepth
                                       ? std::nan("")
                                       : Talvenrock::Orvo::depthDistance(c, s.camera.farDistance));
        }
    }
    double at(int x, int y) const { return distance[std::size_t(y) * width + std::size_t(x)]; }
    std::uint8_t red(int x, int y) const
    {
        return rgb[(std::size_t(y) * width + std::size_t(x)) * 3];
    }
};

// Channels R, G, B, Z over a data window: red 1, depth `z(column)`.
std::vector<ExrChannel> redWithDepth(const Imath::Box2i& dw, const std::string& prefix,
                                     float (*z)(int column))
{
    const int w = dw.max.x - dw.min.x + 1, h = dw.max.y - dw.min.y + 1;
    std::vector<float> one(std::size_t(w * h), 1.0f), zero(std::size_t(w * h), 0.0f), depth;
    for (int i = 0; i < w * h; ++i)
        depth.push_back(z(i % w));
    return {{prefix + "R", one}, {prefix + "G", zero}, {prefix + "B", zero}, {prefix + "Z", depth}};
}

float fiveOnward(int column) { return 5.0f + float(column); }

}  // namespace

TEST(RenderLayouts, TheDisplayWindowIsThePictureAndItsCamera)
{
    ScratchDir dir;
    writeBytes(dir.file("p.txt"),
               std::vector<unsigned char>(kParams, kParams + sizeof kParams - 1));

    // Inside: the data pixels at their place, nothing around them.
    ExrPart inside{"", redWithDepth(box(2, 1, 5, 3), "", fiveOnward)};
    inside.dataWindow = box(2, 1, 5, 3);
    writeExr(dir.file("inside.exr"), kW, kH, {inside});
    RunResult r = runOrvo("save inside.exr inside.ovq --params p.txt --depth Z", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("the data window (2, 1) - (5, 3) placed in the display window (0, 0) - "
                         "(7, 5)\n"),
              std::string::npos)
        << r.out;
    const Saved in(dir.file("inside.ovq"));
    ASSERT_EQ(in.width, unsigned(kW));
    ASSERT_EQ(in.height, unsigned(kH));
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool data = x >= 2 && x <= 5 && y >= 1 && y <= 3;
            EXPECT_EQ(in.red(x, y), data ? 255 : 0) << x << "," << y;
            if (data)
                EXPECT_NEAR(in.at(x, y), rayDistance(x, y, 5.0 + (x - 2)), 1e-5) << x << "," << y;
            else
                EXPECT_TRUE(std::isnan(in.at(x, y))) << x << "," << y;
        }

    // Across the top-left corner: cropped, each pixel still from its place.
    ExrPart across{"", redWithDepth(box(-3, -2, 3, 2), "", fiveOnward)};
    across.dataWindow = box(-3, -2, 3, 2);
    writeExr(dir.file("across.exr"), kW, kH, {across});
    r = runOrvo("save across.exr across.ovq --params p.txt --depth Z", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("(-3, -2) - (3, 2) placed in the display window (0, 0) - (7, 5), cropped "
                         "to it\n"),
              std::string::npos)
        << r.out;
    const Saved ac(dir.file("across.ovq"));
    EXPECT_NEAR(ac.at(0, 0), rayDistance(0, 0, 5.0 + 3), 1e-5);
    EXPECT_NEAR(ac.at(3, 2), rayDistance(3, 2, 5.0 + 6), 1e-5);
    EXPECT_TRUE(std::isnan(ac.at(4, 2)));
    EXPECT_TRUE(std::isnan(ac.at(3, 3)));

    // Beside it: nothing to save.
    ExrPart outside{"", redWithDepth(box(8, 0, 9, 1), "", fiveOnward)};
    outside.dataWindow = box(8, 0, 9, 1);
    writeExr(dir.file("outside.exr"), kW, kH, {outside});
    r = runOrvo("save outside.exr outside.ovq --params p.txt --depth Z", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "orvo: outside.exr: the data window (8, 0) - (9, 1) lies wholly outside the "
                     "display window (0, 0) - (7, 5)\n");
    EXPECT_FALSE(fileExists(dir.file("outside.ovq")));

    // Parts, each at its own window over the one frame they share (OpenEXR
    // itself keeps a file's display windows equal).
    std::vector<ExrChannel> rgb = redWithDepth(box(0, 0, 7, 5), "", fiveOnward);
    rgb.pop_back();
    ExrPart colour{"colour", rgb};
    ExrPart depth{"depth", {redWithDepth(box(4, 0, 7, 5), "", fiveOnward)[3]}};
    depth.dataWindow = box(4, 0, 7, 5);
    writeExr(dir.file("parts.exr"), kW, kH, {colour, depth});
    r = runOrvo("save parts.exr parts.ovq --params p.txt --depth depth.Z", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const Saved parts(dir.file("parts.ovq"));
    EXPECT_EQ(parts.red(1, 2), 255);
    EXPECT_TRUE(std::isnan(parts.at(3, 2)));
    EXPECT_NEAR(parts.at(5, 2), rayDistance(5, 2, 5.0 + 1), 1e-5);
}

TEST(RenderLayouts, OneViewOfAStereoRenderIsSavedWholeFromOnePartOrMany)
{
    // The right eye (the default) at depth 5 onward, the left at 20 onward.
    ScratchDir dir;
    writeBytes(dir.file("p.txt"),
               std::vector<unsigned char>(kParams, kParams + sizeof kParams - 1));
    const Imath::Box2i all = box(0, 0, kW - 1, kH - 1);
    auto twentyOnward = [](int column) { return 20.0f + float(column); };
    std::vector<ExrChannel> both = redWithDepth(all, "", fiveOnward);
    for (ExrChannel& c : redWithDepth(all, "left.", twentyOnward))
        both.push_back(c);
    ExrPart single{"", both};
    single.multiView = {"right", "left"};
    writeExr(dir.file("stereo.exr"), kW, kH, {single});
    ExrPart right{"right", redWithDepth(all, "", fiveOnward)};
    right.view = "right";
    ExrPart left{"left", redWithDepth(all, "", twentyOnward)};
    left.view = "left";
    writeExr(dir.file("parts.exr"), kW, kH, {right, left});

    RunResult byDefault = runOrvo("save stereo.exr right.ovq --params p.txt --depth Z", dir.path());
    ASSERT_EQ(byDefault.status, 0) << byDefault.err;
    EXPECT_NE(byDefault.out.find("view: right (the default); the render's views are right, left\n"),
              std::string::npos)
        << byDefault.out;
    EXPECT_NE(byDefault.err.find("left out layer \"left\" (left.B, left.G, left.R, left.Z): view "
                                 "left; the save takes view right (--view)"),
              std::string::npos)
        << byDefault.err;
    EXPECT_NEAR(Saved(dir.file("right.ovq")).at(6, 4), rayDistance(6, 4, 5.0 + 6), 1e-5);

    for (const char* file : {"stereo", "parts"}) {
        const std::string target = std::string(file) + "-left.ovq";
        RunResult r = runOrvo(std::string("save ") + file + ".exr " + target
                                  + " --params p.txt --depth Z --view left",
                              dir.path());
        ASSERT_EQ(r.status, 0) << file << ": " << r.err;
        const Saved saved(dir.file(target));
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                EXPECT_NEAR(saved.at(x, y), rayDistance(x, y, 20.0 + x), 1e-5) << file;
                EXPECT_EQ(saved.red(x, y), 255) << file;
            }
    }

    RunResult unknown
        = runOrvo("save stereo.exr c.ovq --params p.txt --depth Z --view centre", dir.path());
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "orvo: stereo.exr: no view \"centre\" for --view; the views are right, "
                           "left\n");
}

TEST(RenderLayouts, LuminanceChromaIsColourAndADeepPartIsNamedAsDeep)
{
    ScratchDir dir;
    {
        const Imf::Header header(kW, kH);
        Imf::RgbaOutputFile out(dir.file("yc.exr").c_str(), header, Imf::WRITE_YC);
        std::vector<Imf::Rgba> pixels(kW * kH, Imf::Rgba(0.5f, 0.25f, 0.125f, 1.0f));
        out.setFrameBuffer(pixels.data(), 1, kW);
        out.writePixels(kH);
    }
    const fennick::tool::ExrRender yc = fennick::tool::readExrRender(dir.file("yc.exr"));
    const fennick::tool::RenderLayer* colour = yc.image.colourLayer();
    ASSERT_NE(colour, nullptr);
    ASSERT_EQ(colour->channels, 4u);
    // Luminance and chroma are stored in half floats, chroma subsampled: a
    // flat colour comes back to within a percent.
    EXPECT_NEAR(colour->values[4 * 13 + 0], 0.5f, 5e-3);
    EXPECT_NEAR(colour->values[4 * 13 + 1], 0.25f, 2.5e-3);
    EXPECT_NEAR(colour->values[4 * 13 + 2], 0.125f, 1.25e-3);

    {
        Imf::Header header(kW, kH);
        header.setType(Imf::DEEPSCANLINE);
        header.compression() = Imf::ZIPS_COMPRESSION;
        header.channels().insert("R", Imf::Channel(Imf::FLOAT));
        header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
        Imf::DeepScanLineOutputFile out(dir.file("deep.exr").c_str(), header);
        std::vector<unsigned> counts(kW * kH, 1);
        std::vector<float> r(kW * kH, 1.0f), z(kW * kH, 5.0f);
        std::vector<float*> rp, zp;
        for (int i = 0; i < kW * kH; ++i) {
            rp.push_back(&r[std::size_t(i)]);
            zp.push_back(&z[std::size_t(i)]);
        }
        Imf::DeepFrameBuffer frame;
        frame.insertSampleCountSlice(Imf::Slice(Imf::UINT, reinterpret_cast<char*>(counts.data()),
                                                sizeof(unsigned), sizeof(unsigned) * kW));
        frame.insert("R", Imf::DeepSlice(Imf::FLOAT, reinterpret_cast<char*>(rp.data()),
                                         sizeof(float*), sizeof(float*) * kW, sizeof(float)));
        frame.insert("Z", Imf::DeepSlice(Imf::FLOAT, reinterpret_cast<char*>(zp.data()),
                                         sizeof(float*), sizeof(float*) * kW, sizeof(float)));
        out.setFrameBuffer(frame);
        out.writePixels(kH);
    }
    RunResult deep = runOrvo("save deep.exr deep.ovq --depth Z", dir.path());
    EXPECT_EQ(deep.status, 1);
    EXPECT_EQ(deep.err, "orvo: deep.exr: no channel \"Z\" for --depth; the render has no flat "
                        "channels; deep parts, whose samples are not flattened: part 0 (R, Z)\n");
}
