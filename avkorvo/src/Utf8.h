// Wide text to UTF-8 bytes, as the file stores every text (path, TIFF text
// tags, property-list name, material names).
//
// Each wide character is one code value. A high surrogate (D800-DBFF)
// followed by a low surrogate (DC00-DFFF) is joined into one code point, so
// 16-bit wide strings (UTF-16, as on Windows) and 32-bit ones (code points)
// both convert correctly through the same function. A lone surrogate is
// encoded like any other value. Code points use the 31-bit form of UTF-8
// (up to six bytes); values of 0x80000000 and above cannot be encoded and
// are dropped.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

namespace Talvenrock {
namespace Orvo {

// Appends the UTF-8 bytes of one code point; drops values >= 0x80000000.
void appendUtf8(std::string& out, std::uint32_t codePoint);

template <class CharT>
std::string utf8(const std::basic_string<CharT>& text)
{
    // Signed wide characters (wchar_t on Linux) are taken by their bit
    // pattern, so a negative value counts as >= 0x80000000 and is dropped.
    using Unsigned = std::make_unsigned_t<CharT>;
    constexpr std::uint32_t kHighFirst = 0xD800, kHighLast = 0xDBFF;
    constexpr std::uint32_t kLowFirst = 0xDC00, kLowLast = 0xDFFF;
    constexpr std::uint32_t kSupplementaryBase = 0x10000;
    constexpr unsigned kSurrogateBits = 10;

    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<Unsigned>(text[i]);
        if (c >= kHighFirst && c <= kHighLast && i + 1 < text.size()) {
            const std::uint32_t next = static_cast<Unsigned>(text[i + 1]);
            if (next >= kLowFirst && next <= kLowLast) {
                c = (((c - kHighFirst) << kSurrogateBits) | (next - kLowFirst))
                    + kSupplementaryBase;
                ++i;
            }
        }
        appendUtf8(out, c);
    }
    return out;
}

}  // namespace Orvo
}  // namespace Talvenrock
