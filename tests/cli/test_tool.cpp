// The lx program, run as a user runs it. Every command and every refusal is
// compared whole with its golden file under tests/cli/golden/: standard
// output, standard error and exit code, with the sample's and the scratch
// folder's paths written as $SAMPLE and $OUT. After a deliberate change,
//     LX_UPDATE_GOLDEN=1 ctest --test-dir build -R Golden
// writes the files anew; review them with git diff. The files the commands
// write are checked for their structure below.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/wait.h>

#include "gen.h"
#include "recording.h"
#include "support.h"

namespace fs = std::filesystem;
using namespace lxtest;

namespace {

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
}

struct Result {
    int code;
    std::string out, err;
};

// Runs lx in the test's scratch folder, so that files written by default land
// there, with $SAMPLE and $OUT in args standing for the sample and that
// folder; the same stand-ins replace them in what it prints.
Result lx(const std::string& args) {
    std::string scratch = scratch_dir(), line = args;
    replace_all(line, "$SAMPLE", LX_SAMPLE);
    replace_all(line, "$OUT", scratch);
    std::string out = temp_path(".out"), err = temp_path(".err");
    std::string command =
        "cd '" + scratch + "' && '" + LX_TOOL + "' " + line + " >'" + out + "' 2>'" + err + "'";
    int status = std::system(command.c_str());
    Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out), read_file(err)};
    for (std::string* text : {&r.out, &r.err}) {
        replace_all(*text, LX_SAMPLE, "$SAMPLE");
        replace_all(*text, scratch, "$OUT");
    }
    return r;
}

// ---- small sessions the cases read ------------------------------------------

// A car circling a 100 m radius at 20 m/s (72 km/h), ten samples a second:
// 0.40789 g to the side, 314 samples a lap. Each column is a title and the
// value it holds throughout.
std::string circling(const std::vector<int>& lap_samples,
                     const std::vector<std::pair<std::string, double>>& columns) {
    std::string text = "Idx\tTime [s]\tDistance [m]";
    for (const auto& column : columns) text += "\t" + column.first;
    text += "\t\n";
    int index = 0;
    for (std::size_t lap = 0; lap < lap_samples.size(); ++lap)
        for (int i = 0; i < lap_samples[lap]; ++i, ++index) {
            char row[256];
            std::snprintf(row, sizeof row, "%s\t%d\t%.1f\t%.1f",
                          i == 0 ? ("Lap: 1/" + std::to_string(lap + 1)).c_str() : "", index,
                          i * 0.1, i * 2.0);
            text += row;
            for (const auto& column : columns) {
                std::snprintf(row, sizeof row, "\t%.5f", column.second);
                text += row;
            }
            text += "\n";
        }
    return text + "Lap:\n";
}

constexpr double CIRCLE_G = 0.40789; // 20 m/s round 100 m, in g

// The recording with a lateral channel of the other sign put before its own:
// it closes the laps as well, but its map is the GPS track's mirror image.
lxgen::Recording with_mirrored_lateral(lxgen::Recording r) {
    std::size_t lateral = r.find("Lateral Acc"), width = r.channels.size();
    std::vector<double> values;
    for (std::size_t row = 0; row < r.rows(); ++row)
        for (std::size_t c = 0; c < width; ++c) {
            if (c == lateral) values.push_back(-r.at(row, c));
            values.push_back(r.at(row, c));
        }
    r.channels.insert(r.channels.begin() + long(lateral), {"Lateral Mirrored", "g", 3});
    r.values = std::move(values);
    return r;
}

