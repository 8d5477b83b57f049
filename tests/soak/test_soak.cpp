// Long runs that show memory staying flat: thousands of opens and frees, and
// ten large sessions kept open through whole analyses. Skipped unless LX_SOAK
// is set in the environment (the CI soak step sets it).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#if defined(__linux__)
#include <malloc.h>
#include <unistd.h>
#endif

#include "lx.h"
#include "steady.h"
#include "support.h"

using namespace lxtest;

namespace {

#if defined(__linux__)
bool soak_enabled() {
    return std::getenv("LX_SOAK") != nullptr;
}

// Resident memory in kB, after handing freed heap back to the system.
long resident_kb() {
    malloc_trim(0);
    long pages_total = 0, pages_resident = 0;
    std::ifstream("/proc/self/statm") >> pages_total >> pages_resident;
    return pages_resident * (sysconf(_SC_PAGESIZE) / 1024);
}
#else
// Resident memory is read from Linux's /proc only.
bool soak_enabled() {
    return false;
}
long resident_kb() {
    return 0;
}
#endif

void report(const char* what, long kb) {
    std::fprintf(stderr, "soak: %-44s %8ld kB\n", what, kb);
}

void set_up(int h) {
    ASSERT_EQ(lx_session_setup(h), 1);
    ASSERT_EQ(lx_analysis_setup(h), 1);
    ASSERT_EQ(lx_beacon_setup(h), 1);
    ASSERT_EQ(lx_map_setup(h), 1);
}

// Math, time difference, error channel, lap location, a cut session that goes
// through setup and math in turn, a map, a chart and a MoTeC file.
void full_analysis(int ref, int work, const std::string& motec_path) {
    ASSERT_EQ(lx_compute_session_math(work, 3, 4, LX_SPEED_KMH, 0, 0, 0), 1);
    ASSERT_EQ(lx_calc_time_diff(ref, 1, work, 1), 1);
    int left = lx_compute_error_channel_step(1, ref, 1, work);
    while (left > 0) left = lx_compute_error_channel_step(0, ref, 1, work);
    ASSERT_EQ(left, 0);
    EXPECT_GT(lx_locate_laps(ref, 1, work), 0);
    int cut = lx_new_session_from_beacons(ref, 1, work, LX_CUT_BEACON_SHIFT, 50.0f);
    ASSERT_GT(cut, 0);
    ASSERT_EQ(lx_session_setup(cut), 1);
    ASSERT_EQ(lx_compute_session_math(cut, 3, 4, LX_SPEED_KMH, 0, 5, 0), 1);
    std::vector<int> x(600), y(600);
    EXPECT_EQ(lx_scaled_map(work, x.data(), y.data(), 600, 2, 800, 600, 10, 1.0f, 0.0f), 1);
    EXPECT_GT(lx_scaled_chart_lap_dist(cut, 1, lx_channel_number(cut, LX_CHANNEL_SPEED), 60.0f,
                                       0.0f, 600, 600, 400, 0, 400, 0.0f, x.data(), y.data()),
              0);
    EXPECT_EQ(lx_write_lap_motec(work, 2, motec_path.c_str()), 1);
    lx_free_session(cut);
}

} // namespace

TEST(Soak, OpeningAndFreeingTenThousandTimesKeepsMemoryFlat) {
    if (!soak_enabled()) GTEST_SKIP() << "set LX_SOAK=1 to run";
    close_all_sessions();
    lxgen::SteadyPlan shape;
    shape.laps = 5;
    shape.points_per_lap = 200;
    std::string path = write_temp_file(lxgen::steady_export(shape));
    const long blocks = lx::live_allocations();
    long warm = 0;
    StdoutCapture quiet; // every free prints a line
    for (int i = 0; i < 10000; ++i) {
        int h = lx_open_aim_xls(path.c_str());
        ASSERT_EQ(h, 1) << "round " << i;
        lx_free_session(h);
        if (i == 99) warm = resident_kb();
    }
    long after = resident_kb();
    quiet.text();
    report("open/free x10000: RSS after 100 rounds", warm);
    report("open/free x10000: RSS after 10000 rounds", after);
    EXPECT_EQ(lx::live_allocations(), blocks);
    EXPECT_EQ(lx::library.open_sessions, 0);
    EXPECT_LT(after - warm, 1024);
}

TEST(Soak, TenLargeSessionsThroughRepeatedAnalysesKeepMemoryFlat) {
    if (!soak_enabled()) GTEST_SKIP() << "set LX_SOAK=1 to run";
    close_all_sessions();
    lxgen::SteadyPlan shape;
    shape.laps = 40;
    shape.points_per_lap = 1500;
    shape.sample_rate = 20.0f;
    shape.standing_starts = {7, 19};
    std::string path = write_temp_file(lxgen::steady_export(shape));
    std::string motec = temp_path(".csv");
    const long blocks = lx::live_allocations();
    long before = resident_kb();
    std::vector<long> rounds;
    {
        StdoutCapture quiet;
        // Nine read from files, the tenth slot taken by each cut in turn.
        std::vector<int> handles;
        for (int i = 0; i < 9; ++i) handles.push_back(lx_open_aim_xls(path.c_str()));
        ASSERT_EQ(lx::library.open_sessions, 9);
        for (int h : handles) set_up(h);
        for (int round = 0; round < 3; ++round) {
            for (int h : handles) full_analysis(handles[0], h, motec);
            rounds.push_back(resident_kb());
        }
        for (int h : handles) lx_free_session(h);
    }
    long after = resident_kb();
    report("ten sessions: RSS before opening", before);
    for (std::size_t r = 0; r < rounds.size(); ++r)
        report(("ten sessions: RSS after analysis round " + std::to_string(r + 1)).c_str(),
               rounds[r]);
    report("ten sessions: RSS after freeing all", after);
    EXPECT_EQ(lx::live_allocations(), blocks);
    EXPECT_LT(rounds.back() - rounds.front(), 1024);
    EXPECT_LT(after - before, 1024);
}
