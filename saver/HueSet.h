// The hues classified so far, each with its material tag, in hue order: the
// questions classification asks of an ordered map (the hue itself or the
// next one above, the one just below, the smallest, the largest, and
// recording a new hue), answered as such a map would, for millions of hues.
//
// Hues are non-negative floats and never NaN, so they order exactly as their
// bit patterns do when read as unsigned integers (a negative zero is taken as
// zero, which it equals). The set is a trie over those 31 bits: four levels
// of 64-way nodes, each holding a word that says which of its children
// exist, so that the nearest hue above or below is found with a bit scan
// however wide the empty stretch between; at the bottom, leaves of 256
// consecutive keys, each a short sorted array of its hues and their tags.
// Memory follows the hues held: a lone hue costs one small leaf, a dense
// run of hues about four bytes each, and the nodes above the leaves are
// bounded by the spread of the keys rather than their count.
#pragma once

#include <cstdint>
#include <vector>

class HueSet {
public:
    struct Entry {
        float hue = 0.0f;
        unsigned short tag = 0;  // 0: there is no such entry
    };

    bool empty() const { return nodes.empty(); }

    // The smallest hue not below h (h itself when recorded).
    Entry atOrAbove(float h) const;
    // The largest hue below h.
    Entry below(float h) const;
    Entry first() const;
    Entry last() const;

    // Records h with `tag` (not 0). h must not be recorded yet.
    void insert(float h, unsigned short tag);

private:
    static constexpr unsigned kFanBits = 6;
    static constexpr unsigned kFan = 1u << kFanBits;
    static constexpr unsigned kLevels = 4;  // node levels above the leaves
    static constexpr unsigned kLeafBits = 8;  // low key bits a leaf covers
    static constexpr std::uint32_t kLeafMask = (1u << kLeafBits) - 1;

    // Position of a level's digit in the key: level 0 (the root) takes the
    // top bits, the last node level those just above the leaf's.
    static constexpr unsigned shiftOf(unsigned level) { return kLeafBits + kFanBits * (kLevels - 1 - level); }

    struct Node {
        std::uint64_t present = 0;  // bit d: child d exists
        std::uint32_t child[kFan] = {};  // nodes, or on the last level leaves
    };
    // A key with its tag; tag 0 when nothing was found.
    struct Hit {
        std::uint32_t key = 0;
        unsigned short tag = 0;
    };

    Hit ceiling(std::uint32_t node, unsigned level, std::uint32_t key) const;
    Hit floor(std::uint32_t node, unsigned level, std::uint32_t key) const;
    Hit smallest(std::uint32_t child, unsigned level, std::uint32_t base) const;
    Hit largest(std::uint32_t child, unsigned level, std::uint32_t base) const;

    std::vector<Node> nodes;  // nodes[0] is the root, once anything is recorded
    // Per leaf, (key's low bits << 16 | tag) in ascending order.
    std::vector<std::vector<std::uint32_t>> leaves;
};
