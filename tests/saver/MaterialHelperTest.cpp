// Grouping the material layer's colours into tags and writing the material
// table.
#include "saver/src/MaterialHelper.h"

#include "PlainClassifier.h"
#include "saver/src/HueSet.h"

#include "avkorvo/OrvoFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Talvenrock::Orvo::OrvoError;

struct MaterialRecord {
    unsigned short tag;
    unsigned char r, g, b;
    std::wstring name;
};

// Stands in for the writer: records putMaterial calls; may fail at the
// n-th one as a full disk would.
class RecordingFile : public Talvenrock::Orvo::OrvoFile {
public:
    std::vector<MaterialRecord> records;
    int failAt = -1;

    void setShadowDirection(const double&, const double&, const double&) override {}
    void setResolution(unsigned, unsigned, Talvenrock::Orvo::ResolutionUnit) override {}
    void beginPass(int) override {}
    void putScan() override {}
    std::uint8_t* rgbLine() override { return nullptr; }
    std::uint32_t* zLine() override { return nullptr; }
    std::uint16_t* matLine() override { return nullptr; }
    void putMaterial(unsigned short tag, unsigned char r, unsigned char g, unsigned char b,
                     const std::wstring& name) override
    {
        if (static_cast<int>(records.size()) == failAt)
            throw OrvoError("No space left on device");
        records.push_back({tag, r, g, b, name});
    }
    void close() override {}
};

std::vector<MaterialRecord> written(const MaterialHelper& m)
{
    RecordingFile f;
    m.writeMaterials(f);
    return f.records;
}

void expectColour(const MaterialRecord& rec, int r, int g, int b)
{
    EXPECT_EQ(rec.r, r);
    EXPECT_EQ(rec.g, g);
    EXPECT_EQ(rec.b, b);
}

TEST(MaterialHue, PureColoursAndTheirMaterialColours)
{
    struct Case {
        float r, g, b, hue;
        int cr, cg, cb;
    };
    const Case cases[] = {
        {1, 0, 0, 0, 255, 0, 0},   {1, 1, 0, 1, 255, 255, 0}, {0, 1, 0, 2, 0, 255, 0},
        {0, 1, 1, 3, 0, 255, 255}, {0, 0, 1, 4, 0, 0, 255},   {1, 0, 1, 5, 255, 0, 255},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MaterialHelper::gethue(c.r, c.g, c.b), c.hue) << c.r << c.g << c.b;
        MaterialHelper m;
        EXPECT_EQ(m.getTag(c.r, c.g, c.b), 1);
        const auto recs = written(m);
        ASSERT_EQ(recs.size(), 1u);
        expectColour(recs[0], c.cr, c.cg, c.cb);
    }
}

TEST(MaterialHue, EachOfTheSixCases)
{
    EXPECT_FLOAT_EQ(MaterialHelper::gethue(0.5f, 0.2f, 0.8f), 4.5f);  // r > g, b > r
    EXPECT_FLOAT_EQ(MaterialHelper::gethue(0.8f, 0.2f, 0.5f), 5.5f);  // r > g, g < b <= r
    EXPECT_FLOAT_EQ(MaterialHelper::gethue(0.8f, 0.5f, 0.2f), 0.5f);  // r > g, b <= g
    EXPECT_FLOAT_EQ(MaterialHelper::gethue(0.5f, 0.8f, 0.2f), 1.5f);  // r <= g, r > b
    EXPECT_FLOAT_EQ(MaterialHelper::gethue(0.2f, 0.8f, 0.5f), 2.5f);  // r <= g, r <= b, g > b
    EXPECT_FLOAT_EQ(MaterialHelper::gethue(0.2f, 0.5f, 0.8f), 3.5f);  // r <= g, r <= b, g <= b
    EXPECT_EQ(MaterialHelper::gethue(0.8f, 0.2f, 0.8f), 5.0f) << "b == r falls into case 2";
}

