// The voice of the commands' notices and warnings on the error stream, and
// the small text helpers their lines are built with.
#pragma once

#include "orvo/support/Text.h"

namespace fennick {
namespace tool {

inline constexpr char kNotice[] = "orvo: ";
inline constexpr char kWarning[] = "orvo: warning: ";

}  // namespace tool
}  // namespace fennick
