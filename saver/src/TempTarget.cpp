#include "TempTarget.h"

#include "contract/TemporaryFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Enough tries to get past stale temporary files of crashed saves.
constexpr int kNameAttempts = 100;
// Bytes copied at a time into a target with several hard links.
constexpr std::size_t kCopyChunk = 1 << 20;

using fennick::contract::folderPrefixOf;
using fennick::contract::temporaryName;

#ifdef _WIN32

// The system's text for a Win32 error: Win32 calls leave their reason
// there, not in errno.
std::string win32ErrorText(DWORD code)
{
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    if (length == 0)
        return "system error " + std::to_string(code);
    std::string text(buffer, length);
    LocalFree(buffer);
    // The text ends with a line break, which a log message must not carry.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::string lastErrorText() { return win32ErrorText(GetLastError()); }

HANDLE handleOf(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

#else

std::string lastErrorText() { return std::strerror(errno); }

int fdOf(std::intptr_t native) { return static_cast<int>(native); }

// Writes all of `size` bytes, through interruptions.
bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

#endif

}  // namespace

bool TempTarget::fail(const std::string& why)
{
    error_ = why;
    return false;
}

#ifdef _WIN32

TempTarget::TempTarget(const std::string& target)
{
    fennick::contract::resolveLinks(target, resolved_);
    const DWORD attributes = GetFileAttributesA(resolved_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        existed_ = true;
        // Opening the target for writing is what saving over it means; a
        // read-only or locked target is refused before anything is written.
        const HANDLE probe
            = CreateFileA(resolved_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) {
            fail(lastErrorText());
            return;
        }
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileInformationByHandle(probe, &info))
            linked_ = info.nNumberOfLinks > 1;
        mode_ = attributes;
        CloseHandle(probe);
    }
    const std::string folder = folderPrefixOf(resolved_);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string candidate = folder + temporaryName();
        // CREATE_NEW never opens an existing file or follows a link that
        // someone put at the name. The file is hidden while it is written.
        const HANDLE file = CreateFileA(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            path_ = candidate;
            native_ = reinterpret_cast<std::intptr_t>(file);
            open_ = true;
            return;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            fail(lastErrorText());
            return;
        }
    }
    fail(win32ErrorText(ERROR_FILE_EXISTS));
}

TempTarget::~TempTarget()
{
    if (open_)
        CloseHandle(handleOf(native_));
    if (!path_.empty() && !committed_)
        DeleteFileA(path_.c_str());
}

