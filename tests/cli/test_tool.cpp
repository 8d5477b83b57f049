// The lx program, run as a user runs it: exit codes, what it prints, the
// files it writes. Its answers are checked against the library's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <sys/wait.h>

#include "gen.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

struct Result {
    int code;
    std::string out, err;
};

Result lx(const std::string& args) {
    std::string out = temp_path(".out"), err = temp_path(".err");
    std::string command = std::string("'") + LX_TOOL + "' " + args + " >" + out + " 2>" + err;
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out), read_file(err)};
}

// Exits with the code and says why on standard error.
testing::AssertionResult refused(const std::string& args, int code, const std::string& why) {
    Result r = lx(args);
    if (r.code == code && r.err.find(why) != std::string::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << args << " exits " << r.code << ": " << r.err;
}

const std::string SAMPLE = std::string("'") + LX_SAMPLE + "'";

std::vector<std::string> lines_with(const std::string& text, const std::string& pattern) {
    std::vector<std::string> found;
    std::istringstream in(text);
    std::regex re(pattern);
    for (std::string line; std::getline(in, line);)
        if (std::regex_search(line, re)) found.push_back(line);
    return found;
}

// Lap rows of the tool's tables: "  <n>  m:ss.sss ...".
std::vector<std::string> lap_rows(const std::string& text) {
    return lines_with(text, R"(^\s+\d+\s+-?\d+:\d\d\.\d\d\d)");
}

// The sample as the library itself sees it, for comparison.
struct Library {
    int handle;
    Library() {
        close_all_sessions();
        StdoutCapture quiet;
        handle = lx_open_aim_xls(LX_SAMPLE);
    }
    ~Library() { close_all_sessions(); }
    std::string laptime(int lap) {
        std::string text = lx_laptime_text(handle, lap, 0, 1);
        return text.substr(text.find(" - ") + 3);
    }
};

TEST(Tool, InfoAgreesWithTheLibrary) {
    Library lib;
    ASSERT_GT(lib.handle, 0);
    Result r = lx("info " + SAMPLE);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(lines_with(r.out, R"(^\s+4\s+Speed\s+km_h\s)").size(), 1u);
    EXPECT_EQ(lines_with(r.out, R"(^\s+1\s+Time\s+s\s)").size(), 1u);
    std::vector<std::string> rows = lap_rows(r.out);
    ASSERT_EQ(int(rows.size()), lx_num_laps(lib.handle));
    for (int lap = 0; lap < lx_num_laps(lib.handle); ++lap)
        EXPECT_NE(rows[std::size_t(lap)].find(lib.laptime(lap)), std::string::npos) << lap;
    EXPECT_EQ(r.out.find("Freeing session"), std::string::npos);

    // Without laps there is no range to show.
    std::string empty = write_temp_file("Idx\tTime [s]\tDistance [m]\t\nLap:\n");
    Result none = lx("info " + empty);
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(lines_with(none.out, R"(^\s+2\s+Distance\s+-\s+-$)").size(), 1u);
    EXPECT_NE(none.out.find("Laps (0):"), std::string::npos);
}

struct LapRow {
    int lap;
    double seconds, length;
    std::string mark;
};

std::vector<LapRow> parse_laps(const std::string& out) {
    std::vector<LapRow> rows;
    for (const std::string& line : lap_rows(out)) {
        LapRow row{};
        int minutes = 0;
        char mark[32] = "";
        std::sscanf(line.c_str(), "%d %d:%lf %lf %31s", &row.lap, &minutes, &row.seconds,
                    &row.length, mark);
        row.seconds += minutes * 60;
        row.mark = mark;
        rows.push_back(row);
    }
    return rows;
}

TEST(Tool, LapsMarksTheFastestWholeLapAndLibraryTalksOnlyWhenAsked) {
    Result r = lx("laps " + SAMPLE);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Speed: Speed (km/h), lateral: Lateral_Acc, longitudinal: "
                         "Longitudinal_Acc"),
              std::string::npos);
    std::vector<LapRow> rows = parse_laps(r.out);
    ASSERT_EQ(rows.size(), 10u);
    auto is_fastest = [](const LapRow& row) { return row.mark == "fastest"; };
    ASSERT_EQ(std::count_if(rows.begin(), rows.end(), is_fastest), 1);
    const LapRow& fastest = *std::find_if(rows.begin(), rows.end(), is_fastest);
    double track = lxgen::make_track().length;
    EXPECT_NEAR(fastest.length, track, 0.01 * track);
    for (const LapRow& row : rows)
        EXPECT_TRUE(row.length <= 0.9 * track || row.seconds >= fastest.seconds) << row.lap;

    Result loud = lx("-v laps " + SAMPLE);
    EXPECT_EQ(loud.out, r.out);
    EXPECT_NE(loud.err.find("library: Freeing session 1"), std::string::npos);
}

