// Lines crossed by a GPS track: a circle driven anticlockwise, 100 m across,
// at 0.2 rad/s sampled at 10 Hz, so every pass and its time are known.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "import/gps_line.h"

namespace {

constexpr double RADIUS = 100, OMEGA = 0.2, STEP = 0.1, PHASE = 0.013;
const double PERIOD = 2 * std::numbers::pi / OMEGA;

lx::GpsTrack circle(int laps) {
    lx::GpsTrack track;
    int n = int(laps * PERIOD / STEP);
    for (int i = 0; i < n; ++i) {
        double t = i * STEP, a = OMEGA * t - PHASE;
        track.add(t, {RADIUS * std::cos(a), RADIUS * std::sin(a)}, i > 0);
    }
    return track;
}

// When the circle reaches angle 0, pass k.
double pass_time(int k) {
    return (PHASE + k * 2 * std::numbers::pi) / OMEGA;
}

} // namespace

TEST(GpsLine, GateTimesOnlyWhereTheSegmentIsCrossed) {
    lx::GpsTrack track = circle(3);
    std::vector<double> t = lx::gate_times(track, {{90, 0}, {110, 0}});
    ASSERT_EQ(t.size(), 3u);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(t[std::size_t(k)], pass_time(k), 1e-4);
    // Drawn the other way round, the same passes.
    std::vector<double> reversed = lx::gate_times(track, {{110, 0}, {90, 0}});
    ASSERT_EQ(reversed.size(), 3u);
    EXPECT_NEAR(reversed[2], t[2], 1e-9);
    // On the line's extension, either side of the track: never crossed.
    EXPECT_TRUE(lx::gate_times(track, {{101, 0}, {130, 0}}).empty());
    EXPECT_TRUE(lx::gate_times(track, {{60, 0}, {99, 0}}).empty());
    // A lost fix across the line loses that pass.
    track.joined[std::size_t(std::ceil(pass_time(1) / STEP))] = 0;
    EXPECT_EQ(lx::gate_times(track, {{90, 0}, {110, 0}}).size(), 2u);
}

TEST(GpsLine, GateReadAsWrittenOrAcrossTheTrack) {
    lx::GpsTrack track = circle(2);
    lx::GateReading ends = lx::read_gate(track, {90, 0}, {110, 0});
    EXPECT_FALSE(ends.across_first_point);
    EXPECT_EQ(ends.line.a.x, 90);
    // A point on the track at 45 degrees and one ahead along it: the line across there.
    double c = RADIUS * std::cos(std::numbers::pi / 4);
    lx::GateReading along = lx::read_gate(track, {c, c}, {c - 5, c + 5});
    EXPECT_TRUE(along.across_first_point);
    EXPECT_NEAR(along.line.a.x + along.line.b.x, 2 * c, 1e-9);
    EXPECT_NEAR(along.line.b.x - along.line.a.x, 20 * std::cos(std::numbers::pi / 4), 1e-9);
    EXPECT_NEAR(along.line.b.y - along.line.a.y, 20 * std::cos(std::numbers::pi / 4), 1e-9);
    EXPECT_EQ(lx::gate_times(track, along.line).size(), 2u);
    // Too short to have a direction, or far from the track: as written.
    EXPECT_FALSE(lx::read_gate(track, {100, 0}, {100, 0.05}).across_first_point);
    EXPECT_FALSE(lx::read_gate(track, {0, 0}, {0, 5}).across_first_point);
}

TEST(GpsLine, StartLineProposedOnlyOnAPlacePassedTwice) {
    lx::ProposedLine line = lx::propose_start_line(circle(3));
    ASSERT_TRUE(line.found);
    EXPECT_NEAR(std::hypot(line.at.x, line.at.y), RADIUS, 1e-9);
    // Anticlockwise: the heading is the tangent's, 90 degrees past the bearing from the centre.
    double bearing = std::atan2(line.at.x, line.at.y) * 180 / std::numbers::pi;
    EXPECT_NEAR(std::remainder(line.heading - (bearing - 90), 360), 0, 1e-6);
    EXPECT_TRUE(line.heading >= 0 && line.heading < 360) << line.heading; // as a compass reads
    EXPECT_EQ(lx::gate_times(circle(3), line.line).size(), 3u);
    // Less than two passes anywhere: none.
    lx::GpsTrack once;
    for (int i = 0; i < 100; ++i) once.add(i * STEP, {double(i), 0}, i > 0);
    EXPECT_FALSE(lx::propose_start_line(once).found);
    EXPECT_FALSE(lx::propose_start_line(circle(1)).found);
}

TEST(GpsLine, LineTextIsFourNumbersInRange) {
    double ends[4] = {};
    EXPECT_TRUE(lx::parse_line_text("44.5,180,-44.5,-180", ends));
    EXPECT_TRUE(lx::parse_line_text("44.5,11.25,-44.5,-180", ends));
    EXPECT_EQ(ends[2], -44.5);
    EXPECT_EQ(ends[3], -180);
    for (const char* bad : {"90.5,0,0,0", "0,180.5,1,0", "0,0,-90.5,0", "0,0,1,180.5", "1,2,1,2",
                            "1,2,3", "1,2,3,4,", "1,2;3,4", "1,2,3,inf", "nan,2,3,4", "1,,3,4"})
        EXPECT_FALSE(lx::parse_line_text(bad, ends)) << bad;
}
