// Known pixel patterns for writer tests and the sample-file generator.
// check_with_tifffile.py computes the same values; keep the two in step.
#pragma once

#include <cstdint>

#include "avkorvo/OrvoFile.h"

namespace samplepattern {

constexpr std::uint32_t kNoDepth = 0xFFFFFFFF;

inline std::uint8_t rgb(unsigned x, unsigned y, unsigned channel)
{
    return static_cast<std::uint8_t>((x * 31 + y * 17 + channel * 85) % 256);
}

// Every fifth diagonal has no depth; other codes use all four bytes, so a
// byte-order or width mistake shows.
inline std::uint32_t depth(unsigned x, unsigned y)
{
    return (x + y) % 5 == 0 ? kNoDepth : x * 65537u + y * 257u + 0x01000000u;
}

inline std::uint16_t material(unsigned x, unsigned y)
{
    return static_cast<std::uint16_t>((x / 3 + y) % 4 + (x % 2) * 0x0100);
}

// Fills the buffers of the channels in `mask` (1 RGB, 2 depth, 4 material)
// with row y of the patterns.
inline void fillRow(Talvenrock::Orvo::OrvoFile& file, int mask, unsigned width, unsigned y)
{
    for (unsigned x = 0; x < width; ++x) {
        if (mask & 1)
            for (unsigned c = 0; c < 3; ++c)
                file.rgbLine()[3 * x + c] = rgb(x, y, c);
        if (mask & 2)
            file.zLine()[x] = depth(x, y);
        if (mask & 4)
            file.matLine()[x] = material(x, y);
    }
}

// One pass over all rows with the channels of `mask`.
inline void writePass(Talvenrock::Orvo::OrvoFile& file, int mask, unsigned width, unsigned height)
{
    file.beginPass(mask);
    for (unsigned y = 0; y < height; ++y) {
        fillRow(file, mask, width, y);
        file.putScan();
    }
}

}  // namespace samplepattern
