#include "orvo/support/Progress.h"

#include <unistd.h>

#include <cstdio>

namespace fennick {
namespace tool {

namespace {
constexpr double kPercent = 100.0;
}

std::string Progress::labelled(const std::string& what) const
{
    return label_.empty() ? what : label_ + ": " + what;
}

bool Progress::stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void Progress::step(const std::string& what) const
{
    if (!enabled_)
        return;
    // What the command printed so far comes first.
    std::fflush(stdout);
    // Carriage return and erase-to-end-of-line: the line is rewritten.
    std::fprintf(stderr, "\r\033[K%s ...", labelled(what).c_str());
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
    std::fflush(stdout);
    std::fprintf(stderr, "\r\033[K%s %d%%", labelled(what).c_str(), percent);
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

AfterProgress::AfterProgress(std::ostream& target, const Progress& progress)
    : std::ostream(nullptr), buffer_(target.rdbuf(), progress)
{
    rdbuf(&buffer_);
}

AfterProgress::Buffer::int_type AfterProgress::Buffer::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    progress_.done();
    return target_->sputc(traits_type::to_char_type(c));
}

std::streamsize AfterProgress::Buffer::xsputn(const char* s, std::streamsize n)
{
    progress_.done();
    return target_->sputn(s, n);
}

int AfterProgress::Buffer::sync() { return target_->pubsync(); }

}  // namespace tool
}  // namespace fennick
