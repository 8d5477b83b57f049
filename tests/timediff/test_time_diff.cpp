#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "analysis/analysis.h"
#include "channels/channels.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;
using V = std::vector<float>;

namespace {

constexpr int SPEED = 3, LATG = 4;
const lx::TraceOptions silent{0, 1};

V samples(const lx::Session* s, int lap, int channel) {
    const lx::Lap& l = s->laps[lap];
    return V(l.raw[channel], l.raw[channel] + l.npoints);
}

class TimeDiff : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override { close_all_sessions(); }

    // A session through setup and session math with one lap per speed list (km/h).
    int driven(const std::vector<V>& kmh, float rate, bool analysis = true) {
        std::vector<int> points;
        for (const V& lap : kmh) points.push_back(static_cast<int>(lap.size()));
        lx::Session* s = make_session(points, rate, 2);
        for (std::size_t l = 0; l < kmh.size(); ++l)
            for (std::size_t j = 0; j < kmh[l].size(); ++j) s->laps[l].raw[SPEED][j] = kmh[l][j];
        int h = install(s);
        EXPECT_EQ(lx_session_setup(h), 1);
        EXPECT_EQ(lx_compute_session_math(h, SPEED, LATG, 1, 0, 1, 0), 1);
        if (analysis) {
            EXPECT_EQ(lx_analysis_setup(h), 1);
        }
        return h;
    }
    lx::Session* session(int h) { return lx::lookup_session(h); }

    // The unsmoothed time difference of one working lap, into i_tdiff.
    int lap_diff(int ref, int ref_lap, int work, int work_lap, int stretch,
                 lx::TraceOptions options = silent) {
        lx::Session* r = session(ref);
        lx::Session* w = session(work);
        return lx::calc_time_difference_lap(r, ref_lap, w, work_lap, r->i_seglen, w->i_seglen,
                                            w->i_tdiff, stretch, options);
    }
};

// ---- the time difference worked out by brackets: K(i) is the first reference
// index whose stretched distance passes the working distance; samples with the
// same K share one bracket, which starts where the first of them found the walk.
V bracket_reference(const V& ref_seg, const V& work_seg, double ref_rate, double work_rate,
                    float c) {
    V reach{0.0f}; // reference distances as the walk sums them, lap after lap
    auto passes = [&](std::size_t k, float dw) { return double(c) * reach[k] > dw; };
    V out;
    float dw = 0.0f;
    std::size_t previous_k = 0, start = 0;
    for (std::size_t i = 0; i < work_seg.size(); ++i) {
        std::size_t k = 0;
        for (;; ++k) {
            if (k == reach.size())
                reach.push_back(float(double(reach.back()) + ref_seg[(k - 1) % ref_seg.size()]));
            if (passes(k, dw)) break;
        }
        if (i == 0 || k != previous_k) start = previous_k;
        previous_k = k;
        float f = float((dw - double(c) * reach[start]) /
                        (double(c) * reach[k] - double(c) * reach[start]));
        float t_end = float(k / ref_rate), t_start = float(start / ref_rate);
        float ti = float((double(t_end) - t_start) * f + t_start);
        out.push_back(float(double(float(i / work_rate)) - ti));
        dw = float(double(dw) + work_seg[i]);
    }
    return out;
}

V trailing_mean(const V& x, int n) {
    V y(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        double sum = 0.0;
        for (int back = 0; back <= n; ++back) sum += back <= int(i) ? x[i - back] : x[0];
        y[i] = float(sum / (n + 1));
    }
    return y;
}

TEST_F(TimeDiff, WholeLapsMatchTheBracketReference) {
    std::mt19937 rng(5);
    auto lap = [&](int n, float low, float high) {
        std::uniform_real_distribution<float> pick(low, high);
        V v(n);
        for (float& x : v) x = pick(rng);
        return v;
    };
    // Working laps shorter, longer (the reference wraps) and sampled faster.
    int ref = driven({lap(60, 80, 160), lap(50, 90, 150)}, 10);
    int work = driven({lap(70, 60, 140), lap(90, 120, 170), lap(130, 70, 150)}, 20);
    lx::Session* r = session(ref);
    lx::Session* w = session(work);
    for (int stretch : {0, 1})
        for (int ref_lap : {0, 1})
            for (int l = 0; l < 3; ++l) {
                SCOPED_TRACE(testing::Message() << stretch << " " << ref_lap << " " << l);
                ASSERT_EQ(lap_diff(ref, ref_lap, work, l, stretch), 1);
                const lx::Lap& rl = r->laps[ref_lap];
                float c = stretch ? float(double(w->laps[l].lap_length) / rl.lap_length) : 1.0f;
                EXPECT_EQ(samples(w, l, w->i_tdiff),
                          bracket_reference(samples(r, ref_lap, r->i_seglen),
                                            samples(w, l, w->i_seglen), 10, 20, c));
            }
}

