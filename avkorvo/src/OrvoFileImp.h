// The writer behind the OrvoFile interface.
//
// Owns the TIFF handle and the three line buffers. All bytes of the file,
// libtiff's and the writer's own blocks, go through the one open file: the
// blocks are appended with the handle's raw seek and write procedures, the
// strips and strip entries of a pass with positioned writes (FileIo.h), all
// in the machine's byte order (the order the TIFF header states).
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <string>

#include "avkorvo/OrvoFile.h"

namespace Talvenrock {
namespace Orvo {

class OrvoFileImp final : public OrvoFile {
public:
    // Opens the file at `path`, or writes through `file` when it is given;
    // raises OrvoError with the system's text for the open's failure when it
    // cannot be created. `panoramic` selects which record the depth block
    // carries.
    OrvoFileImp(const OpenFile* file, const std::wstring& path, unsigned width, unsigned height,
                const std::wstring& software, const std::wstring& documentName,
                const std::wstring& artist, const std::wstring& copyright,
                const Projection& projection, const PanoProjection& panoProjection, bool panoramic,
                bool compress);
    // Closes the file if close() was not called, dropping any error. Never
    // throws.
    ~OrvoFileImp() override;

    OrvoFileImp(const OrvoFileImp&) = delete;
    OrvoFileImp& operator=(const OrvoFileImp&) = delete;

    void setShadowDirection(const double& x, const double& y, const double& z) override;
    void setResolution(unsigned x, unsigned y, ResolutionUnit unit) override;
    void beginPass(int mask) override;
    void putScan() override;
    std::uint8_t* rgbLine() override { return rgbLine_.get(); }
    std::uint32_t* zLine() override { return zLine_.get(); }
    std::uint16_t* matLine() override { return matLine_.get(); }
    void putMaterial(unsigned short tag, unsigned char r, unsigned char g, unsigned char b,
                     const std::wstring& name) override;
    void close() override;

private:
    // The writer's tests reach the state below that no caller may change
    // (WriterTestAccess, defined by the tests only).
    friend class WriterTestAccess;

    // Scan writing (ScanWriter.cpp).
    enum Channel { RgbChannel, DepthChannel, MaterialChannel, ChannelCount };
    void writeChannel(Channel channel);
    void createDirectory(Channel channel);
    void setRgbTags();
    void setDepthTags();
    void setMaterialTags();
    void presetSecondStripByteCount();
    void locateStripArrays(Channel channel);
    bool appendStrip(Channel channel, const void* line, std::uint32_t size);
    void getBytes(std::uint64_t offset, void* data, std::size_t size);
    void putEntryAt(std::uint64_t array, std::uint32_t value, std::uint16_t type);
    bool writeAt(std::uint64_t offset, const void* data, std::size_t size);
    [[noreturn]] void throwBeyondLastRow() const;

    // The writer's own bytes (SubfileBlocks.cpp). Each block writer appends
    // its block at the end of the file and returns the block's offset.
    std::uint64_t putRgbQSF();
    std::uint64_t putZQSF();
    std::uint64_t putMatQSF();
    std::uint64_t seekToEnd();
    void putBytes(const void* data, std::size_t size);
    void putByte(unsigned char value);
    void putShort(unsigned short value);
    void putLong(unsigned int value);
    void putDouble(double value);
    void putVector(const double* xyz);
    void putString(const std::string& bytes);
    void putOffset(unsigned long long offset);
    void putBlockHead(std::uint32_t code, std::uint16_t kind, std::uint32_t extra);

    // Raises OrvoError when the file was already closed.
    void requireOpen(const char* operation) const;

    static constexpr std::uint16_t kNoDirectory = 0xFFFF;

    std::unique_ptr<std::uint8_t[]> rgbLine_;
    std::unique_ptr<std::uint32_t[]> zLine_;
    std::unique_ptr<std::uint16_t[]> matLine_;
    std::uint32_t width_;
    std::uint32_t height_;
    std::wstring software_;
    std::wstring documentName_;
    std::wstring artist_;
    std::wstring copyright_;
    Projection projection_;
    PanoProjection panoProjection_;
    bool panoramic_;
    bool compress_;
    std::wstring path_;
    // The open file under tif_, for positioned reads and writes (FileIo.h);
    // kNoFile when libtiff's handle cannot tell it, and those then go
    // through the handle's seek and transfer procedures.
    std::intptr_t native_;
    TIFF* tif_ = nullptr;
    std::uint32_t passMask_ = 0;
    std::uint16_t directory_[ChannelCount] = {kNoDirectory, kNoDirectory, kNoDirectory};
    std::uint32_t scan_ = 0;
    // File offsets and TIFF types (SHORT or LONG) of a channel's
    // StripOffsets and StripByteCounts arrays, known only while the pass
    // that created the channel's directory runs; offsets 0 otherwise, and
    // the directory is then rewritten whole.
    struct StripArrays {
        std::uint64_t offsets = 0;
        std::uint64_t counts = 0;
        std::uint16_t offsetType = 0;
        std::uint16_t countType = 0;
    };
    StripArrays stripArrays_[ChannelCount];
    // The end of the file while nothing but appendStrip has written since it
    // last looked: the next strip goes there without asking the system. 0
    // when unknown; every other append (seekToEnd) and every libtiff write
    // forgets it.
    std::uint64_t appendEnd_ = 0;
    // Whether a channel's first pass keeps its directory current by writing
    // only each new strip's offset and byte count where the directory's
    // arrays lie in the file (locateStripArrays, appendStrip), or leaves
    // every rewrite to libtiff, which reads the directory back and writes it
    // whole. Both leave the same bytes after every scan; the second is only
    // the reference the tests check the first against, at the cost of every
    // strip entry read and written for every row.
    bool writeStripEntries_ = true;
    std::uint64_t materialHead_ = 0;
    std::uint32_t materialCount_ = 0;
    double shadow_[3] = {0.0, 0.0, 0.0};
    std::uint32_t resolutionX_;
    std::uint32_t resolutionY_;
    ResolutionUnit resolutionUnit_;
};

}  // namespace Orvo
}  // namespace Talvenrock
