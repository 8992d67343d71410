// platform_fixed_save FOLDER
// Writes the fixed save (see FixedSave.h) into FOLDER, creating it if needed,
// with the plug-in module of this build.
#include "platform/FixedSave.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: platform_fixed_save FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "platform_fixed_save: %s: %s\n", folder.c_str(),
                     error.message().c_str());
        return 1;
    }
    try {
        platformtest::writeFixedSave(FENNICK_MODULE_PATH, folder);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "platform_fixed_save: %s\n", e.what());
        return 1;
    }
    std::printf("platform_fixed_save: wrote the fixed save into %s (byte order %s)\n",
                folder.c_str(), platformtest::machineByteOrderMark().c_str());
    return 0;
}
