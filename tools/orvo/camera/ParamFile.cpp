#include "orvo/camera/ParamFile.h"

#include "orvo/camera/CameraAxes.h"
#include "orvo/support/FileOps.h"
#include "orvo/inspect/NumberText.h"
#include "orvo/support/ToolError.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace fennick {
namespace tool {

namespace {

using fennick::contract::ParameterToken;

// What the tool asks of a key's values beyond the grammar, and the words
// of its refusal; keys without a limit are absent.
struct ValueLimit {
    const char* key;
    bool zeroAllowed;  // at least 0 rather than above 0
    const char* what;
};
const ValueLimit kLimits[] = {
    {"focalLen", false, "the focal length must be above 0"},
    {"apertureX", false, "the film width must be above 0"},
    {"apertureY", false, "the film height must be above 0"},
    {"dpi", true, "the resolution must not be negative"},
    {"pAspect", false, "the pixel aspect ratio must be above 0"},
    {"depthMax", false, "the depth range must be above 0"},
};
constexpr int kLastMatrixValue = 8;

std::string place(const std::string& path, unsigned line)
{
    return path + ":" + std::to_string(line) + ": ";
}
std::string keyPlace(const std::string& path, unsigned line, const std::string& key)
{
    return place(path, line) + "key \"" + key + "\": ";
}

// The tool's own checks of a number the grammar took: all of its token a
// number (the saver would read "5mm" as 5 and stumble over "mm" later, or
// not at all after depthMax), and within its key's limit.
void checkNumber(const std::string& path, const ParameterToken& t)
{
    if (!t.whole)
        throw ToolError(keyPlace(path, t.line, t.key) + "\"" + t.text + "\" is not a number");
    const double v = t.number;
    for (const ValueLimit& limit : kLimits)
        if (t.key == limit.key && !(limit.zeroAllowed ? v >= 0 : v > 0))
            throw ToolError(keyPlace(path, t.line, t.key) + limit.what + ", not " + t.text);
}

// Scaled or sheared axes put every ray somewhere else; the saver would
// store them as given.
void checkAxes(const std::string& path, const CameraParameters& c, unsigned keyLine)
{
    const double* const rows[3] = {&c.worldMatrix[0], &c.worldMatrix[3], &c.worldMatrix[6]};
    const char* const rowNames[3] = {"row 1", "row 2", "row 3"};
    const std::string fault = axesFault(rows, rowNames);
    if (!fault.empty())
        throw ToolError(keyPlace(path, keyLine, "worldMatrix")
                        + "its rows, the camera's right, up and back directions, must be unit "
                          "vectors at right angles; "
                        + fault);
}

// -0 is written as 0: the same camera to the saver, and what a person
// would write.
std::string num(double v) { return shortestText(v == 0 ? 0.0 : v); }

}  // namespace

std::string paramFileText(const CameraParameters& c)
{
    std::string t = std::string(fennick::contract::kParameterHeaderWord) + "\npos " + num(c.pos[0])
                    + " " + num(c.pos[1]) + " " + num(c.pos[2]) + "\nworldMatrix";
    for (double a : c.worldMatrix)
        t += " " + num(a);
    t += "\nfocalLen " + num(c.focalLen) + "\napertureX " + num(c.apertureX) + "\napertureY "
         + num(c.apertureY) + "\noffsetX " + num(c.offsetX) + "\noffsetY " + num(c.offsetY)
         + "\nsqueeze " + num(c.squeeze) + "\nfilmFit " + c.filmFit + "\nprojType " + c.projType
         + "\ndpi " + num(c.dpi) + "\npAspect " + num(c.pAspect) + "\ndepthMax " + num(c.depthMax)
         + "\n";
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

    // The first fault in the file's order is reported: the tool's checks of
    // each value come before a later departure from the grammar.
    const fennick::contract::ParameterReading r = fennick::contract::readParameterText(text);
    const CameraParameters& c = r.values;
    unsigned matrixLine = 1;
    for (const ParameterToken& t : r.tokens) {
        if (t.kind == ParameterToken::Kind::Key && t.key == "worldMatrix")
            matrixLine = t.line;
        if (t.kind != ParameterToken::Kind::Number || (r.problem && &t == &r.tokens.back()))
            continue;
        checkNumber(path, t);
        if (t.key == "worldMatrix" && t.index == kLastMatrixValue)
            checkAxes(path, c, matrixLine);
    }
    if (r.problem) {
        const fennick::contract::ParameterProblem& p = *r.problem;
        throw ToolError(place(path, p.line) + p.detail);
    }
    for (const ParameterToken& t : r.tokens)
        if (t.kind == ParameterToken::Kind::Word && t.key == "filmFit" && t.text != "horizontal"
            && t.text != "vertical" && t.text != "overscan" && t.text != "fill")
            warnings.push_back(keyPlace(path, t.line, t.key) + "\"" + t.text
                               + "\" is none of horizontal, vertical, overscan, fill; the saver "
                                 "fits the film vertically");
    return c;
}

CameraParameters newCamera()
{
    CameraParameters c;
    c.worldMatrix[0] = c.worldMatrix[4] = c.worldMatrix[8] = 1;
    c.focalLen = kNewFocalLength;
    c.apertureX = kNewApertureX;
    c.apertureY = kNewApertureY;
    c.squeeze = 1;
    c.filmFit = "horizontal";
    c.projType = fennick::contract::kPerspectiveWord;
    c.dpi = kDefaultDpi;
    c.pAspect = 1;
    c.depthMax = 1;
    return c;
}

}  // namespace tool
}  // namespace fennick
