// Helpers shared by the fuzz targets: the parsers under test open files by
// name, so each input is written to a private temporary file first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <filesystem>
#endif

namespace fuzzing {

// The system's folder for temporary files, ending in a separator, in the
// narrow encoding the parsers' file functions take.
inline const std::string& tempFolder()
{
    static const std::string folder = [] {
#ifdef _WIN32
        char buffer[MAX_PATH + 1];
        const DWORD length = GetTempPathA(sizeof buffer, buffer);
        return length > 0 && length < sizeof buffer ? std::string(buffer, length)
                                                    : std::string(".\\");
#else
        return std::filesystem::temp_directory_path().string() + "/";
#endif
    }();
    return folder;
}

// A temporary file holding one input; removed when it goes out of scope.
// Never throws from its destructor.
class TempInput {
public:
    TempInput(const std::uint8_t* data, std::size_t size)
    {
        std::string name = tempFolder() + "fennick_fuzz_XXXXXX";
        const int fd = ::mkstemp(&name[0]);
        if (fd < 0)
            return;
        path_ = name;
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd, data + done, size - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
    ~TempInput()
    {
        if (!path_.empty())
            std::remove(path_.c_str());
    }
    TempInput(const TempInput&) = delete;
    TempInput& operator=(const TempInput&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace fuzzing
