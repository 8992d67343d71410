#include "orvo/inspect/InfoReport.h"

#include "orvo/camera/CameraAxes.h"
#include "orvo/inspect/NumberText.h"

#include "avkorvo/OrvoFormat.h"
#include "avkorvo/ReportFields.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace fennick {
namespace tool {

using Talvenrock::Orvo::Channel;
using Talvenrock::Orvo::OrvoSummary;

namespace {

constexpr std::size_t kTagCount = 65536;
constexpr int kJsonIndent = 2;

// Values as stored, -0 included.
std::string num(double v) { return shortestText(v); }

// A name in double quotes, with quotes, backslashes and control characters
// escaped as C does.
std::string quoted(const std::string& text)
{
    std::string q = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            q += '\\';
            q += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            q += buf;
        } else {
            q += static_cast<char>(c);
        }
    }
    return q + "\"";
}

std::string hexBytes(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 0xF];
    }
    return hex;
}

std::string pixelCount(std::uint64_t n)
{
    return std::to_string(n) + (n == 1 ? " pixel" : " pixels");
}

std::string vec(const double* v) { return num(v[0]) + " " + num(v[1]) + " " + num(v[2]); }

std::string compressionName(std::uint16_t c)
{
    switch (c) {
    case 1: return "none";
    case 5: return "LZW";
    default: return "code " + std::to_string(c);
    }
}

// Why a planar camera's xAxis, yAxis and zAxis are not unit vectors at
// right angles; empty when they are. A file saved from such a camera is
// well-formed, but no ray through it goes where readers take it to go.
std::string planarAxesFault(const Talvenrock::Orvo::Camera& c)
{
    const double* const axes[3] = {c.xAxis, c.yAxis, c.zAxis};
    const char* const names[3] = {"xAxis", "yAxis", "zAxis"};
    return axesFault(axes, names);
}

// Tags that pixels carry but the material table does not list (0 excluded).
std::vector<std::uint16_t> unlistedTags(const OrvoSummary& s, const PixelStats& st)
{
    std::vector<bool> listed(kTagCount, false);
    for (const auto& m : s.materials)
        listed[m.tag] = true;
    std::vector<std::uint16_t> tags;
    for (std::size_t t = 1; t < st.tagPixels.size(); ++t)
        if (st.tagPixels[t] != 0 && !listed[t])
            tags.push_back(static_cast<std::uint16_t>(t));
    return tags;
}

double share(std::uint64_t part, std::uint64_t whole)
{
    return whole == 0 ? 0.0 : double(part) / double(whole);
}

}  // namespace

PixelStats collectStats(Talvenrock::Orvo::OrvoReader& reader)
{
    const OrvoSummary& s = reader.summary();
    PixelStats st;
    st.pixels = std::uint64_t(s.width) * s.height;
    if (s.has(Channel::Depth)) {
        st.hasDepth = true;
        std::vector<std::uint32_t> row(s.width);
        bool any = false;
        for (std::uint32_t y = 0; y < s.height; ++y) {
            reader.readDepthRow(y, row.data());
            for (std::uint32_t code : row) {
                if (code == Talvenrock::Orvo::kNoDepth) {
                    ++st.noDepth;
                    continue;
                }
                if (!any || code < st.smallestCode)
                    st.smallestCode = code;
                if (!any || code > st.largestCode)
                    st.largestCode = code;
                any = true;
            }
        }
    }
    if (s.has(Channel::Material)) {
        st.hasMaterials = true;
        st.tagPixels.assign(kTagCount, 0);
        std::vector<std::uint16_t> row(s.width);
        for (std::uint32_t y = 0; y < s.height; ++y) {
            reader.readMaterialRow(y, row.data());
            for (std::uint16_t tag : row)
                ++st.tagPixels[tag];
        }
    }
    return st;
}

