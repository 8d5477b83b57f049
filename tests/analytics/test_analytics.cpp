// The analysis on sessions whose answers are known beforehand: the
// generator's circuit, and laps built with a known loss.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <utility>

#include "analytics/analytics.h"
#include "frame/frame.h"
#include "gen.h"
#include "lx_data.h"
#include "recording.h"
#include "support.h"

using namespace lxtest;

namespace {

using Corners = FreshSessions;
using Invariants = FreshSessions;
using BestLaps = FreshSessions;
using SameTrack = FreshSessions;
using BadInput = FreshSessions;
using ChannelChoice = FreshSessions;

constexpr double KMH = 3.6;
constexpr double MS = 0.001;

lx_analysis_options options_for(const char* speed, const char* lateral, int invert_lat = 0) {
    lx_analysis_options o;
    lx_analysis_defaults(&o);
    o.speed = speed;
    o.lateral = lateral;
    o.speed_units = LX_SPEED_KMH;
    o.invert_lat = invert_lat;
    return o;
}

int analysed(int h, const lx_analysis_options& o) {
    EXPECT_EQ(lx_analyse(h, &o), LX_OK) << lx_last_error();
    return h;
}

int analysed_file(const std::string& path, int invert_lat = 0) {
    return analysed(lx_open(path.c_str(), nullptr),
                    options_for("Speed", "Lateral Acc", invert_lat));
}

std::string sample_path() {
    return std::string(LX_SOURCE_DIR) + "/examples/sample.txt";
}

std::vector<int> full_laps(int h) {
    std::vector<int> laps;
    lx_lap_info info;
    for (int l = 0; l < lap_count(h); ++l)
        if (lx_lap_info_get(h, l, &info) == LX_OK && info.lap_class == LX_LAP_FULL)
            laps.push_back(l);
    return laps;
}

std::vector<lx_corner> corners_of(int h, int lap) {
    std::vector<lx_corner> out(40);
    int n = lx_analysis_corners(h, lap, out.data(), 40);
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
    int h = analysed_file(sample_path());
    std::vector<Bend> bends = generator_bends();
    ASSERT_EQ(bends.size(), 12u);
    double track = lxgen::make_track().length;
    std::vector<double> first_entry;
    for (int lap : full_laps(h)) {
        if (lap == 0 || lap == lap_count(h) - 1) continue; // the pit lane
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
    int h = install_data(s);
    session_math(h, 3, 4, 1, 0, 0, 0);
    const float curvature[30] = {10, 10, 10, 0, 0, 0, 0, 2,  10, 10, 10, 10,
                                 2,  0,  0,  0, 0, 0, 0, 10, 2,  10, 0};
    std::copy_n(curvature, 30, s->laps[0].raw[s->i_radius]);
    std::fill_n(s->laps[0].raw[s->i_seglen], 30, 5.0f);
    lx::analytics::LapTrace trace;
    ASSERT_FALSE(lx::analytics::trace_lap(s, 0, trace));
    std::vector<double> found;
    for (const auto& k : lx::analytics::find_corners(trace, {}))
        found.insert(found.end(), {k.entry, k.apex, k.exit});
    EXPECT_EQ(found, (std::vector<double>{0, 0, 13, 36.25, 40, 58.75, 92, 95, 108}));
}

// The out-lap starts with three seconds at standstill, where the curvature
// reads 10,000, and then crawls down the pit lane: neither is a corner.
TEST_F(Corners, StandstillIsNoCornerAndInvertedLateralTurnsEveryHand) {
    std::vector<Bend> bends = generator_bends();
    for (int invert : {0, 1}) {
        std::vector<lx_corner> found = corners_of(analysed_file(sample_path(), invert), 0);
        ASSERT_EQ(found.size(), bends.size());
        for (std::size_t k = 0; k < bends.size(); ++k)
            EXPECT_EQ(found[k].direction, invert ? -bends[k].hand : bends[k].hand);
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

// A session of these laps, analysed; bendiness 0 takes the bends out. The
// first and last laps stop halfway (the pit lane): never full laps.
int made_up_session(const std::vector<Bends>& laps, double bendiness = 1.0) {
    std::vector<std::vector<Sample>> driven;
    std::vector<int> sizes;
    for (const Bends& b : laps) {
        driven.push_back(drive(b, bendiness));
        if (driven.size() == 1 || driven.size() == laps.size())
            driven.back().resize(driven.back().size() / 2);
        sizes.push_back(static_cast<int>(driven.back().size()));
    }
    lx::Session* s = make_session(sizes, float(RATE), 2);
    for (std::size_t l = 0; l < laps.size(); ++l)
        for (std::size_t j = 0; j < driven[l].size(); ++j) {
            s->laps[l].raw[3][j] = float(driven[l][j].speed * KMH);
            s->laps[l].raw[4][j] = float(driven[l][j].latg);
        }
    return analysed(install_data(s), options_for("c3", "c4"));
}

struct Best {
    int status;
    double time;
    std::vector<lx_piece> pieces;
};

Best best_of(int h, const std::vector<double>& cuts, double tolerance,
             int which = LX_BEST_OPTIMAL) {
    lx_analysis_options o = options_for("c3", "c4");
    o.ncuts = int(cuts.size());
    std::copy(cuts.begin(), cuts.end(), o.cuts);
    o.tolerance = tolerance;
    analysed(h, o);
    Best b{0, 0.0, std::vector<lx_piece>(8)};
    b.status = lx_analysis_best(h, which, &b.time, b.pieces.data(), 8);
    b.pieces.resize(std::size_t(std::max(b.status, 0)));
    return b;
}

TEST_F(BestLaps, KnownJoinGainAndTheInequality) {
    // Laps 1 and 3 lose in the first bend, lap 2 in the last.
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
    // Lap 1, the reference, and lap 3 drove the first bend alike; lap 2 lost in the last.
    lx_corner_summary summary[3];
    ASSERT_EQ(lx_analysis_corner_summary(h, summary, 3), 3);
    EXPECT_EQ(summary[0].best_min_lap, 2);
    EXPECT_EQ(summary[0].lost_lap, -1);
    EXPECT_EQ(summary[2].lost_lap, 2);
    EXPECT_NEAR(summary[2].most_lost, 100.0 / 16 - 100.0 / BEND, 0.05);
    // Of two laps that lost alike, the first is named.
    int alike = made_up_session({base, base, slow_first, slow_first, base});
    lx_corner_summary first[3];
    ASSERT_EQ(lx_analysis_corner_summary(alike, first, 3), 3);
    EXPECT_EQ(first[0].lost_lap, 2);
    lx_analysis_info info;
    ASSERT_EQ(lx_analysis_info_get(h, &info), LX_OK);
    ASSERT_EQ(info.ncuts, 2);
    EXPECT_EQ(info.cuts_from, LX_CUTS_SHAPE);
    EXPECT_NEAR(info.cuts[0], 400.0, 5.0);
    EXPECT_NEAR(info.cuts[1], 700.0, 5.0);
    std::vector<double> cuts{info.cuts[0], info.cuts[1]};
    Best theoretical = best_of(h, cuts, LX_OPTIMAL_TOLERANCE, LX_BEST_THEORETICAL);
    ASSERT_EQ(theoretical.pieces.size(), 3u);
    EXPECT_EQ(theoretical.pieces[0].lap, 2);
    EXPECT_EQ(theoretical.pieces[2].lap, 1);
    EXPECT_NEAR(theoretical.time, BASE_TIME, 0.02);

    // Joined on the straight at 400 m, where both laps run at 30 m/s.
    Best joined = best_of(h, cuts, LX_OPTIMAL_TOLERANCE);
    ASSERT_EQ(joined.pieces.size(), 2u) << lx_last_error();
    EXPECT_EQ(joined.pieces[0].lap, 2);
    EXPECT_EQ(joined.pieces[1].lap, 1);
    EXPECT_NEAR(joined.pieces[0].end, cuts[0], 1e-9);
    EXPECT_NEAR(joined.time, BASE_TIME, 0.02);
    // No join where the speeds may not differ at all, nor at cuts inside bends.
    for (const Best& apart : {best_of(h, cuts, 0.0), best_of(h, {250, 550}, 1.0)}) {
        ASSERT_EQ(apart.pieces.size(), 1u);
        EXPECT_NEAR(apart.time, BASE_TIME + loss, 0.02);
    }
    // Each bend best on another lap: three pieces, each ending at its cut.
    int each = made_up_session({base, {20, 18, 18}, {18, 20, 18}, {18, 18, 20}, base});
    Best three = best_of(each, {400, 700}, LX_OPTIMAL_TOLERANCE);
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

double total(const std::vector<double>& values) {
    double sum = 0.0;
    for (double v : values) sum += v;
    return sum;
}

// Every full lap: its curve ends at its gap, its sectors add up to its lap
// time, its stretch gains to its gap; theoretical <= optimal <= fastest.
void expect_invariants(int h) {
    lx_analysis_info info;
    ASSERT_EQ(lx_analysis_info_get(h, &info), LX_OK) << lx_last_error();
    double fastest = INFINITY;
    for (int lap : full_laps(h)) {
        lx_analysis_lap l;
        ASSERT_EQ(lx_analysis_lap_get(h, lap, &l), LX_OK);
        fastest = std::min(fastest, l.info.laptime);
        std::vector<double> at(20000), diff(20000), times(LX_MAX_CUTS + 1);
        int n = lx_analysis_time_diff(h, lap, at.data(), diff.data(), 20000);
        ASSERT_GT(n, 1) << lx_last_error();
        EXPECT_NEAR(diff[std::size_t(n - 1)], l.gap, MS) << "lap " << lap;
        EXPECT_NEAR(at[std::size_t(n - 1)], info.ref_length, 1e-9);
        times.resize(std::size_t(lx_analysis_sector_times(h, lap, times.data(), 33)));
        EXPECT_NEAR(total(times), l.info.laptime, MS) << "lap " << lap;
        std::vector<lx_stretch> s(64);
        s.resize(std::size_t(lx_analysis_stretches(h, lap, s.data(), 64)));
        ASSERT_EQ(int(s.size()), 2 * info.corners + 1);
        std::vector<double> gains;
        for (std::size_t k = 0; k < s.size(); ++k) {
            gains.push_back(s[k].gain);
            EXPECT_EQ(s[k].corner, k % 2 ? int(k + 1) / 2 : 0);
        }
        EXPECT_NEAR(total(gains), l.gap, MS) << "lap " << lap;
    }
    EXPECT_EQ(info.fastest_time, fastest);
    EXPECT_EQ(info.ref_time, fastest);
    EXPECT_LE(info.theoretical_best, info.optimal_lap);
    EXPECT_LE(info.optimal_lap, fastest);
    lx_analysis_lap none;
    lx_session_info session;
    ASSERT_EQ(lx_session_info_get(h, &session), LX_OK);
    int laps = session.laps;
    EXPECT_EQ(lx_analysis_lap_get(h, laps, &none), LX_ERR_LAP);
    EXPECT_NE(std::string(lx_last_error()).find("laps are 0 to " + std::to_string(laps - 1)),
              std::string::npos)
        << lx_last_error();
}

// A lap of twice the reference's length, its second sample late and its
// clock running at half speed: each value at the same share of the length.
TEST(TimeDifference, SameShareOfEachLengthOnEachLapsClock) {
    lx::analytics::LapTrace ref, lap;
    ref.samples = lap.samples = 3;
    ref.rate = lap.rate = 1.0;
    ref.position = {0, 10, 25, 30};
    lap.position = {0, 10, 40, 60};
    lap.time_scale = 0.5;
    std::vector<double> diff = lx::analytics::time_difference(lap, ref);
    std::vector<double> expected{0.0, 0.5 * (1 + 10.0 / 30) - 1, 0.5 * 2.5 - 2, 0.5 * 3 - 3};
    ASSERT_EQ(diff.size(), expected.size());
    for (std::size_t i = 0; i < diff.size(); ++i) EXPECT_NEAR(diff[i], expected[i], 1e-12) << i;
}

TEST_F(Invariants, EveryFullLapOfGeneratedSessionsUntilTheMathRunsAgain) {
    for (std::uint64_t seed : {3, 4, 5}) {
        close_all_sessions();
        int h = analysed_file(generated(seed));
        expect_invariants(h);
        session_math(h, 4, 5, LX_SPEED_KMH, 0, 0, 0);
        lx_analysis_info info;
        EXPECT_EQ(lx_analysis_info_get(h, &info), LX_ERR_STATE);
        EXPECT_EQ(lx_analyse(h, nullptr), LX_OK) << lx_last_error();
        EXPECT_EQ(lx_analysis_info_get(h, &info), LX_OK);
    }
}

TEST_F(BestLaps, SplitGatesOfTheFileAreTheDefaultCuts) {
    lxgen::SessionPlan plan;
    plan.gps = true, plan.missed_beacon_after = 0;
    std::string path = write_temp_file(lxgen::write_vbo(lxgen::drive_session(plan), {}), ".vbo");
    int h = lx_open(path.c_str(), nullptr);
    ASSERT_EQ(lx_analyse(h, nullptr), LX_OK) << lx_last_error();
    lx_analysis_info info;
    ASSERT_EQ(lx_analysis_info_get(h, &info), LX_OK);
    ASSERT_EQ(info.ncuts, 2);
    EXPECT_EQ(info.cuts_from, LX_CUTS_GATES);
    lxgen::Track track = lxgen::make_track();
    double length = track.step * double(track.curvature.size());
    EXPECT_NEAR(info.cuts[0], length / 3, 0.01 * length);
    EXPECT_NEAR(info.cuts[1], 2 * length / 3, 0.01 * length);
}

TEST_F(SameTrack, LengthsAndCurvatureDecide) {
    int sample = analysed_file(sample_path());
    int other_day = analysed_file(generated(8));
    int mirrored = analysed_file(sample_path(), 1);
    int elsewhere = made_up_session({{20, 20, 20}, {20, 20, 20}, {20, 20, 20}});
    lx_track_match m;
    ASSERT_EQ(lx_same_track(sample, other_day, LX_SAME_TRACK_THRESHOLD, nullptr, &m), LX_OK);
    EXPECT_EQ(m.same, 1) << m.why;
    EXPECT_STREQ(m.why, "");
    lx_same_track(sample, other_day, m.match, nullptr, &m); // below the threshold, not at it
    EXPECT_EQ(m.same, 0);
    EXPECT_NE(std::string(m.why).find("does not match"), std::string::npos) << m.why;
    lx_same_track(sample, mirrored, LX_SAME_TRACK_THRESHOLD, nullptr, &m);
    EXPECT_EQ(m.same, 0);
    EXPECT_NE(std::string(m.why).find("matches only mirrored"), std::string::npos) << m.why;
    lx_same_track(sample, elsewhere, LX_SAME_TRACK_THRESHOLD, nullptr, &m);
    EXPECT_EQ(m.same, 0);
    EXPECT_NE(std::string(m.why).find("lengths differ"), std::string::npos) << m.why;
    // Another day's fastest lap as the reference; another track's is refused.
    lx_analysis_options o = options_for("Speed", "Lateral Acc");
    // Its sectors are the reference session's, cut on that session's lap.
    lx_analysis_info mine, theirs;
    lx_analysis_info_get(sample, &theirs);
    lx_analysis_options given = options_for("Speed", "Lateral Acc");
    given.ncuts = 2, given.cuts[0] = 0.3 * theirs.ref_length,
    given.cuts[1] = 0.6 * theirs.ref_length;
    analysed(sample, given);
    lx_analysis_info_get(sample, &theirs);
    o.ref_handle = sample;
    expect_invariants(analysed(other_day, o));
    lx_analysis_info_get(other_day, &mine);
    EXPECT_EQ(theirs.cuts_from, LX_CUTS_GIVEN);
    EXPECT_EQ(mine.cuts_from, LX_CUTS_REFERENCE);
    ASSERT_EQ(mine.ncuts, theirs.ncuts);
    for (int k = 0; k < mine.ncuts; ++k) EXPECT_DOUBLE_EQ(mine.cuts[k], theirs.cuts[k]) << k;
    o = options_for("c3", "c4");
    o.ref_handle = sample;
    EXPECT_EQ(lx_analyse(elsewhere, &o), LX_ERR_TRACK);
    EXPECT_NE(std::string(lx_last_error()).find("lengths differ"), std::string::npos);
}

void expect_failure(int result, int status, const std::string& words) {
    EXPECT_EQ(result, status);
    EXPECT_NE(std::string(lx_last_error()).find(words), std::string::npos) << lx_last_error();
}

TEST_F(BadInput, EachRefusalNamesItsCause) {
    Bends base{20, 20, 20};
    int h = made_up_session({base, base, base, base});
    lx_analysis_options o = options_for("c3", "c4");
    o.ncuts = 2;
    o.cuts[0] = 400;
    o.cuts[1] = 5000;
    expect_failure(lx_analyse(h, &o), LX_ERR_ARGUMENT, "outside the reference lap");
    expect_failure(lx_analyse(h, nullptr), LX_ERR_FORMAT, "no speed channel found");
    lx_corner corners[4];
    expect_failure(lx_analysis_corners(h, 1, corners, 4), LX_ERR_STATE, "not been analysed");
    o = options_for("c3", "c4");
    o.corners = {4, 8, 0, 0, 0};
    expect_failure(lx_analyse(h, &o), LX_ERR_ARGUMENT, "exit");
    o = options_for("c3", "c4");
    o.speed_units = 5;
    expect_failure(lx_analyse(h, &o), LX_ERR_ARGUMENT, "speed_units");
    o.speed_units = LX_SPEED_MPH;
    EXPECT_EQ(lx_analyse(h, &o), LX_OK) << lx_last_error();
    o.corners = {0, 0, -1, 0, 0};
    expect_failure(lx_analyse(h, &o), LX_ERR_ARGUMENT, "corners.min_speed -1 is not a number");
    o = options_for("c3", "c4");
    o.ref_lap = 0;
    expect_failure(lx_analyse(h, &o), LX_ERR_LAP,
                   "reference lap 1 of session " + std::to_string(h) + " is the out-lap");
    o.ref_lap = 9;
    expect_failure(lx_analyse(h, &o), LX_ERR_LAP, "lap 10 does not exist");
    o.ref_lap = -2;
    expect_failure(lx_analyse(h, &o), LX_ERR_ARGUMENT, "ref_lap -2");
    o.ref_lap = -1;
    o.ref_handle = 7;
    expect_failure(lx_analyse(h, &o), LX_ERR_HANDLE, "handle 7");
    int other = made_up_session({base, base, base});
    o.ref_handle = other;
    session_math(other, 3, 4, LX_SPEED_KMH, 0, 0, 0);
    expect_failure(lx_analyse(h, &o), LX_ERR_STATE, "older than its session math");

    // Copies what fits, counts everything; a lap that is not full has no curve.
    analysed(h, options_for("c3", "c4"));
    corners[1].number = POISON;
    EXPECT_EQ(lx_analysis_corners(h, 2, corners, 1), 3);
    EXPECT_EQ(corners[1].number, POISON);
    expect_failure(lx_analysis_time_diff(h, 0, nullptr, nullptr, 0), LX_ERR_LAP, "not a full lap");
    expect_failure(lx_analysis_stretches(h, 4, nullptr, 0), LX_ERR_LAP, "no lap 4");
    expect_failure(lx_analysis_best(h, 2, nullptr, nullptr, 0), LX_ERR_ARGUMENT, "which 2");
    expect_failure(lx_analysis_gps_track(h, 1, nullptr, nullptr, 0, nullptr), LX_ERR_CHANNEL,
                   "no positions");

    // A straight lap still has three sectors, from its time alone; a speed
    // that is not a number is refused by name.
    int flat = made_up_session({base, base, base}, 0.0);
    lx_analysis_info info;
    ASSERT_EQ(lx_analysis_info_get(flat, &info), LX_OK);
    EXPECT_EQ(info.ncuts, 2);
    session_of(flat)->laps[2].raw[3][7] = NAN;
    analysed(flat, options_for("c3", "c4"));
    expect_failure(lx_analysis_corners(flat, 2, corners, 4), LX_ERR_LAP,
                   "not a number at sample 7");
}

// A generated session with more lateral channels, each the true one times a
// factor: an AiM CSV with positions, else a text export without them.
std::string with_laterals(bool gps, std::vector<std::pair<std::string, double>> extra) {
    lxgen::SessionPlan plan;
    plan.gps = gps;
    lxgen::Recording r = lxgen::drive_session(plan);
    std::size_t lat = r.find("Lateral Acc"), n = r.channels.size();
    std::vector<double> values;
    for (std::size_t row = 0; row < r.rows(); ++row) {
        auto from = r.values.begin() + std::ptrdiff_t(row * n);
        values.insert(values.end(), from, from + std::ptrdiff_t(n));
        for (const auto& channel : extra) values.push_back(r.at(row, lat) * channel.second);
    }
    r.values = values;
    for (const auto& channel : extra) r.channels.push_back({channel.first, "g", 3});
    std::string path = temp_path(gps ? ".csv" : ".txt");
    std::ofstream(path, std::ios::binary) << (gps ? lxgen::write_aim_csv(r) : lxgen::write_text(r));
    return path;
}

std::string title(int h, int channel) {
    lx_channel_info info;
    lx_channel_info_get(h, channel, &info);
    return info.title;
}

// Without positions, of the channels whose laps close the one that closes
// best, wherever it lies among them.
TEST_F(ChannelChoice, ClosingBestWithoutPositions) {
    int h = lx_open(with_laterals(false, {{"Wide LatAcc", 1.02}, {"Narrow LatAcc", 0.97}}).c_str(),
                    nullptr);
    ASSERT_EQ(lx_analyse(h, nullptr), LX_OK) << lx_last_error();
    lx_analysis_info info;
    lx_analysis_info_get(h, &info);
    ASSERT_EQ(info.candidates, 3);
    EXPECT_EQ(title(h, info.lateral_channel), "Narrow LatAcc");
    EXPECT_EQ(info.candidate[1].closes + info.candidate[2].closes, 2);
    EXPECT_NE(std::string(info.choice).find("(of those named so, the one whose laps close best)"),
              std::string::npos)
        << info.choice;
    for (int i = 1; i < info.candidates; ++i) // and why not each of the others
        EXPECT_NE(std::string(info.choice).find("\n  not " + title(h, info.candidate[i].channel)),
                  std::string::npos)
            << info.choice;
}

// With positions, of those whose laps close the one whose map lies nearest
// the GPS track: a mirrored channel closes as well as the true one.
TEST_F(ChannelChoice, ClosingLapsThenTheGpsTrackDecide) {
    std::string path = with_laterals(true, {{"Mirrored LatAcc", -1}, {"Third LatAcc", 1 / 3.0}});
    int h = lx_open(path.c_str(), nullptr);
    ASSERT_EQ(lx_analyse(h, nullptr), LX_OK) << lx_last_error();
    lx_analysis_info info;
    lx_analysis_info_get(h, &info);
    EXPECT_EQ(title(h, info.speed_channel), "Speed");
    EXPECT_EQ(title(h, info.longitudinal_channel), "Longitudinal Acc");
    EXPECT_EQ(info.speed_units, LX_SPEED_KMH);
    ASSERT_EQ(info.candidates, 3);
    EXPECT_EQ(title(h, info.lateral_channel), "Lateral Acc");
    EXPECT_EQ(title(h, info.candidate[1].channel), "Mirrored LatAcc");
    EXPECT_EQ(info.candidate[1].closes, 1);
    EXPECT_LT(info.candidate[0].gps_error, 0.2); // % of the lap: about 0.07
    EXPECT_GT(info.candidate[1].gps_error, 5.0); // mirrored: about 10
    EXPECT_EQ(info.candidate[2].closes, 0);
    EXPECT_NE(std::string(info.choice).find("whose laps close, the one whose map lies closest"),
              std::string::npos)
        << info.choice;
    EXPECT_STREQ(info.warning, "");
    double error = NAN, x[2], y[2];
    lx_lap_info lap;
    lx_lap_info_get(h, 2, &lap);
    EXPECT_EQ(lx_analysis_gps_track(h, 2, x, y, 2, &error), lap.samples);
    EXPECT_TRUE(error > 0.01 && error < 0.2) << error;

    lx_analysis_options o;
    lx_analysis_defaults(&o);
    o.lateral = "Third LatAcc";
    o.longitudinal = "none";
    ASSERT_EQ(lx_analyse(h, &o), LX_OK);
    lx_analysis_info_get(h, &info);
    EXPECT_EQ(info.longitudinal_channel, 0);
    EXPECT_EQ(info.lateral_given, 1);
    EXPECT_NE(std::string(info.warning).find("does not close its laps"), std::string::npos);
    o.speed = "Engine RPM";
    expect_failure(lx_analyse(h, &o), LX_ERR_FORMAT, "cannot tell the unit of speed channel");
}

// Roles by title: the better words win over the lower channel number, the
// lower number between equals; temperatures, volts and a channel reading 0
// play none; camel case splits into words.
TEST_F(ChannelChoice, RolesFollowTheTitleRule) {
    int h = lx_open(with_laterals(false, {{"PPS", 1},
                                          {"TPS", 1},
                                          {"Brake Temp FL", 1},
                                          {"Brake Pres Front", 1},
                                          {"Brake Pres Rear", 1},
                                          {"SteeringWheelAngle", 1},
                                          {"Gear Pos Volts", 1},
                                          {"Gear", 0}})
                        .c_str(),
                    nullptr);
    std::array<int, LX_ROLES> roles{};
    EXPECT_EQ(lx_analysis_roles(h, roles.data()), LX_ERR_STATE);
    ASSERT_EQ(lx_analyse(h, nullptr), LX_OK) << lx_last_error();
    EXPECT_EQ(lx_analysis_roles(h, nullptr), LX_ERR_ARGUMENT);
    ASSERT_EQ(lx_analysis_roles(h, roles.data()), LX_OK) << lx_last_error();
    EXPECT_EQ(title(h, roles[LX_ROLE_THROTTLE]), "TPS");
    EXPECT_EQ(title(h, roles[LX_ROLE_BRAKE]), "Brake Pres Front");
    EXPECT_EQ(title(h, roles[LX_ROLE_RPM]), "Engine RPM");
    EXPECT_EQ(title(h, roles[LX_ROLE_STEERING]), "SteeringWheelAngle");
    EXPECT_EQ(roles[LX_ROLE_GEAR], -1);
}

// A lap's dead-reckoned map laid on another's: a session's on its twin is
// its own map, another lap of the circuit falls onto the reference's line.
TEST_F(Corners, MapsLaidOnTheReferenceByShareOfLength) {
    int a = analysed_file(sample_path()), twin = analysed_file(sample_path());
    auto laid = [](int h, int lap, int ref, int ref_lap) {
        std::vector<double> x(4000), y(4000);
        int n = lx_analysis_map_laid(h, lap, ref, ref_lap, x.data(), y.data(), 4000);
        EXPECT_GT(n, 1) << lx_last_error();
        x.resize(std::size_t(std::max(n, 0))), y.resize(x.size());
        return std::pair{x, y};
    };
    auto own = laid(a, 6, a, 6), on_twin = laid(twin, 6, a, 6), other = laid(a, 2, a, 6);
    ASSERT_EQ(own.first.size(), on_twin.first.size());
    double most = 0;
    for (std::size_t i = 0; i < own.first.size(); ++i)
        most = std::max(
            most, std::hypot(own.first[i] - on_twin.first[i], own.second[i] - on_twin.second[i]));
    EXPECT_LT(most, 1e-6);
    // lap 3 ends where it started, on lap 7's start, and crosses its far side
    EXPECT_LT(std::hypot(other.first.front() - own.first.front(),
                         other.second.front() - own.second.front()),
              15.0);
    std::size_t half = other.first.size() / 2, ref_half = own.first.size() / 2;
    EXPECT_LT(std::hypot(other.first[half] - own.first[ref_half],
                         other.second[half] - own.second[ref_half]),
              15.0);
    EXPECT_EQ(lx_analysis_map_laid(a, 99, a, 6, nullptr, nullptr, 0), LX_ERR_LAP);
    EXPECT_EQ(lx_analysis_map_laid(a, 2, a, 6, nullptr, nullptr, -1), LX_ERR_ARGUMENT);
    EXPECT_EQ(lx_analysis_map_laid(a, 2, a, 6, nullptr, nullptr, 0), int(other.first.size()));
}

} // namespace
