#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "lx.h"
#include "support.h"
#include "track.h"

using namespace lxtest;
using lx::ERROR_UNSET;

namespace {

class ErrorChannel : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override { close_all_sessions(); }
};

// Drives a whole computation as a front-end does; returns every call's result.
std::vector<int> run_steps(int ref, int ref_lap, int work) {
    std::vector<int> results{lx_compute_error_channel_step(1, ref, ref_lap, work)};
    while (results.back() > 0 && results.size() < 100000)
        results.push_back(lx_compute_error_channel_step(0, ref, ref_lap, work));
    return results;
}

// A reference session of one lap with the given curvature and unit segments.
int install_reference(const std::vector<float>& radius) {
    lx::Session* ref = make_session({static_cast<int>(radius.size())}, 10);
    add_matching_channels(ref);
    fill_by_index(ref, ref->i_radius, [&](int k) { return radius[k]; });
    fill_by_index(ref, ref->i_seglen, [](int) { return 1.0f; });
    set_lap_lengths(ref);
    return install(ref);
}

lx::Session* work_session(const std::vector<int>& laps, float (*radius)(int)) {
    lx::Session* work = make_session(laps, 10);
    add_matching_channels(work); // last: the library's error and beacon channels are these
    fill_by_index(work, work->i_radius, radius);
    fill_by_index(work, work->i_seglen, [](int) { return 1.0f; });
    set_lap_lengths(work);
    return work;
}

float power_of_two(int index) {
    return std::ldexp(1.0f, index);
}

TEST_F(ErrorChannel, FiveSampleReferenceTakesTwoSamplesAheadAndThreeBehind) {
    int ref = install_reference({0, 0, 0, 0, 0});
    // Each working sample's curvature is its own bit, so an error names the
    // samples it was summed from. The session crosses laps, one of them empty.
    lx::Session* work = work_session({5, 0, 4, 3}, power_of_two);
    int w = install(work);

    std::vector<int> results = run_steps(ref, 0, w);
    // Sample 10 needs sample 12 ahead, which does not exist: that ends it all.
    std::vector<int> expected_results{11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 0};
    EXPECT_EQ(results, expected_results);

    std::vector<float> errors = samples(work, lx::library.error_channel);
    for (int p = 0; p < 12; ++p) {
        SCOPED_TRACE("sample " + std::to_string(p));
        if (p < 3 || p > 9) {
            EXPECT_EQ(errors[p], ERROR_UNSET); // no full window behind / ahead
        } else {
            float paired = power_of_two(p + 1) + power_of_two(p + 2) + power_of_two(p - 1) +
                           power_of_two(p - 2) + power_of_two(p - 3);
            EXPECT_EQ(errors[p], paired);
        }
    }
    EXPECT_EQ(lx_compute_error_channel_step(0, ref, 0, w), 0) << "over: nothing remains";
    EXPECT_EQ(samples(work, lx::library.error_channel), errors);
}

TEST_F(ErrorChannel, RestartDiscardsTheRunningComputation) {
    int ref = install_reference({0, 0, 0, 0, 0});
    lx::Session* work = work_session({12}, power_of_two);
    int w = install(work);
    run_steps(ref, 0, w);
    std::vector<float> complete = samples(work, lx::library.error_channel);

    lx_compute_error_channel_step(1, ref, 0, w);
    for (int i = 0; i < 6; ++i) lx_compute_error_channel_step(0, ref, 0, w);
    EXPECT_EQ(lx_compute_error_channel_step(1, ref, 0, w), 11);
    EXPECT_EQ(sample(work, lx::library.error_channel, 5), ERROR_UNSET) << "reset on start";
    while (lx_compute_error_channel_step(0, ref, 0, w) > 0) {
    }
    EXPECT_EQ(samples(work, lx::library.error_channel), complete);
}

