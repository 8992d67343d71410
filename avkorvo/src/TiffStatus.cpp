#include "TiffStatus.h"

#include <cerrno>
#include <cstring>

#include "avkorvo/OrvoFile.h"

namespace Talvenrock {
namespace Orvo {

namespace {
const char* const kTiffCallFailed = "libtiff call failed";
}

void checkTiffStatus(int status) {
    if (status == 0) throw OrvoError(kTiffCallFailed);
}

void throwErrno() { throwErrno(errno); }

void throwErrno(int code) {
    // The text is copied into the error at once, before any other call can
    // reuse strerror's buffer.
    throw OrvoError(std::strerror(code));
}

}  // namespace Orvo
}  // namespace Talvenrock
