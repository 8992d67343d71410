// Lifecycle of the writer: creation, the settings taken at the first RGB
// scan, closing and destruction.
#include "OrvoFileImp.h"

#include <cmath>
#include <exception>

#include "FileIo.h"
#include "TagExtender.h"
#include "TiffOpen.h"
#include "TiffStatus.h"
#include "Utf8.h"

namespace Talvenrock {
namespace Orvo {

namespace {
constexpr unsigned kDefaultResolution = 96;
constexpr std::uint32_t kAllChannels = 7;
}  // namespace

OrvoFileImp::OrvoFileImp(const OpenFile* file, const std::wstring& path, unsigned width,
                         unsigned height, const std::wstring& software,
                         const std::wstring& documentName, const std::wstring& artist,
                         const std::wstring& copyright, const Projection& projection,
                         const PanoProjection& panoProjection, bool panoramic, bool compress)
    // The buffers start zeroed, so a row the caller leaves unfilled stores
    // zeros rather than whatever the heap held before.
    : rgbLine_(new std::uint8_t[std::size_t(width) * 3]()), zLine_(new std::uint32_t[width]()),
      matLine_(new std::uint16_t[width]()), width_(width), height_(height), software_(software),
      documentName_(documentName), artist_(artist), copyright_(copyright), projection_(projection),
      panoProjection_(panoProjection), panoramic_(panoramic), compress_(compress), path_(path),
      native_(file ? file->native : kNoFile), resolutionX_(kDefaultResolution),
      resolutionY_(kDefaultResolution), resolutionUnit_(ResolutionInch)
{
    XTIFFInitialize();
    tif_ = file ? openTiffForWriting(file->native, path_) : openTiffForWriting(path_);
    if (!tif_)
        throwSystemError();
#ifndef _WIN32
    // libtiff opens a file by name as a plain descriptor on POSIX systems.
    // On Windows its handle may be a C runtime descriptor or a Win32 HANDLE,
    // depending on how libtiff was built, so positioned writes there go
    // through the handle's own seek and write instead.
    if (!file)
        native_ = TIFFFileno(tif_);
#endif
    passMask_ = kAllChannels;
    scan_ = 0;
}

OrvoFileImp::~OrvoFileImp()
{
    try {
        close();
    } catch (...) {
        // A destructor reports nothing: close() already released the handle.
    }
}

void OrvoFileImp::setShadowDirection(const double& x, const double& y, const double& z)
{
    const double s = x * x + y * y + z * z;
    // "Not greater than 0" also catches NaN, which compares false with 0.
    if (s > 0.0) {
        const double length = std::sqrt(s);
        shadow_[0] = x / length;
        shadow_[1] = y / length;
        shadow_[2] = z / length;
    } else {
        shadow_[0] = shadow_[1] = shadow_[2] = 0.0;
    }
}

void OrvoFileImp::setResolution(unsigned x, unsigned y, ResolutionUnit unit)
{
    resolutionX_ = x;
    resolutionY_ = y;
    resolutionUnit_ = unit;
}

void OrvoFileImp::beginPass(int mask)
{
    passMask_ = static_cast<std::uint32_t>(mask);
    scan_ = 0;
    // A directory written again by a later pass has strips whose offsets
    // are no longer 0, which libtiff overwrites where they lie rather than
    // appends: those scans go through libtiff.
    for (auto& arrays : stripArrays_)
        arrays = StripArrays();
}

void OrvoFileImp::requireOpen(const char* operation) const
{
    if (!tif_)
        throw OrvoError(std::string(operation) + " called after close of " + utf8(path_));
}

void OrvoFileImp::close()
{
    if (!tif_)
        return;
    // The handle is released whatever happens while finishing the material
    // directory; the first error still reaches the caller, and a second
    // close (or the destructor) then has nothing left to do.
    std::exception_ptr failure;
    if (directory_[MaterialChannel] != kNoDirectory) {
        try {
            checkTiffStatus(TIFFSetDirectory(tif_, directory_[MaterialChannel]));
            const std::uint64_t block = putMatQSF();
            checkTiffStatus(TIFFSetField(tif_, kSubfileTag, subfileTagValue(block)));
            checkTiffStatus(TIFFWriteDirectory(tif_));
        } catch (...) {
            failure = std::current_exception();
        }
    }
    TIFF* const tif = tif_;
    tif_ = nullptr;
    TIFFClose(tif);
    if (failure)
        std::rethrow_exception(failure);
}

OrvoFile* OrvoFile::create(const std::wstring& path, unsigned width, unsigned height,
                           const std::wstring& software, const std::wstring& documentName,
                           const std::wstring& artist, const std::wstring& copyright,
                           const Projection& projection, bool compress)
{
    return new OrvoFileImp(nullptr, path, width, height, software, documentName, artist, copyright,
                           projection, PanoProjection(), false, compress);
}

OrvoFile* OrvoFile::create(const std::wstring& path, unsigned width, unsigned height,
                           const std::wstring& software, const std::wstring& documentName,
                           const std::wstring& artist, const std::wstring& copyright,
                           const PanoProjection& projection, bool compress)
{
    return new OrvoFileImp(nullptr, path, width, height, software, documentName, artist, copyright,
                           Projection(), projection, true, compress);
}

OrvoFile* OrvoFile::create(OpenFile file, const std::wstring& path, unsigned width, unsigned height,
                           const std::wstring& software, const std::wstring& documentName,
                           const std::wstring& artist, const std::wstring& copyright,
                           const Projection& projection, bool compress)
{
    return new OrvoFileImp(&file, path, width, height, software, documentName, artist, copyright,
                           projection, PanoProjection(), false, compress);
}

OrvoFile* OrvoFile::create(OpenFile file, const std::wstring& path, unsigned width, unsigned height,
                           const std::wstring& software, const std::wstring& documentName,
                           const std::wstring& artist, const std::wstring& copyright,
                           const PanoProjection& projection, bool compress)
{
    return new OrvoFileImp(&file, path, width, height, software, documentName, artist, copyright,
                           Projection(), projection, true, compress);
}

}  // namespace Orvo
}  // namespace Talvenrock
