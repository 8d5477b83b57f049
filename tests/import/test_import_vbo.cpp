// VBO files: a generated session read, written and read again; bad headers
// and rows refused with their line and cause; a file cut mid-row.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <sstream>

#include "gen.h"
#include "import/gps_line.h"
#include "import/vbo.h"
#include "lx_data.h"
#include "session/record.h"
#include "session/session.h"
#include "support.h"

namespace {

using lxtest::write_temp_file;

struct Owned {
    lx::Session* s;
    ~Owned() { lx::free_session(s); }
};

int channel(const lx::Session* s, const char* name) {
    for (int c = 0; c < s->nchannels; ++c)
        if (std::strcmp(s->channels[c].name, name) == 0) return c;
    return -1;
}

bool has_note(const lx::Session* s, const std::string& part) {
    for (const std::string& note : s->record->notes)
        if (note.find(part) != std::string::npos) return true;
    return false;
}

lx::Session* read(const std::string& path) {
    lx::ImportResult r = lx::import_vbo(path.c_str(), {});
    EXPECT_NE(r.session, nullptr) << r.message;
    return r.session;
}

// The start gate's numbers as latitude, longitude pairs.
std::string latitude_first(std::string text) {
    std::size_t start = text.find("Start ");
    std::istringstream gate(text.substr(start, text.find('\n', start) - start));
    std::string kind, v[4];
    gate >> kind >> v[0] >> v[1] >> v[2] >> v[3];
    std::string swapped = "Start " + v[1] + " " + v[0] + " " + v[3] + " " + v[2];
    return text.replace(start, text.find(" \xC2\xAC ", start) + 4 - start, swapped + " ");
}

lxgen::Recording recording() {
    lxgen::SessionPlan plan;
    plan.gps = true;
    plan.flying_laps = 3;
    plan.missed_beacon_after = 0;
    plan.sample_rate = 10;
    lxgen::Recording r = lxgen::drive_session(plan);
    r.info.hour = 23, r.info.minute = 58; // the session runs past midnight
    return r;
}

} // namespace

