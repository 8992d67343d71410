// The writer's own bytes: the sub-file blocks, the material records and
// the primitives they are made of. Every value is written as it lies in
// memory, so in the machine's byte order, which is the order the TIFF
// header of the file states. Blocks are appended at the end of the file,
// unaligned and unpadded.
#include <cstdio>
#include <limits>

#include "OrvoFileImp.h"
#include "PropertyList.h"
#include "TiffStatus.h"
#include "Utf8.h"

namespace Talvenrock {
namespace Orvo {

namespace {

// Block codes, the first field of every block.
constexpr std::uint32_t kRgbBlock = 0;
constexpr std::uint32_t kPlanarDepthBlock = 1;
constexpr std::uint32_t kMaterialBlock = 2;
constexpr std::uint32_t kPanoDepthBlock = 8;

// Second and third fields of the block heads.
constexpr std::uint16_t kBlockVersion = 1;
constexpr std::uint16_t kRgbKind = 3;
constexpr std::uint16_t kDepthKind = 0;
constexpr std::uint16_t kMaterialKind = 1;
constexpr std::uint32_t kRgbExtra = 5;
constexpr std::uint32_t kDepthExtra = 0;

// Bytes from an RGB block's start to its property-list text: the head, the
// two shadow flags, the end offset and the text length. An offset field is
// four bytes wider in a BigTIFF container.
constexpr std::uint64_t kRgbTextStart = 24;
constexpr std::uint64_t kBigOffsetExtra = 4;

constexpr unsigned long long kLargestClassicOffset = std::numeric_limits<std::uint32_t>::max();

}  // namespace

std::uint64_t OrvoFileImp::seekToEnd() {
    // Whatever is appended after this was not counted by appendStrip.
    appendEnd_ = 0;
    clearSystemError();
    const toff_t end = TIFFGetSeekProc(tif_)(TIFFClientdata(tif_), 0, SEEK_END);
    if (end == static_cast<toff_t>(-1)) throwSystemError();
    return end;
}

void OrvoFileImp::putBytes(const void* data, std::size_t size) {
    clearSystemError();
    // libtiff's write procedure takes a non-const buffer but only reads it.
    const tmsize_t written =
        TIFFGetWriteProc(tif_)(TIFFClientdata(tif_), const_cast<void*>(data), static_cast<tmsize_t>(size));
    if (written != static_cast<tmsize_t>(size)) throwSystemError();
}

void OrvoFileImp::putByte(unsigned char value) { putBytes(&value, sizeof value); }
void OrvoFileImp::putShort(unsigned short value) { putBytes(&value, sizeof value); }
void OrvoFileImp::putLong(unsigned int value) { putBytes(&value, sizeof value); }
void OrvoFileImp::putDouble(double value) { putBytes(&value, sizeof value); }

void OrvoFileImp::putVector(const double* xyz) {
    for (int i = 0; i < 3; ++i) putDouble(xyz[i]);
}

void OrvoFileImp::putString(const std::string& bytes) {
    // The terminating NUL is part of the field.
    putBytes(bytes.c_str(), bytes.size() + 1);
}

void OrvoFileImp::putOffset(unsigned long long offset) {
    if (TIFFIsBigTIFF(tif_)) {
        const std::uint64_t wide = offset;
        putBytes(&wide, sizeof wide);
        return;
    }
    if (offset > kLargestClassicOffset) throw OrvoError("offset out of range");
    putLong(static_cast<unsigned int>(offset));
}

void OrvoFileImp::putBlockHead(std::uint32_t code, std::uint16_t kind, std::uint32_t extra) {
    putLong(code);
    putShort(kBlockVersion);
    putShort(kind);
    putLong(extra);
}

std::uint64_t OrvoFileImp::putRgbQSF() {
    const std::uint64_t start = seekToEnd();
    putBlockHead(kRgbBlock, kRgbKind, kRgbExtra);
    const bool hasShadow = shadow_[0] != 0.0 || shadow_[1] != 0.0 || shadow_[2] != 0.0;
    if (!hasShadow) {
        putShort(0);
        putShort(0);
        return start;
    }
    putShort(1);
    putShort(0);
    const std::string text = propertyList(utf8(path_), shadow_);
    const std::uint64_t textStart = start + kRgbTextStart + (TIFFIsBigTIFF(tif_) ? kBigOffsetExtra : 0);
    putOffset(textStart + text.size());
    putLong(static_cast<unsigned int>(text.size()));
    putString(text);
    return start;
}

std::uint64_t OrvoFileImp::putZQSF() {
    const std::uint64_t start = seekToEnd();
    if (panoramic_) {
        const PanoProjection& p = panoProjection_;
        putBlockHead(kPanoDepthBlock, kDepthKind, kDepthExtra);
        putLong(p.kind);
        putVector(p.position);
        putVector(p.direction1);
        putVector(p.direction2);
        putVector(p.direction3);
        putDouble(p.angle);
        putDouble(p.nearDistance);
        putDouble(p.farDistance);
        putDouble(p.scale);
        putLong(p.code);
    } else {
        const Projection& p = projection_;
        putBlockHead(kPlanarDepthBlock, kDepthKind, kDepthExtra);
        putLong(p.kind);
        putVector(p.position);
        putVector(p.xAxis);
        putVector(p.yAxis);
        putVector(p.zAxis);
        putVector(p.spareAxis);
        putVector(p.topLeft);
        putVector(p.bottomRight);
        putDouble(p.nearDistance);
        putDouble(p.farDistance);
        putDouble(p.scale);
        putLong(p.code);
    }
    return start;
}

std::uint64_t OrvoFileImp::putMatQSF() {
    const std::uint64_t start = seekToEnd();
    putBlockHead(kMaterialBlock, kMaterialKind, materialCount_);
    putOffset(materialHead_);
    return start;
}

void OrvoFileImp::putMaterial(unsigned short tag, unsigned char r, unsigned char g,
                              unsigned char b, const std::wstring& name) {
    requireOpen("putMaterial");
    // The records form a list from the last one written back to the first;
    // head and count change only once the whole record is in the file.
    const std::uint64_t start = seekToEnd();
    putOffset(materialHead_);
    putShort(tag);
    putByte(r);
    putByte(g);
    putByte(b);
    putString(utf8(name));
    materialHead_ = start;
    ++materialCount_;
}

}  // namespace Orvo
}  // namespace Talvenrock
