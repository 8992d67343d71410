// What a save does to the file at its target: a temporary file beside it
// takes the target's place only when complete and flushed, and the target
// keeps what it was (a link stays a link, the mode, owner and hard links
// stay) or, when it may not be written, stays untouched.
#include "SaveFixture.h"
#include "avkorvo/OrvoFile.h"
#include "saver/src/TempTarget.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fennick_test {
namespace {

namespace fs = std::filesystem;
using fennick::hostsim::SimLayeredImage;

constexpr unsigned kW = 4;
constexpr unsigned kH = 3;
constexpr const char* kTempPrefix = ".orvo-tmp-";
// The temporary name's length, whatever the target's: prefix and random part.
constexpr std::size_t kTempNameLength = 20;

// The number of names the file at `path` has. (std::filesystem's count is
// always 1 on Windows with this compiler's library.)
std::uintmax_t linkCount(const std::string& path)
{
#ifdef _WIN32
    const HANDLE file
        = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return known ? info.nNumberOfLinks : 0;
#else
    return fs::hard_link_count(path);
#endif
}

#ifdef _WIN32
std::string systemText(DWORD code)
{
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text(buffer, length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}
#endif

class SaveTarget : public SaveFixture {
protected:
    SimLayeredImage layered()
    {
        SimLayeredImage image(kW, kH);
        image.addFloatLayer("Orvo_depth", 1, depthRamp(kW, kH));
        image.addFloatLayer("Orvo_mat", 3,
                            std::vector<float>(static_cast<std::size_t>(kW) * kH * 3, 0.25f));
        return image;
    }

    // Saves a fresh layered image to `name` with both side files in place.
    LxResult saveTo(const std::string& name)
    {
        SimLayeredImage image = layered();
        writeSideFiles(name, kW, kH);
        const LxResult rc = save(image, name);
        expectReferencesReleased(image);
        return rc;
    }

    static bool isOrvoFile(const std::string& path)
    {
        const std::string bytes = contents(path);
        return bytes.size() > 4
               && (bytes.compare(0, 4, "II*\0", 4) == 0 || bytes.compare(0, 4, "MM\0*", 4) == 0);
    }

    // No temporary file left anywhere in the test's folder.
    void expectNoTemporaryFile() const
    {
        for (const auto& entry : fs::recursive_directory_iterator(scratch->path()))
            EXPECT_NE(entry.path().filename().string().rfind(kTempPrefix, 0), 0u) << entry.path();
    }
};

TEST_F(SaveTarget, TheTemporaryFileIsWrittenThroughItsOpenFileAndReplacesTheTarget)
{
    {
        std::ofstream(target) << "old";
    }
    std::string firstTemp;
    {
        TempTarget temp(target);
        ASSERT_TRUE(temp.ok()) << temp.errorText();
        firstTemp = temp.path();
        EXPECT_EQ(fs::path(firstTemp).parent_path(), fs::path(target).parent_path())
            << "beside the target";
        const std::string name = fs::path(firstTemp).filename().string();
        EXPECT_EQ(name.rfind(kTempPrefix, 0), 0u) << name;
        EXPECT_EQ(name.size(), kTempNameLength) << name;
    }
    EXPECT_FALSE(fs::exists(firstTemp)) << "an uncommitted file is removed";
    EXPECT_EQ(contents(target), "old");

    TempTarget temp(target);
    ASSERT_TRUE(temp.ok());
    EXPECT_NE(temp.path(), firstTemp) << "names are unique";
    const char text[] = "new";
#ifdef _WIN32
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(reinterpret_cast<HANDLE>(temp.nativeFile()), text, 3, &written, nullptr));
#else
    ASSERT_EQ(::write(static_cast<int>(temp.nativeFile()), text, 3), 3);
#endif
    ASSERT_TRUE(temp.commit()) << temp.errorText();
    EXPECT_EQ(contents(target), "new");
    EXPECT_FALSE(fs::exists(temp.path()));
}

TEST_F(SaveTarget, AFolderAtTheTargetIsRefusedBeforeAnythingIsWritten)
{
    ASSERT_TRUE(fs::create_directory(target));
    std::ofstream(fs::path(target) / "inside") << "kept";
    EXPECT_EQ(saveTo(target), LXe_FAILED);
#ifdef _WIN32
    EXPECT_EQ(host.messages().back().text,
              "Error writing Orvo file - " + systemText(ERROR_ACCESS_DENIED));
#else
    EXPECT_EQ(host.messages().back().text,
              std::string("Error writing Orvo file - ") + std::strerror(EISDIR));
#endif
    EXPECT_EQ(contents(target + "/inside"), "kept");
    expectNoTemporaryFile();
}

TEST_F(SaveTarget, ALongNameHasRoomForTheTemporaryName)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows limits the whole path to 260 characters";
#else
    // 240 bytes: with ".param.txt" still within the 255 a name may have.
    const std::string longTarget = dir + "/" + std::string(236, 'n') + ".ovq";
    EXPECT_EQ(saveTo(longTarget), LXe_OK) << host.messages().back().text;
    EXPECT_TRUE(isOrvoFile(longTarget));
    expectNoTemporaryFile();
#endif
}

