#include "ParameterFile.h"

#include <cstdio>
#include <iterator>
#include <memory>
#include <utility>

#include <sys/stat.h>

bool readParameterFile(std::istream& in, CameraParameters& out)
{
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fennick::contract::ParameterReading reading = fennick::contract::readParameterText(text);
    if (reading.problem)
        return false;
    out = std::move(reading.values);
    return true;
}

ParameterLoad loadParameterText(const std::string& path, std::string& text)
{
    text.clear();
#ifdef _WIN32
    struct _stat64 st;
    if (::_stat64(path.c_str(), &st) != 0)
        return ParameterLoad::Missing;
    const bool regular = (st.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return ParameterLoad::Missing;
    const bool regular = S_ISREG(st.st_mode);
#endif
    if (!regular)
        return ParameterLoad::Unusable;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file)
        return ParameterLoad::Missing;
    text.resize(kMaxParameterBytes);
    text.resize(std::fread(&text[0], 1, text.size(), file.get()));
    return ParameterLoad::Loaded;
}
