// Text of a parameter file as the host script writes it, with every value
// replaceable, for the parameter-file and camera-model tests.
#pragma once

#include "saver/src/ParameterFile.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace fennick_test {

struct ParameterText {
    std::string pos = "0 0 0";
    std::string matrix = "1 0 0 0 1 0 0 0 1";
    std::string focalLen = "4";
    std::string apertureX = "2";
    std::string apertureY = "1.5";
    std::string filmFit = "horizontal";
    std::string projType = "persp";
    std::string dpi = "72";
    std::string pAspect = "1";
    std::string depthMax = "10";

    std::string text(const char* sep = " ") const
    {
        std::string s;
        auto add = [&](const std::string& t) { s += t + sep; };
        add("Parameters");
        add("pos " + pos);
        add("worldMatrix " + matrix);
        add("focalLen " + focalLen);
        add("apertureX " + apertureX);
        add("apertureY " + apertureY);
        add("offsetX 0.1");
        add("offsetY -0.2");
        add("squeeze 1");
        add("filmFit " + filmFit);
        add("projType " + projType);
        add("dpi " + dpi);
        add("pAspect " + pAspect);
        add("depthMax " + depthMax);
        return s;
    }
};

inline bool parse(const std::string& text, CameraParameters& out)
{
    std::istringstream in(text);
    return readParameterFile(in, out);
}

inline CameraParameters parsed(const ParameterText& t)
{
    CameraParameters p;
    EXPECT_TRUE(parse(t.text(), p)) << t.text();
    return p;
}

}  // namespace fennick_test
