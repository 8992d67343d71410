// A private folder for one test's files, made fresh under the system's
// temporary folder and removed with everything in it when the test ends.
// Names are handed out in the two forms the code under test takes: narrow,
// in the encoding of the system's narrow file functions (the active code
// page on Windows, bytes elsewhere), and wide.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace testsupport {

// A path in the narrow encoding of the system's file functions, and back.
// std::filesystem's own narrow form cannot serve: on Windows it is UTF-8 one
// way and the C locale's the other, and neither is the active code page.
inline std::string narrowPath(const std::filesystem::path& path)
{
#ifdef _WIN32
    const std::wstring& wide = path.native();
    if (wide.empty())
        return std::string();
    const int size = static_cast<int>(wide.size());
    const int length
        = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), size, &text[0], length, nullptr, nullptr);
    return text;
#else
    return path.string();
#endif
}
inline std::filesystem::path pathFromNarrow(const std::string& name)
{
#ifdef _WIN32
    if (name.empty())
        return std::filesystem::path();
    const int size = static_cast<int>(name.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), size, &wide[0], length);
    return std::filesystem::path(wide);
#else
    return std::filesystem::path(name);
#endif
}

#ifdef _WIN32
// A name of a character that the active code page lacks a whole byte
// sequence for: a first byte whose sequence is cut off. Empty for a
// single-byte code page, where every byte is a character.
inline std::string cutOffCharacter()
{
    if (GetACP() == CP_UTF8)
        return "\xC3";
    CPINFO info{};
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize == 1 || info.LeadByte[0] == 0)
        return std::string();
    return std::string(1, static_cast<char>(info.LeadByte[0]));
}
#endif

class ScratchDir {
public:
    // The folder is named `prefix` and a random part. Throws
    // std::runtime_error when no new folder can be made.
    explicit ScratchDir(const std::string& prefix = "fennick-")
    {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::random_device entropy;
        std::mt19937_64 pick((std::uint64_t{entropy()} << 32) ^ entropy()
                             ^ static_cast<std::uint64_t>(
                                 std::chrono::steady_clock::now().time_since_epoch().count()));
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            const std::filesystem::path candidate = base / (prefix + hex(pick()));
            std::error_code error;
            // False without an error means the name was taken (by another
            // process too): only the caller that made the folder owns it.
            if (std::filesystem::create_directory(candidate, error)) {
                path_ = candidate;
                return;
            }
            if (error)
                throw std::runtime_error("cannot create a scratch folder in " + base.string() + ": "
                                         + error.message());
        }
        throw std::runtime_error("no free scratch folder name in " + base.string());
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder, and a file in it named by narrow `name`.
    std::string str() const { return narrowPath(path_); }
    std::string file(const std::string& name) const { return str() + kSeparator + name; }
    std::wstring wfile(const std::string& name) const
    {
        return (path_ / pathFromNarrow(name)).wstring();
    }
    // The file's name as UTF-8, the form the writer stores names in.
    std::string utf8file(const std::string& name) const
    {
        return (path_ / pathFromNarrow(name)).u8string();
    }

private:
    static constexpr int kAttempts = 100;
    static constexpr char kSeparator
        = static_cast<char>(std::filesystem::path::preferred_separator);

    static std::string hex(std::uint64_t value)
    {
        static const char digits[] = "0123456789abcdef";
        std::string text;
        for (int i = 0; i < 16; ++i, value >>= 4)
            text += digits[value & 0xF];
        return text;
    }

    std::filesystem::path path_;
};

}  // namespace testsupport
