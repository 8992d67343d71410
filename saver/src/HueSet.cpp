#include "HueSet.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>

namespace {

constexpr unsigned kTagBits = 16;  // a run keeps its offset above the tag
constexpr std::uint32_t kTagMask = (1u << kTagBits) - 1;
constexpr std::uint32_t kSignBit = 0x80000000u;
constexpr std::uint32_t kKeyLimit = kSignBit;  // every key lies below it
constexpr std::uint64_t kAllBits = ~std::uint64_t(0);
constexpr std::uint32_t kNone = ~std::uint32_t(0);
constexpr unsigned kBitsPerWord = std::numeric_limits<std::uint64_t>::digits;

// Lowest and highest set bit of a word that is not 0.
unsigned lowestBit(std::uint64_t w)
{
#if defined(__GNUC__) || defined(__clang__)
    return static_cast<unsigned>(__builtin_ctzll(w));
#else
    unsigned n = 0;
    while (!(w & 1u)) {
        w >>= 1;
        ++n;
    }
    return n;
#endif
}

unsigned highestBit(std::uint64_t w)
{
#if defined(__GNUC__) || defined(__clang__)
    return kBitsPerWord - 1 - static_cast<unsigned>(__builtin_clzll(w));
#else
    unsigned n = 0;
    while (w >>= 1)
        ++n;
    return n;
#endif
}

// The first set bit at `from` or after it in a bitmap of `words` words.
std::uint32_t nextSet(const std::uint64_t* bitmap, std::size_t words, std::size_t from)
{
    std::size_t w = from / kBitsPerWord;
    if (w >= words)
        return kNone;
    std::uint64_t bits = bitmap[w] & (kAllBits << (from % kBitsPerWord));
    while (bits == 0) {
        if (++w == words)
            return kNone;
        bits = bitmap[w];
    }
    return static_cast<std::uint32_t>(w * kBitsPerWord + lowestBit(bits));
}

// The last set bit before `before`, which lies within the bitmap or just
// past its end.
std::uint32_t previousSet(const std::uint64_t* bitmap, std::size_t before)
{
    if (before == 0)
        return kNone;
    std::size_t w = (before - 1) / kBitsPerWord;
    std::uint64_t bits = bitmap[w] & (kAllBits >> (kBitsPerWord - 1 - (before - 1) % kBitsPerWord));
    while (bits == 0) {
        if (w == 0)
            return kNone;
        bits = bitmap[--w];
    }
    return static_cast<std::uint32_t>(w * kBitsPerWord + highestBit(bits));
}

void set(std::uint64_t* bitmap, std::size_t bit)
{
    bitmap[bit / kBitsPerWord] |= std::uint64_t(1) << (bit % kBitsPerWord);
}

// The hue's bits as an unsigned key; a negative zero becomes zero.
std::uint32_t keyOf(float h)
{
    assert(h >= 0.0f);
    std::uint32_t bits;
    std::memcpy(&bits, &h, sizeof bits);
    return bits & ~kSignBit;
}

float hueOf(std::uint32_t key)
{
    float h;
    std::memcpy(&h, &key, sizeof h);
    return h;
}

std::uint32_t runOf(unsigned offset, unsigned short tag)
{
    return std::uint32_t(offset) << kTagBits | tag;
}
unsigned offsetOf(std::uint32_t run) { return run >> kTagBits; }
unsigned short tagOf(std::uint32_t run) { return static_cast<unsigned short>(run & kTagMask); }

// Runs beyond which a search halves rather than walks.
constexpr std::size_t kShortRuns = 16;

// The run an offset of the page falls in: the last one starting at it or
// before it. There is one, as the page's first hue starts a run.
const std::uint32_t* runAt(const std::uint32_t* runs, std::size_t size, unsigned offset)
{
    if (size > kShortRuns)
        return std::upper_bound(runs, runs + size, runOf(offset, kTagMask)) - 1;
    std::size_t i = 1;
    while (i < size && offsetOf(runs[i]) <= offset)
        ++i;
    return runs + i - 1;
}

}  // namespace

