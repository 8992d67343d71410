#include "orvo/plugin/PluginPath.h"

#include <unistd.h>

#include <sys/stat.h>

#include <vector>

#ifndef FENNICK_PLUGIN_RELDIR
#define FENNICK_PLUGIN_RELDIR "../lib/fennick"
#endif

namespace fennick {
namespace tool {

namespace {
constexpr char kPluginFileName[] = "fennick.so";
constexpr std::size_t kMaxPath = 4096;

bool isFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

std::string executableDir()
{
    std::vector<char> buf(kMaxPath);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return std::string();
    std::string exe(buf.data(), static_cast<std::size_t>(n));
    const std::size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

std::string defaultPluginPath()
{
    const std::string dir = executableDir();
    const std::string base = dir.empty() ? std::string(".") : dir;
    const std::string candidates[] = {
        base + "/" + kPluginFileName,
        base + "/" + FENNICK_PLUGIN_RELDIR + "/" + kPluginFileName,
    };
    for (const std::string& c : candidates)
        if (isFile(c))
            return c;
    return candidates[0];
}

PluginLocation locatePlugin(const std::optional<std::string>& given)
{
    if (given)
        return {*given, true};
    return {defaultPluginPath(), false};
}

}  // namespace tool
}  // namespace fennick
