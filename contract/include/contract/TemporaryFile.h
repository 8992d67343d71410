// Where a save's unfinished file lies and what it is called. The saver
// writes the Orvo file under a temporary name in the folder of the file it
// will replace (the target with its symbolic links followed to the end, so
// that the final rename stays within one file system) and renames it over
// the target only when it is complete. The tool, which must remove that
// file when it is interrupted during a save, finds it by the same rule.
#pragma once

#include <string>

namespace fennick {
namespace contract {

// Every temporary file of the saver and of the tool starts with this, so
// that one left behind by a crash is recognisable.
inline constexpr char kTemporaryPrefix[] = ".orvo-tmp-";

// kTemporaryPrefix and a fixed number of random characters: always the same
// length, so that any legal target name has room for it. Unpredictable, not
// secret: the caller creates the file exclusively and tries again on a
// clash.
std::string temporaryName();

// Follows the chain of symbolic links at `target` to the name that is not a
// link (which need not exist yet); relative links count from their own
// folder. False, with errno set, for a loop or an unreadable link. On
// Windows the system resolves the name; one it cannot resolve (a target
// that does not exist yet) stands as given.
bool resolveLinks(const std::string& target, std::string& resolved);

// The folder part of `path` with its separator ("" for a bare name), to put
// a name after.
std::string folderPrefixOf(const std::string& path);

// The folder in which a save to `target` puts its temporary file ("." for
// the current folder); the folder of the name as given when the links
// cannot be followed (the save then fails before it writes anything).
std::string temporaryFolderFor(const std::string& target);

}  // namespace contract
}  // namespace fennick