TEST(MaterialHue, DarkGreyAndNonNumbersHaveNoHue)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(MaterialHelper::gethue(0.19f, 0.0f, 0.0f), MaterialHelper::kNoHue);
    EXPECT_EQ(MaterialHelper::gethue(0.0f, 0.0f, 0.0f), MaterialHelper::kNoHue);
    EXPECT_EQ(MaterialHelper::gethue(0.2f, 0.0f, 0.0f), 0.0f) << "a top of exactly 0.2 has a hue";
    EXPECT_EQ(MaterialHelper::gethue(0.5f, 0.5f, 0.5f), MaterialHelper::kNoHue);
    EXPECT_EQ(MaterialHelper::gethue(1.0f, 1.0f, 1.0f), MaterialHelper::kNoHue);
    EXPECT_EQ(MaterialHelper::gethue(nan, 0.5f, 0.0f), MaterialHelper::kNoHue);
    EXPECT_EQ(MaterialHelper::gethue(0.5f, nan, 0.0f), MaterialHelper::kNoHue);
    EXPECT_EQ(MaterialHelper::gethue(0.5f, 0.0f, nan), MaterialHelper::kNoHue);
    EXPECT_EQ(MaterialHelper::gethue(inf, inf, 0.0f), MaterialHelper::kNoHue);
    EXPECT_FALSE(std::isnan(MaterialHelper::gethue(inf, 0.0f, -inf)));
}

TEST(MaterialTags, DarkAndGreyPixelsGetTagZeroAndRecordNothing)
{
    MaterialHelper m;
    EXPECT_EQ(m.getTag(0.1f, 0.05f, 0.0f), 0);
    EXPECT_EQ(m.getTag(0.7f, 0.7f, 0.7f), 0);
    EXPECT_EQ(m.getTag(1.0f, 1.0f, 1.0f), 0);
    EXPECT_TRUE(m.materialRanges().empty());
    // Grey must not break the ordered hue table: classification after it
    // still finds exact hues.
    EXPECT_EQ(m.getTag(1.0f, 0.0f, 0.0f), 1);
    EXPECT_EQ(m.getTag(0.3f, 0.3f, 0.3f), 0);
    EXPECT_EQ(m.getTag(0.0f, 0.0f, 1.0f), 2);
    EXPECT_EQ(m.getTag(0.5f, 0.0f, 0.0f), 1);
    EXPECT_EQ(m.getTag(0.0f, 0.0f, 0.5f), 2);
    EXPECT_TRUE(written(MaterialHelper()).empty()) << "a picture without hues gives an empty table";
}

TEST(MaterialTags, NumberedInFirstSeenOrderWithDarkerShadesShared)
{
    MaterialHelper m;
    EXPECT_EQ(m.getTag(0.0f, 1.0f, 0.0f), 1);   // green
    EXPECT_EQ(m.getTag(1.0f, 0.5f, 0.0f), 2);   // orange
    EXPECT_EQ(m.getTag(0.5f, 0.25f, 0.0f), 2);  // darker orange, same hue
    EXPECT_EQ(m.getTag(0.0f, 0.3f, 0.0f), 1);
    EXPECT_EQ(m.getTag(0.0f, 0.0f, 1.0f), 3);
    ASSERT_EQ(m.materialRanges().size(), 3u);
    EXPECT_EQ(m.materialRanges()[1].min, 0.5f);
    EXPECT_EQ(m.materialRanges()[1].max, 0.5f);

    const auto recs = written(m);
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0].name, L"Mat 1");
    EXPECT_EQ(recs[1].name, L"Mat 2");
    EXPECT_EQ(recs[2].name, L"Mat 3");
    for (unsigned short i = 0; i < 3; ++i)
        EXPECT_EQ(recs[i].tag, i + 1);
    expectColour(recs[0], 0, 255, 0);
    expectColour(recs[1], 255, 128, 0);
    expectColour(recs[2], 0, 0, 255);
    EXPECT_EQ(written(m).size(), 3u) << "writing changes nothing";
}

