#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

class Chart : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override { close_all_sessions(); }
};

constexpr int VALUE = 3; // the channel drawn, "c3"

// One lap with the given distances; the drawn value of sample j is j, so a
// point's row tells which sample it took.
int chart_session(const std::vector<float>& distance, float lap_length) {
    int n = static_cast<int>(distance.size());
    lx::Session* s = make_session({n, 0}, 10, 1);
    s->i_distance = 2;
    s->laps[0].lap_length = lap_length;
    for (int j = 0; j < n; ++j) {
        s->laps[0].raw[2][j] = distance[j];
        s->laps[0].raw[VALUE][j] = static_cast<float>(j);
    }
    return install(s);
}

std::vector<float> evenly(int n, float step) {
    std::vector<float> d(n);
    for (int j = 0; j < n; ++j) d[j] = j * step;
    return d;
}

struct Points {
    int count;
    std::vector<int> x, y;
};

// Rows: cmin 0, cmax 100 over 100 pixels up from row 1000, so y = 1000 - value.
Points chart(int h, int maxpoints, int winx, float dist_range = 0.0f, int xoffset = 0) {
    Points p{0, std::vector<int>(std::max(maxpoints, 0)), std::vector<int>(std::max(maxpoints, 0))};
    p.count = lx_scaled_chart_lap_dist(h, 0, VALUE, 100.0f, 0.0f, maxpoints, winx, 100, xoffset,
                                       1000, dist_range, p.x.data(), p.y.data());
    p.x.resize(std::max(p.count, 0));
    p.y.resize(std::max(p.count, 0));
    return p;
}

std::vector<int> samples_taken(const Points& p) {
    std::vector<int> j;
    for (int row : p.y) j.push_back(1000 - row);
    return j;
}

TEST_F(Chart, PointCountIsTheSmallestOfWindowArrayAndLap) {
    int h = chart_session(evenly(10, 10.0f), 100.0f);
    EXPECT_EQ(chart(h, 50, 5).count, 5);
    EXPECT_EQ(chart(h, 7, 20).count, 7);
    EXPECT_EQ(chart(h, 50, 50).count, 10);

    // 100 m over 5 pixels: one point every 20 m, the first at the lap's first sample.
    Points p = chart(h, 50, 5, 0.0f, 30);
    EXPECT_EQ(samples_taken(p), (std::vector<int>{0, 2, 4, 6, 8}));
    EXPECT_EQ(p.x, (std::vector<int>{30, 31, 32, 33, 34}));
}

TEST_F(Chart, WalkRepeatsSamplesThatAlreadyLieAhead) {
    // A gap from 1 m to 30 m and a last sample at 60 m of a 100 m lap.
    int h = chart_session({0, 1, 30, 31, 60}, 100.0f);
    Points p = chart(h, 5, 10);
    // Targets 0, 20, 40, 60, 80 m.
    EXPECT_EQ(samples_taken(p), (std::vector<int>{0, 2, 4, 4, 4}));
    EXPECT_EQ(p.x, (std::vector<int>{0, 3, 6, 6, 6}));
}

TEST_F(Chart, ColumnIsTheDoubleQuotientOfTwoFloats) {
    // 60 m over 600 pixels is 0.1f metres per pixel, just above 0.1: 20 m is pixel 199.
    int h = chart_session(evenly(61, 1.0f), 60.0f);
    Points p = chart(h, 600, 600);
    ASSERT_EQ(p.count, 61);
    std::vector<int> j = samples_taken(p);
    auto at_20m = std::find(j.begin(), j.end(), 20) - j.begin();
    ASSERT_LT(at_20m, p.count);
    EXPECT_EQ(p.x[at_20m], 199);
    EXPECT_EQ(p.x[0], 0);
}

TEST_F(Chart, DistRangeBelowOneMeansTheLapLength) {
    int h = chart_session(evenly(10, 10.0f), 100.0f);
    EXPECT_EQ(chart(h, 5, 5, 0.5f).x, chart(h, 5, 5, 0.0f).x);
    // One metre across 5 pixels, taken as given: targets every 0.2 m all end on
    // the 10 m sample, at 10 / 0.2f (0.2f is just above 0.2), pixel 49.
    Points p = chart(h, 5, 5, 1.0f);
    EXPECT_EQ(samples_taken(p), (std::vector<int>{0, 1, 1, 1, 1}));
    EXPECT_EQ(p.x, (std::vector<int>{0, 49, 49, 49, 49}));
}

