// Progress of a long command, shown on standard error only when it is a
// terminal: one line rewritten in place, cleared when the command ends.
// Nothing at all is written when standard error is not a terminal.
#pragma once

#include <string>

namespace orvotool {

class Progress {
public:
    // Shown when `enabled` (the caller tells whether stderr is a terminal).
    explicit Progress(bool enabled) : enabled_(enabled) {}
    ~Progress() { done(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Whether standard error is a terminal.
    static bool stderrIsTerminal();

    // A step of the command ("saving through the plug-in").
    void step(const std::string& what) const;
    // A share of a step done, from 0 to 1.
    void fraction(const std::string& what, double done) const;
    // Clears the line.
    void done() const;

private:
    bool enabled_;
    mutable bool shown_ = false;
    mutable int lastPercent_ = -1;
};

}  // namespace orvotool
