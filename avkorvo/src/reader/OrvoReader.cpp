// Opening and validation of an Orvo file: the TIFF structure through libtiff,
// the writer's own blocks through bounds-checked raw reads.
#include "avkorvo/OrvoReader.h"

#include "FileBytes.h"
#include "QuietTiff.h"
#include "StoredByteCounts.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace Talvenrock {
namespace Orvo {

namespace {

// The tag number, block codes and block layout are the writer's
// (OrvoFormat.h), so what is checked here is what is written there.
using namespace Talvenrock::Orvo;

constexpr unsigned kMaxDirectories = 3;
constexpr std::uint64_t kTiffHeaderSize = 8;
constexpr std::uint16_t kClassicMagic = 42;
constexpr std::uint16_t kBigTiffMagic = 43;

// Names are written by the saver as "Mat <n>"; anything far longer is read
// as damage rather than followed to the end of a large file.
constexpr std::uint64_t kMaxMaterialNameBytes = 4096;
constexpr std::uint32_t kMaxMaterials = 65535;  // tags are 16-bit, 0 is no material
// Rows wider than this are taken for damage rather than allocated.
constexpr std::uint64_t kMaxRowBytes = std::uint64_t(1) << 30;

// "tag 34953", as messages name the tag.
std::string subfileTagText() { return "tag " + std::to_string(kSubfileTag); }

// "tag 34953 is 0; ", the start of the message for a block never written.
std::string noBlockText()
{
    return subfileTagText() + " is " + std::to_string(kNoSubfileBlock) + "; ";
}

const char* blockName(Channel c)
{
    switch (c) {
    case Channel::Colour: return "colour block";
    case Channel::Depth: return "depth block";
    case Channel::Material: return "material block";
    }
    return "block";
}

unsigned bytesPerPixel(Channel c)
{
    switch (c) {
    case Channel::Colour: return 3;
    case Channel::Depth: return 4;
    case Channel::Material: return 2;
    }
    return 0;
}

std::uint64_t rowBytes(const DirectoryInfo& d)
{
    return std::uint64_t(d.width) * bytesPerPixel(d.channel);
}

// The rows a strip holds: rowsPerStrip of them from the strip's first, the
// last strip the rows that remain, the TIFF rule libtiff decodes by. libtiff
// stands in its default (every row) for an absent RowsPerStrip and refuses 0,
// so rowsPerStrip is at least 1.
struct StripRows {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

std::uint32_t rowsPerStrip(const DirectoryInfo& d)
{
    return std::max<std::uint32_t>(1, std::min(d.rowsPerStrip, d.height));
}

// libtiff counts the strips by the same rule, so every strip it has holds
// at least one row.
StripRows stripRows(const DirectoryInfo& d, std::uint32_t strip)
{
    const std::uint64_t first = std::uint64_t(strip) * rowsPerStrip(d);
    if (first >= d.height)
        return {d.height, 0};
    return {static_cast<std::uint32_t>(first),
            static_cast<std::uint32_t>(std::min<std::uint64_t>(rowsPerStrip(d), d.height - first))};
}

// "colour directory 0", as messages about pixels name a directory.
std::string channelPlace(const DirectoryInfo& d)
{
    return std::string(channelName(d.channel)) + " directory " + std::to_string(d.index);
}

// "colour directory 0, strip 3, row 3" or "..., strip 1, rows 32 to 63".
std::string stripPlace(const DirectoryInfo& d, std::uint32_t strip)
{
    const StripRows rows = stripRows(d, strip);
    std::string place = channelPlace(d) + ", strip " + std::to_string(strip);
    if (rows.count <= 1)
        return place + ", row " + std::to_string(rows.first);
    return place + ", rows " + std::to_string(rows.first) + " to "
           + std::to_string(rows.first + rows.count - 1);
}

// "its row" or "its 32 rows", with `kind` ("uncompressed") before the noun.
std::string itsRows(std::uint32_t count, const char* kind)
{
    return count == 1 ? std::string("its ") + kind + " row"
                      : "its " + std::to_string(count) + " " + kind + " rows";
}

class OrvoReaderImp final : public OrvoReader {
public:
    explicit OrvoReaderImp(const std::string& path);