void write_fixtures(const fs::path& dir) {
    // An accelerometer that reads 25 % high beside a GPS channel that is right.
    write_file(dir / "two-lateral.txt",
               circling({314, 314, 314, 314}, {{"Speed [km/h]", 72},
                                               {"Lateral Acc [g]", CIRCLE_G * 1.25},
                                               {"GPS LatAcc [g]", CIRCLE_G}}));
    // One accelerometer only, and it does not close.
    write_file(dir / "open.txt", circling({314, 314, 314}, {{"Speed [km/h]", 72},
                                                            {"Lateral Acc [g]", CIRCLE_G * 1.6}}));
    // A phone app's file: a fragment, a lap and a fragment.
    write_file(dir / "fragments.txt",
               circling({40, 314, 50}, {{"Speed [km/h]", 72}, {"Lateral Acc [g]", CIRCLE_G}}));
    write_file(dir / "mph.txt",
               circling({314, 314, 314}, {{"Velocity [mph]", 44.73872}, {"G_Lat [g]", CIRCLE_G}}));
    write_file(dir / "no-speed.txt",
               circling({314, 314}, {{"Engine [rpm]", 7000}, {"LatAcc [g]", CIRCLE_G}}));
    write_file(dir / "metres-per-second.txt",
               circling({314, 314}, {{"Speed [m/s]", 20}, {"LatAcc [g]", CIRCLE_G}}));
    // Titles that JSON must escape, one of them in a page's script as well.
    write_file(dir / "odd-titles.txt",
               circling({314, 314}, {{"Speed [km/h]", 72}, {"Lat \"</script>\" [g]", CIRCLE_G}}));
    write_file(dir / "out-lap.txt",
               circling({314}, {{"Speed [km/h]", 72}, {"Lateral Acc [g]", CIRCLE_G}}));
    write_file(dir / "no-laps.txt", "Idx\tTime [s]\tDistance [m]\t\nLap:\n");
    write_file(dir / "broken.txt", "Idx\tSpeed [km/h]\tTime [s]\t\nLap: 1/1\t0\t0\t0\nLap:\n");
    write_file(dir / "empty.txt", "");
    write_file(dir / "other.csv", "when,how fast,which way\n0,1,2\n");
    lxgen::SessionPlan plan;
    plan.flying_laps = 2;
    plan.missed_beacon_after = plan.traffic_lap = 0;
    plan.gps = true;
    std::string session = lxgen::write(lxgen::drive_session(plan), lxgen::Format::aim_csv);
    write_file(dir / "session.csv", session);
    write_file(dir / "cut-short.csv", session.substr(0, session.size() - 5)); // inside its last row
    std::string noise;
    for (int i = 0; i < 600; ++i) noise += char((i * 7919 + 13) % 256);
    write_file(dir / "noise.csv", noise);
    write_file(dir / "mirrored.csv", lxgen::write(with_mirrored_lateral(lxgen::drive_session(plan)),
                                                  lxgen::Format::aim_csv));
}

// ---- golden outputs -------------------------------------------------------

struct Case {
    const char* name;
    const char* args;
};