std::string infoText(const OrvoSummary& s, const PixelStats& st)
{
    std::string o;
    o += "File: " + s.path + " (" + std::to_string(s.fileSize) + " bytes, "
         + (s.littleEndian ? "little-endian" : "big-endian") + ")\n";
    o += "Picture: " + std::to_string(s.width) + " x " + std::to_string(s.height) + "\n";
    for (const auto& d : s.directories) {
        o += "Directory " + std::to_string(d.index) + ": "
             + Talvenrock::Orvo::channelName(d.channel) + ", " + std::to_string(d.width) + " x "
             + std::to_string(d.height) + ", " + std::to_string(d.samplesPerPixel)
             + (d.samplesPerPixel == 1 ? " sample" : " samples") + " x "
             + std::to_string(d.bitsPerSample) + " bits, compression "
             + compressionName(d.compression) + ", block at offset " + std::to_string(d.blockOffset)
             + "\n";
    }
    if (!s.software.empty())
        o += "Software: " + s.software + "\n";
    if (!s.dateTime.empty())
        o += "DateTime: " + s.dateTime + "\n";
    if (!s.documentName.empty())
        o += "DocumentName: " + s.documentName + "\n";
    if (!s.artist.empty())
        o += "Artist: " + s.artist + "\n";
    if (!s.copyright.empty())
        o += "Copyright: " + s.copyright + "\n";
    if (s.hasResolution)
        o += "Resolution: " + num(s.xResolution) + " x " + num(s.yResolution) + " per "
             + Talvenrock::Orvo::resolutionUnitName(s.resolutionUnit) + "\n";

    if (s.hasCamera) {
        const auto& c = s.camera;
        o += std::string("Camera (") + (c.panoramic ? "panoramic" : "planar") + ", block code "
             + std::to_string(c.blockCode) + "):\n";
        o += "  kind: " + std::to_string(c.kind);
        if (!c.panoramic)
            o += c.kind == Talvenrock::Orvo::kPerspectiveCameraKind ? " (perspective)"
                                                                    : " (other planar)";
        o += "\n  position: " + vec(c.position) + "\n";
        if (c.panoramic) {
            o += "  direction1: " + vec(c.direction1) + "\n";
            o += "  direction2: " + vec(c.direction2) + "\n";
            o += "  direction3: " + vec(c.direction3) + "\n";
            o += "  angle: " + num(c.angle) + "\n";
        } else {
            o += "  xAxis: " + vec(c.xAxis) + "\n";
            o += "  yAxis: " + vec(c.yAxis) + "\n";
            o += "  zAxis: " + vec(c.zAxis) + "\n";
            const std::string fault = planarAxesFault(c);
            if (!fault.empty())
                o += "  axes: not orthonormal: " + fault + "\n";
            o += "  spareAxis: " + vec(c.spareAxis) + "\n";
            o += "  topLeft: " + vec(c.topLeft) + "\n";
            o += "  bottomRight: " + vec(c.bottomRight) + "\n";
        }
        o += "  nearDistance: " + num(c.nearDistance) + "\n";
        o += "  farDistance: " + num(c.farDistance) + "\n";
        o += "  scale: " + num(c.scale) + "\n";
        o += "  code: " + std::to_string(c.code) + "\n";
    }

    if (st.hasDepth) {
        char pct[32];
        std::snprintf(pct, sizeof pct, "%.2f%%", 100.0 * share(st.noDepth, st.pixels));
        o += "Depth: " + pixelCount(st.pixels) + ", " + std::to_string(st.noDepth)
             + " without depth (" + pct + ")\n";
        if (st.noDepth < st.pixels) {
            o += "  smallest code: " + std::to_string(st.smallestCode) + "\n";
            o += "  largest code: " + std::to_string(st.largestCode) + "\n";
            if (s.hasCamera)
                o += "  distance range: "
                     + num(Talvenrock::Orvo::depthDistance(st.smallestCode, s.camera.farDistance))
                     + " .. "
                     + num(Talvenrock::Orvo::depthDistance(st.largestCode, s.camera.farDistance))
                     + "\n";
        }
    }

    if (s.hasMaterialBlock) {
        o += "Materials: " + std::to_string(s.materialCount) + "\n";
        for (const auto& m : Talvenrock::Orvo::materialsByTag(s)) {
            o += "  tag " + std::to_string(m.tag) + " " + quoted(m.name) + ": colour "
                 + std::to_string(m.red) + " " + std::to_string(m.green) + " "
                 + std::to_string(m.blue);
            if (st.hasMaterials)
                o += ", " + pixelCount(st.tagPixels[m.tag]);
            o += "\n";
        }
        if (st.hasMaterials) {
            o += "  no material (tag 0): " + pixelCount(st.tagPixels[0]) + "\n";
            for (std::uint16_t t : unlistedTags(s, st))
                o += "  tag " + std::to_string(t)
                     + " (not in the table): " + pixelCount(st.tagPixels[t]) + "\n";
        }
    }

    if (s.shadowSet)
        o += "Property list (" + std::to_string(s.propertyList.size()) + " bytes):\n"
             + s.propertyList + "\n";
    else
        o += "Property list: none\n";
    return o;
}

