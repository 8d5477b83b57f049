#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

#include "channels/channels.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

class Setup : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override { close_all_sessions(); }
};

TEST(SetupConstants, SingleValuesHaveTheirBitPatterns) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(lx::MS_TO_MPH), 0x400F29F7u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(lx::MPH_TO_MS), 0x3EE4E26Du);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(lx::KMH_TO_MS), 0x3E8E38E4u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(lx::MS2_TO_G), 0x3DD0CE98u);
}

TEST_F(Setup, SessionSetupAppendsSixChannelsAndTheMotecMapping) {
    lx::Session* s = make_session({3, 0, 2}, 10, 2);
    int h = install(s);
    ASSERT_EQ(lx_session_setup(h), 1);
    const int n = 5;
    EXPECT_EQ(s->nchannels, n + 6);
    struct Expected {
        const char* name;
        const char* unit;
        int field;
        int id;
    } expected[] = {{"i_latg", "g", s->i_latg, 2},         {"i_longg", "g", s->i_longg, 3},
                    {"i_distance", "m", s->i_distance, 0}, {"i_seglen", "m", s->i_seglen, 4},
                    {"i_speed", "ms", s->i_speed, 1},      {"i_radius", "m", s->i_radius, 5}};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(expected[i].field, n + i);
        EXPECT_EQ(lx_channel_number(h, expected[i].id), n + i);
        EXPECT_STREQ(s->channels[n + i].name, expected[i].name);
        EXPECT_STREQ(s->channels[n + i].unit, expected[i].unit);
        for (int l : {0, 2})
            for (int j = 0; j < s->laps[l].npoints; ++j) EXPECT_EQ(s->laps[l].raw[n + i][j], 0.0f);
    }
    const lx::Channel& latg = s->channels[s->i_latg];
    EXPECT_STREQ(latg.motec_name, "latg");
    EXPECT_STREQ(latg.motec_unit, "g");
    EXPECT_EQ(latg.motec_id, 15);
    EXPECT_EQ(latg.scale, 1.0f);
    EXPECT_STREQ(s->channels[s->i_longg].motec_name, "longg");
    EXPECT_EQ(s->channels[s->i_longg].motec_id, 16);
    const lx::Channel& speed = s->channels[s->i_speed];
    EXPECT_STREQ(speed.motec_name, "speed");
    EXPECT_STREQ(speed.motec_unit, "mile/h");
    EXPECT_EQ(speed.motec_id, 176);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(speed.scale), 0x400F29F7u);
    EXPECT_EQ(speed.offset, 0.0f);
    for (int c : {s->i_distance, s->i_seglen, s->i_radius}) EXPECT_EQ(s->channels[c].motec_id, 0);

    // A second call appends a fresh set; the fields follow the newest one.
    ASSERT_EQ(lx_session_setup(h), 1);
    EXPECT_EQ(s->nchannels, n + 12);
    EXPECT_EQ(lx_channel_number(h, 1), n + 10);
    EXPECT_EQ(s->channels[n + 4].motec_id, 176);
}

TEST_F(Setup, SessionSetupStopsAtTheChannelLimit) {
    lx::Session* s = make_session({4}, 10, 121);
    ASSERT_EQ(s->nchannels, 124);
    int h = install(s);
    StdoutCapture out;
    EXPECT_EQ(lx_session_setup(h), 0);
    EXPECT_EQ(out.text(), "Reached limit for number of channels in session memory.txt\n");
    EXPECT_EQ(s->nchannels, 128);
    EXPECT_EQ(s->i_latg, 124);
    EXPECT_EQ(s->i_seglen, 127);
    EXPECT_EQ(s->i_speed, 0);
    EXPECT_EQ(s->i_radius, 0);
    EXPECT_EQ(s->channels[124].motec_id, 0);
}

TEST_F(Setup, AllocationFailureKeepsEarlierChannelsAndLeaksNothing) {
    lx::Session* s = make_session({4, 5}, 10);
    int h = install(s);
    long live = lx::live_allocations();
    lx::fail_allocation_at(4); // second lap of "i_longg"
    StdoutCapture out;
    EXPECT_EQ(lx_session_setup(h), 0);
    lx::fail_allocation_at(0);
    EXPECT_EQ(out.text(), "Could not allocate memory for channel!\n"
                          "add_channel: lap[1].raw[4], malloc(20)\n");
    EXPECT_EQ(s->i_latg, 3);
    EXPECT_EQ(s->i_longg, 0);
    EXPECT_EQ(s->nchannels, 4);
    EXPECT_EQ(lx::live_allocations(), live + 2);
}

TEST_F(Setup, AnalysisAndBeaconSetup) {
    lx::Session* a = make_session({3}, 10);
    lx::Session* b = make_session({2, 2}, 10, 4);
    int ha = install(a);
    int hb = install(b);
    ASSERT_EQ(lx_analysis_setup(ha), 1);
    EXPECT_EQ(a->i_tdiff, 3);
    EXPECT_EQ(a->i_tdiff_dt, 4);
    EXPECT_EQ(lx_channel_number(ha, 8), 3);
    EXPECT_EQ(lx_channel_number(ha, 9), 4);
    EXPECT_STREQ(a->channels[3].name, "i_tdiff");
    EXPECT_STREQ(a->channels[4].name, "i_tdiff_dt");
    EXPECT_STREQ(a->channels[4].unit, "m");

    ASSERT_EQ(lx_beacon_setup(ha), 1);
    ASSERT_EQ(lx_beacon_setup(hb), 1);
    EXPECT_EQ(lx::library.error_channel, 7);
    EXPECT_EQ(lx::library.beacon_channel, 8);
    EXPECT_STREQ(b->channels[7].name, "i_error");
    EXPECT_STREQ(b->channels[8].name, "i_beacon");
    EXPECT_STREQ(b->channels[8].unit, "");
    EXPECT_EQ(a->nchannels, 7);
}

TEST_F(Setup, UnknownHandlesFailSilently) {
    int h = install(make_session({2}, 10));
    {
        StdoutCapture out;
        lx_free_session(h);
    }
    StdoutCapture out;
    for (int handle : {h, 0, -1, 11, 1 << 30, -2147483647 - 1}) {
        EXPECT_EQ(lx_session_setup(handle), 0);
        EXPECT_EQ(lx_analysis_setup(handle), 0);
        EXPECT_EQ(lx_beacon_setup(handle), 0);
    }
    EXPECT_EQ(out.text(), "");
}

TEST_F(Setup, VerboseTrace) {
    TraceSwitches trace(1, 1);
    int h = install(make_session({2}, 10));
    StdoutCapture out;
    lx_session_setup(h);
    lx_analysis_setup(h);
    lx_beacon_setup(h);
    lx_beacon_setup(9);
    EXPECT_EQ(out.text(), "lx_session_setup(1)\n"
                          "Adding extra channels to session 'memory.txt'\n"
                          "lx_analysis_setup(1)\n"
                          "Adding extra channels to session 'memory.txt'\n"
                          "lx_beacon_setup(1)\n"
                          "lx_beacon_setup(9)\n");
}

} // namespace
