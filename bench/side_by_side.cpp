// A save against the work it cannot avoid, measured in one process on the
// same pictures, and printed as a table:
//
//   save    the whole save through the loaded plug-in and the host stand-in
//           (side files in place, layers fetched pixel by pixel);
//   writer  the Orvo writer alone, fed the three pictures the save writes;
//   tiff    plain libtiff writing the same pictures as three uncompressed
//           directories of one strip per row, each directory written once;
//   exr     OpenEXR writing the same three layers, uncompressed scanlines
//           (colour as half floats, depth as float, material tags as
//           unsigned int: what a user would save instead);
//   host    the host's own cost: every pixel of the depth and material layers
//           fetched through the image interface and nothing else done;
//   class   material classification of the layer's pixels (and of per-pixel
//           noise, two million pixels of it, for the worst case).
//
// The pictures are bench::benchScene's: a ground of some hundred shaded
// materials under a sky band.
//
// Times are CPU seconds, the median of several runs; MB/s are megabytes of
// pixels (3 + 4 + 2 bytes a pixel) a second. CPU time leaves out waiting:
// the save's flush of its file and folder before the rename costs it more
// in wall time than the CPU figure shows, and the others do not flush. "save peak" is the resident
// memory a save adds to the host's images (measured in a child process).
//
// Run: build-perf/bench/side_by_side [WIDTHxHEIGHT ...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <half.h>

#include "avkorvo/OrvoFile.h"
#include "bench/BenchScene.h"
#include "contract/LayerNames.h"
#include "host/HostWrappers.h"
#include "hostsim/Host.h"
#include "hostsim/Plugin.h"
#include "hostsim/SimLayeredImage.h"
#include "saver/src/MaterialHelper.h"
#include "orvo/sidefiles/SideFiles.h"
#include "orvo/sidefiles/TgaImage.h"

