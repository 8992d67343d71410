// The file a save writes: a temporary file beside the target, so that a
// save never destroys a file. The Orvo file is written into the temporary
// file through the open file this object holds, and only a complete,
// flushed file takes the target's place.
//
// What the target was is kept: a symbolic link stays a link (the file at
// the end of its chain gets the new content), the permission bits, owner
// and group of an existing file stay (owner and group where the process may
// set them), and every hard link of a file with several names shows the new
// content. A target the process could not open for writing is refused
// before anything is written.
#pragma once

#include <cstdint>
#include <string>

class TempTarget {
public:
    // Resolves the target, checks that it may be written and creates the
    // temporary file in the resolved target's folder: exclusively, never
    // through a symbolic link, open for reading and writing. Its name is
    // ".orvo-tmp-" and a fixed number of random characters, so that one
    // left behind by a crash is recognisable and any legal target name has
    // room for it. On failure ok() is false and errorText() gives the
    // system's reason.
    explicit TempTarget(const std::string& target);
    // Closes the temporary file and removes it unless commit() succeeded.
    // Never throws.
    ~TempTarget();
    TempTarget(const TempTarget&) = delete;
    TempTarget& operator=(const TempTarget&) = delete;

    bool ok() const { return open_; }
    const std::string& errorText() const { return error_; }
    // The temporary file's name, and the open file to write it through (a
    // file descriptor; on Windows a HANDLE). The file stays owned by this
    // object: whoever writes through it must be done before commit().
    const std::string& path() const { return path_; }
    std::intptr_t nativeFile() const { return native_; }
    // The file that commit() replaces: the target with its symbolic links
    // followed to the end.
    const std::string& resolvedTarget() const { return resolved_; }

    // Flushes the temporary file to the disk and puts its content at the
    // target: by renaming it over the target (then flushing the folder, so
    // the rename itself survives a power loss), or, for a target with more
    // than one hard link, by copying it into the existing file. Returns false
    // (errorText() set) if that failed; the target is then as it was, but for
    // a copy into a hard-linked file that failed part-way.
    bool commit();

private:
    bool fail(const std::string& why);

    std::string resolved_;
    std::string path_;
    std::string error_;
    std::intptr_t native_ = -1;
    bool open_ = false;
    bool committed_ = false;
    // What the target was before the save, when it existed.
    bool existed_ = false;
    bool linked_ = false;  // more than one hard link
    unsigned mode_ = 0;
    long long owner_ = -1;
    long long group_ = -1;
};
