// Failures of the file system met for real: writes the system refuses, a
// file-size limit that makes the writes fail in a child process, a sparse
// file that pushes offsets past 4 GiB.
#include <gtest/gtest.h>

#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#include <winioctl.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "writer/WriterTestSupport.h"
#include "avkorvo/OrvoReader.h"

using namespace writertest;

namespace {

#ifdef _WIN32
constexpr int kReadOnly = _O_RDONLY | _O_BINARY;
int openFile(const std::string& path, int flags) { return _open(path.c_str(), flags); }
int closeFile(int fd) { return _close(fd); }
int duplicateOnto(int from, int to) { return _dup2(from, to); }
int writeFile(int fd, const void* data, unsigned size) { return _write(fd, data, size); }
#else
constexpr int kReadOnly = O_RDONLY;
int openFile(const std::string& path, int flags) { return ::open(path.c_str(), flags); }
int closeFile(int fd) { return ::close(fd); }
int duplicateOnto(int from, int to) { return ::dup2(from, to); }
int writeFile(int fd, const void* data, unsigned size)
{
    return static_cast<int>(::write(fd, data, size));
}
#endif

// The descriptor that the next file opened will get: the lowest free one,
// in POSIX systems and in the Windows C runtime alike. The writer opens its
// file through one (libtiff's POSIX-style I/O), and nothing else opens a
// file between this call and the writer's creation.
int nextDescriptor(const ScratchDir& dir)
{
    const std::string probe = dir.file("probe");
    {
        std::ofstream create(probe);
    }
    const int fd = openFile(probe, kReadOnly);
    if (fd < 0)
        throw std::runtime_error("cannot open " + probe);
    closeFile(fd);
    return fd;
}

// From now on the system refuses every write through `fd`, the writer's
// descriptor of `path`: it becomes a read-only descriptor of the same file,
// so seeks and reads go on working. Returns the system's text for such a
// refused write.
std::string refuseWrites(int fd, const std::string& path)
{
    const int readOnly = openFile(path, kReadOnly);
    if (readOnly < 0 || duplicateOnto(readOnly, fd) < 0)
        throw std::runtime_error("cannot replace the descriptor");
    closeFile(readOnly);
    errno = 0;
    const char probe = 0;
    if (writeFile(fd, &probe, 1) >= 0)
        throw std::runtime_error("a read-only descriptor took a write");
    return std::strerror(errno);
}

std::uint64_t sizeOf(const std::string& path)
{
    std::error_code error;
    const std::uintmax_t size
        = std::filesystem::file_size(testsupport::pathFromNarrow(path), error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

TEST(WriteFailure, RefusedWritesFailTheScanAndRaiseTheSystemText)
{
    ScratchDir dir;
    const std::string path = dir.file("refused.ovq");
    {
        // A strip that does not reach the disk fails its scan.
        constexpr unsigned kWidth = 8, kHeight = 6;
        const int fd = nextDescriptor(dir);
        auto writer = makeWriter(dir.wfile("refused.ovq"), kWidth, kHeight);
        writer->beginPass(1);
        samplepattern::fillRow(*writer, 1, kWidth, 0);
        writer->putScan();
        refuseWrites(fd, path);
        samplepattern::fillRow(*writer, 1, kWidth, 1);
        try {
            writer->putScan();
            ADD_FAILURE() << "a scan the system refused to write was taken";
        } catch (const OrvoError& e) {
            EXPECT_STREQ(e.what(), "libtiff call failed");
        }
    }
    {
        // The writer's own bytes carry the system's reason, once: close()
        // cannot append the material block either, reports that, releases
        // the file, and a second close has nothing to do.
        const int fd = nextDescriptor(dir);
        auto writer = makeWriter(dir.wfile("refused.ovq"), 4, 4);
        samplepattern::writePass(*writer, 4, 4, 4);
        const std::string reason = refuseWrites(fd, path);
        try {
            writer->putMaterial(1, 2, 3, 4, L"refused");
            ADD_FAILURE() << "a material record the system refused was taken";
        } catch (const OrvoError& e) {
            EXPECT_EQ(e.what(), reason);
        }
        try {
            writer->close();
            ADD_FAILURE() << "close reported no failure";
        } catch (const OrvoError& e) {
            EXPECT_EQ(e.what(), reason);
        }
        EXPECT_NO_THROW(writer->close());
    }
}

#ifndef _WIN32
// Exit statuses of the child bodies.
constexpr int kExpectedError = 0;
constexpr int kNoError = 1;
constexpr int kWrongMessage = 2;
constexpr int kOtherException = 3;

// Runs `body` in a forked child with writes past `limitBytes` failing with
// EFBIG (SIGXFSZ ignored), and returns the child's exit status.
int inChildWithFileSizeLimit(rlim_t limitBytes, const std::function<int()>& body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        int status = kOtherException;
        try {
            signal(SIGXFSZ, SIG_IGN);
            if (limitBytes != RLIM_INFINITY) {
                const rlimit limit{limitBytes, limitBytes};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            status = body();
        } catch (...) {
        }
        _exit(status);
    }
    int wstatus = 0;
    if (waitpid(pid, &wstatus, 0) != pid || !WIFEXITED(wstatus))
        return -1;
    return WEXITSTATUS(wstatus);
}

void limitFileSize(rlim_t bytes)
{
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
}
#endif

// Windows has no file-size limit (RLIMIT_FSIZE) and no fork; the refused
// writes above take the same paths there.
constexpr const char* kNoFileSizeLimit
    = "Windows has no file-size limit; RefusedWritesFailTheScanAndRaiseTheSystemText covers these "
      "paths";

TEST(WriteFailure, StripThatDoesNotReachTheDiskFailsTheScan)
{
#ifdef _WIN32
    GTEST_SKIP() << kNoFileSizeLimit;
#else
    // Directory rewrites after the first scan stay in place and still
    // succeed past the limit; only the strips grow the file, so only their
    // result can tell the caller that the pixels are missing.
    ScratchDir dir;
    const std::wstring path = dir.wfile("full.ovq");
    constexpr unsigned kWidth = 1000, kHeight = 100;
    const int status = inChildWithFileSizeLimit(64 * 1024, [&] {
        try {
            auto writer = makeWriter(path, kWidth, kHeight);
            samplepattern::writePass(*writer, 1, kWidth, kHeight);
            writer->close();
        } catch (const OrvoError& e) {
            return std::strcmp(e.what(), "libtiff call failed") == 0 ? kExpectedError
                                                                     : kWrongMessage;
        }
        return kNoError;
    });
    EXPECT_EQ(status, kExpectedError);
#endif
}

TEST(WriteFailure, ShortWriteOfTheWritersOwnBytesRaisesTheSystemText)
{
#ifdef _WIN32
    GTEST_SKIP() << kNoFileSizeLimit;
#else
    ScratchDir dir;
    const std::string path = dir.file("records.ovq");
    const int status = inChildWithFileSizeLimit(RLIM_INFINITY, [&] {
        auto writer = makeWriter(dir.wfile("records.ovq"), 4, 4);
        samplepattern::writePass(*writer, 4, 4, 4);
        // Room for the record's first five bytes only.
        limitFileSize(sizeOf(path) + 5);
        try {
            writer->putMaterial(1, 2, 3, 4, L"cut short");
            return kNoError;
        } catch (const OrvoError& e) {
            if (std::strcmp(e.what(), std::strerror(EFBIG)) != 0)
                return kWrongMessage;
        }
        // close() cannot append the material block either; it reports that
        // once, releases the file, and a second close has nothing to do.
        try {
            writer->close();
            return kNoError;
        } catch (const OrvoError& e) {
            if (std::strcmp(e.what(), std::strerror(EFBIG)) != 0)
                return kWrongMessage;
        }
        writer->close();
        return kExpectedError;
    });
    EXPECT_EQ(status, kExpectedError);
#endif
}

// Makes the file at `path` `size` bytes long without using the disk space
// for the new part. False where the file system has no sparse files.
bool extendSparse(const std::string& path, std::uint64_t size)
{
#ifdef _WIN32
    // Windows extends a file with real zeros unless it is marked sparse.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD unused = 0;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool done
        = DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr)
          && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return done;
#else
    return truncate(path.c_str(), static_cast<off_t>(size)) == 0;
#endif
}

TEST(WriteFailure, AMaterialBlockBeyondFourGibibytesIsRefusedNotCut)
{
    // Every record fits below 4 GiB; only the block that close appends lies
    // beyond, and tag 34953 holds 32 bits.
    ScratchDir dir;
    const std::string path = dir.file("far_block.ovq");
    auto writer = makeWriter(dir.wfile("far_block.ovq"), 2, 2);
    samplepattern::writePass(*writer, 4, 2, 2);
    writer->putMaterial(1, 0, 0, 0, L"near");
    constexpr std::uint64_t kBeyond = std::uint64_t(5) << 30;
    if (!extendSparse(path, kBeyond))
        GTEST_SKIP() << "no sparse files here";
    try {
        writer->close();
        ADD_FAILURE() << "close pointed tag 34953 at a block 5 GiB into the file";
    } catch (const OrvoError& e) {
        EXPECT_STREQ(e.what(), "offset out of range");
    }
    writer.reset();
    TiffFile tiff(path);
    EXPECT_EQ(tiff.u32(34953), 0u);
}

TEST(WriteFailure, OffsetsBeyondFourGibibytesAreRefused)
{
    // A sparse extension puts the end of the file past 4 GiB without using
    // the disk space.
    ScratchDir dir;
    const std::string path = dir.file("huge.ovq");
    auto writer = makeWriter(dir.wfile("huge.ovq"), 2, 2);
    samplepattern::writePass(*writer, 4, 2, 2);
    constexpr std::uint64_t kBeyond = std::uint64_t(5) << 30;
    if (!extendSparse(path, kBeyond))
        GTEST_SKIP() << "no sparse files here";

    // The first record's previous offset is 0 and fits; it becomes the
    // head, at 5 GiB, which the second record cannot point back to.
    writer->putMaterial(1, 0, 0, 0, L"far");
    try {
        writer->putMaterial(2, 0, 0, 0, L"farther");
        ADD_FAILURE() << "an offset of 5 GiB was written into a classic TIFF file";
    } catch (const OrvoError& e) {
        EXPECT_STREQ(e.what(), "offset out of range");
    }
    // Nothing of the refused offset was written: the file ends after the
    // first record.
    EXPECT_EQ(sizeOf(path), kBeyond + 9 + 3 + 1);

    // The material block needs the same offset: close reports it, and the
    // file is released all the same.
    try {
        writer->close();
        ADD_FAILURE() << "close wrote an offset of 5 GiB";
    } catch (const OrvoError& e) {
        EXPECT_STREQ(e.what(), "offset out of range");
    }
    EXPECT_NO_THROW(writer->close());
    writer.reset();
    // The material directory still shows no block. (libtiff reads only the
    // directory; the test reader would load all 5 GiB.)
    TiffFile tiff(path);
    EXPECT_EQ(tiff.u32(34953), 0u);
}

}  // namespace

TEST(WriteFailure, OffsetsBetweenTwoAndFourGibibytesAreWrittenWholeAndAStripBeyondFourIsRefused)
{
    // Past 2 GiB an offset no longer fits a signed 32-bit number: every
    // block, strip and record written there must still be found by a reader.
    constexpr unsigned kW = 5, kH = 3;
    ScratchDir dir;
    const std::string path = dir.file("three.ovq");
    auto writer = makeWriter(dir.wfile("three.ovq"), kW, kH);
    samplepattern::writePass(*writer, 1, kW, kH);
    constexpr std::uint64_t kThree = std::uint64_t(3) << 30;
    if (!extendSparse(path, kThree))
        GTEST_SKIP() << "no sparse files here";
    samplepattern::writePass(*writer, 2, kW, kH);
    samplepattern::writePass(*writer, 4, kW, kH);
    writer->putMaterial(1, 10, 20, 30, L"first");
    writer->putMaterial(2, 40, 50, 60, L"second");
    writer->close();
    writer.reset();

    auto reader = Talvenrock::Orvo::OrvoReader::open(path);
    const auto& s = reader->summary();
    EXPECT_GE(s.directory(Talvenrock::Orvo::Channel::Depth)->blockOffset, kThree);
    ASSERT_EQ(s.materials.size(), 2u);
    EXPECT_EQ(s.materials[0].name, "second");
    EXPECT_EQ(s.materials[1].name, "first");
    EXPECT_GT(s.materials[1].offset, kThree);
    std::vector<std::uint32_t> depth(kW);
    std::vector<std::uint16_t> tags(kW);
    for (unsigned y = 0; y < kH; ++y) {
        reader->readDepthRow(y, depth.data());
        reader->readMaterialRow(y, tags.data());
        for (unsigned x = 0; x < kW; ++x) {
            EXPECT_EQ(depth[x], samplepattern::depth(x, y)) << x << ", " << y;
            EXPECT_EQ(tags[x], samplepattern::material(x, y)) << x << ", " << y;
        }
    }

    // A strip that would begin past 4 GiB, in the middle of a pass: its
    // offset entry cannot hold it.
    const std::string edgePath = dir.file("edge.ovq");
    auto edge = makeWriter(dir.wfile("edge.ovq"), kW, kH);
    samplepattern::writePass(*edge, 1, kW, kH);
    edge->beginPass(2);
    samplepattern::fillRow(*edge, 2, kW, 0);
    edge->putScan();
    ASSERT_TRUE(extendSparse(edgePath, (std::uint64_t(4) << 30) + 16));
    samplepattern::fillRow(*edge, 2, kW, 1);
    try {
        edge->putScan();
        ADD_FAILURE() << "a strip was written across 4 GiB into a classic TIFF file";
    } catch (const OrvoError& e) {
        EXPECT_STREQ(e.what(), "offset out of range");
    }
}
