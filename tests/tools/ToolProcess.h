// Runs of the built `orvo` that runOrvo cannot make: on a terminal, and
// interrupted by a signal while it works.
#pragma once

#include "tools/ToolTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tooltest {

#ifdef ORVO_EXE
// In a forked child: becomes the tool, run in `cwd` with `args`.
[[noreturn]] inline void execOrvoIn(const std::string& cwd, const std::vector<std::string>& args)
{
    if (::chdir(cwd.c_str()) == 0) {
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(ORVO_EXE));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(ORVO_EXE, argv.data());
    }
    _exit(127);
}

// Runs the tool with its standard output and error on a new terminal;
// `output` is everything the terminal showed.
struct TerminalRun {
    int status = -1;
    std::string output;
};

inline TerminalRun runOrvoOnTerminal(const std::vector<std::string>& args, const std::string& cwd)
{
    TerminalRun r;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0)
        return r;
    if (pid == 0)
        execOrvoIn(cwd, args);
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;  // EIO once the child has closed the terminal
        r.output.append(buffer, std::size_t(n));
    }
    ::close(master);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

struct InterruptedRun {
    bool signalled = false;  // the signal was sent while the tool ran
    int terminatedBy = 0;    // the signal that ended the tool (0: it exited)
    std::string err;         // what the tool wrote to standard error
};

// Starts the tool in `cwd` and sends `sig` as soon as `ready()` holds (polled
// while the tool runs), then waits for its end.
inline InterruptedRun runOrvoAndInterrupt(const std::vector<std::string>& args,
                                          const std::string& cwd, int sig,
                                          const std::function<bool()>& ready)
{
    InterruptedRun r;
    int errPipe[2];
    if (::pipe(errPipe) != 0)
        return r;
    const pid_t pid = ::fork();
    if (pid < 0)
        return r;
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        ::close(errPipe[0]);
        execOrvoIn(cwd, args);
    }
    ::close(errPipe[1]);
    // Drained while the tool runs, so that it never waits on a full pipe.
    ::fcntl(errPipe[0], F_SETFL, O_NONBLOCK);
    auto drain = [&] {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(errPipe[0], buffer, sizeof buffer)) > 0)
            r.err.append(buffer, std::size_t(n));
    };
    int raw = 0;
    for (;;) {
        drain();
        if (::waitpid(pid, &raw, WNOHANG) == pid)
            break;
        if (!r.signalled && ready()) {
            ::kill(pid, sig);
            r.signalled = true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    drain();
    ::close(errPipe[0]);
    r.terminatedBy = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
    return r;
}
#endif  // ORVO_EXE

// The names in a folder, "." and ".." left out.
inline std::set<std::string> folderEntries(const std::string& folder)
{
    std::set<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr)
        return names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.insert(name);
    }
    ::closedir(d);
    return names;
}

inline bool anyEntryContains(const std::string& folder, const std::string& part)
{
    for (const std::string& name : folderEntries(folder))
        if (name.find(part) != std::string::npos)
            return true;
    return false;
}

}  // namespace tooltest