TEST(MaterialTags, NearHuesChainIntoOneMaterialAndWidenIt)
{
    // Case 5 (r = 0, g = 1): hue = 2 + b. Each step below is under the
    // limit from a recorded hue; the ends are not.
    MaterialHelper chain;
    EXPECT_EQ(chain.getTag(0.0f, 1.0f, 0.5f), 1);  // hue 2.5
    EXPECT_EQ(chain.getTag(0.0f, 1.0f, 0.500008f), 1);
    EXPECT_EQ(chain.getTag(0.0f, 1.0f, 0.500016f), 1);
    EXPECT_EQ(chain.getTag(0.0f, 1.0f, 0.499992f), 1);
    EXPECT_EQ(chain.getTag(0.0f, 1.0f, 0.500040f), 2) << "too far from every recorded hue";
    ASSERT_EQ(chain.materialRanges().size(), 2u);
    EXPECT_FLOAT_EQ(chain.materialRanges()[0].min, 2.499992f);
    EXPECT_FLOAT_EQ(chain.materialRanges()[0].max, 2.500016f);
}

TEST(MaterialTags, HuesTheLimitApartInFloatAreTwoMaterials)
{
    // Case 3 (r = 1, b = 0): hue = g, exactly. Each pair is classified in
    // both orders; differences are taken in float.
    const float limit = MaterialHelper::kHueLimit;
    const float tiny = std::ldexp(1.0f, -60);
    ASSERT_EQ(MaterialHelper::gethue(1.0f, limit, 0.0f), limit);
    ASSERT_EQ(MaterialHelper::gethue(1.0f, tiny, 0.0f), tiny);
    const struct {
        float g1, g2;
        unsigned short secondTag;
        const char* why;
    } pairs[] = {
        {0.0f, limit, 2, "exactly the limit apart"},
        {0.0f, std::nextafter(limit, 0.0f), 1, "one float step closer"},
        // limit - 2^-60 rounds to the limit in float. (Kept wider, as the
        // x87 unit keeps it, it is below the limit and the hues would join.)
        {tiny, limit, 2, "the limit apart once rounded to float"},
    };
    for (const auto& p : pairs) {
        for (bool swapped : {false, true}) {
            MaterialHelper m;
            EXPECT_EQ(m.getTag(1.0f, swapped ? p.g2 : p.g1, 0.0f), 1) << p.why;
            EXPECT_EQ(m.getTag(1.0f, swapped ? p.g1 : p.g2, 0.0f), p.secondTag)
                << p.why << (swapped ? ", swapped" : "");
        }
    }
}

TEST(MaterialTags, HuesTheLimitApartAboveZeroAreTwoMaterials)
{
    // 2e-5 is twice 1e-5 in float, so the two hues (r = 1, b = 0: hue = g)
    // are exactly the limit apart, away from the hue 0 where one side of
    // the difference vanishes. A third hue between them is near both and
    // joins the one just above it.
    const float low = 1e-5f;
    const float high = 2e-5f;
    ASSERT_EQ(high - low, MaterialHelper::kHueLimit);
    for (bool swapped : {false, true}) {
        MaterialHelper m;
        EXPECT_EQ(m.getTag(1.0f, swapped ? high : low, 0.0f), 1);
        EXPECT_EQ(m.getTag(1.0f, swapped ? low : high, 0.0f), 2) << (swapped ? "swapped" : "");
        EXPECT_EQ(m.getTag(1.0f, 1.5e-5f, 0.0f), swapped ? 1 : 2) << (swapped ? "swapped" : "");
        EXPECT_EQ(m.materialRanges().size(), 2u);
    }
}

