#include "orvo/previews/PngFile.h"

#include "orvo/support/ToolError.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fennick {
namespace tool {

namespace {
constexpr int kFastLevel = 1;
}  // namespace

// libpng reports errors by longjmp to the setjmp of the call that failed.
// Each libpng call below is wrapped by a setjmp in a frame that holds no
// object with a destructor, and the C++ exception is raised only after the
// jump has landed.

PngFile::PngFile(const std::string& path, std::uint32_t width, std::uint32_t height, Format format)
    : path_(path)
{
    try {
        start(width, height, format);
    } catch (...) {
        release();
        throw;
    }
}

void PngFile::start(std::uint32_t width, std::uint32_t height, Format format)
{
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_ == nullptr)
        throw ToolError(path_ + ": cannot create: " + std::strerror(errno));
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, &PngFile::onError,
                                   &PngFile::onWarning);
    if (png_ != nullptr)
        info_ = png_create_info_struct(png_);
    if (png_ == nullptr || info_ == nullptr) {
        std::strncpy(message_, "out of memory", sizeof message_ - 1);
        fail("cannot start");
    }
    if (setjmp(png_jmpbuf(png_)))
        fail("cannot write the header");
    png_init_io(png_, file_);
    png_set_IHDR(png_, info_, width, height, format == Format::Rgb8 ? 8 : 16,
                 format == Format::Rgb8 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Previews are for looking at: zlib's fastest level and the one "up"
    // filter (cheap, and good on smooth renders) write an 8K preview in a
    // third of the time of the defaults (adaptive filtering at level 6);
    // the files come out about twice as large, a few megabytes at 8K.
    png_set_compression_level(png_, kFastLevel);
    png_set_filter(png_, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_write_info(png_, info_);
    // PNG stores 16-bit samples big-endian; libpng swaps from the machine's
    // order when the machine is little-endian.
    const std::uint16_t probe = 1;
    std::uint8_t first;
    std::memcpy(&first, &probe, 1);
    if (format == Format::Grey16 && first == 1)
        png_set_swap(png_);
}

PngFile::~PngFile() { release(); }

void PngFile::release() noexcept
{
    if (png_ != nullptr)
        png_destroy_write_struct(&png_, &info_);
    png_ = nullptr;
    info_ = nullptr;
    if (file_ != nullptr)
        std::fclose(file_);
    file_ = nullptr;
}

void PngFile::writeRow(const void* row)
{
    if (setjmp(png_jmpbuf(png_)))
        fail("cannot write a row");
    png_write_row(png_, static_cast<png_const_bytep>(row));
}

void PngFile::finish()
{
    if (setjmp(png_jmpbuf(png_)))
        fail("cannot finish");
    png_write_end(png_, info_);
    png_destroy_write_struct(&png_, &info_);
    png_ = nullptr;
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0)
        throw ToolError(path_ + ": cannot finish: " + std::strerror(errno));
}

void PngFile::fail(const char* operation)
{
    throw ToolError(path_ + ": " + operation + (message_[0] ? std::string(": ") + message_ : ""));
}

void PngFile::onError(png_struct_def* png, const char* message)
{
    auto* self = static_cast<PngFile*>(png_get_error_ptr(png));
    std::strncpy(self->message_, message, sizeof self->message_ - 1);
    png_longjmp(png, 1);
}

void PngFile::onWarning(png_struct_def*, const char*) {}

}  // namespace tool
}  // namespace fennick
