#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "data/handles.h"
#include "gen.h"
#include "lx_data.h"
#include "session/record.h"
#include "support.h"

using namespace lxtest;

namespace {

// Titles with a unit in brackets, a Latin-1 degree sign, a title the reader
// runs into the next one (it ends in a byte the reader drops) and a title
// written twice.
const std::string TITLES = "Idx\tTime [s]\tDistance [m]\tEngine RPM [rpm]\tWater Temp [deg C]\t"
                           "T\xB0oil [\xB0"
                           "C]\tOdd\xB0\tMerged [m]\tSpeed [km/h]\tSpeed [mph]\t\n";

std::string titled_export() {
    std::string text = TITLES;
    for (int lap = 0, row = 0; lap < 3; ++lap)
        for (int j = 0; j < 5 + lap; ++j, ++row) {
            if (j == 0) text.append("Lap: 1/").append(std::to_string(lap + 1));
            for (float v : {float(row), row * 0.1f, row * 1.7f, 1000.0f + row / 3.0f, 70.1f,
                            -row / 7.0f, 1e-7f * row, row * 2.3f, row * 1.3f})
                text.append("\t").append(std::to_string(v));
            text += "\n";
        }
    return text + "Lap:\n";
}

using DataApi = FreshSessions;

void expect_channel(int h, int c, const char* name, const char* title, const char* unit) {
    lx_channel_info info;
    ASSERT_EQ(lx_channel_info_get(h, c, &info), LX_OK);
    EXPECT_STREQ(info.name, name);
    EXPECT_STREQ(info.title, title);
    EXPECT_STREQ(info.unit, unit);
}

TEST_F(DataApi, OpensWithoutPrintingTitlesAsWrittenSamplesAsTheCoreHolds) {
    std::string path = write_temp_file(titled_export());
    StdoutCapture out;
    int h = lx_open(path.c_str(), nullptr);
    int core = lx_open_aim_xls(path.c_str());
    ASSERT_GT(h, 0) << lx_last_error();
    EXPECT_EQ(out.text(), "");
    EXPECT_STREQ(lx_last_error(), "");
    lx_session_info info;
    ASSERT_EQ(lx_session_info_get(h, &info), LX_OK);
    EXPECT_STREQ(info.format, "text export");
    EXPECT_EQ(info.channels, 9);
    EXPECT_EQ(info.laps, 3);

    expect_channel(h, 3, "Engine_RPM", "Engine RPM", "rpm");
    expect_channel(h, 4, "Water_Temp", "Water Temp", "deg C");
    expect_channel(h, 5, "Toil", "T\u00B0oil", "\u00B0C");
    expect_channel(h, 6, "OddMerged", "Odd\u00B0 Merged", "m");
    expect_channel(core, 3, "Engine_RPM", "Engine_RPM", "rpm");

    // UTF-8 titles stay as they are, behind a byte-order mark; a long one is
    // cut before a character that does not fit.
    std::string long_title;
    for (int i = 0; i < 130; ++i) long_title += "\u00E9";
    std::string utf8 = "\xEF\xBB\xBFIdx\tTime [s]\tDistance [m]\t\u00D6l [\u00B0C]\t" + long_title +
                       " [x]\t\nLap: 1/1\t0\t0\t0\t1\t2\n";
    int h8 = lx_open(write_temp_file(utf8).c_str(), nullptr);
    expect_channel(h8, 0, "Idx", "Idx", "");
    expect_channel(h8, 3, "l", "\u00D6l", "\u00B0C");
    expect_channel(h8, 4, "", long_title.substr(0, 254).c_str(), "x");

    const lx::Session* s = lx::lookup_session(core);
    for (int lap = 0; lap < s->nlaps; ++lap)
        for (int c = 0; c < s->nchannels; ++c) {
            std::vector<float> got(static_cast<std::size_t>(s->laps[lap].npoints));
            ASSERT_EQ(lx_lap_samples(h, lap, c, got.data(), static_cast<int>(got.size())),
                      s->laps[lap].npoints);
            EXPECT_EQ(std::memcmp(got.data(), s->laps[lap].raw[c], got.size() * sizeof(float)), 0);
        }
}

TEST_F(DataApi, FindsByTitleThenNameRefusesAmbiguousAndNamesTheNearest) {
    std::string path = write_temp_file(titled_export());
    int h = lx_open(path.c_str(), nullptr);
    EXPECT_EQ(lx_find_channel(h, "Engine RPM"), 3);
    EXPECT_EQ(lx_find_channel(h, "Engine_RPM"), 3);
    EXPECT_EQ(lx_find_channel(h, "T\u00B0oil"), 5);
    EXPECT_EQ(lx_find_channel(h, "Speed"), LX_ERR_AMBIGUOUS);
    std::string session = "session " + std::to_string(h);
    EXPECT_EQ(lx_last_error(),
              session + ": \"Speed\" names 2 channels: 7 \"Speed\", 8 \"Speed\"; give the "
                        "channel number");
    EXPECT_EQ(lx_find_channel(h, "engin rpm"), LX_ERR_CHANNEL);
    EXPECT_NE(std::string(lx_last_error()).find("nearest: 3 \"Engine RPM\" (Engine_RPM)"),
              std::string::npos)
        << lx_last_error();
    EXPECT_EQ(lx_find_channel(h, "Tide"), LX_ERR_CHANNEL); // one edit from Time, two from Idx
    EXPECT_EQ(lx_last_error(), session + ": no channel \"Tide\"; nearest: 1 \"Time\", 0 \"Idx\", "
                                         "5 \"T\u00B0oil\" (Toil)");
    lx_math_options math{3, 4, 0, LX_SPEED_KMH, 0, 0};
    ASSERT_EQ(lx_session_math(h, &math), LX_OK) << lx_last_error();
    int speed = lx_find_channel(h, "i_speed");
    lx_session_info facts;
    ASSERT_EQ(lx_session_info_get(h, &facts), LX_OK);
    for (int c = 0; c < facts.channels; ++c) {
        lx_channel_info info;
        lx_channel_info_get(h, c, &info);
        EXPECT_EQ(info.derived, std::string(info.name).starts_with("i_")) << c;
    }
    expect_channel(h, speed, "i_speed", "i_speed", "m/s"); // stored as "ms"
}

TEST_F(DataApi, OpenOptionsKeepChannelsAndLaps) {
    std::string path = write_temp_file(titled_export());
    lx_open_options options{0.0, "Idx, Water Temp, Engine_RPM", 2, 3, nullptr};
    int h = lx_open(path.c_str(), &options);
    ASSERT_GT(h, 0) << lx_last_error();
    lx_session_info info;
    lx_session_info_get(h, &info);
    EXPECT_EQ(info.channels, 5);
    EXPECT_EQ(info.laps, 2);
    expect_channel(h, 4, "Water_Temp", "Water Temp", "deg C");
    lx_lap_info lap;
    ASSERT_EQ(lx_lap_info_get(h, 0, &lap), LX_OK);
    EXPECT_EQ(lap.samples, 6);
    float rpm[6];
    lx_lap_samples(h, 0, 3, rpm, 6);
    EXPECT_EQ(rpm[0], 1000.0f + 5 / 3.0f);
    for (lx_open_options bad : {lx_open_options{-1.0, nullptr, 0, 0, nullptr},
                                lx_open_options{NAN, nullptr, 0, 0, nullptr},
                                lx_open_options{0.0, nullptr, 3, 2, nullptr},
                                lx_open_options{0.0, nullptr, 0, 0, "44.5,11.2,44.5"}})
        EXPECT_EQ(lx_open(path.c_str(), &bad), LX_ERR_ARGUMENT);
    options = {0.0, "Oil", 0, 0, nullptr};
    EXPECT_EQ(lx_open(path.c_str(), &options), LX_ERR_CHANNEL);
    options = {0.0, nullptr, 0, 0, "44.5,11.2,44.6,11.3"}; // a file without positions
    EXPECT_EQ(lx_open(path.c_str(), &options), LX_ERR_CHANNEL);
    EXPECT_NE(std::string(lx_last_error()).find("no East and North"), std::string::npos);
    options = {0.0, nullptr, 2, 4, nullptr};
    EXPECT_EQ(lx_open(path.c_str(), &options), LX_ERR_LAP);
    EXPECT_EQ(lx::data::data_sessions_open(), 1);
}

TEST_F(DataApi, OpenRefusalsNameTheCauseAndPrintNothing) {
    std::string dir = std::filesystem::path(write_temp_file("")).parent_path().string();
    struct Case {
        std::string path;
        int status;
        const char* says;
    };
    std::vector<Case> cases = {
        {dir + "/missing.txt", LX_ERR_FILE, "cannot be opened"},
        {dir, LX_ERR_FILE, "is a folder"},
        {write_temp_file(""), LX_ERR_FORMAT, "the file is empty"},
        {write_temp_file("a,b,c\n1,2,3\n"), LX_ERR_FORMAT, "looks like a CSV export"},
        // Only the first 4 KB are looked at.
        {write_temp_file(std::string(4096, 'a') + ",b\n"), LX_ERR_FORMAT, "holds no tab"},
        {write_temp_file("Idx\tDistance\tTime\t\nLap: 1/1\t1\t2\t3\n"), LX_ERR_FORMAT,
         "Channel 1 must be 'Time'"},
        {write_temp_file("Idx\tTime\tDistance\t\nLap: 1/1\t1\n"), LX_ERR_FORMAT, "1; < (11)"},
    };
    std::string many_titles = "Idx\tTime\tDistance\t";
    for (int c = 3; c <= lx::MAX_CHANNELS; ++c) many_titles += "c\t";
    cases.push_back(
        {write_temp_file(many_titles + "\n"), LX_ERR_LIMIT, "maximum number of channels"});
    StdoutCapture out;
    for (const Case& c : cases) {
        EXPECT_EQ(lx_open(c.path.c_str(), nullptr), c.status) << c.path;
        EXPECT_NE(std::string(lx_last_error()).find(c.says), std::string::npos) << lx_last_error();
    }
    EXPECT_EQ(lx_open(nullptr, nullptr), LX_ERR_ARGUMENT);
    std::string good = write_temp_file(titled_export());
    int first = lx_open(good.c_str(), nullptr);
    EXPECT_GE(first, LX_DATA_HANDLE_FIRST);
    EXPECT_EQ(lx_close(first), LX_OK);
    EXPECT_EQ(lx_close(first), LX_ERR_HANDLE);
    EXPECT_EQ(out.text(), "");
}

std::vector<int> lap_classes(int h) {
    std::vector<int> classes;
    lx_lap_info info;
    for (int l = 0; lx_lap_info_get(h, l, &info) == LX_OK; ++l) classes.push_back(info.lap_class);
    return classes;
}

TEST_F(DataApi, LapClassesFollowTheMedianOfLapsThatMarksBound) {
    lx::Session* s = make_session(std::vector<int>(9, 4), 10.0f);
    int h = install(s);
    EXPECT_EQ(lap_classes(h), std::vector<int>(9, LX_LAP_UNKNOWN));
    // The recording's own ends are no marks, however long the laps there.
    const float lengths[] = {1000, 990, 1000, 899, 1800, 1801, 950, 1100, 1000};
    for (int l = 0; l < 9; ++l) s->laps[l].lap_length = lengths[l];
    EXPECT_EQ(lap_classes(h), (std::vector<int>{LX_LAP_OUT, LX_LAP_FULL, LX_LAP_FULL,
                                                LX_LAP_PARTIAL, LX_LAP_PARTIAL, LX_LAP_DOUBLE,
                                                LX_LAP_FULL, LX_LAP_FULL, LX_LAP_IN}));
    // Cut at marks at both ends, with the logger's times kept whole.
    s->record = new lx::SessionRecord;
    s->record->starts_at_mark = s->record->ends_at_mark = true;
    s->record->first_lap = 3;
    s->record->logger_ms = {60000, 64100};
    for (int l = 0; l < 9; ++l)
        s->laps[l].raw_laptime = s->laps[l].laptime = l == 7 ? 64.3f : 60.0f;
    lx_lap_info info;
    for (int l : {0, 1, 7, 8}) {
        ASSERT_EQ(lx_lap_info_get(h, l, &info), LX_OK);
        EXPECT_EQ(info.lap_class, LX_LAP_FULL);
        EXPECT_EQ(info.number, l + 3);
        EXPECT_EQ(info.slow, l == 7) << l; // above 107 % of the median 60 s
        EXPECT_EQ(info.logger_time, l < 2);
        EXPECT_EQ(info.laptime, l == 1 ? 64.1 : info.sample_time);
    }
}

int with_lengths(int h) {
    lx_math_options math{
        lx_find_channel(h, "Speed"), lx_find_channel(h, "Lateral_Acc"), 0, LX_SPEED_KMH, 0, 0};
    EXPECT_EQ(lx_session_math(h, &math), LX_OK) << lx_last_error();
    return h;
}

lx_lap_info lap_info(int h, int lap) {
    lx_lap_info info{};
    EXPECT_EQ(lx_lap_info_get(h, lap, &info), LX_OK) << lx_last_error();
    return info;
}

// The logger's times kept whole from each kind of file that gives them, laps
// numbered by their place in the file, and marks only where a file was cut.
TEST_F(DataApi, OpenedFilesKeepTheLoggersTimesNumbersAndMarks) {
    lxgen::SessionPlan plan;
    plan.flying_laps = 3;
    plan.missed_beacon_after = plan.traffic_lap = 0;
    std::string aim =
        write_temp_file(lxgen::write(lxgen::drive_session(plan), lxgen::Format::aim_csv), ".csv");
    std::string text = temp_path(".txt"), motec = temp_path(".csv");
    int whole = lx_open(aim.c_str(), nullptr);
    ASSERT_EQ(lx_write_text_export(whole, text.c_str()), LX_OK);
    ASSERT_EQ(lx_write_motec(whole, 2, motec.c_str()), LX_OK);
    // A window starts and ends at lap marks, except at the recording's ends.
    lx_open_options laps_1_3{0.0, nullptr, 1, 3, nullptr}, laps_2_5{0.0, nullptr, 2, 5, nullptr};
    int head = with_lengths(lx_open(aim.c_str(), &laps_1_3));
    int window = with_lengths(lx_open(aim.c_str(), &laps_2_5));
    int text_window = with_lengths(lx_open(text.c_str(), &laps_2_5));
    int read_back = with_lengths(lx_open(text.c_str(), nullptr));
    EXPECT_EQ(lap_classes(with_lengths(whole)),
              (std::vector<int>{LX_LAP_OUT, LX_LAP_FULL, LX_LAP_FULL, LX_LAP_FULL, LX_LAP_IN}));
    EXPECT_EQ(lap_classes(head), (std::vector<int>{LX_LAP_OUT, LX_LAP_FULL, LX_LAP_FULL}));
    EXPECT_EQ(lap_classes(window),
              (std::vector<int>{LX_LAP_FULL, LX_LAP_FULL, LX_LAP_FULL, LX_LAP_IN}));
    EXPECT_EQ(lap_classes(text_window), lap_classes(window));
    EXPECT_EQ(lap_classes(read_back), lap_classes(whole));
    for (int l = 0; l < 5; ++l) {
        lx_lap_info lap = lap_info(whole, l);
        EXPECT_TRUE(lap.logger_time);
        EXPECT_EQ(lap.laptime, std::round(lap.laptime * 1000) / 1000);
        EXPECT_EQ(lap_info(read_back, l).laptime, lap.laptime);
    }
    for (int l = 1; l < 5; ++l) {
        EXPECT_EQ(lap_info(window, l - 1).number, l + 1);
        EXPECT_EQ(lap_info(window, l - 1).laptime, lap_info(whole, l).laptime);
        EXPECT_EQ(lap_info(text_window, l - 1).laptime, lap_info(whole, l).laptime);
    }
    // A lap written alone names itself: marks bound it.
    int one = with_lengths(lx_open(motec.c_str(), nullptr));
    lx_lap_info alone = lap_info(one, 0);
    EXPECT_EQ(alone.lap_class, LX_LAP_FULL);
    EXPECT_EQ(alone.logger_lap, 3);
    EXPECT_TRUE(alone.logger_time);

    lx_session_info facts;
    ASSERT_GE(lx_match_laps(whole, 1, whole, nullptr), 0) << lx_last_error();
    for (int h : {whole, read_back, one}) {
        ASSERT_EQ(lx_session_info_get(h, &facts), LX_OK);
        EXPECT_EQ(facts.error_channel, h == whole ? facts.channels - 2 : 0);
        EXPECT_EQ(facts.beacon_channel, h == whole ? facts.channels - 1 : 0);
    }
    lx_channel_info curvature;
    lx_channel_info_get(one, lx_derived_channel_number(one, LX_CHANNEL_CURVATURE), &curvature);
    EXPECT_STREQ(curvature.unit, "1/km");
}

TEST_F(DataApi, ClosureOfACircleAndOfAStraight) {
    constexpr int n = 90;
    constexpr float rate = 10.0f, kmh = 36.0f;
    int h = install(make_session({n, n}, rate, 2));
    double turn = 0, gap = 0;
    EXPECT_EQ(lx_lap_closure(h, 0, 4, &turn, &gap), LX_ERR_STATE);
    const lx::Session* s = lx::lookup_session(h);
    // Each step turns by a fixed angle, so lap 0 is one full circle.
    double step = 2 * std::numbers::pi / n;
    float latg = static_cast<float>(-std::sin(step) * (kmh / 3.6) * rate / 9.8081);
    for (int j = 0; j < n; ++j) {
        s->laps[0].raw[3][j] = s->laps[1].raw[3][j] = kmh;
        s->laps[0].raw[4][j] = latg;
    }
    ASSERT_EQ(lx_session_setup(h), 1);
    ASSERT_EQ(lx_compute_session_math(h, 3, 4, 1, 0, 0, 0), 1);
    ASSERT_EQ(lx_lap_closure(h, 0, 4, &turn, &gap), LX_OK);
    EXPECT_NEAR(turn, 360.0, 1e-3);
    EXPECT_LT(gap, 1e-3 * s->laps[0].lap_length);
    ASSERT_EQ(lx_lap_closure(h, 1, 4, &turn, &gap), LX_OK);
    EXPECT_EQ(turn, 0.0);
    EXPECT_NEAR(gap, s->laps[1].lap_length, 1e-3);
}

TEST_F(DataApi, EveryFunctionRefusesBadArgumentsAndWritesOnlyWithinCapacity) {
    int h = install(make_session({6, 3}, 10.0f, 1));
    lx_session_info si;
    lx_channel_info ci;
    lx_lap_info li;
    double d;
    for (int bad : {0, -1, 11, 5}) {
        EXPECT_EQ(lx_session_info_get(bad, &si), LX_ERR_HANDLE);
        EXPECT_EQ(lx_channel_info_get(bad, 0, &ci), LX_ERR_HANDLE);
        EXPECT_EQ(lx_lap_info_get(bad, 0, &li), LX_ERR_HANDLE);
        EXPECT_EQ(lx_find_channel(bad, "Time"), LX_ERR_HANDLE);
        EXPECT_EQ(lx_session_note(bad, 0, nullptr, 0), LX_ERR_HANDLE);
        EXPECT_EQ(lx_lap_samples(bad, 0, 0, nullptr, 0), LX_ERR_HANDLE);
        EXPECT_EQ(lx_lap_closure(bad, 0, 0, &d, &d), LX_ERR_HANDLE);
        EXPECT_EQ(lx_close(bad), LX_ERR_HANDLE);
        EXPECT_EQ(lx_last_status(), LX_ERR_HANDLE);
        EXPECT_STRNE(lx_last_error(), "");
    }
    for (int lap : {-1, 2}) {
        EXPECT_EQ(lx_lap_info_get(h, lap, &li), LX_ERR_LAP);
        EXPECT_EQ(lx_lap_samples(h, lap, 0, nullptr, 0), LX_ERR_LAP);
        EXPECT_EQ(lx_lap_closure(h, lap, 0, &d, &d), LX_ERR_LAP);
    }
    for (int channel : {-1, 4}) {
        EXPECT_EQ(lx_channel_info_get(h, channel, &ci), LX_ERR_CHANNEL);
        EXPECT_EQ(lx_lap_samples(h, 0, channel, nullptr, 0), LX_ERR_CHANNEL);
        EXPECT_EQ(lx_lap_closure(h, 0, channel, &d, &d), LX_ERR_CHANNEL);
    }
    EXPECT_EQ(lx_session_info_get(h, nullptr), LX_ERR_ARGUMENT);
    EXPECT_EQ(lx_channel_info_get(h, 0, nullptr), LX_ERR_ARGUMENT);
    EXPECT_EQ(lx_lap_info_get(h, 0, nullptr), LX_ERR_ARGUMENT);
    EXPECT_EQ(lx_find_channel(h, nullptr), LX_ERR_ARGUMENT);
    EXPECT_EQ(lx_lap_closure(h, 0, 0, nullptr, &d), LX_ERR_ARGUMENT);
    EXPECT_EQ(lx_lap_samples(h, 0, 1, nullptr, 1), LX_ERR_ARGUMENT);
    char note[4] = "Z";
    EXPECT_EQ(lx_session_note(h, 0, nullptr, 0), 0); // a session no reader made has none
    for (auto [index, size] : {std::pair{-1, 0}, {0, -1}, {0, 4}})
        EXPECT_EQ(lx_session_note(h, index, note, size), LX_ERR_ARGUMENT);
    EXPECT_EQ(lx_session_note(h, 0, nullptr, 1), LX_ERR_ARGUMENT);
    EXPECT_STREQ(note, "Z");
    float poisoned[8];
    for (int capacity : {-1, 0, 4, 6}) {
        std::memset(poisoned, 0x5A, sizeof poisoned);
        int got = lx_lap_samples(h, 0, 1, poisoned, capacity);
        EXPECT_EQ(got, capacity < 0 ? LX_ERR_ARGUMENT : 6);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(poisoned[i] == i / 10.0f, i < capacity) << capacity << " " << i;
    }
    EXPECT_STREQ(lx_last_error(), "");
    EXPECT_STREQ(lx_status_text(LX_ERR_LAP), "no such lap");
    EXPECT_STREQ(lx_status_text(42), "unknown status");
}

TEST_F(DataApi, OpenStatusComesFromTheReadersFailureNotFromItsLines) {
    std::string head = "Idx\tTime\tDistance\t\n", lap = "Lap: 1/1\t0\t0\t0\n";
    // A row that reads like a refusal of the file is still a refusal of its content.
    std::string row = write_temp_file(head + lap + "Exceeded maximum number of laps\t\nLap:\n");
    EXPECT_EQ(lx_open(row.c_str(), nullptr), LX_ERR_FORMAT);
    EXPECT_NE(std::string(lx_last_error()).find(">Exceeded maximum number of laps"),
              std::string::npos);
    std::string laps = head;
    for (int l = 0; l < lx::MAX_LAPS; ++l) laps += lap;
    std::string too_many = write_temp_file(laps);
    EXPECT_EQ(lx_open(too_many.c_str(), nullptr), LX_ERR_LIMIT);
    EXPECT_EQ(lx_last_error(), too_many + ": Exceeded maximum number of laps!");
}

} // namespace

