#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "channels/channels.h"
#include "support.h"

using namespace lxtest;
using V = Samples;

namespace {

const lx::TraceOptions silent{0, 1, lx::STANDARD_OUTPUT};

// Channel 3 holds the input, channel 4 is a separate output.
lx::Session* two_laps(const V& first, const V& second, float rate = 10.0f) {
    lx::Session* s = make_session({int(first.size()), int(second.size())}, rate, 2);
    set_samples(s, 0, 3, first);
    set_samples(s, 1, 3, second);
    return s;
}

TEST(Filter, TrailingMeanInPlaceOrNotWithinEachLap) {
    lx::Session* s = two_laps({3, 6, 9, 12}, {100, 100, 100});
    EXPECT_EQ(lx::filter_session(s, 3, 4, 0, 2.0f, 0.0f, silent), 1);
    EXPECT_EQ(samples(s, 0, 4), (V{3, 4, 6, 9}));
    EXPECT_EQ(samples(s, 1, 4), (V{100, 100, 100})); // the 12 does not leak in
    lx::free_session(s);

    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pick(-50.0f, 100.0f);
    V a(300), b(57);
    for (V* v : {&a, &b})
        for (float& x : *v) x = pick(rng);
    // 10.9 truncates to 10; 0 (under 2 samples per second) copies.
    for (float window : {0.0f, 1.0f, 10.9f, 100.0f}) {
        s = two_laps(a, b);
        int n = int(window);
        EXPECT_EQ(lx::filter_session(s, 3, 4, 0, window, 0.0f, silent), 1);
        EXPECT_EQ(lx::filter_session(s, 3, 3, 0, window, 0.0f, silent), 1);
        EXPECT_EQ(bits(samples(s, 0, 4)), bits(trailing_mean(a, n))) << window;
        EXPECT_EQ(bits(samples(s, 1, 4)), bits(trailing_mean(b, n))) << window;
        EXPECT_EQ(bits(samples(s, 0, 3)), bits(samples(s, 0, 4)));
        EXPECT_EQ(bits(samples(s, 1, 3)), bits(samples(s, 1, 4)));
        lx::free_session(s);
    }
}

TEST(Filter, RefusedWindowsAndKindsLeaveTheChannelAlone) {
    lx::Session* s = two_laps({1, 5, 2, 8}, {});
    set_samples(s, 0, 4, {7, 7, 7, 7});
    float nan = std::numeric_limits<float>::quiet_NaN();
    for (float window : {101.0f, -1.0f, 1e30f, -1e30f, nan})
        EXPECT_EQ(lx::filter_session(s, 3, 4, 0, window, 0.0f, silent), 0) << window;
    EXPECT_EQ(lx::filter_session(s, 3, 4, 1, 2.0f, 0.0f, silent), 0);
    EXPECT_EQ(lx::filter_lap(s, 0, 3, 5, 0, 2.0f), 0);
    EXPECT_EQ(lx::filter_lap(s, 2, 3, 4, 0, 2.0f), 0);
    EXPECT_EQ(samples(s, 0, 4), (V{7, 7, 7, 7}));
    lx::free_session(s);
}

} // namespace
