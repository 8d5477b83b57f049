// Lap matching of the 121-lap session at 100 Hz (lx-gen --laps 119 --rate 100
// --seed 3) against its lap 2, as lx cut runs it, on 1 and 2 threads: the
// error channel and the marks compared bit for bit, wall and processor time
// and the speed-ups printed. The machine may be shared, so that wall time says
// little: processor time over wall time says how many cores the run got, and
// the longer of the calling thread's processor time and the other threads'
// is how long the run takes when each thread has a core of its own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "gen.h"
#include "lx_data.h"

namespace {

constexpr int REF_LAP = 1;

int generated_session() {
    lxgen::SessionPlan plan;
    plan.seed = 3;
    plan.flying_laps = 119;
    plan.sample_rate = 100.0;
    const std::string path = "bench-matching-121-laps.txt";
    std::ofstream(path, std::ios::binary) << lxgen::write_text(lxgen::drive_session(plan));
    int handle = lx_open(path.c_str(), nullptr);
    lx_math_options math{lx_find_channel(handle, "Speed"),
                         lx_find_channel(handle, "Lateral Acc"),
                         0,
                         LX_SPEED_KMH,
                         0,
                         0};
    if (handle < 0 || lx_session_math(handle, &math) != LX_OK) {
        std::fprintf(stderr, "the generated session cannot be set up: %s\n", lx_last_error());
        std::exit(1);
    }
    return handle;
}

double processor_seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Run {
    int matches;
    double wall, processor, caller; // caller: the calling thread's processor time
    std::vector<float> samples;     // error channel then marks, lap after lap
};

std::vector<float> matching_channels(int h) {
    lx_session_info info{};
    lx_session_info_get(h, &info);
    std::vector<float> all;
    for (int channel : {info.channels - 2, info.channels - 1})
        for (int lap = 0; lap < info.laps; ++lap) {
            std::vector<float> values(std::size_t(lx_lap_samples(h, lap, channel, nullptr, 0)));
            lx_lap_samples(h, lap, channel, values.data(), int(values.size()));
            all.insert(all.end(), values.begin(), values.end());
        }
    return all;
}

Run match(int h, int threads) {
    lx_match_options options{threads, LX_CUT_MATCHES, 0.0};
    double cpu = processor_seconds(CLOCK_PROCESS_CPUTIME_ID);
    double caller = processor_seconds(CLOCK_THREAD_CPUTIME_ID);
    auto start = std::chrono::steady_clock::now();
    int matches = lx_match_laps(h, REF_LAP, h, &options);
    std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    caller = processor_seconds(CLOCK_THREAD_CPUTIME_ID) - caller;
    cpu = processor_seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu;
    if (matches < 0) {
        std::fprintf(stderr, "lx_match_laps failed: %s\n", lx_last_error());
        std::exit(1);
    }
    return {matches, wall.count(), cpu, caller, matching_channels(h)};
}

// The run's length when each thread has a core: its longest thread.
double own_cores(const Run& r) {
    return std::max(r.caller, r.processor - r.caller);
}

double load_average() {
    double load = -1.0;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = -1.0;
        std::fclose(f);
    }
    return load;
}

} // namespace

int main() {
    int h = generated_session();
    std::printf("load average at the start: %.1f on %d cores\n", load_average(),
                int(sysconf(_SC_NPROCESSORS_ONLN)));
    Run one = match(h, 1);
    Run two = match(h, 2);
    bool same = one.matches == two.matches && one.samples.size() == two.samples.size() &&
                std::memcmp(one.samples.data(), two.samples.data(),
                            one.samples.size() * sizeof(float)) == 0;
    for (const Run* r : {&one, &two})
        std::printf("lap matching, %d thread%s: %d lap starts, wall %.2f s, processor %.2f s "
                    "(%.2f cores busy; calling thread %.2f s, others %.2f s)\n",
                    r == &one ? 1 : 2, r == &one ? "" : "s", r->matches, r->wall, r->processor,
                    r->processor / r->wall, r->caller, r->processor - r->caller);
    std::printf("speed-up with 2 threads: %.2fx in wall time; %.2fx with a core for each thread "
                "(the longest thread's processor time); aim: 1.7x\n",
                one.wall / two.wall, one.processor / own_cores(two));
    std::printf("error channel and marks: %s\n",
                same ? "the same bits on 1 and 2 threads" : "DIFFER between 1 and 2 threads");
    return same ? 0 : 1;
}