// A small export: constant 36 km/h (22.369 mph) at 10 samples per second.
std::string constant_speed_file(const char* speed_title, double speed, const char* lat_title) {
    std::string text =
        std::string("Idx\tTime [s]\tDistance [m]\t") + speed_title + "\t" + lat_title + "\t\n";
    for (int lap = 1; lap <= 3; ++lap)
        for (int i = 0; i < 10; ++i) {
            char row[128];
            std::snprintf(row, sizeof row, "%s\t%d\t%.2f\t%d\t%.4f\t0.2\n",
                          i == 0 ? ("Lap: 1/" + std::to_string(lap)).c_str() : "", i, i * 0.1, i,
                          speed);
            text += row;
        }
    return text + "Lap:\n";
}

TEST(Tool, LapsFindsChannelsByNameAndSpeedUnitByUnit) {
    std::string mph =
        write_temp_file(constant_speed_file("Velocity [mph]", 22.369363, "G_Lat [g]"));
    Result r = lx("laps " + mph);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Speed: Velocity (mph), lateral: G_Lat, longitudinal: from speed"),
              std::string::npos);
    // Ten samples at 10 m/s, 0.1 s apart: about 10 m a lap whatever the smoothing.
    for (const LapRow& row : parse_laps(r.out)) EXPECT_NEAR(row.length, 10.0, 0.6);
    Result kmh = lx("laps --units kmh " + mph);
    for (const LapRow& row : parse_laps(kmh.out)) EXPECT_NEAR(row.length, 10.0 / 1.609344, 0.4);

    std::string no_speed = write_temp_file(constant_speed_file("Engine [rpm]", 10, "LatAcc [g]"));
    Result none = lx("laps " + no_speed);
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.err.find("no speed channel found"), std::string::npos);
    EXPECT_NE(none.err.find("Engine"), std::string::npos);
    EXPECT_NE(none.err.find("--speed"), std::string::npos);
    EXPECT_EQ(lx("laps --speed Engine --units mph " + no_speed).code, 0);
    EXPECT_TRUE(refused("laps --speed Nothing " + no_speed, 1, "no channel named 'Nothing'"));

    std::string unknown_unit = write_temp_file(constant_speed_file("Speed [m/s]", 10, "Lat [g]"));
    EXPECT_TRUE(refused("laps " + unknown_unit, 1, "--units"));
}

TEST(Tool, DeltaAgainstTheFastestLap) {
    std::vector<LapRow> laps = parse_laps(lx("laps " + SAMPLE).out);
    auto fastest =
        std::find_if(laps.begin(), laps.end(), [](auto& l) { return l.mark == "fastest"; });
    ASSERT_NE(fastest, laps.end());
    std::string ref = " --ref-lap " + std::to_string(fastest->lap);
    Result r = lx("delta " + SAMPLE + ref);
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> rows = lap_rows(r.out);
    std::vector<LapRow> deltas = parse_laps(r.out); // the length column holds the delta
    ASSERT_EQ(deltas.size(), laps.size());
    for (std::size_t i = 0; i < deltas.size(); ++i) {
        if (deltas[i].lap == fastest->lap) {
            EXPECT_EQ(deltas[i].length, 0.0);
            EXPECT_EQ(lines_with(rows[i], R"(\+0\.000\s+-\s+-\s+-\s+-$)").size(), 1u);
        } else if (std::fabs(laps[i].length - fastest->length) < 10) {
            // Over the same distance, the lap ends about its time behind.
            EXPECT_NEAR(deltas[i].length, laps[i].seconds - fastest->seconds, 0.15) << rows[i];
        }
    }
    Result same = lx("delta " + SAMPLE + ref + " --ref " + SAMPLE);
    EXPECT_EQ(lap_rows(same.out), rows);
    Result stretched = lx("delta " + SAMPLE + ref + " --stretch");
    EXPECT_EQ(stretched.code, 0);
    EXPECT_NE(lap_rows(stretched.out), rows);
    EXPECT_TRUE(refused("delta " + SAMPLE + " --ref-lap 11", 2, "laps 1 to 10"));
}

