#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "aim/aim.h"
#include "lx.h"
#include "reference_reader.h"
#include "support.h"

using namespace lxtest;

namespace {

const std::string HEAD = "Idx\tTime [s]\tDistance [m]\t\n";
const std::string LAP = "Lap: 1/1\t0\t0\t0\n";
const std::string EXAMPLE = HEAD + "Lap: 1/1\t0\t0.00\t0.0\n\t1\t0.05\t1.2\n\t2\t0.10\t2.5\nLap:\n";

struct Read {
    std::unique_ptr<lx::Session, decltype(&lx::free_session)> s{nullptr, lx::free_session};
    std::string out, path;
};

Read read_text(const std::string& content, lx::TraceOptions options = {0, 1, lx::STANDARD_OUTPUT}) {
    Read r;
    r.path = write_temp_file(content);
    StdoutCapture capture;
    r.s.reset(lx::read_aim_export(r.path.c_str(), options));
    r.out = capture.text();
    return r;
}

std::vector<float> samples(const Read& r, int lap, int channel) {
    const lx::Lap& l = r.s->laps[lap];
    return std::vector<float>(l.raw[channel], l.raw[channel] + l.npoints);
}

std::string repeat(const std::string& text, int n) {
    std::string out;
    while (n-- > 0) out += text;
    return out;
}

float f(const char* text) {
    return std::strtof(text, nullptr);
}

TEST(Reader, WorkedExampleThroughTheExport) {
    std::string path = write_temp_file(EXAMPLE);
    int h = lx_open_aim_xls(path.c_str());
    ASSERT_EQ(h, 1);
    const lx::Session* s = lx::lookup_session(h);
    EXPECT_EQ(lx_num_channels(h), 3);
    EXPECT_STREQ(lx_channel_name(h, 1), "Time");
    EXPECT_EQ(std::string(s->channels[0].unit) + s->channels[1].unit + s->channels[2].unit, "sm");
    ASSERT_EQ(lx_num_laps(h), 1);
    EXPECT_EQ(s->laps[0].number, 1);
    EXPECT_EQ(std::vector<float>(s->laps[0].raw[1], s->laps[0].raw[1] + s->laps[0].npoints),
              (std::vector<float>{0.0f, f("0.05"), f("0.10")}));
    // Last sample plus one interval, formed in double and stored as float.
    EXPECT_EQ(s->laps[0].raw_laptime, float(double(f("0.10")) * 2 - double(f("0.05"))));
    EXPECT_EQ(s->laps[0].laptime, s->laps[0].raw_laptime);
    EXPECT_NEAR(s->sample_rate, 20.0, 1e-5);
    StdoutCapture quiet;
    lx_free_session(h);
}

TEST(Reader, TitleRules) {
    Read r = read_text("Idx\tTime [s]\tDistance [m]\tLat. Acc. [m/s2]\tSpeed [km/h]\tTemp [\xb0"
                       "C] oil\t\tGear\t  \tRPM");
    ASSERT_TRUE(r.s) << r.out;
    const char* expected[][2] = {{"Idx", ""},          {"Time", "s"},     {"Distance", "m"},
                                 {"Lat__Acc", "m_s2"}, {"Speed", "km_h"}, {"Temp", "C_oil"},
                                 {"Gear", ""},         {"", ""},          {"RPM", ""}};
    ASSERT_EQ(r.s->nchannels, 9); // the last title ends at the end of the file
    for (int c = 0; c < 9; ++c)
        EXPECT_EQ(std::string(r.s->channels[c].name) + "/" + r.s->channels[c].unit,
                  std::string(expected[c][0]) + "/" + expected[c][1]);
    EXPECT_EQ(r.s->nlaps, 0);
    EXPECT_EQ(r.s->sample_rate, 0.0f);
}

TEST(Reader, ValueFieldsRowsAndLaps) {
    Read r = read_text(HEAD + "x\t\n"                 // before the first lap: skipped
                       + "Lap: 3/+7\t0\t0.00\t_\n"    // "_" stores 0.0
                       + "\t1\t 0.05\tn/a\n\n"        // no number repeats the last value
                       + "\tx\t1e1\t2.5\xb0\n"        // ... across rows too
                       + "\t3\tLap: note\t-0\t_abc\n" // lap markers anywhere are ignored
                       + "Lap: x\t9\t9\t9\n"          // a one-row lap, unreadable marker
                       + "Lap: 1/99999999999\t0\t0\t0\n\t0\t0.25\t0\n"); // no end row
    ASSERT_TRUE(r.s) << r.out;
    ASSERT_EQ(r.s->nlaps, 3);
    EXPECT_EQ(r.s->laps[0].number, 7);
    EXPECT_EQ(samples(r, 0, 0), (std::vector<float>{0, 1, f("0.05"), 3}));
    EXPECT_EQ(samples(r, 0, 1), (std::vector<float>{0, f("0.05"), 10, 0}));
    EXPECT_TRUE(std::signbit(r.s->laps[0].raw[1][3]));
    EXPECT_EQ(samples(r, 0, 2), (std::vector<float>{0, f("0.05"), 2.5f, 0}));
    EXPECT_EQ(r.s->laps[1].number, 0);
    EXPECT_EQ(r.s->laps[2].number, INT_MAX);
    EXPECT_EQ(r.s->laps[1].raw_laptime, 9.0f);   // a single row: its own time
    EXPECT_EQ(r.s->laps[0].raw_laptime, -10.0f); // -0 + (-0 - 10)
    EXPECT_EQ(r.s->laps[2].raw_laptime, 0.5f);
    EXPECT_EQ(r.s->sample_rate, 0.0f); // the total time is not above 0
    for (const char* tail : {"", "Lap:\n", "Lap:\nLap: 1/1\t1\t2\t3\n"}) {
        Read none = read_text(HEAD + tail);
        ASSERT_TRUE(none.s);
        EXPECT_EQ(none.s->nlaps, 0);
    }
}

TEST(Reader, LimitsOfLapsChannelsNamesAndFields) {
    EXPECT_EQ(read_text(HEAD + repeat(LAP, 127) + repeat("\t1\t2\t3\n", 99)).s->laps[126].npoints,
              100);
    EXPECT_EQ(read_text(HEAD + repeat(LAP, 128)).out, "Exceeded maximum number of laps!\n");
    std::string titles = "Idx\tTime\tDistance\t" + repeat("c\t", 125);
    EXPECT_EQ(read_text(titles + "\nLap: 1/1" + repeat("\t1", 128) + "\n").s->nchannels, 128);
    EXPECT_EQ(read_text(titles + "c\t").out, "Exceeded maximum number of channels!\n");
    Read named = read_text("Idx\tTime\tDistance\t" + std::string(127, 'n') + "[" +
                           std::string(300, 'u') + "]\t\n");
    ASSERT_TRUE(named.s);
    EXPECT_EQ(std::strlen(named.s->channels[3].name), 127u);
    EXPECT_EQ(std::strlen(named.s->channels[3].unit), 127u); // units are cut
    EXPECT_EQ(read_text("Idx\t" + std::string(128, 'n') + "\t").out, "Channel name too long!\n");
    // A field holds at most 127 characters with its ending TAB.
    std::string longest = std::string(120, ' ') + "1.2500";
    EXPECT_EQ(read_text(HEAD + "Lap: 1/1\t0\t0\t" + longest + "\t\n").s->laps[0].raw[2][0], 1.25f);
    EXPECT_EQ(read_text(HEAD + "Lap: 1/1\t0\t0\t" + longest + "0\t\n").out,
              "Value too long on line 2!\n");
}

TEST(Reader, LinesComeInPiecesOf4095) {
    // 4095 characters end the first piece; the rest is a row of its own.
    Read r = read_text(HEAD + LAP + repeat("\t", 4089) + "1\t2\t3\t" + "4\t5\t6\t\n");
    ASSERT_TRUE(r.s) << r.out;
    EXPECT_EQ(samples(r, 0, 2), (std::vector<float>{0, 3, 6}));
    // A title cut by the piece's end counts; the rest of the row precedes the
    // first lap and is skipped.
    std::string head = "Idx\tTime\tDistance\t";
    Read cut = read_text(head + repeat("\t", 4092 - int(head.size())) + "Speedometer\t\n" +
                         "Lap: 1/1\t0\t0\t0\t0\n");
    ASSERT_TRUE(cut.s);
    EXPECT_STREQ(cut.s->channels[3].name, "Spe");
    std::string line = repeat("\t", 4090) + "1\t2\t3"; // its last field loses its ending
    EXPECT_EQ(read_text(HEAD + LAP + line + "\n").out,
              "Incorrect number of values on line : Lap 0, pos = 1, line = 3\n>" + line +
                  "< (4095)\n");
}

TEST(Reader, FailuresPrintTheirMessageGiveTheHandleBackAndLeakNothing) {
    const std::string time1 = "Channel 1 must be 'Time' - please export against Time/Distance\n";
    const std::pair<std::string, std::string> cases[] = {
        {"", "Read error on input file!\n"},
        {"Time [s]\tDistance [m]\t\n", time1},
        {"Idx\tTime\t\n", "Channel 2 must be 'Distance' - please export against Time/Distance\n"},
        {"Idx\tTime\tDistance\tSpeed\nLap: 1/1\t0\t0\t0\t0\n", "Too many values on line!\n"},
        {HEAD + LAP + "\t1\t\t2.5\n",
         "Incorrect number of values on line : Lap 0, pos = 1, line = 3\n>\t1\t\t2.5\n< (8)\n"},
        {HEAD + LAP + "a\n", // a row of one character is a row too
         "Incorrect number of values on line : Lap 0, pos = 1, line = 3\n>a\n< (2)\n"},
        {HEAD + LAP + "\t1\t0.1\t2.5",
         "Incorrect number of values on line : Lap 0, pos = 1, line = 3\n>\t1\t0.1\t2.5< (10)\n"},
    };
    long live = lx::live_allocations();
    for (const auto& [content, message] : cases) {
        std::string path = write_temp_file(content);
        StdoutCapture out;
        EXPECT_EQ(lx_open_aim_xls(path.c_str()), 0);
        EXPECT_EQ(out.text(), message + "lx_open_aim_xls(): Open failed for " + path + "\n");
        EXPECT_EQ(lx::library.open_sessions, 0);
        EXPECT_EQ(lx::live_allocations(), live);
    }
    std::string missing = temp_path(".none");
    StdoutCapture out;
    EXPECT_EQ(lx::read_aim_export(missing.c_str(), {0, 1, lx::STANDARD_OUTPUT}), nullptr);
    EXPECT_EQ(out.text(), "Failed to open input file " + missing + "\n");
#ifndef _WIN32
    std::string fifo = temp_path(".fifo"); // input that cannot rewind
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        std::FILE* w = std::fopen(fifo.c_str(), "wb");
        std::fputs(EXAMPLE.c_str(), w);
        std::fclose(w);
    });
    StdoutCapture piped;
    EXPECT_EQ(lx::read_aim_export(fifo.c_str(), {0, 1, lx::STANDARD_OUTPUT}), nullptr);
    writer.join();
    EXPECT_EQ(piped.text(), "Error seeking in input file!\n");
