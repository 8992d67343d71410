// The writer's own bytes: the sub-file blocks, the material records and
// the primitives they are made of. Every value is written as it lies in
// memory, so in the machine's byte order, which is the order the TIFF
// header of the file states. Blocks are appended at the end of the file,
// unaligned and unpadded.
#include <cstdio>

#include "OrvoFileImp.h"
#include "PropertyList.h"
#include "TiffStatus.h"
#include "Utf8.h"
#include "avkorvo/OrvoFormat.h"

namespace Talvenrock {
namespace Orvo {

std::uint64_t OrvoFileImp::seekToEnd()
{
    // Whatever is appended after this was not counted by appendStrip.
    appendEnd_ = 0;
    clearSystemError();
    const toff_t end = TIFFGetSeekProc(tif_)(TIFFClientdata(tif_), 0, SEEK_END);
    if (end == static_cast<toff_t>(-1))
        throwSystemError();
    return end;
}

void OrvoFileImp::putBytes(const void* data, std::size_t size)
{
    clearSystemError();
    // libtiff's write procedure takes a non-const buffer but only reads it.
    const tmsize_t written = TIFFGetWriteProc(tif_)(TIFFClientdata(tif_), const_cast<void*>(data),
                                                    static_cast<tmsize_t>(size));
    if (written != static_cast<tmsize_t>(size))
        throwSystemError();
}

void OrvoFileImp::putByte(unsigned char value) { putBytes(&value, sizeof value); }
void OrvoFileImp::putShort(unsigned short value) { putBytes(&value, sizeof value); }
void OrvoFileImp::putLong(unsigned int value) { putBytes(&value, sizeof value); }
void OrvoFileImp::putDouble(double value) { putBytes(&value, sizeof value); }

void OrvoFileImp::putVector(const double* xyz)
{
    for (int i = 0; i < 3; ++i)
        putDouble(xyz[i]);
}

void OrvoFileImp::putString(const std::string& bytes)
{
    // The terminating NUL is part of the field.
    putBytes(bytes.c_str(), bytes.size() + 1);
}

void OrvoFileImp::putOffset(unsigned long long offset)
{
    if (TIFFIsBigTIFF(tif_)) {
        const std::uint64_t wide = offset;
        putBytes(&wide, sizeof wide);
        return;
    }
    putLong(classicOffset(offset));
}

void OrvoFileImp::putBlockHead(std::uint32_t code, std::uint16_t kind, std::uint32_t extra)
{
    putLong(code);
    putShort(kBlockVersion);
    putShort(kind);
    putLong(extra);
}

std::uint64_t OrvoFileImp::putRgbQSF()
{
    const std::uint64_t start = seekToEnd();
    putBlockHead(kColourBlockCode, kColourBlockKind, kColourBlockCount);
    const bool hasShadow = shadow_[0] != 0.0 || shadow_[1] != 0.0 || shadow_[2] != 0.0;
    if (!hasShadow) {
        putShort(kShadowFlagClear);
        putShort(kShadowFlagClear);
        return start;
    }
    putShort(kShadowFlagSet);
    putShort(kShadowFlagClear);
    const std::string text = propertyList(utf8(path_), shadow_);
    const std::uint64_t textStart
        = start + kColourBlockTextStart + (TIFFIsBigTIFF(tif_) ? kBigTiffOffsetExtra : 0);
    putOffset(textStart + text.size());
    putLong(static_cast<unsigned int>(text.size()));
    putString(text);
    return start;
}

std::uint64_t OrvoFileImp::putZQSF()
{
    const std::uint64_t start = seekToEnd();
    if (panoramic_) {
        const PanoProjection& p = panoProjection_;
        putBlockHead(kPanoDepthBlockCode, kDepthBlockKind, kDepthBlockCount);
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
        putBlockHead(kPlanarDepthBlockCode, kDepthBlockKind, kDepthBlockCount);
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

std::uint64_t OrvoFileImp::putMatQSF()
{
    const std::uint64_t start = seekToEnd();
    putBlockHead(kMaterialBlockCode, kMaterialBlockKind, materialCount_);
    putOffset(materialHead_);
    return start;
}

void OrvoFileImp::putMaterial(unsigned short tag, unsigned char r, unsigned char g, unsigned char b,
                              const std::wstring& name)
{
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
