// Every way a save can fail: the one message, its entry type, the result
// code, which side files remain, and that nothing is left at the target.
#include "SaveFixture.h"
#include "support/OrvoBlocks.h"

#include <tiffio.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdint>
#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fennick_test {
namespace {

using fennick::hostsim::SimLayeredImage;

constexpr unsigned kW = 4;
constexpr unsigned kH = 3;
const std::string kScript = " - please use the script to save Orvo files";

class SaveFailure : public SaveFixture {
protected:
    // A layered image with a depth layer at index 1 and a material layer at
    // index 2, plus both side files.
    SimLayeredImage ready(unsigned w = kW, unsigned h = kH)
    {
        SimLayeredImage image(w, h);
        image.addFloatLayer("Final Color", 3,
                            std::vector<float>(static_cast<std::size_t>(w) * h * 3, 0.5f));
        image.addFloatLayer("Orvo_depth", 1, depthRamp(w, h));
        image.addFloatLayer("Orvo_mat", 3,
                            std::vector<float>(static_cast<std::size_t>(w) * h * 3, 0.0f));
        return image;
    }

    std::set<std::string> names(std::initializer_list<const char*> list) const
    {
        return {list.begin(), list.end()};
    }
};

TEST_F(SaveFailure, WithoutTheLogTheSaveFailsSilently)
{
    SimLayeredImage image = ready();
    writeSideFiles(target, kW, kH);
    hostPolicy.withholdSubsystem("io-status");
    EXPECT_EQ(save(image, target), LXe_FAILED);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(files(), names({"view.tif.param.txt", "view.tif.rgb.tga"}));
    expectReferencesReleased(image);
}

TEST_F(SaveFailure, WithoutTheLogServiceTheSaveFailsSilently)
{
    module.reset();  // the log service is looked up afresh with the new context
    hostPolicy.withholdLogService(true);
    module = std::make_unique<InProcessModule>(host);
    hostBaseline = host.liveReferences();
    SimLayeredImage image = ready();
    writeSideFiles(target, kW, kH);
    EXPECT_EQ(save(image, target), LXe_FAILED);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(files().size(), 2u);
    expectReferencesReleased(image);
}

TEST_F(SaveFailure, SourceThatIsNotALayeredImage)
{
    writeSideFiles(target, kW, kH);
    EXPECT_EQ(save(host.context(), target), LXe_FAILED);
    expectOneMessage(LXe_LOG_FAILURE, "Not a layered image");
    EXPECT_EQ(files().size(), 2u);
    EXPECT_EQ(host.liveReferences(), hostBaseline);
}

TEST_F(SaveFailure, LayeredImageWithoutLayers)
{
    SimLayeredImage image(kW, kH);
    writeSideFiles(target, kW, kH);
    EXPECT_EQ(save(image, target), LXe_NOTFOUND);
    expectOneMessage(LXe_LOG_FAILURE, "No layers found");
    EXPECT_EQ(files(), names({"view.tif.param.txt", "view.tif.rgb.tga"}));
    expectReferencesReleased(image);
}

TEST_F(SaveFailure, LayerNameThatCannotBeReadPassesTheHostsCode)
{
    fennick::hostsim::TestLayeredImagePolicy imagePolicy;
    imagePolicy.failName(2, LXe_OUTOFBOUNDS);
    SimLayeredImage image = ready();
    image.setPolicy(imagePolicy);
    writeSideFiles(target, kW, kH);
    EXPECT_EQ(save(image, target), LXe_OUTOFBOUNDS);
    expectOneMessage(LXe_LOG_INFO, "Could not get name of image 2");
    EXPECT_EQ(files().size(), 2u);
    expectReferencesReleased(image);
}

TEST_F(SaveFailure, NoDepthLayer)
{
    SimLayeredImage image(kW, kH);
    image.addFloatLayer("Orvo_mat", 3, std::vector<float>(kW * kH * 3, 0.0f));
    image.addFloatLayer("Orvo_dept", 1, depthRamp(kW, kH));    // one letter short
    image.addFloatLayer("xOrvo_depth", 1, depthRamp(kW, kH));  // not a prefix
    writeSideFiles(target, kW, kH);
    EXPECT_EQ(save(image, target), LXe_FAILED);
    expectOneMessage(LXe_LOG_INFO, "Depth image not found" + kScript);
    EXPECT_EQ(files(), names({"view.tif.param.txt", "view.tif.rgb.tga"}));
    expectReferencesReleased(image);
}

TEST_F(SaveFailure, LayeredImageWithoutPixels)
{
    SimLayeredImage image(0, kH);
    image.addFloatLayer("Orvo_depth", 1, {});
    writeSideFiles(target, 0, kH);
    EXPECT_EQ(save(image, target), LXe_FAILED);
    expectOneMessage(LXe_LOG_INFO, "Error writing Orvo file - the layered image has no pixels");
    EXPECT_EQ(files().size(), 2u);
    expectReferencesReleased(image);
}

TEST_F(SaveFailure, MissingParameterFile)
{
    SimLayeredImage image = ready();
    writeColour(target, kW, kH);
    EXPECT_EQ(save(image, target), LXe_FAILED);
    expectOneMessage(LXe_LOG_INFO, "Parameter file not found" + kScript);
    EXPECT_EQ(files(), names({"view.tif.rgb.tga"}));
    expectReferencesReleased(image);
}

TEST_F(SaveFailure, InvalidParameterFilesStayOnTheDisk)
{
    ParameterText noDepthRange = sceneCamera();
    noDepthRange.depthMax = "";
    ParameterText zeroDepthRange = sceneCamera();
    zeroDepthRange.depthMax = "0";
    ParameterText zeroPixelAspect = sceneCamera();
    zeroPixelAspect.pAspect = "0";
    ParameterText flatOrtho = sceneCamera();
    flatOrtho.projType = "ortho";
    flatOrtho.focalLen = "0";
    const std::pair<const char*, std::string> cases[] = {
        {"lower-case header", "parameters" + sceneCamera().text().substr(10)},
        {"ends after the depthMax key", noDepthRange.text()},
        {"depthMax 0", zeroDepthRange.text()},
        {"pAspect 0", zeroPixelAspect.text()},
        {"focal length 0, not perspective", flatOrtho.text()},
    };
    std::size_t logged = 0;
    for (const auto& c : cases) {
        SimLayeredImage image = ready();
        writeParameters(target, c.second);
        writeColour(target, kW, kH);
        EXPECT_EQ(save(image, target), LXe_FAILED) << c.first;
        ASSERT_EQ(host.messages().size(), ++logged) << c.first;
        EXPECT_EQ(host.messages().back().type, LXe_LOG_INFO);
        EXPECT_EQ(host.messages().back().text, "invalid parameter file" + kScript);
        EXPECT_EQ(contents(parameterPath(target)), c.second) << c.first;
        EXPECT_EQ(files(), names({"view.tif.param.txt", "view.tif.rgb.tga"})) << c.first;
        expectReferencesReleased(image);
    }
}

TEST_F(SaveFailure, AParameterFileThatIsNoFileOrHugeIsRefusedWithoutReadingItWhole)
{
    // A folder at the name, a huge file without a single space (read whole
    // by a word-by-word reader), and on POSIX systems an endless stream and
    // a named pipe without a writer (whose open would wait for ever).
    namespace fs = std::filesystem;
    const std::string param = parameterPath(target);
    auto check = [&](const char* what) {
        SimLayeredImage image = ready();
        writeColour(target, kW, kH);
        const std::size_t before = host.messages().size();
        EXPECT_EQ(save(image, target), LXe_FAILED) << what;
        ASSERT_EQ(host.messages().size(), before + 1) << what;
        EXPECT_EQ(host.messages().back().text, "invalid parameter file" + kScript) << what;
        EXPECT_TRUE(fs::exists(testsupport::pathFromNarrow(param))
                    || fs::is_symlink(testsupport::pathFromNarrow(param)))
            << what << ": the file stays";
        expectReferencesReleased(image);
    };
    fs::create_directory(testsupport::pathFromNarrow(param));
    check("a folder");
    fs::remove(testsupport::pathFromNarrow(param));

    writeParameters(target, std::string(64u << 20, 'x'));
    check("64 MiB without white space");
    fs::remove(testsupport::pathFromNarrow(param));
#ifndef _WIN32
    fs::create_symlink("/dev/zero", param);
    check("an endless stream");
    fs::remove(param);
    ASSERT_EQ(::mkfifo(param.c_str(), 0600), 0);
    check("a named pipe");
#endif
}

TEST_F(SaveFailure, MissingOrUnreadableColourImage)
{
    SimLayeredImage image = ready();
    writeParameters(target, sceneCamera().text());
    std::vector<unsigned char> rgb24(18, 0);
    rgb24[2] = 2;
    rgb24[16] = 24;
    writeBytes(colourPath(target), rgb24);
    EXPECT_EQ(save(image, target), LXe_FAILED);
    expectOneMessage(LXe_LOG_INFO, "Failed to read image" + kScript);
    EXPECT_EQ(files(), names({"view.tif.rgb.tga"})) << "the parameter file is consumed by then";
    expectReferencesReleased(image);
}

#ifndef _WIN32
TEST_F(SaveFailure, SideFilesThatMayNotBeReadAreReportedAsMissing)
{
    // Permissions refuse nothing to root, so the saves run as an ordinary
    // user; the files stay where they are, unread.
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    writeSideFiles(target, kW, kH);
    ASSERT_EQ(::chmod(parameterPath(target).c_str(), 0), 0);
    ASSERT_EQ(::chmod(colourPath(target).c_str(), 0666), 0);
    const std::string other = dir + "/other.tif";
    writeSideFiles(other, kW, kH);
    ASSERT_EQ(::chmod(parameterPath(other).c_str(), 0666), 0);
    ASSERT_EQ(::chmod(colourPath(other).c_str(), 0), 0);

    const bool reported = asOrdinaryUser([&] {
        SimLayeredImage image = ready();
        const bool parameters
            = save(image, target) == LXe_FAILED
              && host.messages().back().text == "Parameter file not found" + kScript;
        const bool colour = save(image, other) == LXe_FAILED
                            && host.messages().back().text == "Failed to read image" + kScript;
        if (!parameters || !colour)
            std::fprintf(stderr, "last message: %s\n", host.messages().back().text.c_str());
        return parameters && colour && host.messages().size() == 2;
    });
    EXPECT_TRUE(reported) << "an unreadable side file was not reported as missing, once";
    EXPECT_TRUE(std::filesystem::exists(parameterPath(target)));
    EXPECT_TRUE(std::filesystem::exists(colourPath(other)));
}
#endif

TEST_F(SaveFailure, ColourImageOfAnotherSize)
{
    const std::pair<unsigned, unsigned> sizes[]
        = {{kW + 1, kH}, {kW - 1, kH}, {kW, kH + 1}, {kW, kH - 1}};
    for (const auto& size : sizes) {
        SimLayeredImage image = ready();
        writeParameters(target, sceneCamera().text());
        writeColour(target, size.first, size.second);
        EXPECT_EQ(save(image, target), LXe_FAILED);
        ASSERT_FALSE(host.messages().empty());
        EXPECT_EQ(host.messages().back().text, "Image size wrong" + kScript);
        EXPECT_EQ(host.messages().back().type, LXe_LOG_INFO);
        EXPECT_EQ(files(), names({"view.tif.rgb.tga"}));
        expectReferencesReleased(image);
    }
    EXPECT_EQ(host.messages().size(), 4u) << "one message per failed save";
}

TEST_F(SaveFailure, ColourImageClaimingAHugeSizeIsRefusedBeforeAnyAllocation)
{
    SimLayeredImage image = ready();
    writeParameters(target, sceneCamera().text());
    std::vector<unsigned char> header(18, 0);
    header[2] = 2;
    header[12] = header[13] = header[14] = header[15] = 0xFF;  // 65535 x 65535
    header[16] = 32;
    writeBytes(colourPath(target), header);
    EXPECT_EQ(save(image, target), LXe_FAILED);
    expectOneMessage(LXe_LOG_INFO, "Image size wrong" + kScript);
    EXPECT_EQ(files(), names({"view.tif.rgb.tga"}));
    expectReferencesReleased(image);
}

// Bytes of peak resident memory of this process so far.
std::uint64_t peakResidentBytes()
{
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;  // Linux counts KiB
#endif
}

TEST_F(SaveFailure, LayeredImageClaimingAHugeWidthIsRefusedBeforeTheWriterTakesMemory)
{
    // Line buffers for this width would take about 900 MB, zero-filled.
    constexpr unsigned kClaimedWidth = 100000000;
    constexpr std::uint64_t kAllowedGrowth = 64u << 20;
    fennick::hostsim::TestLayeredImagePolicy imagePolicy;
    imagePolicy.claimSize(kClaimedWidth, kH);
    SimLayeredImage image = ready();
    image.setPolicy(imagePolicy);
    writeSideFiles(target, kW, kH);
    const std::uint64_t before = peakResidentBytes();
    EXPECT_EQ(save(image, target), LXe_FAILED);
    expectOneMessage(LXe_LOG_INFO, "Image size wrong" + kScript);
    EXPECT_LT(peakResidentBytes() - before, kAllowedGrowth);
    EXPECT_EQ(files(), names({"view.tif.rgb.tga"}));
    expectReferencesReleased(image);
}

TEST_F(SaveFailure, ColourImageCutShort)
{
    SimLayeredImage image = ready();
    writeParameters(target, sceneCamera().text());
    writeColour(target, kW, kH);
    // Cut inside the last stored row, which is image row 0 of a bottom-up file.
    std::filesystem::resize_file(testsupport::pathFromNarrow(colourPath(target)),
                                 18 + kW * kH * 4 - 2);
    EXPECT_EQ(save(image, target), LXe_FAILED);
    expectOneMessage(LXe_LOG_INFO, "Failed to read row 0 from image" + kScript);
    EXPECT_EQ(files(), names({"view.tif.rgb.tga"}));
    expectReferencesReleased(image);
}

TEST_F(SaveFailure, DepthAndMaterialImagesThatCannotBeFetched)
{
    for (unsigned failing : {1u, 2u}) {
        fennick::hostsim::TestLayeredImagePolicy imagePolicy;
        imagePolicy.failImage(failing);
        SimLayeredImage image = ready();
        image.setPolicy(imagePolicy);
        writeSideFiles(target, kW, kH);
        EXPECT_EQ(save(image, target), LXe_FAILED);
        ASSERT_FALSE(host.messages().empty());
        EXPECT_EQ(host.messages().back().text,
                  "Failed to get image " + std::to_string(failing) + " from layered image");
        EXPECT_EQ(host.messages().back().type, LXe_LOG_FAILURE);
        EXPECT_TRUE(files().empty()) << "both side files consumed, no partial file at the target";
        expectReferencesReleased(image);
    }
}

TEST_F(SaveFailure, FailedSaveLeavesAnExistingTargetUntouched)
{
    {
        std::ofstream(target) << "the artist's previous render";
    }
    fennick::hostsim::TestLayeredImagePolicy imagePolicy;
    imagePolicy.failImage(2);
    SimLayeredImage image = ready();
    image.setPolicy(imagePolicy);
    writeSideFiles(target, kW, kH);
    EXPECT_EQ(save(image, target), LXe_FAILED);
    EXPECT_EQ(contents(target), "the artist's previous render");
    EXPECT_EQ(files(), names({"view.tif"}));
    expectReferencesReleased(image);
}

TEST_F(SaveFailure, WriterErrorIsReportedAndLeavesNoPartialFile)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file-size limit to make the save's writes fail part way; "
                    "WriteFailure.RefusedWritesFailTheScanAndRaiseTheSystemText covers the "
                    "writer's failure and "
                    "FailedSaveLeavesAnExistingTargetUntouched the save's clean-up";
#else
    // A file-size limit makes the writer's own writes fail part way, as a
    // full disk would.
    constexpr unsigned kBigW = 256;
    constexpr unsigned kBigH = 256;
    {
        std::ofstream(target) << "previous";
    }
    SimLayeredImage image(kBigW, kBigH);
    image.addFloatLayer("Orvo_depth", 1, depthRamp(kBigW, kBigH));
    writeSideFiles(target, kBigW, kBigH);

    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;  // below the 192 KiB of colour alone
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const LxResult rc = save(image, target);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(rc, LXe_FAILED);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].type, LXe_LOG_INFO);
    EXPECT_EQ(host.messages()[0].text.rfind("Error writing Orvo file - ", 0), 0u)
        << host.messages()[0].text;
    EXPECT_GT(host.messages()[0].text.size(), std::string("Error writing Orvo file - ").size());
    EXPECT_EQ(contents(target), "previous");
    // The limit strikes in the colour pass, so the colour image is not yet
    // consumed; the temporary file is gone.
    EXPECT_EQ(files(), names({"view.tif", "view.tif.rgb.tga"}));
    expectReferencesReleased(image);
