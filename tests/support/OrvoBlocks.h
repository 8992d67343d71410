// Test-side reader of the bytes of an Orvo file.
//
// It decodes the classic TIFF header and directory chain, the sub-file blocks
// the custom tag 34953 points at, the material record list and the
// property-list text straight from the file's bytes. It is written from the
// byte layout of the format alone and shares no code with the writer, so a
// test that reads a file through it checks the writer against the layout
// rather than against itself. Every read is bounds-checked; a malformed file
// raises std::runtime_error naming the offset, never reads out of range.
//
// Header-only; no libtiff needed.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvoblocks {

// Tag number of the custom tag that points each directory at its block.
constexpr std::uint16_t kSubfileTag = 34953;

// Block codes of the sub-file blocks.
constexpr std::uint32_t kRgbBlockCode = 0;
constexpr std::uint32_t kPlanarDepthBlockCode = 1;
constexpr std::uint32_t kMaterialBlockCode = 2;
constexpr std::uint32_t kPanoDepthBlockCode = 8;

// Fixed lengths of the blocks that have one.
constexpr std::size_t kBlockHeadSize = 12;
constexpr std::size_t kRgbBlockSizeNoShadow = 16;
constexpr std::size_t kPlanarDepthBlockSize = 212;
constexpr std::size_t kPanoDepthBlockSize = 148;
constexpr std::size_t kMaterialBlockSize = 16;

// TIFF field types the directory walker understands for single values.
constexpr std::uint16_t kTiffShort = 3;
constexpr std::uint16_t kTiffLong = 4;

inline std::vector<unsigned char> readFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("OrvoBlocks: cannot open " + path + " for reading");
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

// The twelve bytes every block starts with.
struct BlockHead {
    std::uint32_t code = 0;
    std::uint16_t one = 0;    // always 1
    std::uint16_t kind = 0;   // 3 RGB, 0 depth, 1 material
    std::uint32_t extra = 0;  // 5 RGB, 0 depth, material count
};

struct RgbBlock {
    BlockHead head;
    std::uint16_t hasShadow = 0;
    std::uint16_t reserved = 0;
    std::uint32_t endOffset = 0;   // only when hasShadow
    std::uint32_t textLength = 0;  // only when hasShadow
    std::string text;              // only when hasShadow
    bool textNulTerminated = false;
    std::size_t size = 0;  // bytes the block occupies
};

struct PlanarCamera {
    std::uint32_t kind = 0;
    double position[3] = {}, xAxis[3] = {}, yAxis[3] = {}, zAxis[3] = {};
    double spareAxis[3] = {}, topLeft[3] = {}, bottomRight[3] = {};
    double nearDistance = 0, farDistance = 0, scale = 0;
    std::uint32_t code = 0;
};

struct PanoCamera {
    std::uint32_t kind = 0;
    double position[3] = {}, direction1[3] = {}, direction2[3] = {}, direction3[3] = {};
    double angle = 0, nearDistance = 0, farDistance = 0, scale = 0;
    std::uint32_t code = 0;
};

// A depth block; which camera is filled follows head.code (1 planar, 8 panoramic).
struct DepthBlock {
    BlockHead head;
    PlanarCamera planar;
    PanoCamera pano;
    std::size_t size = 0;
};

struct MaterialBlock {
    BlockHead head;
    std::uint32_t listHead = 0;
    std::size_t size = 0;
};

struct MaterialRecord {
    std::uint32_t offset = 0;  // where the record starts
    std::uint32_t previous = 0;
    std::uint16_t tag = 0;
    std::uint8_t r = 0, g = 0, b = 0;
    std::string name;  // UTF-8, without its NUL
};

struct IfdEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint32_t value = 0;  // raw 4-byte value/offset field, in file order decoded as LONG
    std::uint32_t entryOffset = 0;
};

struct Directory {
    std::uint32_t offset = 0;
    std::vector<IfdEntry> entries;

    const IfdEntry* find(std::uint16_t tag) const
    {
        for (const auto& e : entries)
            if (e.tag == tag)
                return &e;
        return nullptr;
    }
};

class OrvoBytes {
public:
    explicit OrvoBytes(std::vector<unsigned char> bytes) : bytes_(std::move(bytes))
    {
        if (bytes_.size() < 8)
            fail("file shorter than a TIFF header", 0);
        if (bytes_[0] == 'I' && bytes_[1] == 'I')
            big_ = false;
        else if (bytes_[0] == 'M' && bytes_[1] == 'M')
            big_ = true;
        else
            fail("no TIFF byte-order mark", 0);
        if (u16(2) != 42)
            fail("not a classic TIFF file (version is not 42)", 2);
    }