    const OrvoSummary& summary() const override { return summary_; }
    void readColourRow(std::uint32_t row, std::uint8_t* out) override
    {
        readRow(Channel::Colour, row, out);
    }
    void readDepthRow(std::uint32_t row, std::uint32_t* out) override
    {
        readRow(Channel::Depth, row, out);
    }
    void readMaterialRow(std::uint32_t row, std::uint16_t* out) override
    {
        readRow(Channel::Material, row, out);
    }
    void verifyStrips() override;

private:
    std::string fail(const std::string& text) const { return summary_.path + ": " + text; }
    std::string dirPlace(unsigned index) const { return "directory " + std::to_string(index); }
    void readHeader();
    void readDirectories();
    DirectoryInfo readDirectory(unsigned index);
    // Every strip of the current directory lies inside the file and can hold
    // its rows: exactly their bytes when uncompressed, some bytes otherwise.
    void checkStrips(const DirectoryInfo& d);
    std::uint32_t readSubfileTag(unsigned index);
    void readColourTexts();
    void readColourBlock(const DirectoryInfo& d);
    void readDepthBlock(const DirectoryInfo& d);
    void readMaterialBlock(const DirectoryInfo& d);
    void readRow(Channel c, std::uint32_t row, void* out);
    // Decodes one row of d into out, rowBytes(d) bytes; a failure's message
    // starts with place, which names the row.
    void decodeRow(const DirectoryInfo& d, std::uint32_t row, void* out, const std::string& place);