#endif
}

#ifndef _WIN32

// Sweep of the file-size limit over every boundary of a save: each point is
// a fresh save in a child process whose writes beyond `limit` bytes fail as
// on a full disk.
class SaveFaultSweep : public SaveFailure {
protected:
    static constexpr unsigned kSweepW = 6;
    static constexpr unsigned kSweepH = 5;
    // Points spread evenly over the file, besides its boundaries.
    static constexpr std::uint64_t kSpreadPoints = 48;
    static constexpr const char* kPrevious = "the artist's previous render";

    // Colour, depth and a material layer of three hues and a grey, so the
    // file has all three directories and a table of three records.
    SimLayeredImage sweepImage() const
    {
        SimLayeredImage image(kSweepW, kSweepH);
        std::vector<float> mat;
        const float hues[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.5f, 0.5f, 0.5f}};
        for (unsigned i = 0; i < kSweepW * kSweepH; ++i)
            mat.insert(mat.end(), hues[i % 4], hues[i % 4] + 3);
        image.addFloatLayer("Orvo_depth", 1, depthRamp(kSweepW, kSweepH));
        image.addFloatLayer("Orvo_mat", 3, mat);
        return image;
    }

    // Runs one save under `limit` in a child; returns what went wrong there,
    // empty when every expectation held. The colour image is consumed once
    // its last strip is written, so it stays exactly when the limit falls
    // before `colourEnd`. A limit of the whole file's size must succeed.
    std::string savePoint(std::uint64_t limit, std::uint64_t colourEnd, std::uint64_t fileSize)
    {
        int out[2];
        if (pipe(out) != 0)
            return "pipe failed";
        const pid_t child = fork();
        if (child < 0)
            return "fork failed";
        if (child == 0) {
            close(out[0]);
            const std::string problem = childSave(limit, colourEnd, fileSize);
            const ssize_t written = write(out[1], problem.data(), problem.size());
            _exit(written == static_cast<ssize_t>(problem.size()) ? 0 : 1);
        }
        close(out[1]);
        std::string problem;
        char chunk[256];
        for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;)
            problem.append(chunk, static_cast<std::size_t>(n));
        close(out[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            problem += " (the child ended abnormally, status " + std::to_string(status) + ")";
        return problem;
    }

    std::string childSave(std::uint64_t limit, std::uint64_t colourEnd, std::uint64_t fileSize)
    {
        std::string problems;
        auto expect = [&problems](bool ok, const std::string& what) {
            if (!ok)
                problems += what + "; ";
        };
        {
            std::ofstream(target, std::ios::binary) << kPrevious;
        }
        SimLayeredImage image = sweepImage();
        writeSideFiles(target, kSweepW, kSweepH);

        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited;
        getrlimit(RLIMIT_FSIZE, &limited);
        limited.rlim_cur = static_cast<rlim_t>(limit);
        if (setrlimit(RLIMIT_FSIZE, &limited) != 0)
            return "setrlimit failed";
        const LxResult rc = save(image, target);

        std::set<std::string> left = files();
        left.erase("reference.tif");
        if (limit >= fileSize) {
            expect(rc == LXe_OK, "the save failed with room for the whole file");
            expect(host.messages().empty(), "a message on success");
            expect(contents(target).size() == fileSize,
                   "the saved file differs in size from the reference");
            expect(left == names({"view.tif"}), "files left beside the saved file");
        } else {
            const std::string prefix = "Error writing Orvo file - ";
            const auto& messages = host.messages();
            expect(rc == LXe_FAILED, "result " + std::to_string(rc));
            expect(messages.size() == 1, std::to_string(messages.size()) + " messages");
            for (const auto& m : messages)
                expect(m.text.rfind(prefix, 0) == 0 && m.text.size() > prefix.size()
                           && m.type == LXe_LOG_INFO,
                       "message \"" + m.text + "\"");
            expect(contents(target) == kPrevious, "the existing target changed");
            std::set<std::string> expected = names({"view.tif"});
            if (limit < colourEnd)
                expected.insert("view.tif.rgb.tga");
            expect(
                left == expected, "files left: " + [&left] {
                    std::string list;
                    for (const auto& n : left)
                        list += n + " ";
                    return list;
                }());
        }
        expect(image.references() == 0 && image.misuses() == 0, "layered image references held");
        expect(host.liveReferences() == hostBaseline && host.misuses() == 0,
               "host references held");
        return problems;
    }
};

