// What the tool undoes when it is interrupted (SIGINT, SIGTERM): files it
// created and has not finished, side files it placed, and a user's file it
// set aside. The signal is taken by a thread of its own, which runs the
// cleanup as ordinary code, then ends the process by the same signal, so
// that the caller sees how it ended.
//
// Every change to the list is made under one lock, which the cleanup takes
// and never gives back: once it has begun, no command registers (and so
// creates) another file.
#pragma once

#include <cstdint>
#include <string>

namespace orvotool {

// Temporary files of the tool and of the plug-in's saver start with this,
// in the folder of the file they become.
inline constexpr char kTempPrefix[] = ".orvo-tmp-";

class Interrupt {
public:
    // Starts the thread that waits for SIGINT and SIGTERM. Call once, from
    // the main thread, before any other thread starts.
    static void install();

    // A file to remove when interrupted; the token undoes the registration.
    static std::uint64_t removeOnInterrupt(const std::string& path);
    // A file set aside under `aside`, to be moved back to `original` when
    // interrupted (unless `original` exists again).
    static std::uint64_t restoreOnInterrupt(const std::string& aside, const std::string& original);
    // Temporary files that appear in `folder` after this call (names that
    // hold kTempPrefix) are removed when interrupted: the saver's own
    // unfinished target.
    static std::uint64_t watchFolder(const std::string& folder);
    static void forget(std::uint64_t token);
};

// Registers a path for removal for as long as it lives; release() keeps the
// file (it was finished or handed on).
class RemoveOnInterrupt {
public:
    explicit RemoveOnInterrupt(const std::string& path)
        : token_(Interrupt::removeOnInterrupt(path))
    {
    }
    ~RemoveOnInterrupt() { release(); }
    RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;
    RemoveOnInterrupt& operator=(const RemoveOnInterrupt&) = delete;
    void release()
    {
        if (token_ != 0)
            Interrupt::forget(token_);
        token_ = 0;
    }

private:
    std::uint64_t token_;
};

}  // namespace orvotool
