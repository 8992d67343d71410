// Registration of the custom tag with libtiff. Its own binary: the
// registration happens once per process, so this must be the first writer
// the process ever creates.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "writer/WriterTestSupport.h"

using namespace writertest;

namespace {

std::atomic<int> earlierExtenderCalls{0};
void earlierExtender(TIFF*) { ++earlierExtenderCalls; }

TEST(TagRegistration, ConcurrentFirstWritersInstallTheTagOnceAndHandOn) {
    // Another library of the host installed its extender before us.
    ASSERT_EQ(TIFFSetTagExtender(earlierExtender), nullptr) << "this test needs a fresh process";

    ScratchDir dir;
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
    for (auto& t : threads) t.join();
    ASSERT_EQ(failures, 0);

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
