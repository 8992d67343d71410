// The writer's two ways of turning a failure into an OrvoError: a libtiff
// call that reported failure, and a system call that left its reason with
// the system.
#pragma once

#include <cstdint>

namespace Talvenrock {
namespace Orvo {

// The largest offset a classic TIFF file's 32-bit fields can hold.
inline constexpr std::uint64_t kLargestClassicOffset = 0xFFFFFFFFu;

// `offset` as a classic file's 32-bit offset field. Raises OrvoError
// "offset out of range" for an offset of 4 GiB or more, before the caller
// has written anything of it, rather than pointing a reader at the wrong
// bytes.
std::uint32_t classicOffset(std::uint64_t offset);

// libtiff calls report failure by returning 0. Raises OrvoError
// "libtiff call failed" for such a status and returns otherwise.
void checkTiffStatus(int status);

// Forgets the reason of any earlier failure; called before a file operation
// whose failure is then reported with throwSystemError, so that a stale
// reason is never given.
void clearSystemError();

// Raises OrvoError carrying the system's text for why the last file
// operation failed: strerror(errno). On Windows, libtiff's Win32 file
// procedures leave errno alone and their reason in GetLastError(); when errno
// is 0 the text for that code is given instead.
[[noreturn]] void throwSystemError();

}  // namespace Orvo
}  // namespace Talvenrock
