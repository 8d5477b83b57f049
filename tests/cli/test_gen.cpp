// The session generator: the bundled sample is its output, the seed decides,
// and its text export reads as the laps it drove (the import tests read its
// CSV files, the analytics tests find its bends).
#include <gtest/gtest.h>

#include "gen.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

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

} // namespace
