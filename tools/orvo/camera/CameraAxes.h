// The frame rule (avkorvo/FrameAxes.h) in the tool's words, wherever the
// tool takes or reports a camera's frame: its three axes are unit vectors
// at right angles to each other.
#pragma once

#include "orvo/inspect/NumberText.h"

#include "avkorvo/FrameAxes.h"

#include <string>

namespace fennick {
namespace tool {

// The precision the tool checks render matrices and frames to: the frame
// rule's, so that a camera the tool accepts is one the reports call
// orthonormal.
inline constexpr double kMatrixTolerance = Talvenrock::Orvo::kAxesTolerance;

// Why `axes` (three vectors of three numbers, called `names` in the text)
// are not unit vectors at right angles to within kMatrixTolerance: the first
// fault found, as "row 1 has length 2" or "row 1 and row 2 are not at right
// angles (their dot product is 0.5)"; empty when they are.
inline std::string axesFault(const double* const axes[3], const char* const names[3])
{
    using Talvenrock::Orvo::AxesFault;
    const AxesFault fault = Talvenrock::Orvo::findAxesFault(axes);
    switch (fault.kind) {
    case AxesFault::Kind::Length:
        return std::string(names[fault.first]) + " has length " + shortestText(fault.value);
    case AxesFault::Kind::Angle:
        return std::string(names[fault.first]) + " and " + names[fault.second]
               + " are not at right angles (their dot product is " + shortestText(fault.value)
               + ")";
    case AxesFault::Kind::None: break;
    }
    return {};
}

}  // namespace tool
}  // namespace fennick