TEST(MaterialTags, HuesEitherSideOfRedJoinWhicheverComesFirst)
{
    // Case 2 gives 6 - 5e-6 = 5.999995; case 3 gives 2e-6; together they are
    // 7e-6 apart round the circle.
    const float below[3] = {1.0f, 0.0f, 5e-6f};
    const float above[3] = {1.0f, 2e-6f, 0.0f};
    ASSERT_GT(MaterialHelper::gethue(below[0], below[1], below[2]), 5.9f);
    ASSERT_LT(MaterialHelper::gethue(above[0], above[1], above[2]), 0.1f);
    for (bool belowFirst : {true, false}) {
        const float* first = belowFirst ? below : above;
        const float* second = belowFirst ? above : below;
        MaterialHelper m;
        EXPECT_EQ(m.getTag(first[0], first[1], first[2]), 1);
        EXPECT_EQ(m.getTag(second[0], second[1], second[2]), 1) << belowFirst;
        ASSERT_EQ(m.materialRanges().size(), 1u);
        EXPECT_GT(m.materialRanges()[0].max, 6.0f) << "the interval runs past 6";
        EXPECT_LT(m.materialRanges()[0].min, 6.0f);
        const auto recs = written(m);
        ASSERT_EQ(recs.size(), 1u);
        expectColour(recs[0], 255, 0, 0);
    }
}

TEST(MaterialTags, IntervalPastSixIsColouredFromTheHueMinusSix)
{
    MaterialHelper m;
    EXPECT_EQ(m.insertHue(5.9f), 1);
    m.addHue(1, 0.2f);
    EXPECT_FLOAT_EQ(m.materialRanges()[0].min, 5.9f);
    EXPECT_FLOAT_EQ(m.materialRanges()[0].max, 6.2f);
    const auto recs = written(m);
    ASSERT_EQ(recs.size(), 1u);
    expectColour(recs[0], 255, 13, 0);

    MaterialHelper reversed;
    EXPECT_EQ(reversed.insertHue(0.2f), 1);
    reversed.addHue(1, 5.9f);
    EXPECT_FLOAT_EQ(reversed.materialRanges()[0].min, 5.9f);
    EXPECT_FLOAT_EQ(reversed.materialRanges()[0].max, 6.2f);
}

TEST(MaterialTags, ColoursOfEverySector)
{
    MaterialHelper m;
    for (float h : {0.25f, 1.25f, 2.25f, 3.25f, 4.25f, 5.25f})
        m.insertHue(h);
    const auto recs = written(m);
    ASSERT_EQ(recs.size(), 6u);
    // up = 0.25 x 255 + 0.5 -> 64; down = 0.75 x 255 + 0.5 -> 191.
    expectColour(recs[0], 255, 64, 0);
    expectColour(recs[1], 191, 255, 0);
    expectColour(recs[2], 0, 255, 64);
    expectColour(recs[3], 0, 191, 255);
    expectColour(recs[4], 64, 0, 255);
    expectColour(recs[5], 255, 0, 191);
}

TEST(MaterialTags, WriterErrorStopsTheTableAfterTheRecordsBeforeIt)
{
    MaterialHelper m;
    m.insertHue(1.0f);
    m.insertHue(2.0f);
    m.insertHue(3.0f);
    RecordingFile f;
    f.failAt = 1;
    EXPECT_THROW(m.writeMaterials(f), OrvoError);
    ASSERT_EQ(f.records.size(), 1u);
    EXPECT_EQ(f.records[0].tag, 1);
}