TEST_F(ErrorChannel, OneSampleReferencePairsThePreviousSampleAndPrintsProgress) {
    int ref = install_reference({0.5f});
    lx::Session* work = work_session({80, 120}, [](int i) { return static_cast<float>(i); });
    int w = install(work);

    TraceSwitches trace(0, 0);
    StdoutCapture out;
    std::vector<int> results = run_steps(ref, 0, w);
    std::string printed = out.text();

    EXPECT_EQ(results.size(), 200u) << "nothing ahead is needed, so every sample is handled";
    EXPECT_EQ(results.front(), 199);
    std::vector<float> errors = samples(work, lx::library.error_channel);
    EXPECT_EQ(errors[0], ERROR_UNSET);
    for (int p = 1; p < 200; ++p) ASSERT_EQ(errors[p], std::fabs(0.5f - (p - 1))) << p;

    // One line per whole percentage reached, except where the percentage in
    // single precision already rounded up to it a step early (29/200 * 100
    // is 28.999999999999996 in double precision).
    std::string expected;
    for (int whole = 0; whole < 100; ++whole) {
        if (whole == 29 || whole == 57 || whole == 58) continue;
        expected += "\rCalculating..." + std::to_string(2 * whole) + " / 200 - " +
                    std::to_string(whole) + ".0%       ";
    }
    EXPECT_EQ(printed, expected + "\n");
}

TEST_F(ErrorChannel, VerboseStartLines) {
    int ref = install_reference({1, 2, 3});
    int w = install(work_session({4, 6}, power_of_two));
    TraceSwitches trace(1, 1);
    StdoutCapture out;
    lx_compute_error_channel_step(1, ref, 0, w);
    EXPECT_EQ(out.text(), "calc_error_channel_mid_step start!\n"
                          "Calculating error channel for 10 points from 2 laps in working "
                          "session \n"
                          "Working session length = 10.000m, 10 entries\n"
                          "Reference lap length = 3.000m, 3 entries\n");
}

TEST_F(ErrorChannel, RepeatedReferenceGivesOnlyForwardTermsAtEachLapStart) {
    const int n = 60;
    TrackLap track = make_track_lap(n);
    lx::Session* ref = make_session({n}, 20);
    add_matching_channels(ref);
    fill_by_index(ref, ref->i_radius, [&](int k) { return track.radius[k]; });
    fill_by_index(ref, ref->i_seglen, [&](int k) { return track.seglen[k]; });
    set_lap_lengths(ref);
    int r = install(ref);
    // Four laps of the track, but logged in laps that do not start where it does.
    lx::Session* work = make_session({50, 70, 60, 60}, 20);
    add_matching_channels(work);
    fill_by_index(work, work->i_radius, [&](int i) { return track.radius[i % n]; });
    fill_by_index(work, work->i_seglen, [&](int i) { return track.seglen[i % n]; });
    set_lap_lengths(work);
    int w = install(work);

    run_steps(r, 0, w);
    // Reference sample k meets working sample k + 1 after the lap start;
    // backward every pair is equal.
    float forward_terms = 0.0f;
    for (int k = 0; k < n / 2; ++k)
        forward_terms += std::fabs(track.radius[k] - track.radius[k + 1]);
    ASSERT_GT(forward_terms, 0.0f);
    std::vector<float> errors = samples(work, lx::library.error_channel);
    for (int start : {n, 2 * n, 3 * n}) EXPECT_EQ(errors[start], forward_terms) << start;
    for (int i = n; i <= 3 * n; ++i)
        if (i % n != 0) {
            EXPECT_GT(errors[i], forward_terms) << "lap starts are the minima: " << i;
        }
}

TEST_F(ErrorChannel, StandingSampleInheritsTheLastComputedError) {
    int ref = install_reference({0, 0, 0});
    lx::Session* work = work_session({10}, power_of_two);
    sample(work, work->i_seglen, 0) = 0.0f; // standing at the very start
    sample(work, work->i_seglen, 4) = 0.0f; // and again later
    int w = install(work);
    run_steps(ref, 0, w);
    std::vector<float> errors = samples(work, lx::library.error_channel);
    EXPECT_EQ(errors[0], ERROR_UNSET);
    EXPECT_EQ(errors[1], ERROR_UNSET) << "the window that ran out at the start is not reused";
    EXPECT_NE(errors[2], ERROR_UNSET);
    EXPECT_EQ(errors[5], errors[4]);
    EXPECT_NE(errors[6], errors[5]);
}

