// Fuzz target: the Orvo reader on arbitrary bytes. Whatever the file holds,
// the reader answers with its summary or a ReadError; it never reads out of
// bounds or loops. A file whose strips the reader verified reads every row:
// a row refused after that is a finding (abort), since `orvo info` would have
// called the file valid.
#include "fuzz/FuzzInput.h"
#include "avkorvo/OrvoReader.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
// Rows of more pixels than this are not read back: a forged header may claim
// any width, and the point here is the parsing, not huge allocations.
constexpr std::uint32_t kMaxFuzzWidth = 1 << 14;
constexpr std::uint32_t kMaxFuzzRows = 64;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzing::TempInput input(data, size);
    if (!input.ok())
        return 0;
    try {
        auto reader = Talvenrock::Orvo::OrvoReader::open(input.path());
        const Talvenrock::Orvo::OrvoSummary& s = reader->summary();
        if (s.width == 0 || s.width > kMaxFuzzWidth)
            return 0;
        // Verified only when every row is read back below, so that what is
        // claimed is checked whole.
        bool verified = false;
        if (s.height <= kMaxFuzzRows) {
            try {
                reader->verifyStrips();
                verified = true;
            } catch (const Talvenrock::Orvo::ReadError&) {
            }
        }
        const std::uint32_t rows = s.height < kMaxFuzzRows ? s.height : kMaxFuzzRows;
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(s.width) * 3);
        std::vector<std::uint32_t> depth(s.width);
        std::vector<std::uint16_t> tags(s.width);
        for (std::uint32_t row = 0; row < rows; ++row) {
            try {
                if (s.has(Talvenrock::Orvo::Channel::Colour))
                    reader->readColourRow(row, rgb.data());
                if (s.has(Talvenrock::Orvo::Channel::Depth))
                    reader->readDepthRow(row, depth.data());
                if (s.has(Talvenrock::Orvo::Channel::Material))
                    reader->readMaterialRow(row, tags.data());
            } catch (const Talvenrock::Orvo::ReadError& e) {
                if (verified) {
                    std::fprintf(stderr, "reader_fuzz: verified strips, yet %s\n", e.what());
                    std::abort();
                }
            }
        }
    } catch (const Talvenrock::Orvo::ReadError&) {
    }
    return 0;
}