// Titles are UTF-8 when valid, else Latin-1: the edges of validity, as the
// UTF-8 standard draws them, and of Latin-1.
TEST(Utf8, EdgesOfValidity) {
    const std::pair<const char*, bool> cases[] = {
        {"\xE0\xA0\x80", true},
        {"\xE0\x9F\xBF", false}, // overlong below U+0800
        {"\xED\x9F\xBF", true},
        {"\xED\xA0\x80", false}, // surrogates
        {"\xF0\x90\x80\x80", true},
        {"\xF0\x8F\xBF\xBF", false}, // overlong below U+10000
        {"\xF4\x8F\xBF\xBF", true},
        {"\xF4\x90\x80\x80", false}, // past U+10FFFF
        {"\xC3\xA9", true},
        {"\xE2\x82", false}, // cut short
        {"\x7F", true},
        {"\x80\x80\x80\x80\x80\x80", false}, // leads nothing
    };
    for (const auto& [text, valid] : cases) EXPECT_EQ(lx::is_utf8(text), valid) << text;
    EXPECT_FALSE(lx::is_utf8("\x80\x80\x80\x80\x80")); // five: a lead and four to follow
    // Latin-1 from its first byte past ASCII to its last.
    EXPECT_EQ(lx::to_utf8("\x7F\x80\xFF"), "\x7F\xC2\x80\xC3\xBF");
    // Cut to a size: whole when it fits exactly, else before the character that does not.
    EXPECT_EQ(lx::utf8_prefix("\xC3\xA9\xC3\xA9", 4), "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(lx::utf8_prefix("\xC3\xA9\xC3\xA9", 3), "\xC3\xA9");
}