    OrvoSummary summary_;
    FileBytes bytes_;
    QuietTiff tiff_;
    int currentDirectory_ = 0;
};

OrvoReaderImp::OrvoReaderImp(const std::string& path) : bytes_(path), tiff_(path, "r")
{
    summary_.path = path;
    summary_.fileSize = bytes_.size();
    readHeader();
    if (tiff_.get() == nullptr) {
        std::string why = tiff_.takeError();
        throw ReadError(fail("cannot read the first TIFF directory"
                             + (why.empty() ? std::string() : ": " + why)));
    }
    readDirectories();
    for (const DirectoryInfo& d : summary_.directories) {
        switch (d.channel) {
        case Channel::Colour: readColourBlock(d); break;
        case Channel::Depth: readDepthBlock(d); break;
        case Channel::Material: readMaterialBlock(d); break;
        }
    }
}

void OrvoReaderImp::readHeader()
{
    if (bytes_.size() < kTiffHeaderSize)
        throw ReadError(fail("not a TIFF file: only " + std::to_string(bytes_.size())
                             + " bytes, a TIFF header takes 8"));
    std::vector<std::uint8_t> h = bytes_.read(0, kTiffHeaderSize, "TIFF header", 0);
    if (h[0] == 'I' && h[1] == 'I')
        summary_.littleEndian = true;
    else if (h[0] == 'M' && h[1] == 'M')
        summary_.littleEndian = false;
    else
        throw ReadError(fail("not a TIFF file: the header does not start with II or MM"));
    bytes_.setLittleEndian(summary_.littleEndian);
    std::uint16_t magic = bytes_.u16(&h[2]);
    if (magic == kBigTiffMagic)
        throw ReadError(fail("is a BigTIFF file; Orvo files are classic TIFF files"));
    if (magic != kClassicMagic)
        throw ReadError(fail("not a TIFF file: header magic number " + std::to_string(magic)
                             + " instead of 42"));
}

void OrvoReaderImp::readDirectories()
{
    TIFF* tif = tiff_.get();
    unsigned index = 0;
    for (;;) {
        if (index >= kMaxDirectories)
            throw ReadError(fail(dirPlace(index) + ": an Orvo file holds at most "
                                 + std::to_string(kMaxDirectories) + " directories"));
        DirectoryInfo d = readDirectory(index);
        for (const DirectoryInfo& earlier : summary_.directories) {
            if (earlier.channel == d.channel)
                throw ReadError(fail(dirPlace(index) + ": a second " + channelName(d.channel)
                                     + " directory (the first is directory "
                                     + std::to_string(earlier.index) + ")"));
            if (earlier.width != d.width || earlier.height != d.height)
                throw ReadError(fail(dirPlace(index) + ": " + std::to_string(d.width) + " x "
                                     + std::to_string(d.height) + " pixels, but directory "
                                     + std::to_string(earlier.index) + " has "
                                     + std::to_string(earlier.width) + " x "
                                     + std::to_string(earlier.height)));
        }
        summary_.directories.push_back(d);
        if (d.channel == Channel::Colour)
            readColourTexts();
        if (TIFFLastDirectory(tif))
            break;
        if (!TIFFReadDirectory(tif)) {
            std::string why = tiff_.takeError();
            throw ReadError(fail(dirPlace(index + 1) + ": cannot be read"
                                 + (why.empty() ? std::string() : ": " + why)));
        }
        ++index;
    }
    currentDirectory_ = static_cast<int>(index);
    summary_.width = summary_.directories.front().width;
    summary_.height = summary_.directories.front().height;
}

DirectoryInfo OrvoReaderImp::readDirectory(unsigned index)
{
    TIFF* tif = tiff_.get();
    DirectoryInfo d;
    d.index = index;
    const std::string place = dirPlace(index);
    if (TIFFIsTiled(tif))
        throw ReadError(fail(place + ": is tiled; Orvo pictures are stored in strips"));
    std::uint16_t sampleFormat = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &d.width)
        || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &d.height))
        throw ReadError(fail(place + ": no ImageWidth or ImageLength"));
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &d.samplesPerPixel);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &d.bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &d.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &d.rowsPerStrip);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);

    if (d.width == 0 || d.height == 0)
        throw ReadError(fail(place + ": empty picture (" + std::to_string(d.width) + " x "
                             + std::to_string(d.height) + ")"));
    if (d.samplesPerPixel == 3 && d.bitsPerSample == 8)
        d.channel = Channel::Colour;
    else if (d.samplesPerPixel == 1 && d.bitsPerSample == 32)
        d.channel = Channel::Depth;
    else if (d.samplesPerPixel == 1 && d.bitsPerSample == 16)
        d.channel = Channel::Material;
    else
        throw ReadError(fail(place + ": " + std::to_string(d.samplesPerPixel) + " samples of "
                             + std::to_string(d.bitsPerSample)
                             + " bits; Orvo directories hold 3 x 8 bits (colour), 1 x 32 bits "
                               "(depth) or 1 x 16 bits (material)"));
    if (sampleFormat != SAMPLEFORMAT_UINT)
        throw ReadError(fail(place + ": sample format " + std::to_string(sampleFormat)
                             + "; Orvo samples are unsigned integers"));
    if (planar != PLANARCONFIG_CONTIG)
        throw ReadError(fail(place + ": samples stored in separate planes"));
    // An uncompressed picture must fit in the file, which is said once for
    // the whole picture before any strip is; compressed ones are checked
    // strip by strip.
    const std::uint64_t bytesOfRow = rowBytes(d);
    if (bytesOfRow > kMaxRowBytes)
        throw ReadError(
            fail(place + ": rows of " + std::to_string(d.width) + " pixels are too wide to read"));
    if (d.compression == COMPRESSION_NONE && bytesOfRow * d.height > bytes_.size())
        throw ReadError(fail(place + ": " + std::to_string(d.width) + " x "
                             + std::to_string(d.height) + " pixels need "
                             + std::to_string(bytesOfRow * d.height) + " bytes, but the file has "
                             + std::to_string(bytes_.size())));
    checkStrips(d);
    d.blockOffset = readSubfileTag(index);
    return d;
}

