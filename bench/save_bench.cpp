// Time of a whole save through the loaded plug-in, as the host makes it: the
// saver reads the side files, fetches the depth and material layers pixel by
// pixel through the host's interface, classifies the materials and writes
// the three pictures. The host keeps the module loaded between saves, so the
// plug-in is loaded once. Side files are written with the clock stopped.
// Run: build/bench/save_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include "hostsim/Host.h"
#include "hostsim/Plugin.h"
#include "hostsim/SimLayeredImage.h"
#include "orvo/render/DemoScene.h"
#include "orvo/sidefiles/SideFiles.h"
#include "orvo/sidefiles/TgaImage.h"

namespace {

void BM_SaveThroughPlugin(benchmark::State& state)
{
    const unsigned w = static_cast<unsigned>(state.range(0));
    const unsigned h = static_cast<unsigned>(state.range(1));
    const fennick::tool::DemoRender demo = fennick::tool::renderDemo(w, h);
    const std::vector<std::uint8_t> bgra
        = fennick::tool::layerToBgra(*demo.image.colourLayer(), w, h);
    const std::string target = "/tmp/fennick_save_bench_" + std::to_string(::getpid()) + ".ovq";

    fennick::hostsim::Host host;
    fennick::hostsim::SimLayeredImage layered(w, h);
    for (const fennick::tool::RenderLayer& layer : demo.image.layers)
        layered.addFloatLayer(layer.name, layer.channels, layer.values);
    fennick::hostsim::Plugin plugin(FENNICK_PLUGIN_PATH, host);

    for (auto _ : state) {
        state.PauseTiming();
        {
            fennick::tool::SideFiles side(target);
            side.writeParams(demo.camera);
            side.writeColour(w, h, bgra);
            state.ResumeTiming();
            const LxResult rc = plugin.save(layered.object(), target);
            state.PauseTiming();
            if (LXx_FAIL(rc)) {
                state.SkipWithError("the save failed");
                break;
            }
        }
        state.ResumeTiming();
    }
    std::remove(target.c_str());
    state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(w) * h / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_SaveThroughPlugin)
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