TEST_F(SaveFaultSweep, EveryWriteCutByAFullDiskFailsCleanly)
{
    // The reference save of the same input gives the file's layout.
    const std::string reference = dir + "/reference.tif";
    {
        SimLayeredImage image = sweepImage();
        writeSideFiles(reference, kSweepW, kSweepH);
        ASSERT_EQ(save(image, reference), LXe_OK);
        ASSERT_TRUE(host.messages().empty());
    }
    const orvoblocks::OrvoBytes file = orvoblocks::OrvoBytes::fromFile(reference);
    const std::uint64_t size = file.size();
    const auto directories = file.directories();
    ASSERT_EQ(directories.size(), 3u);
    const auto blocks = file.subfileOffsets();

    // Each region as [start, end): a write into it fails whole at a limit
    // of its start, part way at one byte more, and last at one byte less
    // than its end.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> regions;
    constexpr std::uint64_t kHeaderSize = 8;
    regions.emplace_back(0, kHeaderSize);
    regions.emplace_back(blocks[0], blocks[0] + file.rgbBlock(blocks[0]).size);
    regions.emplace_back(blocks[1], blocks[1] + file.depthBlock(blocks[1]).size);
    const auto materialBlock = file.materialBlock(blocks[2]);
    regions.emplace_back(blocks[2], blocks[2] + materialBlock.size);
    const auto records = file.materials(materialBlock.listHead);
    ASSERT_EQ(records.size(), 3u);
    for (const auto& r : records)
        regions.emplace_back(r.offset, r.offset + 9 + r.name.size() + 1);
    constexpr std::uint64_t kEntrySize = 12;
    std::uint64_t colourEnd = 0;
    for (std::size_t d = 0; d < directories.size(); ++d) {
        const auto& dirEntry = directories[d];
        regions.emplace_back(dirEntry.offset,
                             dirEntry.offset + 2 + kEntrySize * dirEntry.entries.size() + 4);
        const auto offsets = file.values(*dirEntry.find(TIFFTAG_STRIPOFFSETS));
        const auto counts = file.values(*dirEntry.find(TIFFTAG_STRIPBYTECOUNTS));
        ASSERT_EQ(offsets.size(), kSweepH);
        ASSERT_EQ(counts.size(), kSweepH);
        for (std::size_t strip : {std::size_t{0}, offsets.size() - 1})
            regions.emplace_back(offsets[strip], offsets[strip] + counts[strip]);
        if (d == 0)
            for (std::size_t i = 0; i < offsets.size(); ++i)
                colourEnd = std::max<std::uint64_t>(colourEnd, offsets[i] + counts[i]);
    }
    colourEnd
        = std::max(colourEnd, regions[1].second);  // the colour block comes with the first strip

    std::set<std::uint64_t> limits;
    for (const auto& r : regions) {
        ASSERT_LT(r.first, r.second);
        ASSERT_LE(r.second, size);
        limits.insert({r.first, r.first + 1, r.second - 1});
    }
    for (std::uint64_t i = 0; i <= kSpreadPoints; ++i)
        limits.insert(size * i / kSpreadPoints);
    limits.insert(size - 1);  // the last byte missing

    for (std::uint64_t limit : limits) {
        const std::string problem = savePoint(limit, colourEnd, size);
        EXPECT_EQ(problem, "") << "file-size limit " << limit << " of " << size << " bytes";
    }
}

