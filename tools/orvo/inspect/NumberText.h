// Numbers as the tool writes them, for people and for the saver alike.
#pragma once

#include <charconv>
#include <cstddef>
#include <string>

namespace fennick {
namespace tool {

// The shortest text that reads back to the same double (0.8, not
// 0.80000000000000004), in the "C" locale's form whatever the program's
// locale: std::to_chars never looks at it, and the saver reads its numbers
// with stream extraction in the "C" locale, which rounds correctly.
inline std::string shortestText(double v)
{
    // The longest such text, "-2.2250738585072014e-308", has 24 characters.
    constexpr std::size_t kLongestText = 24;
    char buf[kLongestText];
    const std::to_chars_result result = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, result.ptr);
}

}  // namespace tool
}  // namespace fennick
