#include "tools/orvo/ParamFile.h"

#include "tools/orvo/CameraAxes.h"
#include "tools/orvo/FileOps.h"
#include "tools/orvo/NumberText.h"
#include "tools/orvo/ToolError.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <locale>
#include <memory>
#include <sstream>

namespace orvotool {

namespace {

constexpr char kHeaderWord[] = "Parameters";

struct Token {
    std::string text;
    unsigned line;
};

// Splits as the saver's stream extraction does: on the "C" locale's white
// space.
std::vector<Token> tokens(const std::string& text)
{
    std::vector<Token> out;
    unsigned line = 1;
    std::string current;
    unsigned currentLine = 1;
    for (char c : text) {
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
        if (!space) {
            if (current.empty())
                currentLine = line;
            current += c;
        } else if (!current.empty()) {
            out.push_back({current, currentLine});
            current.clear();
        }
        if (c == '\n')
            ++line;
    }
    if (!current.empty())
        out.push_back({current, currentLine});
    return out;
}

class Reader {
public:
    Reader(const std::string& path, std::vector<Token> tokens)
        : path_(path), tokens_(std::move(tokens))
    {
    }

    void header()
    {
        if (next_ >= tokens_.size())
            throw ToolError(path_ + ":1: the file is empty; it must begin with the word \""
                            + kHeaderWord + "\"");
        const Token& t = tokens_[next_++];
        if (t.text != kHeaderWord)
            throw ToolError(place(t) + "the file must begin with the word \"" + kHeaderWord
                            + "\", not \"" + t.text + "\"");
    }

    void key(const char* name)
    {
        key_ = name;
        if (next_ >= tokens_.size())
            throw ToolError(endPlace() + "the file ends where the key \"" + name
                            + "\" should follow");
        const Token& t = tokens_[next_++];
        if (t.text != name)
            throw ToolError(place(t) + "expected the key \"" + name + "\", found \"" + t.text
                            + "\" (keys come in a fixed order and are case-sensitive)");
        keyLine_ = t.line;
    }

    double number()
    {
        if (next_ >= tokens_.size())
            throw ToolError(endPlace() + "key \"" + key_ + "\": the file ends before its value");
        const Token& t = tokens_[next_++];
        std::istringstream in(t.text);
        in.imbue(std::locale::classic());
        double v = 0;
        in >> v;
        if (in.fail() || in.peek() != std::char_traits<char>::eof() || !std::isfinite(v))
            throw ToolError(place(t) + "key \"" + key_ + "\": \"" + t.text
                            + "\" is not a number");
        lastLine_ = t.line;
        lastText_ = t.text;
        return v;
    }

    // The key and its one number.
    double keyedNumber(const char* name)
    {
        key(name);
        return number();
    }

    // The key and its one number, which must be above 0.
    double positiveNumber(const char* name, const char* what)
    {
        const double v = keyedNumber(name);
        require(v > 0, std::string(what) + " must be above 0");
        return v;
    }

    std::string word()
    {
        if (next_ >= tokens_.size())
            throw ToolError(endPlace() + "key \"" + key_ + "\": the file ends before its value");
        const Token& t = tokens_[next_++];
        lastLine_ = t.line;
        return t.text;
    }

    // Fails at the value just read unless `ok`.
    void require(bool ok, const std::string& what) const
    {
        if (!ok)
            throw ToolError(valuePlace() + what + ", not " + lastText_);
    }
    // Fails at the key just read, for a fault of its values together (which
    // may run over several lines).
    [[noreturn]] void refuseEntry(const std::string& what) const
    {
        throw ToolError(entryPlace(keyLine_) + what);
    }
    std::string valuePlace() const { return entryPlace(lastLine_); }

private:
    std::string entryPlace(unsigned line) const
    {
        return path_ + ":" + std::to_string(line) + ": key \"" + key_ + "\": ";
    }
    std::string place(const Token& t) const { return path_ + ":" + std::to_string(t.line) + ": "; }
    std::string endPlace() const
    {
        const unsigned line = tokens_.empty() ? 1 : tokens_.back().line;
        return path_ + ":" + std::to_string(line) + ": ";
    }

