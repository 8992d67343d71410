// The two side files the saver reads and consumes beside its target (their
// names in contract/SideFileNames.h): the parameter file and the colour
// image. The tool places them as the host's script would and keeps the
// user's own files: a file given on the command line is copied, never moved,
// and a parameter file that already lay beside the target is put back after
// the save consumed it (also when the tool is interrupted). Files the tool
// created are removed when the save did not consume them, and when the tool
// is interrupted.
#pragma once

#include "orvo/camera/ParamFile.h"
#include "orvo/render/RenderImage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fennick {
namespace tool {

// Reads a whole regular file; throws ToolError naming it and the role it
// plays ("parameter file").
std::vector<char> readWholeFile(const std::string& path, const char* role);

class SideFiles {
public:
    explicit SideFiles(const std::string& target);
    SideFiles(const SideFiles&) = delete;
    SideFiles& operator=(const SideFiles&) = delete;
    // Removes what the tool created and the save left; puts back a user's
    // parameter file the save consumed. Never throws.
    ~SideFiles();

    const std::string& paramPath() const { return paramPath_; }
    const std::string& colourPath() const { return colourPath_; }

    // The parameter file: a copy of `source`, or (without one) the file
    // already beside the target. Throws ToolError when neither can be read.
    void placeParams(const std::optional<std::string>& source);
    // The parameter file written from a camera: refuses to replace a file
    // already there, unless it is the user's own (`overUsers`), which is
    // kept aside and put back as placeParams keeps it.
    void writeParams(const CameraParameters& camera, bool overUsers = false);
    // The colour image: a copy of `source`. Throws ToolError.
    void placeColour(const std::string& source);
    // The colour image from pixels: refuses to replace a file already there.
    void writeColour(unsigned width, unsigned height, const std::vector<unsigned char>& bgra);
    // The colour image from a 3- or 4-channel layer of linear floats,
    // converted as it is written.
    void writeColour(unsigned width, unsigned height, const RenderLayer& layer);

private:
    void place(const std::string& dest, const std::vector<char>& bytes, const char* role);
    void refuseExisting(const std::string& path, const char* role, const char* option) const;
    void keepUsersParams();

    std::string paramPath_;
    std::string colourPath_;
    // Files the tool created, with their interrupt registrations.
    std::vector<std::pair<std::string, std::uint64_t>> created_;
    // The user's parameter file that lay beside the target, kept under this
    // name while the save consumes the original.
    std::string paramsAside_;
    std::uint64_t asideToken_ = 0;
};

}  // namespace tool
}  // namespace fennick
