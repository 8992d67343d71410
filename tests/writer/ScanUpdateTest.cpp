// The two ways of keeping a channel's directory current after each scan:
// writing only the new strip's entries, and reading the directory back and
// rewriting it whole through libtiff. Both must leave the same bytes on
// disk after every scan and after close, whatever the picture's shape and
// the order of the passes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "writer/WriterTestAccess.h"
#include "writer/WriterTestSupport.h"

using namespace writertest;
using Talvenrock::Orvo::OrvoFileImp;
using Talvenrock::Orvo::WriterTestAccess;

namespace {

constexpr std::uint16_t kDateTimeTag = 306;

// The file's bytes with the DateTime text blanked: the two writers take
// the clock a moment apart, and only that value may differ.
std::vector<unsigned char> bytesWithoutClock(const std::string& path)
{
    const auto file = bytesOf(path);
    std::vector<unsigned char> bytes = file.bytes();
    for (const auto& directory : file.directories())
        if (const auto* entry = directory.find(kDateTimeTag))
            for (std::uint32_t i = 0; i < entry->count; ++i)
                bytes.at(entry->value + i) = 0;
    return bytes;
}

std::unique_ptr<OrvoFileImp> makeImp(const std::wstring& path, unsigned width, unsigned height,
                                     bool compress, bool wholeDirectories)
{
    auto writer = std::make_unique<OrvoFileImp>(nullptr, path, width, height, L"fennick tests",
                                                L"scan update", L"", L"", Projection(),
                                                PanoProjection(), false, compress);
    if (wholeDirectories)
        WriterTestAccess::rewriteWholeDirectories(*writer);
    return writer;
}

struct Shape {
    unsigned width, height;
};

// Writes the same picture with both updates, comparing the files after
// every scan and after close. A channel written by a second pass gets rows
// of other content, so its strips are rewritten rather than appended.
void expectSameFiles(const Shape& shape, const std::vector<int>& passes, bool compress)
{
    ScratchDir dir;
    auto entries = makeImp(dir.wfile("entries.ovq"), shape.width, shape.height, compress,
                           /*wholeDirectories=*/false);
    auto whole = makeImp(dir.wfile("whole.ovq"), shape.width, shape.height, compress,
                         /*wholeDirectories=*/true);
    int written = 0;
    for (std::size_t p = 0; p < passes.size(); ++p) {
        const int mask = passes[p];
        const unsigned shift = (written & mask) ? 1 : 0;
        written |= mask;
        entries->beginPass(mask);
        whole->beginPass(mask);
        for (unsigned y = 0; y < shape.height; ++y) {
            // A record appended between two scans of a pass: the next strip
            // goes after it, not where the previous strip ended.
            if (p == 0 && y > 0 && y == shape.height / 2)
                for (auto* writer : {entries.get(), whole.get()})
                    writer->putMaterial(3, 1, 2, 3, L"between");
            samplepattern::fillRow(*entries, mask, shape.width, y + shift);
            samplepattern::fillRow(*whole, mask, shape.width, y + shift);
            entries->putScan();
            whole->putScan();
            ASSERT_EQ(bytesWithoutClock(dir.file("entries.ovq")),
                      bytesWithoutClock(dir.file("whole.ovq")))
                << "pass " << p << " (mask " << mask << "), after row " << y;
        }
    }
    for (auto* writer : {entries.get(), whole.get()}) {
        writer->putMaterial(1, 10, 20, 30, L"first");
        writer->putMaterial(2, 40, 50, 60, L"second");
        writer->close();
    }
    EXPECT_EQ(bytesWithoutClock(dir.file("entries.ovq")), bytesWithoutClock(dir.file("whole.ovq")))
        << "after close";
}

TEST(ScanUpdate, StripEntriesLeaveTheBytesOfWholeRewritesAfterEveryScan)
{
    // Rows of up to 65535 bytes have their byte counts stored as SHORT, wider
    // ones (RGB and depth rows of the last shape) as LONG.
    const Shape shapes[] = {{5, 1}, {3, 2}, {7, 5}, {1, 9}, {21846, 3}};
    const std::vector<std::vector<int>> plans = {
        {7},        // every channel in one pass
        {1, 2, 4},  // one pass a channel
        {4, 3},     // directories created out of channel order
        {1, 7},     // RGB written again by a later pass
    };
    for (const bool compress : {false, true})
        for (const Shape& shape : shapes)
            for (const auto& plan : plans) {
                SCOPED_TRACE(std::string(compress ? "LZW" : "uncompressed") + ", "
                             + std::to_string(shape.width) + "x" + std::to_string(shape.height)
                             + ", passes " + std::to_string(plan.size()) + " starting with mask "
                             + std::to_string(plan.front()));
                expectSameFiles(shape, plan, compress);
                if (HasFatalFailure())
                    return;
            }
}

}  // namespace
