// `orvo export`: the demo's Orvo file as one OpenEXR file, checked with
// OpenEXR's own API against numbers the test works out independently (the
// demo camera's known place and aim, the sRGB standard, the ray through each
// pixel from the file's frame corners, MurmurHash3 values of another
// implementation and of Cryptomatte's published examples), and saved back
// with `orvo save` into the same file (its IDs painted in the material
// table's colours where those keep the tags apart); what else an Orvo file
// may hold; a panoramic file is refused.
#include "tools/ToolProcess.h"
#include "tools/ToolTestSupport.h"

#include "orvo/render/Cryptomatte.h"
#include "orvo/render/MaterialIds.h"
#include "orvo/render/SrgbTransfer.h"
#include "avkorvo/OrvoReader.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <map>
#include <sstream>

using namespace tooltest;
using Talvenrock::Orvo::OrvoReader;

namespace {

constexpr unsigned kW = 160;
constexpr unsigned kH = 120;
// The demo's camera (README), in the host's world (Y up).
constexpr double kDemoPosition[3] = {0.8, 3, 8};
constexpr double kDemoAim[3] = {0, 0.6, 0};

// The sRGB standard's decoding, written out here.
double srgbToLinear(unsigned byte)
{
    const double v = byte / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

Imath::V3f transformed(const Imath::M44f& m, const double* p)
{
    Imath::V3f out;
    m.multVecMatrix(Imath::V3f(float(p[0]), float(p[1]), float(p[2])), out);
    return out;
}

// Every channel of an export, read whole.
struct ExrPicture {
    Imf::Header header;
    std::map<std::string, std::vector<float>> channels;
    float at(const std::string& c, unsigned x, unsigned y) const
    {
        return channels.at(c)[std::size_t(y) * kW + x];
    }
};

ExrPicture readExr(const std::string& path)
{
    Imf::InputFile in(path.c_str());
    ExrPicture p;
    p.header = in.header();
    Imf::FrameBuffer frame;
    for (auto c = p.header.channels().begin(); c != p.header.channels().end(); ++c) {
        EXPECT_EQ(c.channel().type, Imf::FLOAT) << c.name();
        std::vector<float>& v = p.channels[c.name()];
        v.assign(std::size_t(kW) * kH, -1.0f);
        frame.insert(c.name(), Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(v.data()),
                                          sizeof(float), sizeof(float) * kW));
    }
    in.setFrameBuffer(frame);
    in.readPixels(0, int(kH) - 1);
    return p;
}

std::string text(const Imf::Header& h, const std::string& name)
{
    const auto* a = h.findTypedAttribute<Imf::StringAttribute>(name);
    return a == nullptr ? std::string("(none)") : a->value();
}

std::uint32_t bitsOf(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

class Export : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new ScratchDir;
        demo = new RunResult(runOrvo("demo out --size 160x120", dir->path()));
        exported = new RunResult(runOrvo("export out/demo.ovq demo.exr", dir->path()));
    }
    static void TearDownTestSuite()
    {
        delete exported;
        delete demo;
        delete dir;
    }
    static ScratchDir* dir;
    static RunResult* demo;
    static RunResult* exported;
};
ScratchDir* Export::dir = nullptr;
RunResult* Export::demo = nullptr;
RunResult* Export::exported = nullptr;

TEST(ExportRules, SrgbDecodingAndCryptomatteHashesAreTheStandardOnes)
{
    for (unsigned b = 0; b < 256; ++b) {
        const float linear = fennick::tool::decodeSrgb8(static_cast<std::uint8_t>(b));
        EXPECT_NEAR(linear, srgbToLinear(b), 1e-7) << b;
        EXPECT_EQ(fennick::tool::encodeSrgb8(linear), b) << b;
    }
    // Cryptomatte's own examples, and values of an independent MurmurHash3
    // (Perl's Digest::MurmurHash3::PurePerl), two of them with an exponent
    // of all 0s or all 1s, which the float conversion flips.
    EXPECT_EQ(fennick::tool::cryptomatteId("bunny"), 0x13851a76u);
    EXPECT_EQ(fennick::tool::cryptomatteId("default"), 0x42c9679fu);
    EXPECT_EQ(fennick::tool::murmurHash3("Mat 18"), 0x80273685u);
    EXPECT_EQ(fennick::tool::cryptomatteId("Mat 18"), 0x80273685u ^ 0x00800000u);
    EXPECT_EQ(fennick::tool::cryptomatteId("Mat 296"), 0xfff39795u ^ 0x00800000u);
    EXPECT_EQ(fennick::tool::cryptomatteAttributeBase("CryptoMaterial"), "cryptomatte/be359d6");
}

