// Lap matching and cutting from start to end, on sessions whose lap starts are
// known to the sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "lx.h"
#include "session/record.h"
#include "support.h"
#include "track.h"

using namespace lxtest;

namespace {

using Pipeline = FreshSessions;

constexpr int N = 80;     // samples of a track lap
constexpr int SHIFT = 30; // the session starts at track sample 30 and drives six more laps
const std::vector<int> LAP_STARTS{50, 130, 210, 290, 370, 450};

// The track lap as reference, and a working session logged with a beacon three
// straight samples (9 m) past every lap start, except that the beacon at 213
// was missed (two laps in one logger lap) and the logger lap at 373 starts
// standing.
struct Matching {
    int ref;
    int work;
    lx::Session* session;
};

Matching matched_session() {
    auto radius = [](int i) { return track_radius(i + SHIFT, N); };
    auto seglen = [](int i) { return track_seglen(i + SHIFT, N); };
    int ref = install(matching_session(
        {N}, 20, [](int k) { return track_radius(k, N); },
        [](int k) { return track_seglen(k, N); }));
    lx::Session* work = matching_session({53, 80, 160, 80, 80, 77}, 20, radius, seglen);
    for (int l = 0; l < work->nlaps; ++l) work->laps[l].laptime = 2.5f + 0.125f * l;
    sample(work, work->i_speed, 373) = 0.0f;
    return {ref, install(work), work};
}

void run_error_channel(int ref, int work) {
    int remaining = lx_compute_error_channel_step(1, ref, 0, work);
    while (remaining > 0) remaining = lx_compute_error_channel_step(0, ref, 0, work);
    ASSERT_EQ(remaining, 0);
}

struct Lap {
    int start;
    int points;
    int original; // logger lap number of an intact lap, else 0
    float cut_offset;
};

void expect_laps(int handle, lx::Session* work, const std::vector<Lap>& want) {
    const lx::Session* cut = lx::lookup_session(handle);
    ASSERT_NE(cut, nullptr);
    ASSERT_EQ(cut->nlaps, static_cast<int>(want.size()));
    for (int l = 0; l < cut->nlaps; ++l) {
        const lx::Lap& lap = cut->laps[l];
        const Lap& w = want[l];
        EXPECT_EQ(lap.npoints, w.points) << l;
        EXPECT_EQ(lap.original, w.original) << l;
        EXPECT_EQ(lap.cut_offset, w.cut_offset) << l;
        float raw = static_cast<float>(w.points / 20.0);
        EXPECT_EQ(lap.raw_laptime, raw) << l;
        EXPECT_EQ(lap.laptime, w.original ? work->laps[w.original - 1].laptime : raw) << l;
        // Copied, not rebased: the first time sample tells where the lap began.
        EXPECT_EQ(lap.raw[1][0], sample(work, 1, w.start)) << l;
    }
}

TEST_F(Pipeline, RepeatedLapWithMissedBeaconAndStop) {
    Matching m = matched_session();
    run_error_channel(m.ref, m.work);
    // At a lap start reference sample k meets working sample k + 1; behind it
    // every pair is equal, so only those forward terms count.
    float forward = 0.0f;
    for (int k = 0; k < N / 2; ++k)
        forward += std::fabs(track_radius(k, N) - track_radius(k + 1, N));
    std::vector<float> errors = samples(m.session, lx::library.error_channel);
    for (int start : LAP_STARTS) EXPECT_EQ(errors[start], forward) << start;

    EXPECT_EQ(lx_locate_laps(m.ref, 0, m.work), 6);
    std::vector<float> marks = samples(m.session, lx::library.beacon_channel);
    EXPECT_EQ(std::count(marks.begin(), marks.end(), 1.0f), 6);
    for (int start : LAP_STARTS) {
        EXPECT_EQ(marks[start], 1.0f) << start;
        // 0.3 of the 215.5 m lap each way: at least 20 samples on this track.
        for (int d = 1; d < 20; ++d) EXPECT_EQ(marks[start - d] + marks[start + d], -2.0f) << start;
    }

    // Mode 2 cuts at the detections; a detection measures 9 m to the beacon
    // ahead, or back over a whole lap (206.5 m) when the next cut is no beacon.
    const float far = -206.5f;
    std::vector<Lap> at_detections{{0, 50, 0, 9},   {50, 80, 0, 9},    {130, 80, 0, far},
                                   {210, 80, 0, 9}, {290, 80, 0, far}, {370, 3, 0, 0},
                                   {373, 77, 0, 9}, {450, 80, 0, 0}};
    expect_laps(lx_new_session_from_beacons(m.ref, 0, m.work, LX_CUT_BEACON_SHIFT, 0.0f), m.session,
                at_detections);
    EXPECT_EQ(lx_get_beacon_shift(m.work), static_cast<float>((4 * 9.0 + 2 * far) / 6));
    int other = lx_new_session_from_beacons(m.ref, 0, m.work, 5, 0.0f);
    EXPECT_EQ(lx_num_laps(other), 8);
    EXPECT_EQ(lx_get_beacon_shift(m.work), 0.0f);

    // Mode 1 keeps the beacons confirmed within 9 m (the tolerance itself
    // counts), and with them the logger laps whole, on the logger's times;
    // the cut ends where its recording did.
    m.session->record = new lx::SessionRecord{};
    m.session->record->ends_at_mark = true;
    m.session->record->logger_ms = {1001, 2002, 3003, 4004, 5005, 6006};
    int h1 = lx_new_session_from_beacons(m.ref, 0, m.work, LX_CUT_SNAP, 9.0f);
    lx_lap_info lap[8];
    for (int l = 0; l < 8; ++l) lx_lap_info_get(h1, l, &lap[l]);
    EXPECT_EQ(std::vector<double>({lap[0].laptime, lap[2].laptime, lap[7].laptime}),
              std::vector<double>({1.001, lap[2].sample_time, 6.006}));
    EXPECT_EQ(std::vector<int>({lap[0].lap_class, lap[7].lap_class}),
              std::vector<int>({LX_LAP_OUT, LX_LAP_FULL}));
    expect_laps(h1, m.session,
                {{0, 53, 1, 0},
                 {53, 80, 2, 0},
                 {133, 77, 0, 0},
                 {210, 83, 0, 0},
                 {293, 77, 0, 0},
                 {370, 3, 0, 0},
                 {373, 80, 5, 0},
                 {453, 77, 6, 0}});

    // Mode 0 cuts at the same places and measures no shift.
    for (Lap& lap : at_detections) lap.cut_offset = 0.0f;
    expect_laps(lx_new_session_from_beacons(m.ref, 0, m.work, LX_CUT_MATCHES, 9.0f), m.session,
                at_detections);

    std::vector<float> times = samples(lx::lookup_session(h1), 1);
    {
        StdoutCapture quiet;
        lx_free_session(m.work);
    }
    EXPECT_EQ(bits(samples(lx::lookup_session(h1), 1)), bits(times))
        << "the cut session stands alone";
}

} // namespace
