// Lap matching and cutting from start to end, on sessions whose lap starts are
// known to the sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "../matching/track.h"
#include "beacons/beacons.h"
#include "lx.h"
#include "support.h"
#include "synthetic_export.h"

using namespace lxtest;

namespace {

class Pipeline : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override { close_all_sessions(); }
};

constexpr int N = 80;         // samples of a track lap
constexpr int FIRST = 50;     // the session starts this far before the first lap start
constexpr int TOTAL = 530;    // FIRST + six track laps
constexpr int BEACON_LAG = 3; // the beacon sits three straight samples (9 m) past the line
const std::vector<int> LAP_STARTS{50, 130, 210, 290, 370, 450};

struct Matching {
    int ref;
    int work;
    lx::Session* session;
    float lap_length; // of the track
};

// The reference lap alone, and a working session that drives it six times,
// logged with a beacon lap at each lap start + 3 samples. missed drops the
// beacon at 213 (two laps in one logger lap); stop makes the logger lap at 373
// start standing.
Matching matched_session(bool missed, bool stop) {
    TrackLap track = make_track_lap(N);
    lx::Session* ref = make_session({N}, 20);
    add_matching_channels(ref);
    fill_by_index(ref, ref->i_radius, [&](int k) { return track.radius[k]; });
    fill_by_index(ref, ref->i_seglen, [&](int k) { return track.seglen[k]; });
    set_lap_lengths(ref);

    std::vector<int> bounds{0};
    for (int start : LAP_STARTS)
        if (!(missed && start == 210)) bounds.push_back(start + BEACON_LAG);
    bounds.push_back(TOTAL);
    std::vector<int> sizes;
    for (std::size_t i = 1; i < bounds.size(); ++i) sizes.push_back(bounds[i] - bounds[i - 1]);
    lx::Session* work = make_session(sizes, 20);
    add_matching_channels(work);
    const int shift = N - FIRST;
    fill_by_index(work, work->i_radius, [&](int i) { return track.radius[(i + shift) % N]; });
    fill_by_index(work, work->i_seglen, [&](int i) { return track.seglen[(i + shift) % N]; });
    set_lap_lengths(work);
    for (int l = 0; l < work->nlaps; ++l) work->laps[l].laptime = 2.5f + 0.125f * l;
    if (stop) sample(work, work->i_speed, 373) = 0.0f;
    return {install(ref), install(work), work, ref->laps[0].lap_length};
}

int locate(const Matching& run) {
    int remaining = lx_compute_error_channel_step(1, run.ref, 0, run.work);
    while (remaining > 0) remaining = lx_compute_error_channel_step(0, run.ref, 0, run.work);
    EXPECT_EQ(remaining, 0);
    return lx_locate_laps(run.ref, 0, run.work);
}

struct Expected {
    int start;
    int points;
    int original; // logger lap number of an intact lap, else 0
    float cut_offset;
};

void expect_laps(int handle, const lx::Session* work, const std::vector<Expected>& want) {
    const lx::Session* cut = lx::lookup_session(handle);
    ASSERT_NE(cut, nullptr);
    ASSERT_EQ(cut->nlaps, static_cast<int>(want.size()));
    for (int l = 0; l < cut->nlaps; ++l) {
        SCOPED_TRACE("lap " + std::to_string(l));
        const lx::Lap& lap = cut->laps[l];
        EXPECT_EQ(lap.npoints, want[l].points);
        EXPECT_EQ(lap.original, want[l].original);
        EXPECT_EQ(lap.cut_offset, want[l].cut_offset);
        float raw = static_cast<float>(want[l].points / 20.0);
        EXPECT_EQ(lap.raw_laptime, raw);
        if (want[l].original == 0)
            EXPECT_EQ(lap.laptime, raw);
        else
            EXPECT_EQ(lap.laptime, work->laps[want[l].original - 1].laptime);
        // Time is copied, not rebased: the first sample tells where the lap began.
        EXPECT_EQ(lap.raw[1][0], sample(const_cast<lx::Session*>(work), 1, want[l].start));
    }
}

TEST_F(Pipeline, MatchesLandOnLapStartsAndBeaconsFollowThem) {
    Matching run = matched_session(false, false);
    EXPECT_EQ(locate(run), 6);
    std::vector<float> marks = samples(run.session, lx::library.beacon_channel);
    for (int start : LAP_STARTS) EXPECT_EQ(marks[start], 1.0f) << start;

    int h = lx_new_session_from_beacons(run.ref, 0, run.work, 2, 0.0f);
    EXPECT_EQ(lx_get_beacon_shift(run.work), 9.0f) << "every beacon lies 9 m ahead";
    // Cut at the detections: whole track laps between them.
    expect_laps(h, run.session,
                {{0, 50, 0, 9},
                 {50, 80, 0, 9},
                 {130, 80, 0, 9},
                 {210, 80, 0, 9},
                 {290, 80, 0, 9},
                 {370, 80, 0, 9},
                 {450, 80, 0, 0}});
}

