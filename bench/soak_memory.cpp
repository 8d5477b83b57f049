// Memory staying flat over long runs: 10,000 opens and frees, 1,000 sessions
// of the data API on four threads, and ten large sessions kept open through
// whole analyses. Prints resident memory along the
// way and exits 1 when it grows by 1 MB or more, or when a block is left.
// Linux only: resident memory is read from /proc. Writes its files in the
// working folder.
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/output.h"
#include "frame/frame.h"
#include "gen.h"
#include "lx_data.h"
#include "steady.h"

#if defined(__linux__)
#include <malloc.h>
#include <unistd.h>

namespace {

constexpr long GROWTH_LIMIT_KB = 1024;
constexpr long THREADED_GROWTH_LIMIT_KB = 2048; // each thread keeps heap arenas of its own
constexpr int SOAK_THREADS = 4, THREADED_SESSIONS = 1000;
int failures = 0;

// Resident memory in kB, after handing freed heap back to the system.
long resident_kb() {
    malloc_trim(0);
    long pages_total = 0, pages_resident = 0;
    std::ifstream("/proc/self/statm") >> pages_total >> pages_resident;
    return pages_resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void report(const std::string& what, long kb) {
    std::fprintf(stderr, "soak: %-44s %8ld kB\n", what.c_str(), kb);
}

void expect(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "soak: FAILED: %s\n", what);
    ++failures;
}

std::string write_export(const lxgen::SteadyPlan& shape, const std::string& name) {
    std::ofstream(name, std::ios::binary) << lxgen::steady_export(shape);
    return name;
}

void open_and_free(const std::string& path) {
    const long blocks = lx::live_allocations();
    long warm = 0;
    for (int i = 0; i < 10000; ++i) {
        int h = lx_open_aim_xls(path.c_str());
        if (h != 1) return expect(false, "an open of the 10,000 was refused");
        lx_free_session(h);
        if (i == 99) warm = resident_kb();
    }
    long after = resident_kb();
    report("open/free x10000: RSS after 100 rounds", warm);
    report("open/free x10000: RSS after 10000 rounds", after);
    expect(lx::live_allocations() == blocks, "opens and frees left blocks allocated");
    expect(after - warm < GROWTH_LIMIT_KB, "opens and frees grew resident memory");
}

// Math, time difference, error channel, lap location, a cut session that goes
// through setup and math in turn, a map, a chart and a MoTeC file.
void full_analysis(int ref, int work, const std::string& motec_path) {
    lx_compute_session_math(work, 3, 4, LX_SPEED_KMH, 0, 0, 0);
    lx_calc_time_diff(ref, 1, work, 1);
    int left = lx_compute_error_channel_step(1, ref, 1, work);
    while (left > 0) left = lx_compute_error_channel_step(0, ref, 1, work);
    lx_locate_laps(ref, 1, work);
    int cut = lx_new_session_from_beacons(ref, 1, work, LX_CUT_BEACON_SHIFT, 50.0f);
    expect(cut > 0, "a cut was refused");
    lx_session_setup(cut);
    lx_compute_session_math(cut, 3, 4, LX_SPEED_KMH, 0, 5, 0);
    std::vector<int> x(600), y(600);
    lx_scaled_map(work, x.data(), y.data(), 600, 2, 800, 600, 10, 1.0f, 0.0f);
    lx_scaled_chart_lap_dist(cut, 1, lx_channel_number(cut, LX_CHANNEL_SPEED), 60.0f, 0.0f, 600,
                             600, 400, 0, 400, 0.0f, x.data(), y.data());
    expect(lx_write_lap_motec(work, 2, motec_path.c_str()) == 1, "a MoTeC file was refused");
    lx_free_session(cut);
}

// Sessions of the data API opened, analysed and closed on four threads at
// once, a warm-up round first.
void threaded_round(const std::string& path, int sessions) {
    std::vector<std::thread> threads;
    std::vector<int> refused(SOAK_THREADS, 0);
    for (int t = 0; t < SOAK_THREADS; ++t)
        threads.emplace_back([&, t] {
            for (int i = t; i < sessions; i += SOAK_THREADS) {
                int h = lx_open(path.c_str(), nullptr);
                refused[std::size_t(t)] += lx_analyse(h, nullptr) != LX_OK;
                refused[std::size_t(t)] += lx_close(h) != LX_OK;
            }
        });
    for (std::thread& t : threads) t.join();
    for (int r : refused) expect(r == 0, "an open, analysis or close on a thread was refused");
}

void threaded_sessions(const std::string& path) {
    const long blocks = lx::live_allocations();
    threaded_round(path, 100);
    long warm = resident_kb();
    threaded_round(path, THREADED_SESSIONS);
    long after = resident_kb();
    report("4 threads: RSS after a warm-up of 100 sessions", warm);
    report("4 threads: RSS after 1000 sessions more", after);
    expect(lx::live_allocations() == blocks, "sessions on threads left blocks allocated");
    expect(after - warm < THREADED_GROWTH_LIMIT_KB, "sessions on threads grew resident memory");
}

void ten_sessions(const std::string& path, const std::string& motec) {
    const long blocks = lx::live_allocations();
    long before = resident_kb();
    std::vector<long> rounds;
    // Nine read from files, the tenth slot taken by each cut in turn.
    std::vector<int> handles;
    for (int i = 0; i < 9; ++i) handles.push_back(lx_open_aim_xls(path.c_str()));
    for (int h : handles)
        expect(lx_session_setup(h) && lx_analysis_setup(h) && lx_beacon_setup(h) && lx_map_setup(h),
               "a setup was refused");
    for (int round = 0; round < 3; ++round) {
        for (int h : handles) full_analysis(handles[0], h, motec);
        rounds.push_back(resident_kb());
    }
    for (int h : handles) lx_free_session(h);
    report("ten sessions: RSS before opening", before);
    for (std::size_t r = 0; r < rounds.size(); ++r)
        report("ten sessions: RSS after analysis round " + std::to_string(r + 1), rounds[r]);
    report("ten sessions: RSS after freeing all", resident_kb());
    expect(lx::live_allocations() == blocks, "the analyses left blocks allocated");
    expect(rounds.back() - rounds.front() < GROWTH_LIMIT_KB, "repeated analyses grew memory");
}

} // namespace

int main() {
    // Every free prints a line on standard output; the report goes to standard error.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
    lxgen::SteadyPlan small;
    small.laps = 5;
    small.points_per_lap = 200;
    open_and_free(write_export(small, "lx-soak-small.txt"));
    lxgen::SessionPlan driven;
    driven.flying_laps = 3;
    std::ofstream("lx-soak-driven.txt", std::ios::binary)
        << lxgen::write_text(lxgen::drive_session(driven));
    threaded_sessions("lx-soak-driven.txt");
    lxgen::SteadyPlan large;
    large.laps = 40;
    large.points_per_lap = 1500;
    large.sample_rate = 20.0f;
    large.standing_starts = {7, 19};
    ten_sessions(write_export(large, "lx-soak-large.txt"), "lx-soak.csv");
    return failures ? 1 : 0;
}
#else
int main() {
    std::puts("soak: resident memory is read on Linux only");
}
#endif
