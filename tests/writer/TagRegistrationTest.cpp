// Registration of the custom tag with libtiff. Its own binary: the
// registration happens once per process, so this must be the first writer
// the process ever creates.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "writer/WriterTestAccess.h"
#include "writer/WriterTestSupport.h"

using namespace writertest;

namespace {

std::atomic<int> earlierExtenderCalls{0};
thread_local int earlierCallsOnThisThread = 0;
void earlierExtender(TIFF*)
{
    ++earlierExtenderCalls;
    ++earlierCallsOnThisThread;
}

// A handle opened on another thread while our extender is live but its
// predecessor not yet recorded: the installation is held up long enough for
// the opening thread to reach the extender.
std::string plainTiffPath;
std::thread openerDuringInstall;
std::atomic<bool> openerSawEarlierExtender{false};
void openWhileInstalling()
{
    openerDuringInstall = std::thread([] {
        earlierCallsOnThisThread = 0;
        if (TIFF* tif = TIFFOpen(plainTiffPath.c_str(), "r")) {
            openerSawEarlierExtender = earlierCallsOnThisThread > 0;
            TIFFClose(tif);
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

TEST(TagRegistration, ConcurrentFirstWritersInstallTheTagOnceAndHandOn)
{
    // Another library of the host installed its extender before us.
    ASSERT_EQ(TIFFSetTagExtender(earlierExtender), nullptr) << "this test needs a fresh process";

    ScratchDir dir;
    plainTiffPath = dir.file("plain.tif");
    {
        TIFF* tif = TIFFOpen(plainTiffPath.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 1);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        unsigned char pixel = 0;
        ASSERT_EQ(TIFFWriteEncodedStrip(tif, 0, &pixel, 1), 1);
        TIFFClose(tif);
    }
    Talvenrock::Orvo::WriterTestAccess::pauseTagInstallation(openWhileInstalling);

    constexpr int kThreads = 8;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            try {
                auto writer = makeWriter(dir.wfile("t" + std::to_string(i) + ".ovq"), 3, 2);
                samplepattern::writePass(*writer, 7, 3, 2);
                writer->close();
            } catch (...) {
                ++failures;
            }
        });
    for (auto& t : threads)
        t.join();
    ASSERT_EQ(failures, 0);
    ASSERT_TRUE(openerDuringInstall.joinable()) << "the installation did not run in this test";
    openerDuringInstall.join();
    EXPECT_TRUE(openerSawEarlierExtender)
        << "a handle opened during the installation skipped the earlier extender";

    for (int i = 0; i < kThreads; ++i) {
        const std::string path = dir.file("t" + std::to_string(i) + ".ovq");
        earlierExtenderCalls = 0;
        TiffFile tiff(path);
        EXPECT_GT(earlierExtenderCalls, 0) << "the earlier extender was not handed on to";
        const TIFFField* field = TIFFFindField(tiff.get(), 34953, TIFF_ANY);
        ASSERT_NE(field, nullptr);
        EXPECT_STREQ(TIFFFieldName(field), "QuillornSubfileData");
        EXPECT_EQ(TIFFFieldDataType(field), TIFF_LONG);
        const auto raw = bytesOf(path).subfileOffsets();
        for (int d = 0; d < 3; ++d) {
            tiff.select(d);
            EXPECT_EQ(tiff.u32(34953), raw[d]);
        }
    }
    // Still exactly one extender of ours in front of the earlier one.
    const TIFFExtendProc ours = TIFFSetTagExtender(nullptr);
    EXPECT_NE(ours, nullptr);
    EXPECT_NE(ours, &earlierExtender);
    TIFFSetTagExtender(ours);
}

}  // namespace
