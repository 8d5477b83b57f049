#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/analysis.h"
#include "lx.h"
#include "support.h"
#include "track.h"

using namespace lxtest;
using lx::ERROR_UNSET;

namespace {

class Locate : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override { close_all_sessions(); }
};

// A session that serves as its own reference: unit segments, the given errors,
// and a reference lap length that sets the exclusion half-width (0.3 x length).
lx::Session* session_with_errors(const std::vector<int>& laps, const std::vector<float>& errors,
                                 float ref_lap_length) {
    lx::Session* s = make_session(laps, 10);
    add_matching_channels(s);
    fill_by_index(s, s->i_seglen, [](int) { return 1.0f; });
    fill_by_index(s, lx::library.error_channel, [&](int i) { return errors[i]; });
    s->laps[0].lap_length = ref_lap_length;
    return s;
}

std::vector<float> marks(const lx::Session* s) {
    return samples(s, lx::library.beacon_channel);
}

TEST_F(Locate, OneClearMinimumIsOneMatch) {
    lx::Session* s =
        session_with_errors({3, 4}, {ERROR_UNSET, 10, 10, 2, 10, 10, ERROR_UNSET}, 10.0f);
    int h = install(s);
    sample(s, lx::library.beacon_channel, 6) = 1.0f; // an earlier call's mark
    {
        TraceSwitches trace(1, 1);
        StdoutCapture out;
        EXPECT_EQ(lx_locate_laps(h, 0, h), 1);
        // Unset samples count neither in the average (42 / 5) nor as candidates.
        EXPECT_EQ(out.text(), "lx_locate_laps(1,0,1)\n"
                              "Average error = 8.4\n"
                              "Lap match #1 (76.2) found at lap 1, point 0\n");
    }
    // Three metres each way, the match included, across the lap boundary.
    EXPECT_EQ(marks(s), (std::vector<float>{0, -1, -1, 1, -1, -1, 0}));

    // A reference lap of length 0 leaves only the match marked; the next best,
    // a free 10.0, is far worse than the average.
    s->laps[0].lap_length = 0.0f;
    EXPECT_EQ(lx_locate_laps(h, 0, h), 1);
    EXPECT_EQ(marks(s), (std::vector<float>{0, 0, 0, 1, 0, 0, 0}));
}

TEST_F(Locate, ZonesAreClippedAtTheSessionsEnds) {
    std::vector<float> errors(15, 50.0f);
    errors[1] = 5.0f;
    errors[13] = 6.0f;
    errors[7] = 20.0f;
    lx::Session* s = session_with_errors({3, 5, 7}, errors, 10.0f);
    int h = install(s);
    EXPECT_EQ(lx_locate_laps(h, 0, h), 3);
    EXPECT_EQ(marks(s),
              (std::vector<float>{-1, 1, -1, -1, 0, -1, -1, 1, -1, -1, 0, -1, -1, 1, -1}));
    EXPECT_EQ(lx_locate_laps(h, 0, h), 3) << "a second call finds the same";
    EXPECT_EQ(marks(s),
              (std::vector<float>{-1, 1, -1, -1, 0, -1, -1, 1, -1, -1, 0, -1, -1, 1, -1}));
}

TEST_F(Locate, EqualMinimaInsideOneZoneGiveTheEarlierSample) {
    std::vector<float> errors(12, 40.0f);
    errors[4] = 3.0f;
    errors[6] = 3.0f;
    lx::Session* s = session_with_errors({12}, errors, 10.0f);
    int h = install(s);
    EXPECT_EQ(lx_locate_laps(h, 0, h), 1);
    EXPECT_EQ(marks(s), (std::vector<float>{0, 0, -1, -1, 1, -1, -1, 0, 0, 0, 0, 0}));
}

TEST_F(Locate, LaterZoneMayOverwriteAnEarlierMatch) {
    std::vector<float> errors(14, 40.0f);
    errors[7] = 5.0f;
    errors[10] = 6.0f;
    lx::Session* s = session_with_errors({14}, errors, 10.0f);
    // Long before sample 10, short after sample 7: the first zone stops short
    // of 10, the second reaches back over 7.
    for (int i : {8, 9, 10}) sample(s, s->i_seglen, i) = 0.5f;
    sample(s, s->i_seglen, 7) = 2.0f;
    int h = install(s);
    EXPECT_EQ(lx_locate_laps(h, 0, h), 2);
    std::vector<float> m = marks(s);
    EXPECT_EQ(m[7], -1.0f);
    EXPECT_EQ(m[10], 1.0f);
}

