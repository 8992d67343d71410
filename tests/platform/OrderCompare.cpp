#include "platform/OrderCompare.h"

#include "avkorvo/OrvoReader.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

namespace platformtest {

namespace {

using Talvenrock::Orvo::Camera;
using Talvenrock::Orvo::Channel;
using Talvenrock::Orvo::OrvoReader;
using Talvenrock::Orvo::OrvoSummary;

std::string shown(const std::string& s) { return "\"" + s + "\""; }
std::string shown(std::uint64_t v) { return std::to_string(v); }
std::string shown(bool v) { return v ? "yes" : "no"; }

// A double with all its digits and its bits, so that values which print
// alike still show how they differ.
std::string shown(double v)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    char text[64];
    std::snprintf(text, sizeof text, "%.17g (0x%016" PRIx64 ")", v, bits);
    return text;
}

class Differences {
public:
    explicit Differences(std::vector<std::string>& out) : out_(out) {}

    template <typename T>
    void same(const std::string& field, const T& expected, const T& actual)
    {
        if (!(expected == actual))
            add(field, shown(expected), shown(actual));
    }
    void same(const std::string& field, std::uint32_t expected, std::uint32_t actual)
    {
        same(field, std::uint64_t(expected), std::uint64_t(actual));
    }
    void same(const std::string& field, std::uint16_t expected, std::uint16_t actual)
    {
        same(field, std::uint64_t(expected), std::uint64_t(actual));
    }
    // Doubles must agree bit for bit: a byte-order slip in one byte of a
    // mantissa can leave a value that compares close.
    void same(const std::string& field, double expected, double actual)
    {
        if (std::memcmp(&expected, &actual, sizeof expected) != 0)
            add(field, shown(expected), shown(actual));
    }
    void same(const std::string& field, const double* expected, const double* actual)
    {
        static const char* const axis[] = {"x", "y", "z"};
        for (int i = 0; i < 3; ++i)
            same(field + "." + axis[i], expected[i], actual[i]);
    }
    void add(const std::string& field, const std::string& expected, const std::string& actual)
    {
        out_.push_back(field + ": " + actual + ", expected " + expected);
    }

private:
    std::vector<std::string>& out_;
};

void compareCameras(Differences& d, const Camera& e, const Camera& a)
{
    d.same("camera block code", e.blockCode, a.blockCode);
    if (e.panoramic != a.panoramic)
        return;
    d.same("camera kind", e.kind, a.kind);
    d.same("camera position", e.position, a.position);
    if (e.panoramic) {
        d.same("camera direction1", e.direction1, a.direction1);
        d.same("camera direction2", e.direction2, a.direction2);
        d.same("camera direction3", e.direction3, a.direction3);
        d.same("camera angle", e.angle, a.angle);
    } else {
        d.same("camera xAxis", e.xAxis, a.xAxis);
        d.same("camera yAxis", e.yAxis, a.yAxis);
        d.same("camera zAxis", e.zAxis, a.zAxis);
        d.same("camera spareAxis", e.spareAxis, a.spareAxis);
        d.same("camera topLeft", e.topLeft, a.topLeft);
        d.same("camera bottomRight", e.bottomRight, a.bottomRight);
    }
    d.same("camera nearDistance", e.nearDistance, a.nearDistance);
    d.same("camera farDistance", e.farDistance, a.farDistance);
    d.same("camera scale", e.scale, a.scale);
    d.same("camera code", e.code, a.code);
}

void compareSummaries(Differences& d, const OrvoSummary& e, const OrvoSummary& a)
{
    d.same("directories", std::uint64_t(e.directories.size()), std::uint64_t(a.directories.size()));
    for (std::size_t i = 0; i < e.directories.size() && i < a.directories.size(); ++i) {
        const Talvenrock::Orvo::DirectoryInfo& de = e.directories[i];
        const Talvenrock::Orvo::DirectoryInfo& da = a.directories[i];
        const std::string at = "directory " + std::to_string(i) + " ";
        d.same(at + "channel", std::string(channelName(de.channel)),
               std::string(channelName(da.channel)));
        d.same(at + "width", de.width, da.width);
        d.same(at + "height", de.height, da.height);
        d.same(at + "samples per pixel", de.samplesPerPixel, da.samplesPerPixel);
        d.same(at + "bits per sample", de.bitsPerSample, da.bitsPerSample);
        d.same(at + "compression", de.compression, da.compression);
        d.same(at + "rows per strip", de.rowsPerStrip, da.rowsPerStrip);
    }
    d.same("Software", e.software, a.software);
    d.same("DocumentName", e.documentName, a.documentName);
    d.same("Artist", e.artist, a.artist);
    d.same("Copyright", e.copyright, a.copyright);
    d.same("has resolution", e.hasResolution, a.hasResolution);
    d.same("XResolution", e.xResolution, a.xResolution);
    d.same("YResolution", e.yResolution, a.yResolution);
    d.same("ResolutionUnit", e.resolutionUnit, a.resolutionUnit);
    d.same("shadow direction set", e.shadowSet, a.shadowSet);
    d.same("property list", e.propertyList, a.propertyList);
    d.same("has camera", e.hasCamera, a.hasCamera);
    if (e.hasCamera && a.hasCamera)
        compareCameras(d, e.camera, a.camera);
    d.same("has material block", e.hasMaterialBlock, a.hasMaterialBlock);
    d.same("material count", e.materialCount, a.materialCount);
    for (std::size_t i = 0; i < e.materials.size() && i < a.materials.size(); ++i) {
        const Talvenrock::Orvo::Material& me = e.materials[i];
        const Talvenrock::Orvo::Material& ma = a.materials[i];
        const std::string at = "material record " + std::to_string(i) + " ";
        d.same(at + "tag", me.tag, ma.tag);
        d.same(at + "red", std::uint64_t(me.red), std::uint64_t(ma.red));
        d.same(at + "green", std::uint64_t(me.green), std::uint64_t(ma.green));
        d.same(at + "blue", std::uint64_t(me.blue), std::uint64_t(ma.blue));
        d.same(at + "name", me.name, ma.name);
    }
}

// Every row of one channel, element by element; only the first differing
// element of a row is reported, so a wholly wrong picture stays readable.
template <typename T>
void compareRows(Differences& d, OrvoReader& e, OrvoReader& a, Channel channel, unsigned perPixel,
                 void (OrvoReader::*readRow)(std::uint32_t, T*))
{
    const OrvoSummary& se = e.summary();
    const OrvoSummary& sa = a.summary();
    if (!se.has(channel) || !sa.has(channel) || se.width != sa.width || se.height != sa.height)
        return;  // already reported with the directories
    std::vector<T> want(std::size_t(se.width) * perPixel), got(want.size());
    for (std::uint32_t y = 0; y < se.height; ++y) {
        (e.*readRow)(y, want.data());
        (a.*readRow)(y, got.data());
        for (std::size_t i = 0; i < want.size(); ++i)
            if (want[i] != got[i]) {
                d.add(std::string(channelName(channel)) + " row " + std::to_string(y) + " pixel "
                          + std::to_string(i / perPixel)
                          + (perPixel > 1 ? " sample " + std::to_string(i % perPixel) : ""),
                      std::to_string(want[i]), std::to_string(got[i]));
                break;
            }
    }
}

void comparePixels(Differences& d, OrvoReader& e, OrvoReader& a)
{
    compareRows<std::uint8_t>(d, e, a, Channel::Colour, 3, &OrvoReader::readColourRow);
    compareRows<std::uint32_t>(d, e, a, Channel::Depth, 1, &OrvoReader::readDepthRow);
    compareRows<std::uint16_t>(d, e, a, Channel::Material, 1, &OrvoReader::readMaterialRow);
}

}  // namespace

std::vector<std::string> compareOrvoFiles(const std::string& expected, const std::string& actual)
{
    std::vector<std::string> out;
    Differences d(out);
    std::unique_ptr<OrvoReader> e, a;
    try {
        e = OrvoReader::open(expected);
    } catch (const Talvenrock::Orvo::ReadError& error) {
        d.add("the reader", "the file read",
              std::string("refuses the expected file: ") + error.what());
    }
    try {
        a = OrvoReader::open(actual);
    } catch (const Talvenrock::Orvo::ReadError& error) {
        d.add("the reader", "the file read", std::string("refuses it: ") + error.what());
    }
    if (!e || !a)
        return out;
    compareSummaries(d, e->summary(), a->summary());
    try {
        comparePixels(d, *e, *a);
    } catch (const Talvenrock::Orvo::ReadError& error) {
        d.add("pixels", "every row read", std::string("a row cannot be read: ") + error.what());
    }
    return out;
}

std::string byteOrderMark(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char mark[2] = {0, 0};
    in.read(mark, sizeof mark);
    return std::string(mark, static_cast<std::size_t>(in.gcount()));
}

}  // namespace platformtest
