// The hues classified so far, each with its material tag, in hue order: the
// questions classification asks of an ordered map (the hue itself or the
// next one above, the one just below, the smallest, the largest, and
// recording a new hue), answered as such a map would, for millions of hues.
//
// Hues are non-negative floats and never NaN, so they order exactly as their
// bit patterns do when read as unsigned integers (a negative zero is taken as
// zero, which it equals). The set is a bitmap over those 31-bit keys, in
// pages of 256 keys made on first use and found through chunks of 1024
// pages; pages and chunks each keep a bitmap of what they hold, and a
// bitmap tells which chunks exist, so the nearest hue above or below is
// found by scanning a bounded number of words however wide the empty
// stretch between.
//
// Tags are kept as runs: hues recorded next to one another mostly share a
// tag, because a hue within the limit of a recorded one takes its tag. Each
// page lists where in it the tag changes (its first hue always starts a
// run), in the page itself while the list is short, so that a page is one
// cache line and a new hue mostly reads and writes that line alone. The
// memory follows the keys' spread: 64 bytes a page in use, however many of
// its 256 keys are recorded, and a chunk's 4 KiB index per 2^18 keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

class HueSet {
public:
    struct Entry {
        float hue = 0.0f;
        unsigned short tag = 0;  // 0: there is no such entry
    };

    // The smallest hue not below h (h itself when recorded), and the
    // largest hue below h.
    struct Around {
        Entry atOrAbove;
        Entry below;
    };

    HueSet() = default;
    // A copy owns pages of its own (a classifier may be copied, with every
    // hue it has seen, and then go its own way).
    HueSet(const HueSet& other);
    HueSet& operator=(const HueSet& other);
    HueSet(HueSet&&) noexcept = default;
    HueSet& operator=(HueSet&&) noexcept = default;
    ~HueSet() = default;

    bool empty() const { return pageCount == 0; }

    Around around(float h) const;
    Entry first() const;
    Entry last() const;

    // Records h with `tag` (not 0). h must not be recorded yet.
    void insert(float h, unsigned short tag);

private:
    static constexpr unsigned kWordBits = std::numeric_limits<std::uint64_t>::digits;
    static constexpr unsigned kPageBits = 8;  // low key bits a page covers
    static constexpr unsigned kPageKeys = 1u << kPageBits;
    static constexpr unsigned kPageWords = kPageKeys / kWordBits;
    static constexpr unsigned kChunkBits = 10;  // page number bits a chunk covers
    static constexpr unsigned kChunkPages = 1u << kChunkBits;
    static constexpr unsigned kChunkWords = kChunkPages / kWordBits;
    // Runs a page holds itself: with the bitmap, one cache line.
    static constexpr unsigned kInlineRuns = 6;
    static constexpr std::size_t kPageAlign = 64;

    struct alignas(kPageAlign) Page {
        std::uint64_t bits[kPageWords] = {};  // bit o: key (page << kPageBits | o) is recorded
        // (offset << 16 | tag) of each hue whose tag differs from the one
        // before it in the page, ascending; in spilled[spill - 1] instead
        // once there are more than kInlineRuns.
        std::uint32_t runs[kInlineRuns] = {};
        std::uint32_t spill = 0;
        std::uint16_t runCount = 0;  // of `runs`, while not spilled
    };
    struct Chunk {
        std::uint64_t present[kChunkWords] = {};  // bit p: page p exists
        std::uint32_t page[kChunkPages] = {};     // 1 + page index; 0: none
    };
    struct Runs {
        const std::uint32_t* data;
        std::size_t size;
    };
    // A key with its tag; tag 0 when nothing was found.
    struct Hit {
        std::uint32_t key = 0;
        unsigned short tag = 0;
    };

    // 1 + index of page `number`; 0 when it does not exist.
    std::uint32_t pageIndex(std::uint32_t number) const;
    std::uint32_t makePage(std::uint32_t number);  // its index
    std::uint32_t nextPage(std::uint32_t number) const;
    std::uint32_t previousPage(std::uint32_t number) const;
    Hit firstFrom(std::uint32_t number) const;
    Hit lastBefore(std::uint32_t number) const;
    Hit hitAt(const Page& page, std::uint32_t number, unsigned offset) const;

    Runs runsOf(const Page& page) const;
    void insertRun(Page& page, std::size_t at, std::uint32_t run);
    void replaceRun(Page& page, std::size_t at, std::uint32_t run);

    std::vector<std::uint32_t> chunkOf;       // 1 + index in chunks, by key >> 18; 0: none
    std::vector<std::uint64_t> chunkPresent;  // bit c: chunkOf[c] is not 0
    std::vector<Chunk> chunks;
    // Pages in blocks, so that more pages never move the ones made before.
    static constexpr unsigned kBlockBits = 10;
    static constexpr std::size_t kBlockPages = std::size_t(1) << kBlockBits;
    Page& pageNumbered(std::uint32_t index)
    {
        return blocks[index >> kBlockBits][index & (kBlockPages - 1)];
    }
    const Page& pageNumbered(std::uint32_t index) const
    {
        return blocks[index >> kBlockBits][index & (kBlockPages - 1)];
    }
    std::vector<std::unique_ptr<Page[]>> blocks;
    std::uint32_t pageCount = 0;

    // What around() found in the page of the key asked last, as 1 + page
    // index (0: no page) and the offsets of the hues either side of it
    // there. Classification records the hue it has just asked about, so
    // insert() starts from this rather than search again; insert() clears it.
    struct Asked {
        std::uint32_t key;
        std::uint32_t page;
        std::uint32_t before;
        std::uint32_t after;
    };
    mutable Asked asked = {~std::uint32_t(0), 0, 0, 0};

    // The runs of the pages with more than kInlineRuns of them.
    std::vector<std::vector<std::uint32_t>> spilled;
};
