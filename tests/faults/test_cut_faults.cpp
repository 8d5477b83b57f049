// Cutting a new session with each of its allocations failing in turn, and with
// no handle left: the cut is refused, nothing stays allocated, no handle is
// taken, the sessions it was cut from are unchanged, and the next cut works.
#include <gtest/gtest.h>

#include <string>

#include "fault_support.h"
#include "lx.h"
#include "steady.h"
#include "support.h"

using namespace lxtest;

namespace {

constexpr int FILE_CHANNELS = 6;

// A working session with matched lap starts, ready to be cut.
int matched_session() {
    lxgen::SteadyPlan shape;
    shape.laps = 4;
    shape.points_per_lap = 60;
    shape.standing_starts = {2};
    int h = lx_open_aim_xls(write_temp_file(lxgen::steady_export(shape)).c_str());
    EXPECT_EQ(lx_session_setup(h), 1);
    EXPECT_EQ(lx_compute_session_math(h, 3, 4, LX_SPEED_KMH, 0, 5, 0), 1);
    EXPECT_EQ(lx_beacon_setup(h), 1);
    int left = lx_compute_error_channel_step(1, h, 1, h);
    while (left > 0) left = lx_compute_error_channel_step(0, h, 1, h);
    EXPECT_EQ(left, 0);
    EXPECT_GT(lx_locate_laps(h, 1, h), 0);
    return h;
}

int cut(int work) {
    return lx_new_session_from_beacons(work, 1, work, LX_CUT_BEACON_SHIFT, 50.0f);
}

} // namespace

TEST(CutFaults, AllocationFailuresAndAFullTableRefuseTheCutAndLeaveNoTrace) {
    close_all_sessions();
    const long start = lx::live_allocations();
    int other = lx_open_aim_xls(write_temp_file(lxgen::steady_export(lxgen::SteadyPlan{})).c_str());
    ASSERT_EQ(other, 1);
    int work = matched_session();
    ASSERT_EQ(work, 2);
    // A first cut sets the working session's beacon shift, which every later cut repeats.
    int first = cut(work);
    ASSERT_EQ(first, 3);
    const int laps = lx_num_laps(first);
    EXPECT_GT(laps, 2);
    lxfault::free_quietly(first);
    const std::string other_before = lxfault::fingerprint(lx::lookup_session(other));
    const std::string work_before = lxfault::fingerprint(lx::lookup_session(work));

    int failures = 0;
    auto check = [&](const lxfault::FailedRun& run) {
        ++failures;
        EXPECT_EQ(run.result, 0);
        // The session record fails silently, its sample arrays with a message.
        EXPECT_EQ(run.out,
                  run.nth == 1 ? "" : "Error allocating memory! (new_session_from_cutlist)\n");
        EXPECT_EQ(run.blocks_added, 0);
        EXPECT_EQ(lx::library.open_sessions, 2);
        EXPECT_EQ(lx::lookup_session(3), nullptr);
        EXPECT_EQ(lxfault::fingerprint(lx::lookup_session(other)), other_before);
        EXPECT_EQ(lxfault::fingerprint(lx::lookup_session(work)), work_before);
        int h = cut(work);
        EXPECT_EQ(h, 3);
        EXPECT_EQ(lx_num_laps(h), laps);
        lxfault::free_quietly(h);
    };
    EXPECT_EQ(lxfault::fail_each_allocation([] {}, [&] { return cut(work); }, check), 3);
    EXPECT_EQ(failures, 1 + laps * FILE_CHANNELS);
    lxfault::free_quietly(3);

    // With no handle left, the cut is refused before it allocates anything.
    std::string path = write_temp_file(lxgen::steady_export(lxgen::SteadyPlan{}));
    for (int i = 3; i <= lx::MAX_SESSIONS; ++i) ASSERT_EQ(lx_open_aim_xls(path.c_str()), i);
    const long full = lx::live_allocations();
    {
        StdoutCapture out;
        EXPECT_EQ(cut(work), 0);
        EXPECT_EQ(out.text(), "Maximum number of sessions reached\n");
    }
    EXPECT_EQ(lx::live_allocations(), full);
    EXPECT_EQ(lx::library.open_sessions, lx::MAX_SESSIONS);
    lxfault::free_quietly(7);
    EXPECT_EQ(cut(work), 7);

    close_all_sessions();
    EXPECT_EQ(lx::live_allocations(), start);
}
