// The rule a camera's frame must keep wherever the tool takes or reports
// one: its three axes are unit vectors at right angles to each other. The
// saver's camera model stores the axes as given, and readers of the file
// take them for such a frame: scaled or sheared axes put every ray, and so
// every distance along it, somewhere else.
#pragma once

#include "orvo/inspect/NumberText.h"

#include <cmath>
#include <string>

namespace fennick {
namespace tool {

// Matrices from renders are written as floats, and parameter files by
// scripts with a few digits fewer than a double's: axes and frames are
// accepted to this precision.
inline constexpr double kMatrixTolerance = 1e-4;

inline double dot3(const double* a, const double* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Why `axes` (three vectors of three numbers, called `names` in the text)
// are not unit vectors at right angles to within kMatrixTolerance: the first
// fault found, as "row 1 has length 2" or "row 1 and row 2 are not at right
// angles (their dot product is 0.5)"; empty when they are. NaN and infinite
// components are faults too.
inline std::string axesFault(const double* const axes[3], const char* const names[3])
{
    constexpr int kAxes = 3;
    for (int i = 0; i < kAxes; ++i) {
        const double length = std::sqrt(dot3(axes[i], axes[i]));
        if (!(std::fabs(length - 1) <= kMatrixTolerance))
            return std::string(names[i]) + " has length " + shortestText(length);
    }
    for (int i = 0; i < kAxes; ++i)
        for (int j = i + 1; j < kAxes; ++j) {
            const double d = dot3(axes[i], axes[j]);
            if (!(std::fabs(d) <= kMatrixTolerance))
                return std::string(names[i]) + " and " + names[j]
                       + " are not at right angles (their dot product is " + shortestText(d) + ")";
        }
    return {};
}

}  // namespace tool
}  // namespace fennick
