// The writer's two ways of turning a failure into an OrvoError: a libtiff
// call that reported failure, and a system call that left its reason in
// errno.
#pragma once

namespace Talvenrock {
namespace Orvo {

// libtiff calls report failure by returning 0. Raises OrvoError
// "libtiff call failed" for such a status and returns otherwise.
void checkTiffStatus(int status);

// Raises OrvoError carrying strerror(errno) for the errno of the moment.
[[noreturn]] void throwErrno();

// Raises OrvoError carrying strerror(code); for callers that had to save
// errno before other calls could overwrite it.
[[noreturn]] void throwErrno(int code);

}  // namespace Orvo
}  // namespace Talvenrock
