// A layered image as the host hands it to a saver: named layers of one size,
// each an image offering per-pixel fetch. Pixels are given row-major, top
// row first. The SimLayeredImage owns its layers; the plug-in borrows them.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hostsim/SimObject.h"

namespace hostsim {

class SimImage;

class SimLayeredImage {
public:
    SimLayeredImage(unsigned width, unsigned height);
    ~SimLayeredImage();
    SimLayeredImage(const SimLayeredImage&) = delete;
    SimLayeredImage& operator=(const SimLayeredImage&) = delete;
    // Moving keeps the object the plug-in sees: it lives on the heap.
    SimLayeredImage(SimLayeredImage&&) noexcept;
    SimLayeredImage& operator=(SimLayeredImage&&) noexcept;

    // A layer in an LXiIMP_* format, lxPixelBytes(format) bytes a pixel (for
    // float formats the bytes of native floats). Throws std::invalid_argument
    // when the pixel count does not match the size or the format is unknown.
    void addLayer(const std::string& name, LXtPixelFormat format, std::vector<unsigned char> pixels);
    // A float layer of 1, 3 or 4 channels (GREYFP, RGBFP, RGBAFP).
    void addFloatLayer(const std::string& name, unsigned channels, std::vector<float> values);

    // The name query for this layer answers `code` instead of the name.
    void failName(unsigned index, LxResult code);
    // The image fetch for this layer fails.
    void failImage(unsigned index);
    // The layered image answers this size instead of its layers' own, as a
    // host whose image and layers disagree would.
    void claimSize(unsigned width, unsigned height);

    // The layered-image object for the plug-in (borrowed).
    LXtObjectID object();

    // References held by others on the layered image and its layers.
    long references() const;
    long misuses() const;

    class Object;

private:
    // Stores a layer whose pixels the layer keeps as handed over.
    template <class Pixel>
    void add(const char* caller, const std::string& name, LXtPixelFormat format, std::vector<Pixel> pixels);

    std::unique_ptr<Object> m_object;
};

}  // namespace hostsim
