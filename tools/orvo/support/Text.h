// Small text helpers the tool's messages are built with.
#pragma once

#include <string>
#include <vector>

namespace fennick {
namespace tool {

inline std::string quote(const std::string& s) { return "\"" + s + "\""; }

// "a, b, c"
inline std::string joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& s : items)
        out += (out.empty() ? "" : ", ") + s;
    return out;
}

}  // namespace tool
}  // namespace fennick
