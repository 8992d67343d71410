#include "orvo/support/FramePattern.h"

#include "orvo/support/ToolError.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fennick {
namespace tool {

namespace {

// Frames are written in at most this many digits, so that every frame and
// every step between two fits a long on any platform.
constexpr std::size_t kMaxFrameDigits = 9;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A mark beginning at `at` of `name`: its length and width, or 0.
std::size_t markAt(const std::string& name, std::size_t at, int& width)
{
    if (name[at] == '#') {
        std::size_t end = at;
        while (end < name.size() && name[end] == '#')
            ++end;
        width = int(end - at);
        return end - at;
    }
    if (name[at] != '%')
        return 0;
    std::size_t end = at + 1;
    if (end < name.size() && name[end] == 'd') {
        width = 1;
        return 2;
    }
    if (end >= name.size() || name[end] != '0')
        return 0;
    std::size_t digits = end + 1;
    while (digits < name.size() && isDigit(name[digits]))
        ++digits;
    if (digits == end + 1 || digits >= name.size() || name[digits] != 'd' || digits - end - 1 > 2)
        return 0;
    width = std::stoi(name.substr(end + 1, digits - end - 1));
    if (width < 1 || std::size_t(width) > kMaxFrameDigits)
        return 0;
    return digits + 1 - at;
}

// A whole number from 0 in at most kMaxFrameDigits digits.
std::optional<long> wholeNumber(const std::string& text)
{
    if (text.empty() || text.size() > kMaxFrameDigits
        || !std::all_of(text.begin(), text.end(), isDigit))
        return std::nullopt;
    return std::stol(text);
}

}  // namespace

std::optional<FramePattern> FramePattern::of(const std::string& path)
{
    FramePattern p;
    p.text_ = path;
    const std::size_t slash = path.rfind('/');
    p.dir_ = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    p.name_ = slash == std::string::npos ? path : path.substr(slash + 1);
    bool found = false;
    for (std::size_t at = 0; at < p.name_.size();) {
        int width = 0;
        const std::size_t length = markAt(p.name_, at, width);
        if (length == 0) {
            ++at;
            continue;
        }
        if (found)
            throw ToolError(path + ": the name has two frame marks (" + p.mark() + " and "
                            + p.name_.substr(at, length)
                            + "); a sequence is numbered at one place");
        found = true;
        p.prefix_ = at;
        p.markLength_ = length;
        p.width_ = width;
        at += length;
    }
    if (!found)
        return std::nullopt;
    return p;
}

std::string FramePattern::folder() const { return dir_.empty() ? std::string(".") : dir_; }

std::string FramePattern::path(long frame) const
{
    std::string digits = std::to_string(frame);
    if (digits.size() < std::size_t(width_))
        digits.insert(0, std::size_t(width_) - digits.size(), '0');
    return dir_ + name_.substr(0, prefix_) + digits + name_.substr(prefix_ + markLength_);
}

std::optional<long> FramePattern::frameOf(const std::string& fileName) const
{
    const std::string before = name_.substr(0, prefix_);
    const std::string after = name_.substr(prefix_ + markLength_);
    if (fileName.size() < before.size() + after.size() + std::size_t(width_)
        || fileName.compare(0, before.size(), before) != 0
        || fileName.compare(fileName.size() - after.size(), after.size(), after) != 0)
        return std::nullopt;
    const std::string digits
        = fileName.substr(before.size(), fileName.size() - before.size() - after.size());
    // "0012" is frame 12 of ####, "00012" is not: it is no name path() writes.
    if (digits.size() > std::size_t(width_) && digits[0] == '0')
        return std::nullopt;
    return wholeNumber(digits);
}

std::vector<long> FrameRange::frames() const
{
    std::vector<long> out;
    for (long f = first; f <= last; f += step)
        out.push_back(f);
    return out;
}

std::optional<FrameRange> parseFrameRange(const std::string& text)
{
    FrameRange r;
    const std::size_t dash = text.find('-');
    const std::size_t x = text.find('x');
    if (dash == std::string::npos) {
        const std::optional<long> a = wholeNumber(text);
        if (!a)
            return std::nullopt;
        r.first = r.last = *a;
        return r;
    }
    const std::optional<long> a = wholeNumber(text.substr(0, dash));
    const std::optional<long> b = wholeNumber(
        text.substr(dash + 1, x == std::string::npos ? std::string::npos : x - dash - 1));
    const std::optional<long> step
        = x == std::string::npos ? std::optional<long>(1) : wholeNumber(text.substr(x + 1));
    if (!a || !b || !step || *a > *b || *step < 1 || (x != std::string::npos && x < dash))
        return std::nullopt;
    r.first = *a;
    r.last = *b;
    r.step = *step;
    return r;
}

std::vector<long> framesOnDisk(const FramePattern& pattern)
{
    std::vector<long> frames;
    DIR* d = ::opendir(pattern.folder().c_str());
    if (d == nullptr)
        throw ToolError(pattern.folder() + ": cannot list the folder to find the frames of "
                        + pattern.text() + ": " + std::strerror(errno));
    while (const dirent* e = ::readdir(d))
        if (const std::optional<long> f = pattern.frameOf(e->d_name))
            frames.push_back(*f);
    ::closedir(d);
    std::sort(frames.begin(), frames.end());
    return frames;
}

}  // namespace tool
}  // namespace fennick
