#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../matching/track.h"
#include "beacons/beacons.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

class NewSession : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override {
        lx::fail_allocation_at(0);
        close_all_sessions();
    }
};

// Logger laps of the given sizes at 10 Hz with two extra file channels of
// distinct values, filled-in descriptive fields, and the derived channels.
lx::Session* working_session(const std::vector<int>& laps) {
    lx::Session* s = make_session(laps, 10, 2);
    lx::copy_text(s->driver, "driver");
    lx::copy_text(s->venue, "venue");
    lx::copy_text(s->vehicle, "vehicle");
    lx::copy_text(s->channels[3].unit, "bar");
    lx::copy_text(s->channels[4].motec_name, "oil");
    s->channels[4].motec_id = 7;
    s->channels[4].scale = 2.5f;
    s->speed_source = 3;
    s->latg_source = 4;
    s->longg_source = 2;
    add_matching_channels(s);
    s->i_latg = s->i_distance; // any non-zero well-known channel must not be carried over
    fill_by_index(s, s->i_seglen, [](int) { return 1.0f; });
    for (int c : {0, 2, 3, 4})
        fill_by_index(s, c, [c](int i) { return static_cast<float>(c * 1000 + i); });
    for (int l = 0; l < s->nlaps; ++l) s->laps[l].laptime = 3.0f + l;
    return s;
}

void expect_copied_header(const lx::Session* cut, const lx::Session* work) {
    EXPECT_STREQ(cut->filename, "memory.txt_kx");
    EXPECT_STREQ(cut->driver, "driver");
    EXPECT_STREQ(cut->venue, "venue");
    EXPECT_STREQ(cut->vehicle, "vehicle");
    EXPECT_EQ(cut->nchannels, work->nfile_channels);
    EXPECT_EQ(cut->nfile_channels, work->nfile_channels);
    for (int c = 0; c < work->nfile_channels; ++c) {
        EXPECT_STREQ(cut->channels[c].name, work->channels[c].name);
        EXPECT_STREQ(cut->channels[c].unit, work->channels[c].unit);
        EXPECT_STREQ(cut->channels[c].motec_name, work->channels[c].motec_name);
        EXPECT_EQ(cut->channels[c].motec_id, work->channels[c].motec_id);
        EXPECT_EQ(cut->channels[c].scale, work->channels[c].scale);
    }
    EXPECT_EQ(cut->sample_rate, 10.0f);
    EXPECT_EQ(cut->speed_source, 3);
    EXPECT_EQ(cut->latg_source, 4);
    EXPECT_EQ(cut->longg_source, 0);
    for (int id = 0; id < 10; ++id) EXPECT_EQ(lx::well_known_channel(cut, id), 0) << id;
}

TEST_F(NewSession, NoCutGivesOneLapCoveringTheWholeSession) {
    lx::Session* work = working_session({4, 7, 5});
    int w = install(work);
    int h = lx_new_session_from_beacons(w, 0, w, 0, 10.0f);
    ASSERT_EQ(h, 2);
    const lx::Session* cut = lx::lookup_session(h);
    expect_copied_header(cut, work);
    ASSERT_EQ(cut->nlaps, 1);
    const lx::Lap& lap = cut->laps[0];
    EXPECT_EQ(lap.npoints, 16);
    EXPECT_EQ(lap.number, 1);
    EXPECT_EQ(lap.original, 0) << "three logger laps are no single one";
    EXPECT_EQ(lap.laptime, 1.6f);
    EXPECT_EQ(lap.raw_laptime, 1.6f);
    EXPECT_EQ(lap.lap_length, 16.0f);
    for (int c = 0; c < cut->nchannels; ++c)
        for (int i = 0; i < 16; ++i) ASSERT_EQ(lap.raw[c][i], sample(work, c, i)) << c << " " << i;

    // A single logger lap comes back whole, with its own number and time.
    lx::Session* single = working_session({9});
    single->laps[0].number = 4;
    int s = install(single);
    const lx::Session* whole = lx::lookup_session(lx_new_session_from_beacons(s, 0, s, 0, 10.0f));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->laps[0].original, 4);
    EXPECT_EQ(whole->laps[0].laptime, 3.0f);
    EXPECT_EQ(whole->laps[0].raw_laptime, 0.9f);
}

