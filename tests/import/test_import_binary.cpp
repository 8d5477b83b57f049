// The binary formats: generated files read back, the LD writer's round trip,
// and damaged headers refused with the place and the cause.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "frame/frame.h"
#include "gen.h"
#include "import_files.h"
#include "lx_data.h"
#include "recording.h"
#include "session/record.h"

using namespace importtest;

namespace {

struct Read {
    lx::ImportResult r;
    explicit Read(const std::string& path, const lx::ImportOptions& options = {})
        : r(import(path, options)) {
        EXPECT_EQ(r.message, "");
    }
    ~Read() { lx::free_session(r.session); }
    const lx::Session& s() const { return *r.session; }
    int channel(const std::string& title) const {
        for (std::size_t c = 0; c < r.session->record->titles.size(); ++c)
            if (r.session->record->titles[c].title == title) return int(c);
        ADD_FAILURE() << "no channel " << title;
        return 0;
    }
    // Sample k of the session, counting across laps.
    float at(int c, long k) const {
        for (int l = 0; l < s().nlaps; k -= s().laps[l++].npoints)
            if (k < s().laps[l].npoints) return s().laps[l].raw[c][k];
        return NAN;
    }
};

lxgen::Recording generated() {
    lxgen::SessionPlan plan;
    plan.flying_laps = 3;
    plan.missed_beacon_after = 0;
    plan.gps = true;
    return lxgen::drive_session(plan);
}

// Laps, lap times and channels as the generator drove them.
void expect_recording(const Read& read, const lxgen::Recording& r, const char* lateral) {
    const lx::Session& s = read.s();
    ASSERT_EQ(s.nlaps, int(r.lap_starts.size()));
    for (int l = 0; l + 1 < s.nlaps; ++l) {
        long n = long(r.lap_starts[l + 1] - r.lap_starts[l]);
        EXPECT_EQ(s.laps[l].npoints, n) << l;
        EXPECT_EQ(s.record->logger_ms[l], std::lround(double(n) * 1000 / r.sample_rate)) << l;
        // Distance is the speed integrated: the lap's length as driven, within
        // the speed sensor's error.
        std::size_t last = r.lap_starts[l + 1] - 1, distance = r.find("Distance");
        double driven = r.at(last, distance) - r.at(r.lap_starts[l], distance);
        EXPECT_NEAR(s.laps[l].raw[2][n - 1], driven, 0.02 * driven) << l;
    }
    int speed = read.channel("Speed"), lat = read.channel(lateral);
    for (std::size_t row = 0; row < r.rows(); row += 98) { // LD's speed: every second row
        EXPECT_NEAR(read.at(speed, long(row)), r.at(row, r.find("Speed")), 1e-3) << row;
        // Stored with 3 decimals in LD.
        EXPECT_NEAR(read.at(lat, long(row)), r.at(row, r.find("Lateral Acc")), 6e-4) << row;
    }
    EXPECT_EQ(std::string(s.venue), r.info.venue);
    EXPECT_EQ(std::string(s.driver), r.info.driver);
    EXPECT_EQ(std::string(s.vehicle), r.info.vehicle);
    EXPECT_EQ(std::string(s.channels[s.nchannels - 1].name), "North");
    EXPECT_FLOAT_EQ(s.sample_rate, float(r.sample_rate));
    // Positions in metres from the first fix: a lap's far side is hundreds away.
    const lx::SessionRecord& record = *s.record;
    EXPECT_NEAR(record.origin_latitude, r.at(0, r.find("GPS Latitude")), 1e-6);
    EXPECT_NEAR(record.origin_longitude, r.at(0, r.find("GPS Longitude")), 1e-6);
    long half_lap = long(r.lap_starts[1] + r.lap_starts[2]) / 2;
    EXPECT_GT(std::hypot(read.at(s.nchannels - 2, half_lap), read.at(s.nchannels - 1, half_lap)),
              100.0);
}

} // namespace

