#include "tools/orvo/Progress.h"

#include <unistd.h>

#include <cstdio>

namespace orvotool {

namespace {
constexpr double kPercent = 100.0;
}

bool Progress::stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void Progress::step(const std::string& what) const
{
    if (!enabled_)
        return;
    // Carriage return and erase-to-end-of-line: the line is rewritten.
    std::fprintf(stderr, "\r\033[K%s ...", what.c_str());
    std::fflush(stderr);
    shown_ = true;
    lastPercent_ = -1;
}

void Progress::fraction(const std::string& what, double done) const
{
    if (!enabled_)
        return;
    const int percent = static_cast<int>(done * kPercent);
    if (percent == lastPercent_)
        return;
    lastPercent_ = percent;
    std::fprintf(stderr, "\r\033[K%s %d%%", what.c_str(), percent);
    std::fflush(stderr);
    shown_ = true;
}

void Progress::done() const
{
    if (!enabled_ || !shown_)
        return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace orvotool