    static OrvoBytes fromFile(const std::string& path) { return OrvoBytes(readFileBytes(path)); }

    bool bigEndian() const { return big_; }
    std::size_t size() const { return bytes_.size(); }
    const std::vector<unsigned char>& bytes() const { return bytes_; }

    std::uint8_t u8(std::uint64_t off) const
    {
        need(off, 1);
        return bytes_[off];
    }
    std::uint16_t u16(std::uint64_t off) const
    {
        need(off, 2);
        const unsigned char* p = &bytes_[off];
        return big_ ? std::uint16_t(p[0] << 8 | p[1]) : std::uint16_t(p[1] << 8 | p[0]);
    }
    std::uint32_t u32(std::uint64_t off) const
    {
        need(off, 4);
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const unsigned char byte = bytes_[off + (big_ ? i : 3 - i)];
            v = (v << 8) | byte;
        }
        return v;
    }
    double f64(std::uint64_t off) const
    {
        need(off, 8);
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) {
            const unsigned char byte = bytes_[off + (big_ ? i : 7 - i)];
            v = (v << 8) | byte;
        }
        double d;
        std::memcpy(&d, &v, sizeof d);
        return d;
    }

    // Every image directory in chain order, with its raw entries.
    std::vector<Directory> directories() const
    {
        std::vector<Directory> dirs;
        std::set<std::uint32_t> seen;
        std::uint32_t off = u32(4);
        while (off != 0) {
            if (!seen.insert(off).second)
                fail("directory chain loops", off);
            Directory d;
            d.offset = off;
            const std::uint16_t n = u16(off);
            for (std::uint16_t i = 0; i < n; ++i) {
                const std::uint32_t e = off + 2 + 12u * i;
                IfdEntry entry;
                entry.entryOffset = e;
                entry.tag = u16(e);
                entry.type = u16(e + 2);
                entry.count = u32(e + 4);
                entry.value
                    = entry.type == kTiffShort && entry.count == 1 ? u16(e + 8) : u32(e + 8);
                d.entries.push_back(entry);
            }
            dirs.push_back(d);
            off = u32(off + 2 + 12u * n);
        }
        return dirs;
    }

    // The value of tag 34953 in each directory, in chain order. A directory
    // without the tag raises an error, since every Orvo directory carries it.
    std::vector<std::uint32_t> subfileOffsets() const
    {
        std::vector<std::uint32_t> offsets;
        for (const auto& d : directories()) {
            const IfdEntry* e = d.find(kSubfileTag);
            if (!e)
                fail("directory has no tag 34953", d.offset);
            if (e->count != 1 || (e->type != kTiffLong && e->type != kTiffShort))
                fail("tag 34953 is not a single LONG", e->entryOffset);
            offsets.push_back(e->value);
        }
        return offsets;
    }

    BlockHead head(std::uint64_t off) const
    {
        BlockHead h;
        h.code = u32(off);
        h.one = u16(off + 4);
        h.kind = u16(off + 6);
        h.extra = u32(off + 8);
        return h;
    }

    RgbBlock rgbBlock(std::uint64_t off) const
    {
        RgbBlock b;
        b.head = head(off);
        if (b.head.code != kRgbBlockCode)
            fail("block code is not the RGB block's", off);
        b.hasShadow = u16(off + 12);
        b.reserved = u16(off + 14);
        b.size = kRgbBlockSizeNoShadow;
        if (b.hasShadow) {
            b.endOffset = u32(off + 16);
            b.textLength = u32(off + 20);
            need(off + 24, b.textLength);
            b.text.assign(reinterpret_cast<const char*>(&bytes_[off + 24]), b.textLength);
            b.textNulTerminated = u8(off + 24 + b.textLength) == 0;
            b.size = 25 + std::size_t(b.textLength);
        }
        return b;
    }

    DepthBlock depthBlock(std::uint64_t off) const
    {
        DepthBlock b;
        b.head = head(off);
        std::uint64_t p = off + kBlockHeadSize;
        if (b.head.code == kPlanarDepthBlockCode) {
            PlanarCamera& c = b.planar;
            c.kind = u32(p), p += 4;
            for (double* v :
                 {c.position, c.xAxis, c.yAxis, c.zAxis, c.spareAxis, c.topLeft, c.bottomRight})
                p = vec(p, v);
            c.nearDistance = f64(p), p += 8;
            c.farDistance = f64(p), p += 8;
            c.scale = f64(p), p += 8;
            c.code = u32(p), p += 4;
        } else if (b.head.code == kPanoDepthBlockCode) {
            PanoCamera& c = b.pano;
            c.kind = u32(p), p += 4;
            for (double* v : {c.position, c.direction1, c.direction2, c.direction3})
                p = vec(p, v);
            c.angle = f64(p), p += 8;
            c.nearDistance = f64(p), p += 8;
            c.farDistance = f64(p), p += 8;
            c.scale = f64(p), p += 8;
            c.code = u32(p), p += 4;
        } else {
            fail("block code is not a depth block's", off);
        }
        b.size = std::size_t(p - off);
        return b;
    }

    MaterialBlock materialBlock(std::uint64_t off) const
    {
        MaterialBlock b;
        b.head = head(off);
        if (b.head.code != kMaterialBlockCode)
            fail("block code is not the material block's", off);
        b.listHead = u32(off + 12);
        b.size = kMaterialBlockSize;
        return b;
    }

    MaterialRecord materialRecord(std::uint64_t off) const
    {
        MaterialRecord r;
        r.offset = std::uint32_t(off);
        r.previous = u32(off);
        r.tag = u16(off + 4);
        r.r = u8(off + 6);
        r.g = u8(off + 7);
        r.b = u8(off + 8);
        r.name = cString(off + 9);
        return r;
    }

    // The records from `listHead` back to the first one written (the order
    // the file links them: last written first).
    std::vector<MaterialRecord> materials(std::uint32_t listHead) const
    {
        std::vector<MaterialRecord> out;
        std::set<std::uint32_t> seen;
        for (std::uint32_t off = listHead; off != 0;) {
            if (!seen.insert(off).second)
                fail("material list loops", off);
            out.push_back(materialRecord(off));
            off = out.back().previous;
        }
        return out;
    }

    // The values of a SHORT or LONG entry of any count, inline or out of line.
    std::vector<std::uint32_t> values(const IfdEntry& e) const
    {
        const std::uint32_t width = e.type == kTiffShort ? 2 : e.type == kTiffLong ? 4 : 0;
        if (width == 0)
            fail("entry is neither SHORT nor LONG", e.entryOffset);
        const std::uint64_t total = std::uint64_t(width) * e.count;
        const std::uint64_t at = total <= 4 ? e.entryOffset + 8 : u32(e.entryOffset + 8);
        need(at, total);
        std::vector<std::uint32_t> out;
        for (std::uint32_t i = 0; i < e.count; ++i)
            out.push_back(width == 2 ? u16(at + 2u * i) : u32(at + 4u * i));
        return out;
    }

    // The text of an ASCII entry, without its NUL.
    std::string text(const IfdEntry& e) const
    {
        const std::uint64_t at = e.count <= 4 ? e.entryOffset + 8 : u32(e.entryOffset + 8);
        need(at, e.count);
        std::string s(reinterpret_cast<const char*>(&bytes_[at]), e.count);
        if (!s.empty() && s.back() == '\0')
            s.pop_back();
        return s;
    }

    std::string cString(std::uint64_t off) const
    {
        std::string s;
        for (std::uint64_t p = off;; ++p) {
            const std::uint8_t c = u8(p);  // raises at the end of the file: no NUL found
            if (c == 0)
                break;
            s.push_back(char(c));
        }
        return s;
    }

private:
    std::uint64_t vec(std::uint64_t p, double* v) const
    {
        for (int i = 0; i < 3; ++i)
            v[i] = f64(p + 8u * i);
        return p + 24;
    }
    void need(std::uint64_t off, std::uint64_t n) const
    {
        if (off > bytes_.size() || n > bytes_.size() - off)
            fail("read of " + std::to_string(n) + " bytes past the end of the file", off);
    }
    [[noreturn]] static void fail(const std::string& what, std::uint64_t off)
    {
        throw std::runtime_error("OrvoBlocks: " + what + " at offset " + std::to_string(off));
    }

    std::vector<unsigned char> bytes_;
    bool big_ = false;
};

}  // namespace orvoblocks
