#include "saver/HueSet.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace {

// A leaf entry keeps the key's low bits above the 16-bit tag.
constexpr unsigned kTagBits = 16;
constexpr std::uint32_t kTagMask = (1u << kTagBits) - 1;
constexpr std::uint32_t kSignBit = 0x80000000u;
constexpr std::uint64_t kAllBits = ~std::uint64_t(0);

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
    return 63u - static_cast<unsigned>(__builtin_clzll(w));
#else
    unsigned n = 0;
    while (w >>= 1) ++n;
    return n;
#endif
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

unsigned short tagOf(std::uint32_t entry) { return static_cast<unsigned short>(entry & kTagMask); }
std::uint32_t lowOf(std::uint32_t entry) { return entry >> kTagBits; }

}  // namespace

HueSet::Hit HueSet::smallest(std::uint32_t child, unsigned level, std::uint32_t base) const
{
    for (; level < kLevels; ++level) {
        const Node& node = nodes[child];
        const unsigned d = lowestBit(node.present);
        base |= std::uint32_t(d) << shiftOf(level);
        child = node.child[d];
    }
    const std::uint32_t e = leaves[child].front();
    return {base | lowOf(e), tagOf(e)};
}

HueSet::Hit HueSet::largest(std::uint32_t child, unsigned level, std::uint32_t base) const
{
    for (; level < kLevels; ++level) {
        const Node& node = nodes[child];
        const unsigned d = highestBit(node.present);
        base |= std::uint32_t(d) << shiftOf(level);
        child = node.child[d];
    }
    const std::uint32_t e = leaves[child].back();
    return {base | lowOf(e), tagOf(e)};
}

HueSet::Hit HueSet::ceiling(std::uint32_t n, unsigned level, std::uint32_t key) const
{
    const unsigned shift = shiftOf(level);
    const std::uint32_t base = key >> shift >> kFanBits << kFanBits << shift;
    const Node& node = nodes[n];
    const unsigned d = (key >> shift) & (kFan - 1);
    if (node.present >> d & 1u) {
        if (level + 1 < kLevels) {
            const Hit hit = ceiling(node.child[d], level + 1, key);
            if (hit.tag != 0) return hit;
        } else {
            const std::vector<std::uint32_t>& leaf = leaves[node.child[d]];
            const auto it = std::lower_bound(leaf.begin(), leaf.end(), (key & kLeafMask) << kTagBits);
            if (it != leaf.end()) return {(key & ~kLeafMask) | lowOf(*it), tagOf(*it)};
        }
    }
    const std::uint64_t later = d + 1 < kFan ? node.present & (kAllBits << (d + 1)) : 0;
    if (later == 0) return {};
    const unsigned next = lowestBit(later);
    return smallest(node.child[next], level + 1, base | std::uint32_t(next) << shift);
}

HueSet::Hit HueSet::floor(std::uint32_t n, unsigned level, std::uint32_t key) const
{
    const unsigned shift = shiftOf(level);
    const std::uint32_t base = key >> shift >> kFanBits << kFanBits << shift;
    const Node& node = nodes[n];
    const unsigned d = (key >> shift) & (kFan - 1);
    if (node.present >> d & 1u) {
        if (level + 1 < kLevels) {
            const Hit hit = floor(node.child[d], level + 1, key);
            if (hit.tag != 0) return hit;
        } else {
            const std::vector<std::uint32_t>& leaf = leaves[node.child[d]];
            const auto it = std::lower_bound(leaf.begin(), leaf.end(), (key & kLeafMask) << kTagBits);
            if (it != leaf.begin()) return {(key & ~kLeafMask) | lowOf(it[-1]), tagOf(it[-1])};
        }
    }
    const std::uint64_t earlier = node.present & ~(kAllBits << d);
    if (earlier == 0) return {};
    const unsigned prev = highestBit(earlier);
    return largest(node.child[prev], level + 1, base | std::uint32_t(prev) << shift);
}

HueSet::Entry HueSet::atOrAbove(float h) const
{
    if (nodes.empty()) return {};
    const Hit hit = ceiling(0, 0, keyOf(h));
    return {hueOf(hit.key), hit.tag};
}

HueSet::Entry HueSet::below(float h) const
{
    if (nodes.empty()) return {};
    const Hit hit = floor(0, 0, keyOf(h));
    return {hueOf(hit.key), hit.tag};
}

HueSet::Entry HueSet::first() const
{
    if (nodes.empty()) return {};
    const Hit hit = smallest(0, 0, 0);
    return {hueOf(hit.key), hit.tag};
}

HueSet::Entry HueSet::last() const
{
    if (nodes.empty()) return {};
    const Hit hit = largest(0, 0, 0);
    return {hueOf(hit.key), hit.tag};
}

void HueSet::insert(float h, unsigned short tag)
{
    assert(tag != 0);
    const std::uint32_t key = keyOf(h);
    if (nodes.empty()) nodes.emplace_back();
    std::uint32_t n = 0;
    for (unsigned level = 0; level < kLevels; ++level) {
        const unsigned d = (key >> shiftOf(level)) & (kFan - 1);
        if (!(nodes[n].present >> d & 1u)) {
            // Taken before the push, which may move the nodes.
            std::uint32_t child;
            if (level + 1 < kLevels) {
                child = static_cast<std::uint32_t>(nodes.size());
                nodes.emplace_back();
            } else {
                child = static_cast<std::uint32_t>(leaves.size());
                leaves.emplace_back();
            }
            nodes[n].child[d] = child;
            nodes[n].present |= std::uint64_t(1) << d;
        }
        n = nodes[n].child[d];
    }
    std::vector<std::uint32_t>& leaf = leaves[n];
    const std::uint32_t entry = (key & kLeafMask) << kTagBits | tag;
    leaf.insert(std::lower_bound(leaf.begin(), leaf.end(), entry), entry);
}
