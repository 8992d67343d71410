#include "Utf8.h"

namespace Talvenrock {
namespace Orvo {

namespace {
// First value that needs the next longer form, for forms of 1 to 6 bytes.
constexpr std::uint32_t kLimit1 = 0x80;
constexpr std::uint32_t kLimit2 = 0x800;
constexpr std::uint32_t kLimit3 = 0x10000;
constexpr std::uint32_t kLimit4 = 0x200000;
constexpr std::uint32_t kLimit5 = 0x4000000;
constexpr std::uint32_t kLimit6 = 0x80000000;
// Lead-byte marks of the 2- to 6-byte forms.
constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
constexpr unsigned char kContinuation = 0x80;
constexpr std::uint32_t kSixBits = 0x3F;
}  // namespace

void appendUtf8(std::string& out, std::uint32_t c)
{
    int length;
    if (c < kLimit1) {
        out.push_back(static_cast<char>(c));
        return;
    } else if (c < kLimit2) {
        length = 2;
    } else if (c < kLimit3) {
        length = 3;
    } else if (c < kLimit4) {
        length = 4;
    } else if (c < kLimit5) {
        length = 5;
    } else if (c < kLimit6) {
        length = 6;
    } else {
        return;
    }
    char bytes[6];
    for (int i = length - 1; i > 0; --i) {
        bytes[i] = static_cast<char>(kContinuation | (c & kSixBits));
        c >>= 6;
    }
    bytes[0] = static_cast<char>(kLead[length] | c);
    out.append(bytes, static_cast<std::size_t>(length));
}

}  // namespace Orvo
}  // namespace Talvenrock
