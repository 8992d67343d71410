#include "FileName.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#include <vector>
#endif

#ifdef _WIN32

bool getWCS(const std::string& narrow, std::wstring& wide)
{
    wide.clear();
    if (narrow.empty())
        return true;
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(),
                                           static_cast<int>(narrow.size()), nullptr, 0);
    if (length <= 0)
        return false;
    wide.resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(),
                               static_cast<int>(narrow.size()), &wide[0], length)
           == length;
}

#else

namespace {

constexpr unsigned long kLastCodePoint = 0x10FFFF;
constexpr unsigned long kFirstSurrogate = 0xD800;
constexpr unsigned long kLastSurrogate = 0xDFFF;

// Owns one conversion descriptor; closes it on every exit path.
class Utf8ToWide {
public:
    Utf8ToWide() : cd_(iconv_open("WCHAR_T", "UTF-8")) {}
    ~Utf8ToWide()
    {
        if (valid())
            iconv_close(cd_);
    }
    Utf8ToWide(const Utf8ToWide&) = delete;
    Utf8ToWide& operator=(const Utf8ToWide&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

}  // namespace

bool getWCS(const std::string& narrow, std::wstring& wide)
{
    wide.clear();
    if (narrow.empty())
        return true;
    Utf8ToWide converter;
    if (!converter.valid())
        return false;
    // UTF-8 never yields more wide characters than it has bytes.
    std::vector<wchar_t> out(narrow.size());
    std::string in = narrow;  // iconv's input pointer is not const on every system
    char* inPtr = &in[0];
    std::size_t inLeft = in.size();
    char* outPtr = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size() * sizeof(wchar_t);
    if (iconv(converter.get(), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)
        || inLeft != 0)
        return false;
    const std::size_t count = out.size() - outLeft / sizeof(wchar_t);
    wide.assign(out.data(), count);
    // Some iconv implementations accept the old five- and six-byte forms
    // and encoded surrogates; neither is a character.
    for (wchar_t c : wide) {
        const auto code = static_cast<unsigned long>(c);
        if (code > kLastCodePoint || (code >= kFirstSurrogate && code <= kLastSurrogate))
            return false;
    }
    return true;
}

#endif
