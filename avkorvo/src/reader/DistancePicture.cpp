#include "avkorvo/DistancePicture.h"

#include <limits>
#include <vector>

#include "QuietTiff.h"

namespace Talvenrock {
namespace Orvo {

namespace {

constexpr std::uint16_t kOneSample = 1;
constexpr std::uint16_t kFloatBits = 32;
// Deflate level: at 8K the default (6) takes half as long again for a file
// hardly smaller. The floating-point predictor (3) would pack the picture
// tighter, but common readers cannot undo it, and the horizontal one (2)
// differences integers, not floats.
constexpr int kDistanceZipLevel = 3;
constexpr std::uint32_t kDefaultStripRows = 0;  // libtiff picks about 8 KiB a strip

}  // namespace

void distanceRow(const std::uint32_t* codes, std::size_t width, double farDistance, float* out)
{
    for (std::size_t x = 0; x < width; ++x)
        out[x] = codes[x] == kNoDepth ? std::numeric_limits<float>::quiet_NaN()
                                      : static_cast<float>(depthDistance(codes[x], farDistance));
}

void writeDistancePicture(OrvoReader& reader, const std::string& path)
{
    const auto& s = reader.summary();
    QuietTiff out(path, "w");
    TIFF* tif = out.get();
    if (tif == nullptr)
        throw DistancePictureError(path + ": cannot create: " + out.takeError());
    const bool ok
        = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, s.width)
          && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, s.height)
          && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, kOneSample)
          && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, kFloatBits)
          && TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP)
          && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK)
          && TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
          && TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE)
          && TIFFSetField(tif, TIFFTAG_ZIPQUALITY, kDistanceZipLevel)
          && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, kDefaultStripRows));
    if (!ok)
        throw DistancePictureError(path + ": cannot set up the depth picture: " + out.takeError());
    const double far = s.camera.farDistance;
    std::vector<std::uint32_t> codes(s.width);
    std::vector<float> distances(s.width);
    for (std::uint32_t y = 0; y < s.height; ++y) {
        reader.readDepthRow(y, codes.data());
        distanceRow(codes.data(), s.width, far, distances.data());
        if (TIFFWriteScanline(tif, distances.data(), y, 0) < 0)
            throw DistancePictureError(path + ": cannot write row " + std::to_string(y) + ": "
                                       + out.takeError());
    }
    if (!out.close())
        throw DistancePictureError(path + ": cannot finish: " + out.takeError());
}

}  // namespace Orvo
}  // namespace Talvenrock
