// Corners, sector cuts and times on laps laid out by hand: ten samples a
// second, the curvature (1000 / radius in m) set stretch by stretch, at 10 m/s
// (one sample a metre) or slowed in the bends.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "analytics/analytics.h"

namespace {

using namespace lx::analytics;

struct Lap {
    std::vector<float> speed, curvature;
    LapTrace trace;
};

// (samples, curvature) stretches in order.
Lap laid(const std::vector<std::pair<int, float>>& stretches, bool slowed = false) {
    Lap l;
    for (auto [metres, curvature] : stretches) {
        l.curvature.insert(l.curvature.end(), metres, curvature);
        l.speed.insert(l.speed.end(), metres, slowed ? 10.0f - std::abs(curvature) / 4 : 10.0f);
    }
    LapTrace& t = l.trace;
    t.lap = 0;
    t.samples = static_cast<int>(l.speed.size());
    t.rate = 10.0;
    t.position = {0.0};
    for (float v : l.speed) t.position.push_back(t.position.back() + v / t.rate);
    t.speed = l.speed.data();
    t.curvature = l.curvature.data();
    return l;
}

std::vector<std::pair<double, double>> spans(const std::vector<Corner>& corners) {
    std::vector<std::pair<double, double>> out;
    for (const Corner& k : corners) out.push_back({k.entry, k.exit});
    return out;
}

TEST(Splits, TwoPeaksSplitAtTheDipOnePeakDoesNotAndTheLapsAverageDecides) {
    CornerOptions o;
    // Two peaks 3 m apart, the dip below the exit threshold: two corners, not merged.
    Lap close = laid({{50, 0}, {30, 20}, {3, 0}, {30, 20}, {50, 0}});
    EXPECT_EQ(find_corners(close.trace, o).size(), 2u);
    // A dip to 6, below twice the exit threshold: split at its lowest sample.
    Lap dipped = laid({{50, 0}, {30, 20}, {10, 7}, {5, 6}, {10, 7}, {30, 20}, {50, 0}});
    auto found = spans(find_corners(dipped.trace, o));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].second, 91.0);
    EXPECT_EQ(found[1].first, 91.0);
    // A shoulder of one peak, a piece too short, or a dip above twice the exit
    // threshold (or above the entry one): one corner.
    Lap shoulder = laid({{50, 0}, {30, 20}, {5, 0}, {30, 7}, {50, 0}});
    Lap short_end = laid({{50, 0}, {30, 20}, {5, 6}, {5, 20}, {50, 0}});
    Lap shallow = laid({{50, 0}, {30, 20}, {10, 9}, {30, 20}, {50, 0}});
    found = spans(find_corners(shoulder.trace, o));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_GT(found[0].second, 114.0);
    CornerOptions sharp = o;
    sharp.enter_curvature = 12;
    Lap short_start = laid({{50, 0}, {5, 20}, {5, 6}, {30, 20}, {50, 0}});
    for (const Lap* l : {&short_end, &short_start}) {
        auto one = spans(find_corners(l->trace, o));
        ASSERT_EQ(one.size(), 1u);
        EXPECT_LT(one[0].first, 50.0);
        EXPECT_GT(one[0].second, 90.0);
    }
    EXPECT_EQ(find_corners(shallow.trace, o).size(), 1u);
    EXPECT_EQ(find_corners(shallow.trace, sharp).size(), 1u);
    EXPECT_EQ(find_corners(dipped.trace, sharp).size(), 2u);
    // Where the laps' average splits, every lap splits; where it does not, none.
    std::vector<double> splits = split_shares({dipped.trace, shallow.trace}, o);
    ASSERT_EQ(splits.size(), 1u);
    EXPECT_EQ(find_corners(shallow.trace, o, &splits).size(), 2u);
    std::vector<double> none, at_the_shoulder{82.5 / 165};
    EXPECT_EQ(spans(find_corners(shoulder.trace, o, &at_the_shoulder)), found);
    EXPECT_EQ(find_corners(dipped.trace, o, &none).size(), 1u);
}

