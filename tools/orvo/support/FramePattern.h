// Frame sequences: a file name with a frame mark stands for one file a
// frame. The mark is a run of N `#` (the frame in N digits, zero-padded) or
// printf's %d / %0Nd; it is looked for in the file's name only, never in
// its folders, so that a folder named "take#2" is no sequence.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fennick {
namespace tool {

class FramePattern {
public:
    // The pattern of `path`, or nullopt when its name has no frame mark.
    // Throws ToolError when the name has more than one: which of them
    // counts the frames cannot be told.
    static std::optional<FramePattern> of(const std::string& path);

    const std::string& text() const { return text_; }
    // The fewest digits the frame is written in.
    int width() const { return width_; }
    // The mark as the user wrote it ("####", "%04d").
    std::string mark() const { return name_.substr(prefix_, markLength_); }
    std::string folder() const;

    // The file of `frame` (0 or more).
    std::string path(long frame) const;
    // The frame whose file is named `fileName` (a name in folder()), or
    // nullopt: the digits at the mark, at least width() of them, written as
    // path() writes them (no more leading zeros than the width asks for).
    std::optional<long> frameOf(const std::string& fileName) const;

private:
    std::string text_;    // the whole path as given
    std::string dir_;     // up to and with the last '/', or empty
    std::string name_;    // the file name, mark included
    std::size_t prefix_;  // where the mark begins in name_
    std::size_t markLength_;
    int width_;
};

// The frames of --frames: "A", "A-B" or "A-BxSTEP", whole numbers from 0,
// A not above B, STEP from 1; nullopt when the text is none of these.
struct FrameRange {
    long first = 0;
    long last = 0;
    long step = 1;
    std::vector<long> frames() const;
};
std::optional<FrameRange> parseFrameRange(const std::string& text);

// The frames of `pattern` whose files lie in its folder, in frame order.
std::vector<long> framesOnDisk(const FramePattern& pattern);

}  // namespace tool
}  // namespace fennick
