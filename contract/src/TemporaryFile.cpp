#include "contract/TemporaryFile.h"

#include <cerrno>
#include <random>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fennick {
namespace contract {

namespace {

// Random characters after the prefix: 36^10 names, so a clash with a stale
// file is rare and the name is always 20 bytes, whatever the target's.
constexpr int kRandomCharacters = 10;
constexpr const char kNameAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
#ifndef _WIN32
// Links followed before the chain is taken for a loop, as the system does.
constexpr int kMaxLinkDepth = 40;
// Room for a link's text when the system reports no size for it.
constexpr std::size_t kLinkTextGuess = 255;
#endif

}  // namespace

std::string temporaryName()
{
    // One engine per process, seeded from the system's entropy.
    static std::mt19937_64 engine{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kNameAlphabet) - 2);
    std::string name(kTemporaryPrefix);
    for (int i = 0; i < kRandomCharacters; ++i)
        name += kNameAlphabet[pick(engine)];
    return name;
}

std::string folderPrefixOf(const std::string& path)
{
#ifdef _WIN32
    const std::size_t slash = path.find_last_of("/\\");
#else
    const std::size_t slash = path.rfind('/');
#endif
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

#ifdef _WIN32

bool resolveLinks(const std::string& target, std::string& resolved)
{
    resolved = target;
    const HANDLE file
        = CreateFileA(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return true;
    char buffer[MAX_PATH * 4];
    const DWORD length
        = GetFinalPathNameByHandleA(file, buffer, sizeof buffer, FILE_NAME_NORMALIZED);
    CloseHandle(file);
    if (length == 0 || length >= sizeof buffer)
        return true;
    // The system answers in its long-path form ("\\?\C:\..." or
    // "\\?\UNC\server\..."); the save goes on with the usual form of the name.
    const std::string answer(buffer, length);
    const std::string longForm = "\\\\?\\";
    const std::string longUnc = longForm + "UNC\\";
    if (answer.rfind(longUnc, 0) == 0)
        resolved = "\\\\" + answer.substr(longUnc.size());
    else if (answer.rfind(longForm, 0) == 0)
        resolved = answer.substr(longForm.size());
    else
        resolved = answer;
    return true;
}

#else

bool resolveLinks(const std::string& target, std::string& resolved)
{
    resolved = target;
    for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
        struct stat st;
        if (::lstat(resolved.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        std::vector<char> link(
            static_cast<std::size_t>(st.st_size > 0 ? st.st_size : kLinkTextGuess) + 1);
        const ssize_t length = ::readlink(resolved.c_str(), link.data(), link.size());
        if (length < 0)
            return false;
        if (static_cast<std::size_t>(length) >= link.size()) {
            // The link changed under us; read it again.
            --depth;
            continue;
        }
        const std::string next(link.data(), static_cast<std::size_t>(length));
        resolved = next.front() == '/' ? next : folderPrefixOf(resolved) + next;
    }
    errno = ELOOP;
    return false;
}

#endif

std::string temporaryFolderFor(const std::string& target)
{
    std::string resolved;
    if (!resolveLinks(target, resolved))
        resolved = target;
    std::string folder = folderPrefixOf(resolved);
    // "dir/" names the same folder as "dir"; "/" (and a drive's "C:\\")
    // stays the root.
    if (folder.size() > 1 && folder[folder.size() - 2] != ':')
        folder.pop_back();
    return folder.empty() ? "." : folder;
}

}  // namespace contract
}  // namespace fennick