TEST(ImportBinary, GeneratedFilesReadAsDriven) {
    lxgen::Recording r = generated();
    std::string ld = write_temp_file(lxgen::write_ld(r), ".ld");
    std::string ibt = write_temp_file(lxgen::write_ibt(r), ".ibt");
    EXPECT_EQ(lx::sniff_format(ld.c_str()), lx::FileFormat::ld);
    EXPECT_EQ(lx::sniff_format(ibt.c_str()), lx::FileFormat::ibt);
    Read a(ld), b(ibt);
    expect_recording(a, r, "Lateral Acc");
    expect_recording(b, r, "LatAccel"); // left-positive m/s^2 made AiM's g
    // Water Temp at half the rate, held on the grid.
    int water = a.channel("Water Temp");
    EXPECT_EQ(a.at(water, 1), a.at(water, 0));
    EXPECT_NEAR(a.at(water, 2), r.at(2, r.find("Water Temp")), 0.05); // a half float
    EXPECT_EQ(a.s().record->sources[std::size_t(water)].rate, r.sample_rate / 2);
    // A half float's sign bit: Water Temp's second sample made negative.
    std::string file = lxgen::write_ld(r);
    std::uint32_t block, data;
    std::memcpy(&block, file.data() + 8, 4);
    while (file.compare(block + 32, 10, "Water Temp") != 0)
        std::memcpy(&block, file.data() + block + 4, 4);
    std::memcpy(&data, file.data() + block + 8, 4);
    file[data + 3] = char(file[data + 3] | 0x80);
    Read below_zero(write_temp_file(file, ".ld"));
    EXPECT_EQ(below_zero.at(water, 2), -a.at(water, 2));
    EXPECT_NE(b.s().record->notes.at(0).find("CarIdxLap[4]"), std::string::npos);
    EXPECT_EQ(b.s().record->date + " " + b.s().record->time, "2025-05-03 10:00:00");
    // Above the channel limit the default set is kept; a choice is honoured.
    r.widen(130);
    std::string wide = write_temp_file(lxgen::write_ibt(r), ".ibt");
    Read d(wide);
    EXPECT_NE(d.s().record->notes.at(0).find("default set"), std::string::npos);
    EXPECT_LT(d.s().nchannels, 60);
    EXPECT_GT(d.s().nchannels, 10);
    lx::ImportOptions pick;
    pick.channels = "Sensor 120,Speed";
    Read e(wide, pick);
    EXPECT_EQ(e.s().nchannels, 3 + 2 + 2); // East and North from Lat and Lon
}

TEST(ImportBinary, LdWrittenReadsBackTheSame) {
    lxgen::Recording r = generated();
    std::string text = write_temp_file(lxgen::write_text(r), ".txt");
    std::string ld = write_temp_file(lxgen::write_ld(r), ".ld");
    // At 25 Hz, where a lap number's change once read the lap time a sample early.
    lxgen::SessionPlan plan;
    plan.flying_laps = 5, plan.missed_beacon_after = 0, plan.seed = 11, plan.gps = true;
    std::string app =
        write_temp_file(lxgen::write_racechrono_csv(lxgen::drive_session(plan)), ".csv");
    for (const std::string& path : {ld, text, app}) {
        lx::Session* first = nullptr;
        int handle = lx_open(path.c_str(), nullptr);
        ASSERT_GT(handle, 0) << lx_last_error();
        std::string again = write_temp_file("", ".ld");
        ASSERT_EQ(lx_write_ld(handle, again.c_str()), LX_OK) << lx_last_error();
        first = lxtest::session_of(handle);
        Read back(again);
        const lx::Session& s = back.s();
        ASSERT_EQ(s.nlaps, first->nlaps) << path;
        for (int l = 0; l < s.nlaps; ++l) {
            ASSERT_EQ(s.laps[l].npoints, first->laps[l].npoints) << path << " lap " << l;
            // The app counts laps from 0; LD's Lap Number from 1.
            int from_zero = path == app ? 1 : 0;
            EXPECT_EQ(s.laps[l].number, first->laps[l].number + from_zero) << path << " lap " << l;
            if (l + 1 < s.nlaps) {
                EXPECT_NEAR(s.laps[l].laptime, first->laps[l].laptime, 5e-4) << l;
            }
        }
        // Distance is worked out again from speed.
        for (int c = 3; c < first->nfile_channels; ++c) {
            const std::string& title = first->record->titles[std::size_t(c)].title;
            int same = back.channel(title);
            // East and North again from positions the session holds as floats.
            double metres = title == "East" || title == "North" ? 0.5 : 0;
            for (int l = 0; l < s.nlaps; ++l)
                for (int j = 0; j < s.laps[l].npoints; j += 7)
                    ASSERT_NEAR(s.laps[l].raw[same][j], first->laps[l].raw[c][j],
                                metres + 1e-4 * (1 + std::fabs(first->laps[l].raw[c][j])))
                        << path << " channel " << c << " lap " << l << " sample " << j;
        }
        if (path == ld) {
            EXPECT_EQ(s.record->fields, first->record->fields);
            EXPECT_EQ(s.record->date, first->record->date);
            EXPECT_EQ(s.record->sources[5].decimals, first->record->sources[5].decimals);
            for (std::size_t c = 3; c < s.record->sources.size(); ++c)
                EXPECT_EQ(s.record->sources[c].short_name, first->record->sources[c].short_name);
        }
        lx_close(handle);
    }
}