HueSet::HueSet(const HueSet& other)
    : chunkOf(other.chunkOf), chunkPresent(other.chunkPresent), chunks(other.chunks),
      pageCount(other.pageCount), asked(other.asked), spilled(other.spilled)
{
    blocks.reserve(other.blocks.size());
    for (const auto& block : other.blocks) {
        blocks.emplace_back(new Page[kBlockPages]);
        std::copy(block.get(), block.get() + kBlockPages, blocks.back().get());
    }
}

HueSet& HueSet::operator=(const HueSet& other)
{
    if (this != &other)
        *this = HueSet(other);
    return *this;
}

std::uint32_t HueSet::pageIndex(std::uint32_t number) const
{
    const std::uint32_t c = number >> kChunkBits;
    if (c >= chunkOf.size() || chunkOf[c] == 0)
        return 0;
    return chunks[chunkOf[c] - 1].page[number & (kChunkPages - 1)];
}

// The first page in use at `number` or after it.
std::uint32_t HueSet::nextPage(std::uint32_t number) const
{
    std::uint32_t c = number >> kChunkBits;
    if (c < chunkOf.size() && chunkOf[c] != 0) {
        const std::uint32_t p
            = nextSet(chunks[chunkOf[c] - 1].present, kChunkWords, number & (kChunkPages - 1));
        if (p != kNone)
            return c << kChunkBits | p;
    }
    c = nextSet(chunkPresent.data(), chunkPresent.size(), std::size_t(c) + 1);
    if (c == kNone)
        return kNone;
    return c << kChunkBits | nextSet(chunks[chunkOf[c] - 1].present, kChunkWords, 0);
}

// The last page in use before `number`.
std::uint32_t HueSet::previousPage(std::uint32_t number) const
{
    std::uint32_t c = number >> kChunkBits;
    if (c < chunkOf.size() && chunkOf[c] != 0) {
        const std::uint32_t p
            = previousSet(chunks[chunkOf[c] - 1].present, number & (kChunkPages - 1));
        if (p != kNone)
            return c << kChunkBits | p;
    }
    c = previousSet(chunkPresent.data(), std::min<std::size_t>(c, chunkOf.size()));
    if (c == kNone)
        return kNone;
    return c << kChunkBits | previousSet(chunks[chunkOf[c] - 1].present, kChunkPages);
}

HueSet::Hit HueSet::hitAt(const Page& page, std::uint32_t number, unsigned offset) const
{
    const Runs runs = runsOf(page);
    return {number << kPageBits | offset, tagOf(*runAt(runs.data, runs.size, offset))};
}

// The smallest recorded key in page `number` or after it.
HueSet::Hit HueSet::firstFrom(std::uint32_t number) const
{
    number = nextPage(number);
    if (number == kNone)
        return {};
    const Page& page = pageNumbered(pageIndex(number) - 1);
    return hitAt(page, number, nextSet(page.bits, kPageWords, 0));
}

// The largest recorded key before page `number`.
HueSet::Hit HueSet::lastBefore(std::uint32_t number) const
{
    number = previousPage(number);
    if (number == kNone)
        return {};
    const Page& page = pageNumbered(pageIndex(number) - 1);
    return hitAt(page, number, previousSet(page.bits, kPageKeys));
}

HueSet::Around HueSet::around(float h) const
{
    const std::uint32_t key = keyOf(h);
    const std::uint32_t number = key >> kPageBits;
    const unsigned offset = key & (kPageKeys - 1);
    Hit above;
    Hit below;
    asked = {key, 0, kNone, kNone};
    if (const std::uint32_t index = pageIndex(number)) {
        const Page& page = pageNumbered(index - 1);
        const std::uint32_t next = nextSet(page.bits, kPageWords, offset);
        if (next != kNone)
            above = hitAt(page, number, next);
        const std::uint32_t previous = previousSet(page.bits, offset);
        if (previous != kNone)
            below = hitAt(page, number, previous);
        asked = {key, index, previous, next};
    }
    if (above.tag == 0)
        above = firstFrom(number + 1);
    if (below.tag == 0)
        below = lastBefore(number);
    return {{hueOf(above.key), above.tag}, {hueOf(below.key), below.tag}};
}

