// platform_order_compare FOLDER [II|MM]
//
// Checks the fixed save in FOLDER, written by another build (or this one),
// against the same save made afresh by this build. For each file: its header
// states the byte order given (by default this machine's) and this build's
// file states this machine's; the reader finds every value equal (see
// OrderCompare.h); Python's tifffile reads both and finds the same pictures
// and tags; and, where this build has the `orvo` tool, `orvo info` accepts
// the file and reports what it reports for this build's file, but for the
// file line, the DateTime and the block offsets. Prints every difference and
// exits 1 when there is one; 0 when the files are equal.
#include "platform/FixedSave.h"
#include "platform/OrderCompare.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace platformtest;

std::string quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Run {
    int status = -1;  // exit status, -1 when the command did not exit normally
    std::string out;
};

Run run(const std::string& command)
{
    Run r;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        r.out.append(buf, n);
    const int raw = ::pclose(pipe);
    r.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

std::string makeScratchFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fennick-order-XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr)
        throw std::runtime_error("cannot create a scratch folder from " + pattern);
    return pattern;
}

#ifdef ORVO_EXE
// The report of `orvo info` without the lines that name the file (with its
// size and byte order) and the time of the save, and without the offsets of
// the blocks: where they fall is libtiff's affair, and compressed strips of
// 16- and 32-bit samples differ in length between the byte orders.
std::string comparableReport(const std::string& report)
{
    static const std::string offsetText = ", block at offset ";
    std::istringstream in(report);
    std::string line, kept;
    while (std::getline(in, line)) {
        if (line.rfind("File: ", 0) == 0 || line.rfind("DateTime: ", 0) == 0)
            continue;
        const std::size_t offset = line.rfind(offsetText);
        if (line.rfind("Directory ", 0) == 0 && offset != std::string::npos)
            line.erase(offset);
        kept += line + "\n";
    }
    return kept;
}

void checkInfo(const std::string& mine, const std::string& theirs, const std::string& theirOrder,
               std::vector<std::string>& failures)
{
    const Run m = run(quoted(ORVO_EXE) + " info " + quoted(mine) + " 2>&1");
    const Run t = run(quoted(ORVO_EXE) + " info " + quoted(theirs) + " 2>&1");
    if (m.status != 0 || t.status != 0) {
        failures.push_back("orvo info refuses "
                           + std::string(m.status != 0 ? "this build's file" : "it") + ":\n"
                           + (m.status != 0 ? m.out : t.out));
        return;
    }
    const std::string order = theirOrder == "MM" ? "big-endian" : "little-endian";
    const std::string firstLine = t.out.substr(0, t.out.find('\n'));
    if (firstLine.find(", " + order + ")") == std::string::npos)
        failures.push_back("orvo info: \"" + firstLine + "\" does not say " + order);
    if (comparableReport(m.out) != comparableReport(t.out))
        failures.push_back("orvo info reports differently:\n--- this build's file\n" + m.out
                           + "--- the file compared\n" + t.out);
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    const std::string machine = machineByteOrderMark();
    if (argc < 2 || argc > 3
        || (argc == 3 && std::string(argv[2]) != "II" && std::string(argv[2]) != "MM")) {
        std::fprintf(stderr, "usage: platform_order_compare FOLDER [II|MM]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::string theirOrder = argc == 3 ? argv[2] : machine;

    std::string own;
    try {
        own = makeScratchFolder();
        writeFixedSave(FENNICK_MODULE_PATH, own);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "platform_order_compare: this build's fixed save failed: %s\n",
                     e.what());
        return 1;
    }

    int differences = 0;
    for (const std::string& name : fixedSaveFiles()) {
        const std::string mine = own + "/" + name;
        const std::string theirs = folder + "/" + name;
        std::vector<std::string> failures;
        if (byteOrderMark(mine) != machine)
            failures.push_back("this build's file starts with \"" + byteOrderMark(mine)
                               + "\", not \"" + machine + "\"");
        if (byteOrderMark(theirs) != theirOrder)
            failures.push_back("starts with \"" + byteOrderMark(theirs) + "\", not \"" + theirOrder
                               + "\"");
        for (const std::string& d : compareOrvoFiles(mine, theirs))
            failures.push_back("reader: " + d);
        const Run py
            = run(quoted(FENNICK_PYTHON) + " " + quoted(FENNICK_TIFFFILE_CHECK) + " " + quoted(mine)
                  + " " + machine + " " + quoted(theirs) + " " + theirOrder + " 2>&1");
        if (py.status != 0)
            failures.push_back("tifffile (exit " + std::to_string(py.status) + "):\n" + py.out);
#ifdef ORVO_EXE
        checkInfo(mine, theirs, theirOrder, failures);
#endif
        for (const std::string& f : failures)
            std::fprintf(stderr, "platform_order_compare: %s: %s\n", theirs.c_str(), f.c_str());
        if (failures.empty())
            std::printf(
                "platform_order_compare: %s (%s) equals this build's %s (%s): reader, tifffile%s\n",
                theirs.c_str(), theirOrder.c_str(), name.c_str(), machine.c_str(),
#ifdef ORVO_EXE
                ", orvo info"
#else
                ""
#endif
            );
        differences += static_cast<int>(failures.size());
    }
    if (differences != 0) {
        std::fprintf(
            stderr, "platform_order_compare: %d difference(s); this build's files are kept in %s\n",
            differences, own.c_str());
        return 1;
    }
    for (const std::string& name : fixedSaveFiles())
        std::remove((own + "/" + name).c_str());
    ::rmdir(own.c_str());
    return 0;
}
