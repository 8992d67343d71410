// A temporary file beside the save's target, so that a save never destroys a
// file: the Orvo file is written under the temporary name and only a
// complete, closed file replaces the target.
#pragma once

#include <string>

class TempTarget {
public:
    // Reserves a new, unique name in the target's folder (the target's name
    // with a unique suffix) by creating an empty file there with the usual
    // permissions. On failure ok() is false and errorText() says why.
    explicit TempTarget(const std::string& target);
    // Removes the temporary file unless commit() succeeded. Never throws.
    ~TempTarget();
    TempTarget(const TempTarget&) = delete;
    TempTarget& operator=(const TempTarget&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    const std::string& errorText() const { return error_; }

    // Moves the temporary file over the target in one step, replacing any
    // file there. Returns false (errorText() set) if the move failed; the
    // temporary file is then removed by the destructor.
    bool commit();

private:
    std::string target_;
    std::string path_;
    std::string error_;
    bool committed_ = false;
};