TEST_F(ErrorChannel, EmptyReferenceLapGivesZeroErrors) {
    lx::Session* ref = make_session({0}, 10);
    add_matching_channels(ref);
    int r = install(ref);
    lx::Session* work = work_session({6}, power_of_two);
    int w = install(work);
    std::vector<int> results = run_steps(r, 0, w);
    EXPECT_EQ(results.size(), 6u);
    std::vector<float> expected(6, 0.0f);
    expected[0] = ERROR_UNSET;
    EXPECT_EQ(samples(work, lx::library.error_channel), expected);
}

TEST_F(ErrorChannel, WorkingSessionWithoutSamplesIsOverAtOnce) {
    int ref = install_reference({1, 2, 3});
    lx::Session* work = make_session({}, 10);
    add_matching_channels(work);
    int w = install(work);
    TraceSwitches trace(0, 0);
    StdoutCapture out;
    EXPECT_EQ(lx_compute_error_channel_step(1, ref, 0, w), 0);
    EXPECT_EQ(lx_compute_error_channel_step(0, ref, 0, w), 0);
    EXPECT_EQ(out.text(), "");
}

TEST_F(ErrorChannel, RefusedCallsChangeNothing) {
    int ref = install_reference({1, 2, 3});
    lx::Session* work = work_session({8}, power_of_two);
    int w = install(work);
    fill_by_index(work, lx::library.error_channel, [](int) { return 7.0f; });
    const int error_channel = lx::library.error_channel;
    StdoutCapture out;

    for (int handle : {0, 11, -5, 9}) {
        EXPECT_EQ(lx_compute_error_channel_step(1, handle, 0, w), -1);
        EXPECT_EQ(lx_compute_error_channel_step(1, ref, 0, handle), -1);
    }
    for (int lap : {-1, 1, 1 << 30}) EXPECT_EQ(lx_compute_error_channel_step(1, ref, lap, w), -1);

    const int radius = work->i_radius;
    work->i_radius = 0;
    EXPECT_EQ(lx_compute_error_channel_step(1, ref, 0, w), -1);
    work->i_radius = radius;
    lx::library.error_channel = 0;
    EXPECT_EQ(lx_compute_error_channel_step(1, ref, 0, w), -1);
    // Channels that are not the working session's own error and beacon channels.
    for (int channel : {work->nchannels, 1000, -3, work->i_radius}) {
        lx::library.error_channel = channel;
        EXPECT_EQ(lx_compute_error_channel_step(1, ref, 0, w), -1) << channel;
    }
    lx::library.error_channel = error_channel;
    lx::library.beacon_channel += 100;
    EXPECT_EQ(lx_compute_error_channel_step(1, ref, 0, w), -1);
    lx::library.beacon_channel -= 100;

    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(samples(work, error_channel), std::vector<float>(8, 7.0f));
}

TEST_F(ErrorChannel, ContinuingMustNameTheRunningComputation) {
    int ref = install_reference({1, 2, 3});
    lx::Session* work = work_session({8}, power_of_two);
    int w = install(work);
    lx::Session* other = work_session({9}, power_of_two);
    int o = install(other);
    // other is the session set up last; work has its channels under the same numbers.
    ASSERT_EQ(lx_compute_error_channel_step(1, ref, 0, w), 7);
    EXPECT_EQ(lx_compute_error_channel_step(0, ref, 0, o), -1);
    EXPECT_EQ(lx_compute_error_channel_step(0, w, 0, w), -1);
    EXPECT_EQ(lx_compute_error_channel_step(0, ref, 0, w), 6) << "the run goes on untouched";
    EXPECT_EQ(samples(other, lx::library.error_channel), std::vector<float>(9, 0.0f));
}

} // namespace
