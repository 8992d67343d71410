// Failures of the file system met for real: a file-size limit makes the
// writes fail in a child process, a sparse file pushes offsets past 4 GiB.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "writer/WriterTestSupport.h"

using namespace writertest;

namespace {

// Exit statuses of the child bodies.
constexpr int kExpectedError = 0;
constexpr int kNoError = 1;
constexpr int kWrongMessage = 2;
constexpr int kOtherException = 3;

// Runs `body` in a forked child with writes past `limitBytes` failing with
// EFBIG (SIGXFSZ ignored), and returns the child's exit status.
int inChildWithFileSizeLimit(rlim_t limitBytes, const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return -1;
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
    if (waitpid(pid, &wstatus, 0) != pid || !WIFEXITED(wstatus)) return -1;
    return WEXITSTATUS(wstatus);
}

void limitFileSize(rlim_t bytes) {
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
}

std::uint64_t sizeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

TEST(WriteFailure, StripThatDoesNotReachTheDiskFailsTheScan) {
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
            return std::strcmp(e.what(), "libtiff call failed") == 0 ? kExpectedError : kWrongMessage;
        }
        return kNoError;
    });
    EXPECT_EQ(status, kExpectedError);
}

TEST(WriteFailure, ShortWriteOfTheWritersOwnBytesRaisesTheSystemText) {
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
            if (std::strcmp(e.what(), std::strerror(EFBIG)) != 0) return kWrongMessage;
        }
        // close() cannot append the material block either; it reports that
        // once, releases the file, and a second close has nothing to do.
        try {
            writer->close();
            return kNoError;
        } catch (const OrvoError& e) {
            if (std::strcmp(e.what(), std::strerror(EFBIG)) != 0) return kWrongMessage;
        }
        writer->close();
        return kExpectedError;
    });
    EXPECT_EQ(status, kExpectedError);
}

TEST(WriteFailure, OffsetsBeyondFourGibibytesAreRefused) {
    // A sparse extension puts the end of the file past 4 GiB without using
    // the disk space.
    ScratchDir dir;
    const std::string path = dir.file("huge.ovq");
    auto writer = makeWriter(dir.wfile("huge.ovq"), 2, 2);
    samplepattern::writePass(*writer, 4, 2, 2);
    constexpr off_t kBeyond = off_t(5) << 30;
    if (truncate(path.c_str(), kBeyond) != 0) GTEST_SKIP() << "no sparse files here";

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
    EXPECT_EQ(sizeOf(path), std::uint64_t(kBeyond) + 9 + 3 + 1);

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
