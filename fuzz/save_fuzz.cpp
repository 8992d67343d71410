// Fuzz target: a whole save through the host stand-in, with the layered
// image, the parameter file and the colour image all taken from the input.
// Every run must end in one of two ways: success, no message, no side file
// left and a file at the target that the reader accepts; or failure, exactly
// one message and no file at the target. Either way every host reference is
// given back.
//
// Input: width and height (one byte each, 1 to kMaxSide), a layer byte (bit
// 0 a depth layer, bit 1 a material layer, bits 2-3 and 4-5 their channel
// counts), the parameter file's length (one byte) and text, the colour
// image's length (two bytes, little-endian) and bytes, then the layers'
// float samples, repeated as far as the layers need.
#include "contract/LayerNames.h"
#include "contract/SideFileNames.h"
#include "fuzz/FuzzInput.h"
#include "host/HostWrappers.h"
#include "hostsim/Host.h"
#include "hostsim/SimLayeredImage.h"
#include "saver/OrvoSaver.h"
#include "support/InProcessModule.h"
#include "avkorvo/OrvoReader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr unsigned kMaxSide = 16;
constexpr unsigned kChannelChoices[] = {1, 3, 4, 3};
constexpr unsigned kDepthBit = 1;
constexpr unsigned kMaterialBit = 2;
constexpr unsigned kDepthChannelShift = 2;
constexpr unsigned kMaterialChannelShift = 4;
constexpr unsigned kChannelMask = 3;

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    unsigned byte() { return at_ < size_ ? data_[at_++] : 0u; }
    std::string take(std::size_t n)
    {
        n = std::min(n, size_ - at_);
        std::string s(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return s;
    }
    std::string rest() { return take(size_ - at_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

[[noreturn]] void fault(const std::string& what)
{
    std::fprintf(stderr, "save: %s\n", what.c_str());
    std::abort();
}

bool exists(const std::string& path) { return std::ifstream(path).good(); }

std::vector<float> samples(const std::string& bytes, std::size_t count)
{
    std::vector<float> v(count, 0.5f);
    const std::size_t have = bytes.size() / sizeof(float);
    for (std::size_t i = 0; have > 0 && i < count; ++i)
        std::memcpy(&v[i], bytes.data() + (i % have) * sizeof(float), sizeof(float));
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Bytes in(data, size);
    const unsigned width = in.byte() % kMaxSide + 1;
    const unsigned height = in.byte() % kMaxSide + 1;
    const unsigned layers = in.byte();
    const std::string params = in.take(in.byte());
    // Low byte first; two statements, as the operands of | are evaluated in
    // no fixed order.
    const unsigned tgaLow = in.byte();
    const unsigned tgaLength = tgaLow | in.byte() << 8;
    const std::string tga = in.take(tgaLength);
    const std::string floats = in.rest();

    fuzzing::TempInput slot(nullptr, 0);  // a private name; the save creates the file itself
    if (!slot.ok())
        return 0;
    const std::string target = slot.path() + ".ovq";
    std::ofstream(fennick::contract::parameterFileFor(target), std::ios::binary) << params;
    std::ofstream(fennick::contract::colourImageFor(target), std::ios::binary) << tga;

    fennick::hostsim::Host host;
    {
        fennick_test::InProcessModule module(host);
        // The module keeps the log service from its first use on; that
        // reference is taken before counting.
        {
            CLxLoc_LogService warm;
        }
        const long baseline = host.liveReferences();
        fennick::hostsim::SimLayeredImage image(width, height);
        const std::size_t pixels = static_cast<std::size_t>(width) * height;
        if (layers & kDepthBit) {
            const unsigned c = kChannelChoices[(layers >> kDepthChannelShift) & kChannelMask];
            image.addFloatLayer(fennick::contract::kDepthLayerPrefix, c,
                                samples(floats, pixels * c));
        }
        if (layers & kMaterialBit) {
            const unsigned c = kChannelChoices[(layers >> kMaterialChannelShift) & kChannelMask];
            image.addFloatLayer(fennick::contract::kMaterialLayerPrefix, c,
                                samples(floats, pixels * c));
        }
        const LxResult rc = COrvoSaver().sav_Save(image.object(), target.c_str(), nullptr);

        if (rc == LXe_OK) {
            if (!host.messages().empty())
                fault("a message on success: " + host.messages()[0].text);
            if (exists(fennick::contract::parameterFileFor(target))
                || exists(fennick::contract::colourImageFor(target)))
                fault("a side file left after success");
            try {
                Talvenrock::Orvo::OrvoReader::open(target);
            } catch (const Talvenrock::Orvo::ReadError& e) {
                fault(std::string("the reader refuses the saved file: ") + e.what());
            }
        } else {
            if (host.messages().size() != 1)
                fault(std::to_string(host.messages().size()) + " messages for one failure");
            if (exists(target))
                fault("a file at the target after failure: " + host.messages()[0].text);
        }
        if (image.references() != 0 || image.misuses() != 0 || host.liveReferences() != baseline)
            fault("host references not given back");
    }
    std::remove(target.c_str());
    std::remove(fennick::contract::parameterFileFor(target).c_str());
    std::remove(fennick::contract::colourImageFor(target).c_str());
    return 0;
}