namespace {

using Talvenrock::Orvo::OrvoFile;
using Talvenrock::Orvo::Projection;

constexpr unsigned kBytesPerPixel = 3 + 4 + 2;
constexpr int kRunsSmall = 5;
constexpr int kRunsLarge = 3;
constexpr std::uint64_t kLargePixels = 20'000'000;
constexpr double kMega = 1e6;
constexpr std::size_t kNoiseSamples = 2'000'000;

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The median of `runs` runs of `timedWork`, each returning the seconds it
// measured itself (so that it can leave its set-up off the clock).
double medianOf(int runs, const std::function<double()>& timedWork)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(timedWork());
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double median(int runs, const std::function<void()>& work)
{
    return medianOf(runs, [&] {
        const double start = cpuSeconds();
        work();
        return cpuSeconds() - start;
    });
}

// The three pictures of a save, row-major.
struct Pictures {
    unsigned width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    std::vector<std::uint32_t> depth;
    std::vector<std::uint16_t> material;
    // The same pictures as OpenEXR would take them.
    std::vector<half> colourHalf;  // R, G, B interleaved
    std::vector<float> depthFloat;
    std::vector<std::uint32_t> materialUint;
};

void writeExr(const Pictures& p, const std::string& path)
{
    Imf::Header header(static_cast<int>(p.width), static_cast<int>(p.height));
    header.compression() = Imf::NO_COMPRESSION;
    const struct {
        const char* name;
        Imf::PixelType type;
        const char* base;
        std::size_t xStride;
    } channels[] = {
        {"R", Imf::HALF, reinterpret_cast<const char*>(p.colourHalf.data()), 3 * sizeof(half)},
        {"G", Imf::HALF, reinterpret_cast<const char*>(p.colourHalf.data() + 1), 3 * sizeof(half)},
        {"B", Imf::HALF, reinterpret_cast<const char*>(p.colourHalf.data() + 2), 3 * sizeof(half)},
        {"Z", Imf::FLOAT, reinterpret_cast<const char*>(p.depthFloat.data()), sizeof(float)},
        {"material", Imf::UINT, reinterpret_cast<const char*>(p.materialUint.data()),
         sizeof(std::uint32_t)},
    };
    Imf::FrameBuffer frame;
    for (const auto& c : channels) {
        header.channels().insert(c.name, Imf::Channel(c.type));
        frame.insert(c.name,
                     Imf::Slice(c.type, const_cast<char*>(c.base), c.xStride, c.xStride * p.width));
    }
    Imf::OutputFile file(path.c_str(), header);
    file.setFrameBuffer(frame);
    file.writePixels(static_cast<int>(p.height));
}

void writeOrvo(const Pictures& p, const std::string& path)
{
    std::unique_ptr<OrvoFile> f(OrvoFile::create(std::wstring(path.begin(), path.end()), p.width,
                                                 p.height, L"fennick bench", L"", L"", L"",
                                                 Projection(), false));
    const std::size_t w = p.width;
    f->beginPass(1);
    for (unsigned y = 0; y < p.height; ++y) {
        std::memcpy(f->rgbLine(), &p.rgb[w * 3 * y], w * 3);
        f->putScan();
    }
    f->beginPass(2);
    for (unsigned y = 0; y < p.height; ++y) {
        std::memcpy(f->zLine(), &p.depth[w * y], w * 4);
        f->putScan();
    }
    f->beginPass(4);
    for (unsigned y = 0; y < p.height; ++y) {
        std::memcpy(f->matLine(), &p.material[w * y], w * 2);
        f->putScan();
    }
    f->close();
}

void writePlainTiff(const Pictures& p, const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif)
        throw std::runtime_error("libtiff cannot create " + path);
    const struct {
        std::uint16_t bits, samples, photometric;
        const void* data;
        std::size_t rowBytes;
    } pictures[] = {{8, 3, PHOTOMETRIC_RGB, p.rgb.data(), std::size_t(p.width) * 3},
                    {32, 1, PHOTOMETRIC_MINISBLACK, p.depth.data(), std::size_t(p.width) * 4},
                    {16, 1, PHOTOMETRIC_MINISBLACK, p.material.data(), std::size_t(p.width) * 2}};
    for (const auto& picture : pictures) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, picture.bits);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, picture.samples);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, picture.photometric);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        const auto* bytes = static_cast<const unsigned char*>(picture.data);
        for (unsigned y = 0; y < p.height; ++y)
            TIFFWriteEncodedStrip(tif, y, const_cast<unsigned char*>(bytes + picture.rowBytes * y),
                                  static_cast<tmsize_t>(picture.rowBytes));
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
}

// Every pixel of the depth and material layers fetched as the saver fetches
// them, and nothing else done.
void fetchLayers(LXtObjectID object)
{
    CLxUser_LayeredImage layered(object);
    unsigned width = 0, height = 0;
    layered.Size(&width, &height);
    alignas(float) unsigned char pixel[LXi_MAX_PIXEL_BYTES];
    volatile float sink = 0;
    for (unsigned index = 0; index < layered.Count(); ++index) {
        const char* name = nullptr;
        layered.Name(index, &name);
        const bool depth = std::strcmp(name, fennick::contract::kDepthLayerPrefix) == 0;
        if (!depth && std::strcmp(name, fennick::contract::kMaterialLayerPrefix) != 0)
            continue;
        CLxUser_Image image;
        if (!layered.GetImage(image, index))
            throw std::runtime_error("no layer image");
        const LXtPixelFormat format = depth ? LXiIMP_GREYFP : LXiIMP_RGBFP;
        for (unsigned y = 0; y < height; ++y)
            for (unsigned x = 0; x < width; ++x) {
                image.GetPixel(x, y, format, pixel);
                float v;
                std::memcpy(&v, pixel, sizeof v);
                sink = sink + v;
            }
    }
}

long residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The resident memory one save adds, in MiB: a child saves once and reports
// its peak less what it held when it started.
double savePeakMiB(const std::function<void()>& save)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        const long before = residentKiB();
        save();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double mib = static_cast<double>(usage.ru_maxrss - before) / 1024.0;
        const ssize_t n = write(out[1], &mib, sizeof mib);
        _exit(n == sizeof mib ? 0 : 1);
    }
    close(out[1]);
    double mib = -1;
    if (read(out[0], &mib, sizeof mib) != sizeof mib)
        mib = -1;
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return mib;
}

struct Row {
    std::string size;
    double save, writer, tiff, exr, host, peak, classRate, noiseRate;
    double mb;
    std::size_t materials;
};

Row measure(unsigned w, unsigned h)
{
    const int runs = std::uint64_t(w) * h > kLargePixels ? kRunsLarge : kRunsSmall;
    const std::string dir = "/tmp/fennick_side_by_side_" + std::to_string(::getpid());
    const std::string target = dir + ".ovq";
    const std::string plain = dir + ".tif";
    const std::string exr = dir + ".exr";

    fennick::tool::RenderImage scene = bench::benchScene(w, h);
    const std::vector<std::uint8_t> bgra = fennick::tool::layerToBgra(*scene.colourLayer(), w, h);
    const std::size_t pixels = std::size_t(w) * h;

    Pictures p;
    p.width = w;
    p.height = h;
    p.rgb.resize(pixels * 3);
    p.depth.resize(pixels);
    p.material.resize(pixels);
    for (std::size_t i = 0; i < pixels; ++i) {
        p.rgb[3 * i] = bgra[4 * i + 2];
        p.rgb[3 * i + 1] = bgra[4 * i + 1];
        p.rgb[3 * i + 2] = bgra[4 * i];
    }
    const std::vector<float>* matValues = nullptr;
    for (const auto& layer : scene.layers) {
        if (layer.name == fennick::contract::kDepthLayerPrefix) {
            p.depthFloat = layer.values;
            for (std::size_t i = 0; i < pixels; ++i)
                std::memcpy(&p.depth[i], &layer.values[i], 4);
        }
        if (layer.name == fennick::contract::kMaterialLayerPrefix)
            matValues = &layer.values;
    }
    if (!matValues)
        throw std::runtime_error("the scene has no material layer");
    {
        const std::vector<float>& rgba = scene.colourLayer()->values;
        p.colourHalf.resize(pixels * 3);
        for (std::size_t i = 0; i < pixels; ++i)
            for (int k = 0; k < 3; ++k)
                p.colourHalf[3 * i + k] = half(rgba[4 * i + k]);
    }

    Row row{};
    row.size = std::to_string(w) + "x" + std::to_string(h);
    row.mb = static_cast<double>(pixels) * kBytesPerPixel / kMega;

    // Classification, which also gives the material picture.
    const double classify = median(runs, [&] {
        MaterialHelper helper;
        const float* v = matValues->data();
        for (std::size_t i = 0; i < pixels; ++i)
            p.material[i] = helper.getTag(v[3 * i], v[3 * i + 1], v[3 * i + 2]);
        row.materials = helper.materialRanges().size();
    });
    p.materialUint.assign(p.material.begin(), p.material.end());
    row.classRate = static_cast<double>(pixels) / classify / kMega;
    {
        // A sample of noise, every pixel a new hue: the same number of
        // pixels at every size, so the rows compare the classifier rather
        // than how far the memory it touches reaches beyond the caches.
        const std::size_t samples = std::min<std::size_t>(pixels, kNoiseSamples);
        std::vector<float> noise(samples * 3);
        std::uint32_t state = 1;
        for (float& f : noise) {
            state = state * 1664525u + 1013904223u;
            f = static_cast<float>(state >> 8) / static_cast<float>(1u << 24);
        }
        // One run: a classifier starts empty, so a run is the whole worst case.
        const double start = cpuSeconds();
        {
            MaterialHelper helper;
            volatile unsigned sink = 0;
            for (std::size_t i = 0; i < samples; ++i)
                sink = sink + helper.getTag(noise[3 * i], noise[3 * i + 1], noise[3 * i + 2]);
        }
        const double noisy = cpuSeconds() - start;
        row.noiseRate = static_cast<double>(samples) / noisy / kMega;
    }

    row.writer = median(runs, [&] { writeOrvo(p, target); });
    row.tiff = median(runs, [&] { writePlainTiff(p, plain); });
    std::remove(plain.c_str());
    row.exr = median(runs, [&] { writeExr(p, exr); });
    std::remove(exr.c_str());
    p = Pictures();

    fennick::hostsim::Host host;
    fennick::hostsim::SimLayeredImage layered(w, h);
    for (fennick::tool::RenderLayer& layer : scene.layers)
        layered.addFloatLayer(layer.name, layer.channels, std::move(layer.values));
    const fennick::tool::CameraParameters camera = fennick::tool::newCamera();
    scene = fennick::tool::RenderImage();
    fennick::hostsim::Plugin plugin(FENNICK_PLUGIN_PATH, host);

    row.host = median(runs, [&] { fetchLayers(layered.object()); });

    // The saver consumes its side files: each save gets them anew, outside
    // the clock.
    const auto save = [&] {
        fennick::tool::SideFiles side(target);
        side.writeParams(camera);
        side.writeColour(w, h, bgra);
        const double start = cpuSeconds();
        if (LXx_FAIL(plugin.save(layered.object(), target))) {
            const auto& messages = host.messages();
            throw std::runtime_error(
                "the save failed: "
                + (messages.empty() ? std::string("no message") : messages.back().text));
        }
        return cpuSeconds() - start;
    };
    row.save = medianOf(runs, save);
    row.peak = savePeakMiB([&] { save(); });
    std::remove(target.c_str());
    return row;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::pair<unsigned, unsigned>> sizes;
    for (int i = 1; i < argc; ++i) {
        unsigned w = 0, h = 0;
        if (std::sscanf(argv[i], "%ux%u", &w, &h) != 2 || !w || !h) {
            std::fprintf(stderr, "usage: %s [WIDTHxHEIGHT ...]\n", argv[0]);
            return 2;
        }
        sizes.emplace_back(w, h);
    }
    if (sizes.empty())
        sizes = {{1920, 1080}, {3840, 2160}, {7680, 4320}, {1000, 16000}};

    std::printf("%-10s %8s %8s %8s %8s %8s | %9s %9s | %6s %6s %6s %8s | %9s | %5s %8s %8s\n",
                "size", "save s", "writer s", "tiff s", "exr s", "host s", "save MB/s", "wrtr MB/s",
                "1/3", "2/3", "1/4", "1/(3+5)", "peak MiB", "mats", "class", "noise");
    std::printf("%-10s %8s %8s %8s %8s %8s | %9s %9s | %6s %6s %6s %8s | %9s | %5s %8s %8s\n", "",
                "(1)", "(2)", "(3)", "(4)", "(5)", "", "", "", "", "", "", "save", "", "Mpx/s",
                "Mpx/s");
    for (const auto& [w, h] : sizes) {
        const Row r = measure(w, h);
        std::printf("%-10s %8.3f %8.3f %8.3f %8.3f %8.3f | %9.0f %9.0f | %6.2f %6.2f %6.2f %8.2f | "
                    "%9.1f | %5zu %8.0f "
                    "%8.1f\n",
                    r.size.c_str(), r.save, r.writer, r.tiff, r.exr, r.host, r.mb / r.save,
                    r.mb / r.writer, r.save / r.tiff, r.writer / r.tiff, r.save / r.exr,
                    r.save / (r.tiff + r.host), r.peak, r.materials, r.classRate, r.noiseRate);
        std::fflush(stdout);
    }
    return 0;
}
