// What the tool undoes when it is interrupted (SIGINT, SIGTERM): files it
// created and has not finished, side files it placed, and a user's file it
// set aside. The signal is taken by a thread of its own, which runs the
// cleanup as ordinary code, says in one line on standard error what it
// removed and put back, then ends the process by the same signal, so that
// the caller sees how it ended.
//
// Every change to the list is made under one lock, which the cleanup takes
// and never gives back: once it has begun, no command registers (and so
// creates) another file.
#pragma once

#include <cstdint>
#include <string>

namespace fennick {
namespace tool {

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
    // hold the temporary prefix of contract/TemporaryFile.h) are removed when interrupted: the
    // saver's own unfinished target.
    static std::uint64_t watchFolder(const std::string& folder);
    static void forget(std::uint64_t token);
};

// Holds a registration (a token of Interrupt's) for as long as it lives,
// so that it is forgotten however the scope ends.
class InterruptWatch {
public:
    explicit InterruptWatch(std::uint64_t token) : token_(token) {}
    ~InterruptWatch() { Interrupt::forget(token_); }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    std::uint64_t token_;
};

}  // namespace tool
}  // namespace fennick
