#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
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
const std::string EXAMPLE = HEAD + "Lap: 1/1\t0\t0.00\t0.0\n\t1\t0.05\t1.2\n\t2\t0.10\t2.5\nLap:\n";

struct SessionDeleter {
    void operator()(lx::Session* s) const { lx::free_session(s); }
};
using SessionPtr = std::unique_ptr<lx::Session, SessionDeleter>;

struct ReadOutcome {
    SessionPtr s;
    std::string out;
    std::string path;
};

ReadOutcome read_text(const std::string& content, lx::TraceOptions options = {0, 1}) {
    ReadOutcome r;
    r.path = write_temp_file(content);
    StdoutCapture capture;
    r.s.reset(lx::read_aim_export(r.path.c_str(), options));
    r.out = capture.text();
    return r;
}

float f(const char* text) {
    return std::strtof(text, nullptr);
}

std::vector<float> samples(const lx::Session* s, int lap, int channel) {
    const lx::Lap& l = s->laps[lap];
    return std::vector<float>(l.raw[channel], l.raw[channel] + l.npoints);
}

std::string repeat(const std::string& text, int n) {
    std::string out;
    while (n-- > 0) out += text;
    return out;
}

TEST(Reader, WorkedExampleThroughTheExport) {
    std::string path = write_temp_file(EXAMPLE);
    int h = lx_open_aim_xls(path.c_str());
    ASSERT_EQ(h, 1);
    const lx::Session* s = lx::lookup_session(h);
    EXPECT_EQ(lx_num_channels(h), 3);
    EXPECT_STREQ(lx_channel_name(h, 1), "Time");
    EXPECT_STREQ(s->channels[0].unit, "");
    EXPECT_STREQ(s->channels[2].unit, "m");
    ASSERT_EQ(lx_num_laps(h), 1);
    EXPECT_EQ(s->laps[0].number, 1);
    EXPECT_EQ(samples(s, 0, 1), (std::vector<float>{0.0f, f("0.05"), f("0.10")}));
    EXPECT_EQ(samples(s, 0, 0), (std::vector<float>{0.0f, 1.0f, 2.0f}));
    // Last sample plus one interval, formed in double and stored as float.
    EXPECT_EQ(s->laps[0].raw_laptime, float(double(f("0.10")) * 2 - double(f("0.05"))));
    EXPECT_EQ(s->laps[0].laptime, s->laps[0].raw_laptime);
    EXPECT_NEAR(s->laps[0].raw_laptime, 0.15, 1e-7);
    EXPECT_NEAR(s->sample_rate, 20.0, 1e-5);
    EXPECT_EQ(std::string(s->filename), path);
    StdoutCapture quiet;
    lx_free_session(h);
}

TEST(Reader, CrLfAndLoneCarriageReturns) {
    std::string crlf = EXAMPLE;
    for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
        crlf.insert(at, "\r");
    auto lf = read_text(EXAMPLE), dos = read_text(crlf);
    ASSERT_TRUE(dos.s);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(samples(dos.s.get(), 0, c), samples(lf.s.get(), 0, c));
    EXPECT_EQ(dos.s->laps[0].raw_laptime, lf.s->laps[0].raw_laptime);
    // A CR not followed by LF ends a field like a TAB does.
    auto lone = read_text(HEAD + "Lap: 1/1\t0\t0.00\t0.0\n\t1\r0.05\t1.2\r\r\n");
    ASSERT_TRUE(lone.s);
    EXPECT_EQ(samples(lone.s.get(), 0, 2), (std::vector<float>{0.0f, f("1.2")}));
}

TEST(Reader, TitleRules) {
    auto r = read_text("Idx\tTime [s]\tDistance [m]\tLat. Acc. [m/s2]\tSpeed [km/h]\t"
                       "Temp [\xb0"
                       "C] oil\t\tGear\t  \tRPM");
    ASSERT_TRUE(r.s) << r.out;
    const char* expected[][2] = {{"Idx", ""},          {"Time", "s"},     {"Distance", "m"},
                                 {"Lat__Acc", "m_s2"}, {"Speed", "km_h"}, {"Temp", "C_oil"},
                                 {"Gear", ""},         {"", ""},          {"RPM", ""}};
    ASSERT_EQ(r.s->nchannels, 9); // the title cut by the file's end counts
    EXPECT_EQ(r.s->nfile_channels, 9);
    for (int c = 0; c < 9; ++c) {
        EXPECT_STREQ(r.s->channels[c].name, expected[c][0]) << c;
        EXPECT_STREQ(r.s->channels[c].unit, expected[c][1]) << c;
    }
    EXPECT_EQ(r.s->nlaps, 0);
    EXPECT_EQ(r.s->sample_rate, 0.0f);
}