TEST(ImportVbo, GeneratedSessionRoundTrips) {
    lxgen::Recording rec = recording();
    // The gate as its ends, as a point and one along the track, and as its
    // ends with latitude first and its name a plain sixth word, as some
    // writers give them.
    for (int variant : {0, 1, 2}) {
        bool along = variant == 1;
        std::string file = lxgen::write_vbo(rec, {along});
        std::string path = write_temp_file(variant == 2 ? latitude_first(file) : file, ".vbo");
        Owned first{read(path)};
        ASSERT_NE(first.s, nullptr);
        const lx::Session* s = first.s;
        // Laps begin at the logger's beacons, whichever way the gate is
        // written, and once more where the in-lap crosses the line unseen.
        ASSERT_EQ(std::size_t(s->nlaps), rec.lap_starts.size() + 1) << along;
        EXPECT_TRUE(has_note(s, along ? "across the track" : "read as written"));
        EXPECT_TRUE(has_note(s, "start gate \"Start\""));
        long row = 0;
        for (std::size_t l = 0; l < std::size_t(s->nlaps); ++l) {
            if (l < rec.lap_starts.size()) {
                EXPECT_EQ(std::size_t(row), rec.lap_starts[l]) << l;
            }
            long long ms = s->record->logger_ms[l];
            if (l == 0 || l + 1 == std::size_t(s->nlaps)) {
                EXPECT_EQ(ms, -1);
            } else if (l < rec.beacon_times.size()) {
                EXPECT_NEAR(double(ms) / 1000, rec.beacon_times[l] - rec.beacon_times[l - 1],
                            0.003);
            }
            row += s->laps[l].npoints;
        }
        EXPECT_EQ(std::size_t(row), rec.rows()); // no row lost at midnight
        // Lateral g positive in right-hand bends, satellites without their flag.
        int lat = channel(s, "latacc_calc"), sats = channel(s, "satellites");
        ASSERT_GT(lat, 0);
        ASSERT_GT(sats, 0);
        const lx::Lap& lap = s->laps[1];
        for (int j = 0; j < lap.npoints; ++j) {
            std::size_t r = rec.lap_starts[1] + std::size_t(j);
            ASSERT_NEAR(lap.raw[lat][j], rec.at(r, rec.find("Lateral Acc")), 0.0006) << j;
            ASSERT_EQ(lap.raw[sats][j], float(10 + r % 4));
        }
        if (variant != 0) continue;
        // Cut again at the gate it was read with, given as text, and at a proposed line.
        const lx::GpsGate& g = s->record->start_gate;
        double ends[4];
        char text[160];
        std::snprintf(text, sizeof text, "%.10f,%.10f,%.10f,%.10f", g.latitude[0], g.longitude[0],
                      g.latitude[1], g.longitude[1]);
        ASSERT_TRUE(lx::parse_line_text(text, ends)) << text;
        EXPECT_FALSE(lx::parse_line_text(text + std::string(",1"), ends));
        for (const char* bad :
             {"91,0,45,9", "45,181,45,9", "45,9,-91,9", "45,9,45,-181", "45,9,45,9"})
            EXPECT_FALSE(lx::parse_line_text(bad, ends)) << bad;
        std::string why;
        Owned recut{lx::cut_at_line(*s, ends, why)};
        ASSERT_NE(recut.s, nullptr) << why;
        EXPECT_EQ(recut.s->record->logger_ms, s->record->logger_ms);
        ASSERT_EQ(recut.s->nlaps, s->nlaps);
        for (int l = 0; l < s->nlaps; ++l)
            EXPECT_NEAR(recut.s->laps[l].raw_laptime, s->laps[l].raw_laptime, 1e-3) << l;
        Owned proposed{lx::cut_at_proposed_line(*s, why)};
        ASSERT_NE(proposed.s, nullptr) << why;
        EXPECT_EQ(why.rfind("start line proposed at ", 0), 0u) << why;
        EXPECT_GE(proposed.s->nlaps, int(rec.lap_starts.size()));
        std::string again = lxtest::temp_path(".vbo");
        lx::WriteResult w = lx::write_vbo(*s, again.c_str());
        ASSERT_EQ(w.status, 0) << w.message;
        char created[64];
        std::snprintf(created, sizeof created, "File created on %02d/%02d/%04d at 23:58:%02d",
                      rec.info.day, rec.info.month, rec.info.year, rec.info.second);
        EXPECT_EQ(lxtest::read_file(again).rfind(created, 0), 0u);
        Owned second{read(again)};
        ASSERT_NE(second.s, nullptr);
        const lx::Session* b = second.s;
        ASSERT_EQ(b->nlaps, s->nlaps);
        ASSERT_EQ(b->nchannels, s->nchannels);
        EXPECT_EQ(b->record->logger_ms, s->record->logger_ms);
        EXPECT_EQ(b->record->start_time, s->record->start_time);
        for (int l = 0; l < s->nlaps; ++l) {
            ASSERT_EQ(b->laps[l].npoints, s->laps[l].npoints);
            for (int c = 0; c < s->nchannels; ++c)
                for (int j = 0; j < s->laps[l].npoints; ++j) {
                    float v = s->laps[l].raw[c][j];
                    ASSERT_NEAR(b->laps[l].raw[c][j], v, 0.005 + std::fabs(v) * 1e-6)
                        << l << " " << s->channels[c].name << " " << j;
                }
        }
    }
}

