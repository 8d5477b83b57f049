#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

#include "base/units.h"
#include "channels/channels.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

using SetupExports = FreshSessions;

TEST_F(SetupExports, SessionSetupAppendsSixChannelsAndTheMotecMapping) {
    lx::Session* s = make_session({3, 0, 2}, 10, 2);
    int h = install(s);
    ASSERT_EQ(lx_session_setup(h), 1);
    EXPECT_EQ(s->nchannels, 11);
    const char* names[] = {"i_latg", "i_longg", "i_distance", "i_seglen", "i_speed", "i_radius"};
    const char* units[] = {"g", "g", "m", "m", "ms", "m"};
    int ids[] = {LX_CHANNEL_LAT_G,          LX_CHANNEL_LONG_G, LX_CHANNEL_DISTANCE,
                 LX_CHANNEL_SEGMENT_LENGTH, LX_CHANNEL_SPEED,  LX_CHANNEL_CURVATURE};
    for (int i = 0; i < 6; ++i) {
        EXPECT_STREQ(s->channels[5 + i].name, names[i]);
        EXPECT_STREQ(s->channels[5 + i].unit, units[i]);
        EXPECT_EQ(lx_channel_number(h, ids[i]), 5 + i) << names[i];
    }
    const lx::Channel& speed = s->channels[s->i_speed];
    EXPECT_STREQ(speed.motec_name, "speed");
    EXPECT_STREQ(speed.motec_unit, "mile/h");
    EXPECT_EQ(speed.motec_id, 176);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(speed.scale), 0x400F29F7u);
    // The single-precision constants, bit for bit.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(lx::MPH_TO_MS), 0x3EE4E26Du);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(lx::KMH_TO_MS), 0x3E8E38E4u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(lx::MS2_TO_G), 0x3DD0CE98u);
    EXPECT_STREQ(s->channels[s->i_latg].motec_name, "latg");
    EXPECT_EQ(s->channels[s->i_latg].motec_id, 15);
    EXPECT_EQ(s->channels[s->i_longg].motec_id, 16);
    EXPECT_EQ(s->channels[s->i_longg].scale, 1.0f);
    EXPECT_EQ(s->channels[s->i_radius].motec_id, 0);
    // A second call appends a fresh set; the fields name the newest one.
    ASSERT_EQ(lx_session_setup(h), 1);
    EXPECT_EQ(lx_channel_number(h, LX_CHANNEL_SPEED), 15);
}

TEST_F(SetupExports, AnalysisAndBeaconSetupAndUnknownHandles) {
    lx::Session* a = make_session({3}, 10);
    lx::Session* b = make_session({2, 2}, 10, 4);
    int ha = install(a), hb = install(b);
    TraceSwitches trace(1, 1);
    StdoutCapture out;
    ASSERT_EQ(lx_analysis_setup(ha), 1);
    EXPECT_STREQ(a->channels[a->i_tdiff].name, "i_tdiff");
    EXPECT_STREQ(a->channels[a->i_tdiff_dt].name, "i_tdiff_dt");
    EXPECT_STREQ(a->channels[a->i_tdiff_dt].unit, "m");
    EXPECT_EQ(a->i_tdiff_dt, 4);
    // The error and beacon channels follow the last session set up.
    ASSERT_EQ(lx_beacon_setup(ha), 1);
    ASSERT_EQ(lx_beacon_setup(hb), 1);
    EXPECT_EQ(lx::library.error_channel, 7);
    EXPECT_EQ(lx::library.beacon_channel, 8);
    EXPECT_STREQ(b->channels[8].name, "i_beacon");
    std::string expected = "lx_analysis_setup(1)\nAdding extra channels to session "
                           "'memory.txt'\nlx_beacon_setup(1)\nlx_beacon_setup(2)\n";
    for (int bad : {0, -1, 11, 9, -2147483647 - 1}) {
        EXPECT_EQ(lx_session_setup(bad) + lx_analysis_setup(bad) + lx_beacon_setup(bad), 0);
        for (const char* name : {"lx_session_setup", "lx_analysis_setup", "lx_beacon_setup"})
            expected += std::string(name) + "(" + std::to_string(bad) + ")\n";
    }
    EXPECT_EQ(out.text(), expected);
}

} // namespace
