#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

constexpr int IMAX = std::numeric_limits<int>::max();

using Chart = FreshSessions;

// Lap 0 with the given distances (lap 1 is empty); channel 3 holds the sample
// index, so with the rows used below (y = 1000 - value) a point's row tells
// which sample it took.
int chart_session(const std::vector<float>& distance, float lap_length) {
    int n = static_cast<int>(distance.size());
    lx::Session* s = make_session({n, 0}, 10, 1);
    s->i_distance = 2;
    s->laps[0].lap_length = s->laps[1].lap_length = lap_length;
    std::copy(distance.begin(), distance.end(), s->laps[0].raw[2]);
    for (int j = 0; j < n; ++j) s->laps[0].raw[3][j] = static_cast<float>(j);
    return install(s);
}

std::vector<float> evenly(int n, float step) {
    std::vector<float> d(n);
    for (int j = 0; j < n; ++j) d[j] = j * step;
    return d;
}

// Columns of the points, then the samples they took.
std::vector<int> chart(int h, int maxpoints, int winx, float dist_range = 0, int xoffset = 0) {
    std::vector<int> x(maxpoints), y(maxpoints);
    int m = lx_scaled_chart_lap_dist(h, 0, 3, 100, 0, maxpoints, winx, 100, xoffset, 1000,
                                     dist_range, x.data(), y.data());
    x.resize(m);
    for (int p = 0; p < m; ++p) x.push_back(1000 - y[p]);
    return x;
}

TEST_F(Chart, PointsAreTheFirstSamplesAtOrBeyondEvenlySpacedDistances) {
    int h = chart_session(evenly(10, 10), 100);
    // The smallest of winx, maxpoints and the lap's samples; 100 m over 5 pixels.
    EXPECT_EQ(chart(h, 50, 5, 0, 30), (std::vector<int>{30, 31, 32, 33, 34, 0, 2, 4, 6, 8}));
    EXPECT_EQ(chart(h, 7, 20).size(), 14u);
    EXPECT_EQ(chart(h, 50, 50).size(), 20u);
    EXPECT_EQ(chart(h, 5, 5, 0.5f), chart(h, 5, 5, 0)); // below 1: the lap's length
    // 1 m taken as given: every target after 0 m ends on the 10 m sample, at
    // 10 / 0.2f (just above 0.2) = pixel 49.
    EXPECT_EQ(chart(h, 5, 5, 1), (std::vector<int>{0, 49, 49, 49, 49, 0, 1, 1, 1, 1}));

    // Targets 0, 20, 40, 60, 80 m over a gap and past the last sample.
    h = chart_session({0, 1, 30, 31, 60}, 100);
    EXPECT_EQ(chart(h, 5, 10), (std::vector<int>{0, 3, 6, 6, 6, 0, 2, 4, 4, 4}));

    // 60 m in 600 pixels is 0.1f m per pixel, just above 0.1: 20 m is pixel 199.
    h = chart_session(evenly(61, 1), 60);
    std::vector<int> p = chart(h, 600, 600);
    ASSERT_EQ(p.size(), 122u);
    EXPECT_EQ(p[std::find(p.begin() + 61, p.end(), 20) - p.begin() - 61], 199);
}

TEST_F(Chart, RefusalsTellWhyAndLeaveArraysUntouched) {
    int h = chart_session(evenly(10, 10), 100);
    lx::Session* s = lx::lookup_session(h);
    std::vector<int> x(20), y(20);
    auto refusal = [&](int handle, int lap, int ch, float cmax, float cmin, int maxpoints, int winx,
                       int winy, float dist_range, int* xs) {
        poison(x);
        poison(y);
        StdoutCapture out;
        EXPECT_EQ(lx_scaled_chart_lap_dist(handle, lap, ch, cmax, cmin, maxpoints, winx, winy, 0,
                                           100, dist_range, xs, y.data()),
                  0);
        EXPECT_EQ(std::count(x.begin(), x.end(), POISON) + std::count(y.begin(), y.end(), POISON),
                  40);
        return out.text();
    };
    int* xs = x.data();
    {
        TraceSwitches quiet(0, 1);
        EXPECT_EQ(refusal(h + 1, 0, 3, 100, 0, 20, 20, 20, 0, xs), "Exit - no session found.\n");
        EXPECT_EQ(refusal(h, 0, 4, 100, 0, 20, 20, 20, 0, xs),
                  "Exit - channel 4 does not exist.\n");
        EXPECT_EQ(refusal(h, 0, -1, 100, 0, 20, 20, 20, 0, xs),
                  "Exit - channel -1 does not exist.\n");
        for (int lap : {2, -1, IMAX}) EXPECT_EQ(refusal(h, lap, 3, 100, 0, 20, 20, 20, 0, xs), "");
        EXPECT_EQ(refusal(h, 0, 3, 5, 5, 20, 20, 20, 0, xs), "Exit - cmin (5.0) >= cmax (5.0)\n");
        EXPECT_EQ(refusal(h, 0, 3, 1, std::numeric_limits<float>::quiet_NaN(), 20, 20, 20, 0, xs),
                  "Exit - cmin (nan) >= cmax (1.0)\n");
        // Zero, negative counts and a missing array, all without a word.
        using Counts = std::array<int, 3>; // maxpoints, winx, winy
        for (auto [maxpoints, winx, winy] :
             {Counts{20, 0, 20}, {20, -5, 20}, {20, 20, -5}, {-1, 20, 20}})
            EXPECT_EQ(refusal(h, 0, 3, 100, 0, maxpoints, winx, winy, 0, xs), "");
        EXPECT_EQ(refusal(h, 0, 3, 100, 0, 20, 20, 20, 0, nullptr), "");
    }
    TraceSwitches trace(1, 1);
    const std::string entry = "lx_scaled_chart()\n";
    EXPECT_EQ(refusal(h, 0, 3, 100, 0, 20, 20, 0, 0, xs), entry + "winx/winy zero!\n");
    EXPECT_EQ(refusal(h, 0, 3, 100, 0, 0, 20, 20, 0, xs), entry + "npoints is zero!\n");
    EXPECT_EQ(refusal(h, 1, 3, 100, 0, 20, 20, 20, 0, xs), entry + "npoints is zero!\n");
    s->laps[0].lap_length = 0;
    EXPECT_EQ(refusal(h, 0, 3, 100, 0, 20, 20, 20, 0.99f, xs), entry + "lap_length is zero!\n");
    s->i_distance = 0; // nothing to draw against
    EXPECT_EQ(refusal(h, 0, 3, 100, 0, 20, 20, 20, 50, xs), entry);
}

} // namespace
