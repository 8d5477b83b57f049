// Track map, chart and MoTeC export of one synthetic lap: a corner sequence
// with the length and rate of a kart lap (1,200 samples at 20 Hz).
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "lx.h"

namespace {

constexpr int SAMPLES = 1200;

int synthetic_lap() {
    static int handle = 0;
    if (handle != 0) return handle;
    lx::Session* s = lx::new_session();
    for (const char* name : {"Idx", "Time", "Distance"})
        lx::copy_text(s->channels[s->nchannels++].name, name);
    s->sample_rate = 20.0f;
    s->nlaps = 1;
    s->laps[0].npoints = SAMPLES;
    for (int c = 0; c < s->nchannels; ++c)
        s->laps[0].raw[c] = static_cast<float*>(lx::alloc_zeroed(SAMPLES * sizeof(float)));
    handle = lx::store_session(s);
    lx_session_setup(handle);
    lx_map_setup(handle);
    lx::Lap& l = s->laps[0];
    float distance = 0.0f;
    for (int j = 0; j < SAMPLES; ++j) {
        float speed = 20.0f + 5.0f * static_cast<float>(std::sin(j * 0.02));
        l.raw[1][j] = j / 20.0f;
        l.raw[s->i_speed][j] = speed;
        l.raw[s->i_seglen][j] = speed / 20.0f;
        l.raw[s->i_latg][j] = 0.8f * static_cast<float>(std::sin(j * 0.013));
        l.raw[s->i_distance][j] = distance;
        distance += speed / 20.0f;
    }
    l.lap_length = distance;
    return handle;
}

void track_map(benchmark::State& state) {
    int h = synthetic_lap();
    std::vector<int> x(SAMPLES), y(SAMPLES);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            lx_scaled_map(h, x.data(), y.data(), SAMPLES, 0, 800, 600, 20, 1.0f, 0.0f));
}
BENCHMARK(track_map);

void chart(benchmark::State& state) {
    int h = synthetic_lap();
    int speed = lx_channel_number(h, LX_CHANNEL_SPEED);
    std::vector<int> x(800), y(800);
    for (auto _ : state)
        benchmark::DoNotOptimize(lx_scaled_chart_lap_dist(h, 0, speed, 40.0f, 0.0f, 800, 800, 300,
                                                          0, 300, 0.0f, x.data(), y.data()));
}
BENCHMARK(chart);

void motec_export(benchmark::State& state) {
    int h = synthetic_lap();
    std::string path =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "lx-bench-lap.csv")
            .string();
    for (auto _ : state) benchmark::DoNotOptimize(lx_write_lap_motec(h, 0, path.c_str()));
    std::filesystem::remove(path);
}
BENCHMARK(motec_export)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