TEST_F(NewSession, LapsFollowTheCutsAndOwnTheirSamples) {
    lx::Session* work = working_session({6, 6, 6});
    for (int i : {3, 9, 14}) sample(work, lx::library.beacon_channel, i) = 1.0f;
    int w = install(work);
    int h = lx_new_session_from_beacons(w, 0, w, 0, 10.0f);
    ASSERT_GT(h, 0);
    lx::Session* cut = lx::lookup_session(h);
    const std::vector<int> starts{0, 3, 9, 14, 18};
    ASSERT_EQ(cut->nlaps, 4);
    std::vector<std::vector<float>> copied;
    for (int l = 0; l < cut->nlaps; ++l) {
        const lx::Lap& lap = cut->laps[l];
        EXPECT_EQ(lap.number, l + 1);
        ASSERT_EQ(lap.npoints, starts[l + 1] - starts[l]);
        EXPECT_EQ(lap.lap_length, static_cast<float>(lap.npoints));
        // Samples keep their values: time and distance are not rebased.
        for (int j = 0; j < lap.npoints; ++j) {
            EXPECT_EQ(lap.raw[1][j], sample(work, 1, starts[l] + j));
            EXPECT_EQ(lap.raw[4][j], sample(work, 4, starts[l] + j));
        }
        copied.emplace_back(lap.raw[4], lap.raw[4] + lap.npoints);
    }
    {
        StdoutCapture quiet;
        lx_free_session(w);
    }
    for (int l = 0; l < cut->nlaps; ++l)
        EXPECT_EQ(
            std::vector<float>(cut->laps[l].raw[4], cut->laps[l].raw[4] + cut->laps[l].npoints),
            copied[l]);
    EXPECT_EQ(lx_channel_max(h, 4), 4017.0f);
}

TEST_F(NewSession, LongNameKeepsItsSuffix) {
    lx::Session* work = working_session({5});
    std::string name(lx::TEXT_SIZE - 1, 'n');
    lx::copy_text(work->filename, name.c_str());
    int w = install(work);
    const lx::Session* cut = lx::lookup_session(lx_new_session_from_beacons(w, 0, w, 0, 1.0f));
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(std::string(cut->filename), name.substr(0, lx::TEXT_SIZE - 4) + "_kx");
}

TEST_F(NewSession, FailedAllocationsLeaveNothingBehind) {
    lx::Session* work = working_session({5, 5});
    sample(work, lx::library.beacon_channel, 2) = 1.0f; // 3 m before the beacon at 5
    int w = install(work);
    int failures = 0;
    for (long n = 1;; ++n) {
        work->beacon_shift = 99.0f;
        long before = lx::live_allocations();
        int open = lx::library.open_sessions;
        lx::fail_allocation_at(n);
        StdoutCapture out;
        int h = lx_new_session_from_beacons(w, 0, w, 2, 10.0f);
        std::string printed = out.text();
        bool failed = !lx::allocation_failure_pending();
        lx::fail_allocation_at(0);
        if (!failed) {
            EXPECT_GT(h, 0);
            break;
        }
        SCOPED_TRACE("allocation " + std::to_string(n));
        ++failures;
        EXPECT_EQ(h, 0);
        EXPECT_EQ(lx::live_allocations(), before);
        EXPECT_EQ(lx::library.open_sessions, open);
        EXPECT_EQ(work->beacon_shift, 3.0f) << "set before building, failure or not";
        EXPECT_EQ(printed, n == 1 ? "" : "Error allocating memory! (new_session_from_cutlist)\n");
    }
    // The session, then two laps of five file channels.
    EXPECT_EQ(failures, 1 + 2 * 5);
}

TEST_F(NewSession, NoFreeHandleKeepsNothing) {
    int w = install(working_session({5}));
    for (int i = 1; i < lx::MAX_SESSIONS; ++i) install(make_session({1}, 10));
    long before = lx::live_allocations();
    StdoutCapture out;
    EXPECT_EQ(lx_new_session_from_beacons(w, 0, w, 0, 1.0f), 0);
    EXPECT_EQ(out.text(), "Maximum number of sessions reached\n");
    EXPECT_EQ(lx::live_allocations(), before);
}

