#include "orvo/render/ExrRender.h"

#include "orvo/support/FileOps.h"
#include "orvo/support/Text.h"
#include "orvo/support/ToolError.h"

#include "contract/LayerNames.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputPart.h>
#include <ImfMultiPartInputFile.h>
#include <ImfOutputFile.h>
#include <ImfPartType.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>
#include <ImfThreading.h>
#include <half.h>
#include <nlohmann/json.hpp>

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

// Groups a part's channels into layers as the header comment says, in the
// order of their first channels in the file.
std::vector<Group> groupChannels(const Imf::Header& header, bool multiPart)
{
    const bool named = namedPart(header, multiPart);
    const std::string base = partLayerName(header, multiPart);
    std::vector<Group> groups;
    std::size_t bareAt = 0;  // where the unprefixed channels' layers go
    std::vector<ChannelRef> bare;
    for (auto it = header.channels().begin(); it != header.channels().end(); ++it) {
        const std::string full = it.name();
        ChannelRef c{full, full, full, it.channel().xSampling, it.channel().ySampling};
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
                           const std::string& given, const char* option)
{
    const bool multiPart = file.parts() > 1;
    std::vector<std::string> endingSo;
    for (int part = 0; part < file.parts(); ++part) {
        const Imf::Header& header = file.header(part);
        if (isDeep(header))
            continue;
        for (const Group& g : groupChannels(header, multiPart))
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

constexpr char kCryptomattePrefix[] = "cryptomatte/";
constexpr char kCryptomatteName[] = "/name";
constexpr char kCryptomatteManifest[] = "/manifest";
constexpr int kHexBase = 16;

// The manifest's JSON object of names to 8 hex digits, inverted.
std::map<std::uint32_t, std::string>
manifestNames(const std::string& path, const std::string& layer, const std::string& manifest)
{
    std::map<std::uint32_t, std::string> names;
    const nlohmann::json doc = nlohmann::json::parse(manifest, nullptr, false);
    if (!doc.is_object())
        throw ToolError(path + ": the manifest of the Cryptomatte layer " + quote(layer)
                        + " is not a JSON object of names and IDs");
    for (const auto& [name, hex] : doc.items()) {
        if (!hex.is_string())
            continue;
        const std::string digits = hex.get<std::string>();
        char* end = nullptr;
        const unsigned long id = std::strtoul(digits.c_str(), &end, kHexBase);
        if (!digits.empty() && *end == '\0' && id <= 0xFFFFFFFFul)
            names.emplace(static_cast<std::uint32_t>(id), name);
    }
    return names;
}

// The Cryptomatte layer `given` names (its whole name or the end after a
// '.'); none when no layer is so named. Several so named are refused.
std::optional<Cryptomatte> findCryptomatte(const std::string& path, Imf::MultiPartInputFile& file,
                                           const std::string& given)
{
    const bool multiPart = file.parts() > 1;
    std::vector<Cryptomatte> found;
    for (int part = 0; part < file.parts(); ++part) {
        const Imf::Header& header = file.header(part);
        if (isDeep(header))
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
            for (const Group& g : groupChannels(header, multiPart))
                for (const ChannelRef& ch : g.channels)
                    if (ch.full == c.name + "00.r" || ch.full == c.name + "00.R")
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

std::uint64_t sampleBytes(Imf::PixelType type) { return type == Imf::HALF ? 2 : 4; }

// Refuses headers whose pixels cannot be in a file of this size.
void checkClaim(const std::string& path, Imf::MultiPartInputFile& file)
{
    std::uint64_t claimed = 0;
    std::int64_t width = 0, height = 0;
    std::size_t channels = 0;
    for (int part = 0; part < file.parts(); ++part) {
        const Imf::Header& h = file.header(part);
        const Imath::Box2i& dw = h.dataWindow();
        width = std::int64_t(dw.max.x) - dw.min.x + 1;
        height = std::int64_t(dw.max.y) - dw.min.y + 1;
        if (width <= 0 || height <= 0)
            throw ToolError(path + ": part " + std::to_string(part) + " has an empty data window");
        for (auto it = h.channels().begin(); it != h.channels().end(); ++it, ++channels)
            claimed
                += sampleBytes(it.channel().type) * std::uint64_t(width) * std::uint64_t(height);
    }
    const std::uint64_t size = fileSize(path);
    if (claimed / kMaxCompressionRatio > size)
        throw ToolError(path + ": the header claims " + std::to_string(width) + " x "
                        + std::to_string(height) + " pixels in " + std::to_string(channels)
                        + " channels (" + std::to_string(claimed)
                        + " bytes of samples), more than a file of " + std::to_string(size)
                        + " bytes can hold; the file is damaged");
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
    std::vector<float> values;
};

void readPart(const std::string& path, Imf::MultiPartInputFile& file, int part, bool multiPart,
              PulledChannel* const (&pulled)[2], ExrRender& render)
{
    RenderImage& image = render.image;
    const Imf::Header& header = file.header(part);
    const std::string partName = partLayerName(header, multiPart);
    const std::string partPlace = multiPart ? " part " + std::to_string(part) : std::string();
    if (header.hasType() && Imf::isDeepData(header.type())) {
        render.leftOut.push_back({partName, {}, "deep data has no flat pixels"});
        return;
    }
    const Imath::Box2i& dw = header.dataWindow();
    const std::int64_t w = std::int64_t(dw.max.x) - dw.min.x + 1;
    const std::int64_t h = std::int64_t(dw.max.y) - dw.min.y + 1;
    if (image.width == 0) {
        image.width = static_cast<unsigned>(w);
        image.height = static_cast<unsigned>(h);
    } else if (image.width != w || image.height != h) {
        throw ToolError(path + ":" + partPlace + " is " + std::to_string(w) + " x "
                        + std::to_string(h) + " pixels, but the first part is "
                        + std::to_string(image.width) + " x " + std::to_string(image.height));
    }
    if (!render.camera && Imf::hasWorldToCamera(header)) {
        ExrCamera camera;
        camera.worldToCamera = toMatrix(Imf::worldToCamera(header));
        if (Imf::hasWorldToNDC(header))
            camera.worldToNdc = toMatrix(Imf::worldToNDC(header));
        camera.pixelAspectRatio = header.pixelAspectRatio();
        camera.windowsMatch = header.displayWindow() == header.dataWindow();
        render.camera = camera;
    }

    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    Imf::FrameBuffer frame;
    bool anything = false;
    for (Group& g : groupChannels(header, multiPart)) {
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
            p->values.assign(pixels, 0.0f);
            frame.insert(at->full, Imf::Slice::Make(Imf::FLOAT, p->values.data(), dw, sizeof(float),
                                                    sizeof(float) * std::size_t(w)));
            anything = true;
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
        for (std::size_t c = 0; c < n; ++c) {
            const std::size_t xStride = sizeof(float) * n;
            frame.insert(ordered[c].full, Imf::Slice::Make(Imf::FLOAT, stored.values.data() + c, dw,
                                                           xStride, xStride * std::size_t(w)));
        }
        anything = true;
    }
    if (!anything)
        return;
    Imf::InputPart input(file, part);
    input.setFrameBuffer(frame);
    input.readPixels(dw.min.y, dw.max.y);
}

}  // namespace

ExrRender readExrRender(const std::string& path, const ChannelRequests& requests)
{
    requireRegularFile(path, "OpenEXR render");
    Imf::Header::setMaxImageSize(kMaxSide, kMaxSide);
    Imf::Header::setMaxTileSize(kMaxSide, kMaxSide);
    ExrRender render;
    PulledChannel depth, ids;
    depth.option = "--depth";
    ids.option = "--materials";
    std::optional<Cryptomatte> cryptomatte;
    try {
        Imf::MultiPartInputFile file(path.c_str());
        checkClaim(path, file);
        if (!requests.depth.empty())
            depth.name = resolveChannel(path, file, requests.depth, depth.option);
        if (!requests.materials.empty()) {
            cryptomatte = findCryptomatte(path, file, requests.materials);
            ids.name = cryptomatte ? cryptomatte->rankZero
                                   : resolveChannel(path, file, requests.materials, ids.option);
        }
        if (!depth.name.empty() && depth.name == ids.name)
            throw ToolError(path + ": --depth and --materials name one channel, "
                            + quote(depth.name));
        const int parts = file.parts();
        PulledChannel* const pulled[2] = {&depth, &ids};
        for (int part = 0; part < parts; ++part)
            readPart(path, file, part, parts > 1, pulled, render);
    } catch (const ToolError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw ToolError(path + ": out of memory reading the OpenEXR render of "
                        + std::to_string(render.image.width) + " x "
                        + std::to_string(render.image.height) + " pixels");
    } catch (const std::exception& e) {
        throw ToolError(path + ": cannot read the OpenEXR render: " + e.what());
    }
    for (const auto& [given, p] : {std::pair{&requests.depth, &depth}, {&requests.materials, &ids}})
        if (!given->empty() && !p->found)
            throw ToolError(path + ": no channel " + quote(*given) + " for " + p->option
                            + "; the channels are " + joined(render.channelNames));
    if (render.image.layers.empty() && !depth.found && !ids.found)
        throw ToolError(path + ": the OpenEXR render has no channels the host can take");

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
