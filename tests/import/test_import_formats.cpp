// Each CSV format read from a small file with known answers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gen.h"
#include "import_files.h"
#include "lx_data.h"
#include "recording.h"
#include "session/record.h"

using namespace importtest;

namespace {

struct Opened {
    lx::Session* s;
    explicit Opened(const std::string& path, const lx::ImportOptions& options = {}) {
        lx::ImportResult r = import(path, options);
        EXPECT_EQ(r.message, "");
        s = r.session;
    }
    ~Opened() { lx::free_session(s); }
    float at(int lap, int channel, int j) const { return s->laps[lap].raw[channel][j]; }
    int channel(const char* name) const {
        for (int c = 0; c < s->nchannels; ++c)
            if (std::strcmp(s->channels[c].name, name) == 0) return c;
        ADD_FAILURE() << "no channel " << name;
        return 0;
    }
};

void expect_laps(const lx::Session* s, const std::vector<int>& points,
                 const std::vector<float>& laptimes) {
    ASSERT_EQ(s->nlaps, int(points.size()));
    for (int l = 0; l < s->nlaps; ++l) {
        EXPECT_EQ(s->laps[l].npoints, points[l]) << "lap " << l;
        EXPECT_EQ(s->laps[l].laptime, laptimes[l]) << "lap " << l;
        EXPECT_EQ(s->laps[l].raw[1][0], 0.0f);
        EXPECT_EQ(s->laps[l].raw[2][0], 0.0f);
    }
}

} // namespace

TEST(ImportAim, EveryBeaconFormCutsTheSameLaps) {
    const char* forms[] = {"\"Beacon Markers\",\"2.050\",\"5.000\",\"6.500\"",
                           "\"Beacon Markers\",\"2.050, 5.000, 6.500\"",
                           "\"Beacon Markers\",\"2.050 5.000 6.500 \""};
    for (const char* form : forms) {
        Opened o(write_temp_file(aim_export(form), ".csv"));
        ASSERT_NE(o.s, nullptr) << form;
        expect_laps(o.s, {21, 29, 15}, {2.05f, 2.95f, 1.5f});
        EXPECT_FLOAT_EQ(o.s->laps[1].raw_laptime, 2.9f);
        EXPECT_EQ(o.s->laps[2].number, 3);
    }
}

TEST(ImportAim, ValuesUnitsPositionAndMetadata) {
    Opened o(
        write_temp_file(aim_export("\"Beacon Markers\",\"2.050\",\"5.000\",\"6.500\""), ".csv"));
    ASSERT_NE(o.s, nullptr);
    int lat = o.channel("GPS_LatAcc"), water = o.channel("Water"), north = o.channel("North");
    EXPECT_FLOAT_EQ(o.at(1, 1, 28), 2.8f);        // Time restarts at each lap
    EXPECT_NEAR(o.at(1, 2, 10), 10.0f, 1e-4);     // Distance from 10 m/s
    EXPECT_EQ(o.at(1, lat, 3), 0.24f);            // row 24, sign as written
    EXPECT_NEAR(o.at(2, north, 4), 54.0f, 0.01f); // 54 rows north of the origin
    EXPECT_EQ(o.at(2, o.channel("East"), 4), 0.0f);
    EXPECT_STREQ(o.s->channels[o.channel("GPS_Speed")].unit, "km_h");
    EXPECT_STREQ(o.s->channels[water].unit, "C");
    EXPECT_EQ(o.s->record->titles[water].unit, "\xC2\xB0"
                                               "C"); // Latin-1 turned UTF-8
    EXPECT_EQ(o.s->record->format, "AiM CSV");
    EXPECT_STREQ(o.s->venue, "Test \"ring\""); // quotes doubled in the file
    EXPECT_STREQ(o.s->driver, "Ann");
    EXPECT_DOUBLE_EQ(o.s->record->origin_latitude, 45.0);
}

