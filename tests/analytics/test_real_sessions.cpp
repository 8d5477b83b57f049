// Default sectors and corners on the real sessions of ../shared/data/real,
// run by .ci/steps/47-sectors.sh with LX_REAL_DATA naming that folder; skipped
// without it (the files are never copied into the repository).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "analytics/analytics.h"
#include "data/laps.h"
#include "lx_data.h"
#include "support.h"

namespace {

using namespace lx::analytics;

struct Logged {
    const char* file;
    const char *speed, *lat, *lon;
};

struct Traced {
    std::vector<LapTrace> full;
    LapTrace reference;
    std::vector<double> cuts;
    std::vector<std::vector<Corner>> corners; // per full lap
};

// By name, or "#n" for channel n where several share the name.
int channel(int h, const char* name) {
    return name[0] == '#' ? std::atoi(name + 1) : lx_find_channel(h, name);
}

// A lap between the recording's first and last; full, or with a single one
// the lap the file names (lap classes are not yet right on such a file).
bool between(const lx::Session* s, int lap) {
    return lap > 0 && lap + 1 < s->nlaps &&
           (s->nlaps == 3 || lx::data::lap_class(s, lap) == LX_LAP_FULL);
}

// The full laps on the logger's clock, the fastest the reference, its cuts.
Traced traced(const Logged& l) {
    const char* real = std::getenv("LX_REAL_DATA");
    int h = lx_open((std::string(real) + "/" + l.file).c_str(), nullptr);
    EXPECT_GT(h, 0) << l.file << ": " << lx_last_error();
    lx_session_setup(h);
    lx_compute_session_math(h, channel(h, l.speed), channel(h, l.lat), 1, 0, channel(h, l.lon), 0);
    const lx::Session* s = lx::lookup_session(h);
    Traced t;
    for (int lap = 1; s && lap + 1 < s->nlaps; ++lap) {
        LapTrace trace;
        if (!between(s, lap) || trace_lap(s, lap, trace)) continue;
        trace.keep_time(lx::data::lap_time(s, lap));
        t.full.push_back(trace);
        if (t.full.size() == 1 || trace.duration() < t.reference.duration()) t.reference = trace;
    }
    EXPECT_FALSE(t.full.empty()) << l.file;
    if (t.full.empty()) return t;
    EXPECT_FALSE(default_cuts(t.full, t.reference, CornerOptions{}, t.cuts)) << l.file;
    std::printf("%s: cuts %.1f %.1f m of lap %d (%.0f m); corners per full lap:", l.file, t.cuts[0],
                t.cuts[1], t.reference.lap + 1, t.reference.length());
    std::vector<double> splits = split_shares(t.full, CornerOptions{});
    for (const LapTrace& lap : t.full) {
        t.corners.push_back(find_corners(lap, CornerOptions{}, &splits));
        std::printf(" %d:%zu", lap.lap + 1, t.corners.back().size());
        double sum = 0.0;
        for (double time : sector_times(lap, t.reference, t.cuts)) sum += time;
        EXPECT_NEAR(sum, lx::data::lap_time(s, lap.lap), 1e-9) << l.file << " lap " << lap.lap + 1;
    }
    std::printf("\n");
    double first = t.reference.time_at(t.cuts[0]) / t.reference.duration();
    double second = t.reference.time_at(t.cuts[1]) / t.reference.duration();
    for (double share : {first, second - first, 1.0 - second})
        EXPECT_TRUE(share >= 0.2 && share <= 0.5) << l.file << ": a sector of " << share;
    return t;
}

void expect_same_cuts(const Traced& a, const Traced& b, double tolerance) {
    ASSERT_EQ(a.cuts.size(), 2u);
    ASSERT_EQ(b.cuts.size(), 2u);
    for (int k = 0; k < 2; ++k) EXPECT_NEAR(a.cuts[k], b.cuts[k], tolerance);
}

class RealSessions : public lxtest::FreshSessions {
  protected:
    void SetUp() override {
        FreshSessions::SetUp();
        if (!std::getenv("LX_REAL_DATA")) GTEST_SKIP() << "LX_REAL_DATA not set";
    }
};

TEST_F(RealSessions, DefaultCutsAgreeBetweenSessionsOfOneTrack) {
    Traced mychron =
        traced({"aim-kart-rustavi-mychron5/aim.csv", "GPS Speed", "GPS LatAcc", "GPS LonAcc"});
    Traced solo =
        traced({"aim-kart-rustavi-solo2dl/aim.csv", "GPS Speed", "GPS LatAcc", "InlineAcc"});
    expect_same_cuts(mychron, solo, 15.0);
    // Lap 6's sweeper and hairpin at 730-986 m are two corners.
    ASSERT_GE(mychron.full.size(), 5u);
    ASSERT_EQ(mychron.full[4].lap, 5);
    int inside = 0;
    for (const Corner& k : mychron.corners[4]) inside += k.entry >= 725.0 && k.exit <= 990.0;
    EXPECT_EQ(inside, 2);
    Traced lap9 = traced({"racechrono-tianma/session_20251231_111318_tianma_lap9_v3.csv", "#15",
                          "lateral_acc", "longitudinal_acc"});
    Traced lap13 = traced({"racechrono-tianma/session_20251231_111959_tianma_lap13_v3.csv", "#15",
                           "lateral_acc", "longitudinal_acc"});
    expect_same_cuts(lap9, lap13, std::max(15.0, 0.01 * lap9.reference.length()));
}

} // namespace
