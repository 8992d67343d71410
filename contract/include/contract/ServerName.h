// The name under which the module registers its saver and the host asks for
// it. Saved scenes and host configurations refer to the saver by it.
#pragma once

namespace fennick {
namespace contract {

inline constexpr char kSaverServerName[] = "avk_Orvo";

}  // namespace contract
}  // namespace fennick