TEST(ImportAim, TimeRestartingAtEachBeacon) {
    Opened o(write_temp_file(restart_export(), ".csv"));
    ASSERT_NE(o.s, nullptr);
    expect_laps(o.s, {11, 11}, {1.05f, 0.95f});
    EXPECT_FLOAT_EQ(o.at(1, 2, 10), 9.5f); // km made metres, from the lap's start
    EXPECT_EQ(o.at(1, 1, 10), 0.95f);      // the short last step on the beacon
    EXPECT_EQ(o.s->laps[1].number, 2);
}

TEST(ImportRaceChrono, UnevenSourcesOnTheGpsRate) {
    Opened o(write_temp_file(racechrono_export(), ".csv"));
    ASSERT_NE(o.s, nullptr);
    expect_laps(o.s, {11, 15, 5}, {1.1f, 1.5f, 0.5f});
    EXPECT_EQ(o.s->record->start_time, 1.7e9);
    EXPECT_EQ(o.at(1, o.channel("speed"), 0), 36.0f);
    EXPECT_EQ(o.at(1, o.channel("lateral_acc"), 0), -0.5f); // AiM's sign
    EXPECT_FLOAT_EQ(o.at(1, o.channel("rpm"), 4), 2500.0f); // t = 1.5 between two OBD rows
    EXPECT_FLOAT_EQ(o.at(0, o.channel("rpm"), 0), 1050.0f); // held before the first
    EXPECT_NEAR(o.at(1, 2, 14), 14.0f, 1e-4);
    EXPECT_EQ(o.at(1, o.channel("East"), 4), 0.0f);            // due north
    EXPECT_NEAR(o.at(1, o.channel("North"), 4), 15.0f, 0.01f); // at 10 m/s
    EXPECT_STREQ(o.s->venue, "Ring");
}

TEST(ImportMotec, RepeatedNamesAndSpacedBeacons) {
    Opened o(write_temp_file(motec_export(), ".csv"));
    ASSERT_NE(o.s, nullptr);
    expect_laps(o.s, {6, 7, 7}, {3.0f, 3.5f, 3.5f});
    EXPECT_EQ(o.at(1, 2, 3), 30.0f);
    EXPECT_EQ(o.at(1, o.channel("Ground_Speed"), 0), 72.0f);
    EXPECT_STREQ(o.s->channels[o.channel("Time_2")].unit, "min");
    EXPECT_EQ(o.s->record->date, "2024-01-01");
}

TEST(ImportOptions, ChannelsRateAndLapWindow) {
    lx::ImportOptions options;
    options.channels = "Water, GPS_LatAcc, Distance";
    options.rate = 5;
    options.first_lap = options.last_lap = 2;
    Opened o(write_temp_file(aim_export("\"Beacon Markers\",\"2.050\",\"5.000\""), ".csv"),
             options);
    ASSERT_NE(o.s, nullptr);
    expect_laps(o.s, {14}, {2.95f});
    EXPECT_EQ(o.s->nchannels, 7); // Sample, Time, Distance, two chosen, East, North
    EXPECT_FLOAT_EQ(o.at(0, 1, 13), 2.6f);
    options = {};
    options.first_lap = 2; // to the last
    Opened rest(write_temp_file(aim_export("\"Beacon Markers\",\"2.050\",\"5.000\""), ".csv"),
                options);
    ASSERT_NE(rest.s, nullptr);
    EXPECT_EQ(rest.s->nlaps, 2);
}