TEST_F(Pipeline, MissedBeaconAndStopInEveryCutMode) {
    Matching run = matched_session(true, true);
    ASSERT_EQ(run.session->nlaps, 6);
    EXPECT_EQ(locate(run), 6);
    const float far = -(run.lap_length - 9.0f); // a lap back to the beacon behind

    int h2 = lx_new_session_from_beacons(run.ref, 0, run.work, 2, 0.0f);
    expect_laps(h2, run.session,
                {{0, 50, 0, 9},
                 {50, 80, 0, 9},
                 {130, 80, 0, far},
                 {210, 80, 0, 9},
                 {290, 80, 0, far},
                 {370, 3, 0, 0},
                 {373, 77, 0, 9},
                 {450, 80, 0, 0}});
    EXPECT_EQ(lx_get_beacon_shift(run.work), static_cast<float>((36.0 + 2.0 * far) / 6.0));

    // Beacons confirmed within 20 m keep their logger laps whole.
    int h1 = lx_new_session_from_beacons(run.ref, 0, run.work, 1, 20.0f);
    expect_laps(h1, run.session,
                {{0, 53, 1, 0},
                 {53, 80, 2, 0},
                 {133, 77, 0, 0},
                 {210, 83, 0, 0},
                 {293, 77, 0, 0},
                 {370, 3, 0, 0},
                 {373, 80, 5, 0},
                 {453, 77, 6, 0}});
    EXPECT_EQ(lx_get_beacon_shift(run.work), 0.0f);

    int h0 = lx_new_session_from_beacons(run.ref, 0, run.work, 0, 20.0f);
    expect_laps(h0, run.session,
                {{0, 50, 0, 0},
                 {50, 80, 0, 0},
                 {130, 80, 0, 0},
                 {210, 80, 0, 0},
                 {290, 80, 0, 0},
                 {370, 3, 0, 0},
                 {373, 77, 0, 0},
                 {450, 80, 0, 0}});

    // The cut sessions stand on their own.
    std::vector<float> before = samples(lx::lookup_session(h1), 1);
    {
        StdoutCapture quiet;
        lx_free_session(run.work);
    }
    EXPECT_EQ(samples(lx::lookup_session(h1), 1), before);
    EXPECT_EQ(lx_num_laps(h0), 8);
}

// Through the exports only: a logged export whose beacon at the start of lap 3
// was missed and whose lap 4 starts standing.
TEST_F(Pipeline, LoggedExportThroughTheExports) {
    ExportShape shape;
    shape.laps = 6;
    shape.points_per_lap = 100;
    shape.sample_rate = 10.0f;
    shape.standing_starts = {4};
    std::string text = synthetic_export(shape);
    std::size_t marker = text.find("Lap: 2/3\t");
    ASSERT_NE(marker, std::string::npos);
    text.replace(marker, 9, "\t");
    int h = lx_open_aim_xls(write_temp_file(text).c_str());
    ASSERT_GT(h, 0);
    ASSERT_EQ(lx_num_laps(h), 5);
    ASSERT_EQ(lx_session_setup(h), 1);
    ASSERT_EQ(lx_compute_session_math(h, 3, 4, 1, 0, 5, 0), 1);
    ASSERT_EQ(lx_beacon_setup(h), 1);

    Matching run{h, h, lx::lookup_session(h), 0.0f};
    int matches = locate(run);
    // Every lap start but the session's first (no window behind it), the one
    // whose beacon was missed included.
    std::vector<int> found;
    std::vector<float> marks = samples(run.session, lx::library.beacon_channel);
    for (int i = 0; i < static_cast<int>(marks.size()); ++i)
        if (marks[i] == 1.0f) found.push_back(i);
    EXPECT_EQ(matches, static_cast<int>(found.size()));
    ASSERT_EQ(found.size(), 5u);
    for (int i : found) {
        int nearest_start = (i + 50) / 100 * 100;
        // Crawling away from the stop packs the first metres into more samples.
        int slack = nearest_start == 400 ? 5 : 2;
        EXPECT_LE(std::abs(i - nearest_start), slack) << "match at " << i;
    }
    auto near_200 = [](int i) { return std::abs(i - 200) <= 2; };
    EXPECT_TRUE(std::any_of(found.begin(), found.end(), near_200)) << "the missed beacon";

    int cut = lx_new_session_from_beacons(h, 1, h, 1, 10.0f);
    ASSERT_GT(cut, 0);
    EXPECT_GT(lx_num_laps(cut), lx_num_laps(h)) << "the missed beacon's lap is split";
    EXPECT_EQ(lx_num_channels(cut), 6);
    EXPECT_EQ(lx_session_setup(cut), 1) << "the cut session is set up like any other";
}

} // namespace