#endif
}

TEST(Reader, VerboseTraceAndProgress) {
    Read r =
        read_text(EXAMPLE + "12 Beacon 3.5\n7\rBeacon 1\nnothing\n", {1, 0, lx::STANDARD_OUTPUT});
    ASSERT_TRUE(r.s);
    char allocated[100];
    std::snprintf(allocated, sizeof allocated,
                  "Allocated %d bytes for session structure @ 0x%08x\n", int(sizeof(lx::Session)),
                  unsigned(reinterpret_cast<std::uintptr_t>(r.s.get())));
    const std::string& p = r.path;
    EXPECT_EQ(r.out, "Reading input file " + p + "\n" + allocated +
                         "Reading channel information\n"
                         "Channel 0  : Idx                                                \n"
                         "Channel 1  : Time                           s                   \n"
                         "Channel 2  : Distance                       m                   \n"
                         "Scanning file for lap lengths\n"
                         "12 Beacon 3.500000\n7 Beacon 1.000000\n0  0.000000\n"
                         "\nLap       Orig      Entries   Laptime   \n"
                         "---       ----      -------   -------   \n"
                         "0         1         3         0.000     \n"
                         "\nAllocated 36 bytes for 3 channels, 1 laps\n"
                         "Reading lap data\n\rReading " +
                         p + " - Lap 1\rReading " + p +
                         " - done.               \n"
                         "Read 5 lines from input file " +
                         p +
                         "\n"
                         "Lap 0 raw_laptime = 0.150 laptime = 0.150\n");
}