TEST(Cuts, OnStraightsWithFairSharesCarriedByTheOffset) {
    // Of five straights, the two whose middles share the time most evenly.
    Lap l = laid({{200, 0},
                  {40, 20},
                  {180, 0},
                  {40, 20},
                  {100, 0},
                  {40, 20},
                  {100, 0},
                  {40, 20},
                  {100, 0},
                  {40, 20},
                  {60, 0}},
                 true);
    std::vector<double> cuts;
    ASSERT_FALSE(default_cuts({l.trace}, l.trace, CornerOptions{}, cuts));
    ASSERT_EQ(cuts.size(), 2u);
    double total = l.trace.duration(), previous = 0.0;
    for (double at : {cuts[0], cuts[1], l.trace.length()}) {
        double share = (l.trace.time_at(at) - previous) / total;
        EXPECT_TRUE(share >= 0.2 && share <= 0.5) << share;
        previous = l.trace.time_at(at);
    }
    // Each at the middle of its straight.
    EXPECT_NEAR(cuts[0], 310.0, 1.0); // the middle of the cell on either side
    EXPECT_NEAR(cuts[1], 590.0, 1.0);
    EXPECT_EQ(carried_cuts({100, 600}, 1000, 1100, 1000), (std::vector<double>{10, 560}));
    EXPECT_EQ(carried_cuts({100, 300}, 1000, 1000, -200), (std::vector<double>{100, 900}));
    EXPECT_TRUE(carried_cuts({100}, 0, 1100, 0).empty());
    // One straight: the cuts mirror each other, between the straight's middle
    // and even thirds (where the two pulls balance, 11/30 of the way).
    Lap straight = laid({{630, 0}}); // 11/30 of it the middle of a 2 m cell
    ASSERT_FALSE(default_cuts({}, straight.trace, CornerOptions{}, cuts));
    EXPECT_NEAR(cuts[0], 231.0, 1e-9);
    EXPECT_NEAR(cuts[1], 630.0 - 231.0, 1e-9);
    // Between two bends the same balance, from the straight's middle (415 m) over its
    // half-length (315 m): at 313.1 m, in the cell whose middle is 313.
    Lap bent_ends = laid({{100, 20}, {630, 0}, {100, 20}});
    ASSERT_FALSE(default_cuts({}, bent_ends.trace, CornerOptions{}, cuts));
    EXPECT_NEAR(cuts[0], 313.0, 1e-9);
    EXPECT_NEAR(cuts[1], 830.0 - 313.0, 1e-9);
    // Four fifths of the time standing at one place: no fair shares.
    Lap stuck = laid({{100, 0}, {800, 40}, {100, 0}}, true);
    EXPECT_TRUE(default_cuts({}, stuck.trace, CornerOptions{}, cuts));
}

TEST(Clock, PiecesAddUpToTheLapTimeAndGainsToTheGap) {
    Lap ref = laid({{100, 0}, {40, 20}, {100, 0}, {40, -20}, {100, 0}}, true);
    Lap lap = laid({{100, 0}, {40, 20}, {100, 0}, {40, -20}, {100, 0}});
    ref.trace.keep_time(40.123);
    lap.trace.keep_time(41.5);
    EXPECT_DOUBLE_EQ(lap.trace.duration(), 41.5);
    std::vector<double> sectors = sector_times(lap.trace, ref.trace, {150, 300});
    EXPECT_NEAR(std::accumulate(sectors.begin(), sectors.end(), 0.0), 41.5, 1e-12);
    double gains = 0.0;
    for (const Stretch& s : compare_stretches(lap.trace, ref.trace, find_corners(ref.trace, {})))
        gains += s.gain;
    EXPECT_NEAR(gains, 41.5 - 40.123, 1e-12);
    lap.trace.keep_time(NAN);
    EXPECT_EQ(lap.trace.duration(), 38.0);
}

} // namespace

TEST(Traces, SpeedAndTimeBetweenSamples) {
    // Accelerating by 0.2 m/s a sample: positions 0, 1, 2.02, ...
    Lap ramp = laid({{20, 0}});
    for (int j = 0; j < 20; ++j) ramp.speed[std::size_t(j)] = 10.0f + 2.0f * float(j) / 10;
    LapTrace& t = ramp.trace;
    for (int j = 0; j < 20; ++j)
        t.position[std::size_t(j) + 1] = t.position[j] + ramp.speed[j] / 10;
    double middle = (t.position[5] + t.position[6]) / 2;
    EXPECT_NEAR(t.speed_at(middle), (ramp.speed[5] + ramp.speed[6]) / 2, 1e-6);
    EXPECT_NEAR(t.time_at(middle), 0.55, 1e-12);
    // The last sample holds to the end; outside the lap, its ends.
    EXPECT_EQ(t.speed_at(t.length() - 0.1), ramp.speed[19]);
    EXPECT_EQ(t.speed_at(-3), ramp.speed[0]);
    EXPECT_EQ(t.time_at(t.length() + 1), t.duration());
    EXPECT_NEAR(t.min_speed(middle, t.length()), (ramp.speed[5] + ramp.speed[6]) / 2, 1e-6);
    // On the lap's own clock: a lap logged at 2.1 s stretches every time.
    t.keep_time(2.1);
    EXPECT_NEAR(t.time_at(middle), 0.55 * 1.05, 1e-12);
    t.keep_time(-1);
    EXPECT_EQ(t.time_scale, 1.0);
    // A sector table takes each lap's speed at the same share of its length.
    Lap half = laid({{10, 0}});
    SectorTable table = sector_table({t}, half.trace, {half.trace.length() / 4});
    EXPECT_EQ(table.speed.at(0).at(0), t.speed_at(t.length() / 4));
}
