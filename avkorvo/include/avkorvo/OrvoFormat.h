// The numbers that make a TIFF file an Orvo file: the custom tag that leads
// from each directory to its sub-file block, the meaning of a depth code,
// and the codes and byte layout of the blocks. The writer writes them and
// the reader checks them from this one place, so the two cannot drift apart.
//
// Every multi-byte field of a block is stored in the byte order the file's
// TIFF header states (the writer's machine order) and is unaligned. The
// layout given is that of a classic TIFF container, whose offsets are 32
// bits wide. Standard library only, so that a program that reads the files
// can share it without using the writer.
//
// The constants are plain constexpr, so each translation unit has its own:
// an inline variable whose address is taken becomes a process-unique symbol
// under glibc, and such a symbol keeps a module (the plug-in) from ever
// being unloaded.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Talvenrock {
namespace Orvo {

// ---- The custom tag -------------------------------------------------------

// Tag number (16 bits in each directory entry) of the private tag every
// directory carries. Its value is one LONG: the 32-bit file offset of the
// directory's sub-file block.
constexpr std::uint16_t kSubfileTag = 34953;
// The tag's name, as registered with libtiff and given in messages.
constexpr char kSubfileTagName[] = "QuillornSubfileData";
// Tag value of a directory whose block is not written yet: the material
// directory holds it until the file is closed, so a reader seeing it knows
// the file was never finished.
constexpr std::uint32_t kNoSubfileBlock = 0;

// ---- Depth codes ----------------------------------------------------------

// Each depth pixel is an unsigned 32-bit code. This one, the largest, marks
// a pixel where nothing was hit.
constexpr std::uint32_t kNoDepth = 0xFFFFFFFFu;
// The code that stands for the camera's farDistance, 2^32 - 2: a code c
// means the distance c / kDepthScale x farDistance from the camera, so
// every code below kNoDepth is a distance.
constexpr double kDepthScale = 4294967294.0;
static_assert(kDepthScale == static_cast<double>(kNoDepth - 1u),
              "the far distance is the largest code that is still a distance");

// ---- Block head: the first 12 bytes of every sub-file block ---------------
//
//   offset 0  LONG   block code (which block this is)
//   offset 4  SHORT  block version, kBlockVersion
//   offset 6  SHORT  block kind
//   offset 8  LONG   the block's count field (its meaning depends on the block)

constexpr std::uint64_t kBlockHeadSize = 12;
constexpr std::size_t kBlockCodeAt = 0;
constexpr std::size_t kBlockCountAt = 8;
constexpr std::uint16_t kBlockVersion = 1;

// Block codes, one per directory's block.
constexpr std::uint32_t kColourBlockCode = 0;
constexpr std::uint32_t kPlanarDepthBlockCode = 1;  // depth with a planar camera
constexpr std::uint32_t kMaterialBlockCode = 2;
constexpr std::uint32_t kPanoDepthBlockCode = 8;  // depth with a panoramic camera

// Block kinds and the fixed count fields of the colour and depth blocks;
// the material block's count field holds its number of material records.
constexpr std::uint16_t kColourBlockKind = 3;
constexpr std::uint16_t kDepthBlockKind = 0;
constexpr std::uint16_t kMaterialBlockKind = 1;
constexpr std::uint32_t kColourBlockCount = 5;
constexpr std::uint32_t kDepthBlockCount = 0;

// ---- Colour block ---------------------------------------------------------
//
//   offset 12  SHORT  shadow flag: kShadowFlagSet when a shadow direction
//                     was stored, else kShadowFlagClear
//   offset 14  SHORT  second flag, always kShadowFlagClear
//   only when the shadow flag is set:
//   offset 16  LONG   file offset of the property-list text's NUL
//   offset 20  LONG   length of the text in bytes, without its NUL
//   offset 24         the text, NUL-terminated

constexpr std::size_t kShadowFlagAt = 12;
constexpr std::uint16_t kShadowFlagClear = 0;
constexpr std::uint16_t kShadowFlagSet = 1;
// Bytes up to and including the flags: all a block without a shadow holds.
constexpr std::uint64_t kColourBlockFixedSize = 16;
// The end offset and the text length.
constexpr std::uint64_t kColourTextFieldsSize = 8;
constexpr std::uint64_t kColourBlockTextStart = kColourBlockFixedSize + kColourTextFieldsSize;
// How much wider an offset field is in a BigTIFF container (64 bits instead
// of 32), which moves every field after it.
constexpr std::uint64_t kBigTiffOffsetExtra = 4;

// ---- Depth blocks ---------------------------------------------------------
//
// After the head: LONG camera kind, then the camera's vectors (three
// DOUBLEs each): a planar camera's position, x, y, z and spare axes, top
// left and bottom right corners; a panoramic camera's position, three
// directions and one DOUBLE angle. Both end with the DOUBLEs nearDistance,
// farDistance and scale and a LONG code.

// Values of the LONG camera kind. The writer stores whatever its caller
// gives; these are the kinds the saver and the readers of the files know.
constexpr std::uint32_t kPerspectiveCameraKind = 0;
constexpr std::uint32_t kOtherPlanarCameraKind = 1;  // any planar camera but a perspective one
constexpr std::uint32_t kPanoramicCameraKind = 3;

constexpr std::uint64_t kPlanarDepthBlockSize = 212;
constexpr std::uint64_t kPanoDepthBlockSize = 148;
// The field widths the two sizes are checked against (seven vectors for a
// planar camera, four and the angle for a panoramic one), kept apart so
// that they do not crowd the format's own names.
namespace layout {
constexpr std::uint64_t kKindSize = sizeof(std::uint32_t);
constexpr std::uint64_t kVectorSize = 3 * sizeof(double);
constexpr std::uint64_t kTailSize = 3 * sizeof(double) + sizeof(std::uint32_t);
static_assert(kPlanarDepthBlockSize == kBlockHeadSize + kKindSize + 7 * kVectorSize + kTailSize,
              "a planar depth block is its head and the fields listed above");
static_assert(kPanoDepthBlockSize
                  == kBlockHeadSize + kKindSize + 4 * kVectorSize + sizeof(double) + kTailSize,
              "a panoramic depth block is its head and the fields listed above");
}  // namespace layout

// ---- Material block and records -------------------------------------------
//
// The block's count field holds the number of records; at offset 12 a LONG
// file offset of the last record written (0 when there is none). Each
// record starts with the LONG offset of the record written before it (0 for
// the first), so the list runs from the last record back to the first.
//
//   record offset 0  LONG   previous record
//   record offset 4  SHORT  material tag, as in the material picture
//   record offset 6  BYTE   red, then green at 7 and blue at 8
//   record offset 9         the material's name, UTF-8, NUL-terminated

constexpr std::size_t kMaterialListHeadAt = 12;
constexpr std::uint64_t kMaterialBlockSize = 16;
constexpr std::size_t kRecordPreviousAt = 0;
constexpr std::size_t kRecordTagAt = 4;
constexpr std::size_t kRecordRedAt = 6;
constexpr std::size_t kRecordGreenAt = 7;
constexpr std::size_t kRecordBlueAt = 8;
constexpr std::uint64_t kMaterialRecordFixedSize = 9;

}  // namespace Orvo
}  // namespace Talvenrock