TEST_F(NewSession, MoreCutsThanLapsOrListEntriesAreRefused) {
    lx::Session* work = working_session({600});
    for (int i = 1; i < 130; ++i) sample(work, lx::library.beacon_channel, i) = 1.0f;
    int w = install(work);
    long before = lx::live_allocations();
    {
        StdoutCapture out;
        EXPECT_EQ(lx_new_session_from_beacons(w, 0, w, 0, 1.0f), 0);
        EXPECT_EQ(out.text(),
                  "Error: 130 laps do not fit in a session! (new_session_from_cutlist)\n");
    }
    for (int i = 1; i < 300; ++i) sample(work, lx::library.beacon_channel, i) = 1.0f;
    {
        StdoutCapture out;
        EXPECT_EQ(lx_new_session_from_beacons(w, 0, w, 0, 1.0f), 0);
        EXPECT_EQ(out.text(),
                  "Error: 300 cuts do not fit in the cut list! (lx_new_session_from_beacons)\n");
    }
    EXPECT_EQ(lx::live_allocations(), before);
    EXPECT_EQ(lx::library.open_sessions, 1);

    // Exactly 128 laps still fit.
    fill_by_index(work, lx::library.beacon_channel, [](int i) { return i > 0 && i < 128; });
    int h = lx_new_session_from_beacons(w, 0, w, 0, 1.0f);
    ASSERT_GT(h, 0);
    EXPECT_EQ(lx_num_laps(h), 128);
    EXPECT_EQ(lx::lookup_session(h)->laps[127].npoints, 600 - 127);
}

TEST_F(NewSession, BeaconShiftIsKeptByBothSessions) {
    lx::Session* work = working_session({10, 10});
    sample(work, lx::library.beacon_channel, 6) = 1.0f; // 4 m before the beacon at 10
    int w = install(work);
    int h = lx_new_session_from_beacons(w, 0, w, 2, 1.0f);
    ASSERT_GT(h, 0);
    EXPECT_EQ(lx_get_beacon_shift(w), 4.0f) << "the beacon lies ahead";
    EXPECT_EQ(lx_get_beacon_shift(h), 4.0f);
    EXPECT_EQ(lx::lookup_session(h)->laps[0].cut_offset, 4.0f);
    {
        TraceSwitches trace(1, 1);
        StdoutCapture out;
        EXPECT_EQ(lx_get_beacon_shift(0), 0.0f);
        EXPECT_EQ(lx_get_beacon_shift(11), 0.0f);
        EXPECT_EQ(lx_get_beacon_shift(h), 4.0f);
        EXPECT_EQ(out.text(),
                  "lx_get_beacon_shift(0)lx_get_beacon_shift(11)lx_get_beacon_shift(2) = 4.0\n");
    }
    for (int mode : {0, 1, 3}) {
        int other = lx_new_session_from_beacons(w, 0, w, mode, 1.0f);
        ASSERT_GT(other, 0);
        EXPECT_EQ(lx_get_beacon_shift(w), 0.0f) << mode;
        EXPECT_EQ(lx_get_beacon_shift(other), 0.0f) << mode;
        StdoutCapture quiet;
        lx_free_session(other);
    }
}

TEST_F(NewSession, RefusedCallsChangeNothing) {
    lx::Session* work = working_session({10});
    int w = install(work);
    work->beacon_shift = 5.0f;
    StdoutCapture out;
    EXPECT_EQ(lx_new_session_from_beacons(0, 0, w, 2, 1.0f), -1);
    EXPECT_EQ(lx_new_session_from_beacons(w, 0, 12, 2, 1.0f), -1);
    const int seglen = work->i_seglen;
    work->i_seglen = 0;
    EXPECT_EQ(lx_new_session_from_beacons(w, 0, w, 2, 1.0f), -1);
    work->i_seglen = seglen;
    const int error = lx::library.error_channel;
    lx::library.error_channel = 0;
    EXPECT_EQ(lx_new_session_from_beacons(w, 0, w, 2, 1.0f), -1);
    lx::library.error_channel = error;
    lx::library.beacon_channel = -1;
    EXPECT_EQ(lx_new_session_from_beacons(w, 0, w, 2, 1.0f), -1);
    lx::library.beacon_channel = work->nchannels + 5;
    EXPECT_EQ(lx_new_session_from_beacons(w, 0, w, 2, 1.0f), -1);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(work->beacon_shift, 5.0f);
    EXPECT_EQ(lx::library.open_sessions, 1);
}

} // namespace
