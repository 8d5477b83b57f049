// The whole error channel of a one-hour session at 20 Hz against a 60-second
// reference lap, driven one sample per call as a front-end does: about
// 72,000 x 1,200 = 86 million pairings of reference and working samples.
#include <benchmark/benchmark.h>

#include <cmath>

#include "analysis/analysis.h"
#include "base/units.h"
#include "frame/frame.h"
#include "lx.h"

namespace {

constexpr float RATE = 20.0f;
constexpr int LAP_SAMPLES = 1200; // 60 s
constexpr int LAPS = 60;          // one hour

// Curvature in 1/m at a fraction u of the lap: a handful of bends.
double curvature(double u) {
    if (u >= 0.10 && u < 0.22) return 1.0 / 45.0;
    if (u >= 0.35 && u < 0.42) return -1.0 / 20.0;
    if (u >= 0.55 && u < 0.70) return -1.0 / 80.0;
    if (u >= 0.80 && u < 0.86) return 1.0 / 30.0;
    return 0.0;
}

// A logged session with Speed [km/h] and LatG [g] channels whose laps differ a
// little in pace, set up and computed through the exports.
int one_hour_session() {
    lx::Session* s = lx::new_session();
    for (const char* name : {"Idx", "Time", "Distance", "Speed", "LatG"})
        lx::copy_text(s->channels[s->nchannels++].name, name);
    s->nfile_channels = s->nchannels;
    s->sample_rate = RATE;
    int index = 0;
    for (int l = 0; l < LAPS; ++l) {
        lx::Lap& lap = s->laps[s->nlaps++];
        lap.npoints = LAP_SAMPLES;
        lap.number = l + 1;
        for (int c = 0; c < s->nchannels; ++c)
            lap.raw[c] = static_cast<float*>(lx::alloc_zeroed(LAP_SAMPLES * sizeof(float)));
        double pace = 1.0 + 0.02 * std::sin(l * 1.7);
        for (int j = 0; j < LAP_SAMPLES; ++j, ++index) {
            double k = curvature(static_cast<double>(j) / LAP_SAMPLES);
            double speed = 30.0 * pace * (1.0 - 6.0 * std::fabs(k));
            lap.raw[0][j] = static_cast<float>(index);
            lap.raw[1][j] = static_cast<float>(index / RATE);
            lap.raw[3][j] = static_cast<float>(speed * lx::KMH_PER_MS);
            lap.raw[4][j] = static_cast<float>(speed * speed * k / lx::G);
        }
        lap.laptime = lap.raw_laptime = LAP_SAMPLES / RATE;
    }
    int handle = lx::store_session(s);
    lx_session_setup(handle);
    lx_compute_session_math(handle, 3, 4, LX_SPEED_KMH, 0, 0, 0);
    lx_beacon_setup(handle);
    return handle;
}

void error_channel(benchmark::State& state) {
    static int handle = one_hour_session();
    const int ref_lap = 1;
    long long handled = 0;
    for (auto _ : state) {
        int remaining = lx_compute_error_channel_step(1, handle, ref_lap, handle);
        while (remaining > 0) remaining = lx_compute_error_channel_step(0, handle, ref_lap, handle);
        if (remaining < 0) state.SkipWithError("the error channel refused the session");
        handled += lx::library.error_run.processed;
    }
    double pairings = static_cast<double>(handled) * LAP_SAMPLES;
    state.counters["pairings"] = benchmark::Counter(pairings, benchmark::Counter::kAvgIterations);
    // Time per pairing, printed with an SI prefix (n = nanoseconds).
    state.counters["per_pairing"] =
        benchmark::Counter(pairings, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    // The lap starts found, as a check that the work was real (about one per lap).
    state.counters["matches"] = lx_locate_laps(handle, ref_lap, handle);
}
BENCHMARK(error_channel)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