namespace {

using Json = nlohmann::ordered_json;

// A text and its raw bytes' key, as the schema gives every text.
void text(Json& j, const std::string& key, const std::string* value)
{
    if (value == nullptr) {
        j[key] = nullptr;
        j[key + "Hex"] = nullptr;
        return;
    }
    bool valid = true;
    j[key] = validUtf8(*value, valid);
    j[key + "Hex"] = valid ? Json(nullptr) : Json(hexBytes(*value));
}

Json vector3(const double* v) { return Json::array({v[0], v[1], v[2]}); }

Json number(double v) { return std::isfinite(v) ? Json(v) : Json(nullptr); }

// The camera's fields as JSON values; numbers that are not finite as null,
// which JSON has no other way to write.
class JsonCameraFields : public Talvenrock::Orvo::CameraFieldSink {
public:
    explicit JsonCameraFields(Json& out) : out_(out) {}
    void text(const char* key, const char* value) override { out_[key] = value; }
    void count(const char* key, std::uint32_t value) override { out_[key] = value; }
    void number(const char* key, double value) override
    {
        out_[key] = ::fennick::tool::number(value);
    }
    void vector(const char* key, const double* value) override { out_[key] = vector3(value); }
    void flag(const char* key, bool value) override { out_[key] = value; }
    void absent(const char* key) override { out_[key] = nullptr; }

private:
    Json& out_;
};

// Every key of the schema, null; a report fills in what the file has.
Json skeleton(const std::string& path)
{
    Json j;
    j["schemaVersion"] = kInfoSchemaVersion;
    j["valid"] = false;
    j["error"] = nullptr;
    text(j, "file", &path);
    for (const char* key : {"fileSize", "byteOrder", "width", "height", "directories"})
        j[key] = nullptr;
    for (const Talvenrock::Orvo::NamedText& t : Talvenrock::Orvo::colourTexts(OrvoSummary()))
        text(j, t.key, nullptr);
    for (const char* key :
         {"resolution", "camera", "depth", "materials", "noMaterialPixels", "unlistedTags"})
        j[key] = nullptr;
    text(j, "propertyList", nullptr);
    return j;
}

std::string dump(const Json& j)
{
    // Texts are valid UTF-8 already; replacing stays as a safeguard.
    return j.dump(kJsonIndent, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string infoJson(const OrvoSummary& s, const PixelStats& st)
{
    Json j = skeleton(s.path);
    j["valid"] = true;
    j["fileSize"] = s.fileSize;
    j["byteOrder"] = s.littleEndian ? "little-endian" : "big-endian";
    j["width"] = s.width;
    j["height"] = s.height;
    Json dirs = Json::array();
    for (const auto& d : s.directories) {
        Json e;
        e["index"] = d.index;
        e["channel"] = Talvenrock::Orvo::channelName(d.channel);
        e["width"] = d.width;
        e["height"] = d.height;
        e["samplesPerPixel"] = d.samplesPerPixel;
        e["bitsPerSample"] = d.bitsPerSample;
        e["compression"] = d.compression;
        e["rowsPerStrip"] = d.rowsPerStrip;
        e["blockOffset"] = d.blockOffset;
        dirs.push_back(e);
    }
    j["directories"] = dirs;
    for (const Talvenrock::Orvo::NamedText& t : Talvenrock::Orvo::colourTexts(s))
        text(j, t.key, t.value);
    if (s.hasResolution)
        j["resolution"] = Json{{"x", s.xResolution},
                               {"y", s.yResolution},
                               {"unit", Talvenrock::Orvo::resolutionUnitName(s.resolutionUnit)}};

    if (s.hasCamera) {
        Json cam = Json::object();
        JsonCameraFields fields(cam);
        Talvenrock::Orvo::reportCameraFields(s.camera, fields);
        j["camera"] = cam;
    }

    if (st.hasDepth) {
        const bool any = st.noDepth < st.pixels;
        const bool distances = any && s.hasCamera;
        Json d;
        d["pixels"] = st.pixels;
        d["noDepth"] = st.noDepth;
        d["noDepthShare"] = share(st.noDepth, st.pixels);
        d["smallestCode"] = any ? Json(st.smallestCode) : Json(nullptr);
        d["largestCode"] = any ? Json(st.largestCode) : Json(nullptr);
        d["nearestDistance"]
            = distances
                  ? number(Talvenrock::Orvo::depthDistance(st.smallestCode, s.camera.farDistance))
                  : Json(nullptr);
        d["farthestDistance"]
            = distances
                  ? number(Talvenrock::Orvo::depthDistance(st.largestCode, s.camera.farDistance))
                  : Json(nullptr);
        j["depth"] = d;
    }

    if (s.hasMaterialBlock) {
        Json list = Json::array();
        for (const auto& m : Talvenrock::Orvo::materialsByTag(s)) {
            Json e;
            e["tag"] = m.tag;
            text(e, "name", &m.name);
            e["colour"] = Json::array({m.red, m.green, m.blue});
            e["pixels"] = st.hasMaterials ? Json(st.tagPixels[m.tag]) : Json(nullptr);
            e["recordOffset"] = m.offset;
            list.push_back(e);
        }
        j["materials"] = list;
    }
    if (st.hasMaterials) {
        j["noMaterialPixels"] = st.tagPixels[0];
        Json unlisted = Json::array();
        for (std::uint16_t t : unlistedTags(s, st))
            unlisted.push_back(Json{{"tag", t}, {"pixels", st.tagPixels[t]}});
        j["unlistedTags"] = unlisted;
    }
    if (s.shadowSet)
        text(j, "propertyList", &s.propertyList);
    return dump(j);
}

std::string infoJsonFailure(const std::string& path, const std::string& error)
{
    Json j = skeleton(path);
    bool valid = true;
    j["error"] = validUtf8(error, valid);
    return dump(j);
}

std::string validUtf8(const std::string& text, bool& valid)
{
    static const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
    valid = true;
    std::string out;
    const std::size_t n = text.size();
    std::size_t i = 0;
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    auto continuation = [&](std::size_t k) { return k < n && (byte(k) & 0xC0) == 0x80; };
    while (i < n) {
        const unsigned char b = byte(i);
        std::size_t length = 0;
        if (b < 0x80) {
            length = 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = continuation(i + 1) ? 2 : 0;
        } else if (b >= 0xE0 && b <= 0xEF) {
            // No overlong forms (E0 needs A0..BF) and no surrogates (ED needs
            // 80..9F).
            const bool second = i + 1 < n
                                && (b == 0xE0   ? byte(i + 1) >= 0xA0 && byte(i + 1) <= 0xBF
                                    : b == 0xED ? byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9F
                                                : continuation(i + 1));
            length = second && continuation(i + 2) ? 3 : 0;
        } else if (b >= 0xF0 && b <= 0xF4) {
            // No overlong forms (F0 needs 90..BF) and nothing past U+10FFFF
            // (F4 needs 80..8F).
            const bool second = i + 1 < n
                                && (b == 0xF0   ? byte(i + 1) >= 0x90 && byte(i + 1) <= 0xBF
                                    : b == 0xF4 ? byte(i + 1) >= 0x80 && byte(i + 1) <= 0x8F
                                                : continuation(i + 1));
            length = second && continuation(i + 2) && continuation(i + 3) ? 4 : 0;
        }
        if (length == 0) {
            valid = false;
            out += kReplacement;
            ++i;
            continue;
        }
        out.append(text, i, length);
        i += length;
    }
    return out;
}

}  // namespace tool
}  // namespace fennick