TEST_F(Locate, UncomputedOrUnsetErrorsGiveNoMatch) {
    lx::Session* s = session_with_errors({6}, std::vector<float>(6, 0.0f), 10.0f);
    int h = install(s);
    EXPECT_EQ(lx_locate_laps(h, 0, h), 0) << "an average of 0 gives no quality";
    EXPECT_EQ(marks(s), std::vector<float>(6, 0.0f));

    fill_by_index(s, lx::library.error_channel, [](int) { return ERROR_UNSET; });
    EXPECT_EQ(lx_locate_laps(h, 0, h), 0);
    EXPECT_EQ(lx::average_error(s, lx::library.error_channel), 0.0f);
}

TEST_F(Locate, NoCandidateEndsTheSearchWhateverTheAverage) {
    // Only reachable when the marks were not cleared first: a negative average
    // would otherwise rate the missing candidate far above the threshold.
    lx::Session* s = session_with_errors({3}, {-4, -4, ERROR_UNSET}, 10.0f);
    fill_by_index(s, lx::library.beacon_channel, [](int i) { return i < 2 ? -1.0f : 0.0f; });
    EXPECT_EQ(lx::find_lap_matches(s, 0, s, lx::library.error_channel, s->i_seglen,
                                   lx::library.beacon_channel, {0, 1}),
              0);
    EXPECT_EQ(marks(s), (std::vector<float>{-1, -1, 0}));
    lx::free_session(s);
}

TEST_F(Locate, RefusedCallsLeaveTheMarks) {
    lx::Session* s = session_with_errors({5}, {9, 9, 1, 9, 9}, 10.0f);
    int h = install(s);
    fill_by_index(s, lx::library.beacon_channel, [](int) { return 0.5f; });
    StdoutCapture out;
    EXPECT_EQ(lx_locate_laps(0, 0, h), -1);
    EXPECT_EQ(lx_locate_laps(h, 0, 11), -1);
    EXPECT_EQ(lx_locate_laps(h, 1, h), -1);
    EXPECT_EQ(lx_locate_laps(h, -1, h), -1);
    const int speed = s->i_speed;
    s->i_speed = 0;
    EXPECT_EQ(lx_locate_laps(h, 0, h), -1);
    s->i_speed = speed;
    const int beacon = lx::library.beacon_channel;
    lx::library.beacon_channel = s->nchannels;
    EXPECT_EQ(lx_locate_laps(h, 0, h), -1);
    lx::library.beacon_channel = 0;
    EXPECT_EQ(lx_locate_laps(h, 0, h), -1);
    lx::library.beacon_channel = beacon;
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(marks(s), std::vector<float>(5, 0.5f));
}

// The whole matching on a session that repeats a track lap: lap starts known
// to the sample.
TEST_F(Locate, MatchesLandOnTheRepeatedLapStarts) {
    const int n = 80;
    TrackLap track = make_track_lap(n);
    lx::Session* ref = make_session({n}, 20);
    add_matching_channels(ref);
    fill_by_index(ref, ref->i_radius, [&](int k) { return track.radius[k]; });
    fill_by_index(ref, ref->i_seglen, [&](int k) { return track.seglen[k]; });
    set_lap_lengths(ref);
    int r = install(ref);
    // Starts 50 samples into a lap, then five whole laps and 50 samples more.
    const int offset = n - 50;
    lx::Session* work = make_session({70, 150, 100, 130}, 20);
    add_matching_channels(work);
    fill_by_index(work, work->i_radius, [&](int i) { return track.radius[(i + offset) % n]; });
    fill_by_index(work, work->i_seglen, [&](int i) { return track.seglen[(i + offset) % n]; });
    set_lap_lengths(work);
    int w = install(work);

    ASSERT_GT(lx_compute_error_channel_step(1, r, 0, w), 0);
    while (lx_compute_error_channel_step(0, r, 0, w) > 0) {
    }
    const std::vector<int> starts{50, 130, 210, 290, 370};
    EXPECT_EQ(lx_locate_laps(r, 0, w), 5);

    std::vector<float> m = marks(work);
    EXPECT_EQ(std::count(m.begin(), m.end(), 1.0f), 5);
    // Zones reach 0.3 of a lap (about 65 m) each way: at least 20 samples here.
    for (int start : starts) {
        EXPECT_EQ(m[start], 1.0f) << start;
        for (int d = 1; d < 20; ++d) {
            EXPECT_EQ(m[start - d], -1.0f) << start - d;
            EXPECT_EQ(m[start + d], -1.0f) << start + d;
        }
    }
    EXPECT_EQ(lx_locate_laps(r, 0, w), 5);
    EXPECT_EQ(marks(work), m) << "a second call gives the same marks";
}

} // namespace
