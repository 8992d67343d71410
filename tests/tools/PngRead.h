// Decodes a PNG file for the tests' checks of the tool's previews: the
// header and every row, 16-bit samples in the machine's byte order.
#pragma once

#include <png.h>

#include <cstdio>
#include <vector>

namespace tooltest {

struct PngData {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0;
    std::size_t rowBytes = 0;
    std::vector<unsigned char> pixels;
};

// False when the file cannot be decoded. The setjmp frame holds nothing with
// a destructor: `out` lives in the caller.
inline bool readPng(const char* path, PngData& out)
{
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    out.width = png_get_image_width(png, info);
    out.height = png_get_image_height(png, info);
    out.bitDepth = png_get_bit_depth(png, info);
    out.colourType = png_get_color_type(png, info);
    if (out.bitDepth == 16)
        png_set_swap(png);  // PNG is big-endian; the tests run little-endian
    out.rowBytes = png_get_rowbytes(png, info);
    out.pixels.resize(out.rowBytes * out.height);
    for (png_uint_32 y = 0; y < out.height; ++y)
        png_read_row(png, &out.pixels[y * out.rowBytes], nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return true;
}

}  // namespace tooltest