TEST(MaterialTags, TheMaterialAfterTheLastTagJoinsTheNearestOne)
{
    MaterialHelper picture;
    std::vector<float> hues;
    for (unsigned i = 0; i < 65535; ++i) {
        // Case 3 (r = 1, b = 0): hue = g, so g walks 0..1 in steps of 1/65536.
        const float g = static_cast<float>(i) / 65536.0f;
        ASSERT_EQ(picture.getTag(1.0f, g, 0.0f), static_cast<unsigned short>(i + 1)) << i;
    }
    ASSERT_EQ(picture.materialRanges().size(), 65535u);
    // The next new hue (g = 65535.4/65536, just below 1) has no tag left:
    // it joins its nearest recorded hue, 65534/65536, tag 65535.
    const float g = 65535.4f / 65536.0f;
    const unsigned short tag = picture.getTag(1.0f, g, 0.0f);
    EXPECT_EQ(tag, 65535);
    EXPECT_EQ(picture.materialRanges().size(), 65535u);
    EXPECT_FLOAT_EQ(picture.materialRanges()[65534].max, g);
    // A hue just below 6 is within the limit of red (hue 0) and joins it
    // across the turn as usual.
    EXPECT_EQ(picture.getTag(1.0f, 0.0f, 0.4f / 65536.0f), 1);
    // Magenta (5) is far from every hue; the nearest round the circle is the
    // one just recorded below 6, so it joins red too rather than getting 0.
    EXPECT_EQ(picture.getTag(1.0f, 0.0f, 1.0f), 1);
    EXPECT_FLOAT_EQ(picture.materialRanges()[0].min, 5.0f);
    EXPECT_EQ(picture.materialRanges().size(), 65535u);
    const auto recs = written(picture);
    ASSERT_EQ(recs.size(), 65535u);
    EXPECT_EQ(recs.back().name, L"Mat 65535");
}

// Layers of pixels as three floats each, for the saver's classifier against
// the plain classification.
using Layer = std::vector<float>;

// A render's material layer: regions of a few hundred hues, each shaded
// across its width (darker and lighter copies of one colour), runs of equal
// neighbours, dark and grey background, and a few odd values (NaN, signed
// zeros) that must never be taken for one another.
Layer renderedLayer(unsigned width, unsigned height)
{
    constexpr unsigned kRegion = 13;
    constexpr unsigned kHues = 300;
    Layer layer;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            const unsigned region = (x / kRegion + (y / kRegion) * 31) % kHues;
            const float shade = 0.25f + 0.75f * static_cast<float>((x / 3) % kRegion) / kRegion;
            float rgb[3] = {0.9f, 0.1f + 0.8f * static_cast<float>(region) / kHues, 0.05f};
            if (region % 3 == 1)
                std::swap(rgb[0], rgb[2]);
            if (region % 3 == 2)
                std::swap(rgb[1], rgb[2]);
            for (float& c : rgb)
                c *= shade;
            if (region % 17 == 0)
                rgb[0] = rgb[1] = rgb[2] = 0.5f;  // grey
            if (region % 19 == 0)
                rgb[1] = std::numeric_limits<float>::quiet_NaN();  // no number
            if (region % 23 == 0)
                rgb[2] = (x % 2) ? 0.0f : -0.0f;  // signed zeros
            layer.insert(layer.end(), rgb, rgb + 3);
        }
    return layer;
}

// Every pixel its own colour, from a fixed sequence: more hues than tags,
// many within the limit of one another, and hues that meet again after the
// remembered ones have been replaced.
Layer noiseLayer(std::size_t pixels)
{
    std::uint32_t state = 12345u;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / static_cast<float>(1u << 24);
    };
    Layer layer;
    for (std::size_t i = 0; i < pixels; ++i) {
        const float rgb[3] = {next(), next(), next()};
        layer.insert(layer.end(), rgb, rgb + 3);
        if (i % 7 == 0)
            layer.insert(layer.end(), rgb, rgb + 3);  // an equal neighbour now and then
    }
    return layer;
}