// A window of laps: those laps as they were, the window checked against the file.
TEST(ImportBinary, LapWindowTakesThoseLaps) {
    lxgen::Recording r = generated();
    for (const std::string& file : {lxgen::write_ld(r), lxgen::write_ibt(r)}) {
        std::string path = write_temp_file(file, file[0] == 0x40 ? ".ld" : ".ibt");
        Read all(path);
        const int n = all.s().nlaps;
        for (auto [first, last] : {std::pair{2, 3}, {0, 2}, {3, 0}}) {
            lx::ImportOptions window;
            window.first_lap = first, window.last_lap = last;
            Read part(path, window);
            int from = first ? first : 1, to = last ? last : n;
            ASSERT_EQ(part.s().nlaps, to - from + 1) << first << "-" << last;
            for (int l = 0; l < part.s().nlaps; ++l)
                EXPECT_EQ(part.s().laps[l].npoints, all.s().laps[from - 1 + l].npoints);
        }
        for (auto [first, last] : {std::pair{3, 2}, {0, n + 1}, {-1, 2}}) {
            lx::ImportOptions window;
            window.first_lap = first, window.last_lap = last;
            lx::ImportResult refused = import(path, window);
            EXPECT_EQ(refused.session, nullptr);
            EXPECT_EQ(refused.status, LX_ERR_ARGUMENT) << first << "-" << last;
        }
    }
}

namespace {

template <class T> std::string patched(std::string file, std::size_t at, T value) {
    std::memcpy(file.data() + at, &value, sizeof value);
    return file;
}

struct Damaged {
    const char* what;
    std::string content;
    lx::ImportResult (*reader)(const char*, const lx::ImportOptions&);
    const char* message;
};

} // namespace

TEST(ImportBinary, DamagedHeadersAreRefusedWithPlaceAndCause) {
    lxgen::Recording r = generated();
    const std::string ld = lxgen::write_ld(r), ibt = lxgen::write_ibt(r);
    const std::uint32_t first = 4276, second = first + 124; // the generator's channel blocks
    const Damaged cases[] = {
        {"LD cut in its header", ld.substr(0, 1000), lx::import_ld, "byte 0: a header of 1762"},
        {"LD without marker", patched(ld, 0, std::uint32_t(7)), lx::import_ld, "no LD marker"},
        {"LD list outside", patched(ld, 8, std::uint32_t(1u << 30)), lx::import_ld,
         "byte 8: the channel list points to byte 1073741824, outside the file"},
        {"LD list cycle", patched(ld, second + 4, first), lx::import_ld,
         "runs back to the block at byte 4276"},
        {"LD samples past the end", patched(ld, first + 12, std::uint32_t(1u << 28)), lx::import_ld,
         "run far past the end of the file"},
        {"LD rate 0", patched(ld, first + 22, std::uint16_t(0)), lx::import_ld, "rate of 0 Hz"},
        {"LD unknown type", patched(ld, first + 20, std::uint16_t(3)), lx::import_ld,
         "none lx reads"},
        {"LD decimals past 30", patched(ld, first + 30, std::int16_t(-31)), lx::import_ld,
         "has -31 decimal places"},
        {"ibt cut in its header", ibt.substr(0, 100), lx::import_ibt, "byte 0: a header of 144"},
        {"ibt tick rate 0", patched(ibt, 8, std::int32_t(0)), lx::import_ibt,
         "byte 8: tick rate 0"},
        {"ibt variables outside", patched(ibt, 24, std::int32_t(1 << 24)), lx::import_ibt,
         "byte 24: 16777216 variable headers"},
        {"ibt session text that lies", patched(ibt, 16, std::int32_t(1 << 30)), lx::import_ibt,
         "byte 16: session text of 1073741824 bytes"},
        {"ibt without buffers", patched(ibt, 32, std::int32_t(0)), lx::import_ibt,
         "byte 32: 0 buffers"},
        {"ibt rows that lie", patched(ibt, 140, std::int32_t(1 << 24)), lx::import_ibt,
         "byte 140: 16777216 rows"},
        {"ibt variable past its row", patched(ibt, 144 + 4, std::int32_t(1 << 20)), lx::import_ibt,
         "byte 148: variable OnPitRoad"},
    };
    // Data or event pointers past the end: not claimed as LD.
    for (std::size_t pointer : {12, 36})
        EXPECT_NE(lx::sniff_format(
                      write_temp_file(patched(ld, pointer, std::uint32_t(ld.size() + 1)), ".bin")
                          .c_str()),
                  lx::FileFormat::ld)
            << pointer;
    long live = lx::live_allocations();
    for (const Damaged& c : cases) {
        std::string path = write_temp_file(c.content, ".bin");
        lx::ImportResult result = c.reader(path.c_str(), {});
        EXPECT_EQ(result.session, nullptr) << c.what;
        EXPECT_EQ(result.message.rfind(path + ": ", 0), 0u) << c.what << ": " << result.message;
        EXPECT_NE(result.message.find(c.message), std::string::npos)
            << c.what << ": " << result.message;
        EXPECT_EQ(lx::live_allocations(), live) << c.what;
        // Claimed by content only where the header's offsets and counts fit.
        if (std::strstr(c.what, "outside") || std::strstr(c.what, "lie")) {
            EXPECT_NE(lx::sniff_format(path.c_str()),
                      lx::import_ld == c.reader ? lx::FileFormat::ld : lx::FileFormat::ibt)
                << c.what;
        }
    }
}