TEST(ImportVbo, BadFilesNameTheirLineAndCause) {
    const std::string head = "[header]\ntime\nlatitude\nlongitude\nvelocity kmh\n\n[column names]\n"
                             "time lat long velocity\n\n[data]\n";
    const std::string row = "100000.00 +02730.000000 -00555.000000 050.0\n";
    const std::string next = "100000.10 +02730.000100 -00555.000000 050.0\n";
    struct Bad {
        std::string content, message;
    } cases[] = {
        {"[header]\ntime\n", ":2: no [data] section"},
        {"[header]\ntime\nlat\n\n[column names]\ntime\n[data]\n1 2\n",
         ":5: [column names] names 1 channel, [header] 2 channels"},
        {"[header]\ntime\n[channel units]\ns\nm\n[column names]\ntime\n[data]\n1\n",
         ":3: [channel units] gives 2 units for 1 channel"},
        {"[column names]\nlat long\n[data]\n1 2\n", ":3: no time column"},
        {"[laptiming]\nStart 1 2 3\n[column names]\ntime\n[data]\n1\n",
         ":2: gate \"Start\" has 3 numbers where it needs 4"},
        {"[laptiming]\nSplit 1 2 x 4\n[column names]\ntime\n[data]\n1\n",
         ":2: gate \"Split\": \"x\" is not a number"},
        {head, ":10: no samples after [data]"},
        {head + row + "100000.10 1 2 3 4\n", ":12: 5 fields where the header names 4"},
        {head + "100000.00 1 2\n" + next, ":11: 3 fields where the header names 4"},
        {head + row + "100061.00 1 2 3\n", ":12: time \"100061.00\" is not a time hhmmss.ss"},
        {head + row + "240000.00 1 2 3\n", ":12: time \"240000.00\" is not a time hhmmss.ss"},
        {head + next + row, ":12: time 100000.00 runs backwards (the row before: 10:00:00.10)"},
        {head + row + "100000.10 1 2 fast\n", ":12: field 4 (velocity) \"fast\" is not a number"},
    };
    long live = lx::live_allocations();
    for (const Bad& c : cases) {
        std::string path = write_temp_file(c.content, ".vbo");
        lx::ImportResult r = lx::import_vbo(path.c_str(), {});
        EXPECT_EQ(r.session, nullptr) << c.message;
        EXPECT_EQ(r.status, LX_ERR_FORMAT) << c.message;
        EXPECT_EQ(r.message.rfind(path + c.message, 0), 0u) << r.message;
        EXPECT_EQ(lx::live_allocations(), live) << c.message;
    }
    // A file cut inside its last row opens up to the row before, and says so.
    for (const char* cut : {"100000.20 +0273", "100000.20 +02730.000200 -00555.000000 05"}) {
        std::string path = write_temp_file(head + row + next + cut, ".vbo");
        Owned s{read(path)};
        ASSERT_NE(s.s, nullptr);
        EXPECT_EQ(s.s->laps[0].npoints, 2);
        EXPECT_TRUE(has_note(s.s, "line 13: the file ends inside this row"));
        EXPECT_TRUE(s.s->record->truncated);
    }
    // A long step is a gap, named, and no stretch of track.
    Owned gap{read(write_temp_file(head + row + next + "100400.00 +02730.0002 -00555.0 050.0\n" +
                                       "100400.10 +02730.0003 -00555.0 050.0\n",
                                   ".vbo"))};
    ASSERT_NE(gap.s, nullptr);
    EXPECT_TRUE(has_note(gap.s, "time gap of 239.90 s after 10:00:00.10"));
    EXPECT_FALSE(gap.s->record->truncated);
    // A gap before the second row, and a creation date that is none.
    Owned early{read(write_temp_file("File created on 32/01/2025 at 10:00:00\n\n" + head + row +
                                         "100400.00 +02730.0002 -00555.0 050.0\n" +
                                         "100400.10 +02730.0003 -00555.0 050.0\n",
                                     ".vbo"))};
    ASSERT_NE(early.s, nullptr);
    EXPECT_TRUE(has_note(early.s, "time gap of 240.00 s after 10:00:00.00"));
    EXPECT_EQ(early.s->record->date, "");
    // Past ten gaps, the rest only counted.
    std::string gappy = head;
    for (int k = 0; k < 13; ++k)
        for (int j = 0; j < 3; ++j) {
            char line[64];
            std::snprintf(line, sizeof line, "1000%02d.%d0 +02730.0002 -00555.0 050.0\n", 2 * k, j);
            gappy += line;
        }
    Owned gaps{read(write_temp_file(gappy, ".vbo"))};
    ASSERT_NE(gaps.s, nullptr);
    EXPECT_TRUE(has_note(gaps.s, "after 10:00:18.20"));
    EXPECT_FALSE(has_note(gaps.s, "after 10:00:20.20"));
    EXPECT_TRUE(has_note(gaps.s, "12 time gaps in all"));
    // A session without positions cannot be written.
    for (const char* lost : {"East", "North"}) {
        Owned text{read(write_temp_file(head + row + next, ".vbo"))};
        ASSERT_NE(text.s, nullptr);
        text.s->channels[channel(text.s, lost)].name[0] = 'X';
        lx::WriteResult w = lx::write_vbo(*text.s, lxtest::temp_path(".vbo").c_str());
        EXPECT_EQ(w.status, LX_ERR_CHANNEL);
        EXPECT_NE(w.message.find("a VBO file needs positions"), std::string::npos) << w.message;
    }
}

