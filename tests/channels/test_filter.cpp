#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "channels/channels.h"
#include "helpers.h"
#include "support.h"

using namespace lxtest;
using V = std::vector<float>;

namespace {

const lx::TraceOptions silent{0, 1};

// Channel 3 holds the input, channel 4 is a separate output.
lx::Session* two_laps(const V& first, const V& second, float rate = 10.0f) {
    lx::Session* s =
        make_session({static_cast<int>(first.size()), static_cast<int>(second.size())}, rate, 2);
    set_samples(s, 0, 3, first);
    set_samples(s, 1, 3, second);
    return s;
}

TEST(Filter, TrailingMeanWithFirstSamplePadding) {
    lx::Session* s = two_laps({3, 6, 9, 12}, {100, 100, 100});
    EXPECT_EQ(lx::filter_session(s, 3, 4, 0, 2.0f, 0.0f, silent), 1);
    EXPECT_EQ(samples(s, 0, 4), (V{3, 4, 6, 9}));
    // A constant lap stays constant: the previous lap's 12 never leaks in.
    EXPECT_EQ(samples(s, 1, 4), (V{100, 100, 100}));
    lx::free_session(s);
}

TEST(Filter, MatchesAPlainMeanInPlaceAndIntoAnotherChannel) {
    std::mt19937 rng(7);
    V a = random_samples(rng, 300, 1.0f, 100.0f);
    V b = random_samples(rng, 57, -50.0f, 50.0f);
    for (float window : {0.0f, 1.0f, 5.5f, 10.0f, 99.9f, 100.0f}) {
        SCOPED_TRACE(window);
        lx::Session* s = two_laps(a, b);
        int n = static_cast<int>(window);
        EXPECT_EQ(lx::filter_session(s, 3, 4, 0, window, 0.0f, silent), 1);
        EXPECT_EQ(lx::filter_session(s, 3, 3, 0, window, 0.0f, silent), 1);
        EXPECT_EQ(samples(s, 0, 4), trailing_mean(a, n));
        EXPECT_EQ(samples(s, 1, 4), trailing_mean(b, n));
        EXPECT_EQ(samples(s, 0, 3), samples(s, 0, 4));
        EXPECT_EQ(samples(s, 1, 3), samples(s, 1, 4));
        lx::free_session(s);
    }
}

TEST(Filter, WindowLimitsAndOtherKindsLeaveTheChannelAlone) {
    V a{1, 5, 2, 8};
    lx::Session* s = two_laps(a, {4, 4});
    set_samples(s, 0, 4, {7, 7, 7, 7});
    float nan = std::numeric_limits<float>::quiet_NaN();
    for (float window : {101.0f, -1.0f, -1e30f, 1e30f, nan}) {
        EXPECT_EQ(lx::filter_session(s, 3, 4, 0, window, 0.0f, silent), 0) << window;
        EXPECT_EQ(samples(s, 0, 4), (V{7, 7, 7, 7}));
    }
    EXPECT_EQ(lx::filter_session(s, 3, 4, 1, 2.0f, 0.0f, silent), 0);
    EXPECT_EQ(lx::filter_session(s, 3, 4, -1, 2.0f, 0.0f, silent), 0);
    EXPECT_EQ(samples(s, 0, 4), (V{7, 7, 7, 7}));

    // The integer part counts: 10.9 is a window of 10, 100.99 of 100.
    EXPECT_EQ(lx::filter_session(s, 3, 4, 0, 10.9f, 0.0f, silent), 1);
    EXPECT_EQ(samples(s, 0, 4), trailing_mean(a, 10));
    EXPECT_EQ(lx::filter_session(s, 3, 4, 0, 100.99f, 0.0f, silent), 1);
    EXPECT_EQ(samples(s, 0, 4), trailing_mean(a, 100));
    lx::free_session(s);
}

TEST(Filter, EmptyLapsAndBadNumbersAreHarmless) {
    lx::Session* s = make_session({0, 3, 0}, 10, 2);
    set_samples(s, 1, 3, {2, 4, 6});
    EXPECT_EQ(lx::filter_session(s, 3, 4, 0, 1.0f, 0.0f, silent), 1);
    EXPECT_EQ(samples(s, 1, 4), (V{2, 3, 5}));
    lx::differentiate_dt_session(s, 3, 4, silent);
    EXPECT_EQ(samples(s, 1, 4), (V{0, 20, 20}));
    for (int c : {-1, 5, 1 << 30}) {
        EXPECT_EQ(lx::filter_lap(s, 1, c, 4, 0, 1.0f), 0);
        EXPECT_EQ(lx::filter_lap(s, 1, 3, c, 0, 1.0f), 0);
        lx::differentiate_dt_lap(s, 1, c, 4);
        lx::differentiate_dt_lap(s, 1, 3, c);
    }
    for (int lap : {-1, 3, 1 << 30}) {
        EXPECT_EQ(lx::filter_lap(s, lap, 3, 4, 0, 1.0f), 0);
        lx::differentiate_dt_lap(s, lap, 3, 4);
    }
    EXPECT_EQ(samples(s, 1, 4), (V{0, 20, 20}));
    lx::free_session(s);
}

TEST(Derivative, BackwardDifferenceTimesRateRestartingEachLap) {
    lx::Session* s = two_laps({0, 1, 3, 6}, {50, 49, 49.5f});
    lx::differentiate_dt_session(s, 3, 4, silent);
    EXPECT_EQ(samples(s, 0, 4), (V{0, 10, 20, 30}));
    EXPECT_EQ(samples(s, 1, 4), (V{0, -10, 5}));
    lx::differentiate_dt_session(s, 3, 3, silent);
    EXPECT_EQ(samples(s, 0, 3), samples(s, 0, 4));
    EXPECT_EQ(samples(s, 1, 3), samples(s, 1, 4));
    lx::free_session(s);

    // The difference stays in double up to the one rounding; a float
    // difference would round twice and miss by one unit here.
    s = two_laps({0.3f, 0.1f}, {}, 10.0f);
    lx::differentiate_dt_session(s, 3, 4, silent);
    EXPECT_EQ(s->laps[0].raw[4][1], static_cast<float>((static_cast<double>(0.1f) - 0.3f) * 10.0));
    lx::free_session(s);

    s = two_laps({1, 5, -2}, {3}, 0.0f);
    lx::differentiate_dt_session(s, 3, 4, silent);
    for (float d : samples(s, 0, 4)) EXPECT_EQ(d, 0.0f);
    lx::free_session(s);
}

TEST(Filter, VerboseTraceLines) {
    lx::Session* s = two_laps({1, 2}, {3});
    StdoutCapture out;
    lx::filter_session(s, 3, 4, 0, 10.0f, 0.0f, {1, 1});
    lx::differentiate_dt_session(s, 3, 4, {1, 1});
    lx::filter_session(s, 3, 4, 0, 10.0f, 0.0f, silent);
    char expected[200];
    unsigned address = lx::trace_address(s);
    std::snprintf(expected, sizeof expected,
                  "filter_session(0x%x,3,4,0,10.0,0.0)\ndifferentiate_dt_session(0x%x,3,4)\n",
                  address, address);
    EXPECT_EQ(out.text(), expected);
    lx::free_session(s);
}

} // namespace
