// The session generator: the bundled sample is its output, the seed decides,
// and each format has its layout (the analytics tests find its bends).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "gen.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TEST(Generator, BundledSampleIsTheDefaultOutputAndTheSeedDecides) {
    lxgen::SessionPlan other;
    ++other.seed;
    std::string sample = lxgen::write_text(lxgen::drive_session({}));
    EXPECT_EQ(read_file(LX_SAMPLE), sample)
        << "examples/sample.txt is stale: regenerate it with lx-gen -o examples/sample.txt";
    EXPECT_NE(lxgen::write_text(lxgen::drive_session(other)), sample);
}

TEST(Generator, LibraryReadsTheTextExportWithOneLapPerSeenBeacon) {
    close_all_sessions();
    lxgen::SessionPlan plan;
    plan.flying_laps = 3;
    plan.missed_beacon_after = 2;
    lxgen::Recording r = lxgen::drive_session(plan);
    ASSERT_EQ(r.beacon_times.size(), 3u);
    int h = lx_open_aim_xls(write_temp_file(lxgen::write_text(r)).c_str());
    ASSERT_GT(h, 0);
    EXPECT_EQ(lx_num_laps(h), 4);
    EXPECT_EQ(lx_num_channels(h), 8);
    EXPECT_STREQ(lx_channel_name(h, 4), "Speed");
    EXPECT_FLOAT_EQ(lx_channel_min(h, 4), 0.0f);
    close_all_sessions();
}

// Each CSV: its header rows, one data row per sample of even width, and the
// beacons as the format states them.
TEST(Generator, CsvLayouts) {
    lxgen::SessionPlan plan;
    plan.flying_laps = 2;
    plan.missed_beacon_after = 0;
    plan.gps = true;
    lxgen::Recording r = lxgen::drive_session(plan);
    const std::size_t rows = r.rows();

    lxgen::AimLayout legacy{true, lxgen::MarkerCells::comma, false};
    std::vector<std::string> aim = lines_of(lxgen::write_aim_csv(r)),
                             old = lines_of(lxgen::write_aim_csv(r, legacy));
    EXPECT_EQ(aim[0], "\"Format\",\"AiM CSV File\"");
    EXPECT_EQ(aim.size(), 17 + rows);
    EXPECT_EQ(std::count(aim[11].begin(), aim[11].end(), ','), 4); // three beacons and the end
    EXPECT_EQ(aim[12].substr(0, 27), "\"Segment Times\",\"1:18.741\",");
    EXPECT_EQ(old[14], old[15]) << "the names twice";
    EXPECT_EQ(old.size(), 19 + rows);
    EXPECT_EQ(std::count(old[14].begin(), old[14].end(), ','),
              std::count(old[19].begin(), old[19].end(), ',') + 1);

    std::vector<std::string> app = lines_of(lxgen::write_racechrono_csv(r));
    EXPECT_EQ(app[1], "Format,3");
    EXPECT_EQ(app[9].substr(0, 22), "timestamp,fragment_id,");
    std::vector<std::string> lap_changes;
    const std::size_t sample = 2500; // 125 s, on the GPS's and the engine's time base
    for (std::size_t i = 12, lap = 0; i < app.size(); ++i) {
        std::vector<std::string> f;
        std::istringstream cells(app[i]);
        for (std::string cell; std::getline(cells, cell, ',');) f.push_back(cell);
        ASSERT_EQ(f.size(), 12u) << app[i];
        if (std::stoul(f[2]) != lap) lap_changes.push_back(f[3]);
        lap = std::stoul(f[2]);
        if (f[3] == "125.0") {
            EXPECT_NEAR(std::stod(f[6]) * 3.6, r.at(sample, r.find("Speed")), 1e-3);
            EXPECT_NEAR(std::stod(f[7]), -r.at(sample, r.find("Lateral Acc")), 1e-5);
        }
    }
    EXPECT_EQ(lap_changes, (std::vector<std::string>{"78.741", "145.773", "212.935"}));

    std::vector<std::string> motec = lines_of(lxgen::write_motec_csv(r));
    EXPECT_EQ(motec[11], "\"Beacon Markers\",\"78.741 145.773 212.935 \"");
    EXPECT_EQ(motec.size(), 18 + rows);
}

} // namespace
