// A module with the writer inside is unloaded while libtiff stays loaded in
// the process, as a host may do with a plug-in: libtiff must not go on
// calling the module's tag extender afterwards.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "writer/WriterTestSupport.h"

using namespace writertest;

namespace {

int earlierCalls = 0;
void earlierExtender(TIFF*) { ++earlierCalls; }

TEST(Unload, LibtiffForgetsTheExtenderOfAnUnloadedWriter) {
    ASSERT_EQ(TIFFSetTagExtender(earlierExtender), nullptr) << "this test needs a fresh process";
    ScratchDir dir;
    const std::string path = dir.file("unload.ovq");

    void* module = dlopen(FENNICK_UNLOAD_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    using WriteFn = int (*)(const char*);
    const auto write = reinterpret_cast<WriteFn>(dlsym(module, "writeOrvoSample"));
    ASSERT_NE(write, nullptr);
    ASSERT_EQ(write(path.c_str()), 0);
    ASSERT_EQ(dlclose(module), 0);

    // Our extender is back in front; a handle set up now reaches it and
    // nothing of the unloaded module.
    earlierCalls = 0;
    TiffFile tiff(path);
    EXPECT_GT(earlierCalls, 0);
    EXPECT_EQ(tiff.u32(TIFFTAG_IMAGEWIDTH), 2u);
    EXPECT_EQ(TIFFSetTagExtender(nullptr), &earlierExtender);
}

}  // namespace
