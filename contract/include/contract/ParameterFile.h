// The camera parameter file the host's preparation script writes beside the
// target (contract/SideFileNames.h), and the film-fit rule that frames it.
//
// Grammar: white-space separated tokens, line structure meaningless, words
// case-sensitive, numbers as the standard stream extraction of a double
// reads them in the classic "C" locale:
//
//   Parameters
//   pos p1 p2 p3
//   worldMatrix a11 a12 a13 a21 a22 a23 a31 a32 a33
//   focalLen f  apertureX ax  apertureY ay
//   offsetX ox  offsetY oy  squeeze s
//   filmFit word  projType word
//   dpi d  pAspect pa  depthMax dm
//
// The entries must come in exactly this order; anything after the depthMax
// value is ignored. The saver accepts exactly what this reader accepts;
// the tool checks more (each number its whole token, value ranges, the
// axes) before the saver sees a file, and says where.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fennick {
namespace contract {

struct CameraParameters {
    double pos[3] = {0.0, 0.0, 0.0};
    double worldMatrix[9] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};  // rows: right, up, back
    double focalLen = 0.0;
    double apertureX = 0.0;
    double apertureY = 0.0;
    double offsetX = 0.0;  // read for the grammar's sake; the film is always centred
    double offsetY = 0.0;
    double squeeze = 0.0;
    std::string filmFit;   // "horizontal", "overscan", "fill"; anything else is vertical fit
    std::string projType;  // "persp" or any other planar camera
    double dpi = 0.0;
    double pAspect = 0.0;
    double depthMax = 0.0;
};

inline constexpr char kParameterHeaderWord[] = "Parameters";
// The saved camera's far plane lies at this many times depthMax, so that the
// codes of samples within the depth range stay well below the no-depth
// marker 0xFFFFFFFF; a file's depthMax is its farDistance divided by it.
inline constexpr double kFarDistanceFactor = 1.5;
inline constexpr char kPerspectiveWord[] = "persp";

// One token as the reader took it: a key word, the header word (key
// empty) or a value of `key` (index counting from 0 within the entry). For
// a number, `whole` says whether the number was all of its token: stream
// extraction stops where a number ends, so "5mm" reads as 5 and leaves
// "mm" to what follows.
struct ParameterToken {
    enum class Kind { Header, Key, Number, Word } kind;
    std::string key;
    int index = 0;
    unsigned line = 1;  // counting from 1
    std::string text;   // the whole token, to its next white space
    bool whole = true;
    double number = 0.0;  // the number read, for a Number
};

// Where a text departs from the grammar: the line of the token at fault (of
// the last token when the text ends early), the key being read (empty for
// the header word), and the place's detail in words a user can act on
// ("expected the key \"pos\", found \"Pos\" (...)", "key \"dpi\": \"x\" is
// not a number").
struct ParameterProblem {
    unsigned line = 1;
    std::string key;
    std::string detail;
};

struct ParameterReading {
    CameraParameters values;  // complete only when there is no problem
    std::optional<ParameterProblem> problem;
    std::vector<ParameterToken> tokens;  // in order, up to the problem
};

ParameterReading readParameterText(const std::string& text);

// The film's width and height as a picture of width x height pixels frames
// it, in the unit of the apertures: "horizontal" spans the picture with the
// film's width; "overscan" does so when the film is wider than the picture
// (apertureX > A x apertureY, A = width x pAspect / height), "fill" when it
// is narrower; any other word spans it with the film's height.
struct FilmSize {
    double width = 0.0;
    double height = 0.0;
};
FilmSize filmSize(const CameraParameters& camera, unsigned width, unsigned height);

}  // namespace contract
}  // namespace fennick