TEST(Reader, ValueFieldRules) {
    auto r = read_text(HEAD + "x\t\n"             // before the first lap: skipped
                       + "Lap: 3/7\t0\t0.00\t_\n" // "_" stores 0.0
                       + "\t1\t 0.05\tn/a\n"      // blanks; no number repeats
                       + "\n\n"                   // short lines are no rows
                       + "\tx\t1e1\t2.5\xb0\n"    // repeats across rows
                       + "\t3\tLap: note\t-0\t_abc\n" + "Lap:\n" + "\t9\t9\t9\n");
    ASSERT_TRUE(r.s) << r.out;
    ASSERT_EQ(r.s->nlaps, 1);
    EXPECT_EQ(r.s->laps[0].number, 7);
    EXPECT_EQ(r.s->laps[0].npoints, 4);
    EXPECT_EQ(samples(r.s.get(), 0, 0), (std::vector<float>{0, 1, f("0.05"), 3}));
    EXPECT_EQ(samples(r.s.get(), 0, 1), (std::vector<float>{0, f("0.05"), 10, 0}));
    EXPECT_TRUE(std::signbit(r.s->laps[0].raw[1][3]));
    EXPECT_EQ(samples(r.s.get(), 0, 2), (std::vector<float>{0, f("0.05"), 2.5f, 0}));
}

TEST(Reader, LapStructure) {
    std::string rows = HEAD + "Lap: 1/1\t0\t0\t0\n" + repeat("\t1\t0.5\t0\n", 99) +
                       "Lap: x\t0\t2\t0\n" + // unreadable marker, one-row lap
                       "Lap: 5/6\t0\t0\t0\n\t0\t0.25\t0\n";
    auto r = read_text(rows); // no end row: read to the end of the file
    ASSERT_TRUE(r.s) << r.out;
    ASSERT_EQ(r.s->nlaps, 3);
    EXPECT_EQ(r.s->laps[0].npoints, 100);
    EXPECT_EQ(r.s->laps[0].raw_laptime, 0.5f);
    EXPECT_EQ(r.s->laps[1].number, 0);
    EXPECT_EQ(r.s->laps[1].raw_laptime, 2.0f);
    EXPECT_EQ(r.s->laps[2].number, 6);
    EXPECT_EQ(r.s->laps[2].raw_laptime, 0.5f);
    EXPECT_EQ(r.s->sample_rate, float(103.0 / 3.0));
    for (const char* tail : {"", "Lap:\n", "Lap:\nLap: 1/1\t1\t2\t3\n"}) {
        auto empty = read_text(HEAD + tail);
        ASSERT_TRUE(empty.s);
        EXPECT_EQ(empty.s->nlaps, 0);
        EXPECT_EQ(empty.s->sample_rate, 0.0f);
    }
}

TEST(Reader, LimitsOfLapsChannelsNamesAndFields) {
    std::string lap = "Lap: 1/1\t0\t0\t0\n";
    EXPECT_EQ(read_text(HEAD + repeat(lap, 127)).s->nlaps, 127);
    EXPECT_EQ(read_text(HEAD + repeat(lap, 128)).out, "Exceeded maximum number of laps!\n");

    std::string titles = "Idx\tTime\tDistance\t" + repeat("c\t", 125);
    auto wide = read_text(titles + "\nLap: 1/1" + repeat("\t1", 128) + "\n");
    ASSERT_TRUE(wide.s) << wide.out;
    EXPECT_EQ(wide.s->nchannels, 128);
    EXPECT_EQ(read_text(titles + "c\t").out, "Exceeded maximum number of channels!\n");

    auto named = read_text(HEAD.substr(0, HEAD.size() - 1) + std::string(127, 'n') + "[" +
                           std::string(300, 'u') + "]\t\n");
    ASSERT_TRUE(named.s);
    EXPECT_EQ(std::strlen(named.s->channels[3].name), 127u);
    EXPECT_EQ(std::string(named.s->channels[3].unit), std::string(127, 'u'));
    EXPECT_EQ(read_text("Idx\t" + std::string(128, 'n') + "\t").out, "Channel name too long!\n");

    // A field holds at most 127 characters with its ending TAB.
    std::string longest = std::string(120, ' ') + "1.2500";
    auto fits = read_text(HEAD + "Lap: 1/1\t0\t0\t" + longest + "\t\n");
    ASSERT_TRUE(fits.s) << fits.out;
    EXPECT_EQ(fits.s->laps[0].raw[2][0], 1.25f);
    EXPECT_EQ(read_text(HEAD + "Lap: 1/1\t0\t0\t" + longest + "0\t\n").out,
              "Value too long on line 2!\n");
}

