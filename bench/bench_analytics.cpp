// The whole analysis of the 121-lap session at 100 Hz (lx-gen --laps 119
// --rate 100 --seed 3) from an open session: the channel choice and session
// math, every lap's gap, time difference, corners and stretches, the sectors,
// the theoretical best and the optimal lap. The target is under 0.2 s.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "gen.h"
#include "lx_data.h"

namespace {

int generated_session() {
    static int handle = 0;
    if (handle != 0) return handle;
    lxgen::SessionPlan plan;
    plan.seed = 3;
    plan.flying_laps = 119;
    plan.sample_rate = 100.0;
    const std::string path = "bench-analytics-121-laps.txt";
    std::ofstream(path, std::ios::binary) << lxgen::write_text(lxgen::drive_session(plan));
    handle = lx_open(path.c_str(), nullptr);
    return handle;
}

void whole_analysis(benchmark::State& state) {
    int h = generated_session();
    lx_analysis_info info{};
    for (auto _ : state)
        if (lx_analyse(h, nullptr) != LX_OK || lx_analysis_info_get(h, &info) != LX_OK)
            state.SkipWithError(lx_last_error());
    // Checks that the work was real: the full laps, the 12 bends, the two best laps.
    state.counters["full_laps"] = info.full_laps;
    state.counters["corners"] = info.corners;
    state.counters["theoretical_s"] = info.theoretical_best;
    state.counters["optimal_s"] = info.optimal_lap;
}
BENCHMARK(whole_analysis)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
