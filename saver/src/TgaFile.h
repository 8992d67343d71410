// Reader of the colour image the host script writes beside the target
// ("<target>.rgb.tga"): an uncompressed true-colour TGA (image type 2) with
// 32 bits per pixel, read one row at a time.
#pragma once

#include <cstdint>
#include <cstdio>

class TgaFile {
public:
    // Opens and checks the file (the narrow path exactly as given). Never
    // fails otherwise: a file that cannot be opened or is not of the one
    // understood kind leaves `file` null and width and height 0.
    explicit TgaFile(const char* path);
    // Closes the file. Never throws.
    ~TgaFile();
    // Closes the file now, so that it can be removed (an open file cannot be
    // on Windows); the reader then holds nothing. Never throws.
    void close();
    TgaFile(const TgaFile&) = delete;
    TgaFile& operator=(const TgaFile&) = delete;

    // Reads image row `row` (0 is the top row) into `buffer`, which holds
    // width x 4 bytes: blue, green, red, alpha per pixel, as stored. Returns
    // true only when the whole row was read; a row outside the image leaves
    // the buffer untouched. Each call seeks afresh, so rows may be read in
    // any order.
    bool readLine(unsigned char* buffer, unsigned row);

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool topDown = false;          // the first stored row is the image's top row
    std::uint64_t dataOffset = 0;  // byte offset of the first pixel
    std::FILE* file = nullptr;     // owned; null when the file is not usable
};
