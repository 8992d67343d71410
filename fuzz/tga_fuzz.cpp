// Fuzz target: the colour-image reader on arbitrary bytes. A forged header
// must never make it read past the caller's row buffer or allocate by itself.
#include "fuzz/FuzzInput.h"
#include "saver/src/TgaFile.h"

#include <vector>

namespace {
constexpr unsigned kBytesPerPixel = 4;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzing::TempInput input(data, size);
    if (!input.ok())
        return 0;
    TgaFile tga(input.path().c_str());
    if (!tga.file)
        return 0;
    // The saver only reads images whose size matches the layered image; the
    // width here comes straight from 16-bit header fields, so the buffer is
    // at most 256 KiB.
    std::vector<unsigned char> row(static_cast<std::size_t>(tga.width) * kBytesPerPixel + 1);
    for (unsigned y = 0; y < tga.height && y < 64; ++y)
        tga.readLine(row.data(), y);
    tga.readLine(row.data(), tga.height);  // one past the end must fail cleanly
    return 0;
}