// `orvo save --materials` paints whole-number IDs in the colours of the
// render's material table only where that gives each ID a hue of its own,
// and says why not otherwise.
TEST(ExportRules, TheMaterialTableColoursTheIdsOnlyWhenEachGetsAHueOfItsOwn)
{
    using fennick::tool::TableMaterial;
    fennick::tool::MaterialIds ids;
    ids.source = "materialId";
    ids.ids = {0, 2, 1, 2};
    const TableMaterial red{1, "Mat 1", {255, 0, 0}}, teal{2, "Mat 2", {0, 255, 128}};
    ids.table = std::vector<TableMaterial>{red, teal};
    const fennick::tool::MaterialLayer used = fennick::tool::materialLayer("r.exr", ids);
    EXPECT_TRUE(used.tableColours);
    EXPECT_EQ(used.tableUnused, "");
    EXPECT_EQ(used.layer.values,
              (std::vector<float>{0, 0, 0, 0, 1, 128 / 255.0f, 1, 0, 0, 0, 1, 128 / 255.0f}));

    const struct {
        std::vector<TableMaterial> table;
        std::string why;
    } unusable[] = {
        {{red}, "ID 2 is not in it"},
        {{red, {2, "Mat 2", {200, 0, 0}}}, "the colour of ID 2 (200, 0, 0) is not fully saturated"},
        {{red, {2, "Mat 2", {255, 0, 0}}}, "IDs 1 and 2 share the colour (255, 0, 0)"},
    };
    for (const auto& u : unusable) {
        ids.table = u.table;
        const fennick::tool::MaterialLayer hues = fennick::tool::materialLayer("r.exr", ids);
        EXPECT_FALSE(hues.tableColours) << u.why;
        EXPECT_EQ(hues.tableUnused, u.why);
        // Evenly spaced hues from red: ID 1 red, ID 2 half a turn on, cyan.
        EXPECT_EQ(hues.layer.values, (std::vector<float>{0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 1, 1}))
            << u.why;
    }
}