void OrvoReaderImp::checkStrips(const DirectoryInfo& d)
{
    TIFF* tif = tiff_.get();
    const std::string place = dirPlace(d.index);
    const std::uint32_t strips = TIFFNumberOfStrips(tif);
    std::uint64_t* offsets = nullptr;
    std::uint64_t* lengths = nullptr;
    if (strips == 0 || !TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets)
        || !TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &lengths) || offsets == nullptr
        || lengths == nullptr)
        throw ReadError(fail(place + ": no StripOffsets or StripByteCounts"));
    // The counts checked are the stored ones, which libtiff may have
    // replaced by its own (StoredByteCounts.h); libtiff's, which it decodes
    // by, must lie inside the file as well.
    const std::vector<std::uint32_t> stored
        = storedByteCounts(bytes_, TIFFCurrentDirOffset(tif), place);
    if (stored.empty())
        throw ReadError(fail(place + ": no StripOffsets or StripByteCounts"));
    if (stored.size() < strips)
        throw ReadError(fail(place + ": StripByteCounts holds " + std::to_string(stored.size())
                             + " lengths for " + std::to_string(strips) + " strips"));
    // A strip inside the file can still be short of its rows, which libtiff
    // finds only when it decodes them (a byte count zeroed or cut by damage).
    // Uncompressed, the right count is known, so it is checked here, at no
    // cost; a compressed strip's count says nothing of what it decodes to
    // beyond that it holds some bytes, and verifyStrips() decodes it.
    const std::uint64_t size = bytes_.size();
    for (std::uint32_t s = 0; s < strips; ++s) {
        const std::uint64_t length = stored[s];
        if (offsets[s] > size || length > size - offsets[s] || lengths[s] > size - offsets[s])
            throw ReadError(fail(stripPlace(d, s) + ": at offset " + std::to_string(offsets[s])
                                 + " with " + std::to_string(std::max(length, lengths[s]))
                                 + " bytes extends past end of file (size " + std::to_string(size)
                                 + ")"));
        const StripRows rows = stripRows(d, s);
        if (d.compression == COMPRESSION_NONE) {
            const std::uint64_t needed = rows.count * rowBytes(d);
            if (length != needed)
                throw ReadError(fail(stripPlace(d, s) + ": holds " + std::to_string(length)
                                     + " bytes instead of the " + std::to_string(needed) + " "
                                     + itsRows(rows.count, "uncompressed")
                                     + (rows.count == 1 ? " takes" : " take")));
        } else if (length == 0) {
            throw ReadError(fail(stripPlace(d, s) + ": holds no bytes, so "
                                 + itsRows(rows.count, "compressed") + " cannot be decoded"));
        }
    }
}