TEST_F(Chart, RowsGrowDownwardsFromTheBottomLineUnclamped) {
    int h = chart_session({0, 10, 20, 30}, 40.0f);
    lx::Session* s = lx::lookup_session(h);
    float values[] = {50.0f, -10.0f, 100.0f, 0.0f};
    std::copy(values, values + 4, s->laps[0].raw[VALUE]);
    std::vector<int> x(4), y(4);
    ASSERT_EQ(lx_scaled_chart_lap_dist(h, 0, VALUE, 100.0f, 0.0f, 4, 4, 200, 0, 250, 0.0f, x.data(),
                                       y.data()),
              4);
    EXPECT_EQ(y, (std::vector<int>{150, 270, 50, 250}));

    // Values and distances beyond int range stick to its ends.
    s->laps[0].raw[VALUE][0] = 1e30f;
    s->laps[0].raw[VALUE][1] = -1e30f;
    s->laps[0].raw[2][1] = 3e38f;
    ASSERT_EQ(lx_scaled_chart_lap_dist(h, 0, VALUE, 100.0f, 0.0f, 4, 4, 200,
                                       std::numeric_limits<int>::max(), 250, 0.0f, x.data(),
                                       y.data()),
              4);
    EXPECT_EQ(y[0], std::numeric_limits<int>::min());
    EXPECT_EQ(y[1], std::numeric_limits<int>::max());
    EXPECT_EQ(x[0], std::numeric_limits<int>::max());
}

struct Call {
    int handle, lap, channel;
    float cmax, cmin;
    int maxpoints, winx, winy;
    float dist_range;
    bool null_x = false;
};

TEST_F(Chart, RefusalsTellWhyAndLeaveArraysUntouched) {
    int h = chart_session(evenly(10, 10.0f), 100.0f);
    lx::Session* s = lx::lookup_session(h);
    std::vector<int> x(20), y(20);
    auto refusal = [&](Call c) {
        poison(x);
        poison(y);
        StdoutCapture out;
        int result = lx_scaled_chart_lap_dist(c.handle, c.lap, c.channel, c.cmax, c.cmin,
                                              c.maxpoints, c.winx, c.winy, 0, 100, c.dist_range,
                                              c.null_x ? nullptr : x.data(), y.data());
        bool untouched = std::all_of(x.begin(), x.end(), [](int v) { return v == POISON; }) &&
                         std::all_of(y.begin(), y.end(), [](int v) { return v == POISON; });
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(untouched);
        return out.text();
    };
    const int big = std::numeric_limits<int>::max();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    {
        TraceSwitches trace(0, 1);
        EXPECT_EQ(refusal({h + 1, 0, 3, 100, 0, 20, 20, 20, 0}), "Exit - no session found.\n");
        EXPECT_EQ(refusal({h, 0, 4, 100, 0, 20, 20, 20, 0}), "Exit - channel 4 does not exist.\n");
        EXPECT_EQ(refusal({h, 0, -1, 100, 0, 20, 20, 20, 0}),
                  "Exit - channel -1 does not exist.\n");
        EXPECT_EQ(refusal({h, 2, 3, 100, 0, 20, 20, 20, 0}), "");
        EXPECT_EQ(refusal({h, -1, 3, 100, 0, 20, 20, 20, 0}), "");
        EXPECT_EQ(refusal({h, big, 3, 100, 0, 20, 20, 20, 0}), "");
        EXPECT_EQ(refusal({h, 0, 3, 5, 5, 20, 20, 20, 0}), "Exit - cmin (5.0) >= cmax (5.0)\n");
        EXPECT_EQ(refusal({h, 0, 3, 1, 2.25f, 20, 20, 20, 0}), "Exit - cmin (2.2) >= cmax (1.0)\n");
        EXPECT_EQ(refusal({h, 0, 3, 1, nan, 20, 20, 20, 0}), "Exit - cmin (nan) >= cmax (1.0)\n");
        EXPECT_EQ(refusal({h, 0, 3, 100, 0, 20, 0, 20, 0}), "");
        EXPECT_EQ(refusal({h, 0, 3, 100, 0, 20, -5, 20, 0}), "");
        EXPECT_EQ(refusal({h, 0, 3, 100, 0, 20, 20, -5, 0}), "");
        EXPECT_EQ(refusal({h, 0, 3, 100, 0, -1, 20, 20, 0}), "");
        EXPECT_EQ(refusal({h, 0, 3, 100, 0, 20, 20, 20, 0, true}), "");
    }
    TraceSwitches trace(1, 1);
    const std::string entry = "lx_scaled_chart()\n";
    EXPECT_EQ(refusal({h, 0, 3, 100, 0, 20, 20, 0, 0}), entry + "winx/winy zero!\n");
    EXPECT_EQ(refusal({h, 0, 3, 100, 0, 0, 20, 20, 0}), entry + "npoints is zero!\n");
    s->laps[0].lap_length = 0.0f;
    EXPECT_EQ(refusal({h, 0, 3, 100, 0, 20, 20, 20, 0.99f}), entry + "lap_length is zero!\n");
    s->laps[1].lap_length = 50.0f; // a lap without samples
    EXPECT_EQ(refusal({h, 1, 3, 100, 0, 20, 20, 20, 0}), entry + "npoints is zero!\n");
    // Without a distance channel there is nothing to draw against.
    s->i_distance = 0;
    EXPECT_EQ(refusal({h, 0, 3, 100, 0, 20, 20, 20, 50}), entry);
}

} // namespace