HueSet::Entry HueSet::first() const
{
    const Hit hit = firstFrom(0);
    return {hueOf(hit.key), hit.tag};
}

HueSet::Entry HueSet::last() const
{
    const Hit hit = lastBefore(kKeyLimit >> kPageBits);
    return {hueOf(hit.key), hit.tag};
}

HueSet::Runs HueSet::runsOf(const Page& page) const
{
    if (page.spill == 0)
        return {page.runs, page.runCount};
    const std::vector<std::uint32_t>& runs = spilled[page.spill - 1];
    return {runs.data(), runs.size()};
}

void HueSet::replaceRun(Page& page, std::size_t at, std::uint32_t run)
{
    if (page.spill == 0)
        page.runs[at] = run;
    else
        spilled[page.spill - 1][at] = run;
}

void HueSet::insertRun(Page& page, std::size_t at, std::uint32_t run)
{
    if (page.spill == 0 && page.runCount < kInlineRuns) {
        std::copy_backward(page.runs + at, page.runs + page.runCount,
                           page.runs + page.runCount + 1);
        page.runs[at] = run;
        ++page.runCount;
        return;
    }
    if (page.spill == 0) {
        spilled.emplace_back(page.runs, page.runs + page.runCount);
        page.spill = static_cast<std::uint32_t>(spilled.size());
    }
    std::vector<std::uint32_t>& runs = spilled[page.spill - 1];
    runs.insert(runs.begin() + static_cast<std::ptrdiff_t>(at), run);
}

std::uint32_t HueSet::makePage(std::uint32_t number)
{
    const std::uint32_t c = number >> kChunkBits;
    if (c >= chunkOf.size()) {
        chunkOf.resize(std::size_t(c) + 1);
        chunkPresent.resize(std::size_t(c) / kBitsPerWord + 1);
    }
    if (chunkOf[c] == 0) {
        chunks.emplace_back();
        chunkOf[c] = static_cast<std::uint32_t>(chunks.size());
        set(chunkPresent.data(), c);
    }
    Chunk& chunk = chunks[chunkOf[c] - 1];
    const std::uint32_t p = number & (kChunkPages - 1);
    if (chunk.page[p] == 0) {
        if (pageCount % kBlockPages == 0)
            blocks.emplace_back(new Page[kBlockPages]);
        chunk.page[p] = ++pageCount;
        set(chunk.present, p);
    }
    return chunk.page[p] - 1;
}

void HueSet::insert(float h, unsigned short tag)
{
    assert(tag != 0);
    const std::uint32_t key = keyOf(h);
    const unsigned offset = key & (kPageKeys - 1);
    std::uint32_t before;
    std::uint32_t after;
    Page* found;
    if (asked.key == key && asked.page != 0) {
        found = &pageNumbered(asked.page - 1);
        before = asked.before;
        after = asked.after;
    } else {
        found = &pageNumbered(makePage(key >> kPageBits));
        before = previousSet(found->bits, offset);
        after = nextSet(found->bits, kPageWords, offset + 1);
    }
    asked.key = kNone;
    Page& page = *found;
    assert(!(page.bits[offset / kBitsPerWord] >> (offset % kBitsPerWord) & 1u));

    // A hue that takes the tag of the one before it in the page continues
    // that run; otherwise it starts one, and the hue after it starts one
    // exactly when its tag differs from the new hue's.
    set(page.bits, offset);
    const Runs runs = runsOf(page);
    if (before != kNone && tagOf(*runAt(runs.data, runs.size, before)) == tag)
        return;

    const std::size_t at = static_cast<std::size_t>(
        std::lower_bound(runs.data, runs.data + runs.size, runOf(offset, 0)) - runs.data);
    if (after != kNone) {
        const std::uint32_t afterRun = *runAt(runs.data, runs.size, after);
        const bool afterStarts = offsetOf(afterRun) == after;
        if (afterStarts && tagOf(afterRun) == tag) {
            replaceRun(page, at, runOf(offset, tag));  // the new hue takes over that run
            return;
        }
        if (!afterStarts && tagOf(afterRun) != tag)
            insertRun(page, at, runOf(after, tagOf(afterRun)));
    }
    insertRun(page, at, runOf(offset, tag));
}