TEST_F(SaveTarget, EveryHardLinkOfTheTargetHoldsExactlyTheNewContent)
{
    // The old file is far longer than the new one: a copy into it that kept
    // its length would leave the old tail behind every name.
    const std::string other = dir + "/other.ovq";
    constexpr std::size_t kOldLength = 256 * 1024;
    {
        std::ofstream(target) << std::string(kOldLength, 'x');
    }
    fs::create_hard_link(target, other);
    ASSERT_EQ(saveTo(target), LXe_OK) << host.messages().back().text;
    // The same save to a name of the same length, not linked: the bytes the
    // target must hold, but for its name inside the property list.
    const std::string alone = dir + "/solo.tif";
    ASSERT_EQ(alone.size(), target.size());
    ASSERT_EQ(saveTo(alone), LXe_OK) << host.messages().back().text;
    EXPECT_TRUE(isOrvoFile(target));
    EXPECT_TRUE(fs::equivalent(target, other)) << "still one file under two names";
    EXPECT_EQ(linkCount(target), 2u);
    EXPECT_LT(fs::file_size(alone), kOldLength);
    EXPECT_EQ(fs::file_size(target), fs::file_size(alone));
    EXPECT_EQ(contents(other), contents(target));
    expectNoTemporaryFile();
}

#ifndef _WIN32

TEST_F(SaveTarget, ALinkStaysALinkAndTheFileAtTheEndOfItsChainIsSaved)
{
    // target -> sub/hop -> ../real.ovq: relative links, each from its own folder.
    const std::string real = dir + "/real.ovq";
    {
        std::ofstream(real) << "old";
    }
    fs::create_directory(dir + "/sub");
    fs::create_symlink("../real.ovq", dir + "/sub/hop");
    fs::create_symlink("sub/hop", target);

    ASSERT_EQ(saveTo(target), LXe_OK) << host.messages().back().text;
    EXPECT_TRUE(fs::is_symlink(target));
    EXPECT_EQ(fs::read_symlink(target), "sub/hop");
    EXPECT_TRUE(fs::is_symlink(dir + "/sub/hop"));
    EXPECT_TRUE(isOrvoFile(real));
    expectNoTemporaryFile();

    // A dangling link: the file it names is created.
    fs::remove(real);
    ASSERT_EQ(saveTo(target), LXe_OK) << host.messages().back().text;
    EXPECT_TRUE(fs::is_symlink(target));
    EXPECT_TRUE(isOrvoFile(real));
}

