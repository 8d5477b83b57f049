// Bad input: each file refused with its line and cause, nothing leaked, and
// the sessions already open untouched.
#include <gtest/gtest.h>

#include "import_files.h"
#include "lx_data.h"
#include "session/session.h"

using namespace importtest;

namespace {

const std::string HEAD = "\"Format\",\"AiM CSV File\"\n\"Sample Rate\",\"100000\"\n\n"
                         "\"Time\",\"Speed\"\n\"s\",\"km/h\"\n";

std::string rows(int n, double step = 0.1) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "\"" + std::to_string(i * step) + "\",\"50\"\n";
    return text;
}

std::string wide_header(int channels) {
    std::string names = "\"Time\"", units = "\"s\"", row = "0";
    for (int c = 1; c < channels; ++c)
        names += ",\"c" + std::to_string(c) + "\"", units += ",\"\"", row += ",1";
    return "\"Format\",\"AiM CSV File\"\n\n" + names + "\n" + units + "\n" + row + "\n";
}

std::string many_laps(int laps) {
    std::string markers = "\"Beacon Markers\"";
    for (int l = 1; l < laps; ++l) markers += ",\"" + std::to_string(l) + "\"";
    return "\"Format\",\"AiM CSV File\"\n" + markers + "\n\n\"Time\",\"Speed\"\n\"s\",\"km/h\"\n" +
           rows(laps * 2, 0.5);
}

struct BadFile {
    const char* what;
    std::string content;
    int status;
    const char* message; // a part of the message after the file name
};

} // namespace

TEST(ImportRefusals, EachBadFileNamesItsLineAndCause) {
    const std::string racechrono =
        "RaceChrono\nFormat,3\n\ntimestamp,device_update_rate\nunix time,Hz\n,100: gps\n";
    const BadFile cases[] = {
        {"too many fields", HEAD + rows(2) + "\"0.2\",\"1\",\"2\"\n", LX_ERR_FORMAT,
         ":8: 3 fields"},
        {"header only", HEAD, LX_ERR_FORMAT, ":5: no samples after the header"},
        {"not a number", HEAD + rows(2) + "\"0.2\",\"fast\"\n", LX_ERR_FORMAT,
         ":8: field 2 (Speed) \"fast\" is not a number"},
        {"NaN", HEAD + rows(2) + "\"0.2\",\"nan\"\n", LX_ERR_FORMAT, ":8: field 2"},
        {"infinite", HEAD + rows(2) + "\"0.2\",\"1e999\"\n", LX_ERR_FORMAT, ":8: field 2"},
        {"two signs", HEAD + rows(2) + "\"0.2\",\"--5\"\n", LX_ERR_FORMAT, ":8: field 2"},
        {"time backwards", HEAD + rows(3) + "\"0.1\",\"50\"\n", LX_ERR_FORMAT,
         ":9: time 0.1 runs backwards"},
        {"time missing", HEAD + rows(1) + "\"\",\"50\"\n", LX_ERR_FORMAT,
         ":7: time \"\" (Time) is not a number"},
        {"rate 0", "\"Format\",\"AiM CSV File\"\n\"Sample Rate\",\"0\"\n\n\"Time\"\n\"s\"\n0\n",
         LX_ERR_FORMAT, ":2: sample rate \"0\""},
        {"absurd rate",
         "\"Format\",\"AiM CSV File\"\n\"Sample Rate\",\"1e9\"\n\n\"Time\"\n\"s\"\n0\n",
         LX_ERR_FORMAT, ":2: sample rate"},
        {"open quote", HEAD + "\"0.0,\"50\"\n", LX_ERR_FORMAT, ":6: text after a closing quote"},
        {"open after doubled quotes", HEAD + "\"0.0\",\"a\"\"b\"\"\n", LX_ERR_FORMAT,
         ":6: a quote is not closed"},
        {"binary garbage", HEAD + std::string("\x01\xff\x00\x80,\x02", 6) + "\n", LX_ERR_FORMAT,
         ":6: expected a row"},
        {"megabyte line", HEAD + rows(1) + std::string(1 << 20, '7') + "\n", LX_ERR_FORMAT,
         ":7: line longer than"},
        {"repeated beacon",
         "\"Format\",\"AiM CSV File\"\n\"Beacon Markers\",\"3 3\"\n\n\"Time\"\n\"s\"\n0\n",
         LX_ERR_FORMAT, ":2: beacon marker \"3\""},
        {"unordered beacons",
         "\"Format\",\"AiM CSV File\"\n\"Beacon Markers\",\"5 3\"\n\n\"Time\"\n\"s\"\n0\n",
         LX_ERR_FORMAT, ":2: beacon marker \"3\""},
        {"117 channels", wide_header(115), LX_ERR_LIMIT, "--channels"},
        {"128 laps", many_laps(128), LX_ERR_LIMIT,
         "128 laps; a session holds 127: take a window with --laps FIRST-LAST"},
        {"RaceChrono at 0 Hz", racechrono + "1.5,0\n1.6,0\n", LX_ERR_FORMAT, "sample rate 0 Hz"},
        {"RaceChrono row of text", racechrono + "x,10\n1,10\n", LX_ERR_FORMAT, ":7: time \"x\""},
        {"RaceChrono gap", racechrono + "1,10\n1e6,10\n", LX_ERR_LIMIT, "give a lower --rate"},
    };
    int other = lx_open_aim_xls(LX_SOURCE_DIR "/examples/sample.txt");
    ASSERT_GT(other, 0);
    float other_max = lx_channel_max(other, 3);
    long live = lx::live_allocations();
    for (const BadFile& c : cases) {
        std::string path = write_temp_file(c.content, ".csv");
        lx::ImportResult r = import(path);
        EXPECT_EQ(r.session, nullptr) << c.what;
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.message.rfind(path, 0), 0u) << c.what;
        EXPECT_NE(r.message.find(c.message), std::string::npos) << c.what << ": " << r.message;
        EXPECT_EQ(r.message.find('\n'), std::string::npos) << c.what;
        EXPECT_EQ(lx::live_allocations(), live) << c.what;
    }
    // Memory refused for the session, then for its block of samples.
    std::string path = write_temp_file(HEAD + rows(3), ".csv");
    for (long nth = 1; nth <= 3; ++nth) {
        lx::fail_allocation_at(nth);
        lx::ImportResult r = import(path);
        lx::fail_allocation_at(0);
        EXPECT_EQ(r.message, nth < 3 ? path + ": out of memory" : "") << nth;
        EXPECT_EQ(r.session != nullptr, nth == 3);
        lx::free_session(r.session);
        EXPECT_EQ(lx::live_allocations(), live);
    }
    EXPECT_EQ(lx_channel_max(other, 3), other_max);
    lx_free_session(other);
}

TEST(ImportRefusals, OptionsThatPickNothingTheFileHas) {
    std::string path = write_temp_file(aim_export("\"Beacon Markers\",\"2.050\""), ".csv");
    lx::ImportOptions unknown_channel, bad_window, bad_rate;
    unknown_channel.channels = "Oil";
    bad_window.first_lap = 2, bad_window.last_lap = 5;
    bad_rate.rate = -1;
    EXPECT_EQ(import(path, unknown_channel).status, LX_ERR_CHANNEL);
    EXPECT_EQ(import(path, bad_window).status, LX_ERR_ARGUMENT);
    EXPECT_EQ(import(path, bad_rate).status, LX_ERR_ARGUMENT);
    EXPECT_EQ(import(path + ".missing").status, LX_ERR_FILE);
}