// The text export written from an import reads back with the same bits.
TEST(WriteTextExport, ReadsBackBitForBit) {
    std::string aim = aim_export("\"Beacon Markers\",\"2.050\",\"5.000\"");
    for (const std::string& text : {aim, racechrono_export(), motec_export(), restart_export()}) {
        std::string csv = write_temp_file(text, ".csv"), name = text.substr(0, 20);
        std::string txt = csv + ".txt";
        int direct = lx_open(csv.c_str(), nullptr);
        ASSERT_GT(direct, 0) << lx_last_error();
        ASSERT_EQ(lx_write_text_export(direct, txt.c_str()), LX_OK) << lx_last_error();
        int back = lx_open_aim_xls(txt.c_str());
        ASSERT_GT(back, 0);
        ASSERT_EQ(lxtest::lap_count(back), lxtest::lap_count(direct));
        ASSERT_EQ(lxtest::channel_count(back), lxtest::channel_count(direct));
        for (int l = 0; l < lxtest::lap_count(direct); ++l)
            for (int c = 0; c < lxtest::channel_count(direct); ++c) {
                std::vector<float> a(4096), b(4096);
                int n = lx_lap_samples(direct, l, c, a.data(), 4096);
                ASSERT_EQ(lx_lap_samples(back, l, c, b.data(), 4096), n);
                EXPECT_EQ(std::memcmp(a.data(), b.data(), n * sizeof(float)), 0)
                    << name << " lap " << l << " channel " << c;
            }
        lx_close(direct);
        lx_close(back);
    }
}

TEST(WriteTextExport, RefusesWhatCouldNotBeReadBack) {
    std::string names = "\"Time\"", units = "\"s\"", row = "0";
    for (int c = 0; c < 40; ++c)
        names += ",\"" + std::string(110, 'a' + c % 26) + std::to_string(c) + "\"",
            units += ",\"V\"", row += ",1";
    int h = lx_open(write_temp_file("\"Format\",\"AiM CSV File\"\n\n" + names + "\n" + units +
                                        "\n" + row + "\n",
                                    ".csv")
                        .c_str(),
                    nullptr);
    ASSERT_GT(h, 0) << lx_last_error();
    std::string out = write_temp_file("");
    EXPECT_EQ(lx_write_text_export(h, out.c_str()), LX_ERR_LIMIT);
    EXPECT_NE(std::string(lx_last_error()).find("the text export reads 4095"), std::string::npos);
    EXPECT_EQ(lx_write_text_export(h, nullptr), LX_ERR_ARGUMENT);
    EXPECT_EQ(lx_write_text_export(h + 1, out.c_str()), LX_ERR_HANDLE);
    lx_close(h);
    // A full disk: writing fails though closing succeeds.
    int sample = lx_open(LX_SOURCE_DIR "/examples/sample.txt", nullptr);
    EXPECT_EQ(lx_write_text_export(sample, "/dev/full"), LX_ERR_FILE);
    lx_close(sample);
}

// The arrays come unzeroed: what no column writes reads 0 even in memory that
// a session with values in every channel gave back.
TEST(ImportAim, ChannelsNoColumnFillsReadZero) {
    auto aim = [](bool values) {
        std::string text = "\"Format\",\"AiM CSV File\"\n\n\"Time\",\"Oil\",\"Speed\",\"Lat\","
                           "\"Lon\"\n\"s\",\"bar\",\"km/h\",\"deg\",\"deg\"\n\n";
        for (int i = 0; i < 2000; ++i)
            text += std::to_string(i / 10.0) +
                    (values ? ",7,36," + std::to_string(45 + i * 1e-4) + ",7\n" : ",,,0,0\n");
        return text;
    };
    // The second keeps the first's memory from going back to the system.
    lx::Session* first = import(write_temp_file(aim(true), ".csv")).session;
    Opened second(write_temp_file(aim(true), ".csv"));
    lx::free_session(first);
    Opened o(write_temp_file(aim(false), ".csv"));
    ASSERT_NE(o.s, nullptr);
    for (const char* name : {"Distance", "Oil", "Speed", "East", "North"})
        for (int j = 0; j < o.s->laps[0].npoints; ++j)
            ASSERT_EQ(o.at(0, o.channel(name), j), 0.0f) << name << " " << j;
}