TEST_F(Export, WritesLinearColourDepthTagsCryptomatteAndTheCamera)
{
    ASSERT_EQ(demo->status, 0) << demo->err;
    ASSERT_EQ(exported->status, 0) << exported->err;
    EXPECT_EQ(exported->err, "");
    auto reader = OrvoReader::open(dir->file("out/demo.ovq"));
    const auto& s = reader->summary();
    const auto& cam = s.camera;
    std::ostringstream expected;
    expected.precision(17);
    expected << "wrote demo.exr: 160 x 120 pixels, 32-bit float channels R, G, B, A (linear light, "
                "decoded from sRGB), Z (planar depth), distance (along the ray), materialId (the "
                "material tag), CryptoMaterial00.r .g .b .a (Cryptomatte)\n"
                "camera: worldToCamera, worldToNDC, pixelAspectRatio\n"
                "materials: 5 in the material table (orvo/materials) and the Cryptomatte "
                "manifest\n"
                "to save it again: orvo save demo.exr AGAIN.ovq --depth Z --materials materialId "
                "--depth-max "
             << cam.farDistance / 1.5 << "\n";
    EXPECT_EQ(exported->out, expected.str());

    const ExrPicture exr = readExr(dir->file("demo.exr"));
    std::vector<std::string> names;
    for (const auto& [name, v] : exr.channels)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B", "CryptoMaterial00.a", "CryptoMaterial00.b",
                                               "CryptoMaterial00.g", "CryptoMaterial00.r", "G", "R",
                                               "Z", "distance", "materialId"}));

    // The camera: its position goes to camera space's origin, the point it
    // looks at onto the positive z axis, and so to the middle of the frame.
    ASSERT_TRUE(Imf::hasWorldToCamera(exr.header));
    ASSERT_TRUE(Imf::hasWorldToNDC(exr.header));
    const Imath::M44f toCamera = Imf::worldToCamera(exr.header);
    const Imath::M44f toNdc = Imf::worldToNDC(exr.header);
    const Imath::V3f origin = transformed(toCamera, kDemoPosition);
    const Imath::V3f aim = transformed(toCamera, kDemoAim);
    const double aimDistance = std::sqrt(0.8 * 0.8 + 2.4 * 2.4 + 8.0 * 8.0);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(origin[k], 0, 1e-5) << k;
    EXPECT_NEAR(aim.x, 0, 1e-5);
    EXPECT_NEAR(aim.y, 0, 1e-5);
    EXPECT_NEAR(aim.z, aimDistance, 1e-5);
    const Imath::V3f aimNdc = transformed(toNdc, kDemoAim);
    EXPECT_NEAR(aimNdc.x, 0.5, 1e-6);
    EXPECT_NEAR(aimNdc.y, 0.5, 1e-6);
    // A point above the aim (world Y up) is higher in the picture: smaller y.
    const double above[3] = {0, 1.6, 0};
    EXPECT_LT(transformed(toNdc, above).y, 0.5f);
    EXPECT_FLOAT_EQ(exr.header.pixelAspectRatio(), 1.0f);

    // Pixels against the Orvo file: colour by the sRGB standard; distance
    // by the file's codes; Z times the ray's length per unit of depth
    // through the pixel's centre, from the file's frame corners.
    std::vector<std::uint8_t> rgb(kW * 3);
    std::vector<std::uint32_t> codes(kW);
    std::vector<std::uint16_t> tags(kW);
    std::size_t hits = 0, background = 0;
    for (unsigned y = 0; y < kH; ++y) {
        reader->readColourRow(y, rgb.data());
        reader->readDepthRow(y, codes.data());
        reader->readMaterialRow(y, tags.data());
        for (unsigned x = 0; x < kW; ++x) {
            for (int k = 0; k < 3; ++k)
                ASSERT_NEAR(exr.at(std::string(1, "RGB"[k]), x, y), srgbToLinear(rgb[x * 3 + k]),
                            1e-7);
            ASSERT_EQ(exr.at("A", x, y), 1.0f);
            if (codes[x] == 0xFFFFFFFFu) {
                ASSERT_TRUE(std::isinf(exr.at("Z", x, y)) && exr.at("Z", x, y) > 0);
                ASSERT_TRUE(std::isinf(exr.at("distance", x, y)));
                ++background;
            } else {
                const double distance = codes[x] / 4294967294.0 * cam.farDistance;
                const double f = cam.topLeft[2];
                const double u = ((x + 0.5) / kW - 0.5) * (cam.bottomRight[0] - cam.topLeft[0]) / f;
                const double v = (0.5 - (y + 0.5) / kH) * (cam.topLeft[1] - cam.bottomRight[1]) / f;
                ASSERT_NEAR(exr.at("distance", x, y), distance, 1e-6 * distance);
                ASSERT_NEAR(exr.at("Z", x, y) * std::sqrt(1 + u * u + v * v), distance,
                            1e-6 * distance);
                ++hits;
            }
            ASSERT_EQ(exr.at("materialId", x, y), float(tags[x]));
            const std::uint32_t id = bitsOf(exr.at("CryptoMaterial00.r", x, y));
            ASSERT_EQ(exr.at("CryptoMaterial00.g", x, y), tags[x] == 0 ? 0.0f : 1.0f);
            ASSERT_EQ(exr.at("CryptoMaterial00.b", x, y), 0.0f);
            ASSERT_EQ(exr.at("CryptoMaterial00.a", x, y), 0.0f);
            // The demo's tags are named "Mat 1" .. "Mat 5": their hashes by
            // the independent MurmurHash3.
            static const std::uint32_t kIdOfTag[6]
                = {0, 0xf1b20af4u, 0x8c7239afu, 0x20e97a70u, 0x12c3865bu, 0x460b0e59u};
            ASSERT_LT(tags[x], 6u);
            ASSERT_EQ(id, kIdOfTag[tags[x]]) << x << ", " << y;
        }
    }
    EXPECT_GT(hits, 0u);
    EXPECT_GT(background, 0u);

    // The Cryptomatte layer's attributes, under the key of its name.
    const std::string base = "cryptomatte/be359d6/";
    EXPECT_EQ(text(exr.header, base + "name"), "CryptoMaterial");
    EXPECT_EQ(text(exr.header, base + "hash"), "MurmurHash3_32");
    EXPECT_EQ(text(exr.header, base + "conversion"), "uint32_to_float32");
    EXPECT_EQ(nlohmann::json::parse(text(exr.header, base + "manifest")),
              nlohmann::json::parse(R"({"Mat 1": "f1b20af4", "Mat 2": "8c7239af",
                  "Mat 3": "20e97a70", "Mat 4": "12c3865b", "Mat 5": "460b0e59"})"));
    // The texts and the material table.
    EXPECT_EQ(text(exr.header, "orvo/software"), s.software);
    EXPECT_EQ(text(exr.header, "orvo/dateTime"), s.dateTime);
    EXPECT_EQ(text(exr.header, "orvo/resolution"), "72 x 72 per inch");
    const nlohmann::json table = nlohmann::json::parse(text(exr.header, "orvo/materials"));
    ASSERT_EQ(table.size(), s.materials.size());
    for (const auto& m : s.materials) {
        const nlohmann::json& entry = table.at(m.tag - 1);
        EXPECT_EQ(entry.at("tag"), m.tag);
        EXPECT_EQ(entry.at("name"), m.name);
        EXPECT_EQ(entry.at("colour"), nlohmann::json::array({m.red, m.green, m.blue}));
    }
}