TEST_F(TimeDiff, LapAgainstItselfIsExactlyZero) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> pick(40, 200);
    std::vector<V> laps(3, V(150));
    for (V& l : laps)
        for (float& x : l) x = pick(rng);
    int h = driven(laps, 25);
    lx::Session* s = session(h);
    for (int stretch : {0, 1}) {
        ASSERT_EQ(lx_calc_time_diff(h, 1, h, stretch), 1);
        for (int c : {s->i_tdiff, s->i_tdiff_dt})
            for (float x : samples(s, 1, c)) ASSERT_EQ(x, 0.0f);
    }
}

TEST_F(TimeDiff, HalfSpeedLosesHalfTheTime) {
    int ref = driven({V(50, 36.0f)}, 10);               // 1.0 m per sample
    int work = driven({V(60, 18.0f), V(7, 18.0f)}, 10); // 0.5 m per sample
    lx::Session* w = session(work);
    ASSERT_EQ(lap_diff(ref, 0, work, 0, 0), 1);
    V raw = samples(w, 0, w->i_tdiff);
    for (int i = 0; i < 60; ++i) EXPECT_NEAR(raw[i], 0.05 * i, 2e-6) << i;
    EXPECT_EQ(raw[0], 0.0f);

    // The export smooths over 11 samples, then differentiates and smooths again.
    ASSERT_EQ(lap_diff(ref, 0, work, 1, 0), 1);
    V raw1 = samples(w, 1, w->i_tdiff);
    ASSERT_EQ(lx_calc_time_diff(ref, 0, work, 0), 1);
    for (auto [l, unsmoothed] : {std::pair{0, raw}, std::pair{1, raw1}}) {
        V smooth = trailing_mean(unsmoothed, 10);
        EXPECT_EQ(samples(w, l, w->i_tdiff), smooth);
        V rate(smooth.size());
        for (std::size_t i = 0; i < smooth.size(); ++i)
            rate[i] = float((double(smooth[i]) - smooth[i ? i - 1 : 0]) * 10.0);
        EXPECT_EQ(samples(w, l, w->i_tdiff_dt), trailing_mean(rate, 10));
    }
    EXPECT_NEAR(samples(w, 0, w->i_tdiff_dt)[40], 0.5, 1e-5);
}

TEST_F(TimeDiff, StretchMatchesLapEnds) {
    int ref = driven({V(100, 36.0f)}, 10);  // 100 m
    int work = driven({V(100, 39.6f)}, 10); // 110 m
    lx::Session* w = session(work);
    ASSERT_EQ(lap_diff(ref, 0, work, 0, 1), 1);
    for (float x : samples(w, 0, w->i_tdiff)) EXPECT_NEAR(x, 0.0f, 1e-5);
    // Unstretched, the working lap runs past the reference's end and the walk
    // carries on from its first sample: the reference time passes 10 s.
    ASSERT_EQ(lap_diff(ref, 0, work, 0, 0), 1);
    V raw = samples(w, 0, w->i_tdiff);
    for (int i = 0; i < 100; ++i) EXPECT_NEAR(raw[i], -0.01 * i, 1e-5) << i;
}

TEST_F(TimeDiff, ExportRefusalsInOrder) {
    int ref = driven({V(20, 36.0f), V(20, 36.0f)}, 10);
    int bare = driven({V(20, 36.0f)}, 10, false);
    lx::Session* half = make_session({20}, 10, 124); // room for "i_tdiff" only
    int partial = install(half);
    {
        StdoutCapture setup;
        EXPECT_EQ(lx_analysis_setup(partial), 0);
    }
    struct Case {
        int ref, lap, work;
        const char* message;
    } cases[] = {
        {0, 0, ref, "Exit - reference session not found.\n"},
        {9, 0, 0, "Exit - reference session not found.\n"},
        {ref, 0, -4, "Exit - working session not found.\n"},
        {ref, 99, bare, "No time-difference output channel!\n"},
        {ref, 99, partial, "No time-difference (dt) output channel!\n"},
        {ref, 2, ref, "Exit - reference lap does not exist.\n"},
        {ref, -1, ref, "Exit - reference lap does not exist.\n"},
        {ref, INT_MIN, ref, "Exit - reference lap does not exist.\n"},
        {ref, INT_MAX, ref, "Exit - reference lap does not exist.\n"},
    };
    for (const Case& c : cases) {
        StdoutCapture out;
        EXPECT_EQ(lx_calc_time_diff(c.ref, c.lap, c.work, 0), 0);
        EXPECT_EQ(out.text(), c.message);
    }
    for (float x : samples(session(ref), 0, session(ref)->i_tdiff)) EXPECT_EQ(x, 0.0f);
}

