#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "beacons/beacons.h"
#include "lx.h"
#include "support.h"
#include "track.h"

using namespace lxtest;

namespace {

using NewSession = FreshSessions;

// Logger laps at 10 Hz with two extra file channels and filled-in descriptions.
lx::Session* working_session(const std::vector<int>& laps) {
    lx::Session* s = matching_session(laps, 10, unit, unit, 2);
    lx::copy_text(s->venue, "venue");
    lx::copy_text(s->channels[4].motec_name, "oil");
    s->channels[4].motec_id = 7;
    s->speed_source = 3;
    s->longg_source = 2;
    s->i_latg = s->i_distance; // well-known channels are not carried over
    fill_by_index(s, 4, [](int i) { return 4000.0f + i; });
    for (int l = 0; l < s->nlaps; ++l) s->laps[l].laptime = 3.0f + l;
    return s;
}

TEST_F(NewSession, CopiesTheFileChannelsOnly) {
    lx::Session* work = working_session({4, 7, 5});
    int w = install(work);
    const lx::Session* cut =
        lx::lookup_session(lx_new_session_from_beacons(w, 0, w, LX_CUT_MATCHES, 1.0f));
    ASSERT_NE(cut, nullptr);
    EXPECT_STREQ(cut->filename, "memory.txt_kx");
    EXPECT_STREQ(cut->venue, "venue");
    EXPECT_EQ(cut->nchannels, 5);
    EXPECT_EQ(cut->nfile_channels, 5);
    EXPECT_STREQ(cut->channels[4].motec_name, "oil");
    EXPECT_EQ(cut->channels[4].motec_id, 7);
    EXPECT_EQ(cut->speed_source, 3);
    EXPECT_EQ(cut->longg_source, 0);
    for (int id = 0; id < 10; ++id) EXPECT_EQ(lx::well_known_channel(cut, id), 0) << id;
    // No cut: one lap over three logger laps, so not one of them intact.
    ASSERT_EQ(cut->nlaps, 1);
    EXPECT_EQ(cut->laps[0].number, 1);
    EXPECT_EQ(cut->laps[0].original, 0);
    EXPECT_EQ(cut->laps[0].laptime, 1.6f);
    EXPECT_EQ(cut->laps[0].lap_length, 16.0f);
    for (int c = 0; c < 5; ++c)
        for (int i = 0; i < 16; ++i) ASSERT_EQ(cut->laps[0].raw[c][i], sample(work, c, i));

    // A single logger lap comes back whole, with its number and time; a name
    // that fills the field is shortened to keep the suffix.
    lx::Session* single = working_session({9});
    single->laps[0].number = 4;
    std::string name(lx::TEXT_SIZE - 1, 'n');
    lx::copy_text(single->filename, name.c_str());
    int s = install(single);
    const lx::Session* whole =
        lx::lookup_session(lx_new_session_from_beacons(s, 0, s, LX_CUT_MATCHES, 1.0f));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->laps[0].original, 4);
    EXPECT_EQ(whole->laps[0].laptime, 3.0f);
    EXPECT_EQ(whole->laps[0].raw_laptime, 0.9f);
    EXPECT_EQ(std::string(whole->filename), name.substr(0, lx::TEXT_SIZE - 4) + "_kx");
}

TEST_F(NewSession, MoreCutsThanLapsOrListEntriesAreRefused) {
    lx::Session* work = working_session({600});
    int w = install(work);
    auto detect_below = [&](int end) {
        fill_by_index(work, lx::library.beacon_channel, [end](int i) { return i > 0 && i < end; });
    };
    detect_below(130);
    StdoutCapture out;
    EXPECT_EQ(lx_new_session_from_beacons(w, 0, w, LX_CUT_MATCHES, 1.0f), 0);
    detect_below(300);
    EXPECT_EQ(lx_new_session_from_beacons(w, 0, w, LX_CUT_MATCHES, 1.0f), 0);
    EXPECT_EQ(out.text(),
              "Error: 130 laps do not fit in a session! (new_session_from_cutlist)\n"
              "Error: 300 cuts do not fit in the cut list! (lx_new_session_from_beacons)\n");
    detect_below(128);
    int h = lx_new_session_from_beacons(w, 0, w, LX_CUT_MATCHES, 1.0f);
    ASSERT_GT(h, 0) << "exactly 128 laps fit";
    EXPECT_EQ(lx::lookup_session(h)->laps[127].npoints, 600 - 127);
}

TEST_F(NewSession, BeaconShiftIsKeptByBothSessions) {
    lx::Session* work = working_session({10, 10});
    sample(work, lx::library.beacon_channel, 6) = 1.0f; // 4 m before the beacon at 10
    int w = install(work);
    int h = lx_new_session_from_beacons(w, 0, w, LX_CUT_BEACON_SHIFT, 1.0f);
    EXPECT_EQ(lx::lookup_session(h)->laps[0].cut_offset, 4.0f);
    {
        TraceSwitches trace(1, 1);
        StdoutCapture out;
        EXPECT_EQ(lx_get_beacon_shift(0), 0.0f);
        EXPECT_EQ(lx_get_beacon_shift(11), 0.0f);
        EXPECT_EQ(lx_get_beacon_shift(w), 4.0f) << "positive: the beacon lies ahead";
        EXPECT_EQ(lx_get_beacon_shift(h), 4.0f);
        EXPECT_EQ(out.text(), "lx_get_beacon_shift(0)lx_get_beacon_shift(11)"
                              "lx_get_beacon_shift(1) = 4.0\nlx_get_beacon_shift(2) = 4.0\n");
    }
    const int other_modes[] = {LX_CUT_MATCHES, LX_CUT_SNAP, LX_CUT_BEACON_SHIFT + 1};
    for (int mode : other_modes) {
        ASSERT_GT(lx_new_session_from_beacons(w, 0, w, mode, 1.0f), 0);
        EXPECT_EQ(lx_get_beacon_shift(w), 0.0f) << mode;
    }
    // The shift is set before the new session is built: a failed cut keeps it too.
    lx::fail_allocation_at(1);
    EXPECT_EQ(lx_new_session_from_beacons(w, 0, w, LX_CUT_BEACON_SHIFT, 1.0f), 0);
    EXPECT_EQ(lx_get_beacon_shift(w), 4.0f);
}

} // namespace