const Case CASES[] = {
    {"help", "--help"},
    {"help-info", "info --help"},
    {"help-laps", "laps --help"},
    {"help-delta", "delta --help"},
    {"help-cut", "cut --help"},
    {"help-motec", "motec --help"},
    {"help-map", "map --help"},
    {"help-chart", "chart --help"},
    {"help-report", "report --help"},
    {"info", "info $SAMPLE"},
    {"info-no-laps", "info $OUT/no-laps.txt"},
    {"laps", "laps $SAMPLE"},
    {"laps-verbose", "-v laps $SAMPLE"},
    {"laps-lateral-by-closure", "laps $OUT/two-lateral.txt"},
    {"laps-lateral-given", "laps $OUT/two-lateral.txt --lat 'Lateral Acc'"},
    {"laps-lateral-by-gps", "laps $OUT/mirrored.csv"},
    {"laps-lateral-open", "laps $OUT/open.txt"},
    {"laps-fragments", "laps $OUT/fragments.txt"},
    {"laps-mph", "laps $OUT/mph.txt"},
    {"laps-units-given", "laps $OUT/mph.txt --units kmh"},
    {"laps-speed-given", "laps $OUT/no-speed.txt --speed Engine --units kmh"},
    {"delta", "delta $SAMPLE --ref-lap 7"},
    {"delta-other-file", "delta $SAMPLE --ref-lap 7 --ref $SAMPLE"},
    {"delta-stretch", "delta $SAMPLE --ref-lap 7 --stretch"},
    {"delta-partial-reference", "delta $SAMPLE --ref-lap 6"},
    {"cut-mode-0", "cut $SAMPLE --ref $SAMPLE --ref-lap 7 --mode 0"},
    {"cut-mode-1", "cut $SAMPLE --ref $SAMPLE --ref-lap 7 --mode 1"},
    {"cut-mode-2", "cut $SAMPLE --ref $SAMPLE --ref-lap 7"},
    {"motec", "motec $SAMPLE --lap 3 -o $OUT/lap3.csv"},
    {"motec-raw", "motec --raw $SAMPLE --lap 3 -o $OUT/lap3.csv"},
    {"map", "map $SAMPLE --lap 7 -o $OUT/map.svg --heading 90"},
    {"chart-as-written", "chart $SAMPLE --lap 7 --channel 'Engine RPM' -o $OUT/rpm.svg"},
    {"chart-as-stored", "chart $SAMPLE --lap 7 --channel Engine_RPM -o $OUT/rpm.svg"},
    {"chart-lap-range", "chart $SAMPLE --lap 7 --channel i_radius -o $OUT/radius.svg"},
    {"chart-range-given", "chart $SAMPLE --lap 7 --channel Speed --min 0 --max 250 -o $OUT/s.svg"},
    {"report", "report $SAMPLE -o $OUT/report"},
    {"report-match", "report $SAMPLE --match $SAMPLE:7 -o $OUT/report"},
    {"report-no-full-lap", "report $OUT/out-lap.txt -o $OUT/report"},
    {"convert", "convert $OUT/session.csv -o $OUT/session.txt"},
    {"map-gps", "map $OUT/session.csv --lap 2 -o $OUT/map.svg"},
    {"info-channels-picked", "info $OUT/session.csv --channels 'Speed,Lateral Acc'"},
    {"laps-window", "laps $OUT/session.csv --laps 2-3 --rate 10"},
    {"laps-cut-short", "laps $OUT/cut-short.csv"},
    {"convert-motec-csv", "convert $OUT/session.csv --to motec-csv -o $OUT/whole.csv"},
    {"laps-window-to-the-last", "laps $OUT/session.csv --laps 3- --rate 10"},
    {"laps-json", "laps $SAMPLE --json"},
    {"info-json", "info $OUT/session.csv --json"},
    {"delta-json", "delta $SAMPLE --ref-lap 7 --json"},
    {"sectors-json", "sectors $SAMPLE --json"},
    {"corners-json", "corners $SAMPLE --json"},
    {"compare-json", "compare $SAMPLE $SAMPLE --json"},
    {"cut-json", "cut $SAMPLE --ref $SAMPLE --ref-lap 7 --json"},
    {"info-json-escaped", "info $OUT/odd-titles.txt --json"},
    // Refusals: 1 for input that cannot be used, 2 for a wrong command line.
    {"no-command", ""},
    {"unknown-command", "frobnicate $SAMPLE"},
    {"option-missing", "map $SAMPLE"},
    {"no-such-file", "info $OUT/nothing.txt"},
    {"folder", "laps $OUT"},
    {"empty-file", "info $OUT/empty.txt"},
    {"csv-of-another-kind", "info $OUT/other.csv"},
    {"binary-noise", "info $OUT/noise.csv"},
    {"not-a-session", "report $OUT/broken.txt"},
    {"no-laps", "laps $OUT/no-laps.txt"},
    {"lap-missing", "map $SAMPLE --lap 11"},
    {"ref-lap-missing", "cut $SAMPLE --ref $SAMPLE --ref-lap 0"},
    {"number-too-large", "chart $SAMPLE --lap 99999999999 --channel Speed"},
    {"heading-nan", "map $SAMPLE --lap 7 --heading nan"},
    {"tolerance-out-of-range", "cut $SAMPLE --ref $SAMPLE --ref-lap 7 --tolerance -1"},
    {"mode-unknown", "cut $SAMPLE --ref $SAMPLE --ref-lap 7 --mode 3"},
    {"units-unknown", "laps $SAMPLE --units furlongs"},
    {"size-too-small", "map $SAMPLE --lap 7 --size 10x10"},
    {"min-above-max", "chart $SAMPLE --lap 7 --channel Speed --min 5 --max 1"},
    {"channel-missing", "chart $SAMPLE --lap 7 --channel Boost -o $OUT/b.svg"},
    {"speed-channel-missing", "laps $OUT/no-speed.txt"},
    {"speed-unit-unknown", "laps $OUT/metres-per-second.txt"},
    {"unwritable-output", "motec $SAMPLE --lap 3 -o $OUT/no/such/folder/lap3.csv"},
    {"convert-onto-itself", "convert $OUT/session.csv -o $OUT/session.csv"},
    {"laps-window-backwards", "laps $OUT/session.csv --laps 3-2"},
    {"laps-window-missing", "laps $OUT/session.csv --laps 5-"},
    {"channels-missing", "info $OUT/session.csv --channels Boost"},
    {"unwritable-report", "report $SAMPLE -o $OUT/empty.txt"},
    {"delta-other-track", "delta $SAMPLE --ref-lap 2 --ref $OUT/mph.txt"},
    {"sectors-outside-the-lap", "sectors $SAMPLE --sectors 100,5000"},
    {"ref-lap-not-there", "corners $SAMPLE --ref-lap 12"},
    {"match-lap-missing", "report $SAMPLE --match $SAMPLE:12 -o $OUT/report"},
    {"match-no-full-lap", "report $SAMPLE --match $OUT/out-lap.txt -o $OUT/report"},
};