TEST_F(TimeDiff, RefusedLapsKeepTheirValuesButAreSmoothed) {
    int ref = driven({V(30, 36.0f), V(30, 0.0f), {}}, 10);
    int work = driven({V(30, 30.0f), V(30, 0.0f), V(30, 30.0f)}, 10);
    lx::Session* w = session(work);
    for (int l : {0, 1, 2}) std::fill_n(w->laps[l].raw[w->i_tdiff], 30, 7.0f);
    // Lap 1 never had its length computed.
    w->laps[1].lap_length = 0.0f;
    ASSERT_EQ(lx_calc_time_diff(ref, 0, work, 1), 1);
    EXPECT_EQ(samples(w, 1, w->i_tdiff), V(30, 7.0f));
    EXPECT_EQ(samples(w, 1, w->i_tdiff_dt), V(30, 0.0f));
    EXPECT_NE(samples(w, 2, w->i_tdiff), V(30, 7.0f));

    // The lap-level refusals, in their order, each with its verbose line.
    lx::Session* r = session(ref);
    r->laps[1].lap_length = 0.0f;
    r->laps[2].lap_length = 5.0f; // a length but no samples
    w->laps[2].lap_length = 0.0f;
    struct Case {
        int ref_lap, work_lap;
        const char* message;
    } cases[] = {{1, 2, "Work lap has zero length - quitting!\n"},
                 {1, 0, "Reference lap has zero length - quitting!\n"},
                 {2, 0, "Reference lap has zero points - quitting!\n"}};
    for (const Case& c : cases) {
        StdoutCapture out;
        EXPECT_EQ(lap_diff(ref, c.ref_lap, work, c.work_lap, 0, {1, 1}), 0);
        EXPECT_TRUE(out.text().ends_with(c.message)) << out.text();
    }
    w->laps[0].npoints = 0;
    StdoutCapture out;
    EXPECT_EQ(lap_diff(ref, 2, work, 0, 0, {1, 1}), 0);
    EXPECT_TRUE(out.text().ends_with("Work lap has zero points - quitting!\n"));
    w->laps[0].npoints = 30;
}

TEST_F(TimeDiff, ReferenceThatCannotAdvanceIsRefused) {
    int work = driven({V(40, 36.0f), V(40, 50.0f)}, 10);
    lx::Session* w = session(work);
    // Backwards: the logger's speed is negative, so is the lap's length.
    int backwards = driven({V(40, -36.0f)}, 10);
    ASSERT_LT(session(backwards)->laps[0].lap_length, 0.0f);
    // A stale length over fresh, empty segment lengths after a second setup.
    int stale = driven({V(40, 36.0f)}, 10);
    ASSERT_EQ(lx_session_setup(stale), 1);
    ASSERT_GT(session(stale)->laps[0].lap_length, 0.0f);
    for (auto [ref, stretch] : {std::pair{backwards, 0}, {stale, 0}, {stale, 1}}) {
        SCOPED_TRACE(testing::Message() << ref << " " << stretch);
        w->laps[0].raw[w->i_tdiff][3] = 4.0f;
        EXPECT_EQ(lap_diff(ref, 0, work, 0, stretch), 0);
        EXPECT_EQ(w->laps[0].raw[w->i_tdiff][3], 4.0f);
        EXPECT_EQ(lx_calc_time_diff(ref, 0, work, stretch), 1);
    }
    // Stretched by the negative length ratio, the backwards lap walks forward.
    EXPECT_EQ(lap_diff(backwards, 0, work, 0, 1), 1);

    // Segments too short to move a float sum past 2^21 m: the walk stalls there.
    lx::Session* r = make_session({4}, 10, 0);
    int fine = install(r);
    ASSERT_EQ(lx_session_setup(fine), 1);
    std::fill_n(r->laps[0].raw[r->i_seglen], 4, 0.1f);
    r->laps[0].lap_length = 0.4f;
    w->laps[1].raw[w->i_seglen][0] = 1e7f;
    w->laps[1].raw[w->i_tdiff][3] = 4.0f;
    EXPECT_EQ(lap_diff(fine, 0, work, 1, 0), 0);
    EXPECT_EQ(w->laps[1].raw[w->i_tdiff][3], 4.0f);
}

TEST_F(TimeDiff, VerboseTrace) {
    int ref = driven({V(3, 36.0f)}, 10);
    int work = driven({V(2, 36.0f), {}}, 10);
    TraceSwitches trace(1, 1);
    StdoutCapture out;
    lx_calc_time_diff(ref, 0, work, 1);
    unsigned r = lx::trace_address(session(ref)), w = lx::trace_address(session(work));
    int seg = session(work)->i_seglen, tdiff = session(work)->i_tdiff;
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
                  ref, work, r, w, seg, seg, tdiff, r, w, seg, seg, tdiff, r, w, seg, seg, tdiff, w,
                  tdiff, tdiff, w, tdiff, tdiff + 1, w, tdiff + 1, tdiff + 1);
    EXPECT_EQ(out.text(), expected);
}

} // namespace