// Hues an ordered table finds hard, made exactly: chains spaced just under
// and just over the limit (hue 4 + r, whose pages of the hue set span more
// materials than a page keeps to itself), hues either side of red, 6 itself
// once rounded, the smallest floats and a negative zero. `shift` (0 to 1)
// moves every chain hue that part of a step, between those of shift 0.
Layer edgeLayer(float shift)
{
    const float limit = MaterialHelper::kHueLimit;
    constexpr int kSteps = 40;
    Layer layer;
    const auto add = [&layer](float r, float g, float b) { layer.insert(layer.end(), {r, g, b}); };
    for (float spacing : {0.9f, 1.1f, 1.9f, 2.1f})
        for (int k = 0; k < kSteps; ++k) {
            const float step = (static_cast<float>(k) + shift) * spacing * limit;
            add(spacing * 0.2f + step, 0.0f, 1.0f);  // hue 4 + r
            add(1.0f, step, 0.0f);                   // hue g, just above red
            add(1.0f, 0.0f, step);                   // hue 6 - b, just below red
        }
    for (float g : {std::ldexp(1.0f, -60), std::ldexp(1.0f, -126), std::ldexp(1.0f, -140),
                    std::numeric_limits<float>::denorm_min(), -0.0f, 0.0f, limit,
                    std::nextafter(limit, 0.0f)})
        add(1.0f, g, 0.0f);
    add(1.0f, 0.0f, 1e-9f);
    return layer;
}

// The pixels of `layer` in an order of their own, fixed by `seed`.
Layer shuffled(const Layer& layer, unsigned seed)
{
    std::vector<std::size_t> order(layer.size() / 3);
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    Layer out;
    for (std::size_t i : order)
        out.insert(out.end(), layer.begin() + 3 * i, layer.begin() + 3 * i + 3);
    return out;
}

// Classifies pixels [from, to) of `layer` with both and expects the same tags.
void expectSameTags(MaterialHelper& remembered, PlainClassifier& plain, const Layer& layer,
                    std::size_t from, std::size_t to, bool backwards = false)
{
    for (std::size_t n = from; n < to; ++n) {
        const std::size_t i = 3 * (backwards ? to - 1 - (n - from) : n);
        ASSERT_EQ(remembered.getTag(layer[i], layer[i + 1], layer[i + 2]),
                  plain.getTag(layer[i], layer[i + 1], layer[i + 2]))
            << "pixel " << i / 3;
    }
}

void expectSameTable(const MaterialHelper& remembered, const PlainClassifier& plain)
{
    const auto& a = remembered.materialRanges();
    const auto& b = plain.materialRanges();
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t t = 0; t < a.size(); ++t) {
        EXPECT_EQ(a[t].min, b[t].min) << "material " << t + 1;
        EXPECT_EQ(a[t].max, b[t].max) << "material " << t + 1;
    }
}

// Classifies `layer` with the saver's classifier and the plain one. Half way
// the classifier is copied, and assigned over one that has classified hues
// of its own; the original, the copy and the assigned one then each go on
// their own way (the copy takes the rest backwards, so that it records other
// hues first), each against the plain classifier copied at the same point.
// A copy that shared its pages or remembered tags with the original would
// answer for hues only the other had seen. `materials`, when given,
// receives the number of materials the original made.
void expectSameClassification(const Layer& layer, std::size_t* materials = nullptr)
{
    const std::size_t pixels = layer.size() / 3, half = pixels / 2;
    MaterialHelper remembered;
    PlainClassifier plain;
    expectSameTags(remembered, plain, layer, 0, half);

    MaterialHelper copy(remembered);
    PlainClassifier plainCopy(plain);
    MaterialHelper assigned;
    assigned.getTag(0.2f, 0.9f, 0.4f);
    assigned = remembered;
    PlainClassifier plainAssigned(plain);

    expectSameTags(remembered, plain, layer, half, pixels);
    expectSameTags(copy, plainCopy, layer, half, pixels, true);
    expectSameTags(assigned, plainAssigned, layer, half, pixels);
    expectSameTable(remembered, plain);
    expectSameTable(copy, plainCopy);
    expectSameTable(assigned, plainAssigned);
    if (materials)
        *materials = remembered.materialRanges().size();
}

