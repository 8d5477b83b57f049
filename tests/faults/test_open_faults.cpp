// Every allocation of opening a file fails in turn: the open is refused with
// the reader's message and the frame's, nothing is left allocated, no handle
// is taken, the session already open is untouched, and the file opens later.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "fault_support.h"
#include "lx.h"
#include "lx_data.h"
#include "steady.h"
#include "support.h"

using namespace lxtest;

namespace {

constexpr int CHANNELS = 6;
const int POINTS[] = {5, 7, 4};

std::string three_lap_file() {
    lxgen::SteadyPlan shape;
    shape.laps = 3;
    shape.points_per_lap = 5;
    std::string text = lxgen::steady_export(shape);
    // Laps of 5, 7 and 4 rows, so that each failing array shows its own size.
    std::string row = "\t99\t9.9\t1.0\t10.0\t0.0\t0.0\n";
    text.insert(text.find("Lap: 2/3"), row + row);
    std::size_t end_row = text.find("Lap:\n");
    std::size_t last_row = text.rfind('\n', end_row - 2) + 1;
    text.erase(last_row, end_row - last_row);
    return text;
}

} // namespace

TEST(OpenFaults, EveryAllocationFailureRefusesTheFileAndLeavesNoTrace) {
    close_all_sessions();
    const long start = lx::live_allocations();
    std::string other_path = write_temp_file(lxgen::steady_export(lxgen::SteadyPlan{}));
    int other = lx_open_aim_xls(other_path.c_str());
    ASSERT_EQ(other, 1);
    const std::string other_before = lxfault::fingerprint(lx::lookup_session(other));

    const std::string path = write_temp_file(three_lap_file());
    const std::string refused = "lx_open_aim_xls(): Open failed for " + path + "\n";
    int failures = 0;
    auto check = [&](const lxfault::FailedRun& run) {
        ++failures;
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.blocks_added, 0);
        EXPECT_EQ(lx::library.open_sessions, 1);
        EXPECT_EQ(lx::lookup_session(2), nullptr);
        EXPECT_EQ(lxfault::fingerprint(lx::lookup_session(other)), other_before);
        if (run.nth == 1) {
            std::regex session_failure("Error allocating [0-9]+ bytes for session structure! "
                                       "-?[0-9]+\n");
            EXPECT_TRUE(std::regex_match(run.out.substr(0, run.out.size() - refused.size()),
                                         session_failure))
                << run.out;
        } else if (run.nth == 2) {
            EXPECT_EQ(run.out, "Could not allocate memory for input buffer!\n" + refused);
        } else {
            int array = run.nth - 3;
            int lap = array / CHANNELS;
            std::string expected = "Could not allocate memory for channel!\nlap[" +
                                   std::to_string(lap) + "].raw[" +
                                   std::to_string(array % CHANNELS) + "], malloc(" +
                                   std::to_string(POINTS[lap] * 4) + ")";
            EXPECT_EQ(run.out.substr(0, expected.size()), expected);
        }
        EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), refused.size())),
                  refused);
        // The same file opens once memory is back, under the handle that was free.
        int h = lx_open_aim_xls(path.c_str());
        EXPECT_EQ(h, 2);
        lxfault::free_quietly(h);
    };
    int h =
        lxfault::fail_each_allocation([] {}, [&] { return lx_open_aim_xls(path.c_str()); }, check);
    EXPECT_EQ(failures, 2 + 3 * CHANNELS); // session, line buffer, arrays
    ASSERT_EQ(h, 2);
    lx::Session* s = lx::lookup_session(h);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->nlaps, 3);
    for (int l = 0; l < 3; ++l) EXPECT_EQ(s->laps[l].npoints, POINTS[l]);

    close_all_sessions();
    EXPECT_EQ(lx::live_allocations(), start);
}

TEST(OpenFaults, TheDataApiCallsEveryAllocationFailureOfAnOpenOutOfMemory) {
    close_all_sessions();
    const std::string path = write_temp_file(three_lap_file());
    int failures = 0;
    auto check = [&](const lxfault::FailedRun& run) {
        ++failures;
        EXPECT_EQ(run.result, LX_ERR_MEMORY) << run.nth << ": " << lx_last_error();
        EXPECT_EQ(run.blocks_added, 0);
        EXPECT_EQ(run.out, "");
    };
    int h =
        lxfault::fail_each_allocation([] {}, [&] { return lx_open(path.c_str(), nullptr); }, check);
    EXPECT_EQ(failures, 3 + 3 * CHANNELS); // session, line buffer, arrays, the trailer's buffer
    EXPECT_EQ(lx_close(h), LX_OK);
}