std::string transcript(const Case& c, const Result& r) {
    return "lx" + std::string(*c.args ? " " : "") + c.args + "\n--- exit code\n" +
           std::to_string(r.code) + "\n--- standard output\n" + r.out + "--- standard error\n" +
           r.err;
}

class Golden : public testing::TestWithParam<Case> {};

TEST_P(Golden, OutputIsAsRecorded) {
    const Case& c = GetParam();
    write_fixtures(scratch_dir());
    std::string actual = transcript(c, lx(c.args));
    fs::path golden = fs::path(LX_GOLDEN_DIR) / (std::string(c.name) + ".txt");
    if (std::getenv("LX_UPDATE_GOLDEN")) write_file(golden, actual);
    ASSERT_TRUE(fs::exists(golden)) << golden << " is missing; see the top of this file";
    EXPECT_EQ(read_file(golden), actual);
}

INSTANTIATE_TEST_SUITE_P(Tool, Golden, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<Case>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// ---- files the commands write -----------------------------------------------

TEST(Tool, WrittenFilesHoldWhatTheySay) {
    fs::path scratch = scratch_dir();
    ASSERT_EQ(lx("motec $SAMPLE --lap 3 -o $OUT/lap3.csv").code, 0);
    std::string csv = read_file(scratch / "lap3.csv");
    EXPECT_EQ(csv.rfind("Format,MoTeC CSV File\r\n", 0), 0u);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n') - 17, 1343); // lap 3's samples

    ASSERT_EQ(lx("map $SAMPLE --lap 7 -o $OUT/map.svg").code, 0);
    std::string map = read_file(scratch / "map.svg");
    EXPECT_EQ(map.rfind("<svg ", 0), 0u);
    EXPECT_GT(std::count(map.begin(), map.end(), ','), 500); // the lap's points
    EXPECT_NE(map.find("speed km/h"), std::string::npos);

    // The axis follows the lap's own range: i_radius ticks of one lap, not
    // of the session's whole range.
    ASSERT_EQ(lx("chart $SAMPLE --lap 7 --channel i_radius -o $OUT/r.svg").code, 0);
    std::string chart = read_file(scratch / "r.svg");
    EXPECT_NE(chart.find("<polyline"), std::string::npos);
    EXPECT_NE(chart.find(">i_radius"), std::string::npos);
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
            if (name == "style" || name == "title" || name == "script")
                at = html.find("</" + name, at);
        }
    }
    return open.empty() ? "" : "<" + open.back() + "> never closed";
}

