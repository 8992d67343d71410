#include "tools/orvo/InfoReport.h"

#include "tools/orvo/JsonWriter.h"

#include <algorithm>
#include <cstdio>

namespace orvotool {

using orvoread::Channel;
using orvoread::OrvoSummary;

namespace {

constexpr std::size_t kTagCount = 65536;
constexpr std::uint16_t kTiffUnitInch = 2;
constexpr std::uint16_t kTiffUnitCentimetre = 3;
constexpr std::uint32_t kPerspectiveKind = 0;

std::string num(double v) { return JsonWriter::number(v); }

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

std::string unitName(std::uint16_t unit)
{
    switch (unit) {
    case kTiffUnitInch: return "inch";
    case kTiffUnitCentimetre: return "centimetre";
    default: return "no unit";
    }
}

std::vector<orvoread::Material> byTag(const OrvoSummary& s)
{
    std::vector<orvoread::Material> m = s.materials;
    std::stable_sort(m.begin(), m.end(),
                     [](const orvoread::Material& a, const orvoread::Material& b) {
                         return a.tag < b.tag;
                     });
    return m;
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

PixelStats collectStats(orvoread::OrvoReader& reader)
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
                if (code == orvoread::kNoDepth) {
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
        o += "Directory " + std::to_string(d.index) + ": " + orvoread::channelName(d.channel) + ", "
             + std::to_string(d.width) + " x " + std::to_string(d.height) + ", "
             + std::to_string(d.samplesPerPixel)
             + (d.samplesPerPixel == 1 ? " sample" : " samples") + " x "
             + std::to_string(d.bitsPerSample) + " bits, compression "
             + compressionName(d.compression) + ", block at offset "
             + std::to_string(d.blockOffset) + "\n";
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
             + unitName(s.resolutionUnit) + "\n";

    if (s.hasCamera) {
        const auto& c = s.camera;
        o += std::string("Camera (") + (c.panoramic ? "panoramic" : "planar") + ", block code "
             + std::to_string(c.blockCode) + "):\n";
        o += "  kind: " + std::to_string(c.kind);
        if (!c.panoramic)
            o += c.kind == kPerspectiveKind ? " (perspective)" : " (other planar)";
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
                     + num(orvoread::depthDistance(st.smallestCode, s.camera.farDistance)) + " .. "
                     + num(orvoread::depthDistance(st.largestCode, s.camera.farDistance)) + "\n";
        }
    }

    if (s.hasMaterialBlock) {
        o += "Materials: " + std::to_string(s.materialCount) + "\n";
        for (const auto& m : byTag(s)) {
            o += "  tag " + std::to_string(m.tag) + " " + JsonWriter::quote(m.name) + ": colour "
                 + std::to_string(m.red) + " " + std::to_string(m.green) + " "
                 + std::to_string(m.blue);
            if (st.hasMaterials)
                o += ", " + pixelCount(st.tagPixels[m.tag]);
            o += "\n";
        }
        if (st.hasMaterials) {
            o += "  no material (tag 0): " + pixelCount(st.tagPixels[0]) + "\n";
            for (std::uint16_t t : unlistedTags(s, st))
                o += "  tag " + std::to_string(t) + " (not in the table): "
                     + pixelCount(st.tagPixels[t]) + "\n";
        }
    }

    if (s.shadowSet)
        o += "Property list (" + std::to_string(s.propertyList.size()) + " bytes):\n"
             + s.propertyList + "\n";
    else
        o += "Property list: none\n";
    return o;
}

std::string infoJson(const OrvoSummary& s, const PixelStats& st)
{
    JsonWriter j;
    j.beginObject();
    j.key("file").value(s.path);
    j.key("fileSize").value(s.fileSize);
    j.key("byteOrder").value(s.littleEndian ? "little-endian" : "big-endian");
    j.key("width").value(s.width);
    j.key("height").value(s.height);
    j.key("directories").beginArray();
    for (const auto& d : s.directories) {
        j.beginObject();
        j.key("index").value(d.index);
        j.key("channel").value(orvoread::channelName(d.channel));
        j.key("width").value(d.width);
        j.key("height").value(d.height);
        j.key("samplesPerPixel").value(unsigned(d.samplesPerPixel));
        j.key("bitsPerSample").value(unsigned(d.bitsPerSample));
        j.key("compression").value(unsigned(d.compression));
        j.key("rowsPerStrip").value(d.rowsPerStrip);
        j.key("blockOffset").value(d.blockOffset);
        j.endObject();
    }
    j.endArray();
    auto optionalText = [&](const char* name, const std::string& text) {
        if (text.empty())
            j.key(name).null();
        else
            j.key(name).value(text);
    };
    optionalText("software", s.software);
    optionalText("dateTime", s.dateTime);
    optionalText("documentName", s.documentName);
    optionalText("artist", s.artist);
    optionalText("copyright", s.copyright);
    if (s.hasResolution) {
        j.key("resolution").beginObject();
        j.key("x").value(s.xResolution);
        j.key("y").value(s.yResolution);
        j.key("unit").value(unitName(s.resolutionUnit));
        j.endObject();
    } else {
        j.key("resolution").null();
    }

    if (s.hasCamera) {
        const auto& c = s.camera;
        j.key("camera").beginObject();
        j.key("projection").value(c.panoramic ? "panoramic" : "planar");
        j.key("blockCode").value(c.blockCode);
        j.key("kind").value(c.kind);
        j.key("position").vector3(c.position);
        if (c.panoramic) {
            j.key("direction1").vector3(c.direction1);
            j.key("direction2").vector3(c.direction2);
            j.key("direction3").vector3(c.direction3);
            j.key("angle").value(c.angle);
        } else {
            j.key("xAxis").vector3(c.xAxis);
            j.key("yAxis").vector3(c.yAxis);
            j.key("zAxis").vector3(c.zAxis);
            j.key("spareAxis").vector3(c.spareAxis);
            j.key("topLeft").vector3(c.topLeft);
            j.key("bottomRight").vector3(c.bottomRight);
        }
        j.key("nearDistance").value(c.nearDistance);
        j.key("farDistance").value(c.farDistance);
        j.key("scale").value(c.scale);
        j.key("code").value(c.code);
        j.endObject();
    } else {
        j.key("camera").null();
    }

    if (st.hasDepth) {
        j.key("depth").beginObject();
        j.key("pixels").value(st.pixels);
        j.key("noDepth").value(st.noDepth);
        j.key("noDepthShare").value(share(st.noDepth, st.pixels));
        if (st.noDepth < st.pixels) {
            j.key("smallestCode").value(st.smallestCode);
            j.key("largestCode").value(st.largestCode);
            if (s.hasCamera) {
                j.key("nearestDistance")
                    .value(orvoread::depthDistance(st.smallestCode, s.camera.farDistance));
                j.key("farthestDistance")
                    .value(orvoread::depthDistance(st.largestCode, s.camera.farDistance));
            }
        }
        j.endObject();
    } else {
        j.key("depth").null();
    }

    if (s.hasMaterialBlock) {
        j.key("materials").beginArray();
        for (const auto& m : byTag(s)) {
            j.beginObject();
            j.key("tag").value(unsigned(m.tag));
            j.key("name").value(m.name);
            j.key("colour").triple(m.red, m.green, m.blue);
            if (st.hasMaterials)
                j.key("pixels").value(st.tagPixels[m.tag]);
            j.key("recordOffset").value(m.offset);
            j.endObject();
        }
        j.endArray();
        if (st.hasMaterials) {
            j.key("noMaterialPixels").value(st.tagPixels[0]);
            j.key("unlistedTags").beginArray();
            for (std::uint16_t t : unlistedTags(s, st)) {
                j.beginObject();
                j.key("tag").value(unsigned(t));
                j.key("pixels").value(st.tagPixels[t]);
                j.endObject();
            }
            j.endArray();
        }
    } else {
        j.key("materials").null();
    }

    if (s.shadowSet)
        j.key("propertyList").value(s.propertyList);
    else
        j.key("propertyList").null();
    j.endObject();
    return j.text();
}

}  // namespace orvotool