TEST(Tool, CutSplitsTheLapWithTheMissedBeacon) {
    Result r = lx("cut " + SAMPLE + " --ref " + SAMPLE + " --ref-lap 7 --mode 1");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, ""); // no progress bar when standard error is no terminal
    std::vector<std::string> rows = lap_rows(r.out);
    ASSERT_GE(rows.size(), 11u);
    // The cut table follows the match list: nine laps kept, one split in two.
    auto original = [](const std::string& row) { return row.find("Original #") != row.npos; };
    EXPECT_EQ(std::count_if(rows.end() - 11, rows.end(), original), 9);
    EXPECT_EQ(lines_with(r.out, R"(^Lap starts found by matching: \d+$)").size(), 1u);

    Result shift = lx("cut " + SAMPLE + " --ref " + SAMPLE + " --ref-lap 7");
    EXPECT_EQ(shift.code, 0);
    EXPECT_EQ(lines_with(shift.out, R"(^Cut session \(mode 2\): \d+ laps, beacon shift )").size(),
              1u);
}

TEST(Tool, MotecMapAndChartWriteTheirFiles) {
    std::string csv = temp_path(".csv"), raw = temp_path(".csv");
    ASSERT_EQ(lx("motec " + SAMPLE + " --lap 3 -o " + csv).code, 0);
    ASSERT_EQ(lx("motec --raw " + SAMPLE + " --lap 3 -o " + raw).code, 0);
    std::string text = read_file(csv);
    EXPECT_EQ(text.rfind("Format,MoTeC CSV File\r\n", 0), 0u);
    EXPECT_NE(text.find(",i_speed,"), std::string::npos);
    EXPECT_EQ(read_file(raw).find(",i_speed,"), std::string::npos);
    long rows = std::count(text.begin(), text.end(), '\n') - 17;
    std::string info = lx("info " + SAMPLE).out;
    EXPECT_EQ(lines_with(info, R"(^\s+3\s+\S+\s+)" + std::to_string(rows) + R"(\s)").size(), 1u);

    std::string map = temp_path(".svg");
    ASSERT_EQ(lx("map " + SAMPLE + " --lap 7 -o " + map).code, 0);
    std::string svg = read_file(map);
    EXPECT_EQ(svg.rfind("<svg ", 0), 0u);
    EXPECT_GT(std::count(svg.begin(), svg.end(), ','), 1000); // a point per sample
    EXPECT_NE(svg.find("speed km/h"), std::string::npos);

    std::string chart = temp_path(".svg");
    ASSERT_EQ(lx("chart " + SAMPLE + " --lap 7 --channel speed -o " + chart).code, 0);
    EXPECT_NE(read_file(chart).find("speed (km/h)"), std::string::npos);
    EXPECT_EQ(lx("chart " + SAMPLE + " --lap 7 --channel i_radius -o " + chart).code, 0);
    EXPECT_TRUE(refused("chart " + SAMPLE + " --lap 7 --channel Boost -o " + chart, 1,
                        "no channel named 'Boost'"));
}

// Every element closed, in order; void elements and self-closed tags aside.
std::string nesting_error(const std::string& html) {
    std::vector<std::string> open;
    static const std::vector<std::string> voids = {"meta", "br", "img", "hr", "link", "input"};
    for (std::size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at)) {
        std::size_t end = at + 1;
        for (char quote = 0; end < html.size() && (quote || html[end] != '>'); ++end)
            if (html[end] == '\'' || html[end] == '"')
                quote = quote == html[end] ? 0 : quote ? quote : html[end];
        if (end >= html.size()) return "unclosed tag at " + std::to_string(at);
        std::string tag = html.substr(at + 1, end - at - 1);
        at = end + 1;
        if (tag.empty() || tag[0] == '!') continue;
        bool closing = tag[0] == '/';
        std::string name = tag.substr(closing, tag.find_first_of(" \t\n/", closing) - closing);
        if (closing) {
            if (open.empty() || open.back() != name) return "</" + name + "> out of order";
            open.pop_back();
        } else if (tag.back() != '/' &&
                   std::find(voids.begin(), voids.end(), name) == voids.end()) {
            open.push_back(name);
            if (name == "style" || name == "title") at = html.find("</" + name, at);
        }
    }
    return open.empty() ? "" : "<" + open.back() + "> never closed";
}

