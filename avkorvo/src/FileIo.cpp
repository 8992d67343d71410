#include "FileIo.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Talvenrock {
namespace Orvo {

namespace {

// libtiff's client data is a pointer; the file is smuggled through it as an
// integer, so no state needs to be allocated or freed.
thandle_t toClientData(std::intptr_t native) { return reinterpret_cast<thandle_t>(native); }

#ifdef _WIN32

HANDLE fileOf(thandle_t data) { return reinterpret_cast<HANDLE>(data); }

// ReadFile and WriteFile take at most a DWORD at a time.
constexpr tmsize_t kLargestTransfer = 1 << 30;

tmsize_t readProc(thandle_t data, void* buffer, tmsize_t size) {
    tmsize_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(size - done < kLargestTransfer ? size - done : kLargestTransfer);
        DWORD got = 0;
        if (!ReadFile(fileOf(data), static_cast<char*>(buffer) + done, chunk, &got, nullptr)) return -1;
        if (got == 0) break;
        done += got;
    }
    return done;
}

tmsize_t writeProc(thandle_t data, void* buffer, tmsize_t size) {
    tmsize_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(size - done < kLargestTransfer ? size - done : kLargestTransfer);
        DWORD put = 0;
        if (!WriteFile(fileOf(data), static_cast<const char*>(buffer) + done, chunk, &put, nullptr)) return -1;
        if (put == 0) break;
        done += put;
    }
    return done;
}

toff_t seekProc(thandle_t data, toff_t offset, int whence) {
    const DWORD method = whence == SEEK_CUR ? FILE_CURRENT : whence == SEEK_END ? FILE_END : FILE_BEGIN;
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    LARGE_INTEGER position;
    if (!SetFilePointerEx(fileOf(data), distance, &position, method)) return static_cast<toff_t>(-1);
    return static_cast<toff_t>(position.QuadPart);
}

toff_t sizeProc(thandle_t data) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(fileOf(data), &size)) return 0;
    return static_cast<toff_t>(size.QuadPart);
}

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return where;
}

#else

int fileOf(thandle_t data) { return static_cast<int>(reinterpret_cast<std::intptr_t>(data)); }

// Whole transfers: read and write may move fewer bytes than asked, and a
// signal may interrupt them before they move any.
tmsize_t readProc(thandle_t data, void* buffer, tmsize_t size) {
    tmsize_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fileOf(data), static_cast<char*>(buffer) + done, static_cast<size_t>(size - done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += got;
    }
    return done;
}

tmsize_t writeProc(thandle_t data, void* buffer, tmsize_t size) {
    tmsize_t done = 0;
    while (done < size) {
        const ssize_t put =
            ::write(fileOf(data), static_cast<const char*>(buffer) + done, static_cast<size_t>(size - done));
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return -1;
        if (put == 0) break;
        done += put;
    }
    return done;
}

toff_t seekProc(thandle_t data, toff_t offset, int whence) {
    // off_t is 64 bits wide on every supported build (32-bit Linux builds
    // set _FILE_OFFSET_BITS=64): an offset past 2 GiB must not wrap.
    static_assert(sizeof(off_t) >= 8, "file offsets must be 64 bits wide");
    const off_t position = ::lseek(fileOf(data), static_cast<off_t>(offset), whence);
    return position < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(position);
}

toff_t sizeProc(thandle_t data) {
    struct stat st;
    if (::fstat(fileOf(data), &st) != 0) return 0;
    return static_cast<toff_t>(st.st_size);
}

// A file that ends before a read is done has been cut short by someone
// else; the system gives no reason for that, so one is supplied.
constexpr int kShortTransfer = EIO;

#endif

// The file belongs to the caller, who closes it after TIFFClose.
int closeProc(thandle_t) { return 0; }

// No memory mapping: libtiff then reads through readProc.
int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}

}  // namespace

#ifdef _WIN32

// A positioned transfer on a handle opened for synchronous I/O completes
// before the call returns, and takes at most a DWORD at a time.
bool writeAt(std::intptr_t native, std::uint64_t offset, const void* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(size - done < std::size_t(kLargestTransfer) ? size - done
                                                                                           : kLargestTransfer);
        OVERLAPPED where = at(offset + done);
        DWORD put = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(native), static_cast<const char*>(data) + done, chunk, &put, &where))
            return false;
        if (put == 0) return false;
        done += put;
    }
    return true;
}

bool readAt(std::intptr_t native, std::uint64_t offset, void* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(size - done < std::size_t(kLargestTransfer) ? size - done
                                                                                           : kLargestTransfer);
        OVERLAPPED where = at(offset + done);
        DWORD got = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(native), static_cast<char*>(data) + done, chunk, &got, &where))
            return false;
        if (got == 0) {
            SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        done += got;
    }
    return true;
}

#else

bool writeAt(std::intptr_t native, std::uint64_t offset, const void* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = ::pwrite(static_cast<int>(native), static_cast<const char*>(data) + done, size - done,
                                     static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return false;
        if (put == 0) {
            errno = kShortTransfer;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool readAt(std::intptr_t native, std::uint64_t offset, void* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(static_cast<int>(native), static_cast<char*>(data) + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) {
            errno = kShortTransfer;
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

#endif

TIFF* openTiffOnFile(std::intptr_t native, const char* name, const char* mode, TIFFOpenOptions* options) {
    return TIFFClientOpenExt(name, mode, toClientData(native), readProc, writeProc, seekProc, closeProc, sizeProc,
                             mapProc, unmapProc, options);
}

}  // namespace Orvo
}  // namespace Talvenrock
