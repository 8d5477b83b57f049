// Corners, corner and straight gains, sectors, the theoretical best and the
// optimal lap of the 121-lap session at 100 Hz (lx-gen --laps 119 --rate 100
// --seed 3), on top of its session math: the target is under 0.2 s.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

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
    lx_session_setup(handle);
    lx_compute_session_math(handle, lx_find_channel(handle, "Speed"),
                            lx_find_channel(handle, "Lateral Acc"), 1, 0, 0, 0);
    return handle;
}

// Every lap's corners and gains against the fastest lap, the default sectors,
// the theoretical best and the optimal lap.
void corners_sectors_optimal(benchmark::State& state) {
    int h = generated_session();
    std::vector<lx_corner> corners(64);
    std::vector<lx_stretch> stretches(128);
    lx_piece pieces[8];
    double cuts[2], theoretical = 0.0, optimal = 0.0;
    long long found = 0;
    for (auto _ : state) {
        const int ref = -1; // the fastest full lap, found by every call
        found = 0;
        for (int lap = 0; lap < lx_num_laps(h); ++lap) {
            found += lx_lap_corners(h, ref, h, lap, nullptr, corners.data(), 64);
            lx_lap_stretches(h, ref, h, lap, nullptr, stretches.data(), 128);
        }
        if (lx_sector_cuts(h, ref, nullptr, cuts, 2) != 2 ||
            lx_theoretical_best(h, ref, cuts, 2, &theoretical, pieces, 8) < 0 ||
            lx_optimal_lap(h, ref, cuts, 2, LX_OPTIMAL_TOLERANCE, nullptr, &optimal, pieces, 8) < 0)
            state.SkipWithError(lx_last_error());
    }
    // Checks that the work was real: about 12 corners a lap, and the two best laps.
    state.counters["corners"] = static_cast<double>(found);
    state.counters["theoretical_s"] = theoretical;
    state.counters["optimal_s"] = optimal;
}
BENCHMARK(corners_sectors_optimal)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
