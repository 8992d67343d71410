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

// Moves all of `size` bytes through `step(done, chunk)`, which transfers up
// to `chunk` bytes after the first `done` ones into `*moved`; ReadFile and
// WriteFile take at most a DWORD at a time. Returns the bytes moved, fewer
// when the file ended, or -1 when a call failed (its reason left in
// GetLastError).
template <class Step>
tmsize_t transferAll(std::size_t size, Step step)
{
    constexpr std::size_t kLargestTransfer = std::size_t(1) << 30;
    std::size_t done = 0;
    while (done < size) {
        const DWORD chunk
            = static_cast<DWORD>(size - done < kLargestTransfer ? size - done : kLargestTransfer);
        DWORD moved = 0;
        if (!step(done, chunk, &moved))
            return -1;
        if (moved == 0)
            break;
        done += moved;
    }
    return static_cast<tmsize_t>(done);
}

// Where a transfer ended early the system gives no reason; one is supplied.
void setShortTransfer() { SetLastError(ERROR_HANDLE_EOF); }

tmsize_t readProc(thandle_t data, void* buffer, tmsize_t size)
{
    return transferAll(
        static_cast<std::size_t>(size), [&](std::size_t done, DWORD chunk, DWORD* moved) {
            return ReadFile(fileOf(data), static_cast<char*>(buffer) + done, chunk, moved, nullptr)
                   != 0;
        });
}

tmsize_t writeProc(thandle_t data, void* buffer, tmsize_t size)
{
    return transferAll(static_cast<std::size_t>(size),
                       [&](std::size_t done, DWORD chunk, DWORD* moved) {
                           return WriteFile(fileOf(data), static_cast<const char*>(buffer) + done,
                                            chunk, moved, nullptr)
                                  != 0;
                       });
}

OVERLAPPED at(std::uint64_t offset)
{
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return where;
}

// A positioned transfer on a handle opened for synchronous I/O completes
// before the call returns.
tmsize_t readAtOnce(std::intptr_t native, std::uint64_t offset, void* data, std::size_t size)
{
    return transferAll(size, [&](std::size_t done, DWORD chunk, DWORD* moved) {
        OVERLAPPED where = at(offset + done);
        return ReadFile(reinterpret_cast<HANDLE>(native), static_cast<char*>(data) + done, chunk,
                        moved, &where)
               != 0;
    });
}

tmsize_t writeAtOnce(std::intptr_t native, std::uint64_t offset, const void* data, std::size_t size)
{
    return transferAll(size, [&](std::size_t done, DWORD chunk, DWORD* moved) {
        OVERLAPPED where = at(offset + done);
        return WriteFile(reinterpret_cast<HANDLE>(native), static_cast<const char*>(data) + done,
                         chunk, moved, &where)
               != 0;
    });
}

toff_t seekProc(thandle_t data, toff_t offset, int whence)
{
    const DWORD method = whence == SEEK_CUR   ? FILE_CURRENT
                         : whence == SEEK_END ? FILE_END
                                              : FILE_BEGIN;
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    LARGE_INTEGER position;
    if (!SetFilePointerEx(fileOf(data), distance, &position, method))
        return static_cast<toff_t>(-1);
    return static_cast<toff_t>(position.QuadPart);
}

toff_t sizeProc(thandle_t data)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(fileOf(data), &size))
        return 0;
    return static_cast<toff_t>(size.QuadPart);
}

#else

int fileOf(thandle_t data) { return static_cast<int>(reinterpret_cast<std::intptr_t>(data)); }

// Moves all of `size` bytes through `step(done)`, which transfers some of
// those after the first `done` ones: read and write may move fewer bytes
// than asked, and a signal may interrupt them before they move any. Returns
// the bytes moved, fewer when the file ended, or -1 when a call failed (its
// reason left in errno).
template <class Step>
tmsize_t transferAll(std::size_t size, Step step)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t moved = step(done);
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved < 0)
            return -1;
        if (moved == 0)
            break;
        done += static_cast<std::size_t>(moved);
    }
    return static_cast<tmsize_t>(done);
}

// A file that ends before a read is done has been cut short by someone
// else; the system gives no reason for that, so one is supplied.
void setShortTransfer() { errno = EIO; }

tmsize_t readProc(thandle_t data, void* buffer, tmsize_t size)
{
    const std::size_t total = static_cast<std::size_t>(size);
    return transferAll(total, [&](std::size_t done) {
        return ::read(fileOf(data), static_cast<char*>(buffer) + done, total - done);
    });
}

tmsize_t writeProc(thandle_t data, void* buffer, tmsize_t size)
{
    const std::size_t total = static_cast<std::size_t>(size);
    return transferAll(total, [&](std::size_t done) {
        return ::write(fileOf(data), static_cast<const char*>(buffer) + done, total - done);
    });
}

tmsize_t readAtOnce(std::intptr_t native, std::uint64_t offset, void* data, std::size_t size)
{
    return transferAll(size, [&](std::size_t done) {
        return ::pread(static_cast<int>(native), static_cast<char*>(data) + done, size - done,
                       static_cast<off_t>(offset + done));
    });
}

tmsize_t writeAtOnce(std::intptr_t native, std::uint64_t offset, const void* data, std::size_t size)
{
    return transferAll(size, [&](std::size_t done) {
        return ::pwrite(static_cast<int>(native), static_cast<const char*>(data) + done,
                        size - done, static_cast<off_t>(offset + done));
    });
}

toff_t seekProc(thandle_t data, toff_t offset, int whence)
{
    // off_t is 64 bits wide on every supported build (32-bit Linux builds
    // set _FILE_OFFSET_BITS=64): an offset past 2 GiB must not wrap.
    static_assert(sizeof(off_t) >= 8, "file offsets must be 64 bits wide");
    const off_t position = ::lseek(fileOf(data), static_cast<off_t>(offset), whence);
    return position < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(position);
}

toff_t sizeProc(thandle_t data)
{
    struct stat st;
    if (::fstat(fileOf(data), &st) != 0)
        return 0;
    return static_cast<toff_t>(st.st_size);
}

#endif

// The file belongs to the caller, who closes it after TIFFClose.
int closeProc(thandle_t) { return 0; }

// No memory mapping: libtiff then reads through readProc.
int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}

// A transfer that came up short, with no failure of its own, is given
// the short-transfer reason.
bool whole(tmsize_t moved, std::size_t size)
{
    if (moved == static_cast<tmsize_t>(size))
        return true;
    if (moved >= 0)
        setShortTransfer();
    return false;
}

}  // namespace

bool writeAt(std::intptr_t native, std::uint64_t offset, const void* data, std::size_t size)
{
    return whole(writeAtOnce(native, offset, data, size), size);
}

bool readAt(std::intptr_t native, std::uint64_t offset, void* data, std::size_t size)
{
    return whole(readAtOnce(native, offset, data, size), size);
}

TIFF* openTiffOnFile(std::intptr_t native, const char* name, const char* mode,
                     TIFFOpenOptions* options)
{
    return TIFFClientOpenExt(name, mode, toClientData(native), readProc, writeProc, seekProc,
                             closeProc, sizeProc, mapProc, unmapProc, options);
}

}  // namespace Orvo
}  // namespace Talvenrock
