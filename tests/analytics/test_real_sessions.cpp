// Default sector cuts and corner splits on the real sessions, run by
// .ci/steps/47-sectors.sh with LX_REAL_DATA naming their folder (they are
// never copied into the repository); skipped without it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "analytics/analytics.h"
#include "data/laps.h"
#include "support.h"

namespace {

using namespace lx::analytics;
using lxtest::session_math;
using lxtest::session_of;

struct Traced {
    std::vector<LapTrace> full; // on the logger's clock
    LapTrace reference;         // the fastest
    std::vector<double> cuts;
    std::vector<std::vector<Corner>> corners; // per full lap
};

// Channels by name, or "#n" where several share one. A three-lap file's
// middle lap counts as full: its class is not yet right.
Traced traced(const std::string& file, const std::vector<std::string>& channels) {
    int h = lx_open((std::getenv("LX_REAL_DATA") + ("/" + file)).c_str(), nullptr);
    int ch[3];
    for (int i = 0; i < 3; ++i)
        ch[i] = channels[i][0] == '#' ? std::atoi(channels[i].c_str() + 1)
                                      : lx_find_channel(h, channels[i].c_str());
    session_math(h, ch[0], ch[1], 1, 0, ch[2], 0);
    const lx::Session* s = session_of(h);
    Traced t;
    for (int lap = 1; s && lap + 1 < s->nlaps; ++lap) {
        LapTrace trace;
        bool full = s->nlaps == 3 || lx::data::lap_class(s, lap) == LX_LAP_FULL;
        if (!full || trace_lap(s, lap, trace)) continue;
        trace.keep_time(lx::data::lap_time(s, lap));
        t.full.push_back(trace);
        if (t.full.size() == 1 || trace.duration() < t.reference.duration()) t.reference = trace;
    }
    EXPECT_FALSE(t.full.empty()) << file << ": " << lx_last_error();
    EXPECT_FALSE(t.full.empty() || default_cuts(t.full, t.reference, CornerOptions{}, t.cuts));
    if (t.cuts.size() != 2) return t;
    std::printf("%s: cuts %.1f %.1f m of lap %d; corners per full lap:", file.c_str(), t.cuts[0],
                t.cuts[1], t.reference.lap + 1);
    std::vector<double> splits = split_shares(t.full, CornerOptions{});
    for (const LapTrace& lap : t.full) {
        t.corners.push_back(find_corners(lap, CornerOptions{}, &splits));
        std::printf(" %d:%zu", lap.lap + 1, t.corners.back().size());
    }
    std::printf("\n");
    return t;
}

void expect_same_cuts(const Traced& a, const Traced& b, double tolerance) {
    ASSERT_EQ(a.cuts.size() + b.cuts.size(), 4u);
    for (int k = 0; k < 2; ++k) EXPECT_NEAR(a.cuts[k], b.cuts[k], tolerance);
}

TEST(RealSessions, DefaultCutsAgreeBetweenSessionsOfOneTrack) {
    if (!std::getenv("LX_REAL_DATA")) GTEST_SKIP() << "LX_REAL_DATA not set";
    lxtest::close_all_sessions();
    Traced mychron =
        traced("aim-kart-rustavi-mychron5/aim.csv", {"GPS Speed", "GPS LatAcc", "GPS LonAcc"});
    Traced solo =
        traced("aim-kart-rustavi-solo2dl/aim.csv", {"GPS Speed", "GPS LatAcc", "InlineAcc"});
    expect_same_cuts(mychron, solo, 15.0);
    const char* tianma = "racechrono-tianma/session_20251231_1";
    std::vector<std::string> channels{"#15", "lateral_acc", "longitudinal_acc"};
    Traced lap9 = traced(tianma + std::string("11318_tianma_lap9_v3.csv"), channels);
    Traced lap13 = traced(tianma + std::string("11959_tianma_lap13_v3.csv"), channels);
    expect_same_cuts(lap9, lap13, std::max(15.0, 0.01 * lap9.reference.length()));
    // MyChron 5 lap 6's sweeper and hairpin at 730-986 m are two corners.
    ASSERT_EQ(mychron.full.at(4).lap, 5);
    int inside = 0;
    for (const Corner& k : mychron.corners.at(4)) inside += k.entry >= 725.0 && k.exit <= 990.0;
    EXPECT_EQ(inside, 2);
    lxtest::close_all_sessions();
}

} // namespace
