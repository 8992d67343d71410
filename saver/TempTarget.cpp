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

#ifdef _WIN32
// The system's text for the thread's last Win32 error: Win32 calls leave
// their reason there, not in errno.
std::string lastErrorText()
{
    const DWORD code = GetLastError();
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    if (length == 0)
        return "system error " + std::to_string(code);
    std::string text(buffer, length);
    LocalFree(buffer);
    // The text ends with a line break, which a log message must not carry.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}
#endif

// Moves `from` over `to`. Returns false with the system's reason in `why`.
bool replaceFile(const std::string& from, const std::string& to, std::string& why)
{
#ifdef _WIN32
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    why = lastErrorText();
#else
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    why = std::strerror(errno);
#endif
    return false;
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
    if (!replaceFile(path_, target_, error_))
        return false;
    committed_ = true;
    return true;
}