TEST(Reader, LinesComeInPiecesOf4095) {
    // 4095 characters end the first piece; the rest is a row of its own.
    std::string split = repeat("\t", 4089) + "1\t2\t3\t" + "4\t5\t6\t\n";
    auto r = read_text(HEAD + "Lap: 1/1\t0\t0\t0\n" + split);
    ASSERT_TRUE(r.s) << r.out;
    EXPECT_EQ(samples(r.s.get(), 0, 2), (std::vector<float>{0, 3, 6}));
    // A title cut by the piece's end still counts; the rest of the title row
    // comes before the first lap and is skipped.
    std::string head = HEAD.substr(0, HEAD.size() - 1);
    std::string titles = head + repeat("\t", 4092 - int(head.size())) + "Speedometer\t\n";
    auto cut = read_text(titles + "Lap: 1/1\t0\t0\t0\t0\n");
    ASSERT_TRUE(cut.s) << cut.out;
    EXPECT_STREQ(cut.s->channels[3].name, "Spe");
    // A piece without its newline loses its last field.
    std::string line = repeat("\t", 4090) + "1\t2\t3";
    EXPECT_EQ(read_text(HEAD + "Lap: 1/1\t0\t0\t0\n" + line + "\n").out,
              "Incorrect number of values on line : Lap 0, pos = 1, line = 3\n>" + line +
                  "< (4095)\n");
}

TEST(Reader, FailuresPrintTheirMessageGiveTheHandleBackAndLeakNothing) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "Read error on input file!\n"},
        {"Time [s]\tDistance [m]\t\n", "Channel 1 must be 'Time' - please export against "
                                       "Time/Distance\n"},
        {"Idx\ttime\tDistance\t\n", "Channel 1 must be 'Time' - please export against "
                                    "Time/Distance\n"},
        {"Idx\tTime\t\n", "Channel 2 must be 'Distance' - please export against Time/Distance\n"},
        {"Idx\tTime\tDistance\tSpeed\nLap: 1/1\t0\t0\t0\t0\n", "Too many values on line!\n"},
        {HEAD + "Lap: 1/1\t0\t0\t0\n\t1\t\t2.5\n",
         "Incorrect number of values on line : Lap 0, pos = 1, line = 3\n>\t1\t\t2.5\n< (8)\n"},
        {HEAD + "Lap: 1/1\t0\t0\t0\n\t1\t0.1\t2.5",
         "Incorrect number of values on line : Lap 0, pos = 1, line = 3\n>\t1\t0.1\t2.5< (10)\n"},
    };
    long live = lx::live_allocations();
    for (const auto& [content, message] : cases) {
        std::string path = write_temp_file(content);
        StdoutCapture out;
        EXPECT_EQ(lx_open_aim_xls(path.c_str()), 0);
        EXPECT_EQ(out.text(), message + "lx_open_aim_xls(): Open failed for " + path + "\n");
        EXPECT_EQ(lx::library.open_sessions, 0);
        EXPECT_EQ(lx::lookup_session(1), nullptr);
        EXPECT_EQ(lx::live_allocations(), live);
    }
    std::string missing = temp_path(".none");
    EXPECT_EQ(read_text("").s, nullptr);
    StdoutCapture out;
    EXPECT_EQ(lx::read_aim_export(missing.c_str(), {0, 1}), nullptr);
    EXPECT_EQ(out.text(), "Failed to open input file " + missing + "\n");
}

#ifndef _WIN32
TEST(Reader, InputThatCannotRewindIsRefused) {
    std::string path = temp_path(".fifo");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    std::thread writer([&] {
        std::FILE* w = std::fopen(path.c_str(), "wb");
        std::fputs(EXAMPLE.c_str(), w);
        std::fclose(w);
    });
    StdoutCapture out;
    SessionPtr s(lx::read_aim_export(path.c_str(), {0, 1}));
    writer.join();
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(out.text(), "Error seeking in input file!\n");
}
#endif

TEST(Reader, EachAllocationFailureIsReportedWithoutLeak) {
    std::string two_laps = HEAD + "Lap: 1/1\t0\t0\t0\n\t0\t1\t0\nLap: 1/2\t0\t0\t0\n";
    long live = lx::live_allocations();
    std::vector<std::string> messages;
    for (int n = 1;; ++n) {
        lx::fail_allocation_at(n);
        auto r = read_text(two_laps);
        lx::fail_allocation_at(0);
        if (r.s) break;
        EXPECT_EQ(lx::live_allocations(), live);
        messages.push_back(r.out);
    }
    char session_message[100];
    std::snprintf(session_message, sizeof session_message,
                  "Error allocating %d bytes for session structure! 0\n", int(sizeof(lx::Session)));
    const std::string channel = "Could not allocate memory for channel!\n";
    EXPECT_EQ(messages,
              (std::vector<std::string>{
                  session_message, "Could not allocate memory for input buffer!\n",
                  channel + "lap[0].raw[0], malloc(8)", channel + "lap[0].raw[1], malloc(8)",
                  channel + "lap[0].raw[2], malloc(8)", channel + "lap[1].raw[0], malloc(4)",
                  channel + "lap[1].raw[1], malloc(4)", channel + "lap[1].raw[2], malloc(4)"}));
}

