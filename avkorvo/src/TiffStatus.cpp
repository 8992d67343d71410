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
    // strerror may share a static buffer between threads; the writer is the
    // only user of this message and copies it at once, and the glibc/msvcrt
    // tables it reads for known codes are constant.
    throw OrvoError(std::strerror(code));
}

}  // namespace Orvo
}  // namespace Talvenrock