// A minute without rows is filled in on the grid; a title too long for a
// channel name is cut to the 127 characters the name holds, and a cut that
// ends in a space loses it as any name loses its trailing underscores.
TEST(ImportRaceChrono, GapFilledAndLongTitleCut) {
    std::string title(200, 'n'), spaced = std::string(126, 's') + " x";
    Opened o(write_temp_file("RaceChrono\nFormat,3\n\ntimestamp,device_update_rate," + title + "," +
                                 spaced +
                                 "\nunix time,Hz,,\n,100: gps,100: gps,100: gps\n"
                                 "1,10,1,1\n1.1,10,1,1\n61,10,1,1\n",
                             ".csv"));
    ASSERT_NE(o.s, nullptr);
    EXPECT_EQ(o.s->laps[0].npoints, 601);
    EXPECT_EQ(o.s->channels[o.channel(title.substr(0, 127).c_str())].name, title.substr(0, 127));
    std::string cut(126, 's');
    EXPECT_EQ(o.s->channels[o.channel(cut.c_str())].name, cut);
}

// Beacons at the first sample and half a millisecond before the last start
// no lap: the one lap is the second the logger counted.
TEST(ImportAim, BeaconsAtTheFirstAndLastSampleStartNoLap) {
    Opened o(write_temp_file("\"Format\",\"AiM CSV File\"\n\"Beacon Markers\",\"0\","
                             "\"1\"\n\n\"Time\"\n\"s\"\n0\n0.5\n1.0005\n",
                             ".csv"));
    ASSERT_NE(o.s, nullptr);
    EXPECT_EQ(o.s->nlaps, 1);
    EXPECT_EQ(o.s->laps[0].number, 2);
}

// Rows before the first lap number make the lap before it; a position of
// 0, 0 is no fix, so the origin is the first real one: the South Pole.
TEST(ImportRaceChrono, RowsBeforeTheFirstLapNumberAndFix) {
    Opened o(write_temp_file("RaceChrono\nFormat,3\n\ntimestamp,lap_number,device_update_rate,"
                             "latitude,longitude\nunix time,,Hz,deg,deg\n,,100: gps,100: gps,"
                             "100: gps\n1,,10,0,0\n1.1,,10,-90,7\n1.2,5,10,45,7\n"
                             "1.3,5,10,45,7\n",
                             ".csv"));
    ASSERT_NE(o.s, nullptr);
    EXPECT_EQ(o.s->record->origin_latitude, -90.0);
    ASSERT_EQ(o.s->nlaps, 2);
    EXPECT_EQ(o.s->laps[0].number, 4);
    EXPECT_EQ(o.s->laps[1].number, 5);
}

// The generator's recording in each CSV format reads back as the laps it
// drove, timed by the logger to the millisecond.
TEST(ImportGenerated, EveryFormatGivesTheRecordingsLaps) {
    lxgen::SessionPlan plan;
    plan.flying_laps = 2;
    plan.missed_beacon_after = 0;
    plan.gps = true;
    lxgen::Recording r = lxgen::drive_session(plan);
    const char* loggers[] = {"", "lx-gen", "LXG"};
    const double stated_rates[] = {20, 0, 20};
    int f = 0;
    for (auto format :
         {lxgen::Format::aim_csv, lxgen::Format::racechrono_csv, lxgen::Format::motec_csv}) {
        Opened o(write_temp_file(lxgen::write(r, format), ".csv"));
        ASSERT_NE(o.s, nullptr);
        ASSERT_EQ(o.s->nlaps, 4);
        EXPECT_EQ(o.s->record->logger, loggers[f]);
        EXPECT_EQ(o.s->record->stated_rate, stated_rates[f++]);
        for (int l : {1, 2}) { // the logger states its times to the millisecond
            double logger = r.beacon_times[l] - r.beacon_times[l - 1];
            EXPECT_NEAR(o.s->laps[l].laptime, logger, 1.5e-3) << o.s->record->format;
            EXPECT_NEAR(double(o.s->record->logger_ms[l]), logger * 1000, 1.0);
        }
    }
}
