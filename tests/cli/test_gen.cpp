// The session generator: the bundled sample is its output, the driving is
// physically consistent, and the library reads what it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "gen.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

std::vector<double> lap_times(const std::vector<lxgen::LoggedLap>& laps, double rate) {
    std::vector<double> t;
    for (const auto& lap : laps) t.push_back(double(lap.samples.size()) / rate);
    return t;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

TEST(Generator, BundledSampleIsTheDefaultOutputAndTheSeedDecides) {
    lxgen::SessionPlan other;
    ++other.seed;
    std::string sample = lxgen::make_session_text({});
    EXPECT_EQ(read_file(LX_SAMPLE), sample)
        << "examples/sample.txt is stale: regenerate it with lx-gen -o examples/sample.txt";
    EXPECT_NE(lxgen::make_session_text(other), sample);
}

TEST(Generator, TrackIsOneClosedClockwiseLoop) {
    lxgen::Track t = lxgen::make_track();
    EXPECT_GT(t.length, 1000);
    EXPECT_LT(t.length, 2000);
    double heading = 0, x = 0, y = 0;
    for (double k : t.curvature) {
        heading -= k * t.step;
        x += std::cos(heading) * t.step;
        y += std::sin(heading) * t.step;
    }
    EXPECT_NEAR(heading, -2 * M_PI, 1e-9);
    EXPECT_LT(std::hypot(x, y), 2.0);
    // A dozen bends: count the runs of curvature tighter than a 150 m radius.
    auto tight = [](double k) { return std::fabs(k) > 1.0 / 150; };
    int bends = tight(t.curvature[0]);
    for (std::size_t i = 1; i < t.curvature.size(); ++i)
        bends += tight(t.curvature[i]) && !tight(t.curvature[i - 1]);
    EXPECT_EQ(bends, 12);
}

TEST(Generator, DrivingIsConsistent) {
    lxgen::SessionPlan plan, fast;
    auto laps = lxgen::drive_session(plan);
    // Out lap, timed laps, in lap; one beacon is missed, so two timed laps share one logged lap.
    ASSERT_EQ(int(laps.size()), plan.flying_laps + 1);
    EXPECT_EQ(laps.front().samples.front().speed_kmh, 0.0);
    EXPECT_EQ(laps.back().samples.back().speed_kmh, 0.0);
    for (const auto& lap : laps) {
        EXPECT_EQ(lap.samples.front().time, 0.0);
        EXPECT_EQ(lap.samples.front().distance, 0.0);
    }
    std::vector<double> t = lap_times(laps, plan.sample_rate);
    std::vector<double> timed(t.begin() + 1, t.end() - 1);
    double typical = median(timed);
    EXPECT_GT(typical, 50);
    EXPECT_LT(typical, 90);
    EXPECT_NEAR(t[std::size_t(plan.missed_beacon_after)], 2 * typical, 0.05 * typical);
    EXPECT_GT(t[std::size_t(plan.traffic_lap)], typical + 0.3);
    auto [lo, hi] = std::minmax_element(timed.begin(), timed.end());
    EXPECT_GT(*hi - *lo, 0.3);
    EXPECT_GT(t.front(), typical);
    EXPECT_GT(t.back(), typical);
    // A higher sample rate keeps the lap times.
    fast.sample_rate = 50;
    std::vector<double> at_50 = lap_times(lxgen::drive_session(fast), fast.sample_rate);
    ASSERT_EQ(at_50.size(), t.size());
    for (std::size_t i = 0; i < t.size(); ++i) EXPECT_NEAR(at_50[i], t[i], 0.06);

    const auto& lap = laps[2].samples;
    double low = 0, high = 0, sum = 0, agree = 0;
    for (std::size_t i = 0; i < lap.size(); ++i) {
        low = std::min(low, lap[i].lat_g);
        high = std::max(high, lap[i].lat_g);
        sum += lap[i].lat_g;
        if (i > 0 && i + 1 < lap.size()) // longitudinal g agrees with the change of speed
            agree += (lap[i + 1].speed_kmh - lap[i - 1].speed_kmh) * lap[i].long_g;
    }
    // Mostly right-hand bends on a clockwise circuit: positive on average.
    EXPECT_GT(sum / double(lap.size()), 0.1);
    EXPECT_GT(high, 1.0);
    EXPECT_LT(high, 1.8);
    EXPECT_LT(low, -0.8);
    EXPECT_GT(agree, 0);
}

TEST(Generator, LibraryReadsGeneratedSessionsOfEverySize) {
    close_all_sessions();
    for (int flying : {1, 3, 40}) {
        lxgen::SessionPlan plan;
        plan.flying_laps = flying;
        plan.missed_beacon_after = flying > 2 ? 2 : 0;
        plan.traffic_lap = 0;
        plan.crlf = flying != 3;
        plan.trailer = flying != 1;
        std::string path = write_temp_file(lxgen::make_session_text(plan));
        StdoutCapture quiet;
        int h = lx_open_aim_xls(path.c_str());
        quiet.text();
        ASSERT_GT(h, 0) << flying;
        EXPECT_EQ(lx_num_laps(h), flying + 2 - (plan.missed_beacon_after ? 1 : 0));
        EXPECT_EQ(lx_num_channels(h), 8);
        EXPECT_STREQ(lx_channel_name(h, 1), "Time");
        EXPECT_STREQ(lx_channel_name(h, 4), "Speed");
        EXPECT_FLOAT_EQ(lx_channel_min(h, 4), 0.0f);
        close_all_sessions();
    }
}

std::vector<std::string> split_lines(const std::string& text, const std::string& eol) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find(eol, at)) != std::string::npos;
         at = end + eol.size())
        lines.push_back(text.substr(at, end - at));
    return lines;
}

TEST(Generator, ExportLayoutTitlesLapRowsEndRowAndTrailer) {
    lxgen::SessionPlan plan;
    plan.flying_laps = 2;
    plan.missed_beacon_after = 0;
    std::string text = lxgen::make_session_text(plan);
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1); // CR LF throughout
    std::vector<std::string> lines = split_lines(text, "\r\n");
    EXPECT_EQ(lines[0], "Sample\tTime [s]\tDistance [m]\tEngine RPM [rpm]\tSpeed [km/h]\t"
                        "Lateral Acc [g]\tLongitudinal Acc [g]\tWater Temp [C]\t");
    auto end = std::find(lines.begin(), lines.end(), "Lap:");
    ASSERT_NE(end, lines.end());
    int laps = 0;
    for (auto line = lines.begin() + 1; line != end; ++line) {
        std::size_t tabs = std::count(line->begin(), line->end(), '\t');
        EXPECT_EQ(tabs, 8u) << *line; // the marker column, then one value per title
        if (line->rfind("Lap: ", 0) == 0)
            EXPECT_EQ(line->substr(0, line->find('\t')), "Lap: 1/" + std::to_string(++laps));
        else
            EXPECT_EQ((*line)[0], '\t');
    }
    EXPECT_EQ(laps, 4);
    double total = 0;
    for (auto line = end + 1; line != lines.end(); ++line) {
        int lap = 0;
        char word[32];
        double seconds = 0;
        ASSERT_EQ(std::sscanf(line->c_str(), "%d %31s %lf", &lap, word, &seconds), 3) << *line;
        total += seconds;
    }
    EXPECT_NEAR(total, double(end - lines.begin() - 1) / plan.sample_rate, 1e-6);
}

} // namespace
