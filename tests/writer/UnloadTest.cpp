// A module with the writer inside is unloaded while libtiff stays loaded in
// the process, as a host may do with a plug-in: libtiff must not go on
// calling the module's tag extender afterwards.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#else
#include <dlfcn.h>
#endif

#include "writer/WriterTestSupport.h"

using namespace writertest;

namespace {

int earlierCalls = 0;
void earlierExtender(TIFF*) { ++earlierCalls; }

using WriteFn = int (*)(const char*);

// The system's loader: load (nullptr on failure, with the system's reason in
// `why`), find the module's function, unload (true when done).
std::string why;
#ifdef _WIN32
void* load(const char* path)
{
    const HMODULE module = LoadLibraryW(std::filesystem::path(path).make_preferred().c_str());
    if (!module)
        why = "Windows error " + std::to_string(GetLastError());
    return module;
}
WriteFn find(void* module, const char* name)
{
    return reinterpret_cast<WriteFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(module), name)));
}
bool unload(void* module) { return FreeLibrary(static_cast<HMODULE>(module)) != 0; }
#else
void* load(const char* path)
{
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!module)
        why = dlerror();
    return module;
}
WriteFn find(void* module, const char* name)
{
    return reinterpret_cast<WriteFn>(dlsym(module, name));
}
bool unload(void* module) { return dlclose(module) == 0; }
#endif

TEST(Unload, LibtiffForgetsTheExtenderOfAnUnloadedWriter)
{
    ASSERT_EQ(TIFFSetTagExtender(earlierExtender), nullptr) << "this test needs a fresh process";
    ScratchDir dir;
    const std::string path = dir.file("unload.ovq");

    void* module = load(FENNICK_UNLOAD_MODULE);
    ASSERT_NE(module, nullptr) << why;
    const WriteFn write = find(module, "writeOrvoSample");
    ASSERT_NE(write, nullptr);
    ASSERT_EQ(write(path.c_str()), 0);
    ASSERT_TRUE(unload(module));

    // Our extender is back in front; a handle set up now reaches it and
    // nothing of the unloaded module.
    earlierCalls = 0;
    TiffFile tiff(path);
    EXPECT_GT(earlierCalls, 0);
    EXPECT_EQ(tiff.u32(TIFFTAG_IMAGEWIDTH), 2u);
    EXPECT_EQ(TIFFSetTagExtender(nullptr), &earlierExtender);
}

}  // namespace
