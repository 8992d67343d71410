// The voice of the commands' notices and warnings on the error stream, and
// the small text helpers their lines are built with.
#pragma once

#include <string>
#include <vector>

namespace fennick {
namespace tool {

inline constexpr char kNotice[] = "orvo: ";
inline constexpr char kWarning[] = "orvo: warning: ";

inline std::string quote(const std::string& s) { return "\"" + s + "\""; }

inline std::string joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& s : items)
        out += (out.empty() ? "" : ", ") + s;
    return out;
}

}  // namespace tool
}  // namespace fennick
