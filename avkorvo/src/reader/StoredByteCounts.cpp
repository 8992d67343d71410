#include "StoredByteCounts.h"

#include "avkorvo/OrvoReader.h"

#include <tiffio.h>

namespace Talvenrock {
namespace Orvo {

namespace {

// The layout of a classic TIFF directory: a 2-byte entry count, then
// entries of tag (2), type (2), count (4) and a 4-byte field that holds the
// values when they fit and their offset otherwise.
constexpr std::uint64_t kEntryCountSize = 2;
constexpr std::uint64_t kEntrySize = 12;
constexpr std::size_t kEntryTypeAt = 2;
constexpr std::size_t kEntryCountAt = 4;
constexpr std::size_t kEntryValueAt = 8;
constexpr std::uint64_t kInlineValueBytes = 4;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;

}  // namespace

std::vector<std::uint32_t> storedByteCounts(const FileBytes& bytes, std::uint64_t directoryOffset,
                                            const std::string& place)
{
    const char* what = "TIFF directory";
    const std::vector<std::uint8_t> head
        = bytes.read(directoryOffset, kEntryCountSize, what, directoryOffset);
    const std::uint64_t entries = bytes.u16(head.data());
    const std::vector<std::uint8_t> table = bytes.read(directoryOffset + kEntryCountSize,
                                                       entries * kEntrySize, what, directoryOffset);
    for (std::uint64_t i = 0; i < entries; ++i) {
        const std::uint8_t* e = &table[static_cast<std::size_t>(i * kEntrySize)];
        if (bytes.u16(e) != TIFFTAG_STRIPBYTECOUNTS)
            continue;
        const std::uint16_t type = bytes.u16(e + kEntryTypeAt);
        if (type != kTypeShort && type != kTypeLong)
            throw ReadError(bytes.where(place.c_str(), directoryOffset,
                                        "StripByteCounts of TIFF type " + std::to_string(type)
                                            + "; strip lengths are SHORT or LONG"));
        const std::uint64_t width = type == kTypeShort ? 2 : 4;
        const std::uint64_t count = bytes.u32(e + kEntryCountAt);
        const std::uint64_t size = count * width;
        std::vector<std::uint8_t> values;
        if (size <= kInlineValueBytes) {
            values.assign(e + kEntryValueAt, e + kEntryValueAt + size);
        } else {
            const std::uint64_t at = bytes.u32(e + kEntryValueAt);
            values = bytes.read(at, size, "StripByteCounts", at);
        }
        std::vector<std::uint32_t> counts(static_cast<std::size_t>(count));
        for (std::size_t k = 0; k < counts.size(); ++k)
            counts[k] = width == 2 ? bytes.u16(&values[k * 2]) : bytes.u32(&values[k * 4]);
        return counts;
    }
    return {};
}

}  // namespace Orvo
}  // namespace Talvenrock
