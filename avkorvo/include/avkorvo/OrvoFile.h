// Public interface of the Orvo file writer.
//
// An Orvo file is a classic TIFF file with up to three image directories
// (colour, depth codes, material tags); each points through the custom tag
// kSubfileTag at a metadata block appended to the file; the format's
// numbers are in OrvoFormat.h. Writers come only from OrvoFile::create; the
// caller owns the object and deletes it through this interface. Errors are
// raised as OrvoError.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "avkorvo/OrvoFormat.h"

namespace Talvenrock {
namespace Orvo {

// Unit of the resolution given to setResolution. Inch is the default; any
// other value is written as per centimetre.
enum ResolutionUnit { ResolutionInch = 1, ResolutionCentimeter = 2 };

// Camera of a perspective or other planar projection, stored field by field
// in the depth metadata block. The writer interprets none of the fields.
struct Projection {
    std::uint32_t kind = kOtherPlanarCameraKind;  // or kPerspectiveCameraKind
    double position[3] = {0.0, 0.0, 0.0};
    double xAxis[3] = {1.0, 0.0, 0.0};
    double yAxis[3] = {0.0, 0.0, 1.0};
    double zAxis[3] = {0.0, 1.0, 0.0};
    double spareAxis[3] = {0.0, 0.0, 1.0};
    double topLeft[3] = {0.0, 1.0, 0.0};
    double bottomRight[3] = {1.0, 0.0, 0.0};
    double nearDistance = 0.0;
    double farDistance = 1.0;
    double scale = 1.0;
    std::uint32_t code = 0;
};

// Panoramic camera, stored the same way by writers made with it.
struct PanoProjection {
    std::uint32_t kind = kPanoramicCameraKind;
    double position[3] = {0.0, 0.0, 0.0};
    double direction1[3] = {0.0, 0.0, 1.0};
    double direction2[3] = {0.0, 1.0, 0.0};
    double direction3[3] = {0.0, 1.0, 0.0};
    double angle = 60.0;
    double nearDistance = 0.0;
    double farDistance = 1.0;
    double scale = 1.0;
    std::uint32_t code = 0;
};

// The writer's error. what() is "libtiff call failed", "offset out of range"
// or the system's text for why a file operation failed (errno's; on Windows
// the Win32 error's where the operation left errno unset); a call the file
// cannot take (a scan past the last row, writing after close) names the
// operation and the file.
class OrvoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class OrvoFile {
public:
    // Stores the direction normalised to length 1, or (0, 0, 0) when its
    // squared length is not greater than 0. Taken at the first RGB scan.
    virtual void setShadowDirection(const double& x, const double& y, const double& z) = 0;
    // Taken at the first RGB scan; later calls change nothing in the file.
    virtual void setResolution(unsigned x, unsigned y, ResolutionUnit unit) = 0;
    // Selects the channels of the following scans (1 RGB, 2 depth,
    // 4 material) and restarts the strip counter.
    virtual void beginPass(int mask) = 0;
    // Stores the current line buffers of the pass's channels as the next row.
    // A pass holds at most height rows; a further scan of any channel is
    // refused before anything is written.
    virtual void putScan() = 0;
    // Line buffers, valid until the writer is deleted: width x (R, G, B)
    // bytes; width depth codes (kNoDepth, OrvoFormat.h, for no depth); width
    // material tags.
    virtual std::uint8_t* rgbLine() = 0;
    virtual std::uint32_t* zLine() = 0;
    virtual std::uint16_t* matLine() = 0;
    // Appends one material record at the end of the file. putScan and
    // putMaterial after close() raise OrvoError.
    virtual void putMaterial(unsigned short tag, unsigned char r, unsigned char g, unsigned char b,
                             const std::wstring& name)
        = 0;
    // Finishes and closes the file; a second call does nothing.
    virtual void close() = 0;
    // Closes the file if close() was not called, dropping any error. Never
    // throws.
    virtual ~OrvoFile() {}

    // A file the caller created, open for reading and writing and empty,
    // which the writer writes through and never closes: a file descriptor on
    // POSIX systems, a HANDLE on Windows. The caller closes it after the
    // writer is closed or deleted. Writing through a file opened once avoids
    // opening a name twice, which someone could redirect in between.
    struct OpenFile {
        std::intptr_t native;
    };

    // Create (or truncate) the file at path. Throws OrvoError; on failure no
    // writer is returned and nothing stays allocated.
    static OrvoFile* create(const std::wstring& path, unsigned width, unsigned height,
                            const std::wstring& software, const std::wstring& documentName,
                            const std::wstring& artist, const std::wstring& copyright,
                            const Projection& projection, bool compress);
    static OrvoFile* create(const std::wstring& path, unsigned width, unsigned height,
                            const std::wstring& software, const std::wstring& documentName,
                            const std::wstring& artist, const std::wstring& copyright,
                            const PanoProjection& projection, bool compress);
    // Write through `file` instead; `path` is the name the file will have,
    // recorded in the property list and given in messages.
    static OrvoFile* create(OpenFile file, const std::wstring& path, unsigned width,
                            unsigned height, const std::wstring& software,
                            const std::wstring& documentName, const std::wstring& artist,
                            const std::wstring& copyright, const Projection& projection,
                            bool compress);
    static OrvoFile* create(OpenFile file, const std::wstring& path, unsigned width,
                            unsigned height, const std::wstring& software,
                            const std::wstring& documentName, const std::wstring& artist,
                            const std::wstring& copyright, const PanoProjection& projection,
                            bool compress);
};

}  // namespace Orvo
}  // namespace Talvenrock
