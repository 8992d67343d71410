#include "orvo/support/FileOps.h"

#include "orvo/support/ToolError.h"

#include "contract/TemporaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace fennick {
namespace tool {

namespace {
constexpr int kTempNameAttempts = 100;
// Mode of a new file before the umask: what any new file of the user's gets.
constexpr mode_t kNewFileMode = 0666;
// Permission, set-id and sticky bits: what a replaced file's mode keeps.
constexpr mode_t kModeBits = 07777;
}  // namespace

std::string tempNameIn(const std::string& folder)
{
    return joinPath(folder, fennick::contract::temporaryName());
}

void requireRegularFile(const std::string& path, const char* role)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        throw ToolError(path + ": cannot read the " + role + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        throw ToolError(path + ": cannot read the " + role + ": not a regular file");
}

bool pathExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::uint64_t fileSize(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev
           && sa.st_ino == sb.st_ino;
}

std::string folderOf(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const std::size_t slash = p.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

void requireFolderOf(const std::string& path, const char* role)
{
    const std::string folder = folderOf(path);
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0)
        throw ToolError(folder + ": the folder for the " + role + " " + path
                        + " does not exist: " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        throw ToolError(folder + ": the folder for the " + role + " " + path + " is not a folder");
}

void makeLastFolder(const std::string& folder)
{
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            throw ToolError(folder + ": exists and is not a folder");
        return;
    }
    const std::string parent = folderOf(folder);
    if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw ToolError(parent + ": no such folder to create " + folder
                        + " in (only the last folder of a path is created)");
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        throw ToolError(folder + ": cannot create the folder: " + std::strerror(errno));
}

std::string joinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty())
        return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

OutputFile::OutputFile(const std::string& finalPath) : final_(finalPath), resolved_(finalPath)
{
    // A link that leads nowhere is replaced itself: there is no file at its
    // end to keep.
    std::error_code linkError;
    if (std::filesystem::is_symlink(finalPath, linkError)) {
        const std::filesystem::path end = std::filesystem::canonical(finalPath, linkError);
        if (!linkError)
            resolved_ = end.string();
    }
    const std::string folder = folderOf(resolved_);
    int error = 0;
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        const std::string candidate = tempNameIn(folder);
        // Registered before it exists, so that no moment leaves it unowned.
        const std::uint64_t token = Interrupt::removeOnInterrupt(candidate);
        const int fd
            = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (fd >= 0) {
            ::close(fd);
            temp_ = candidate;
            interruptToken_ = token;
            return;
        }
        error = errno;
        Interrupt::forget(token);
        if (error != EEXIST)
            break;
    }
    throw ToolError(finalPath + ": cannot create a temporary file in " + folder + ": "
                    + std::strerror(error));
}

OutputFile::~OutputFile()
{
    if (!committed_)
        std::remove(temp_.c_str());
    Interrupt::forget(interruptToken_);
}

void OutputFile::commit()
{
    // The owner first: changing it may clear the set-id bits the mode then
    // puts back. A file of another user stays that user's only for a
    // privileged process; elsewhere the new file is the caller's, as any
    // file it writes.
    struct stat old;
    if (::stat(resolved_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            && ::chown(temp_.c_str(), old.st_uid, old.st_gid) != 0 && errno != EPERM)
            throw ToolError(final_ + ": cannot give the new file the owner of the old one: "
                            + std::strerror(errno));
        if (::chmod(temp_.c_str(), old.st_mode & kModeBits) != 0)
            throw ToolError(final_ + ": cannot give the new file the mode of the old one: "
                            + std::strerror(errno));
    }
    if (std::rename(temp_.c_str(), resolved_.c_str()) != 0)
        throw ToolError(final_
                        + ": cannot move the finished file into place: " + std::strerror(errno));
    committed_ = true;
    Interrupt::forget(interruptToken_);
    interruptToken_ = 0;
}

void writeWholeFile(const std::string& path, const char* data, std::size_t size, const char* role)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode);
    if (fd < 0)
        throw ToolError(path + ": cannot create the " + role + ": " + std::strerror(errno));
    int error = 0;
    while (size > 0 && error == 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            error = put < 0 ? errno : ENOSPC;
            break;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        throw ToolError(path + ": cannot write the " + role + ": " + std::strerror(error));
}

}  // namespace tool
}  // namespace fennick
