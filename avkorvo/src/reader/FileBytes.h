// Bounds-checked access to the raw bytes of a file, decoded in the byte order
// the file's TIFF header states. Every read names what it reads, so that a
// failure says where: "demo.ovq: depth block at offset 1234: extends past end
// of file (size 1000)".
//
// Internal to the reader library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace Talvenrock {
namespace Orvo {

class FileBytes {
public:
    // Opens path for reading; throws ReadError naming the file.
    explicit FileBytes(const std::string& path);
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    // Closes the file; never throws.
    ~FileBytes();

    std::uint64_t size() const { return size_; }
    void setLittleEndian(bool little) { little_ = little; }

    // Reads count bytes at offset into a buffer; throws ReadError when the
    // range is not wholly inside the file. `what` names the structure read
    // ("depth block"), `start` the offset where that structure begins.
    std::vector<std::uint8_t> read(std::uint64_t offset, std::uint64_t count, const char* what,
                                   std::uint64_t start) const;

    // The error text "<path>: <what> at offset <start>: <problem>".
    std::string where(const char* what, std::uint64_t start, const std::string& problem) const;

    std::uint16_t u16(const std::uint8_t* p) const;
    std::uint32_t u32(const std::uint8_t* p) const;
    double f64(const std::uint8_t* p) const;

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
    bool little_ = true;
};

}  // namespace Orvo
}  // namespace Talvenrock
