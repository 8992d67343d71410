// Reader of Orvo files: a classic TIFF file whose directories carry a colour
// picture, depth codes and material tags, each pointing through tag 34953 at
// a metadata block appended to the file.
//
// The reader trusts nothing in the file: every offset and length is checked
// against the file size before it is followed, every uncompressed strip must
// hold exactly the bytes of its rows, and a material list that loops or runs
// past its count is refused. Every failure is a ReadError whose text
// names the file, the structure being read and its place, for example
// "demo.ovq: depth block at offset 1234: extends past end of file (size 1000)".
//
// Readers come only from OrvoReader::open; the caller owns the object.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "avkorvo/OrvoFormat.h"

namespace Talvenrock {
namespace Orvo {

class ReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a directory holds, told by its samples and bits and confirmed by the
// code of the block its tag 34953 points at.
enum class Channel { Colour, Depth, Material };

const char* channelName(Channel channel);

struct DirectoryInfo {
    unsigned index = 0;  // position in the directory chain, from 0
    Channel channel = Channel::Colour;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t samplesPerPixel = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t compression = 0;  // TIFF compression code, 1 none, 5 LZW
    std::uint32_t rowsPerStrip = 0;
    std::uint32_t blockOffset = 0;  // value of tag 34953
};

// The camera stored in the depth block. Planar cameras (block code 1) use
// xAxis .. bottomRight; panoramic ones (block code 8) use direction1 ..
// direction3 and angle. Values are as stored, in the file's byte order
// converted to the machine's.
struct Camera {
    bool panoramic = false;
    std::uint32_t blockCode = 0;
    std::uint32_t kind = 0;
    double position[3] = {0, 0, 0};
    double xAxis[3] = {0, 0, 0};
    double yAxis[3] = {0, 0, 0};
    double zAxis[3] = {0, 0, 0};
    double spareAxis[3] = {0, 0, 0};
    double topLeft[3] = {0, 0, 0};
    double bottomRight[3] = {0, 0, 0};
    double direction1[3] = {0, 0, 0};
    double direction2[3] = {0, 0, 0};
    double direction3[3] = {0, 0, 0};
    double angle = 0;
    double nearDistance = 0;
    double farDistance = 0;
    double scale = 0;
    std::uint32_t code = 0;
};

struct Material {
    std::uint16_t tag = 0;
    std::uint8_t red = 0, green = 0, blue = 0;
    std::string name;          // UTF-8 as stored
    std::uint32_t offset = 0;  // file offset of the record
};

// Everything but the pixels.
struct OrvoSummary {
    std::string path;
    bool littleEndian = true;
    std::uint64_t fileSize = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<DirectoryInfo> directories;  // in chain order
    // Texts of the colour directory; empty when the tag is absent.
    std::string software, dateTime, documentName, artist, copyright;
    bool hasResolution = false;
    double xResolution = 0, yResolution = 0;
    std::uint16_t resolutionUnit = 0;  // TIFF unit: 1 none, 2 inch, 3 centimetre
    // Colour block: whether a shadow direction was stored, and the property
    // list text that comes with it.
    bool shadowSet = false;
    std::string propertyList;
    bool hasCamera = false;
    Camera camera;
    bool hasMaterialBlock = false;
    std::uint32_t materialCount = 0;  // as the material block states it
    // In list order: from the last record written back to the first.
    std::vector<Material> materials;

    bool has(Channel channel) const;
    const DirectoryInfo* directory(Channel channel) const;
};

class OrvoReader {
public:
    // Opens and validates the file's structure (directories, the strips'
    // places and byte counts, blocks, camera, material list); pixels are
    // read on demand, and compressed ones decoded only then or by
    // verifyStrips(). Throws ReadError.
    static std::unique_ptr<OrvoReader> open(const std::string& path);

    virtual const OrvoSummary& summary() const = 0;

    // One row (0 at the top) of a channel, width elements; throws ReadError
    // when the channel is missing or the row cannot be decoded.
    // Colour: width x (R, G, B) bytes.
    virtual void readColourRow(std::uint32_t row, std::uint8_t* out) = 0;
    virtual void readDepthRow(std::uint32_t row, std::uint32_t* out) = 0;
    virtual void readMaterialRow(std::uint32_t row, std::uint16_t* out) = 0;

    // Decodes every row of every compressed directory once and throws
    // ReadError naming the first that cannot be decoded, with its directory,
    // strip and row ("demo.ovq: colour directory 0, strip 3, row 3: cannot be
    // decoded: ..."); afterwards every row of the file reads. Uncompressed
    // directories cost nothing here: open() has already checked that each of
    // their strips holds exactly its rows' bytes, which is all they need.
    //
    // open() does not do this itself because for a compressed file it is a
    // full decode of the pixels, which a user who reads some rows, or reads
    // them later (lazily, one array at a time), should not pay at every
    // open; a user that must refuse every undecodable file before it
    // reports on it (`orvo info`) calls it.
    virtual void verifyStrips() = 0;

    // Closes the file. Never throws.
    virtual ~OrvoReader() = default;
};

// The meaning of a depth code is the file format's (OrvoFormat.h): the
// reader's users compare and convert codes through these names.
using Talvenrock::Orvo::kDepthScale;
using Talvenrock::Orvo::kNoDepth;

// The distance from the camera that a code other than kNoDepth stands for.
inline double depthDistance(std::uint32_t code, double farDistance)
{
    return static_cast<double>(code) / kDepthScale * farDistance;
}

}  // namespace Orvo
}  // namespace Talvenrock
