#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

using Motec = FreshSessions;

void map_channel(lx::Session* s, int c, const char* name, const char* unit, int id, float scale,
                 float offset) {
    lx::Channel& ch = s->channels[c];
    lx::copy_text(ch.motec_name, name);
    lx::copy_text(ch.motec_unit, unit);
    ch.motec_id = id;
    ch.scale = scale;
    ch.offset = offset;
}

void fill(lx::Session* s, int lap, int c, std::initializer_list<float> values) {
    std::copy(values.begin(), values.end(), s->laps[lap].raw[c]);
}

// Logger channels Idx, Time, Distance, c3, then speed and lateral g mapped as
// the session setup maps them, and an oil temperature mapped with an offset.
int small_session() {
    lx::Session* s = make_session({3, 0}, 20, 1);
    lx::copy_text(s->venue, "Test Track");
    lx::copy_text(s->channels[1].unit, "s");
    lx::copy_text(s->channels[2].unit, "m");
    int speed = lx::add_channel(s, "i_speed", "ms", lx::STANDARD_OUTPUT);
    int latg = lx::add_channel(s, "i_latg", "g", lx::STANDARD_OUTPUT);
    int oil = lx::add_channel(s, "oil", "C", lx::STANDARD_OUTPUT);
    map_channel(s, speed, "speed", "mile/h", 176, std::bit_cast<float>(std::uint32_t{0x400F29F7}),
                0.0f);
    map_channel(s, latg, "latg", "g", 15, 1.0f, 0.0f);
    map_channel(s, oil, "Oil Temp", "F", 200, 1.8f, 32.0f);
    s->laps[0].number = 3;
    s->laps[0].raw_laptime = 83.456f;
    s->laps[1].raw_laptime = 9.5f;
    fill(s, 0, 0, {7, 8, 9});
    fill(s, 0, 2, {0, 0.5f, 1.25f});
    fill(s, 0, 3, {0.5f, -2, 1e6f});
    fill(s, 0, speed, {10, 0, 20});
    fill(s, 0, latg, {0.25f, -1.5f, 0});
    fill(s, 0, oil, {100, 0, -40});
    return install(s);
}

std::string header(const std::string& venue, const std::string& vehicle, const std::string& user,
                   const std::string& rate) {
    return "Format,MoTeC CSV File\r\nVenue," + venue + "\r\nVehicle," + vehicle + "\r\nUser," +
           user +
           "\r\nData Source,MoTeC ADL 2\r\nComment,Exported by lx\r\nDate,1/1/2005\r\n"
           "Time,12:00:00\r\nSample Rate," +
           rate + "\r\n";
}

const std::string HEADER_START = header("Test Track", "", "", "20.0");

const std::string CHANNEL_ROWS = "Time,Distance,c3,speed,latg,Oil Temp,\r\n"
                                 "Time,Distance,c3,i_speed,i_latg,oil,\r\n"
                                 "s,m,,mile/h,g,F,\r\n"
                                 ",,,176,15,200,\r\n"
                                 "\r\n";

TEST_F(Motec, LapIsWrittenByteForByte) {
    int h = small_session();
    std::string path = temp_path(".csv");
    {
        StdoutCapture out;
        ASSERT_EQ(lx_write_lap_motec(h, 0, path.c_str()), 1);
        EXPECT_EQ(out.text(), "");
    }
    EXPECT_EQ(read_file(path), HEADER_START +
                                   "Duration,83.456\r\n"
                                   "Segment,Lap 3 - 1:23.456\r\n"
                                   "\r\n" +
                                   CHANNEL_ROWS +
                                   "0.0000,0.0000,0.5000,22.3694,0.2500,212.0000,\r\n"
                                   "0.0500,0.5000,-2.0000,0.0000,-1.5000,32.0000,\r\n"
                                   "0.1000,1.2500,1000000.0000,44.7387,0.0000,-40.0000,\r\n");

    // A lap without samples, over the same file.
    ASSERT_EQ(lx_write_lap_motec(h, 1, path.c_str()), 1);
    EXPECT_EQ(read_file(path), HEADER_START +
                                   "Duration,9.500\r\n"
                                   "Segment,Lap 2 - 0:09.500\r\n"
                                   "\r\n" +
                                   CHANNEL_ROWS);
}

} // namespace
