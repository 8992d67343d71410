// Progress of a long command, shown on standard error only when it is a
// terminal: one line rewritten in place, cleared when the command ends.
// Nothing at all is written when standard error is not a terminal.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>

namespace fennick {
namespace tool {

class Progress {
public:
    // Shown when `enabled` (the caller tells whether stderr is a terminal).
    explicit Progress(bool enabled) : enabled_(enabled) {}
    ~Progress() { done(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Whether standard error is a terminal.
    static bool stderrIsTerminal();

    // Steps from now on are shown after `label` ("frame 3 of 10"); empty
    // for none.
    void within(const std::string& label) const { label_ = label; }
    // A step of the command ("saving through the plug-in").
    void step(const std::string& what) const;
    // A share of a step done, from 0 to 1.
    void fraction(const std::string& what, double done) const;
    // Clears the line.
    void done() const;

private:
    std::string labelled(const std::string& what) const;

private:
    bool enabled_;
    mutable std::string label_;
    mutable bool shown_ = false;
    mutable int lastPercent_ = -1;
};

// A stream that passes everything to `target`, ending the progress line
// first, so that a report or a warning printed while a step is shown begins
// on a line of its own. Both must outlive it.
class AfterProgress : public std::ostream {
public:
    AfterProgress(std::ostream& target, const Progress& progress);

private:
    class Buffer : public std::streambuf {
    public:
        Buffer(std::streambuf* target, const Progress& progress)
            : target_(target), progress_(progress)
        {
        }

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* s, std::streamsize n) override;
        int sync() override;

    private:
        std::streambuf* target_;
        const Progress& progress_;
    };
    Buffer buffer_;
};

}  // namespace tool
}  // namespace fennick
