#include "saver/TgaFile.h"

#include <sys/types.h>

namespace {

// TGA header layout (18 bytes, little-endian).
constexpr std::size_t kHeaderSize = 18;
constexpr int kIdLength = 0;
constexpr int kColourMapType = 1;
constexpr int kImageType = 2;
constexpr int kColourMapLength = 5;  // 2 bytes
constexpr int kColourMapEntryBits = 7;
constexpr int kWidth = 12;           // 2 bytes
constexpr int kHeight = 14;          // 2 bytes
constexpr int kPixelDepth = 16;
constexpr int kDescriptor = 17;

constexpr unsigned char kUncompressedTrueColour = 2;
constexpr unsigned char kNoColourMap = 0;
constexpr unsigned char kHasColourMap = 1;
constexpr unsigned char kBitsPerPixel = 32;
constexpr unsigned char kTopDownBit = 0x20;
constexpr std::uint64_t kBytesPerPixel = 4;

unsigned le16(const unsigned char* p) { return p[0] + 256u * p[1]; }

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
    dataOffset = kHeaderSize;
    file = std::fopen(path, "rb");
    if (!file)
        return;
    unsigned char h[kHeaderSize];
    const bool ok = std::fread(h, 1, kHeaderSize, file) == kHeaderSize
        && h[kImageType] == kUncompressedTrueColour && h[kPixelDepth] == kBitsPerPixel
        && (h[kColourMapType] == kNoColourMap || h[kColourMapType] == kHasColourMap);
    if (!ok) {
        std::fclose(file);
        file = nullptr;
        return;
    }
    dataOffset = kHeaderSize + h[kIdLength];
    if (h[kColourMapType] == kHasColourMap) {
        // A true-colour image may still carry a map; its entries lie between
        // the ID field and the pixels and are skipped.
        const std::uint64_t entryBytes = (h[kColourMapEntryBits] + 7u) / 8u;
        dataOffset += le16(&h[kColourMapLength]) * entryBytes;
    }
    width = le16(&h[kWidth]);
    height = le16(&h[kHeight]);
    topDown = (h[kDescriptor] & kTopDownBit) != 0;
}

TgaFile::~TgaFile()
{
    close();
}

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
    if (!seekTo(file, dataOffset + stored * width * kBytesPerPixel))
        return false;
    return std::fread(buffer, kBytesPerPixel, width, file) == width;
}
