// The rule a camera's frame keeps: its three axes are unit vectors at right
// angles to each other. Readers of the files take a planar camera's xAxis,
// yAxis and zAxis for such a frame, and scaled or sheared axes put every
// ray, and so every distance along it, somewhere else. The rule is given
// here once, for every program that checks or reports a frame; what a
// fault is called in words is each program's own.
//
// Header-only, standard library only.
#pragma once

#include <cmath>

namespace Talvenrock {
namespace Orvo {

// Matrices from renders are written as floats, and camera terms by scripts
// with a few digits fewer than a double's: axes are unit vectors at right
// angles to this precision.
constexpr double kAxesTolerance = 1e-4;

constexpr int kFrameAxes = 3;

inline double dot3(const double* a, const double* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// The first fault of three axes, in this order: an axis whose length is not
// 1 (first, with the length as value), then a pair not at right angles
// (first and second, with their dot product as value). NaN and infinite
// components are faults too.
struct AxesFault {
    enum class Kind { None, Length, Angle };
    Kind kind = Kind::None;
    int first = 0;
    int second = 0;
    double value = 0;

    explicit operator bool() const { return kind != Kind::None; }
};

inline AxesFault findAxesFault(const double* const axes[kFrameAxes])
{
    AxesFault fault;
    for (int i = 0; i < kFrameAxes; ++i) {
        const double length = std::sqrt(dot3(axes[i], axes[i]));
        if (!(std::fabs(length - 1) <= kAxesTolerance)) {
            fault.kind = AxesFault::Kind::Length;
            fault.first = i;
            fault.value = length;
            return fault;
        }
    }
    for (int i = 0; i < kFrameAxes; ++i)
        for (int j = i + 1; j < kFrameAxes; ++j) {
            const double d = dot3(axes[i], axes[j]);
            if (!(std::fabs(d) <= kAxesTolerance)) {
                fault.kind = AxesFault::Kind::Angle;
                fault.first = i;
                fault.second = j;
                fault.value = d;
                return fault;
            }
        }
    return fault;
}

}  // namespace Orvo
}  // namespace Talvenrock
