// A PNG file written one row at a time through libpng: 8-bit RGB or 16-bit
// grey. libpng's own messages are kept and turned into a ToolError naming
// the file; nothing is printed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct png_struct_def;
struct png_info_def;

namespace fennick {
namespace tool {

class PngFile {
public:
    enum class Format { Rgb8, Grey16 };

    // Creates the file and writes the header. Throws ToolError.
    PngFile(const std::string& path, std::uint32_t width, std::uint32_t height, Format format);
    PngFile(const PngFile&) = delete;
    PngFile& operator=(const PngFile&) = delete;
    // Releases libpng's state and closes the file; an unfinished file is
    // left incomplete. Never throws.
    ~PngFile();

    // Rgb8: width x 3 bytes. Grey16: width samples in the machine's order.
    void writeRow(const void* row);
    // Writes the end of the file and closes it. Throws ToolError.
    void finish();

private:
    void start(std::uint32_t width, std::uint32_t height, Format format);
    void release() noexcept;
    [[noreturn]] void fail(const char* operation);
    static void onError(png_struct_def* png, const char* message);
    static void onWarning(png_struct_def* png, const char* message);

    std::string path_;
    std::FILE* file_ = nullptr;
    png_struct_def* png_ = nullptr;
    png_info_def* info_ = nullptr;
    char message_[256] = {};
};

}  // namespace tool
}  // namespace fennick