TEST(MaterialTags, RememberedTagsAndTableEqualThePlainClassification)
{
    {
        SCOPED_TRACE("rendered layer");
        expectSameClassification(renderedLayer(400, 300));
    }
    // The noise must reach the tag limit, or the joins after it go untested.
    const Layer noise = noiseLayer(150000);
    {
        SCOPED_TRACE("noise");
        std::size_t materials = 0;
        expectSameClassification(noise, &materials);
        EXPECT_EQ(materials, MaterialHelper::kMaxMaterials);
    }
    {
        // The edge hues while tags are left, then new ones between them and
        // the first ones again once the noise has used every tag up.
        SCOPED_TRACE("edge hues");
        Layer layer = shuffled(edgeLayer(0.0f), 1);
        layer.insert(layer.end(), noise.begin(), noise.end());
        Layer after = edgeLayer(0.5f);
        const Layer again = edgeLayer(0.0f);
        after.insert(after.end(), again.begin(), again.end());
        after = shuffled(after, 2);
        layer.insert(layer.end(), after.begin(), after.end());
        expectSameClassification(layer);
    }
}

TEST(MaterialHueSet, AnswersAsAnOrderedMapDoes)
{
    // Hues the set's pages and chunks divide differently: a dense run just
    // above 4, hues spread over the whole range, powers of two down to the
    // smallest float, and the last floats below 6. Tags come from a few
    // values, so that runs of equal tags start, split and merge, more often
    // than classification makes them.
    constexpr int kHues = 30000;
    constexpr unsigned kDenseKeys = 4096;
    constexpr int kTagValues = 3;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> anywhere(0.0f, 6.0f);
    std::uniform_int_distribution<int> tags(1, kTagValues);
    std::map<float, unsigned short> reference;
    HueSet set;

    const auto expectAround = [&](float h) {
        const HueSet::Around found = set.around(h);
        const auto above = reference.lower_bound(h);
        if (above == reference.end()) {
            EXPECT_EQ(found.atOrAbove.tag, 0) << h;
        } else {
            EXPECT_EQ(found.atOrAbove.hue, above->first) << h;
            EXPECT_EQ(found.atOrAbove.tag, above->second) << h;
        }
        if (above == reference.begin()) {
            EXPECT_EQ(found.below.tag, 0) << h;
        } else {
            EXPECT_EQ(found.below.hue, std::prev(above)->first) << h;
            EXPECT_EQ(found.below.tag, std::prev(above)->second) << h;
        }
    };

    for (int i = 0; i < kHues; ++i) {
        float h = 0.0f;
        switch (i % 4) {
        case 0: h = 4.0f + std::ldexp(static_cast<float>(random() % kDenseKeys), -21); break;
        case 1: h = anywhere(random); break;
        case 2: h = std::ldexp(1.0f, -static_cast<int>(random() % 150)); break;
        default: h = 6.0f - std::ldexp(static_cast<float>(random() % kDenseKeys), -21); break;
        }
        if (i % 3 != 0)
            expectAround(h);  // insert() both right after a question and without one
        if (reference.count(h) != 0)
            continue;
        const auto tag = static_cast<unsigned short>(tags(random));
        reference.emplace(h, tag);
        set.insert(h, tag);
    }
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(set.first().hue, reference.begin()->first);
    EXPECT_EQ(set.first().tag, reference.begin()->second);
    EXPECT_EQ(set.last().hue, reference.rbegin()->first);
    EXPECT_EQ(set.last().tag, reference.rbegin()->second);
    for (const auto& recorded : reference) {
        expectAround(recorded.first);
        expectAround(std::nextafter(recorded.first, 0.0f));
        expectAround(std::nextafter(recorded.first, 7.0f));
    }
    expectAround(-0.0f);
    expectAround(7.0f);
}

}  // namespace