std::vector<std::smatch> matches(const std::string& text, const std::regex& re) {
    return {std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()};
}

TEST(Tool, ReportIsOneWellFormedPageWithAFigureEach) {
    fs::path scratch = scratch_dir();
    ASSERT_EQ(lx("report $SAMPLE -o $OUT").code, 0);
    std::string html = read_file(scratch / "report.html");
    EXPECT_EQ(nesting_error(html), "");
    EXPECT_FALSE(std::regex_search(html, std::regex(R"(http(?!://www\.w3\.org/2000/svg))")))
        << "fetches from the network";
    auto figures = matches(html, std::regex(R"(<svg [^>]*width='(\d+)' height='(\d+)')"));
    for (const std::smatch& m : figures) {
        int w = std::stoi(m[1]), h = std::stoi(m[2]);
        EXPECT_TRUE(w >= 400 && w <= 1200 && h >= 200 && h <= 900) << w << "x" << h;
    }
    // map, speed, the engine's RPM (the one channel with a role), time difference, g-g, corner
    // gains
    EXPECT_EQ(figures.size(), 6u);
    // The generator's twelve bends, numbered on the map and listed in the corner table.
    EXPECT_EQ(matches(html, std::regex("font-weight='bold'>\\d+</text>")).size(), 12u);
    EXPECT_NE(html.find("<td>12</td><td>left</td>"), std::string::npos);
    // Every lap in the table with its gap, the double lap without one.
    for (const char* row :
         {"1:07.050</td><td>+0.900</td>", "1:06.150</td><td>+0.000</td>", "2:13.100</td><td></td>"})
        EXPECT_NE(html.find(row), std::string::npos) << row;
    // The gaps stand at the ends of the time-difference curves too.
    EXPECT_NE(html.find("'>+0.900</text>"), std::string::npos);
    EXPECT_NE(html.find("ends at the gap"), std::string::npos);
    EXPECT_EQ(html.find("Lap starts"), std::string::npos) << "matched unasked";
}

TEST(Tool, ReportMatchesOnRequestAndStandsWithoutAFullLap) {
    fs::path scratch = scratch_dir();
    write_fixtures(scratch);
    ASSERT_EQ(lx("report $SAMPLE --match $SAMPLE:7 -o $OUT").code, 0);
    std::string html = read_file(scratch / "report.html");
    EXPECT_EQ(nesting_error(html), "");
    EXPECT_NE(html.find("no beacon"), std::string::npos);
    // The sample's laps but its out- and in-lap, its double lap split in two.
    EXPECT_EQ(matches(html, std::regex("<tr><td>\\d+</td><td>[\\d:.]+</td><td>\\d+ m</td>")).size(),
              9u);
    ASSERT_EQ(lx("report $OUT/out-lap.txt -o $OUT").code, 0);
    html = read_file(scratch / "report.html");
    EXPECT_EQ(nesting_error(html), "");
    EXPECT_EQ(matches(html, std::regex("<svg ")).size(), 3u); // map, speed, g-g
    EXPECT_EQ(matches(html, std::regex("has no full lap")).size(), 3u);
}

TEST(Tool, ReportDrawsTheLapsAndTracesAsked) {
    fs::path scratch = scratch_dir();
    ASSERT_EQ(
        lx("report $SAMPLE --show-laps 2,4-5,4 --traces 'Water Temp,Engine RPM' -o $OUT").code, 0);
    std::string html = read_file(scratch / "report.html");
    std::string speed = html.substr(html.find("id='speed-chart'"));
    speed = speed.substr(0, speed.find("</svg>"));
    std::string keys;
    for (const std::smatch& m : matches(speed, std::regex("data-lap='(\\d+)'"))) keys += m[1];
    EXPECT_EQ(keys, "245");
    EXPECT_LT(html.find(">Water Temp (C)</text>"), html.find(">Engine RPM (rpm)</text>"));
    EXPECT_EQ(lx("report $SAMPLE --show-laps 5-3 -o $OUT").code, 1);
    EXPECT_EQ(lx("report $SAMPLE --traces Boost -o $OUT").code, 1);
}