// Generated exports with odd fields read the same as fgets and sscanf("%f").
TEST(Reader, SameValuesAsTheReferenceReader) {
    std::mt19937 rng(5);
    const std::vector<std::string> odd = {"_",   "n/a", " 2.5",  "1e",    "1e-3",
                                          "-.5", ".",   "0x1p3", "inf",   "-nan",
                                          "1,5", "+7",  "0x",    "infin", "3.5e38"};
    std::string content = "Idx\tTime [s]\tDistance [m]\tA\tB\tC\t\n";
    for (int row = 0; row < 3000; ++row) {
        content += row % 500 ? "" : "Lap: 1/" + std::to_string(row / 500);
        for (int c = 0; c < 6; ++c) {
            char number[64];
            std::snprintf(number, sizeof number, "%.*f", int(rng() % 9), int(rng()) / 97e3);
            content += (rng() % 8 ? "\t" : "\t\t") + (rng() % 3 ? number : odd[rng() % odd.size()]);
        }
        content += rng() % 4 ? "\t\n" : "\t\r\n";
    }
    Read r = read_text(content);
    ASSERT_TRUE(r.s) << r.out;
    std::vector<lxref::ReferenceLap> laps;
    ASSERT_TRUE(lxref::reference_read(r.path.c_str(), 6, laps));
    ASSERT_EQ(r.s->nlaps, int(laps.size()));
    for (int l = 0; l < r.s->nlaps; ++l) {
        ASSERT_EQ(r.s->laps[l].npoints, laps[l].rows);
        EXPECT_EQ(r.s->laps[l].number, laps[l].number);
        for (int row = 0; row < r.s->laps[l].npoints; ++row)
            for (int c = 0; c < 6; ++c)
                ASSERT_EQ(0, std::memcmp(&r.s->laps[l].raw[c][row], &laps[l].values[c][row], 4))
                    << "lap " << l << " row " << row << " channel " << c;
    }
}

} // namespace
