#include "orvo/render/ExrRender.h"

#include "orvo/render/Cryptomatte.h"
#include "orvo/render/ExrLibraryText.h"
#include "orvo/support/FileOps.h"
#include "orvo/support/Text.h"
#include "orvo/support/ToolError.h"

#include "contract/LayerNames.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputPart.h>
#include <ImfMultiPartInputFile.h>
#include <ImfMultiView.h>
#include <ImfOutputFile.h>
#include <ImfPartType.h>
#include <ImfRgbaFile.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>
#include <ImfThreading.h>
#include <half.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <exception>
#include <limits>
#include <new>
#include <thread>

namespace fennick {
namespace tool {

namespace {

// The saver's colour image is a TGA, whose sides end at 65535 pixels; a
// header claiming more is damaged or cannot be saved anyway.
constexpr int kMaxSide = 65535;
// A header claiming more sample bytes than this many times the file's size
// is taken for damage: OpenEXR's lossless codecs stay far below this ratio,
// and even lossy ones on flat pictures do not reach it.
constexpr std::uint64_t kMaxCompressionRatio = 4096;
constexpr int kFastZipLevel = 1;
// A bound, so that a many-core machine does not start a thread a core for
// one file.
constexpr unsigned kMaxExrThreads = 8;
// A display window is allocated whole even when little of it holds pixels;
// up to this many bytes of it are allowed whatever the file's size.
constexpr std::uint64_t kDisplayAllowance = std::uint64_t(1) << 30;
// Rows read at a time from a data window reaching outside the display
// window: a few of OpenEXR's line blocks, for its threads.
constexpr int kBandRows = 64;

struct ChannelRef {
    std::string full;     // the EXR channel name
    std::string suffix;   // what follows the layer prefix
    std::string display;  // the name --depth takes
    int xSampling = 1, ySampling = 1;
};

struct Group {
    std::string name;
    std::vector<ChannelRef> channels;
};

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> suffixes(const Group& g)
{
    std::vector<std::string> s;
    for (const ChannelRef& c : g.channels)
        s.push_back(c.suffix);
    return s;
}

// The channels of `g` in the order of `names`, when they are exactly those
// names (ignoring case, alpha or W optional); empty otherwise.
std::vector<ChannelRef> inOrder(const Group& g, const char* const (&names)[4])
{
    std::vector<ChannelRef> ordered;
    const std::size_t n = g.channels.size();
    if (n != 3 && n != 4)
        return ordered;
    for (std::size_t k = 0; k < n; ++k) {
        for (const ChannelRef& c : g.channels)
            if (upper(c.suffix) == names[k])
                ordered.push_back(c);
        if (ordered.size() != k + 1)
            return {};
    }
    return ordered;
}

bool isColourName(const std::string& suffix)
{
    const std::string u = upper(suffix);
    return u == "R" || u == "G" || u == "B" || u == "A";
}

// Whether the part's name stands for it: only in a file of several parts,
// and only when it has one.
bool namedPart(const Imf::Header& header, bool multiPart)
{
    return multiPart && header.hasName() && !header.name().empty();
}

// The layer a part's unprefixed channels form: the part's name, or the
// colour layer's.
std::string partLayerName(const Imf::Header& header, bool multiPart)
{
    return namedPart(header, multiPart) ? header.name() : std::string(kColourLayerName);
}

// How a file's parts and channels are read: whether it has several parts,
// and which view the save takes.
struct Layout {
    bool multiPart = false;
    // Empty in a file without views.
    std::string view;
    // A single-part file's multiView attribute: its views, the default one
    // first. Empty in a multi-part file, whose parts name their views.
    std::vector<std::string> multiView;
};

// Whether a part belongs to the view read: a part that names no view
// belongs to every one.
bool partInView(const Imf::Header& header, const Layout& layout)
{
    return !layout.multiPart || layout.view.empty() || !header.hasView()
           || header.view() == layout.view;
}

// The channels of a single-part file's views other than the one read, by
// view, in the order of the file.
std::vector<LeftOutLayer> otherViews(const Imf::Header& header, const Layout& layout)
{
    std::vector<LeftOutLayer> views;
    if (layout.multiView.empty())
        return views;
    for (auto it = header.channels().begin(); it != header.channels().end(); ++it) {
        const std::string view = Imf::viewFromChannelName(it.name(), layout.multiView);
        if (view == layout.view)
            continue;
        auto found = std::find_if(views.begin(), views.end(),
                                  [&](const LeftOutLayer& l) { return l.name == view; });
        if (found == views.end())
            found = views.insert(views.end(), LeftOutLayer{view, {}, ""});
        found->channels.push_back(it.name());
    }
    for (LeftOutLayer& l : views)
        l.reason = "view " + l.name + "; the save takes view " + layout.view + " (--view)";
    return views;
}

// Groups a part's channels into layers as the header comment says, in the
// order of their first channels in the file. In a single-part file of
// several views only the view read counts, its channels named without the
// view ("left.Z" is its "Z").
std::vector<Group> groupChannels(const Imf::Header& header, const Layout& layout)
{
    const bool multiPart = layout.multiPart;
    const bool named = namedPart(header, multiPart);
    const std::string base = partLayerName(header, multiPart);
    std::vector<Group> groups;
    std::size_t bareAt = 0;  // where the unprefixed channels' layers go
    std::vector<ChannelRef> bare;
    for (auto it = header.channels().begin(); it != header.channels().end(); ++it) {
        std::string full = it.name();
        if (!layout.multiView.empty()) {
            if (Imf::viewFromChannelName(full, layout.multiView) != layout.view)
                continue;
            full = Imf::removeViewName(full, layout.view);
        }
        ChannelRef c{it.name(), full, full, it.channel().xSampling, it.channel().ySampling};
        const std::size_t dot = full.rfind('.');
        if (dot == std::string::npos) {
            if (named)
                c.display = base + "." + full;
            if (bare.empty())
                bareAt = groups.size();
            bare.push_back(c);
            continue;
        }
        c.suffix = full.substr(dot + 1);
        const std::string name = full.substr(0, dot);
        auto found = std::find_if(groups.begin(), groups.end(),
                                  [&](const Group& g) { return g.name == name; });
        if (found == groups.end())
            groups.push_back(Group{name, {c}});
        else
            found->channels.push_back(c);
    }
    if (bare.empty())
        return groups;
    std::size_t colour = 0;
    for (const ChannelRef& c : bare)
        colour += isColourName(c.suffix) ? 1 : 0;
    std::vector<Group> bareGroups;
    if (colour < 3 || colour == bare.size()) {
        bareGroups.push_back(Group{base, bare});
    } else {
        // Colour channels beside others (a bare Z): the colour channels form
        // the colour layer, every other channel a layer of its own.
        Group colourGroup{base, {}};
        for (const ChannelRef& c : bare) {
            if (isColourName(c.suffix))
                colourGroup.channels.push_back(c);
            else
                bareGroups.push_back(Group{c.display, {c}});
        }
        bareGroups.insert(bareGroups.begin(), colourGroup);
    }
    groups.insert(groups.begin() + static_cast<std::ptrdiff_t>(bareAt), bareGroups.begin(),
                  bareGroups.end());
    return groups;
}

// The host's name for a layer: renderers put the view layer or pass before
// every layer ("ViewLayer.Orvo_mat"), so a layer whose last component is
// one the saver takes goes by that component.
std::string hostLayerName(const std::string& layer)
{
    const std::size_t dot = layer.rfind('.');
    if (dot == std::string::npos)
        return layer;
    const std::string last = layer.substr(dot + 1);
    return fennick::contract::hasPrefixIgnoringCase(last, fennick::contract::kSaverLayerPrefix)
               ? last
               : layer;
}

// The largest finite value a channel of `type` holds, as read into a float:
// renderers write it for "nothing hit" where the type has no infinity they
// use (65504, the largest half, for one).
// The largest half, which renderers that keep depth in half floats write
// for the sky also when they save the channel as 32-bit float (Blender's
// Eevee): no real distance lands on it exactly.
const float kLargestHalf = float(std::numeric_limits<half>::max());

float largestFinite(Imf::PixelType type)
{
    switch (type) {
    case Imf::HALF: return float(std::numeric_limits<half>::max());
    case Imf::UINT: return float(std::numeric_limits<unsigned>::max());
    default: return std::numeric_limits<float>::max();
    }
}

bool endsWith(const std::string& s, const std::string& ending)
{
    return s.size() >= ending.size()
           && s.compare(s.size() - ending.size(), ending.size(), ending) == 0;
}

// Whether `name` ends with '.' and `ending`.
bool endsWithComponent(const std::string& name, const std::string& ending)
{
    return name.size() > ending.size() + 1
           && name.compare(name.size() - ending.size(), ending.size(), ending) == 0
           && name[name.size() - ending.size() - 1] == '.';
}

bool isDeep(const Imf::Header& header)
{
    return header.hasType() && Imf::isDeepData(header.type());
}

// The channel `given` names by ChannelRequests' rule, as channelNames lists
// it; an empty string when none is so named.
std::string resolveChannel(const std::string& path, Imf::MultiPartInputFile& file,
                           const Layout& layout, const std::string& given, const char* option)
{
    std::vector<std::string> endingSo;
    for (int part = 0; part < file.parts(); ++part) {
        const Imf::Header& header = file.header(part);
        if (isDeep(header) || !partInView(header, layout))
            continue;
        for (const Group& g : groupChannels(header, layout))
            for (const ChannelRef& c : g.channels) {
                if (c.display == given || c.full == given)
                    return c.display;
                const bool layerNamed = g.channels.size() == 1
                                        && (g.name == given || endsWithComponent(g.name, given));
                if (endsWithComponent(c.display, given) || layerNamed)
                    endingSo.push_back(c.display);
            }
    }
    if (endingSo.size() > 1)
        throw ToolError(path + ": " + std::to_string(endingSo.size()) + " channels are named by "
                        + quote(given) + " (" + joined(endingSo) + "); give " + option
                        + " one of them");
    return endingSo.empty() ? std::string() : endingSo.front();
}

// A Cryptomatte layer: the attributes cryptomatte/<key>/name and
// .../manifest, and the channels <name>00.r (the rank-0 ID) and on.
struct Cryptomatte {
    std::string name;
    // The rank-0 ID channel, as channelNames lists it.
    std::string rankZero;
    std::map<std::uint32_t, std::string> names;
};

// The Cryptomatte layer `given` names (its whole name or the end after a
// '.'); none when no layer is so named. Several so named are refused.
std::optional<Cryptomatte> findCryptomatte(const std::string& path, Imf::MultiPartInputFile& file,
                                           const Layout& layout, const std::string& given)
{
    std::vector<Cryptomatte> found;
    for (int part = 0; part < file.parts(); ++part) {
        const Imf::Header& header = file.header(part);
        if (isDeep(header) || !partInView(header, layout))
            continue;
        for (auto a = header.begin(); a != header.end(); ++a) {
            const std::string key = a.name();
            const auto* name = dynamic_cast<const Imf::StringAttribute*>(&a.attribute());
            if (name == nullptr || key.rfind(kCryptomattePrefix, 0) != 0
                || !endsWith(key, kCryptomatteName)
                || (name->value() != given && !endsWithComponent(name->value(), given)))
                continue;
            Cryptomatte c;
            c.name = name->value();
            for (const Group& g : groupChannels(header, layout))
                for (const ChannelRef& ch : g.channels)
                    if (ch.full == c.name + kCryptomatteFirstRanks + ".r"
                        || ch.full == c.name + kCryptomatteFirstRanks + ".R")
                        c.rankZero = ch.display;
            if (c.rankZero.empty())
                throw ToolError(path + ": the Cryptomatte layer " + quote(c.name)
                                + " has no channel " + c.name + "00.r, its rank-0 IDs");
            const std::string base = key.substr(0, key.size() - std::strlen(kCryptomatteName));
            const auto* manifest
                = header.findTypedAttribute<Imf::StringAttribute>(base + kCryptomatteManifest);
            if (manifest != nullptr)
                c.names = manifestNames(path, c.name, manifest->value());
            found.push_back(std::move(c));
        }
    }
    if (found.size() > 1) {
        std::vector<std::string> names;
        for (const Cryptomatte& c : found)
            names.push_back(c.name);
        throw ToolError(path + ": " + std::to_string(found.size())
                        + " Cryptomatte layers are named by " + quote(given) + " (" + joined(names)
                        + "); give --materials one of them");
    }
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}

// The text of the first material table (kMaterialTableAttribute) among the
// headers of the view's flat parts.
std::optional<std::string> materialTableOf(Imf::MultiPartInputFile& file, const Layout& layout)
{
    for (int part = 0; part < file.parts(); ++part) {
        const Imf::Header& header = file.header(part);
        if (isDeep(header) || !partInView(header, layout))
            continue;
        if (const auto* t
            = header.findTypedAttribute<Imf::StringAttribute>(kMaterialTableAttribute))
            return t->value();
    }
    return std::nullopt;
}

std::uint64_t sampleBytes(Imf::PixelType type) { return type == Imf::HALF ? 2 : 4; }

std::int64_t widthOf(const Imath::Box2i& b) { return std::int64_t(b.max.x) - b.min.x + 1; }
std::int64_t heightOf(const Imath::Box2i& b) { return std::int64_t(b.max.y) - b.min.y + 1; }

// "(0, 0) - (1919, 1079)", as OpenEXR's tools print windows.
std::string windowText(const Imath::Box2i& b)
{
    return "(" + std::to_string(b.min.x) + ", " + std::to_string(b.min.y) + ") - ("
           + std::to_string(b.max.x) + ", " + std::to_string(b.max.y) + ")";
}

std::string partName(int part) { return "part " + std::to_string(part); }

// Refuses headers whose pixels cannot be in a file of this size. The
// display window is allocated whole, so it is claimed too, with an
// allowance: a render cropped to a small part of a large frame is a small
// file with a large picture.
void checkClaim(const std::string& path, Imf::MultiPartInputFile& file, const Imath::Box2i& display)
{
    std::uint64_t claimed = 0, allocated = 0;
    std::int64_t width = 0, height = 0;
    std::size_t channels = 0;
    const std::uint64_t displayPixels = std::uint64_t(widthOf(display)) * heightOf(display);
    for (int part = 0; part < file.parts(); ++part) {
        const Imf::Header& h = file.header(part);
        const Imath::Box2i& dw = h.dataWindow();
        width = widthOf(dw);
        height = heightOf(dw);
        if (width <= 0 || height <= 0)
            throw ToolError(path + ": " + partName(part) + " has an empty data window");
        for (auto it = h.channels().begin(); it != h.channels().end(); ++it, ++channels) {
            claimed
                += sampleBytes(it.channel().type) * std::uint64_t(width) * std::uint64_t(height);
            allocated += sizeof(float) * displayPixels;
        }
    }
    const std::uint64_t size = fileSize(path);
    if (claimed / kMaxCompressionRatio > size)
        throw ToolError(path + ": the header claims " + std::to_string(width) + " x "
                        + std::to_string(height) + " pixels in " + std::to_string(channels)
                        + " channels (" + std::to_string(claimed)
                        + " bytes of samples), more than a file of " + std::to_string(size)
                        + " bytes can hold; the file is damaged");
    if (allocated / kMaxCompressionRatio > size && allocated > kDisplayAllowance)
        throw ToolError(path + ": the display window " + windowText(display) + " is "
                        + std::to_string(widthOf(display)) + " x "
                        + std::to_string(heightOf(display)) + " pixels, far more than a file of "
                        + std::to_string(size) + " bytes holds; the file is damaged");
}

// The view the save takes (ChannelRequests::view, else the file's
// default), and the file's views for the report.
Layout chooseLayout(const std::string& path, Imf::MultiPartInputFile& file,
                    const std::string& requested, std::vector<std::string>& views)
{
    Layout layout;
    layout.multiPart = file.parts() > 1;
    views.clear();
    if (layout.multiPart) {
        for (int part = 0; part < file.parts(); ++part) {
            const Imf::Header& h = file.header(part);
            if (h.hasView() && std::find(views.begin(), views.end(), h.view()) == views.end())
                views.push_back(h.view());
        }
    } else if (Imf::hasMultiView(file.header(0))) {
        layout.multiView = Imf::multiView(file.header(0));
        views = layout.multiView;
    }
    if (views.empty()) {
        if (!requested.empty())
            throw ToolError(path + ": --view " + requested
                            + ": the render has no views (no multiView attribute and no part "
                              "that names its view)");
        return layout;
    }
    if (requested.empty()) {
        layout.view = views.front();
    } else if (std::find(views.begin(), views.end(), requested) != views.end()) {
        layout.view = requested;
    } else {
        throw ToolError(path + ": no view " + quote(requested) + " for --view; the views are "
                        + joined(views));
    }
    return layout;
}

// The display window the parts read share: the picture the save makes.
Imath::Box2i chooseDisplay(const std::string& path, Imf::MultiPartInputFile& file,
                           const Layout& layout)
{
    std::optional<Imath::Box2i> display;
    int first = 0;
    for (int part = 0; part < file.parts(); ++part) {
        const Imf::Header& h = file.header(part);
        if (!partInView(h, layout))
            continue;
        if (!display) {
            display = h.displayWindow();
            first = part;
        } else if (h.displayWindow() != *display) {
            throw ToolError(path + ": " + partName(part) + " has the display window "
                            + windowText(h.displayWindow()) + ", but " + partName(first) + " has "
                            + windowText(*display) + "; the parts must share one picture");
        }
    }
    if (!display)
        display = file.header(0).displayWindow();
    const std::int64_t w = widthOf(*display), h = heightOf(*display);
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide)
        throw ToolError(path + ": the display window " + windowText(*display) + " is "
                        + std::to_string(w) + " x " + std::to_string(h)
                        + " pixels; an Orvo file's sides run from 1 to "
                        + std::to_string(kMaxSide));
    return *display;
}

// A channel read into the picture: its samples go to `dest` (the picture's
// top-left pixel) every `stride` floats.
struct Target {
    std::string channel;  // as the file stores it
    float* dest;
    std::size_t stride;
};

// Reads `targets` of a part into the display window's picture, each data
// pixel at its place; the part of the data window outside the display
// window is read a band of rows at a time and dropped.
void readPlaced(Imf::MultiPartInputFile& file, int part, const Imath::Box2i& display,
                const std::vector<Target>& targets)
{
    if (targets.empty())
        return;
    const Imath::Box2i& dw = file.header(part).dataWindow();
    const std::size_t width = std::size_t(widthOf(display));
    Imf::InputPart input(file, part);
    if (display.intersects(dw.min) && display.intersects(dw.max)) {
        Imf::FrameBuffer frame;
        for (const Target& t : targets)
            frame.insert(t.channel,
                         Imf::Slice::Make(Imf::FLOAT, t.dest, display, sizeof(float) * t.stride,
                                          sizeof(float) * t.stride * width));
        input.setFrameBuffer(frame);
        input.readPixels(dw.min.y, dw.max.y);
        return;
    }
    const int top = std::max(dw.min.y, display.min.y), bottom = std::min(dw.max.y, display.max.y);
    const int left = std::max(dw.min.x, display.min.x), right = std::min(dw.max.x, display.max.x);
    const std::size_t dataWidth = std::size_t(widthOf(dw));
    std::vector<std::vector<float>> band(targets.size(), std::vector<float>(dataWidth * kBandRows));
    for (int y0 = top; y0 <= bottom; y0 += kBandRows) {
        const int y1 = std::min(bottom, y0 + kBandRows - 1);
        const Imath::Box2i rows(Imath::V2i(dw.min.x, y0), Imath::V2i(dw.max.x, y1));
        Imf::FrameBuffer frame;
        for (std::size_t k = 0; k < targets.size(); ++k)
            frame.insert(targets[k].channel,
                         Imf::Slice::Make(Imf::FLOAT, band[k].data(), rows, sizeof(float),
                                          sizeof(float) * dataWidth));
        input.setFrameBuffer(frame);
        input.readPixels(y0, y1);
        for (std::size_t k = 0; k < targets.size(); ++k)
            for (int y = y0; y <= y1; ++y) {
                const float* from = band[k].data() + std::size_t(y - y0) * dataWidth;
                float* to
                    = targets[k].dest + std::size_t(y - display.min.y) * width * targets[k].stride;
                for (int x = left; x <= right; ++x)
                    to[std::size_t(x - display.min.x) * targets[k].stride] = from[x - dw.min.x];
            }
    }
}

// Whether a part's unprefixed channels are luminance and chroma (Y, RY,
// BY), which OpenEXR's RGBA interface turns into colour.
bool isLuminanceChroma(const Imf::Header& header)
{
    const Imf::ChannelList& c = header.channels();
    return c.findChannel("Y") != nullptr && c.findChannel("RY") != nullptr
           && c.findChannel("BY") != nullptr;
}

bool isLuminanceChromaChannel(const std::string& name)
{
    return name == "Y" || name == "RY" || name == "BY" || name == "A";
}

// The colour of a single-part luminance-chroma file, converted by OpenEXR,
// placed in the display window.
RenderLayer readLuminanceChroma(const std::string& path, const Imath::Box2i& display)
{
    Imf::RgbaInputFile input(path.c_str());
    const Imath::Box2i& dw = input.dataWindow();
    const std::size_t dataWidth = std::size_t(widthOf(dw));
    std::vector<Imf::Rgba> rgba(dataWidth * std::size_t(heightOf(dw)));
    input.setFrameBuffer(rgba.data() - dw.min.x
                             - std::ptrdiff_t(dw.min.y) * std::ptrdiff_t(dataWidth),
                         1, dataWidth);
    input.readPixels(dw.min.y, dw.max.y);
    RenderLayer layer;
    layer.name = kColourLayerName;
    layer.channels = 4;
    layer.rgb = true;
    const std::size_t width = std::size_t(widthOf(display));
    layer.values.assign(width * std::size_t(heightOf(display)) * layer.channels, 0.0f);
    const bool alpha = input.header().channels().findChannel("A") != nullptr;
    for (int y = std::max(dw.min.y, display.min.y); y <= std::min(dw.max.y, display.max.y); ++y)
        for (int x = std::max(dw.min.x, display.min.x); x <= std::min(dw.max.x, display.max.x);
             ++x) {
            const Imf::Rgba& p
                = rgba[std::size_t(y - dw.min.y) * dataWidth + std::size_t(x - dw.min.x)];
            float* to = layer.values.data()
                        + (std::size_t(y - display.min.y) * width + std::size_t(x - display.min.x))
                              * layer.channels;
            to[0] = p.r;
            to[1] = p.g;
            to[2] = p.b;
            to[3] = alpha ? float(p.a) : 1.0f;
        }
    return layer;
}

Matrix44 toMatrix(const Imath::M44f& m)
{
    Matrix44 out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out[std::size_t(r * 4 + c)] = m[r][c];
    return out;
}

// A channel read on its own (ChannelRequests), as float samples.
struct PulledChannel {
    std::string name;  // as channelNames lists it; empty: not asked for
    const char* option = "";
    bool found = false;
    Imf::PixelType type = Imf::FLOAT;
    // The picture's value where the part has no pixels.
    float outside = 0;
    std::vector<float> values;
};

void readPart(const std::string& path, Imf::MultiPartInputFile& file, int part,
              const Layout& layout, const Imath::Box2i& display, PulledChannel* const (&pulled)[2],
              ExrRender& render)
{
    RenderImage& image = render.image;
    const Imf::Header& header = file.header(part);
    const std::string name = partLayerName(header, layout.multiPart);
    if (!partInView(header, layout)) {
        render.leftOut.push_back(
            {name,
             {},
             "view " + header.view() + "; the save takes view " + layout.view + " (--view)"});
        return;
    }
    if (isDeep(header)) {
        std::vector<std::string> channels;
        for (auto it = header.channels().begin(); it != header.channels().end(); ++it)
            channels.push_back(it.name());
        render.leftOut.push_back(
            {name, channels,
             "a deep part: its pixels hold several samples each, which are not "
             "flattened; save a flat render of it"});
        render.deepParts.push_back((namedPart(header, layout.multiPart) ? name : partName(part))
                                   + " (" + joined(channels) + ")");
        return;
    }
    const Imath::Box2i& dw = header.dataWindow();
    if (!display.intersects(dw.min) || !display.intersects(dw.max)) {
        const Imath::Box2i overlap(
            Imath::V2i(std::max(dw.min.x, display.min.x), std::max(dw.min.y, display.min.y)),
            Imath::V2i(std::min(dw.max.x, display.max.x), std::min(dw.max.y, display.max.y)));
        if (overlap.isEmpty())
            throw ToolError(path + (layout.multiPart ? ": " + partName(part) : std::string())
                            + ": the data window " + windowText(dw)
                            + " lies wholly outside the display window " + windowText(display));
    }
    if (dw != display)
        render.placed.push_back(
            (layout.multiPart ? partName(part) + ": " : std::string()) + "the data window "
            + windowText(dw) + " placed in the display window " + windowText(display)
            + (display.intersects(dw.min) && display.intersects(dw.max) ? std::string()
                                                                        : ", cropped to it"));
    if (!render.camera && Imf::hasWorldToCamera(header)) {
        ExrCamera camera;
        camera.worldToCamera = toMatrix(Imf::worldToCamera(header));
        if (Imf::hasWorldToNDC(header))
            camera.worldToNdc = toMatrix(Imf::worldToNDC(header));
        camera.pixelAspectRatio = header.pixelAspectRatio();
        render.camera = camera;
    }
    for (LeftOutLayer& l : otherViews(header, layout))
        render.leftOut.push_back(std::move(l));

    const std::size_t pixels = std::size_t(image.width) * image.height;
    std::vector<Target> targets;
    const bool luminanceChroma = isLuminanceChroma(header);
    if (luminanceChroma) {
        if (layout.multiPart)
            render.leftOut.push_back({name,
                                      {"Y", "RY", "BY"},
                                      "luminance and chroma in a multi-part file; OpenEXR "
                                      "converts them to colour only in a single-part file"});
        else
            image.layers.push_back(readLuminanceChroma(path, display));
    }
    for (Group& g : groupChannels(header, layout)) {
        if (luminanceChroma)
            g.channels.erase(std::remove_if(g.channels.begin(), g.channels.end(),
                                            [&](const ChannelRef& c) {
                                                return c.full == c.display
                                                       && isLuminanceChromaChannel(c.full);
                                            }),
                             g.channels.end());
        for (const ChannelRef& c : g.channels)
            render.channelNames.push_back(c.display);
        for (PulledChannel* p : pulled) {
            auto at = std::find_if(g.channels.begin(), g.channels.end(), [&](const ChannelRef& c) {
                return !p->name.empty() && c.display == p->name;
            });
            if (at == g.channels.end() || p->found)
                continue;
            if (at->xSampling != 1 || at->ySampling != 1)
                throw ToolError(path + ": the channel " + quote(p->name) + " of " + p->option
                                + " is subsampled");
            p->found = true;
            p->type = header.channels().find(at->full).channel().type;
            p->values.assign(pixels, p->outside);
            targets.push_back({at->full, p->values.data(), 1});
            g.channels.erase(at);
        }
        if (g.channels.empty())
            continue;
        const bool subsampled
            = std::any_of(g.channels.begin(), g.channels.end(),
                          [](const ChannelRef& c) { return c.xSampling != 1 || c.ySampling != 1; });
        const std::size_t n = g.channels.size();
        if (subsampled) {
            render.leftOut.push_back({g.name, suffixes(g), "subsampled channels"});
            continue;
        }
        if (n == 2 || n > 4) {
            render.leftOut.push_back(
                {g.name, suffixes(g),
                 std::to_string(n) + " channels; the host's layers hold 1, 3 or 4"});
            continue;
        }
        static const char* const kRgba[4] = {"R", "G", "B", "A"};
        static const char* const kXyzw[4] = {"X", "Y", "Z", "W"};
        RenderLayer layer;
        layer.name = hostLayerName(g.name);
        std::vector<ChannelRef> ordered = inOrder(g, kRgba);
        layer.rgb = !ordered.empty();
        if (ordered.empty())
            ordered = inOrder(g, kXyzw);
        if (ordered.empty())
            ordered = g.channels;
        layer.channels = static_cast<unsigned>(n);
        layer.values.assign(pixels * n, 0.0f);
        image.layers.push_back(std::move(layer));
        RenderLayer& stored = image.layers.back();
        for (std::size_t c = 0; c < n; ++c)
            targets.push_back({ordered[c].full, stored.values.data() + c, n});
    }
    readPlaced(file, part, display, targets);
}

}  // namespace

std::vector<std::string> channelsNamedBy(const std::vector<std::string>& channels,
                                         const std::string& given)
{
    std::vector<std::string> named;
    for (const std::string& c : channels)
        if (c == given || endsWithComponent(c, given))
            named.push_back(c);
    return named;
}

ExrRender readExrRender(const std::string& path, const ChannelRequests& requests)
{
    requireRegularFile(path, "OpenEXR render");
    Imf::Header::setMaxImageSize(kMaxSide, kMaxSide);
    Imf::Header::setMaxTileSize(kMaxSide, kMaxSide);
    ExrRender render;
    PulledChannel depth, ids;
    depth.option = "--depth";
    // Outside the data window nothing was hit.
    depth.outside = std::numeric_limits<float>::infinity();
    ids.option = "--materials";
    std::optional<Cryptomatte> cryptomatte;
    std::optional<std::string> table;
    try {
        Imf::MultiPartInputFile file(path.c_str());
        const Layout layout = chooseLayout(path, file, requests.view, render.views);
        render.view = layout.view;
        const Imath::Box2i display = chooseDisplay(path, file, layout);
        checkClaim(path, file, display);
        render.image.width = static_cast<unsigned>(widthOf(display));
        render.image.height = static_cast<unsigned>(heightOf(display));
        if (!requests.depth.empty())
            depth.name = resolveChannel(path, file, layout, requests.depth, depth.option);
        if (!requests.materials.empty()) {
            cryptomatte = findCryptomatte(path, file, layout, requests.materials);
            ids.name = cryptomatte
                           ? cryptomatte->rankZero
                           : resolveChannel(path, file, layout, requests.materials, ids.option);
        }
        if (!depth.name.empty() && depth.name == ids.name)
            throw ToolError(path + ": --depth and --materials name one channel, "
                            + quote(depth.name));
        if (!ids.name.empty() && !cryptomatte)
            table = materialTableOf(file, layout);
        PulledChannel* const pulled[2] = {&depth, &ids};
        for (int part = 0; part < file.parts(); ++part)
            readPart(path, file, part, layout, display, pulled, render);
    } catch (const ToolError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw ToolError(path + ": out of memory reading the OpenEXR render of "
                        + std::to_string(render.image.width) + " x "
                        + std::to_string(render.image.height) + " pixels");
    } catch (const std::exception& e) {
        throw ToolError(path + ": cannot read the OpenEXR render: " + libraryText(e.what(), path));
    }
    const std::string deep
        = render.deepParts.empty()
              ? std::string()
              : "; deep parts, whose samples are not flattened: " + joined(render.deepParts);
    for (const auto& [given, p] : {std::pair{&requests.depth, &depth}, {&requests.materials, &ids}})
        if (!given->empty() && !p->found)
            throw ToolError(path + ": no channel " + quote(*given) + " for " + p->option
                            + (render.channelNames.empty()
                                   ? "; the render has no flat channels"
                                   : "; the channels are " + joined(render.channelNames))
                            + deep);
    if (render.image.layers.empty() && !depth.found && !ids.found)
        throw ToolError(path + ": the OpenEXR render has no channels the host can take" + deep);
    if (depth.found) {
        // The type's largest value is the renderer's "nothing hit" as much
        // as infinity is; from here on only infinity says so.
        const float background = largestFinite(depth.type);
        for (float& z : depth.values)
            if (z >= background || z == kLargestHalf)
                z = std::numeric_limits<float>::infinity();
        render.depth = std::move(depth.values);
        render.depthChannel = depth.name;
    }
    if (ids.found) {
        MaterialIds& m = render.materials;
        if (cryptomatte) {
            // Cryptomatte's IDs are hashes stored as a float's bits: only a
            // float channel keeps them.
            if (ids.type != Imf::FLOAT)
                throw ToolError(path + ": the Cryptomatte channel " + quote(ids.name)
                                + " is not 32-bit float, so its IDs are lost");
            m.source = cryptomatte->name;
            m.cryptomatte = true;
            m.names = std::move(cryptomatte->names);
            m.ids.resize(ids.values.size());
            std::memcpy(m.ids.data(), ids.values.data(), ids.values.size() * sizeof(float));
        } else {
            m.source = ids.name;
            m.fromWholeNumbers(ids.values);
            if (table)
                m.table = readMaterialTable(*table, m.tableProblem);
        }
    }
    return render;
}

void useExrThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    Imf::setGlobalThreadCount(static_cast<int>(std::min(cores, kMaxExrThreads)));
}