// ---- corners, sectors and compare on the sample, whose bends the generator laid

double seconds_after(const std::string& text, const std::string& label) {
    std::smatch m;
    std::regex re(label + R"(:\s+(\d+):(\d\d\.\d\d\d))");
    if (!std::regex_search(text, m, re)) return NAN;
    return std::stod(m[1]) * 60 + std::stod(m[2]);
}

TEST(AnalyticsCommands, CornersOfTheSampleAreTheGeneratorsTwelveBends) {
    Result r = lx("corners $SAMPLE");
    ASSERT_EQ(r.code, 0) << r.err;
    std::string hands;
    for (const std::smatch& m : matches(r.out, std::regex(R"(\n\s+\d+\s+(left|right)\s)")))
        hands += m[1] == "left" ? 'L' : 'R';
    EXPECT_EQ(hands, "RLRRLRLRRLRL");
}

TEST(AnalyticsCommands, SectorsKeepTheBestLapsInOrderAndRefuseBadCuts) {
    Result r = lx("sectors $SAMPLE");
    ASSERT_EQ(r.code, 0) << r.err;
    double theoretical = seconds_after(r.out, "Theoretical best");
    double optimal = seconds_after(r.out, "Optimal lap");
    EXPECT_LE(theoretical, optimal);
    EXPECT_LE(optimal, seconds_after(r.out, "Fastest lap"));
    Result bad = lx("sectors $SAMPLE --sectors 1200,450");
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("must increase"), std::string::npos) << bad.err;
    Result differ = lx("compare $SAMPLE $SAMPLE --threshold 0");
    EXPECT_EQ(differ.code, 1);
    EXPECT_NE(differ.err.find("the tracks differ"), std::string::npos) << differ.err;
    // A session against itself: every corner of the page gains nothing, running total and all.
    Result same = lx("compare $SAMPLE $SAMPLE -o $OUT");
    ASSERT_EQ(same.code, 0) << same.err;
    std::string page = read_file(scratch_dir() + "/compare.html");
    EXPECT_EQ(matches(page, std::regex("<td>\\+0\\.000 s</td><td>\\+0\\.000 s</td>")).size(), 12u);
    // Laps chosen: full ones only.
    Result chosen = lx("compare $SAMPLE $SAMPLE --lap-a 3 --lap-b 5");
    EXPECT_NE(chosen.out.find("lap 3 of"), std::string::npos) << chosen.out;
    EXPECT_NE(chosen.out.find("1:07.650 (B-A +0.500 s)"), std::string::npos) << chosen.out;
    Result double_lap = lx("compare $SAMPLE $SAMPLE --lap-b 6");
    EXPECT_EQ(double_lap.code, 1);
    EXPECT_NE(double_lap.err.find("not a full lap"), std::string::npos) << double_lap.err;
}

// Up to four sessions: one of another track or without a full lap is left
// out in a line, and fewer than two left is a refusal.
TEST(AnalyticsCommands, CompareOverlaysUpToFourSessions) {
    fs::path scratch = scratch_dir();
    write_fixtures(scratch);
    Result three = lx("compare $SAMPLE $SAMPLE $OUT/odd-titles.txt $SAMPLE -o $OUT");
    ASSERT_EQ(three.code, 0) << three.err;
    EXPECT_NE(three.err.find("left out"), std::string::npos) << three.err;
    std::string page = read_file(scratch / "compare.html");
    EXPECT_NE(page.find("<th>C-A sum</th></tr>"), std::string::npos);
    EXPECT_EQ(page.find("<th>D min</th>"), std::string::npos);
    Result none = lx("compare $SAMPLE $OUT/odd-titles.txt $OUT/out-lap.txt");
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.err.find("fewer than two sessions remain"), std::string::npos) << none.err;
}

} // namespace