#else

class SaveFaultSweep : public SaveFailure {};

TEST_F(SaveFaultSweep, EveryWriteCutByAFullDiskFailsCleanly)
{
    GTEST_SKIP()
        << "Windows has neither a file-size limit nor fork to cut the save's writes part way; "
           "WriteFailure.RefusedWritesFailTheScanAndRaiseTheSystemText covers the writer's failure "
           "and "
           "FailedSaveLeavesAnExistingTargetUntouched the save's clean-up";
}

#endif

#ifdef _WIN32

TEST_F(SaveFailure, NameOutsideTheActiveCodePageIsRefusedBeforeAnythingIsTouched)
{
    const std::string cut = testsupport::cutOffCharacter();
    if (cut.empty())
        GTEST_SKIP() << "code page " << GetACP()
                     << " is single-byte: every byte is a character, so every name converts";
    // No side files: a name refused after them would be reported as a
    // missing parameter file instead.
    SimLayeredImage image = ready();
    EXPECT_EQ(save(image, dir + "\\caf" + cut + ".ovq"), LXe_FAILED);
    expectOneMessage(
        LXe_LOG_INFO,
        "Error writing Orvo file - file name cannot be converted from the active code page");
    EXPECT_TRUE(files().empty());
    expectReferencesReleased(image);
}

#else

TEST_F(SaveFailure, NameThatIsNotUtf8IsRefusedBeforeAnythingIsTouched)
{
    const std::string latin1 = dir + "/caf\xE9.ovq";
    SimLayeredImage image = ready();
    writeSideFiles(latin1, kW, kH);
    EXPECT_EQ(save(image, latin1), LXe_FAILED);
    expectOneMessage(LXe_LOG_INFO, "Error writing Orvo file - file name is not valid UTF-8");
    EXPECT_EQ(files(), names({"caf\xE9.ovq.param.txt", "caf\xE9.ovq.rgb.tga"}));
    expectReferencesReleased(image);
}

#endif

}  // namespace
}  // namespace fennick_test
