#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "analysis/analysis.h"
#include "lx.h"
#include "support.h"
#include "track.h"

using namespace lxtest;
using lx::ERROR_UNSET;

namespace {

using Locate = FreshSessions;

// A session of unit segments that serves as its own reference, holding the
// given errors; the reference lap length sets the zones (0.3 x length each way).
lx::Session* with_errors(const std::vector<int>& laps, const std::vector<float>& errors,
                         float ref_lap_length) {
    lx::Session* s = matching_session(laps, 10, unit);
    fill_by_index(s, lx::library.error_channel, [&](int i) { return errors[i]; });
    s->laps[0].lap_length = ref_lap_length;
    return s;
}

std::vector<float> marks(const lx::Session* s) {
    return samples(s, lx::library.beacon_channel);
}

TEST_F(Locate, OneClearMinimumIsOneMatch) {
    lx::Session* s = with_errors({3, 4}, {ERROR_UNSET, 10, 10, 2, 10, 10, ERROR_UNSET}, 10.0f);
    int h = install(s);
    sample(s, lx::library.beacon_channel, 6) = 1.0f; // an earlier call's mark
    {
        TraceSwitches trace(1, 1);
        StdoutCapture out;
        EXPECT_EQ(lx_locate_laps(h, 0, h), 1);
        // Unset samples count neither in the average (42 / 5) nor as candidates.
        EXPECT_EQ(out.text(), "lx_locate_laps(1,0,1)\n"
                              "Average error = 8.4\n"
                              "Lap match #1 (76.2) found at lap 1, point 0\n");
    }
    // Three metres each way, the match included, across the lap boundary.
    EXPECT_EQ(marks(s), (std::vector<float>{0, -1, -1, 1, -1, -1, 0}));

    // Zones of length 0 leave only the match marked; the next best, a free
    // 10.0, rates -19.0 and ends the search.
    s->laps[0].lap_length = 0.0f;
    EXPECT_EQ(lx_locate_laps(h, 0, h), 1);
    EXPECT_EQ(marks(s), (std::vector<float>{0, 0, 0, 1, 0, 0, 0}));

    // Never computed (all 0.0): no quality at all.
    fill_by_index(s, lx::library.error_channel, [](int) { return 0.0f; });
    EXPECT_EQ(lx_locate_laps(h, 0, h), 0);
    EXPECT_EQ(marks(s), std::vector<float>(7, 0.0f));
}

TEST_F(Locate, ThresholdInDoubleZonesClippedAndTiesToTheEarlier) {
    // First case: the average is 10.714285850524902 and the quality of 7.5 comes
    // out as 30.00000089 in double precision, 30.0 in single: the first 7.5
    // passes, and the search then stops although the second would pass as well.
    const float b = 13.928571701049805f, F = 50.0f;
    struct Case {
        std::vector<int> laps;
        std::vector<float> errors;
        float ref_lap_length;
        std::vector<float> marks;
    } cases[] = {{{4}, {7.5f, 7.5f, b, b}, 0.0f, {1, 0, 0, 0}},
                 // Zones clipped at the ends; of the two 20.0 the earlier wins.
                 {{3, 5, 7},
                  {F, 5, F, F, F, F, F, 20, F, 20, F, F, F, 6, F},
                  10.0f,
                  {-1, 1, -1, -1, 0, -1, -1, 1, -1, -1, 0, -1, -1, 1, -1}}};
    for (const Case& c : cases) {
        lx::Session* s = with_errors(c.laps, c.errors, c.ref_lap_length);
        int h = install(s);
        for (int call = 0; call < 2; ++call) { // a second call finds the same
            EXPECT_EQ(lx_locate_laps(h, 0, h), std::count(c.marks.begin(), c.marks.end(), 1.0f));
            EXPECT_EQ(marks(s), c.marks) << call;
        }
    }
}

} // namespace
