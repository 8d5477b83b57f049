#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "lx.h"
#include "lx_data.h"
#include "support.h"
#include "track.h"

using namespace lxtest;
using lx::ERROR_UNSET;

namespace {

using ErrorChannel = FreshSessions;

// Drives a whole computation as a front-end does; returns every call's result.
std::vector<int> run_steps(int ref, int work) {
    std::vector<int> results{lx_compute_error_channel_step(1, ref, 0, work)};
    while (results.back() > 0 && results.size() < 100000)
        results.push_back(lx_compute_error_channel_step(0, ref, 0, work));
    return results;
}

// A one-lap reference of unit segments; installed first, so the session made
// after it holds the library's error and beacon channels.
int reference(const std::vector<float>& radius) {
    return install(
        matching_session({static_cast<int>(radius.size())}, 10, [&](int k) { return radius[k]; }));
}

float bit(int index) {
    return std::ldexp(1.0f, index);
}

TEST_F(ErrorChannel, WindowsTakeSamplesAheadAndBehindAndStandingInherits) {
    int ref = reference({0, 0, 0, 0, 0});
    // Each working sample's curvature is its own bit, so an error names the
    // samples it was summed from; the laps (one empty) are crossed unnoticed.
    lx::Session* work = matching_session({5, 0, 4, 3}, 10, bit);
    int w = install(work);
    // Sample 10 needs sample 12 ahead, which does not exist: that ends it all.
    EXPECT_EQ(run_steps(ref, w), (std::vector<int>{11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 0}));
    std::vector<float> errors = samples(work, lx::library.error_channel);
    for (int p = 0; p < 12; ++p) {
        float paired = p < 3 || p > 9
                           ? ERROR_UNSET
                           : bit(p + 1) + bit(p + 2) + bit(p - 1) + bit(p - 2) + bit(p - 3);
        EXPECT_EQ(errors[p], paired) << "sample " << p;
    }
    EXPECT_EQ(lx_compute_error_channel_step(0, ref, 0, w), 0) << "over: nothing remains";

    // A standing sample inherits the last computed error; here on a three-sample
    // reference, standing at the very start and again after sample 4.
    int ref3 = reference({0, 0, 0});
    work = matching_session({10}, 10, bit, [](int i) { return i == 0 || i == 4 ? 0.0f : 1.0f; });
    run_steps(ref3, install(work));
    errors = samples(work, lx::library.error_channel);
    EXPECT_EQ(errors[1], ERROR_UNSET) << "the window that ran out at the start is not reused";
    EXPECT_EQ(errors[2], bit(3) + bit(1) + bit(0));
    EXPECT_EQ(errors[5], errors[4]);
    EXPECT_EQ(errors[6], bit(7) + bit(5) + bit(4));
}

TEST_F(ErrorChannel, OneSampleReferencePairsThePreviousSampleAndPrintsProgress) {
    int ref = reference({0.5f});
    lx::Session* work = matching_session({80, 120}, 10, [](int i) { return float(i); });
    int w = install(work);
    TraceSwitches trace(0, 0);
    StdoutCapture out;
    EXPECT_EQ(run_steps(ref, w).size(), 200u) << "nothing ahead is needed";
    std::string printed = out.text();
    std::vector<float> errors = samples(work, lx::library.error_channel);
    EXPECT_EQ(errors[0], ERROR_UNSET);
    for (int p = 1; p < 200; ++p) ASSERT_EQ(errors[p], std::fabs(0.5f - (p - 1))) << p;

    // A line per whole percentage reached, except where the single-precision
    // percentage rounded up to it a step early (29 / 200 x 100 is
    // 28.999999999999996 in double precision, 29.0 in single).
    std::string expected;
    for (int whole = 0; whole < 100; ++whole)
        if (whole != 29 && whole != 57 && whole != 58)
            expected += "\rCalculating..." + std::to_string(2 * whole) + " / 200 - " +
                        std::to_string(whole) + ".0%       ";
    EXPECT_EQ(printed, expected + "\n");
}

TEST_F(ErrorChannel, VerboseStartLinesAndEmptyCases) {
    int ref = reference({1, 2, 3});
    int w = install(matching_session({4, 6}, 10, bit));
    {
        TraceSwitches trace(1, 1);
        StdoutCapture out;
        lx_compute_error_channel_step(1, ref, 0, w);
        EXPECT_EQ(out.text(), "calc_error_channel_mid_step start!\n"
                              "Calculating error channel for 10 points from 2 laps in working "
                              "session \n"
                              "Working session length = 10.000m, 10 entries\n"
                              "Reference lap length = 3.000m, 3 entries\n");
    }
    // An empty reference lap gives no terms; a session without samples is over at once.
    int empty_ref = install(matching_session({0}, 10, unit));
    lx::Session* work = matching_session({6}, 10, bit);
    int w2 = install(work);
    EXPECT_EQ(run_steps(empty_ref, w2).size(), 6u);
    EXPECT_EQ(samples(work, lx::library.error_channel),
              (std::vector<float>{ERROR_UNSET, 0, 0, 0, 0, 0}));
    int nothing = install(matching_session({}, 10, unit));
    EXPECT_EQ(lx_compute_error_channel_step(1, ref, 0, nothing), 0);
    EXPECT_EQ(lx_compute_error_channel_step(0, ref, 0, nothing), 0);
}

TEST_F(ErrorChannel, ChecksRefuseWithoutChanges) {
    int ref = reference({1, 2, 3});
    lx::Session* other = matching_session({9}, 10, bit);
    int o = install(other);
    lx::Session* work = matching_session({8}, 10, bit); // the library's channels are its own
    int w = install(work);
    const int error = lx::library.error_channel, beacon = lx::library.beacon_channel;
    fill_by_index(work, error, [](int) { return 7.0f; });
    fill_by_index(work, beacon, [](int) { return 0.5f; });
    work->beacon_shift = 5.0f;
    auto all_refuse = [&](int r, int lap, int wk) {
        EXPECT_EQ(lx_compute_error_channel_step(1, r, lap, wk), -1);
        EXPECT_EQ(lx_locate_laps(r, lap, wk), -1);
        if (lap == 0) {
            EXPECT_EQ(lx_new_session_from_beacons(r, lap, wk, LX_CUT_BEACON_SHIFT, 1.0f), -1);
        }
    };
    StdoutCapture out;
    for (int handle : {0, 11, -5, 9}) {
        all_refuse(handle, 0, w);
        all_refuse(ref, 0, handle);
    }
    for (int lap : {-1, 1, 1 << 30}) all_refuse(ref, lap, w);
    const int radius = work->i_radius;
    work->i_radius = 0;
    all_refuse(ref, 0, w);
    work->i_radius = radius;
    // Channels that are missing, or not the working session's own error channel.
    for (int channel : {0, -3, work->nchannels, work->i_radius}) {
        lx::library.error_channel = channel;
        all_refuse(ref, 0, w);
        lx_session_info facts; // which name the session's own all the same
        ASSERT_EQ(lx_session_info_get(w, &facts), LX_OK);
        EXPECT_EQ(facts.error_channel, error) << channel;
    }
    lx::library.error_channel = error;
    lx::library.beacon_channel = beacon + 100;
    all_refuse(ref, 0, w);
    lx::library.beacon_channel = beacon;

    // A continuing call must name the computation that is running.
    ASSERT_EQ(lx_compute_error_channel_step(1, ref, 0, w), 7);
    EXPECT_EQ(lx_compute_error_channel_step(0, ref, 0, o), -1);
    EXPECT_EQ(lx_compute_error_channel_step(0, w, 0, w), -1);
    EXPECT_EQ(lx_compute_error_channel_step(0, ref, 0, w), 6) << "the run goes on untouched";
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(samples(other, error), std::vector<float>(9, 0.0f));
    EXPECT_EQ(samples(work, beacon), std::vector<float>(8, 0.5f));
    EXPECT_EQ(work->beacon_shift, 5.0f);
    EXPECT_EQ(lx::library.open_sessions, 3);
}

} // namespace
