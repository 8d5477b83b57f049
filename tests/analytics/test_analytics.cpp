// Corners, gains, sectors and the best laps on sessions whose answers are
// known beforehand: the generator's circuit, and laps built with a known loss.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>

#include "frame/frame.h"
#include "gen.h"
#include "lx_data.h"
#include "support.h"

using namespace lxtest;

namespace {

using Corners = FreshSessions;
using Stretches = FreshSessions;
using BestLaps = FreshSessions;
using SameTrack = FreshSessions;
using BadInput = FreshSessions;

constexpr double KMH = 3.6;

int open_computed(const std::string& path, int invert_lat = 0) {
    int h = lx_open(path.c_str(), nullptr);
    EXPECT_GT(h, 0) << lx_last_error();
    lx_session_setup(h);
    lx_compute_session_math(h, lx_find_channel(h, "Speed"), lx_find_channel(h, "Lateral Acc"), 1,
                            invert_lat, 0, 0);
    return h;
}

std::string sample_path() {
    return std::string(LX_SOURCE_DIR) + "/examples/sample.txt";
}

std::vector<int> full_laps(int h) {
    std::vector<int> laps;
    lx_lap_info info;
    for (int l = 1; l + 1 < lx_num_laps(h); ++l)
        if (lx_lap_info_get(h, l, &info) == LX_OK && info.lap_class == LX_LAP_FULL)
            laps.push_back(l);
    return laps;
}

std::vector<lx_corner> corners_of(int h, int lap) {
    std::vector<lx_corner> out(40);
    int n = lx_lap_corners(h, -1, h, lap, nullptr, out.data(), 40);
    EXPECT_GE(n, 0) << lx_last_error();
    out.resize(static_cast<std::size_t>(std::max(n, 0)));
    return out;
}

// The circuit's bends as the generator lays them: hand and middle in metres.
struct Bend {
    int hand;
    double middle;
};

std::vector<Bend> generator_bends() {
    lxgen::Track t = lxgen::make_track();
    std::vector<Bend> bends;
    int n = static_cast<int>(t.curvature.size());
    for (int i = 0; i < n;) {
        int hand = t.curvature[i] > 0 ? 1 : t.curvature[i] < 0 ? -1 : 0;
        int start = i;
        while (i < n && (t.curvature[i] > 0 ? 1 : t.curvature[i] < 0 ? -1 : 0) == hand) ++i;
        if (hand) bends.push_back({hand, 0.5 * (start + i) * t.step});
    }
    return bends;
}

TEST_F(Corners, EveryLapOfTheGeneratedSessionFindsTheGeneratorsBends) {
    int h = open_computed(sample_path());
    std::vector<Bend> bends = generator_bends();
    ASSERT_EQ(bends.size(), 12u);
    double track = lxgen::make_track().length;
    std::vector<double> first_entry;
    for (int lap : full_laps(h)) {
        std::vector<lx_corner> found = corners_of(h, lap);
        ASSERT_EQ(found.size(), bends.size()) << "lap " << lap;
        lx_lap_info info;
        lx_lap_info_get(h, lap, &info);
        for (std::size_t k = 0; k < bends.size(); ++k) {
            const lx_corner& c = found[k];
            EXPECT_EQ(c.number, int(k) + 1);
            EXPECT_EQ(c.paired, c.number);
            EXPECT_EQ(c.direction, bends[k].hand) << "lap " << lap << " corner " << c.number;
            double middle = 0.5 * (c.entry + c.exit) * track / info.length;
            EXPECT_NEAR(middle, bends[k].middle, 12.0) << "lap " << lap << " corner " << c.number;
            EXPECT_TRUE(c.entry <= c.apex && c.apex <= c.exit);
            EXPECT_LE(c.min_speed, std::min(c.entry_speed, c.exit_speed));
        }
        if (first_entry.empty())
            for (const lx_corner& c : found) first_entry.push_back(c.entry);
        for (std::size_t k = 0; k < found.size(); ++k)
            EXPECT_NEAR(found[k].entry, first_entry[k], 8.0) << "lap " << lap;
    }
}

// At 2 Hz the curvature is not averaged: 5 m steps with set curvatures put a
// corner at the lap's start, one whose edges lie a quarter and three quarters
// into their steps, and two equal peaks close enough to make one corner; an
// apex is at the first of the peak samples.
TEST_F(Corners, EdgesInterpolatedBetweenSamples) {
    lx::Session* s = make_session({30}, 2.0f, 2);
    std::fill_n(s->laps[0].raw[3], 30, 36.0f);
    int h = install(s);
    lx_session_setup(h);
    lx_compute_session_math(h, 3, 4, 1, 0, 0, 0);
    const float curvature[30] = {10, 10, 10, 0, 0, 0, 0, 2,  10, 10, 10, 10,
                                 2,  0,  0,  0, 0, 0, 0, 10, 2,  10, 0};
    std::copy_n(curvature, 30, s->laps[0].raw[s->i_radius]);
    std::fill_n(s->laps[0].raw[s->i_seglen], 30, 5.0f);
    lx_corner c[3];
    ASSERT_EQ(lx_lap_corners(h, 0, h, 0, nullptr, c, 3), 3) << lx_last_error();
    std::vector<double> found;
    for (const lx_corner& k : c) found.insert(found.end(), {k.entry, k.apex, k.exit});
    EXPECT_EQ(found, (std::vector<double>{0, 0, 13, 36.25, 40, 58.75, 92, 95, 108}));
}

// The out-lap starts with three seconds at standstill, where the curvature
// reads 10,000, and then crawls down the pit lane: neither is a corner.
TEST_F(Corners, StandstillIsNoCornerAndInvertedLateralTurnsEveryHand) {
    std::vector<Bend> bends = generator_bends();
    for (int invert : {0, 1}) {
        int h = open_computed(sample_path(), invert);
        std::vector<lx_corner> found = corners_of(h, 0);
        ASSERT_EQ(found.size(), bends.size());
        for (std::size_t k = 0; k < bends.size(); ++k)
            EXPECT_EQ(found[k].direction, invert ? -bends[k].hand : bends[k].hand);
    }
}

TEST_F(Stretches, GainsAddUpToTheLapTimeDifference) {
    int h = open_computed(sample_path());
    constexpr double RATE = 20.0; // the sample's
    std::vector<double> duration;
    for (int lap : full_laps(h)) {
        lx_lap_info info;
        lx_lap_info_get(h, lap, &info);
        duration.push_back(info.samples / RATE);
    }
    double reference = *std::min_element(duration.begin(), duration.end());
    std::vector<lx_stretch> s(40);
    for (std::size_t i = 0; i < duration.size(); ++i) {
        int n = lx_lap_stretches(h, -1, h, full_laps(h)[i], nullptr, s.data(), 40);
        ASSERT_EQ(n, 25) << lx_last_error();
        double gains = 0.0, time = 0.0;
        for (int k = 0; k < n; ++k) {
            gains += s[k].gain;
            time += s[k].time;
            EXPECT_EQ(s[k].corner, k % 2 ? (k + 1) / 2 : 0);
        }
        EXPECT_NEAR(time, duration[i], 1e-9);
        EXPECT_NEAR(gains, duration[i] - reference, 1e-9);
    }
}

// A made-up circuit of three 100 m bends of radius 50 m, driven at 30 m/s on
// the straights and at a chosen speed in each bend: a lap's time is known.
struct Piece {
    double length, curvature; // m, 1/m
    int bend;                 // 0: straight
};
constexpr Piece CIRCUIT[] = {{200, 0, 0}, {100, 0.02, 1}, {200, 0, 0}, {100, -0.02, 2},
                             {200, 0, 0}, {100, 0.02, 3}, {100, 0, 0}};
constexpr double STRAIGHT = 30.0, BEND = 20.0, RATE = 50.0, G = 9.8081;
const double BASE_TIME = 700.0 / STRAIGHT + 300.0 / BEND;

using Bends = std::array<double, 3>; // speed in each bend, m/s

struct Sample {
    double speed, latg;
};

std::vector<Sample> drive(const Bends& bends, double bendiness) {
    std::vector<Sample> out;
    double at = 0.0, start = 0.0;
    for (const Piece& p : CIRCUIT) {
        double v = p.bend ? bends[p.bend - 1] : STRAIGHT;
        for (start += p.length; at < start; at += v / RATE)
            out.push_back({v, v * v * p.curvature * bendiness / G});
    }
    return out;
}

// A session of these laps, with its session math done; bendiness 0 takes the
// bends out.
int made_up_session(const std::vector<Bends>& laps, double bendiness = 1.0) {
    std::vector<std::vector<Sample>> driven;
    std::vector<int> sizes;
    for (const Bends& b : laps) {
        driven.push_back(drive(b, bendiness));
        sizes.push_back(static_cast<int>(driven.back().size()));
    }
    lx::Session* s = make_session(sizes, float(RATE), 2);
    for (std::size_t l = 0; l < laps.size(); ++l)
        for (std::size_t j = 0; j < driven[l].size(); ++j) {
            s->laps[l].raw[3][j] = float(driven[l][j].speed * KMH);
            s->laps[l].raw[4][j] = float(driven[l][j].latg);
        }
    int h = install(s);
    lx_session_setup(h);
    lx_compute_session_math(h, 3, 4, 1, 0, 0, 0);
    return h;
}

struct Best {
    int status;
    double time;
    std::vector<lx_piece> pieces;
};

Best optimal(int h, const std::vector<double>& cuts, double tolerance) {
    Best b{0, 0.0, std::vector<lx_piece>(8)};
    b.status = lx_optimal_lap(h, -1, cuts.data(), int(cuts.size()), tolerance, nullptr, &b.time,
                              b.pieces.data(), 8);
    b.pieces.resize(std::size_t(std::max(b.status, 0)));
    return b;
}

TEST_F(BestLaps, KnownJoinGainAndTheInequality) {
    // Laps 1 and 3 lose in the first bend, lap 2 in the last; laps 0 and 4
    // leave and enter the pits and are never full laps.
    Bends slow_first{18, 20, 20}, slow_last{20, 20, 16}, base{20, 20, 20};
    int h = made_up_session({base, slow_first, slow_last, slow_first, base});
    const double loss = 100.0 / 18 - 100.0 / BEND;
    // The bends as laid: 100 m at 1000/50 m, from 200, 500 and 800 m.
    std::vector<lx_corner> bends = corners_of(h, 1);
    ASSERT_EQ(bends.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(bends[k].peak_curvature, 20.0, 0.1);
        EXPECT_NEAR(bends[k].entry, 200.0 + 300 * k, 5.0);
        EXPECT_NEAR(bends[k].exit, 300.0 + 300 * k, 5.0);
        EXPECT_LT(bends[k].apex, bends[k].entry + 25.0); // where the radius is first reached
        EXPECT_NEAR(bends[k].min_speed, k ? BEND : 18.0, 1e-4);
        EXPECT_NEAR(bends[k].time, 100.0 / (k ? BEND : 18.0), 0.15);
    }
    double cuts[2];
    ASSERT_EQ(lx_sector_cuts(h, -1, nullptr, cuts, 2), 2) << lx_last_error();
    EXPECT_NEAR(cuts[0], 400.0, 5.0);
    EXPECT_NEAR(cuts[1], 700.0, 5.0);
    double theoretical = 0.0;
    lx_piece pieces[3];
    ASSERT_EQ(lx_theoretical_best(h, -1, cuts, 2, &theoretical, pieces, 3), 3);
    EXPECT_EQ(pieces[0].lap, 2);
    EXPECT_EQ(pieces[2].lap, 1);
    EXPECT_NEAR(theoretical, BASE_TIME, 0.02);

    // Joined on the straight at 400 m, where both laps run at 30 m/s.
    Best joined = optimal(h, {cuts[0], cuts[1]}, LX_OPTIMAL_TOLERANCE);
    ASSERT_EQ(joined.pieces.size(), 2u) << lx_last_error();
    EXPECT_EQ(joined.pieces[0].lap, 2);
    EXPECT_EQ(joined.pieces[1].lap, 1);
    EXPECT_NEAR(joined.pieces[0].end, cuts[0], 1e-9);
    EXPECT_NEAR(joined.time, BASE_TIME, 0.02);
    double fastest = BASE_TIME + loss;
    EXPECT_NEAR(optimal(h, {}, 0.1).time - joined.time, loss, 0.02);
    // No join where the speeds may not differ at all, nor at cuts inside bends.
    for (const Best& apart : {optimal(h, {cuts[0], cuts[1]}, 0.0), optimal(h, {250, 550}, 1.0)}) {
        ASSERT_EQ(apart.pieces.size(), 1u);
        EXPECT_NEAR(apart.time, fastest, 0.02);
    }
    EXPECT_LE(theoretical, joined.time);
    // Each bend best on another lap: three pieces, each ending at its cut.
    int each = made_up_session({base, {20, 18, 18}, {18, 20, 18}, {18, 18, 20}, base});
    Best three = optimal(each, {400, 700}, LX_OPTIMAL_TOLERANCE);
    ASSERT_EQ(three.pieces.size(), 3u) << lx_last_error();
    EXPECT_EQ(three.pieces[1].lap, 2);
    EXPECT_EQ(three.pieces[1].end, 700.0);
}

std::string generated(std::uint64_t seed) {
    lxgen::SessionPlan plan;
    plan.seed = seed;
    std::string path = temp_path("-seed-" + std::to_string(seed) + ".txt");
    std::ofstream(path, std::ios::binary) << lxgen::write_text(lxgen::drive_session(plan));
    return path;
}

TEST_F(BestLaps, TheoreticalNotAboveOptimalNotAboveFastestOnGeneratedSessions) {
    for (std::uint64_t seed : {3, 4, 5}) {
        close_all_sessions();
        int h = open_computed(generated(seed));
        double fastest = INFINITY, theoretical = 0.0, cuts[2];
        for (int lap : full_laps(h)) {
            lx_lap_info info;
            lx_lap_info_get(h, lap, &info);
            fastest = std::min(fastest, info.samples / 20.0);
        }
        ASSERT_EQ(lx_sector_cuts(h, -1, nullptr, cuts, 2), 2);
        ASSERT_EQ(lx_theoretical_best(h, -1, cuts, 2, &theoretical, nullptr, 0), 3);
        for (double tolerance : {0.5, 2.0}) {
            Best b = optimal(h, {cuts[0], cuts[1]}, tolerance);
            EXPECT_LE(theoretical, b.time + 1e-9);
            EXPECT_LE(b.time, fastest + 1e-9);
        }
    }
}

// Analysed with the channels the tests' sessions hold.
int analysed(int h, const char* speed, const char* lateral, int invert_lat = 0) {
    lx_analysis_options o;
    lx_analysis_defaults(&o);
    o.speed = speed;
    o.lateral = lateral;
    o.speed_units = LX_SPEED_KMH;
    o.invert_lat = invert_lat;
    EXPECT_EQ(lx_analyse(h, &o), LX_OK) << lx_last_error();
    return h;
}

int analysed_file(const std::string& path, int invert_lat = 0) {
    return analysed(lx_open(path.c_str(), nullptr), "Speed", "Lateral Acc", invert_lat);
}

TEST_F(SameTrack, LengthsAndCurvatureDecide) {
    int sample = analysed_file(sample_path());
    int other_day = analysed_file(generated(8));
    int mirrored = analysed_file(sample_path(), 1);
    int elsewhere =
        analysed(made_up_session({{20, 20, 20}, {20, 20, 20}, {20, 20, 20}}), "c3", "c4");
    lx_track_match m;
    ASSERT_EQ(lx_same_track(sample, other_day, LX_SAME_TRACK_THRESHOLD, nullptr, &m), LX_OK);
    EXPECT_EQ(m.same, 1) << m.why;
    EXPECT_STREQ(m.why, "");
    lx_same_track(sample, other_day, m.match, nullptr, &m); // below the threshold, not at it
    EXPECT_EQ(m.same, 0);
    lx_same_track(sample, mirrored, LX_SAME_TRACK_THRESHOLD, nullptr, &m);
    EXPECT_EQ(m.same, 0);
    EXPECT_NE(std::string(m.why).find("matches only mirrored"), std::string::npos) << m.why;
    lx_same_track(sample, elsewhere, LX_SAME_TRACK_THRESHOLD, nullptr, &m);
    EXPECT_EQ(m.same, 0);
    EXPECT_NE(std::string(m.why).find("lengths differ"), std::string::npos) << m.why;
}

void expect_failure(int result, int status, const char* words) {
    EXPECT_EQ(result, status);
    EXPECT_NE(std::string(lx_last_error()).find(words), std::string::npos) << lx_last_error();
}

TEST_F(BadInput, EachRefusalNamesItsCause) {
    Bends base{20, 20, 20};
    int h = made_up_session({base, base, base, base});
    lx_corner corners[4];
    lx_piece piece;
    double time = 0.0, beyond[2] = {400, 5000};
    expect_failure(lx_theoretical_best(h, 1, beyond, 2, &time, &piece, 1), LX_ERR_ARGUMENT,
                   "outside the reference lap");
    expect_failure(lx_sector_times(h, 1, h, 2, nullptr, 1, &time, 1), LX_ERR_ARGUMENT,
                   "1 cuts from null");
    lx_corner_options upside_down{4, 8, 0, 0, 0};
    expect_failure(lx_lap_corners(h, 1, h, 1, &upside_down, corners, 4), LX_ERR_ARGUMENT, "exit");
    // Copies what fits, counts everything.
    corners[1].number = POISON;
    EXPECT_EQ(lx_lap_corners(h, 1, h, 2, nullptr, corners, 1), 3);
    EXPECT_EQ(corners[1].number, POISON);

    // A straight lap has no corners, so no default sectors; a standing lap
    // does not move; a speed that is not a number is refused by name.
    lx::Session* s = lx::lookup_session(made_up_session({base, base, base}, 0.0));
    int flat = lx_lap_corners(2, 1, 2, 1, nullptr, corners, 4);
    EXPECT_EQ(flat, 0) << lx_last_error();
    double cuts[2];
    expect_failure(lx_sector_cuts(2, 1, nullptr, cuts, 2), LX_ERR_STATE, "0 corners");
    std::fill_n(s->laps[0].raw[s->i_seglen], s->laps[0].npoints, 0.0f);
    expect_failure(lx_lap_corners(2, 1, 2, 0, nullptr, corners, 4), LX_ERR_LAP, "does not move");
    s->laps[2].raw[s->i_speed][7] = NAN;
    s->laps[2].raw[s->i_seglen][7] = NAN;
    expect_failure(lx_lap_corners(2, 1, 2, 2, nullptr, corners, 4), LX_ERR_LAP,
                   "not a number at sample 7");
    int bare = install(make_session({10, 10, 10}, 10.0f, 2));
    expect_failure(lx_lap_stretches(bare, 1, bare, 1, nullptr, nullptr, 0), LX_ERR_STATE,
                   "session math");
    // With two laps, neither is the recording's first or last of three; unequal, neither is full.
    int two = made_up_session({base, base});
    EXPECT_EQ(lx_theoretical_best(two, -1, nullptr, 0, &time, nullptr, 0), 1) << lx_last_error();
    lx::lookup_session(two)->laps[1].lap_length *= 1.5f;
    expect_failure(lx_lap_corners(two, -1, two, 0, nullptr, corners, 4), LX_ERR_LAP, "no full lap");
}

} // namespace
