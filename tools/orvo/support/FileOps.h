// File-system steps the commands share, each failing with a ToolError that
// names the file or folder concerned: which inputs are acceptable, where
// outputs may go, and outputs written under a temporary name and moved into
// place only when complete, so that an existing file is replaced by a whole
// one or not at all.
#pragma once

#include "orvo/support/Interrupt.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace fennick {
namespace tool {

// A stdio file, closed when it goes. Output that must be known to have
// reached the file is closed explicitly first, and that close checked.
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using CFile = std::unique_ptr<std::FILE, FileCloser>;

// The size of the file at `path`; 0 when it cannot be told.
std::uint64_t fileSize(const std::string& path);

// Whether anything (a file, a folder, a link that leads somewhere) is at
// `path`.
bool pathExists(const std::string& path);

// Throws unless `path` names a regular file (a named pipe, a device or a
// folder would make a read wait or never end). `role` names what the file
// is for ("OpenEXR render").
void requireRegularFile(const std::string& path, const char* role);

// Whether both names exist and are one file (same device and inode).
bool sameFile(const std::string& a, const std::string& b);

// The folder part of a path ("." for a bare name).
std::string folderOf(const std::string& path);

// Throws unless the folder that would hold `path` exists.
void requireFolderOf(const std::string& path, const char* role);

// Creates `folder` unless it exists; only the last part is created, and a
// missing parent is reported by its name.
void makeLastFolder(const std::string& folder);

// Creates or truncates `path` and writes `size` bytes to it. Throws a
// ToolError naming the file, the `role` and the system's reason when the
// file cannot be created or the bytes do not reach it (a full disk).
void writeWholeFile(const std::string& path, const char* data, std::size_t size, const char* role);

// "dir/name", without doubling a separator.
std::string joinPath(const std::string& dir, const std::string& name);

// A name for a temporary file in `folder` (the temporary prefix and a
// random part, as the saver names its own),
// not yet taken when chosen; the caller creates the file exclusively.
std::string tempNameIn(const std::string& folder);

// An output under a temporary name (tempNameIn) beside
// its final name. The temporary file is removed when the object goes without
// commit() and when the tool is interrupted. An output replaces what the
// user had there as a save replaces its target: a link at the final name
// stays a link and the file at the end of its chain is replaced, in that
// file's folder; an existing file's mode (set-id and sticky bits included)
// and, where the process may give them, its owner and group stay. Each of
// the file's other hard links keeps the old content.
class OutputFile {
public:
    explicit OutputFile(const std::string& finalPath);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The name to write to.
    const std::string& path() const { return temp_; }
    const std::string& finalPath() const { return final_; }
    // Moves the finished file to its final name. Throws ToolError.
    void commit();

private:
    std::string final_;
    // final_ with every link of its chain followed: the name replaced.
    std::string resolved_;
    std::string temp_;
    std::uint64_t interruptToken_ = 0;
    bool committed_ = false;
};

}  // namespace tool
}  // namespace fennick