void writeExrRender(const std::string& path, const RenderImage& image)
{
    try {
        Imf::Header header(static_cast<int>(image.width), static_cast<int>(image.height));
        header.compression() = Imf::ZIP_COMPRESSION;
        // zlib's fastest level: at 8K a quarter less time than OpenEXR's
        // default level for a file a few percent larger.
        header.zipCompressionLevel() = kFastZipLevel;
        Imf::FrameBuffer frame;
        static const char* const kColourNames[] = {"R", "G", "B", "A"};
        for (const RenderLayer& layer : image.layers) {
            if (layer.values.size() != std::size_t(image.width) * image.height * layer.channels
                || (layer.channels != 1 && layer.channels != 3 && layer.channels != 4))
                throw ToolError(path + ": layer \"" + layer.name
                                + "\" does not match the render's size and channel count");
            const std::string prefix = layer.name == kColourLayerName ? "" : layer.name + ".";
            for (unsigned c = 0; c < layer.channels; ++c) {
                const std::string name = prefix + (layer.channels == 1 ? "Y" : kColourNames[c]);
                header.channels().insert(name, Imf::Channel(Imf::FLOAT));
                const std::size_t xStride = sizeof(float) * layer.channels;
                frame.insert(name, Imf::Slice(Imf::FLOAT,
                                              const_cast<char*>(reinterpret_cast<const char*>(
                                                  layer.values.data() + c)),
                                              xStride, xStride * image.width));
            }
        }
        Imf::OutputFile out(path.c_str(), header);
        out.setFrameBuffer(frame);
        out.writePixels(static_cast<int>(image.height));
    } catch (const ToolError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw ToolError(path + ": out of memory writing the OpenEXR render");
    } catch (const std::exception& e) {
        throw ToolError(path + ": cannot write the OpenEXR render: " + e.what());
    }
}

}  // namespace tool
}  // namespace fennick
