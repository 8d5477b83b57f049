// lx corners, lx sectors and lx compare on the bundled sample, whose bends the
// generator laid.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <sys/wait.h>

#include "support.h"

using namespace lxtest;

namespace {

struct ToolRun {
    int code;
    std::string out, err;
};

ToolRun run_lx(const std::string& args) {
    std::string out = temp_path(".out"), err = temp_path(".err");
    std::string command = std::string("'") + LX_TOOL + "' " + args + " >" + out + " 2>" + err;
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out), read_file(err)};
}

const std::string SAMPLE = std::string("'") + LX_SAMPLE + "'";

std::vector<std::smatch> matches(const std::string& text, const std::regex& re) {
    return {std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()};
}

double seconds_after(const std::string& text, const std::string& label) {
    std::smatch m;
    std::regex re(label + R"(:\s+(\d+):(\d\d\.\d\d\d))");
    if (!std::regex_search(text, m, re)) return NAN;
    return std::stod(m[1]) * 60 + std::stod(m[2]);
}

TEST(AnalyticsCommands, CornersOfTheSampleAreTheGeneratorsTwelveBends) {
    ToolRun r = run_lx("corners " + SAMPLE);
    ASSERT_EQ(r.code, 0) << r.err;
    std::string hands;
    for (const std::smatch& m : matches(r.out, std::regex(R"(\n\s+\d+\s+(left|right)\s)")))
        hands += m[1] == "left" ? 'L' : 'R';
    EXPECT_EQ(hands, "RLRRLRLRRLRL");
}

TEST(AnalyticsCommands, SectorsKeepTheBestLapsInOrderAndRefuseBadCuts) {
    ToolRun r = run_lx("sectors " + SAMPLE);
    ASSERT_EQ(r.code, 0) << r.err;
    double theoretical = seconds_after(r.out, "Theoretical best");
    double optimal = seconds_after(r.out, "Optimal lap");
    EXPECT_LE(theoretical, optimal);
    EXPECT_LE(optimal, seconds_after(r.out, "Fastest lap"));
    ToolRun bad = run_lx("sectors " + SAMPLE + " --sectors 1200,450");
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("must increase"), std::string::npos) << bad.err;
    ToolRun differ = run_lx("compare " + SAMPLE + " " + SAMPLE + " --threshold 0");
    EXPECT_EQ(differ.code, 1);
    EXPECT_NE(differ.err.find("the tracks differ"), std::string::npos) << differ.err;
    // A session against itself: every corner of the page gains nothing, running total and all.
    std::string folder = temp_path("-compare");
    ToolRun same = run_lx("compare " + SAMPLE + " " + SAMPLE + " -o '" + folder + "'");
    ASSERT_EQ(same.code, 0) << same.err;
    std::string page = read_file(folder + "/compare.html");
    EXPECT_EQ(matches(page, std::regex("<td>\\+0\\.000 s</td><td>\\+0\\.000 s</td>")).size(), 12u);
}

} // namespace