TEST_F(Export, SavingTheExportGivesTheFileBack)
{
    ASSERT_EQ(exported->status, 0) << exported->err;
    auto original = OrvoReader::open(dir->file("out/demo.ovq"));
    const auto& a = original->summary();
    std::ostringstream depthMax;
    depthMax.precision(17);
    depthMax << a.camera.farDistance / 1.5;
    const RunResult saved = runOrvo(
        "save demo.exr again.ovq --depth Z --materials materialId --depth-max " + depthMax.str(),
        dir->path());
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_NE(saved.out.find("in the colours of the render's material table"), std::string::npos)
        << saved.out;

    auto again = OrvoReader::open(dir->file("again.ovq"));
    const auto& b = again->summary();
    ASSERT_EQ(b.width, a.width);
    ASSERT_EQ(b.height, a.height);
    const double far = a.camera.farDistance;
    EXPECT_NEAR(b.camera.farDistance, far, 1e-12 * far);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(b.camera.position[k], a.camera.position[k], 1e-5) << k;
        EXPECT_NEAR(b.camera.xAxis[k], a.camera.xAxis[k], 1e-5) << k;
        EXPECT_NEAR(b.camera.yAxis[k], a.camera.yAxis[k], 1e-5) << k;
        EXPECT_NEAR(b.camera.zAxis[k], a.camera.zAxis[k], 1e-5) << k;
        EXPECT_NEAR(b.camera.topLeft[k] / b.camera.topLeft[2],
                    a.camera.topLeft[k] / a.camera.topLeft[2], 1e-6)
            << k;
    }
    // The same table: tags, names and colours.
    ASSERT_EQ(b.materials.size(), a.materials.size());
    for (std::size_t i = 0; i < a.materials.size(); ++i) {
        EXPECT_EQ(b.materials[i].tag, a.materials[i].tag);
        EXPECT_EQ(b.materials[i].name, a.materials[i].name);
        EXPECT_EQ(b.materials[i].red, a.materials[i].red) << a.materials[i].name;
        EXPECT_EQ(b.materials[i].green, a.materials[i].green) << a.materials[i].name;
        EXPECT_EQ(b.materials[i].blue, a.materials[i].blue) << a.materials[i].name;
    }
    const std::size_t w = a.width;
    std::vector<std::uint8_t> ca(w * 3), cb(w * 3);
    std::vector<std::uint32_t> da(w), db(w);
    std::vector<std::uint16_t> ta(w), tb(w);
    for (std::uint32_t y = 0; y < a.height; ++y) {
        original->readColourRow(y, ca.data());
        again->readColourRow(y, cb.data());
        original->readDepthRow(y, da.data());
        again->readDepthRow(y, db.data());
        original->readMaterialRow(y, ta.data());
        again->readMaterialRow(y, tb.data());
        for (std::size_t i = 0; i < w * 3; ++i)
            ASSERT_LE(std::abs(int(ca[i]) - int(cb[i])), 1) << i % w << ", " << y;
        for (std::size_t x = 0; x < w; ++x) {
            ASSERT_EQ(da[x] == 0xFFFFFFFFu, db[x] == 0xFFFFFFFFu) << x << ", " << y;
            if (da[x] != 0xFFFFFFFFu) {
                ASSERT_NEAR(Talvenrock::Orvo::depthDistance(db[x], b.camera.farDistance),
                            Talvenrock::Orvo::depthDistance(da[x], far), 1e-5 * far)
                    << x << ", " << y;
            }
            ASSERT_EQ(ta[x], tb[x]) << x << ", " << y;
        }
    }
}

