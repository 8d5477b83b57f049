#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

constexpr float inf = std::numeric_limits<float>::infinity();

using Store = FreshSessions;

TEST_F(Store, ExtremesSkipNaNAndHandleEmptyLaps) {
    lx::Session* s = make_session({3, 3, 0}, 10);
    float first[] = {3, 1, 4}, second[] = {1, std::nanf(""), 9};
    for (int j = 0; j < 3; ++j) s->laps[0].raw[2][j] = first[j], s->laps[1].raw[2][j] = second[j];
    int h = install(s);
    EXPECT_EQ(lx_channel_max(h, 2), 9.0f);
    EXPECT_EQ(lx_channel_min(h, 2), 1.0f);
    EXPECT_EQ(lx::lap_channel_max(s, 2, 2), -inf); // an empty lap
    EXPECT_EQ(lx::lap_channel_min(s, 2, 2), inf);
    EXPECT_EQ(lx::lap_channel_max(s, 0, 3), 0.0f);
    EXPECT_EQ(lx_channel_max(h, 3), 0.0f);
    lx::Session* zeros = make_session({2}, 10); // of equal extremes the first, to the bit
    zeros->laps[0].raw[2][0] = 0.0f, zeros->laps[0].raw[2][1] = -0.0f;
    EXPECT_FALSE(std::signbit(lx::session_channel_min(zeros, 2)));
    lx::free_session(zeros);
    EXPECT_EQ(lx_channel_min(h, -1), 0.0f);
    EXPECT_EQ(lx_channel_max(h, 1), s->laps[1].raw[1][2]); // Time: the last sample
    lx::Session* empty = make_session({}, 10);
    EXPECT_EQ(lx::session_channel_max(empty, 1), -inf);
    lx::free_session(empty);
    StdoutCapture out;
    EXPECT_EQ(lx_channel_max(0, 1), 0.0f);
    EXPECT_EQ(lx_channel_min(11, 1), 0.0f);
    EXPECT_EQ(lx_channel_number(-5, LX_CHANNEL_SPEED), 0);
    EXPECT_EQ(out.text(), "Exit - no session found.\nExit - no session found.\n"
                          "Exit - no session found.\n");
}

TEST_F(Store, AccessorsRefuseOutOfRange) {
    lx::Session* s = make_session({2, 2}, 10);
    s->i_speed = 7;
    s->i_tdiff_dt = 12;
    int h = install(s);
    EXPECT_EQ(lx_channel_number(h, LX_CHANNEL_SPEED), 7);
    EXPECT_EQ(lx_channel_number(h, LX_CHANNEL_TIME_DIFF_RATE), 12);
    // Distance was not added; the others are no ids.
    const int bad_ids[] = {LX_CHANNEL_DISTANCE, LX_CHANNEL_TIME_DIFF_RATE + 1, -1};
    for (int bad : bad_ids) EXPECT_EQ(lx_channel_number(h, bad), 0);
    EXPECT_EQ(lx::well_known_channel(nullptr, 1), 0);
    const char* name = lx_channel_name(h, 1);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "Time");
    std::int32_t length;
    std::memcpy(&length, name - 4, 4);
    EXPECT_EQ(length, 4);
    for (auto [handle, channel] : {std::pair{h, 3}, {h, -1}, {0, 0}})
        EXPECT_EQ(lx_channel_name(handle, channel), nullptr);
    EXPECT_EQ(lx_num_channels(h), 3);
    EXPECT_EQ(lx_num_laps(h), 2);
    EXPECT_EQ(lx_num_laps(h + 1), 0);
    EXPECT_EQ(lx_num_channels(-3), 0);
    EXPECT_EQ(lx_session_average(0, 0), 0.5f);
    for (int lap : {2, -1}) EXPECT_EQ(lx_lap_length(h, lap), 0.0f);
}

TEST_F(Store, LaptimeTextShowsOriginOrBeaconNoteAndTraces) {
    lx::Session* s = make_session({2}, 10);
    lx::Lap& lap = s->laps[0];
    lap.number = 3;
    lap.laptime = 83.456f;
    lap.raw_laptime = 5.2f;
    lap.lap_length = 123.75f;
    int h = install(s);
    EXPECT_STREQ(lx_laptime_text(h, 0, 0, LX_UNIT_METRES), "3 - 1:23.456");
    EXPECT_STREQ(lx_laptime_text(h, 0, 1, LX_UNIT_FEET), "3 - 0:05.200");
    lap.cut_offset = -12.0f;
    EXPECT_STREQ(lx_laptime_text(h, 0, 0, LX_UNIT_METRES), "3 - 1:23.456 (12.0m after)");
    EXPECT_STREQ(lx_laptime_text(h, 0, 0, LX_UNIT_FEET), "3 - 1:23.456 (39.4ft after)");
    lap.cut_offset = 12.0f;
    EXPECT_STREQ(lx_laptime_text(h, 0, 0, LX_UNIT_METRES), "3 - 1:23.456 (12.0m before)");
    lap.original = 5;
    const char* text = lx_laptime_text(h, 0, 0, 0);
    EXPECT_STREQ(text, "Lap 3 - 1:23.456 (Original #5)");
    EXPECT_EQ(text, lx_channel_name(h, 2)); // one shared buffer
    EXPECT_STREQ(text, "Distance");
    EXPECT_EQ(lx_laptime_text(h, 1, 0, 0), nullptr);
    EXPECT_STREQ(text, "Distance"); // a failed call leaves the buffer alone

    TraceSwitches trace(1, 1);
    StdoutCapture out;
    lx_lap_length(h, 0);
    lx_channel_max(h, 2);
    lx_session_average(4, 5);
    lx_laptime_text(h, 0, 0, 0);
    EXPECT_EQ(out.text(), "lx_lap_length(1,0) = 123.8\nlx_channel_max(2)\n"
                          "lx_average_session(4,5)\nlx_laptime_text(1,0) = Lap 3 - 1:23.456 "
                          "(Original #5)\n");
}

} // namespace