std::uint32_t OrvoReaderImp::readSubfileTag(unsigned index)
{
    TIFF* tif = tiff_.get();
    const std::string place = dirPlace(index);
    const std::string missing
        = place + ": no " + subfileTagText() + " (" + kSubfileTagName + "); not an Orvo file";
    // The tag is known to libtiff either through an extender registered in
    // this process (one LONG, no count) or as an anonymous field read from
    // the file (a count and an array); both are handled.
    const TIFFField* field = TIFFFindField(tif, kSubfileTag, TIFF_ANY);
    if (field == nullptr)
        throw ReadError(fail(missing));
    if (!TIFFFieldPassCount(field)) {
        std::uint32_t value = 0;
        if (TIFFFieldDataType(field) != TIFF_LONG || TIFFFieldReadCount(field) != 1)
            throw ReadError(
                fail(place + ": " + subfileTagText() + " is registered with an unexpected type"));
        if (!TIFFGetField(tif, kSubfileTag, &value))
            throw ReadError(fail(missing));
        return value;
    }
    std::uint32_t count = 0;
    void* data = nullptr;
    int ok;
    if (TIFFFieldReadCount(field) == TIFF_VARIABLE2) {
        ok = TIFFGetField(tif, kSubfileTag, &count, &data);
    } else {
        std::uint16_t count16 = 0;
        ok = TIFFGetField(tif, kSubfileTag, &count16, &data);
        count = count16;
    }
    if (!ok)
        throw ReadError(fail(missing));
    if (TIFFFieldDataType(field) != TIFF_LONG || count != 1 || data == nullptr)
        throw ReadError(fail(place + ": " + subfileTagText() + " holds " + std::to_string(count)
                             + " values of TIFF type " + std::to_string(TIFFFieldDataType(field))
                             + "; an Orvo file stores one LONG"));
    std::uint32_t value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

void OrvoReaderImp::readColourTexts()
{
    TIFF* tif = tiff_.get();
    auto text = [tif](ttag_t tag) {
        const char* s = nullptr;
        if (TIFFGetField(tif, tag, &s) && s != nullptr)
            return std::string(s);
        return std::string();
    };
    summary_.software = text(TIFFTAG_SOFTWARE);
    summary_.dateTime = text(TIFFTAG_DATETIME);
    summary_.documentName = text(TIFFTAG_DOCUMENTNAME);
    summary_.artist = text(TIFFTAG_ARTIST);
    summary_.copyright = text(TIFFTAG_COPYRIGHT);
    float x = 0, y = 0;
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) && TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y)) {
        summary_.hasResolution = true;
        summary_.xResolution = x;
        summary_.yResolution = y;
        TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &summary_.resolutionUnit);
    }
}

// The twelve bytes every block starts with; checks the block code against the
// directory's channel.
struct BlockHead {
    std::uint32_t code;
    std::uint16_t version;
    std::uint16_t kind;
    std::uint32_t count;
};

void OrvoReaderImp::readColourBlock(const DirectoryInfo& d)
{
    const char* what = blockName(d.channel);
    const std::uint64_t at = d.blockOffset;
    if (at == kNoSubfileBlock)
        throw ReadError(
            fail(dirPlace(d.index) + ": " + noBlockText() + "the colour block is missing"));
    std::vector<std::uint8_t> b = bytes_.read(at, kColourBlockFixedSize, what, at);
    std::uint32_t code = bytes_.u32(&b[kBlockCodeAt]);
    if (code != kColourBlockCode)
        throw ReadError(bytes_.where(what, at,
                                     "block code " + std::to_string(code) + " instead of "
                                         + std::to_string(kColourBlockCode) + " (colour)"));
    std::uint16_t shadow = bytes_.u16(&b[kShadowFlagAt]);
    if (shadow == kShadowFlagClear)
        return;
    if (shadow != kShadowFlagSet)
        throw ReadError(bytes_.where(what, at,
                                     "shadow flag " + std::to_string(shadow) + " instead of "
                                         + std::to_string(kShadowFlagClear) + " or "
                                         + std::to_string(kShadowFlagSet)));
    std::vector<std::uint8_t> lengths
        = bytes_.read(at + kColourBlockFixedSize, kColourTextFieldsSize, what, at);
    std::uint64_t end = bytes_.u32(&lengths[0]);
    std::uint64_t n = bytes_.u32(&lengths[sizeof(std::uint32_t)]);
    if (end != at + kColourBlockTextStart + n)
        throw ReadError(bytes_.where(what, at,
                                     "property list end offset " + std::to_string(end)
                                         + " does not match its length " + std::to_string(n)));
    std::vector<std::uint8_t> text = bytes_.read(at + kColourBlockTextStart, n + 1, what, at);
    if (text.back() != 0)
        throw ReadError(bytes_.where(what, at, "property list is not NUL-terminated"));
    summary_.shadowSet = true;
    summary_.propertyList.assign(text.begin(), text.end() - 1);
}

