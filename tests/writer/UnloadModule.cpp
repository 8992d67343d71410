// A module that carries its own copy of the writer, for the test that
// unloads it while libtiff stays loaded.
#include <memory>
#include <string>

#include "avkorvo/OrvoFile.h"

#ifdef _WIN32
#define UNLOAD_MODULE_EXPORT __declspec(dllexport)
#else
#define UNLOAD_MODULE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" UNLOAD_MODULE_EXPORT int writeOrvoSample(const char* path)
{
    try {
        const std::string narrow(path);
        std::unique_ptr<Talvenrock::Orvo::OrvoFile> file(Talvenrock::Orvo::OrvoFile::create(
            std::wstring(narrow.begin(), narrow.end()), 2, 2, L"unload", L"", L"", L"",
            Talvenrock::Orvo::Projection(), false));
        for (int row = 0; row < 2; ++row)
            file->putScan();
        file->close();
        return 0;
    } catch (...) {
        return 1;
    }
}