// The known file has what the demo has not: an orthographic camera (Z is
// the distance itself, and there is no worldToNDC), a tag missing from the
// table, a name with a non-ASCII letter and quotes, a property list. A file
// of colour alone is exported as colour alone.
TEST_F(Export, CarriesWhatAnOrvoFileMayHoldBeyondTheDemo)
{
    Talvenrock::Orvo::Projection ortho = knownProjection();
    ortho.kind = 1;
    writeKnownOrvo(dir->file("known.ovq"), true, false, ortho);
    const RunResult r = runOrvo("export known.ovq known.exr", dir->path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "orvo: known.ovq: an orthographic camera: no worldToNDC, which here holds "
                     "only perspective projections\n"
                     "orvo: known.ovq: 1 pixel has a tag the material table does not name; the "
                     "Cryptomatte layer holds no material there, materialId holds the tag\n");
    // No way back through `orvo save` without worldToNDC: not offered.
    EXPECT_EQ(r.out.find("to save it again"), std::string::npos) << r.out;

    Imf::InputFile in(dir->file("known.exr").c_str());
    const Imf::Header& h = in.header();
    EXPECT_TRUE(Imf::hasWorldToCamera(h));
    EXPECT_FALSE(Imf::hasWorldToNDC(h));
    const float kUnset = -1;
    std::vector<float> z(kKnownWidth * kKnownHeight, kUnset), d(z), id(z), cov(z), tag(z);
    Imf::FrameBuffer frame;
    const auto slice = [](std::vector<float>& v) {
        return Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(v.data()), sizeof(float),
                          sizeof(float) * kKnownWidth);
    };
    frame.insert("Z", slice(z));
    frame.insert("distance", slice(d));
    frame.insert("materialId", slice(tag));
    frame.insert("CryptoMaterial00.r", slice(id));
    frame.insert("CryptoMaterial00.g", slice(cov));
    in.setFrameBuffer(frame);
    in.readPixels(0, int(kKnownHeight) - 1);
    // MurmurHash3 of the UTF-8 bytes of "Grün \"2\"", by a reference implementation
    // of the algorithm in Python.
    const std::uint32_t kGruen = 0x4256d545u;
    const std::uint32_t kMat1 = 0xf1b20af4u;
    for (unsigned y = 0; y < kKnownHeight; ++y)
        for (unsigned x = 0; x < kKnownWidth; ++x) {
            const std::size_t i = y * kKnownWidth + x;
            const std::uint32_t code = kKnownDepth[y][x];
            if (code == kNone) {
                EXPECT_TRUE(std::isinf(z[i]) && std::isinf(d[i])) << x << ", " << y;
            } else {
                EXPECT_NEAR(d[i], code / 4294967294.0 * 15, 1e-6) << x << ", " << y;
                EXPECT_EQ(z[i], d[i]) << x << ", " << y;
            }
            const unsigned t = kKnownTags[y][x];
            EXPECT_EQ(tag[i], float(t));
            EXPECT_EQ(bitsOf(id[i]), t == 1 ? kMat1 : t == 2 ? kGruen : 0u) << x << ", " << y;
            EXPECT_EQ(cov[i], t == 1 || t == 2 ? 1.0f : 0.0f) << x << ", " << y;
        }
    EXPECT_EQ(nlohmann::json::parse(text(h, "cryptomatte/be359d6/manifest")),
              nlohmann::json::parse(u8R"({"Mat 1": "f1b20af4", "Grün \"2\"": "4256d545"})"));
    auto reader = OrvoReader::open(dir->file("known.ovq"));
    EXPECT_EQ(text(h, "orvo/propertyList"), reader->summary().propertyList);
    EXPECT_NE(reader->summary().propertyList, "");
    EXPECT_EQ(text(h, "orvo/farDistance"), "15");

    // Colour alone: no depth, so no camera either.
    {
        const std::string path = dir->file("flat.ovq");
        const std::wstring wpath(path.begin(), path.end());
        std::unique_ptr<Talvenrock::Orvo::OrvoFile> f(Talvenrock::Orvo::OrvoFile::create(
            wpath, 2, 2, L"test", L"", L"", L"", knownProjection(), false));
        f->beginPass(1);
        for (int y = 0; y < 2; ++y)
            f->putScan();
        f->close();
    }
    const RunResult flat = runOrvo("export flat.ovq flat.exr", dir->path());
    ASSERT_EQ(flat.status, 0) << flat.err;
    EXPECT_EQ(flat.err, "orvo: flat.ovq: no depth picture, and so no camera: no Z, distance, "
                        "worldToCamera or worldToNDC\n");
    EXPECT_EQ(flat.out, "wrote flat.exr: 2 x 2 pixels, 32-bit float channels R, G, B, A (linear "
                        "light, decoded from sRGB)\n");
}