TEST_F(SaveTarget, TheTemporaryFileIsWrittenThroughItsDescriptorNeverReopenedByName)
{
    // Someone swaps the temporary name for a link to another file between
    // its creation and the writing: the writing must still reach the file
    // that was created, and nothing through the link.
    const std::string victim = dir + "/victim.txt";
    {
        std::ofstream(victim) << "precious";
    }
    TempTarget temp(target);
    ASSERT_TRUE(temp.ok()) << temp.errorText();
    const std::string moved = dir + "/moved.ovq";
    fs::rename(temp.path(), moved);
    fs::create_symlink(victim, temp.path());

    using namespace Talvenrock::Orvo;
    std::unique_ptr<OrvoFile> writer(OrvoFile::create(OrvoFile::OpenFile{temp.nativeFile()},
                                                      std::wstring(target.begin(), target.end()), 2,
                                                      2, L"", L"", L"", L"", Projection(), false));
    writer->beginPass(1);
    writer->putScan();
    writer->putScan();
    writer->close();
    writer.reset();
    EXPECT_EQ(contents(victim), "precious");
    EXPECT_TRUE(isOrvoFile(moved));
}

TEST_F(SaveTarget, AnExistingTargetKeepsItsModeAndOwner)
{
    {
        std::ofstream(target) << "old";
    }
    // Owner and group differ from each other and from the process's, and
    // the mode carries the set-id and sticky bits, which a chown after the
    // chmod would clear.
    constexpr uid_t kOwner = 1234;
    constexpr gid_t kGroup = 5678;
    constexpr mode_t kMode = 07750;
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), kOwner, kGroup), 0);
    }
    ASSERT_EQ(::chmod(target.c_str(), kMode), 0);
    struct stat before;
    ASSERT_EQ(::stat(target.c_str(), &before), 0);

    ASSERT_EQ(saveTo(target), LXe_OK) << host.messages().back().text;
    struct stat after;
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_TRUE(isOrvoFile(target));
    EXPECT_EQ(after.st_mode & 07777, root ? kMode : before.st_mode & 07777);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
}

TEST_F(SaveTarget, ANewTargetHasTheModeOfAnyNewFileAndAMissingFolderIsReported)
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    ASSERT_EQ(saveTo(target), LXe_OK) << host.messages().back().text;
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask);

    const TempTarget nowhere(dir + "/missing/x.ovq");
    EXPECT_FALSE(nowhere.ok());
    EXPECT_EQ(nowhere.errorText(), std::strerror(ENOENT));
}

TEST_F(SaveTarget, ATargetThatMayNotBeWrittenIsRefusedAndKept)
{
    // The test's folder must be usable by the ordinary user.
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    const std::string readOnly = dir + "/read_only.ovq";
    {
        std::ofstream(readOnly) << "old";
    }
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    fs::create_directory(dir + "/locked");
    const std::string inLocked = dir + "/locked/view.ovq";
    writeSideFiles(inLocked, kW, kH);
    ASSERT_EQ(::chmod((dir + "/locked").c_str(), 0555), 0);
    writeSideFiles(readOnly, kW, kH);
    for (const std::string& side : {readOnly + ".param.txt", readOnly + ".rgb.tga",
                                    inLocked + ".param.txt", inLocked + ".rgb.tga"})
        ASSERT_EQ(::chmod(side.c_str(), 0666), 0);

    const std::string denied = std::string("Error writing Orvo file - ") + std::strerror(EACCES);
    const bool refused = asOrdinaryUser([&] {
        SimLayeredImage image = layered();
        const bool readOnlyRefused = save(image, readOnly) == LXe_FAILED
                                     && host.messages().back().text == denied
                                     && contents(readOnly) == "old";
        const bool lockedRefused = save(image, inLocked) == LXe_FAILED
                                   && host.messages().back().text == denied
                                   && !fs::exists(inLocked);
        if (!readOnlyRefused || !lockedRefused)
            std::fprintf(stderr, "last message: %s\n", host.messages().back().text.c_str());
        return readOnlyRefused && lockedRefused;
    });
    EXPECT_TRUE(refused)
        << "a read-only target or folder was written, or refused with another message";
    EXPECT_EQ(contents(readOnly), "old");
    ::chmod((dir + "/locked").c_str(), 0755);
    expectNoTemporaryFile();
}

#endif

}  // namespace
}  // namespace fennick_test
