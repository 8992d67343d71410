#include "orvo/support/Interrupt.h"

#include "contract/TemporaryFile.h"

#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace fennick {
namespace tool {

namespace {

struct Entry {
    enum class Kind { Remove, Restore, Watch } kind;
    std::string path;              // the file to remove, the original name, or the folder
    std::string aside;             // Restore: where the file waits
    std::set<std::string> before;  // Watch: temporary names already there
};

std::mutex& lock()
{
    static std::mutex m;
    return m;
}

std::map<std::uint64_t, Entry>& entries()
{
    static std::map<std::uint64_t, Entry> e;
    return e;
}

std::uint64_t nextToken = 1;

std::set<std::string> tempNames(const std::string& folder)
{
    std::set<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr)
        return names;
    const std::string prefix = fennick::contract::kTemporaryPrefix;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        // The saver's names begin with the prefix, or (in older plug-ins)
        // carry it after the target's name.
        if (name.find(prefix) != std::string::npos)
            names.insert(name);
    }
    ::closedir(d);
    return names;
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::uint64_t add(Entry e)
{
    std::lock_guard<std::mutex> hold(lock());
    const std::uint64_t token = nextToken++;
    entries().emplace(token, std::move(e));
    return token;
}

// What the cleanup did, for its one line on standard error.
struct Undone {
    std::vector<std::string> removed;
    std::vector<std::string> putBack;
};

std::string listed(const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : ", ") + n;
    return out;
}

void removeFile(const std::string& path, Undone& undone)
{
    if (std::remove(path.c_str()) == 0)
        undone.removed.push_back(path);
}

// Runs with the lock taken for good: no command can add a file after it.
Undone cleanUp()
{
    Undone undone;
    lock().lock();
    for (auto it = entries().rbegin(); it != entries().rend(); ++it) {
        const Entry& e = it->second;
        switch (e.kind) {
        case Entry::Kind::Remove: removeFile(e.path, undone); break;
        case Entry::Kind::Restore:
            if (!exists(e.path) && std::rename(e.aside.c_str(), e.path.c_str()) == 0)
                undone.putBack.push_back(e.path);
            else
                removeFile(e.aside, undone);
            break;
        case Entry::Kind::Watch:
            for (const std::string& name : tempNames(e.path))
                if (e.before.count(name) == 0)
                    removeFile(e.path == "." ? name : e.path + "/" + name, undone);
            break;
        }
    }
    return undone;
}

// One line: the user learns what the interrupted command took back. On a
// terminal it first ends the progress line the command may have shown.
void report(const Undone& undone)
{
    std::string line = "orvo: interrupted";
    if (undone.removed.empty() && undone.putBack.empty())
        line += "; nothing to remove";
    if (!undone.removed.empty())
        line += "; removed " + listed(undone.removed);
    if (!undone.putBack.empty())
        line += "; put back " + listed(undone.putBack);
    const char* clearLine = ::isatty(STDERR_FILENO) == 1 ? "\r\033[K" : "";
    std::fprintf(stderr, "%s%s\n", clearLine, line.c_str());
    std::fflush(stderr);
}

void waitForSignal(sigset_t set)
{
    int sig = 0;
    if (sigwait(&set, &sig) != 0)
        return;
    report(cleanUp());
    // End the way the signal would have ended the process.
    std::signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    std::raise(sig);
}

}  // namespace

void Interrupt::install()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // Blocked here, so in every thread started from now on; only the waiting
    // thread takes them.
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0)
        return;
    std::thread(waitForSignal, set).detach();
}

std::uint64_t Interrupt::removeOnInterrupt(const std::string& path)
{
    return add(Entry{Entry::Kind::Remove, path, std::string(), {}});
}

std::uint64_t Interrupt::restoreOnInterrupt(const std::string& aside, const std::string& original)
{
    return add(Entry{Entry::Kind::Restore, original, aside, {}});
}

std::uint64_t Interrupt::watchFolder(const std::string& folder)
{
    return add(Entry{Entry::Kind::Watch, folder, std::string(), tempNames(folder)});
}

void Interrupt::forget(std::uint64_t token)
{
    std::lock_guard<std::mutex> hold(lock());
    entries().erase(token);
}

}  // namespace tool
}  // namespace fennick
