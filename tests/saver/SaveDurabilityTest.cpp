// The order in which a save reaches the disk: the new file's data is flushed
// before it is renamed over the target, and the folder after the rename, so
// that a power loss leaves either the old file or the whole new one. The
// system calls are observed by defining fsync and rename in this program,
// which the statically linked saver then calls; they record each call and
// pass it on to the kernel.
#include "SaveFixture.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

namespace {

struct Event {
    std::string call;  // "fsync" or "rename"
    std::string path;  // the flushed file, or the rename's destination
    std::string from;  // the rename's source
};

std::vector<Event>& events()
{
    static std::vector<Event> recorded;
    return recorded;
}
bool recording = false;

std::string pathOfDescriptor(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    return length < 0 ? std::string() : std::string(target, static_cast<std::size_t>(length));
}

}  // namespace

extern "C" int fsync(int fd)
{
    if (recording)
        events().push_back({"fsync", pathOfDescriptor(fd), ""});
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int rename(const char* from, const char* to)
{
    if (recording)
        events().push_back({"rename", to, from});
    return static_cast<int>(::syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

namespace fennick_test {
namespace {

namespace fs = std::filesystem;

class SaveDurability : public SaveFixture {};

TEST_F(SaveDurability, DataIsFlushedBeforeTheRenameAndTheFolderAfterIt)
{
    fennick::hostsim::SimLayeredImage image(4, 3);
    image.addFloatLayer("Orvo_depth", 1, depthRamp(4, 3));
    {
        std::ofstream(target) << "old";
    }
    writeSideFiles(target, 4, 3);
    events().clear();
    recording = true;
    const LxResult rc = save(image, target);
    recording = false;
    ASSERT_EQ(rc, LXe_OK) << host.messages().back().text;

    const std::string finalTarget = fs::canonical(target).string();
    const std::string folder = fs::canonical(dir).string();
    auto find = [&](const char* call, const std::string& path) {
        for (std::size_t i = 0; i < events().size(); ++i)
            if (events()[i].call == call && events()[i].path == path)
                return static_cast<long>(i);
        return -1L;
    };
    const long renamed = find("rename", finalTarget);
    ASSERT_GE(renamed, 0) << "the new file was not renamed over the target";
    const std::string temporary = fs::absolute(events()[renamed].from).lexically_normal().string();
    const long dataFlushed = find("fsync", temporary);
    const long folderFlushed = find("fsync", folder);
    ASSERT_GE(dataFlushed, 0) << "the new file's data was never flushed";
    EXPECT_LT(dataFlushed, renamed) << "the rename could reach the disk before the data";
    ASSERT_GE(folderFlushed, 0) << "the folder was never flushed";
    EXPECT_GT(folderFlushed, renamed) << "the folder was flushed before it held the rename";
}

}  // namespace
}  // namespace fennick_test
