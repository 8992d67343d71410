#include "saver/TempTarget.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Enough tries to get past stale temporary files of crashed saves.
constexpr int kNameAttempts = 100;
constexpr const char* kTempMarker = ".orvo-tmp-";

std::atomic<unsigned> nameCounter{0};

unsigned processId()
{
#ifdef _WIN32
    return static_cast<unsigned>(_getpid());
#else
    return static_cast<unsigned>(getpid());
#endif
}

// Creates `path` only if nothing exists there. Returns 0 or an errno value.
int createExclusive(const std::string& path)
{
#ifdef _WIN32
    int fd = -1;
    const errno_t e = _sopen_s(&fd, path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _SH_DENYNO,
                               _S_IREAD | _S_IWRITE);
    if (e != 0)
        return e;
    _close(fd);
    return 0;
#else
    // Mode 0666 less the umask: the finished file gets the permissions any
    // newly created file would.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
#endif
}

bool replaceFile(const std::string& from, const std::string& to)
{
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

TempTarget::TempTarget(const std::string& target) : target_(target)
{
    int lastError = 0;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string candidate = target + kTempMarker + std::to_string(processId()) + "-"
            + std::to_string(nameCounter.fetch_add(1));
        lastError = createExclusive(candidate);
        if (lastError == 0) {
            path_ = candidate;
            return;
        }
        if (lastError != EEXIST)
            break;
    }
    error_ = std::strerror(lastError);
}

TempTarget::~TempTarget()
{
    if (ok() && !committed_)
        std::remove(path_.c_str());
}

bool TempTarget::commit()
{
    if (!ok())
        return false;
    if (!replaceFile(path_, target_)) {
        error_ = std::strerror(errno);
        return false;
    }
    committed_ = true;
    return true;
}