// lx_open cuts a file without gates at a line it is given: the laps the
// file's own gate gave, and the cut named in the session's notes.
TEST(ImportVbo, StartLineCutsAFileWithoutGates) {
    lxgen::Recording rec = recording();
    std::string file = lxgen::write_vbo(rec, {false});
    Owned gated{read(write_temp_file(file, ".vbo"))};
    ASSERT_NE(gated.s, nullptr);
    const lx::GpsGate& g = gated.s->record->start_gate;
    char line[160];
    std::snprintf(line, sizeof line, "%.10f,%.10f,%.10f,%.10f", g.latitude[0], g.longitude[0],
                  g.latitude[1], g.longitude[1]);
    std::size_t gates = file.find("[laptiming]");
    file.erase(gates, file.find("[column names]") - gates);
    std::string path = write_temp_file(file, ".vbo");
    lx_open_options options{0.0, nullptr, 0, 0, line};
    int h = lx_open(path.c_str(), &options);
    ASSERT_GT(h, 0) << lx_last_error();
    ASSERT_EQ(lxtest::lap_count(h), gated.s->nlaps);
    for (int l = 0; l < gated.s->nlaps; ++l) {
        lx_lap_info lap;
        ASSERT_EQ(lx_lap_info_get(h, l, &lap), LX_OK);
        EXPECT_EQ(lap.samples, gated.s->laps[l].npoints) << l;
        if (long long ms = gated.s->record->logger_ms[std::size_t(l)]; ms >= 0) {
            EXPECT_DOUBLE_EQ(lap.laptime, double(ms) / 1000) << l;
        }
    }
    int count = lx_session_note(h, 0, nullptr, 0);
    char last[12];
    ASSERT_EQ(lx_session_note(h, count - 1, last, sizeof last), count);
    EXPECT_STREQ(last, "cut at the ");
    EXPECT_EQ(lx_close(h), LX_OK);
    // Memory running out at any step, the cut's included, is said to be so.
    for (long n = 1;; ++n) {
        lx::fail_allocation_at(n);
        int got = lx_open(path.c_str(), &options);
        if (lx::allocation_failure_pending()) {
            lx::fail_allocation_at(0);
            EXPECT_EQ(lx_close(got), LX_OK);
            break;
        }
        EXPECT_EQ(got, LX_ERR_MEMORY) << n << ": " << lx_last_error();
    }
    options.start_line = "0.5,0.5,0.6,0.6"; // far from the track
    EXPECT_EQ(lx_open(path.c_str(), &options), LX_ERR_LAP);
    // A recording stopped one sample past a line: that sample, its last lap, lasts no time.
    lxgen::Recording stopped = rec;
    std::size_t k = (rec.lap_starts[2] + rec.lap_starts[3]) / 2;
    stopped.values.resize(k * rec.channels.size());
    while (stopped.lap_starts.back() >= k) stopped.lap_starts.pop_back();
    std::size_t la = rec.find("GPS Latitude"), lo = rec.find("GPS Longitude");
    double lat = (rec.at(k - 2, la) + rec.at(k - 1, la)) / 2;
    double lon = (rec.at(k - 2, lo) + rec.at(k - 1, lo)) / 2,
           east = std::cos(lat * std::numbers::pi / 180);
    double d_north = rec.at(k - 1, la) - rec.at(k - 2, la);
    double d_east = (rec.at(k - 1, lo) - rec.at(k - 2, lo)) * east;
    double across = 1e-4 / std::hypot(d_north, d_east); // some 11 m each side
    std::snprintf(line, sizeof line, "%.10f,%.10f,%.10f,%.10f", lat - d_east * across,
                  lon + d_north * across / east, lat + d_east * across,
                  lon - d_north * across / east);
    options.start_line = line;
    int cut =
        lx_open(write_temp_file(lxgen::write_vbo(stopped, {false}), ".vbo").c_str(), &options);
    ASSERT_GT(cut, 0) << lx_last_error();
    lx_lap_info after;
    ASSERT_EQ(lx_lap_info_get(cut, lxtest::lap_count(cut) - 1, &after), LX_OK);
    EXPECT_EQ(after.samples, 1);
    EXPECT_EQ(after.sample_time, 0.0);
    EXPECT_EQ(lx_close(cut), LX_OK);
}

