// Comparison of two Orvo files value by value, through the reader: what two
// builds of different byte order wrote for the same save must differ in
// nothing but the byte order (which the reader undoes) and the DateTime tag.
#pragma once

#include <string>
#include <vector>

namespace platformtest {

// Every difference of `actual` from `expected`, one line each naming the
// field and both values; empty when they are equal. Compared: the directory
// chain (channel, size, samples, bits, compression, rows per strip), the
// colour directory's texts but DateTime, its resolution, the colour block
// (shadow flag and property list), the camera field by field (doubles bit
// for bit), the material block's count and every record in list order (tag,
// colour, name), and every row of every channel. Not compared: where libtiff
// placed things (block and record offsets, the file size), which is
// libtiff's own affair. A file the reader refuses is one difference.
std::vector<std::string> compareOrvoFiles(const std::string& expected, const std::string& actual);

// The first two bytes of a file ("II", "MM", or whatever they are; shorter
// when the file is).
std::string byteOrderMark(const std::string& path);

}  // namespace platformtest
