#include "saver/ParameterFile.h"

#include <cstdio>
#include <locale>
#include <memory>

#include <sys/stat.h>

namespace {

// Restores the stream's previous locale on every exit path.
class ClassicLocaleScope {
public:
    explicit ClassicLocaleScope(std::istream& in) : in_(in), saved_(in.imbue(std::locale::classic())) {}
    ~ClassicLocaleScope() { in_.imbue(saved_); }  // never throws
    ClassicLocaleScope(const ClassicLocaleScope&) = delete;
    ClassicLocaleScope& operator=(const ClassicLocaleScope&) = delete;

private:
    std::istream& in_;
    std::locale saved_;
};

bool expectWord(std::istream& in, const char* key)
{
    std::string word;
    return static_cast<bool>(in >> word) && word == key;
}

bool readNumbers(std::istream& in, const char* key, double* values, int count)
{
    if (!expectWord(in, key))
        return false;
    for (int i = 0; i < count; ++i)
        in >> values[i];
    // A value that is not a number fails the stream; the next key word then
    // cannot be read, so the failure is caught at the following entry.
    return true;
}

bool readWord(std::istream& in, const char* key, std::string& value)
{
    return expectWord(in, key) && static_cast<bool>(in >> value);
}

}  // namespace

bool readParameterFile(std::istream& in, CameraParameters& out)
{
    ClassicLocaleScope classic(in);
    CameraParameters p;
    const bool keysOk = expectWord(in, "Parameters")
        && readNumbers(in, "pos", p.pos, 3)
        && readNumbers(in, "worldMatrix", p.worldMatrix, 9)
        && readNumbers(in, "focalLen", &p.focalLen, 1)
        && readNumbers(in, "apertureX", &p.apertureX, 1)
        && readNumbers(in, "apertureY", &p.apertureY, 1)
        && readNumbers(in, "offsetX", &p.offsetX, 1)
        && readNumbers(in, "offsetY", &p.offsetY, 1)
        && readNumbers(in, "squeeze", &p.squeeze, 1)
        && readWord(in, "filmFit", p.filmFit)
        && readWord(in, "projType", p.projType)
        && readNumbers(in, "dpi", &p.dpi, 1)
        && readNumbers(in, "pAspect", &p.pAspect, 1)
        && readNumbers(in, "depthMax", &p.depthMax, 1);
    // No key word follows depthMax to expose a bad last value, so the stream
    // state itself is checked: a missing or malformed depthMax is refused
    // rather than leaving the depth range unread.
    if (!keysOk || in.fail())
        return false;
    out = p;
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
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return ParameterLoad::Missing;
    text.resize(kMaxParameterBytes);
    text.resize(std::fread(&text[0], 1, text.size(), file.get()));
    return ParameterLoad::Loaded;
}
