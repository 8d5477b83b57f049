#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "analysis/analysis.h"
#include "channels/channels.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;
using V = Samples;

namespace {

const lx::TraceOptions silent{0, 1, lx::STANDARD_OUTPUT}, verbose{1, 1, lx::STANDARD_OUTPUT};

class TimeDiff : public FreshSessions {
  protected:
    // A session through setup and session math, one lap per list of speeds in km/h.
    int driven(const std::vector<V>& kmh, float rate, bool analysis = true) {
        std::vector<int> points;
        for (const V& lap : kmh) points.push_back(int(lap.size()));
        lx::Session* s = make_session(points, rate, 2);
        for (std::size_t l = 0; l < kmh.size(); ++l) set_samples(s, l, 3, kmh[l]);
        int h = install(s);
        EXPECT_EQ(lx_session_setup(h), 1);
        EXPECT_EQ(lx_compute_session_math(h, 3, 4, LX_SPEED_KMH, 0, 1, 0), 1);
        if (analysis) {
            EXPECT_EQ(lx_analysis_setup(h), 1);
        }
        return h;
    }
    lx::Session* at(int h) { return lx::lookup_session(h); }

    // The unsmoothed time difference of one working lap, into i_tdiff.
    int lap_diff(int ref, int ref_lap, int work, int work_lap, int stretch,
                 lx::TraceOptions options = silent) {
        lx::Session *r = at(ref), *w = at(work);
        return lx::calc_time_difference_lap(r, ref_lap, w, work_lap, r->i_seglen, w->i_seglen,
                                            w->i_tdiff, stretch, options);
    }
};

// 1 m every 0.1 s against 0.25 m every 0.05 s: the working lap falls behind
// by 0.025 s a sample, also past the reference lap's end, where the reference
// starts again; stretched over the working lap's 60 m, the 50 m reference
// runs at 1.2 m a sample, and the lag grows by 0.05 - 0.25 / 12 s a sample.
TEST_F(TimeDiff, KnownLagWrappedAndStretched) {
    int ref = driven({V(50, 36.0f)}, 10);
    int work = driven({V(240, 18.0f)}, 20);
    lx::Session* w = at(work);
    for (int stretch : {0, 1}) {
        ASSERT_EQ(lap_diff(ref, 0, work, 0, stretch), 1);
        V lag = samples(w, 0, w->i_tdiff);
        double step = stretch ? 0.05 - 0.25 / 12 : 0.025;
        for (int i = 0; i < 240; ++i) ASSERT_NEAR(lag[i], step * i, 1e-5 * i) << stretch << i;
    }
}

TEST_F(TimeDiff, HalfSpeedThenSmoothingAndRate) {
    int ref = driven({V(50, 36.0f)}, 10);               // 1.0 m per sample
    int work = driven({V(60, 18.0f), V(7, 18.0f)}, 10); // 0.5 m per sample
    lx::Session* w = at(work);
    V raw[2];
    for (int l : {0, 1}) {
        ASSERT_EQ(lap_diff(ref, 0, work, l, 0), 1);
        raw[l] = samples(w, l, w->i_tdiff);
    }
    ASSERT_EQ(lx_calc_time_diff(ref, 0, work, 0), 1);
    for (int l : {0, 1}) {
        V smooth = trailing_mean(raw[l], 10), rate(smooth.size());
        EXPECT_EQ(bits(samples(w, l, w->i_tdiff)), bits(smooth));
        for (std::size_t i = 0; i < smooth.size(); ++i)
            rate[i] = float((double(smooth[i]) - smooth[i ? i - 1 : 0]) * 10.0);
        EXPECT_EQ(bits(samples(w, l, w->i_tdiff_dt)), bits(trailing_mean(rate, 10)));
    }
}

TEST_F(TimeDiff, RefusalsInOrder) {
    int ref = driven({V(20, 36.0f), V(20, 36.0f), {}}, 10);
    int bare = driven({V(20, 36.0f)}, 10, false);
    int partial = install(make_session({20}, 10, 124)); // room for "i_tdiff" only
    {
        StdoutCapture setup;
        EXPECT_EQ(lx_analysis_setup(partial), 0);
    }
    struct Case {
        int ref, lap, work;
        const char* message;
    } exports[] = {{0, 0, ref, "Exit - reference session not found.\n"},
                   {ref, 0, -4, "Exit - working session not found.\n"},
                   {ref, 99, bare, "No time-difference output channel!\n"},
                   {ref, 99, partial, "No time-difference (dt) output channel!\n"},
                   {ref, 3, ref, "Exit - reference lap does not exist.\n"},
                   {ref, INT_MIN, ref, "Exit - reference lap does not exist.\n"}};
    for (const Case& c : exports) {
        StdoutCapture out;
        EXPECT_EQ(lx_calc_time_diff(c.ref, c.lap, c.work, 0), 0);
        EXPECT_EQ(out.text(), c.message);
    }
    // Lap refusals keep the lap's values, which the export still smooths.
    lx::Session *r = at(ref), *w = r;
    r->laps[1].lap_length = 0.0f;
    r->laps[2].lap_length = 5.0f;
    std::fill_n(w->laps[1].raw[w->i_tdiff], 20, 7.0f);
    struct LapCase {
        int ref_lap, work_lap;
        const char* message;
    } laps[] = {{1, 1, "Work lap has zero length - quitting!\n"},
                {1, 0, "Reference lap has zero length - quitting!\n"},
                {2, 0, "Reference lap has zero points - quitting!\n"},
                {0, 2, "Work lap has zero points - quitting!\n"}};
    for (const LapCase& c : laps) {
        StdoutCapture out;
        EXPECT_EQ(lap_diff(ref, c.ref_lap, ref, c.work_lap, 0, verbose), 0);
        EXPECT_TRUE(out.text().ends_with(c.message)) << out.text();
    }
    ASSERT_EQ(lx_calc_time_diff(ref, 0, ref, 0), 1);
    EXPECT_EQ(samples(w, 1, w->i_tdiff), V(20, 7.0f));
    EXPECT_EQ(samples(w, 1, w->i_tdiff_dt), V(20, 0.0f));
}

TEST_F(TimeDiff, ReferenceThatCannotAdvanceIsRefused) {
    int work = driven({V(40, 36.0f), V(40, 50.0f)}, 10);
    lx::Session* w = at(work);
    int backwards = driven({V(40, -36.0f)}, 10); // negative length
    int stale = driven({V(40, 36.0f)}, 10);
    ASSERT_EQ(lx_session_setup(stale), 1); // fresh zero segments, old length
    for (auto [ref, stretch] : {std::pair{backwards, 0}, {stale, 0}, {stale, 1}}) {
        w->laps[0].raw[w->i_tdiff][3] = 4.0f;
        EXPECT_EQ(lap_diff(ref, 0, work, 0, stretch), 0);
        EXPECT_EQ(w->laps[0].raw[w->i_tdiff][3], 4.0f);
        EXPECT_EQ(lx_calc_time_diff(ref, 0, work, stretch), 1);
    }
    // Stretched by the negative length ratio, the backwards lap walks forward.
    EXPECT_EQ(lap_diff(backwards, 0, work, 0, 1), 1);
    // Segments too short to move a float sum past 2^21 m stall the walk there.
    lx::Session* r = at(stale);
    std::fill_n(r->laps[0].raw[r->i_seglen], 40, 0.1f);
    w->laps[1].raw[w->i_seglen][0] = 1e7f;
    EXPECT_EQ(lap_diff(stale, 0, work, 1, 0), 0);
}

TEST_F(TimeDiff, VerboseTrace) {
    int ref = driven({V(3, 36.0f)}, 10);
    int work = driven({V(2, 36.0f), {}}, 10);
    TraceSwitches trace(1, 1);
    StdoutCapture out;
    lx_calc_time_diff(ref, 0, work, 1);
    unsigned r = lx::trace_address(at(ref)), w = lx::trace_address(at(work));
    int seg = at(work)->i_seglen, td = at(work)->i_tdiff;
    char expected[1000];
    std::snprintf(expected, sizeof expected,
                  "lx_calc_time_diff(%d,0,%d,1)\n"
                  "calc_time_difference_session(0x%x,0,0x%08x,%d,%d,%d)\n"
                  "calc_time_difference_lap(0x%x,0,0x%08x,0,%d,%d,%d)\n"
                  "ref_lap_length = 3.00, work_lap_length = 2.00, scale = 0.67\n"
                  "calc_time_difference_lap(0x%x,0,0x%08x,1,%d,%d,%d)\n"
                  "Work lap has zero length - quitting!\n"
                  "filter_session(0x%x,%d,%d,0,10.0,0.0)\n"
                  "differentiate_dt_session(0x%x,%d,%d)\n"
                  "filter_session(0x%x,%d,%d,0,10.0,0.0)\n",
                  ref, work, r, w, seg, seg, td, r, w, seg, seg, td, r, w, seg, seg, td, w, td, td,
                  w, td, td + 1, w, td + 1, td + 1);
    EXPECT_EQ(out.text(), expected);
}

} // namespace
