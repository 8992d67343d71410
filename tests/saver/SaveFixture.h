// Shared set-up of the save tests: a host stand-in with the module attached
// in-process, a private folder per test, and writers of the two side files
// the host script would leave beside the target.
#pragma once

#include "host/HostWrappers.h"
#include "hostsim/Host.h"
#include "hostsim/SimLayeredImage.h"
#include "hostsim/testing/TestPolicies.h"
#include "saver/OrvoSaver.h"
#include "support/InProcessModule.h"
#include "support/ScratchDir.h"

#include "ParameterText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fennick_test {

// The camera of the saved scenes: horizontal fit of a 36 x 24 film at focal
// length 35, placed at (1, 2, 3), 299.9 dpi, depth range 100.
inline ParameterText sceneCamera()
{
    ParameterText p;
    p.pos = "1 2 3";
    p.focalLen = "35";
    p.apertureX = "36";
    p.apertureY = "24";
    p.dpi = "299.9";
    p.depthMax = "100";
    return p;
}

// BGRA pixel of the colour image at (x, y), y counted from the top.
inline void colourAt(unsigned x, unsigned y, unsigned char bgra[4])
{
    bgra[0] = static_cast<unsigned char>(10 + x);       // blue
    bgra[1] = static_cast<unsigned char>(100 + y);      // green
    bgra[2] = static_cast<unsigned char>(200 + x + y);  // red
    bgra[3] = 0x7F;                                     // alpha, dropped
}

#ifndef _WIN32
// The unprivileged user and group that permission tests run as when the
// suite runs as root, who may write any file.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

// Runs `check` with the permissions of an ordinary user: directly when the
// process is not root, else in a child that gives up root first. True when
// `check` returned true.
template <class Check>
bool asOrdinaryUser(Check check)
{
    if (::geteuid() != 0)
        return check();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(kNoGroup) != 0 || ::setuid(kNobody) != 0)
            ::_exit(2);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif

class SaveFixture : public ::testing::Test {
protected:
    // Answers as a well-behaved host until a test switches something off;
    // declared before the host, which borrows it.
    fennick::hostsim::TestHostPolicy hostPolicy;
    fennick::hostsim::Host host{hostPolicy};
    std::unique_ptr<InProcessModule> module;
    std::unique_ptr<testsupport::ScratchDir> scratch;
    std::string dir;
    std::string target;
    long hostBaseline = 0;

    void SetUp() override
    {
        scratch = std::make_unique<testsupport::ScratchDir>("fennick_save_");
        dir = scratch->str();
        target = dir + "/view.tif";
        module = std::make_unique<InProcessModule>(host);
        // The module caches the log service at first use; take that
        // reference now so that it does not count against a save.
        {
            CLxLoc_LogService warm;
        }
        hostBaseline = host.liveReferences();
    }

    void TearDown() override { scratch.reset(); }

    std::string parameterPath(const std::string& t) const { return t + ".param.txt"; }
    std::string colourPath(const std::string& t) const { return t + ".rgb.tga"; }

    void writeParameters(const std::string& t, const std::string& text) const
    {
        std::ofstream(parameterPath(t), std::ios::binary) << text;
    }

    // A 32-bit type-2 TGA of colourAt() pixels, bottom row stored first
    // unless topDown.
    void writeColour(const std::string& t, unsigned w, unsigned h, bool topDown = false) const
    {
        std::vector<unsigned char> b(18, 0);
        b[2] = 2;
        b[12] = static_cast<unsigned char>(w & 0xFF);
        b[13] = static_cast<unsigned char>(w >> 8);
        b[14] = static_cast<unsigned char>(h & 0xFF);
        b[15] = static_cast<unsigned char>(h >> 8);
        b[16] = 32;
        b[17] = topDown ? 0x28 : 0x08;
        b.reserve(18 + w * h * 4);
        for (unsigned stored = 0; stored < h; ++stored) {
            const unsigned y = topDown ? stored : h - 1 - stored;
            for (unsigned x = 0; x < w; ++x) {
                unsigned char px[4];
                colourAt(x, y, px);
                for (unsigned char c : px)
                    b.push_back(c);
            }
        }
        writeBytes(colourPath(t), b);
    }

    static void writeBytes(const std::string& path, const std::vector<unsigned char>& b)
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    }

    void writeSideFiles(const std::string& t, unsigned w, unsigned h,
                        const ParameterText& p = sceneCamera()) const
    {
        writeParameters(t, p.text("\n"));
        writeColour(t, w, h);
    }

    static std::vector<float> depthRamp(unsigned w, unsigned h)
    {
        std::vector<float> v(static_cast<std::size_t>(w) * h);
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<float>(i + 1) / static_cast<float>(v.size() + 1);
        return v;
    }

    LxResult save(fennick::hostsim::SimLayeredImage& image, const std::string& name)
    {
        return save(image.object(), name);
    }
    LxResult save(LXtObjectID source, const std::string& name)
    {
        COrvoSaver saver;
        return saver.sav_Save(source, name.c_str(), nullptr);
    }

    // The names in the test's folder, narrow as the host gives them.
    std::set<std::string> files() const
    {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(scratch->path(), error))
            names.insert(testsupport::narrowPath(entry.path().filename()));
        return names;
    }

    static std::string contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Exactly one message was logged, in "io-status", with this type and text.
    void expectOneMessage(LxResult type, const std::string& text) const
    {
        const auto& messages = host.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].subsystem, "io-status");
        EXPECT_EQ(messages[0].type, type);
        EXPECT_EQ(messages[0].text, text);
    }

    void expectReferencesReleased(const fennick::hostsim::SimLayeredImage& image) const
    {
        EXPECT_EQ(image.references(), 0);
        EXPECT_EQ(image.misuses(), 0);
        EXPECT_EQ(host.liveReferences(), hostBaseline);
        EXPECT_EQ(host.misuses(), 0);
    }
};

}  // namespace fennick_test
