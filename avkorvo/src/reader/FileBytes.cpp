#include "FileBytes.h"

#include "avkorvo/OrvoReader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace Talvenrock {
namespace Orvo {

namespace {

// Positions past 2 GiB need 64 bits; off_t has 32 on Windows (32-bit Linux
// builds set _FILE_OFFSET_BITS=64).
bool seekTo(std::FILE* file, std::uint64_t offset, int whence)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), whence) == 0;
#else
    static_assert(sizeof(off_t) >= 8, "file offsets must be 64 bits wide");
    return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

// The status of a file by name or descriptor. Windows' plain stat fails for
// files past 2 GiB, so its 64-bit one is used.
#ifdef _WIN32
using FileStatus = struct _stat64;
int statusOf(const char* path, FileStatus& st) { return ::_stat64(path, &st); }
int statusOf(int fd, FileStatus& st) { return ::_fstat64(fd, &st); }
#else
using FileStatus = struct stat;
int statusOf(const char* path, FileStatus& st) { return ::stat(path, &st); }
int statusOf(int fd, FileStatus& st) { return ::fstat(fd, &st); }
#endif

std::int64_t positionOf(std::FILE* file)
{
#ifdef _WIN32
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

}  // namespace

FileBytes::FileBytes(const std::string& path) : path_(path)
{
    // Checked before opening: opening a named pipe or a device waits for a
    // writer or reads forever.
    FileStatus before;
    if (statusOf(path.c_str(), before) == 0 && !S_ISREG(before.st_mode))
        throw ReadError(path + ": cannot open: not a regular file");
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr)
        throw ReadError(path + ": cannot open: " + std::strerror(errno));
    FileStatus st;
    if (statusOf(fileno(file_), st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(file_);
        file_ = nullptr;
        throw ReadError(path + ": cannot open: not a regular file");
    }
    if (!seekTo(file_, 0, SEEK_END)) {
        int e = errno;
        std::fclose(file_);
        file_ = nullptr;
        throw ReadError(path + ": cannot seek: " + std::strerror(e));
    }
    const std::int64_t end = positionOf(file_);
    size_ = end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

FileBytes::~FileBytes()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

std::string FileBytes::where(const char* what, std::uint64_t start,
                             const std::string& problem) const
{
    return path_ + ": " + what + " at offset " + std::to_string(start) + ": " + problem;
}

std::vector<std::uint8_t> FileBytes::read(std::uint64_t offset, std::uint64_t count,
                                          const char* what, std::uint64_t start) const
{
    if (offset > size_ || count > size_ - offset)
        throw ReadError(
            where(what, start, "extends past end of file (size " + std::to_string(size_) + ")"));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    if (count == 0)
        return bytes;
    if (!seekTo(file_, offset, SEEK_SET)
        || std::fread(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        throw ReadError(where(what, start, std::string("read failed: ") + std::strerror(errno)));
    return bytes;
}

std::uint16_t FileBytes::u16(const std::uint8_t* p) const
{
    return little_ ? static_cast<std::uint16_t>(p[0] | (p[1] << 8))
                   : static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint32_t FileBytes::u32(const std::uint8_t* p) const
{
    if (little_)
        return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
               | std::uint32_t(p[3]) << 24;
    return std::uint32_t(p[3]) | std::uint32_t(p[2]) << 8 | std::uint32_t(p[1]) << 16
           | std::uint32_t(p[0]) << 24;
}

double FileBytes::f64(const std::uint8_t* p) const
{
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) {
        int k = little_ ? 7 - i : i;
        bits = (bits << 8) | p[k];
    }
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

}  // namespace Orvo
}  // namespace Talvenrock