bool TempTarget::commit()
{
    if (!open_)
        return false;
    const HANDLE file = handleOf(native_);
    if (!FlushFileBuffers(file))
        return fail(lastErrorText());
    if (linked_) {
        // Every name of the file must show the new content: it is copied
        // into the existing file, which costs a second write of the whole
        // file and leaves the target incomplete if that copy fails.
        const HANDLE out = CreateFileA(resolved_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       TRUNCATE_EXISTING, FILE_FLAG_WRITE_THROUGH, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return fail(lastErrorText());
        LARGE_INTEGER start{};
        bool done = SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0;
        std::vector<char> chunk(kCopyChunk);
        while (done) {
            DWORD got = 0;
            done = ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)
                   != 0;
            if (!done || got == 0)
                break;
            DWORD put = 0;
            done = WriteFile(out, chunk.data(), got, &put, nullptr) != 0 && put == got;
        }
        done = done && FlushFileBuffers(out);
        const std::string why = done ? std::string() : lastErrorText();
        CloseHandle(out);
        if (!done)
            return fail(why);
        return true;  // the temporary file is removed by the destructor
    }
    // The handle goes first: an open file cannot be renamed here. The new
    // file keeps the attributes the target had (but for the hidden flag of
    // the temporary file), and the replace is written through to the disk.
    CloseHandle(file);
    open_ = false;
    const DWORD attributes = existed_ ? (mode_ & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY))
                                      : FILE_ATTRIBUTE_NORMAL;
    SetFileAttributesA(path_.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExA(path_.c_str(), resolved_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(lastErrorText());
    committed_ = true;
    return true;
}

#else

TempTarget::TempTarget(const std::string& target)
{
    if (!fennick::contract::resolveLinks(target, resolved_)) {
        fail(lastErrorText());
        return;
    }
    struct stat st;
    if (::stat(resolved_.c_str(), &st) == 0) {
        existed_ = true;
        if (S_ISDIR(st.st_mode)) {
            fail(std::strerror(EISDIR));
            return;
        }
        // Opening the target for writing is what saving over it means: a
        // target the process may not write is refused as that open would
        // refuse it, before anything is written. Non-blocking, so that a
        // named pipe without a reader is refused instead of waited on.
        const int probe = ::open(resolved_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (probe < 0) {
            fail(lastErrorText());
            return;
        }
        ::close(probe);
        if (!S_ISREG(st.st_mode)) {
            fail("the target is not a regular file");
            return;
        }
        linked_ = st.st_nlink > 1;
        mode_ = st.st_mode & 07777;
        owner_ = st.st_uid;
        group_ = st.st_gid;
    }
    const std::string folder = folderPrefixOf(resolved_);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string candidate = folder + temporaryName();
        // Created here and written through this descriptor, never opened by
        // name again: O_EXCL with O_NOFOLLOW refuses anything someone put at
        // the name, a link included. Mode 0666 less the umask gives a new
        // target the permissions any new file would have.
        const int fd
            = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            path_ = candidate;
            native_ = fd;
            open_ = true;
            return;
        }
        if (errno != EEXIST) {
            fail(lastErrorText());
            return;
        }
    }
    fail(std::strerror(EEXIST));
}

TempTarget::~TempTarget()
{
    if (open_)
        ::close(fdOf(native_));
    if (!path_.empty() && !committed_)
        ::unlink(path_.c_str());
}

bool TempTarget::commit()
{
    if (!open_)
        return false;
    const int fd = fdOf(native_);
    if (existed_ && !linked_) {
        // The new file takes the old one's place: it gets its owner and group
        // where the process may give them (a file of another user stays
        // that user's only for a privileged process), then its mode, which
        // fchown may have cleared set-id bits of.
        if ((static_cast<uid_t>(owner_) != ::geteuid() || static_cast<gid_t>(group_) != ::getegid())
            && ::fchown(fd, static_cast<uid_t>(owner_), static_cast<gid_t>(group_)) != 0
            && errno != EPERM)
            return fail(lastErrorText());
        if (::fchmod(fd, static_cast<mode_t>(mode_)) != 0)
            return fail(lastErrorText());
    }
    // The data reaches the disk before the rename can: otherwise a power
    // loss could leave the target renamed but empty.
    if (::fsync(fd) != 0)
        return fail(lastErrorText());

    if (linked_) {
        // Every name of the file must show the new content, so it is copied
        // into the existing file rather than renamed over one of its names.
        // This costs a second write of the whole file, and a copy that fails
        // part-way leaves that target incomplete.
        const int out = ::open(resolved_.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
        if (out < 0)
            return fail(lastErrorText());
        bool done = ::lseek(fd, 0, SEEK_SET) == 0;
        std::vector<char> chunk(kCopyChunk);
        while (done) {
            const ssize_t got = ::read(fd, chunk.data(), chunk.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                done = got == 0;
                break;
            }
            done = writeAll(out, chunk.data(), static_cast<std::size_t>(got));
        }
        done = done && ::fsync(out) == 0;
        const std::string why = done ? std::string() : lastErrorText();
        ::close(out);
        if (!done)
            return fail(why);
        return true;  // the temporary file is removed by the destructor
    }

    if (std::rename(path_.c_str(), resolved_.c_str()) != 0)
        return fail(lastErrorText());
    committed_ = true;
    // The rename is an entry of the folder: flushed too, or a power loss can
    // undo it. Some file systems cannot flush a folder; the file is in place
    // all the same.
    const std::string folder = folderPrefixOf(resolved_);
    const int dir
        = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

#endif
