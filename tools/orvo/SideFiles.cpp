#include "tools/orvo/SideFiles.h"

#include "tools/orvo/TgaImage.h"
#include "tools/orvo/ToolError.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace orvotool {

namespace {

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Whether two names refer to one file on the disk.
bool sameFile(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev
           && sa.st_ino == sb.st_ino;
}

void writeBytes(const std::string& path, const std::vector<char>& bytes, const char* role)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw ToolError(path + ": cannot create the " + role + ": " + std::strerror(errno));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw ToolError(path + ": cannot write the " + role);
}

}  // namespace

std::vector<char> readWholeFile(const std::string& path, const char* role)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        throw ToolError(path + ": cannot read the " + role + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        throw ToolError(path + ": cannot read the " + role + ": not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ToolError(path + ": cannot read the " + role + ": " + std::strerror(errno));
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw ToolError(path + ": cannot read the " + role);
    return bytes;
}

SideFiles::SideFiles(const std::string& target)
    : paramPath_(target + kParamSuffix), colourPath_(target + kColourSuffix)
{
}

SideFiles::~SideFiles()
{
    for (const std::string& path : created_)
        std::remove(path.c_str());
    if (restoreParams_ && !exists(paramPath_)) {
        try {
            writeBytes(paramPath_, userParams_, "parameter file");
        } catch (...) {
            // Nothing more can be done from a destructor; the caller's own
            // copy of the parameters was given on the command line or is lost
            // with the save that consumed it.
        }
    }
}

void SideFiles::place(const std::string& dest, const std::vector<char>& bytes, const char* role)
{
    // Registered before writing, so that a half-written file goes too.
    created_.push_back(dest);
    writeBytes(dest, bytes, role);
}

void SideFiles::placeParams(const std::optional<std::string>& source)
{
    if (!source || sameFile(*source, paramPath_)) {
        const std::string& path = source ? *source : paramPath_;
        if (!exists(path))
            throw ToolError(path + ": no parameter file; give one with --params FILE or put it "
                                   "beside the target");
        userParams_ = readWholeFile(path, "parameter file");
        restoreParams_ = true;
        return;
    }
    std::vector<char> bytes = readWholeFile(*source, "parameter file");
    if (exists(paramPath_))
        throw ToolError(paramPath_ + ": a parameter file already lies beside the target; remove "
                                     "it or give it with --params");
    place(paramPath_, bytes, "parameter file");
}

void SideFiles::writeParams(const CameraParameters& camera)
{
    if (exists(paramPath_))
        throw ToolError(paramPath_ + ": a parameter file already lies beside the target; remove "
                                     "it or give it with --params");
    created_.push_back(paramPath_);
    writeParamFile(paramPath_, camera);
}

void SideFiles::placeColour(const std::string& source)
{
    if (sameFile(source, colourPath_))
        throw ToolError(source + ": the colour image beside the target is consumed by the save; "
                                 "give a copy of it with --rgb");
    std::vector<char> bytes = readWholeFile(source, "colour image");
    if (exists(colourPath_))
        throw ToolError(colourPath_ + ": a colour image already lies beside the target; remove "
                                      "it or give it with --rgb");
    place(colourPath_, bytes, "colour image");
}

void SideFiles::writeColour(unsigned width, unsigned height,
                            const std::vector<unsigned char>& bgra)
{
    if (exists(colourPath_))
        throw ToolError(colourPath_ + ": a colour image already lies beside the target; remove "
                                      "it or give it with --rgb");
    created_.push_back(colourPath_);
    writeTga32(colourPath_, width, height, bgra);
}

}  // namespace orvotool
