#include "TiffStatus.h"

#include <cerrno>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "avkorvo/OrvoFile.h"

namespace Talvenrock {
namespace Orvo {

namespace {

const char* const kTiffCallFailed = "libtiff call failed";
const char* const kOffsetOutOfRange = "offset out of range";

#ifdef _WIN32
// The system's text for a Win32 error code, without the line break that
// FormatMessage ends it with.
std::string win32ErrorText(DWORD code)
{
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    if (length == 0)
        return "system error " + std::to_string(code);
    std::string text(buffer, length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}
#endif

}  // namespace

std::uint32_t classicOffset(std::uint64_t offset)
{
    if (offset > kLargestClassicOffset)
        throw OrvoError(kOffsetOutOfRange);
    return static_cast<std::uint32_t>(offset);
}

void checkTiffStatus(int status)
{
    if (status == 0)
        throw OrvoError(kTiffCallFailed);
}

void clearSystemError()
{
    errno = 0;
#ifdef _WIN32
    SetLastError(ERROR_SUCCESS);
#endif
}

void throwSystemError()
{
    const int code = errno;
#ifdef _WIN32
    const DWORD win32Code = GetLastError();
    if (code == 0 && win32Code != ERROR_SUCCESS)
        throw OrvoError(win32ErrorText(win32Code));
#endif
    // The text is copied into the error at once, before any other call can
    // reuse strerror's buffer.
    throw OrvoError(std::strerror(code));
}

}  // namespace Orvo
}  // namespace Talvenrock
