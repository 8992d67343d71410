// A layered image as the host hands it to a saver: named layers of one size,
// each an image offering per-pixel fetch. Pixels are given row-major, top
// row first. The SimLayeredImage owns its layers; the plug-in borrows them.
// What it says of its size, its layers' names and images is asked of a
// LayeredImagePolicy, the well-behaved image unless another is set.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hostsim/HostPolicy.h"
#include "hostsim/SimObject.h"

namespace fennick {
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
    void addLayer(const std::string& name, LXtPixelFormat format,
                  std::vector<unsigned char> pixels);
    // A float layer of 1, 3 or 4 channels (GREYFP, RGBFP, RGBAFP).
    void addFloatLayer(const std::string& name, unsigned channels, std::vector<float> values);

    // From now on the image answers through `policy`, which is borrowed and
    // must outlive the image (a move takes it along).
    void setPolicy(LayeredImagePolicy& policy);

    // The layered-image object for the plug-in (borrowed).
    LXtObjectID object();

    // References held by others on the layered image and its layers. They
    // stay with every image for the reasons Host gives for its own counts.
    long references() const;
    long misuses() const;

    class Object;

private:
    // Stores a layer whose pixels the layer keeps as handed over.
    template <class Pixel>
    void add(const char* caller, const std::string& name, LXtPixelFormat format,
             std::vector<Pixel> pixels);

    std::unique_ptr<Object> m_object;
};

}  // namespace hostsim
}  // namespace fennick