TEST(Reader, VerboseTraceAndProgress) {
    auto r = read_text(EXAMPLE + "12 Beacon 3.5\nnothing\n", {1, 0});
    ASSERT_TRUE(r.s);
    char allocated[100];
    std::snprintf(allocated, sizeof allocated,
                  "Allocated %d bytes for session structure @ 0x%08x\n", int(sizeof(lx::Session)),
                  unsigned(reinterpret_cast<std::uintptr_t>(r.s.get())));
    std::string p = r.path;
    EXPECT_EQ(r.out, "Reading input file " + p + "\n" + allocated +
                         "Reading channel information\n"
                         "Channel 0  : Idx                                                \n"
                         "Channel 1  : Time                           s                   \n"
                         "Channel 2  : Distance                       m                   \n"
                         "Scanning file for lap lengths\n"
                         "12 Beacon 3.500000\n0  0.000000\n"
                         "\nLap       Orig      Entries   Laptime   \n"
                         "---       ----      -------   -------   \n"
                         "0         1         3         0.000     \n"
                         "\nAllocated 36 bytes for 3 channels, 1 laps\n"
                         "Reading lap data\n"
                         "\rReading " +
                         p + " - Lap 1" + "\rReading " + p +
                         " - done.               \n"
                         "Read 5 lines from input file " +
                         p +
                         "\n"
                         "Lap 0 raw_laptime = 0.150 laptime = 0.150\n");
}

TEST(Reader, LongFileNamesAreCutInTheSession) {
    std::filesystem::path dir = std::filesystem::path(temp_path("")) / std::string(150, 'd');
    std::filesystem::create_directories(dir);
    std::string path = (dir / "export.txt").string();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fputs(EXAMPLE.c_str(), out);
    std::fclose(out);
    SessionPtr s(lx::read_aim_export(path.c_str(), {0, 1}));
    ASSERT_TRUE(s);
    EXPECT_EQ(std::string(s->filename), path.substr(0, 127));
}

// Generated exports with odd fields read the same as fgets and sscanf("%f").
TEST(Reader, SameValuesAsTheReferenceReader) {
    std::mt19937 rng(5);
    const char* odd[] = {"_",  "n/a",   " 2.5",         "1e",   "1e-3", "-.5",
                         ".",  "0x1p3", "inf",          "-nan", "1,5",  "+7",
                         "0x", "infin", "3.4028236e38", "1e-50"};
    std::uniform_real_distribution<float> value(-5000.0f, 5000.0f);
    std::string content = "Idx\tTime [s]\tDistance [m]\tA\tB\tC\t\n";
    for (int row = 0; row < 3000; ++row) {
        content += row % 500 == 0 ? "Lap: 1/" + std::to_string(row / 500) : "";
        for (int c = 0; c < 6; ++c) {
            char text[64];
            int kind = rng() % 10;
            if (kind < 6)
                std::snprintf(text, sizeof text, "%.*f", int(rng() % 7), value(rng));
            else if (kind < 9)
                std::snprintf(text, sizeof text, "%s", odd[rng() % std::size(odd)]);
            else
                std::snprintf(text, sizeof text, "%.9g", value(rng) * 1e20f);
            content += std::string(rng() % 8 == 0 ? "\t\t" : "\t") + text;
        }
        content += rng() % 4 == 0 ? "\t\r\n" : "\t\n";
    }
    auto r = read_text(content);
    ASSERT_TRUE(r.s) << r.out;
    std::vector<lxref::ReferenceLap> laps;
    std::string plain = content;
    for (std::size_t at; (at = plain.find("\r\n")) != std::string::npos;) plain.erase(at, 1);
    ASSERT_TRUE(lxref::reference_read(write_temp_file(plain).c_str(), laps));
    ASSERT_EQ(r.s->nlaps, int(laps.size()));
    for (int l = 0; l < r.s->nlaps; ++l) {
        ASSERT_EQ(r.s->laps[l].npoints, int(laps[l].rows.size()));
        EXPECT_EQ(r.s->laps[l].number, laps[l].number);
        for (int row = 0; row < r.s->laps[l].npoints; ++row)
            for (int c = 0; c < 6; ++c)
                ASSERT_EQ(std::memcmp(&r.s->laps[l].raw[c][row], &laps[l].rows[row][c], 4), 0)
                    << "lap " << l << " row " << row << " channel " << c;
    }
}

} // namespace
