#include "orvo/sidefiles/SideFiles.h"

#include "contract/SideFileNames.h"

#include "orvo/support/FileOps.h"
#include "orvo/support/Interrupt.h"
#include "orvo/sidefiles/TgaImage.h"
#include "orvo/support/ToolError.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace fennick {
namespace tool {

namespace {

constexpr int kAsideAttempts = 100;
// A colour image is copied this many bytes at a time; at 8K the whole file
// is over a hundred megabytes, on top of the render already in memory.
constexpr std::size_t kCopyChunk = std::size_t(1) << 20;

bool exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

void writeBytes(const std::string& path, const std::vector<char>& bytes, const char* role)
{
    writeWholeFile(path, bytes.data(), bytes.size(), role);
}

}  // namespace

std::vector<char> readWholeFile(const std::string& path, const char* role)
{
    requireRegularFile(path, role);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ToolError(path + ": cannot read the " + role + ": " + std::strerror(errno));
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw ToolError(path + ": cannot read the " + role);
    return bytes;
}

SideFiles::SideFiles(const std::string& target)
    : paramPath_(fennick::contract::parameterFileFor(target)),
      colourPath_(fennick::contract::colourImageFor(target))
{
}

SideFiles::~SideFiles()
{
    for (const auto& [path, token] : created_) {
        std::remove(path.c_str());
        Interrupt::forget(token);
    }
    if (!paramsAside_.empty()) {
        if (!exists(paramPath_))
            std::rename(paramsAside_.c_str(), paramPath_.c_str());
        else
            std::remove(paramsAside_.c_str());
        Interrupt::forget(asideToken_);
    }
}

void SideFiles::refuseExisting(const std::string& path, const char* role, const char* option) const
{
    if (exists(path))
        throw ToolError(path + ": a " + role + " already lies beside the target; remove it or give "
                        + "it with " + option);
}

void SideFiles::place(const std::string& dest, const std::vector<char>& bytes, const char* role)
{
    // Registered before writing, so that a half-written file goes too.
    created_.emplace_back(dest, Interrupt::removeOnInterrupt(dest));
    writeBytes(dest, bytes, role);
}

// A second name for the user's file, which stays when the save removes the
// parameter file's name; a copy where the file system has no links.
void SideFiles::keepUsersParams()
{
    const std::string folder = folderOf(paramPath_);
    for (int attempt = 0; attempt < kAsideAttempts && paramsAside_.empty(); ++attempt) {
        const std::string aside = tempNameIn(folder);
        // Registered first: from the moment the second name exists, an
        // interrupt puts the file back.
        asideToken_ = Interrupt::restoreOnInterrupt(aside, paramPath_);
        if (::link(paramPath_.c_str(), aside.c_str()) == 0) {
            paramsAside_ = aside;
        } else if (errno != EEXIST) {
            paramsAside_ = aside;
            writeBytes(aside, readWholeFile(paramPath_, "parameter file"), "parameter file");
        } else {
            Interrupt::forget(asideToken_);
            asideToken_ = 0;
        }
    }
    if (paramsAside_.empty())
        throw ToolError(paramPath_ + ": cannot keep a second name for the parameter file in "
                        + folder);
}

void SideFiles::placeParams(const std::optional<std::string>& source)
{
    if (!source || sameFile(*source, paramPath_)) {
        const std::string& path = source ? *source : paramPath_;
        if (!exists(path))
            throw ToolError(path
                            + ": no parameter file; give one with --params FILE or put it "
                              "beside the target");
        requireRegularFile(path, "parameter file");
        keepUsersParams();
        return;
    }
    std::vector<char> bytes = readWholeFile(*source, "parameter file");
    refuseExisting(paramPath_, "parameter file", "--params");
    place(paramPath_, bytes, "parameter file");
}

void SideFiles::writeParams(const CameraParameters& camera, bool overUsers)
{
    if (overUsers && exists(paramPath_)) {
        requireRegularFile(paramPath_, "parameter file");
        keepUsersParams();
        if (std::remove(paramPath_.c_str()) != 0)
            throw ToolError(paramPath_
                            + ": cannot make room for the parameter file with the "
                              "new depthMax: "
                            + std::strerror(errno));
    }
    refuseExisting(paramPath_, "parameter file", "--params");
    const std::string text = paramFileText(camera);
    place(paramPath_, std::vector<char>(text.begin(), text.end()), "parameter file");
}

void SideFiles::placeColour(const std::string& source)
{
    if (sameFile(source, colourPath_))
        throw ToolError(source
                        + ": the colour image beside the target is consumed by the save; "
                          "give a copy of it with --rgb");
    requireRegularFile(source, "colour image");
    CFile in(std::fopen(source.c_str(), "rb"));
    if (!in)
        throw ToolError(source + ": cannot read the colour image: " + std::strerror(errno));
    refuseExisting(colourPath_, "colour image", "--rgb");
    // Registered before writing, so that a half-written file goes too.
    created_.emplace_back(colourPath_, Interrupt::removeOnInterrupt(colourPath_));
    CFile out(std::fopen(colourPath_.c_str(), "wb"));
    if (!out)
        throw ToolError(colourPath_ + ": cannot create the colour image: " + std::strerror(errno));
    std::vector<char> chunk(kCopyChunk);
    for (;;) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), in.get());
        if (got < chunk.size() && std::ferror(in.get()))
            throw ToolError(source + ": cannot read the colour image: " + std::strerror(errno));
        if (std::fwrite(chunk.data(), 1, got, out.get()) != got)
            throw ToolError(colourPath_
                            + ": cannot write the colour image: " + std::strerror(errno));
        if (got < chunk.size())
            break;
    }
    if (std::fclose(out.release()) != 0)
        throw ToolError(colourPath_ + ": cannot write the colour image: " + std::strerror(errno));
}

void SideFiles::writeColour(unsigned width, unsigned height, const std::vector<unsigned char>& bgra)
{
    refuseExisting(colourPath_, "colour image", "--rgb");
    created_.emplace_back(colourPath_, Interrupt::removeOnInterrupt(colourPath_));
    writeTga32(colourPath_, width, height, bgra);
}

void SideFiles::writeColour(unsigned width, unsigned height, const RenderLayer& layer)
{
    refuseExisting(colourPath_, "colour image", "--rgb");
    created_.emplace_back(colourPath_, Interrupt::removeOnInterrupt(colourPath_));
    writeLayerTga32(colourPath_, layer, width, height);
}

}  // namespace tool
}  // namespace fennick
