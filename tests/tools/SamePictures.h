// Whether two Orvo files hold the same pictures, camera and material table,
// read through the reader: the check of a save made again from the same
// render, where only the writing time may differ.
#pragma once

#include "avkorvo/OrvoReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tooltest {

inline void expectSamePictures(const std::string& a, const std::string& b, bool colourToo = true)
{
    auto ra = Talvenrock::Orvo::OrvoReader::open(a);
    auto rb = Talvenrock::Orvo::OrvoReader::open(b);
    const auto& sa = ra->summary();
    const auto& sb = rb->summary();
    ASSERT_EQ(sa.directories.size(), 3u);
    ASSERT_EQ(sb.directories.size(), 3u);
    ASSERT_EQ(sa.width, sb.width);
    ASSERT_EQ(sa.height, sb.height);
    EXPECT_EQ(sa.camera.farDistance, sb.camera.farDistance);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(sa.camera.position[k], sb.camera.position[k]) << k;
        EXPECT_EQ(sa.camera.zAxis[k], sb.camera.zAxis[k]) << k;
        EXPECT_EQ(sa.camera.topLeft[k], sb.camera.topLeft[k]) << k;
    }
    ASSERT_EQ(sa.materials.size(), sb.materials.size());
    for (std::size_t i = 0; i < sa.materials.size(); ++i) {
        EXPECT_EQ(sa.materials[i].tag, sb.materials[i].tag);
        EXPECT_EQ(sa.materials[i].name, sb.materials[i].name);
        EXPECT_EQ(sa.materials[i].red, sb.materials[i].red);
    }
    const std::size_t w = sa.width;
    std::vector<std::uint8_t> ca(w * 3), cb(w * 3);
    std::vector<std::uint32_t> da(w), db(w);
    std::vector<std::uint16_t> ma(w), mb(w);
    for (std::uint32_t y = 0; y < sa.height; ++y) {
        ra->readColourRow(y, ca.data());
        rb->readColourRow(y, cb.data());
        ra->readDepthRow(y, da.data());
        rb->readDepthRow(y, db.data());
        ra->readMaterialRow(y, ma.data());
        rb->readMaterialRow(y, mb.data());
        if (colourToo) {
            EXPECT_EQ(ca, cb) << "colour row " << y;
        }
        EXPECT_EQ(da, db) << "depth row " << y;
        EXPECT_EQ(ma, mb) << "material row " << y;
    }
}

}  // namespace tooltest
