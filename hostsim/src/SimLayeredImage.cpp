#include "hostsim/SimLayeredImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "hostabi/lxguids.h"

namespace fennick {
namespace hostsim {

// One layer. Pixels are kept in the layer's own format; a fetch in another
// format converts through float RGBA (8-bit channels map to v / 255).
// Float layers keep the caller's float vector as it was handed over: at 8K a
// layer is hundreds of megabytes, and a byte copy would double the image.
class SimImage : public SimObject {
public:
    SimImage(unsigned width, unsigned height, LXtPixelFormat format,
             std::vector<unsigned char> bytes);
    SimImage(unsigned width, unsigned height, LXtPixelFormat format, std::vector<float> values);

    void size(unsigned* width, unsigned* height)
    {
        if (!width || !height) {
            misuse();
            return;
        }
        *width = m_width;
        *height = m_height;
    }

    LXtPixelFormat format() const { return m_format; }

    LxResult getPixel(unsigned x, unsigned y, LXtPixelFormat format, void* buf);

private:
    void toRGBA(const unsigned char* pixel, float rgba[4]) const;

    unsigned m_width;
    unsigned m_height;
    LXtPixelFormat m_format;
    // Exactly one of the two holds the pixels; m_pixels points at it.
    std::vector<unsigned char> m_bytes;
    std::vector<float> m_floats;
    const unsigned char* m_pixels;
};

namespace {

bool knownFormat(LXtPixelFormat format)
{
    const unsigned channels = lxPixelChannels(format);
    return (format & ~(LXiIMF_FLOAT | 0xFFu)) == 0
           && (channels == 1 || channels == 3 || channels == 4);
}

void LXx_CALL ImageSizeEntry(LXtObjectID self, unsigned* width, unsigned* height)
{
    static_cast<SimImage*>(SimObject::from(self))->size(width, height);
}

LXtPixelFormat LXx_CALL ImageFormatEntry(LXtObjectID self)
{
    return static_cast<SimImage*>(SimObject::from(self))->format();
}

LxResult LXx_CALL ImageGetPixelEntry(LXtObjectID self, unsigned x, unsigned y,
                                     LXtPixelFormat format, void* buf)
{
    return static_cast<SimImage*>(SimObject::from(self))->getPixel(x, y, format, buf);
}

const ILxImageVT kImageTable
    = {SimObject::unknownEntries(), ImageSizeEntry, ImageFormatEntry, ImageGetPixelEntry};

}  // namespace

SimImage::SimImage(unsigned width, unsigned height, LXtPixelFormat format,
                   std::vector<unsigned char> bytes)
    : SimObject(&kImageTable, LXu_IMAGE), m_width(width), m_height(height), m_format(format),
      m_bytes(std::move(bytes)), m_pixels(m_bytes.data())
{
}

SimImage::SimImage(unsigned width, unsigned height, LXtPixelFormat format,
                   std::vector<float> values)
    : SimObject(&kImageTable, LXu_IMAGE), m_width(width), m_height(height), m_format(format),
      m_floats(std::move(values)), m_pixels(reinterpret_cast<const unsigned char*>(m_floats.data()))
{
}

void SimImage::toRGBA(const unsigned char* pixel, float rgba[4]) const
{
    const unsigned channels = lxPixelChannels(m_format);
    float v[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    for (unsigned c = 0; c < channels; ++c) {
        if (lxPixelIsFloat(m_format))
            std::memcpy(&v[c], pixel + 4 * c, sizeof(float));
        else
            v[c] = pixel[c] / 255.0f;
    }
    if (channels == 1)
        v[1] = v[2] = v[0];
    std::copy(v, v + 4, rgba);
}

LxResult SimImage::getPixel(unsigned x, unsigned y, LXtPixelFormat format, void* buf)
{
    if (!buf) {
        misuse();
        return LXe_FAILED;
    }
    if (x >= m_width || y >= m_height)
        return LXe_OUTOFBOUNDS;
    if (!knownFormat(format))
        return LXe_NOTIMPL;

    const unsigned own = lxPixelBytes(m_format);
    const unsigned char* pixel = m_pixels + (static_cast<std::size_t>(y) * m_width + x) * own;
    if (format == m_format) {
        std::memcpy(buf, pixel, own);
        return LXe_OK;
    }

    float rgba[4];
    toRGBA(pixel, rgba);
    const unsigned channels = lxPixelChannels(format);
    float out[4] = {rgba[0], rgba[1], rgba[2], rgba[3]};
    if (channels == 1 && lxPixelChannels(m_format) != 1)
        out[0] = (rgba[0] + rgba[1] + rgba[2]) / 3.0f;
    for (unsigned c = 0; c < channels; ++c) {
        if (lxPixelIsFloat(format)) {
            std::memcpy(static_cast<unsigned char*>(buf) + 4 * c, &out[c], sizeof(float));
        } else {
            const float clamped = std::min(1.0f, std::max(0.0f, out[c]));
            static_cast<unsigned char*>(buf)[c]
                = static_cast<unsigned char>(std::lround(clamped * 255.0f));
        }
    }
    return LXe_OK;
}

class SimLayeredImage::Object : public SimObject {
public:
    Object(unsigned width, unsigned height);

    struct Layer {
        std::string name;
        std::unique_ptr<SimImage> image;
    };

    LxResult size(unsigned* width, unsigned* height)
    {
        if (!width || !height) {
            misuse();
            return LXe_FAILED;
        }
        unsigned answerWidth = m_width;
        unsigned answerHeight = m_height;
        m_policy->size(answerWidth, answerHeight);
        *width = answerWidth;
        *height = answerHeight;
        return LXe_OK;
    }

    unsigned count() const { return static_cast<unsigned>(m_layers.size()); }

    LxResult image(unsigned index, void** out)
    {
        if (!out) {
            misuse();
            return LXe_FAILED;
        }
        if (index >= m_layers.size())
            return LXe_OUTOFBOUNDS;
        if (!m_policy->givesImage(index))
            return LXe_FAILED;
        SimImage& layer = *m_layers[index].image;
        layer.addRef();
        *out = layer.id();
        return LXe_OK;
    }

    LxResult name(unsigned index, const char** out)
    {
        if (!out) {
            misuse();
            return LXe_FAILED;
        }
        if (index >= m_layers.size())
            return LXe_OUTOFBOUNDS;
        const LxResult code = m_policy->nameResult(index);
        if (code != LXe_OK)
            return code;
        *out = m_layers[index].name.c_str();
        return LXe_OK;
    }

    unsigned m_width;
    unsigned m_height;
    LayeredImagePolicy* m_policy = &LayeredImagePolicy::wellBehaved();
    std::vector<Layer> m_layers;
};

namespace {

SimLayeredImage::Object* layered(LXtObjectID self)
{
    return static_cast<SimLayeredImage::Object*>(SimObject::from(self));
}

LxResult LXx_CALL LayeredSizeEntry(LXtObjectID self, unsigned* width, unsigned* height)
{
    return layered(self)->size(width, height);
}

unsigned LXx_CALL LayeredCountEntry(LXtObjectID self) { return layered(self)->count(); }

LxResult LXx_CALL LayeredImageEntry(LXtObjectID self, unsigned index, void** out)
{
    return layered(self)->image(index, out);
}

LxResult LXx_CALL LayeredNameEntry(LXtObjectID self, unsigned index, const char** out)
{
    return layered(self)->name(index, out);
}

const ILxLayeredImageVT kLayeredImageTable
    = {SimObject::unknownEntries(), LayeredSizeEntry, LayeredCountEntry, LayeredImageEntry,
       LayeredNameEntry};

}  // namespace

SimLayeredImage::Object::Object(unsigned width, unsigned height)
    : SimObject(&kLayeredImageTable, LXu_LAYEREDIMAGE), m_width(width), m_height(height)
{
}

SimLayeredImage::SimLayeredImage(unsigned width, unsigned height)
    : m_object(std::make_unique<Object>(width, height))
{
}

SimLayeredImage::~SimLayeredImage() = default;
SimLayeredImage::SimLayeredImage(SimLayeredImage&&) noexcept = default;
SimLayeredImage& SimLayeredImage::operator=(SimLayeredImage&&) noexcept = default;

namespace {

// Checks a layer's pixels against the image's size; `caller` names the
// function that was given them.
void checkLayer(const char* caller, const std::string& name, LXtPixelFormat format,
                std::size_t bytes, unsigned width, unsigned height)
{
    if (!knownFormat(format))
        throw std::invalid_argument(std::string(caller) + ": unknown pixel format for layer '"
                                    + name + "'");
    const std::size_t expected = static_cast<std::size_t>(width) * height * lxPixelBytes(format);
    if (bytes != expected)
        throw std::invalid_argument(std::string(caller) + ": layer '" + name + "' has "
                                    + std::to_string(bytes) + " bytes, expected "
                                    + std::to_string(expected));
}

}  // namespace

template <class Pixel>
void SimLayeredImage::add(const char* caller, const std::string& name, LXtPixelFormat format,
                          std::vector<Pixel> pixels)
{
    checkLayer(caller, name, format, pixels.size() * sizeof(Pixel), m_object->m_width,
               m_object->m_height);
    Object::Layer layer;
    layer.name = name;
    layer.image = std::make_unique<SimImage>(m_object->m_width, m_object->m_height, format,
                                             std::move(pixels));
    m_object->m_layers.push_back(std::move(layer));
}

void SimLayeredImage::addLayer(const std::string& name, LXtPixelFormat format,
                               std::vector<unsigned char> pixels)
{
    add("SimLayeredImage::addLayer", name, format, std::move(pixels));
}

void SimLayeredImage::addFloatLayer(const std::string& name, unsigned channels,
                                    std::vector<float> values)
{
    if (channels != 1 && channels != 3 && channels != 4)
        throw std::invalid_argument("SimLayeredImage::addFloatLayer: layer '" + name
                                    + "' needs 1, 3 or 4 channels");
    add("SimLayeredImage::addFloatLayer", name, LXiIMF_FLOAT | channels, std::move(values));
}

void SimLayeredImage::setPolicy(LayeredImagePolicy& policy) { m_object->m_policy = &policy; }

LXtObjectID SimLayeredImage::object() { return m_object->id(); }

long SimLayeredImage::references() const
{
    long total = m_object->references();
    for (const auto& layer : m_object->m_layers)
        total += layer.image->references();
    return total;
}

long SimLayeredImage::misuses() const
{
    long total = m_object->misuses();
    for (const auto& layer : m_object->m_layers)
        total += layer.image->misuses();
    return total;
}

}  // namespace hostsim
}  // namespace fennick