TEST(Tool, ReportIsOneWellFormedPageWithAFigureEach) {
    std::string dir = temp_path("-report");
    Result r = lx("report " + SAMPLE + " -o " + dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, dir + "/report.html\n");
    std::string html = read_file(dir + "/report.html");
    EXPECT_EQ(nesting_error(html), "");
    EXPECT_FALSE(std::regex_search(html, std::regex(R"(http(?!://www\.w3\.org/2000/svg))")))
        << "fetches from the network";
    EXPECT_EQ(html.find("<script"), std::string::npos);
    std::regex svg_size(R"(<svg [^>]*width='(\d+)' height='(\d+)')");
    int figures = 0;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), svg_size);
         it != std::sregex_iterator(); ++it, ++figures) {
        int w = std::stoi((*it)[1]), h = std::stoi((*it)[2]);
        EXPECT_TRUE(w >= 400 && w <= 1200 && h >= 200 && h <= 900) << w << "x" << h;
    }
    EXPECT_EQ(figures, 4); // map, speed, time difference, lap starts
    Library lib;
    for (int lap = 1; lap <= 10; ++lap) {
        EXPECT_NE(html.find(">lap " + std::to_string(lap) + " "), std::string::npos) << lap;
        std::string row = "</span>" + std::to_string(lap) + "</td><td>" + lib.laptime(lap - 1);
        EXPECT_NE(html.find(row), std::string::npos) << row;
    }
    EXPECT_NE(html.find("beacon missed"), std::string::npos);
    EXPECT_NE(html.find("no beacon"), std::string::npos);
}

TEST(Tool, BrokenInputIsRefusedByEverySubcommand) {
    std::string broken =
        write_temp_file("Idx\tSpeed [km/h]\tTime [s]\t\nLap: 1/1\t0\t0\t0\nLap:\n");
    const std::vector<std::pair<std::string, std::string>> commands = {
        {"info", ""},
        {"laps", ""},
        {"delta", "--ref-lap 1"},
        {"motec", "--lap 1"},
        {"map", "--lap 1"},
        {"chart", "--lap 1 --channel Speed"},
        {"report", ""},
        {"cut", "--ref-lap 1 --ref " + SAMPLE}};
    for (const auto& [command, args] : commands) {
        Result r = lx(command + " " + broken + " " + args);
        EXPECT_EQ(r.code, 1) << command;
        EXPECT_EQ(r.out, "") << command;
        EXPECT_NE(r.err.find("could not read"), std::string::npos) << command;
        EXPECT_NE(r.err.find("Channel 1 must be 'Time'"), std::string::npos) << command;
    }
    EXPECT_TRUE(refused("info /nonexistent/session.txt", 1, "no such file"));
}

TEST(Tool, UsageErrorsExitWithTwoAndHelpWithZero) {
    // Required options missing, values out of range or unknown.
    EXPECT_EQ(lx("").code, 2);
    for (const std::string& args :
         std::vector<std::string>{"frobnicate", "motec", "laps --units furlongs", "map --lap 0",
                                  "map --lap 7 --size 10x10", "cut --ref-lap 7",
                                  "cut --ref-lap 7 --mode 3 --ref " + SAMPLE,
                                  "chart --lap 7 --channel Speed --min 5 --max 1"})
        EXPECT_EQ(lx(args + " " + SAMPLE).code, 2) << args;
    Result help = lx("--help");
    EXPECT_EQ(help.code, 0);
    for (const char* command : {"info", "laps", "delta", "cut", "motec", "map", "chart", "report"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    EXPECT_EQ(lx("cut --help").code, 0);
}

} // namespace