// Without a distance column the distance is the speed integrated, in the speed's unit.
TEST(ImportVbo, DistanceIntegratesSpeedInItsUnit) {
    for (const char* unit : {"kmh", "mph"}) {
        std::string file = std::string("[header]\ntime\nlatitude\nlongitude\nvelocity ") + unit +
                           "\n\n[column names]\ntime lat long velocity\n\n[data]\n";
        for (int i = 0; i <= 10; ++i) {
            char row[80];
            std::snprintf(row, sizeof row, "1000%02d.%02d +02730.%06d -00555.000000 %05.1f\n",
                          i / 10, i % 10 * 10, i * 100, 30.0 + 2 * i);
            file += row;
        }
        Owned s{read(write_temp_file(file, ".vbo"))};
        ASSERT_NE(s.s, nullptr);
        const lx::Lap& lap = s.s->laps[0];
        double metres = 40.0 / 3.6 * (unit[0] == 'm' ? 1.609344 : 1.0);
        EXPECT_NEAR(lap.raw[2][lap.npoints - 1], metres, 1e-4) << unit;
    }
    // A distance column counts from the first sample.
    std::string file = "[header]\ntime\nlatitude\nlongitude\nvelocity kmh\ndistance m\n\n"
                       "[column names]\ntime lat long velocity distance\n\n[data]\n"
                       "100000.00 +02730.000000 -00555.000000 050.0 1200.5\n"
                       "100000.10 +02730.000100 -00555.000000 050.0 1201.5\n"
                       "100000.20 +02730.000200 -00555.000000 050.0 1203.0\n";
    Owned s{read(write_temp_file(file, ".vbo"))};
    ASSERT_NE(s.s, nullptr);
    EXPECT_EQ(s.s->laps[0].raw[2][0], 0.0f);
    EXPECT_EQ(s.s->laps[0].raw[2][2], 2.5f);
}

// A CSV export (no gates) written as VBO: its start gate placed where its
// first lap ends, so the laps read back as they were.
TEST(ImportVbo, WrittenFromACsvExportKeepsItsLaps) {
    std::string text = write_temp_file(lxgen::write_aim_csv(recording()), ".csv");
    int h = lx_open(text.c_str(), nullptr);
    ASSERT_GT(h, 0) << lx_last_error();
    std::string path = lxtest::temp_path(".vbo");
    ASSERT_EQ(lx_write_vbo(h, path.c_str()), LX_OK) << lx_last_error();
    Owned back{read(path)};
    ASSERT_NE(back.s, nullptr);
    ASSERT_GE(back.s->nlaps, lx_num_laps(h));
    for (int l = 1; l + 1 < lx_num_laps(h); ++l) {
        lx_lap_info lap;
        ASSERT_EQ(lx_lap_info_get(h, l, &lap), LX_OK);
        EXPECT_NEAR(back.s->laps[l].npoints, lap.samples, 1) << l;
    }
    EXPECT_EQ(lx_close(h), LX_OK);
}