TEST_F(Export, RefusesAPanoramicCameraAndTheInputAsOutput)
{
    using namespace Talvenrock::Orvo;
    const std::string pano = dir->file("pano.ovq");
    {
        const std::wstring wpath(pano.begin(), pano.end());
        std::unique_ptr<OrvoFile> f(
            OrvoFile::create(wpath, 2, 2, L"test", L"", L"", L"", PanoProjection(), false));
        f->beginPass(1);
        for (int y = 0; y < 2; ++y)
            f->putScan();
        f->beginPass(2);
        for (int y = 0; y < 2; ++y)
            f->putScan();
        f->close();
    }
    const auto before = folderEntries(dir->path());
    const RunResult refused = runOrvo("export pano.ovq pano.exr", dir->path());
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "orvo: pano.ovq: the camera is panoramic, which OpenEXR's planar "
                           "camera attributes (worldToCamera, worldToNDC) cannot express\n");
    EXPECT_EQ(folderEntries(dir->path()), before);

    const RunResult same = runOrvo("export out/demo.ovq ./out/demo.ovq", dir->path());
    EXPECT_EQ(same.status, 1);
    EXPECT_EQ(same.err, "orvo: ./out/demo.ovq: the OpenEXR file to write is the Orvo file "
                        "out/demo.ovq; exporting would replace it\n");
}

// An export over a file the user has: through a link, to a file of another
// owner and group with set-id and sticky bits, as a save treats its target.
TEST_F(Export, ReplacesAFileThroughItsLinkAndKeepsItsModeAndOwner)
{
    const std::string real = dir->file("real");
    ASSERT_EQ(::mkdir(real.c_str(), 0755), 0);
    const std::string kept = real + "/kept.exr";
    writeBytes(kept, {'o', 'l', 'd'});
    constexpr uid_t kOwner = 1234;
    constexpr gid_t kGroup = 5678;
    constexpr mode_t kMode = 07750;
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(kept.c_str(), kOwner, kGroup), 0);
    }
    ASSERT_EQ(::chmod(kept.c_str(), kMode), 0);
    struct stat before;
    ASSERT_EQ(::stat(kept.c_str(), &before), 0);
    ASSERT_EQ(::symlink("real/kept.exr", dir->file("link.exr").c_str()), 0);

    const RunResult r = runOrvo("export out/demo.ovq link.exr", dir->path());
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat link, after;
    ASSERT_EQ(::lstat(dir->file("link.exr").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode)) << "the link was replaced by a file";
    ASSERT_EQ(::stat(kept.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    if (root) {
        EXPECT_EQ(after.st_mode & 07777, kMode);
    }
    EXPECT_NO_THROW(Imf::InputFile exr(kept.c_str()));
    for (const std::string& folder : {dir->path(), real})
        for (const std::string& name : folderEntries(folder))
            EXPECT_EQ(name.rfind(".orvo-tmp-", 0), std::string::npos) << folder << "/" << name;
}

}  // namespace