    std::string path_;
    std::vector<Token> tokens_;
    std::size_t next_ = 0;
    std::string key_;
    unsigned keyLine_ = 1;
    unsigned lastLine_ = 1;
    std::string lastText_;
};

// -0 is written as 0: the same camera to the saver, and what a person
// would write.
std::string num(double v) { return shortestText(v == 0 ? 0.0 : v); }

}  // namespace

std::string paramFileText(const CameraParameters& c)
{
    std::string t = std::string(kHeaderWord) + "\npos " + num(c.pos[0]) + " " + num(c.pos[1]) + " "
                    + num(c.pos[2]) + "\nworldMatrix";
    for (double a : c.worldMatrix)
        t += " " + num(a);
    t += "\nfocalLen " + num(c.focalLen) + "\napertureX " + num(c.apertureX) + "\napertureY "
         + num(c.apertureY) + "\noffsetX " + num(c.offsetX) + "\noffsetY " + num(c.offsetY)
         + "\nsqueeze " + num(c.squeeze) + "\nfilmFit " + c.filmFit + "\nprojType " + c.projType
         + "\ndpi " + num(c.dpi) + "\npAspect " + num(c.pAspect) + "\ndepthMax "
         + num(c.depthMax) + "\n";
    return t;
}

CameraParameters readParamFile(const std::string& path, std::vector<std::string>& warnings)
{
    requireRegularFile(path, "parameter file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ToolError(path + ": cannot read the parameter file: " + std::strerror(errno));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw ToolError(path + ": cannot read the parameter file");

    Reader r(path, tokens(text));
    CameraParameters c;
    r.header();
    r.key("pos");
    for (double& p : c.pos)
        p = r.number();
    r.key("worldMatrix");
    for (double& a : c.worldMatrix)
        a = r.number();
    const double* const rows[3] = {&c.worldMatrix[0], &c.worldMatrix[3], &c.worldMatrix[6]};
    const char* const rowNames[3] = {"row 1", "row 2", "row 3"};
    const std::string fault = axesFault(rows, rowNames);
    if (!fault.empty())
        r.refuseEntry("its rows, the camera's right, up and back directions, must be unit "
                      "vectors at right angles; "
                      + fault);
    c.focalLen = r.positiveNumber("focalLen", "the focal length");
    c.apertureX = r.positiveNumber("apertureX", "the film width");
    c.apertureY = r.positiveNumber("apertureY", "the film height");
    c.offsetX = r.keyedNumber("offsetX");
    c.offsetY = r.keyedNumber("offsetY");
    c.squeeze = r.keyedNumber("squeeze");
    r.key("filmFit");
    c.filmFit = r.word();
    if (c.filmFit != "horizontal" && c.filmFit != "vertical" && c.filmFit != "overscan"
        && c.filmFit != "fill")
        warnings.push_back(r.valuePlace() + "\"" + c.filmFit
                           + "\" is none of horizontal, vertical, overscan, fill; the saver "
                             "fits the film vertically");
    r.key("projType");
    c.projType = r.word();
    c.dpi = r.keyedNumber("dpi");
    r.require(c.dpi >= 0, "the resolution must not be negative");
    c.pAspect = r.positiveNumber("pAspect", "the pixel aspect ratio");
    c.depthMax = r.positiveNumber("depthMax", "the depth range");
    return c;
}

void filmSize(const CameraParameters& c, unsigned width, unsigned height, double& fw, double& fh)
{
    const double aspect = double(width) * c.pAspect / double(height);
    const bool horizontal = c.filmFit == "horizontal"
                            || (c.filmFit == "overscan" && c.apertureX > aspect * c.apertureY)
                            || (c.filmFit == "fill" && c.apertureX < aspect * c.apertureY);
    if (horizontal) {
        fw = c.apertureX;
        fh = c.apertureX / aspect;
    } else {
        fw = aspect * c.apertureY;
        fh = c.apertureY;
    }
}

}  // namespace orvotool