void OrvoReaderImp::readDepthBlock(const DirectoryInfo& d)
{
    const char* what = blockName(d.channel);
    const std::uint64_t at = d.blockOffset;
    if (at == kNoSubfileBlock)
        throw ReadError(
            fail(dirPlace(d.index) + ": " + noBlockText() + "the depth block is missing"));
    std::vector<std::uint8_t> head = bytes_.read(at, kBlockHeadSize, what, at);
    Camera& c = summary_.camera;
    c.blockCode = bytes_.u32(&head[kBlockCodeAt]);
    if (c.blockCode != kPlanarDepthBlockCode && c.blockCode != kPanoDepthBlockCode)
        throw ReadError(
            bytes_.where(what, at,
                         "block code " + std::to_string(c.blockCode) + " instead of "
                             + std::to_string(kPlanarDepthBlockCode) + " (planar camera) or "
                             + std::to_string(kPanoDepthBlockCode) + " (panoramic camera)"));
    c.panoramic = c.blockCode == kPanoDepthBlockCode;
    std::vector<std::uint8_t> b
        = bytes_.read(at, c.panoramic ? kPanoDepthBlockSize : kPlanarDepthBlockSize, what, at);
    std::size_t pos = kBlockHeadSize;
    auto u32 = [&] {
        std::uint32_t v = bytes_.u32(&b[pos]);
        pos += 4;
        return v;
    };
    auto f64 = [&] {
        double v = bytes_.f64(&b[pos]);
        pos += 8;
        return v;
    };
    auto vec = [&](double* v) {
        for (int i = 0; i < 3; ++i)
            v[i] = f64();
    };
    c.kind = u32();
    vec(c.position);
    if (c.panoramic) {
        vec(c.direction1);
        vec(c.direction2);
        vec(c.direction3);
        c.angle = f64();
    } else {
        vec(c.xAxis);
        vec(c.yAxis);
        vec(c.zAxis);
        vec(c.spareAxis);
        vec(c.topLeft);
        vec(c.bottomRight);
    }
    c.nearDistance = f64();
    c.farDistance = f64();
    c.scale = f64();
    c.code = u32();
    summary_.hasCamera = true;
}

void OrvoReaderImp::readMaterialBlock(const DirectoryInfo& d)
{
    const char* what = blockName(d.channel);
    const std::uint64_t at = d.blockOffset;
    if (at == kNoSubfileBlock)
        throw ReadError(fail(dirPlace(d.index) + ": " + noBlockText()
                             + "the material table was never written (the file was not "
                               "finished)"));
    std::vector<std::uint8_t> b = bytes_.read(at, kMaterialBlockSize, what, at);
    std::uint32_t code = bytes_.u32(&b[kBlockCodeAt]);
    if (code != kMaterialBlockCode)
        throw ReadError(bytes_.where(what, at,
                                     "block code " + std::to_string(code) + " instead of "
                                         + std::to_string(kMaterialBlockCode) + " (material)"));
    std::uint32_t count = bytes_.u32(&b[kBlockCountAt]);
    if (count > kMaxMaterials)
        throw ReadError(bytes_.where(what, at,
                                     "material count " + std::to_string(count)
                                         + " exceeds the 65535 tags there are"));
    summary_.hasMaterialBlock = true;
    summary_.materialCount = count;

    const char* recordWhat = "material record";
    std::set<std::uint32_t> visited;
    std::uint32_t next = bytes_.u32(&b[kMaterialListHeadAt]);
    while (next != 0) {
        const std::uint64_t rec = next;
        if (summary_.materials.size() == count)
            throw ReadError(bytes_.where(
                recordWhat, rec,
                "the material list holds more records than the count " + std::to_string(count)
                    + " of the material block at offset " + std::to_string(at)));
        if (!visited.insert(next).second)
            throw ReadError(
                bytes_.where(recordWhat, rec, "the material list loops back to this record"));
        std::vector<std::uint8_t> r = bytes_.read(rec, kMaterialRecordFixedSize, recordWhat, rec);
        Material m;
        m.offset = next;
        m.tag = bytes_.u16(&r[kRecordTagAt]);
        m.red = r[kRecordRedAt];
        m.green = r[kRecordGreenAt];
        m.blue = r[kRecordBlueAt];
        const std::uint64_t nameAt = rec + kMaterialRecordFixedSize;
        const std::uint64_t available = bytes_.size() > nameAt ? bytes_.size() - nameAt : 0;
        std::vector<std::uint8_t> name
            = bytes_.read(nameAt, std::min(available, kMaxMaterialNameBytes + 1), recordWhat, rec);
        auto nul = std::find(name.begin(), name.end(), std::uint8_t(0));
        if (nul == name.end())
            throw ReadError(bytes_.where(recordWhat, rec,
                                         available <= kMaxMaterialNameBytes
                                             ? "name not terminated before the end of the file"
                                             : "name longer than 4096 bytes"));
        m.name.assign(name.begin(), nul);
        summary_.materials.push_back(std::move(m));
        next = bytes_.u32(&r[kRecordPreviousAt]);
    }
    if (summary_.materials.size() != count)
        throw ReadError(bytes_.where(what, at,
                                     "the material list ends after "
                                         + std::to_string(summary_.materials.size())
                                         + " records, but the count is " + std::to_string(count)));
}

