#include "TgaFile.h"

#include "contract/ColourImage.h"

#include <sys/types.h>

namespace {

using fennick::contract::kTgaBytesPerPixel;
using fennick::contract::kTgaHeaderSize;

// Files beyond 2 GiB (a 32768 x 16384 render is) need a 64-bit seek.
bool seekTo(std::FILE* f, std::uint64_t offset)
{
#ifdef _WIN32
    return _fseeki64(f, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

TgaFile::TgaFile(const char* path)
{
    dataOffset = kTgaHeaderSize;
    file = std::fopen(path, "rb");
    if (!file)
        return;
    unsigned char h[kTgaHeaderSize];
    const bool read = std::fread(h, 1, kTgaHeaderSize, file) == kTgaHeaderSize;
    const fennick::contract::ColourImageHeader header
        = read ? fennick::contract::parseColourImageHeader(h)
               : fennick::contract::ColourImageHeader();
    if (!read || !header.readable()) {
        std::fclose(file);
        file = nullptr;
        return;
    }
    dataOffset = header.dataOffset;
    width = header.width;
    height = header.height;
    topDown = header.topDown;
}

TgaFile::~TgaFile() { close(); }

void TgaFile::close()
{
    if (file)
        std::fclose(file);
    file = nullptr;
}

bool TgaFile::readLine(unsigned char* buffer, unsigned row)
{
    if (!file || row >= height)
        return false;
    const std::uint64_t stored = topDown ? row : height - 1u - row;
    if (!seekTo(file, dataOffset + stored * width * kTgaBytesPerPixel))
        return false;
    return std::fread(buffer, kTgaBytesPerPixel, width, file) == width;
}
