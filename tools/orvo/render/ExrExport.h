// An Orvo file as one OpenEXR file that a compositor opens as it opens a
// render (`orvo export`), and that `orvo save` takes back:
//
//   R, G, B, A    the colour picture decoded from sRGB to linear light
//                 (decodeSrgb8), A = 1;
//   Z             planar depth in scene units: the distance of each depth
//                 code over the ray-length factor of its pixel's centre
//                 (RayLengths), the inverse of `orvo save --depth`;
//   distance      that distance itself, along the ray from the camera;
//                 both infinite where nothing was hit;
//   materialId    the material tag, a whole number, 0 for none;
//   CryptoMaterial00.r .g .b .a
//                 a Cryptomatte layer: rank 0 the ID of the tag's name in
//                 the material table with coverage 1, rank 1 empty; 0
//                 where there is no material or the tag has no name;
//
// every channel 32-bit float, so that each colour byte and each tag comes
// back exactly. The camera goes into worldToCamera and worldToNDC (in the
// host's world, Y up, as `orvo save` reads them without --up) and
// pixelAspectRatio; the texts, the resolution, the far distance, the
// material table (MaterialTable.h) and the property list into string
// attributes orvo/...
#pragma once

#include "avkorvo/OrvoReader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fennick {
namespace tool {

inline constexpr char kExportDepthChannel[] = "Z";
inline constexpr char kExportDistanceChannel[] = "distance";
inline constexpr char kExportMaterialChannel[] = "materialId";
inline constexpr char kExportCryptomatteLayer[] = "CryptoMaterial";

struct ExportSummary {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<std::string> channels;  // as written, in the file's order
    bool depth = false;                 // Z and distance
    bool worldToNdc = false;
    bool materials = false;  // materialId and the Cryptomatte layer
    std::size_t tableMaterials = 0;
    // The depthMax a save of the export needs for the same distances: the
    // far distance over kFarDistanceFactor.
    double depthMax = 0;
    // Pixels whose tag the material table does not name (0 in the
    // Cryptomatte layer).
    std::uint64_t unnamedTagPixels = 0;
    // What the file holds that the export leaves out, one line each.
    std::vector<std::string> leftOut;
};

// Checks that `reader`'s file can be exported (a planar camera, axes at
// right angles) before anything is written. Throws ToolError naming the
// file and what OpenEXR cannot express.
void checkExportable(const Talvenrock::Orvo::OrvoReader& reader);

// Writes the export of `reader`'s file to `writePath`; `target` is the name
// messages give it (the final name of a file written under a temporary
// one). Throws ToolError naming the file at fault.
ExportSummary exportToExr(Talvenrock::Orvo::OrvoReader& reader, const std::string& writePath,
                          const std::string& target);

}  // namespace tool
}  // namespace fennick
