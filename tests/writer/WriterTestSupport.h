// Helpers shared by the writer's test binaries: a scratch folder, writers
// with known settings, and quiet read-only libtiff handles.
#pragma once

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "avkorvo/OrvoFile.h"
#include "support/OrvoBlocks.h"
#include "support/ScratchDir.h"
#include "writer/SamplePattern.h"

namespace writertest {

using Talvenrock::Orvo::OrvoError;
using Talvenrock::Orvo::OrvoFile;
using Talvenrock::Orvo::PanoProjection;
using Talvenrock::Orvo::Projection;

using testsupport::ScratchDir;

inline std::unique_ptr<OrvoFile> makeWriter(const std::wstring& path, unsigned width,
                                            unsigned height, bool compress = false,
                                            const std::wstring& software = L"fennick tests")
{
    return std::unique_ptr<OrvoFile>(
        OrvoFile::create(path, width, height, software, L"", L"", L"", Projection(), compress));
}

inline orvoblocks::OrvoBytes bytesOf(const std::string& path)
{
    return orvoblocks::OrvoBytes::fromFile(path);
}

// A read-only libtiff handle whose warnings and errors are dropped; tests
// assert on values, not on libtiff's console output.
class TiffFile {
public:
    explicit TiffFile(const std::string& path)
    {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
        tif_ = TIFFOpenExt(path.c_str(), "r", options);
        TIFFOpenOptionsFree(options);
        if (!tif_)
            throw std::runtime_error("libtiff cannot open " + path);
    }
    ~TiffFile() { TIFFClose(tif_); }
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    TIFF* get() const { return tif_; }
    int directoryCount() const { return TIFFNumberOfDirectories(tif_); }
    void select(int directory) const
    {
        if (!TIFFSetDirectory(tif_, static_cast<tdir_t>(directory)))
            throw std::runtime_error("libtiff cannot read directory " + std::to_string(directory));
    }
    std::uint32_t u32(ttag_t tag) const
    {
        std::uint32_t v = 0;
        if (!TIFFGetField(tif_, tag, &v))
            throw std::runtime_error("tag missing: " + std::to_string(tag));
        return v;
    }
    std::uint16_t u16(ttag_t tag) const
    {
        std::uint16_t v = 0;
        if (!TIFFGetField(tif_, tag, &v))
            throw std::runtime_error("tag missing: " + std::to_string(tag));
        return v;
    }
    std::string text(ttag_t tag) const
    {
        const char* v = nullptr;
        if (!TIFFGetField(tif_, tag, &v) || !v)
            throw std::runtime_error("text tag missing");
        return v;
    }
    float real(ttag_t tag) const
    {
        float v = 0;
        if (!TIFFGetField(tif_, tag, &v))
            throw std::runtime_error("tag missing: " + std::to_string(tag));
        return v;
    }
    // The decoded bytes of strip `strip` of the current directory.
    std::vector<unsigned char> strip(std::uint32_t strip) const
    {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(TIFFStripSize(tif_)));
        const tmsize_t n
            = TIFFReadEncodedStrip(tif_, strip, bytes.data(), static_cast<tmsize_t>(bytes.size()));
        if (n < 0)
            throw std::runtime_error("libtiff cannot read strip " + std::to_string(strip));
        bytes.resize(static_cast<std::size_t>(n));
        return bytes;
    }

private:
    static int quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }
    TIFF* tif_ = nullptr;
};

// The expected bytes of row y of a channel, in the machine's byte order.
inline std::vector<unsigned char> expectedRow(int channel, unsigned width, unsigned y)
{
    std::vector<unsigned char> row;
    for (unsigned x = 0; x < width; ++x) {
        if (channel == 1) {
            for (unsigned c = 0; c < 3; ++c)
                row.push_back(samplepattern::rgb(x, y, c));
        } else if (channel == 2) {
            const std::uint32_t v = samplepattern::depth(x, y);
            const auto* p = reinterpret_cast<const unsigned char*>(&v);
            row.insert(row.end(), p, p + sizeof v);
        } else {
            const std::uint16_t v = samplepattern::material(x, y);
            const auto* p = reinterpret_cast<const unsigned char*>(&v);
            row.insert(row.end(), p, p + sizeof v);
        }
    }
    return row;
}

}  // namespace writertest