void OrvoReaderImp::readRow(Channel c, std::uint32_t row, void* out)
{
    const DirectoryInfo* d = summary_.directory(c);
    if (d == nullptr)
        throw ReadError(fail(std::string("has no ") + channelName(c) + " directory"));
    const std::string place = channelPlace(*d) + ", row " + std::to_string(row);
    if (row >= d->height)
        throw ReadError(
            fail(place + ": outside the picture of " + std::to_string(d->height) + " rows"));
    decodeRow(*d, row, out, place);
}

void OrvoReaderImp::decodeRow(const DirectoryInfo& d, std::uint32_t row, void* out,
                              const std::string& place)
{
    TIFF* tif = tiff_.get();
    if (currentDirectory_ != static_cast<int>(d.index)) {
        if (!TIFFSetDirectory(tif, static_cast<tdir_t>(d.index))) {
            currentDirectory_ = -1;
            throw ReadError(fail(place + ": cannot return to the directory: " + tiff_.takeError()));
        }
        currentDirectory_ = static_cast<int>(d.index);
    }
    if (static_cast<std::uint64_t>(TIFFScanlineSize64(tif)) != rowBytes(d))
        throw ReadError(fail(place + ": unexpected row size"));
    if (TIFFReadScanline(tif, out, row, 0) < 0) {
        std::string why = tiff_.takeError();
        throw ReadError(fail(place + ": cannot be decoded" + (why.empty() ? "" : ": " + why)));
    }
}

void OrvoReaderImp::verifyStrips()
{
    for (const DirectoryInfo& d : summary_.directories) {
        if (d.compression == COMPRESSION_NONE)
            continue;
        std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes(d)));
        // Top to bottom, so that libtiff decodes each strip once.
        for (std::uint32_t y = 0; y < d.height; ++y)
            decodeRow(d, y, row.data(),
                      channelPlace(d) + ", strip " + std::to_string(y / rowsPerStrip(d)) + ", row "
                          + std::to_string(y));
    }
}

}  // namespace

const char* channelName(Channel channel)
{
    switch (channel) {
    case Channel::Colour: return "colour";
    case Channel::Depth: return "depth";
    case Channel::Material: return "material";
    }
    return "unknown";
}

bool OrvoSummary::has(Channel channel) const { return directory(channel) != nullptr; }

const DirectoryInfo* OrvoSummary::directory(Channel channel) const
{
    for (const DirectoryInfo& d : directories)
        if (d.channel == channel)
            return &d;
    return nullptr;
}

std::unique_ptr<OrvoReader> OrvoReader::open(const std::string& path)
{
    return std::make_unique<OrvoReaderImp>(path);
}

}  // namespace Orvo
}  // namespace Talvenrock
