// Helpers shared by the tool's tests: a scratch folder per test, running the
// built `orvo` executable, and a small Orvo file with known contents written
// by the writer library.
#pragma once

#include "avkorvo/OrvoFile.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace tooltest {

// A fresh folder per test, removed with its files afterwards. path() is
// its narrow name, which the tool is run in.
class ScratchDir {
public:
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return dir_.file(name); }

private:
    testsupport::ScratchDir dir_{"orvo-test-"};
    std::string path_ = dir_.str();
};

inline bool fileExists(const std::string& path)
{
    return std::filesystem::exists(testsupport::pathFromNarrow(path));
}

inline std::vector<unsigned char> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::string readText(const std::string& path)
{
    std::vector<unsigned char> b = readBytes(path);
    return std::string(b.begin(), b.end());
}

// Patch of a 32-bit value in the byte order of the file's TIFF header ("MM"
// big-endian, otherwise little-endian), the order of every number in it.
inline void patchU32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value)
{
    const bool big = bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'M';
    for (int i = 0; i < 4; ++i)
        bytes.at(at + (big ? 3 - i : i)) = static_cast<unsigned char>(value >> (8 * i));
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

#ifndef _WIN32
// Runs `program` (a path) with `args` (already shell-quoted where needed) in
// the folder `cwd`, capturing both output streams. With `killAfterSeconds`,
// for a run that should end at once but could hang (on a named pipe, say):
// it is killed after that many seconds (status then -1), and its standard
// input is /dev/null so that it can never wait on the terminal the tests run
// from.
inline RunResult runProgram(const std::string& program, const std::string& args,
                            const std::string& cwd, int killAfterSeconds = 0)
{
    const bool bounded = killAfterSeconds > 0;
    const std::string outFile = cwd + "/.stdout", errFile = cwd + "/.stderr";
    const std::string limit
        = bounded ? "timeout -s KILL " + std::to_string(killAfterSeconds) + " " : std::string();
    const std::string input = bounded ? " </dev/null" : "";
    const std::string command = "cd '" + cwd + "' && " + limit + "'" + program + "' " + args + " >'"
                                + outFile + "' 2>'" + errFile + "'" + input;
    RunResult r;
    const int raw = std::system(command.c_str());
    // `timeout` reports the kill as exit status 128 + SIGKILL.
    const bool killed = bounded && WIFEXITED(raw) && WEXITSTATUS(raw) == 137;
    r.status = WIFEXITED(raw) && !killed ? WEXITSTATUS(raw) : -1;
    r.out = readText(outFile);
    r.err = readText(errFile);
    std::remove(outFile.c_str());
    std::remove(errFile.c_str());
    return r;
}
#endif  // _WIN32

#ifdef ORVO_EXE
// Runs the built tool, as runProgram does.
inline RunResult runOrvo(const std::string& args, const std::string& cwd, int killAfterSeconds = 0)
{
    return runProgram(ORVO_EXE, args, cwd, killAfterSeconds);
}
#endif  // ORVO_EXE

// The known file: 4 x 3 pixels, every channel, a perspective camera, two
// materials in the table and a third tag only in the pixels.
constexpr unsigned kKnownWidth = 4;
constexpr unsigned kKnownHeight = 3;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::uint32_t kKnownDepth[kKnownHeight][kKnownWidth] = {
    {kNone, 0, 858993458, 2147483647},
    {1717986917, kNone, 100, 200},
    {300, 400, 4294967294u, kNone},
};
constexpr std::uint16_t kKnownTags[kKnownHeight][kKnownWidth] = {
    {0, 1, 1, 2},
    {2, 2, 0, 1},
    {1, 3, 0, 0},
};

inline std::uint8_t knownRed(unsigned x, unsigned) { return static_cast<std::uint8_t>(60 * x); }
inline std::uint8_t knownGreen(unsigned, unsigned y) { return static_cast<std::uint8_t>(80 * y); }
inline constexpr std::uint8_t kKnownBlue = 7;

inline Talvenrock::Orvo::Projection knownProjection()
{
    Talvenrock::Orvo::Projection p;
    p.kind = 0;
    p.position[0] = 1;
    p.position[1] = -3;
    p.position[2] = 2;
    p.topLeft[0] = -1;
    p.topLeft[1] = 0.5;
    p.topLeft[2] = 4;
    p.bottomRight[0] = 1;
    p.bottomRight[1] = -0.5;
    p.bottomRight[2] = 4;
    p.farDistance = 15;
    p.code = 4;
    return p;
}

// Writes the known file at path; with `shadow`, a shadow direction (0, 0, 1)
// so that the colour block carries the property list; with `compress`, LZW
// strips; with `projection`, another camera.
inline void writeKnownOrvo(const std::string& path, bool shadow = false, bool compress = false,
                           const Talvenrock::Orvo::Projection& projection = knownProjection())
{
    using namespace Talvenrock::Orvo;
    const std::wstring wpath(path.begin(), path.end());
    std::unique_ptr<OrvoFile> f(OrvoFile::create(wpath, kKnownWidth, kKnownHeight,
                                                 L"Talvenrock Orvo plugin for Modo", L"", L"", L"",
                                                 projection, compress));
    f->setResolution(300, 300, ResolutionInch);
    if (shadow)
        f->setShadowDirection(0, 0, 1);
    f->beginPass(1);
    for (unsigned y = 0; y < kKnownHeight; ++y) {
        for (unsigned x = 0; x < kKnownWidth; ++x) {
            f->rgbLine()[3 * x] = knownRed(x, y);
            f->rgbLine()[3 * x + 1] = knownGreen(x, y);
            f->rgbLine()[3 * x + 2] = kKnownBlue;
        }
        f->putScan();
    }
    f->beginPass(2);
    for (unsigned y = 0; y < kKnownHeight; ++y) {
        for (unsigned x = 0; x < kKnownWidth; ++x)
            f->zLine()[x] = kKnownDepth[y][x];
        f->putScan();
    }
    f->beginPass(4);
    for (unsigned y = 0; y < kKnownHeight; ++y) {
        for (unsigned x = 0; x < kKnownWidth; ++x)
            f->matLine()[x] = kKnownTags[y][x];
        f->putScan();
    }
    f->putMaterial(1, 255, 0, 0, L"Mat 1");
    f->putMaterial(2, 0, 255, 0, L"Gr\u00fcn \"2\"");
    f->close();
}

}  // namespace tooltest
