// Scan writing: each scan stores one row of every channel of the pass as
// one strip of that channel's directory. A channel's directory is created,
// with its tags and sub-file block, at the channel's first scan; later scans
// add their strip and bring its directory up to date, so the file on disk
// is a complete TIFF file after every scan.
#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "FileIo.h"
#include "OrvoFileImp.h"
#include "PropertyList.h"
#include "TagExtender.h"
#include "TiffStatus.h"
#include "Utf8.h"

namespace Talvenrock {
namespace Orvo {

namespace {

constexpr std::uint32_t kChannelBit[] = {1, 2, 4};  // RGB, depth, material
constexpr std::uint32_t kAnyChannel = 1 | 2 | 4;
constexpr unsigned kBytesPerPixel[] = {3, 4, 2};
constexpr std::uint16_t kBitsPerSample[] = {8, 32, 16};
constexpr std::uint16_t kSamplesPerPixel[] = {3, 1, 1};

constexpr std::uint32_t kRowsPerStrip = 1;
constexpr const char* kDateTimeFormat = "%Y:%m:%d %H:%M:%S";
constexpr std::size_t kDateTimeBuffer = 20;  // 19 characters and the NUL

// Classic TIFF layout: the header's field holding the first directory's
// offset, and the size of one directory entry.
constexpr std::uint64_t kFirstDirectoryField = 4;
constexpr std::size_t kEntrySize = 12;
constexpr std::uint64_t kValueField = 8;  // offset of the value field in an entry
constexpr std::uint64_t kLargestShort = 0xFFFFu;

// The current time in UTC as TIFF's DateTime text.
std::string tiffDateTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[kDateTimeBuffer];
    const std::size_t length = std::strftime(text, sizeof text, kDateTimeFormat, &utc);
    return std::string(text, length);
}

}  // namespace

void OrvoFileImp::putScan()
{
    requireOpen("putScan");
    // A strip past the last row would grow the directory's strip arrays,
    // and a directory rewritten in place with longer arrays overwrites
    // whatever follows it in the file. Refuse before anything is written.
    if (scan_ >= height_ && (passMask_ & kAnyChannel))
        throwBeyondLastRow();
    for (int channel = RgbChannel; channel < ChannelCount; ++channel)
        if (passMask_ & kChannelBit[channel])
            writeChannel(static_cast<Channel>(channel));
    ++scan_;
}

void OrvoFileImp::throwBeyondLastRow() const
{
    // snprintf rather than std::to_string: the latter's digit table is a
    // process-unique symbol that would keep the module from ever unloading.
    char rows[96];  // the text below with two 10-digit numbers
    std::snprintf(rows, sizeof rows,
                  "putScan: row %" PRIu32 " is beyond the picture's %" PRIu32 " rows in ", scan_,
                  height_);
    throw OrvoError(rows + utf8(path_));
}

void OrvoFileImp::writeChannel(Channel channel)
{
    void* const line = channel == RgbChannel     ? static_cast<void*>(rgbLine_.get())
                       : channel == DepthChannel ? static_cast<void*>(zLine_.get())
                                                 : static_cast<void*>(matLine_.get());
    const std::uint32_t size = width_ * kBytesPerPixel[channel];
    if (stripArrays_[channel].offsets != 0) {
        if (appendStrip(channel, line, size))
            return;
        // A value its array's type cannot hold makes libtiff widen the array,
        // which moves the directory: that scan and the rest go through it.
        stripArrays_[channel] = StripArrays();
    }

    // libtiff writes from here on: the end appendStrip knew is no more.
    appendEnd_ = 0;
    const bool creating = directory_[channel] == kNoDirectory;
    if (creating)
        createDirectory(channel);
    else
        checkTiffStatus(TIFFSetDirectory(tif_, directory_[channel]));

    // A strip that did not reach the disk (disk full, I/O error) fails the
    // scan: a file must never be taken for written when its pixels are not.
    if (TIFFWriteEncodedStrip(tif_, scan_, line, static_cast<tmsize_t>(size)) < 0)
        checkTiffStatus(0);

    if (!compress_ && height_ >= 2 && scan_ == 0)
        presetSecondStripByteCount();
    checkTiffStatus(TIFFWriteDirectory(tif_));

    if (creating) {
        // Directories are appended in creation order, each channel's once,
        // so the number of those already created is this one's index.
        std::uint16_t index = 0;
        for (int other = RgbChannel; other < ChannelCount; ++other)
            if (other != channel && directory_[other] != kNoDirectory)
                ++index;
        directory_[channel] = index;
        if (writeStripEntries_)
            locateStripArrays(channel);
    }
}

// An uncompressed strip of a directory whose later strips are all unwritten
// (offset 0) is appended at the end of the file, and a rewrite of the
// directory in place then differs from the one before only in that strip's
// two entries. Writing those two entries leaves the bytes libtiff's rewrite
// would, without reading back and writing again arrays as long as the
// picture is high. A compressed strip's size is known only to libtiff's
// codec, so compressed directories are always rewritten by libtiff.
void OrvoFileImp::locateStripArrays(Channel channel)
{
    if (compress_ || height_ < 2 || TIFFIsBigTIFF(tif_))
        return;
    std::uint32_t directory = 0;
    getBytes(kFirstDirectoryField, &directory, sizeof directory);
    for (std::uint16_t skipped = 0; skipped < directory_[channel]; ++skipped) {
        std::uint16_t entries = 0;
        getBytes(directory, &entries, sizeof entries);
        getBytes(directory + sizeof entries + std::uint64_t(entries) * kEntrySize, &directory,
                 sizeof directory);
    }
    std::uint16_t count = 0;
    getBytes(directory, &count, sizeof count);
    StripArrays found;
    for (std::uint16_t i = 0; i < count; ++i) {
        struct {
            std::uint16_t tag;
            std::uint16_t type;
            std::uint32_t count;
            std::uint32_t value;
        } entry{};
        static_assert(sizeof entry == kEntrySize, "a directory entry is twelve bytes");
        const std::uint64_t at = directory + sizeof count + std::uint64_t(i) * kEntrySize;
        getBytes(at, &entry, sizeof entry);
        if (entry.count != height_ || (entry.type != TIFF_SHORT && entry.type != TIFF_LONG))
            continue;
        // Arrays that fit the entry's value field are kept in it.
        const std::uint64_t bytes = std::uint64_t(entry.count) * (entry.type == TIFF_SHORT ? 2 : 4);
        const std::uint64_t array = bytes <= sizeof entry.value ? at + kValueField : entry.value;
        if (entry.tag == TIFFTAG_STRIPOFFSETS) {
            found.offsets = array;
            found.offsetType = entry.type;
        } else if (entry.tag == TIFFTAG_STRIPBYTECOUNTS) {
            found.counts = array;
            found.countType = entry.type;
        }
    }
    if (found.offsets != 0 && found.counts != 0)
        stripArrays_[channel] = found;
}

// False, with nothing written, when the strip's offset or size does not fit
// its array's type. A channel's row costs three positioned writes: the
// strip at the end of the file, then its offset and byte-count entries. The
// strip goes first, so the directory never lists a strip the file does not
// hold yet.
bool OrvoFileImp::appendStrip(Channel channel, const void* line, std::uint32_t size)
{
    const StripArrays& arrays = stripArrays_[channel];
    const std::uint64_t offset = appendEnd_ != 0 ? appendEnd_ : seekToEnd();
    // A strip that would begin at 4 GiB or beyond has an offset its entry
    // cannot hold.
    classicOffset(offset);
    // libtiff's own limit for a classic file: no byte of a strip beyond the
    // reach of a 32-bit offset. Its refusal is a failed libtiff call.
    if (offset + size > kLargestClassicOffset)
        checkTiffStatus(0);
    const auto fits = [](std::uint64_t value, std::uint16_t type) {
        return type == TIFF_LONG || value <= kLargestShort;
    };
    if (!fits(offset, arrays.offsetType) || !fits(size, arrays.countType))
        return false;
    // Forgotten until the whole scan of this channel is in place: after a
    // failure the end is asked for again.
    appendEnd_ = 0;
    // A strip is libtiff's to write on every other path, and its failure is
    // reported the same way here.
    if (!writeAt(offset, line, size))
        checkTiffStatus(0);
    putEntryAt(arrays.offsets, static_cast<std::uint32_t>(offset), arrays.offsetType);
    putEntryAt(arrays.counts, size, arrays.countType);
    appendEnd_ = offset + size;
    return true;
}

void OrvoFileImp::getBytes(std::uint64_t offset, void* data, std::size_t size)
{
    clearSystemError();
    if (native_ != kNoFile) {
        if (!readAt(native_, offset, data, size))
            throwSystemError();
        return;
    }
    if (TIFFGetSeekProc(tif_)(TIFFClientdata(tif_), offset, SEEK_SET) != offset)
        throwSystemError();
    if (TIFFGetReadProc(tif_)(TIFFClientdata(tif_), data, static_cast<tmsize_t>(size))
        != static_cast<tmsize_t>(size))
        throwSystemError();
}

// False, with the reason left for throwSystemError, when the bytes did not
// all reach the file.
bool OrvoFileImp::writeAt(std::uint64_t offset, const void* data, std::size_t size)
{
    clearSystemError();
    if (native_ != kNoFile)
        return Orvo::writeAt(native_, offset, data, size);
    // libtiff's write procedure takes a non-const buffer but only reads it.
    return TIFFGetSeekProc(tif_)(TIFFClientdata(tif_), offset, SEEK_SET) == offset
           && TIFFGetWriteProc(tif_)(TIFFClientdata(tif_), const_cast<void*>(data),
                                     static_cast<tmsize_t>(size))
                  == static_cast<tmsize_t>(size);
}

// Entry `scan_` of the array at `array`, of TIFF type `type`, in the
// machine's byte order like every other value of the file.
void OrvoFileImp::putEntryAt(std::uint64_t array, std::uint32_t value, std::uint16_t type)
{
    const std::uint16_t shortValue = static_cast<std::uint16_t>(value);
    const bool isShort = type == TIFF_SHORT;
    const std::uint64_t width = isShort ? sizeof shortValue : sizeof value;
    if (!writeAt(array + std::uint64_t(scan_) * width,
                 isShort ? static_cast<const void*>(&shortValue) : static_cast<const void*>(&value),
                 static_cast<std::size_t>(width)))
        throwSystemError();
}

// The directory written after a pass's first scan records strip 1 with the
// size of one uncompressed row (its offset stays 0 until the next scan
// writes it), so the first two byte counts of an uncompressed directory
// agree whenever the directory is read back. libtiff hands out its own
// array of the current directory's byte counts.
void OrvoFileImp::presetSecondStripByteCount()
{
    const std::uint64_t* counts = nullptr;
    checkTiffStatus(TIFFGetField(tif_, TIFFTAG_STRIPBYTECOUNTS, &counts));
    if (!counts)
        checkTiffStatus(0);
    const_cast<std::uint64_t*>(counts)[1] = counts[0];
}

void OrvoFileImp::createDirectory(Channel channel)
{
    // The handle's current directory is a new, empty one here: libtiff
    // starts one when the file is opened and after every directory write.
    checkTiffStatus(TIFFSetField(tif_, TIFFTAG_IMAGEWIDTH, width_));
    checkTiffStatus(TIFFSetField(tif_, TIFFTAG_IMAGELENGTH, height_));
    checkTiffStatus(TIFFSetField(tif_, TIFFTAG_BITSPERSAMPLE, kBitsPerSample[channel]));
    checkTiffStatus(
        TIFFSetField(tif_, TIFFTAG_COMPRESSION, compress_ ? COMPRESSION_LZW : COMPRESSION_NONE));
    checkTiffStatus(TIFFSetField(tif_, TIFFTAG_SAMPLESPERPIXEL, kSamplesPerPixel[channel]));
    checkTiffStatus(TIFFSetField(tif_, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip));
    checkTiffStatus(TIFFSetField(tif_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG));
    switch (channel) {
    case RgbChannel: setRgbTags(); break;
    case DepthChannel: setDepthTags(); break;
    default: setMaterialTags(); break;
    }
}

void OrvoFileImp::setRgbTags()
{
    checkTiffStatus(TIFFSetField(tif_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB));
    // libtiff stores the resolutions as RATIONAL from a float value.
    checkTiffStatus(TIFFSetField(tif_, TIFFTAG_XRESOLUTION,
                                 static_cast<double>(static_cast<float>(resolutionX_))));
    checkTiffStatus(TIFFSetField(tif_, TIFFTAG_YRESOLUTION,
                                 static_cast<double>(static_cast<float>(resolutionY_))));
    checkTiffStatus(
        TIFFSetField(tif_, TIFFTAG_RESOLUTIONUNIT,
                     resolutionUnit_ == ResolutionInch ? RESUNIT_INCH : RESUNIT_CENTIMETER));
    if (compress_)
        checkTiffStatus(TIFFSetField(tif_, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL));

    // Empty texts are left out rather than written empty.
    const struct {
        ttag_t tag;
        const std::wstring& text;
    } texts[] = {{TIFFTAG_DOCUMENTNAME, documentName_},
                 {TIFFTAG_SOFTWARE, software_},
                 {TIFFTAG_ARTIST, artist_},
                 {TIFFTAG_COPYRIGHT, copyright_}};
    for (const auto& t : texts)
        if (!t.text.empty())
            checkTiffStatus(TIFFSetField(tif_, t.tag, pad(utf8(t.text)).c_str()));
    // Rewrites of the directory keep the value libtiff reads back.
    checkTiffStatus(TIFFSetField(tif_, TIFFTAG_DATETIME, tiffDateTimeNow().c_str()));

    const std::uint64_t block = putRgbQSF();
    checkTiffStatus(TIFFSetField(tif_, kSubfileTag, subfileTagValue(block)));
}

void OrvoFileImp::setDepthTags()
{
    if (compress_)
        checkTiffStatus(TIFFSetField(tif_, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL));
    const std::uint64_t block = putZQSF();
    checkTiffStatus(TIFFSetField(tif_, kSubfileTag, subfileTagValue(block)));
}

void OrvoFileImp::setMaterialTags()
{
    if (compress_)
        checkTiffStatus(TIFFSetField(tif_, TIFFTAG_PREDICTOR, PREDICTOR_NONE));
    // Until close() replaces it by the material block's offset, the tag
    // tells a reader that the file was not finished.
    checkTiffStatus(TIFFSetField(tif_, kSubfileTag, kNoSubfileBlock));
}

}  // namespace Orvo
}  // namespace Talvenrock
