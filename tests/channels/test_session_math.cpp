#include <gtest/gtest.h>

#include <cmath>

#include "base/units.h"
#include "channels/channels.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;
using V = Samples;

namespace {

constexpr int SPEED = 3, LATG = 4, LONGG = 5;

class SessionMath : public FreshSessions {
  protected:
    // A set-up session with one lap per entry of the logger's speed and lateral g.
    lx::Session* logged(const std::vector<V>& speed, const std::vector<V>& latg, float rate) {
        std::vector<int> points;
        for (const V& lap : speed) points.push_back(int(lap.size()));
        lx::Session* s = make_session(points, rate, 3);
        for (std::size_t l = 0; l < speed.size(); ++l) {
            set_samples(s, l, SPEED, speed[l]);
            set_samples(s, l, LATG, latg[l]);
        }
        handle = install(s);
        EXPECT_EQ(lx_session_setup(handle), 1);
        return s;
    }
    int handle = 0;
};

TEST_F(SessionMath, StatedValues) {
    // 36 km/h at 10 Hz: whole metres; then 20 m/s at +-1 g, standstill,
    // straight, dead band, beyond the radius limit and under 0.1 m.
    V kmh{36, 36, 36, 72, 72, 0, 72, 72, 72, 0.36f};
    V latg{0, 0, 0, 1, -1, 0.5f, 0, 1e-7f, 3e-7f, 9};
    lx::Session* s = logged({V(30, 36.0f), kmh}, {V(30, 0.0f), latg}, 10);
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, LX_SPEED_KMH, 0, LONGG, 0), 1);
    for (int j = 0; j < 30; ++j) {
        EXPECT_EQ(s->laps[0].raw[s->i_distance][j], float(j));
        EXPECT_EQ(s->laps[0].raw[s->i_seglen][j], 1.0f);
        EXPECT_EQ(s->laps[0].raw[s->i_radius][j], 0.001f);
    }
    EXPECT_EQ(s->laps[0].lap_length, 30.0f);
    V c = samples(s, 1, s->i_radius);
    EXPECT_NEAR(c[3], 24.52025f, 1e-4);
    EXPECT_EQ(c[4], -c[3]);
    EXPECT_EQ((V{c[5], c[6], c[7], c[8], c[9]}), (V{10000, 0.001f, 0.001f, 0.001f, 10000}));
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, LX_SPEED_KMH, 1, LONGG, 0), 1);
    EXPECT_EQ(samples(s, 1, s->i_radius)[3], -c[3]);
    // Inverted, a lateral 0 stays +0: scaled by -1, then offset by 0.
    EXPECT_EQ(bits(samples(s, 1, s->i_latg)),
              bits({0, 0, 0, -1, 1, -0.5f, 0, -1e-7f, -3e-7f, -9}));
}

TEST(CornerRadius, DeadBandComparesTheUnroundedProduct) {
    // Just above the dead band in double, below it once rounded to float.
    float g = float(1e-6 / lx::G);
    while (!(g * lx::G >= 1e-6 && float(g * lx::G) < 1e-6)) g = std::nextafter(g, 1.0f);
    lx::Session* s = make_session({1}, 10, 3);
    s->laps[0].raw[3][0] = 0.001f;
    s->laps[0].raw[4][0] = g;
    lx::corner_radius(s, 3, 4, 5);
    float r = float(double(0.001f) * 0.001f / float(g * lx::G));
    EXPECT_EQ(s->laps[0].raw[5][0], float(1000.0 / r));
    lx::free_session(s);
}

TEST_F(SessionMath, RefusalsChangeOnlyWhatTheyReach) {
    lx::Session* s = logged({{36, 36}}, {{0.5f, 0.5f}}, 10);
    set_samples(s, 0, s->i_speed, {7, 7});
    for (int bad : {-1, 12, 1 << 30, -2147483647 - 1})
        EXPECT_EQ(lx_compute_session_math(handle, bad, LATG, LX_SPEED_KMH, 0, 0, 0) +
                      lx_compute_session_math(handle, SPEED, bad, LX_SPEED_KMH, 0, 0, 0) +
                      lx_compute_session_math(handle, SPEED, LATG, LX_SPEED_KMH, 0, bad, 0) +
                      lx_compute_session_math(bad, SPEED, LATG, LX_SPEED_KMH, 0, 0, 0),
                  0);
    EXPECT_EQ(s->speed_source, 0);
    EXPECT_EQ(samples(s, 0, s->i_latg), (V{0, 0}));
    // An unknown speed unit stops after lateral g.
    EXPECT_EQ(lx_compute_session_math(handle, SPEED, LATG, 2, 0, LONGG, 0), 0);
    EXPECT_EQ(samples(s, 0, s->i_latg), (V{0.5f, 0.5f}));
    EXPECT_EQ(samples(s, 0, s->i_speed), (V{7, 7}));
    // Without setup only the source fields are written; no laps is no work.
    lx::Session* bare = make_session({3}, 10, 3);
    EXPECT_EQ(lx_compute_session_math(install(bare), SPEED, LATG, LX_SPEED_KMH, 0, LONGG, 0), 0);
    EXPECT_EQ(bare->latg_source, LATG);
    lx::Session* empty = make_session({}, 10, 3);
    int he = install(empty);
    ASSERT_EQ(lx_session_setup(he), 1);
    EXPECT_EQ(lx_compute_session_math(he, SPEED, LATG, LX_SPEED_KMH, 0, 0, 0), 1);
}

TEST_F(SessionMath, ZeroAndLowSampleRates) {
    lx::Session* s = logged({{36, 72, 36}}, {{0, 0, 0}}, 0);
    {
        TraceSwitches trace(1, 1);
        StdoutCapture out;
        ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, LX_SPEED_KMH, 0, 0, 0), 1);
        EXPECT_TRUE(out.text().starts_with("lx_compute_session_math(1,3,4,1,0)\n"
                                           "Calculating speeds in ms-1\n"));
    }
    for (int c : {s->i_distance, s->i_seglen, s->i_longg}) EXPECT_EQ(samples(s, 0, c), V(3, 0.0f));
    EXPECT_EQ(s->laps[0].lap_length, 0.0f);
    // Under 2 samples per second the window is 0 and smoothing copies.
    s->sample_rate = 1.5f;
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, LX_SPEED_KMH, 0, 0, 0), 1);
    EXPECT_EQ(samples(s, 0, s->i_speed), (V{10, 20, 10}));
    EXPECT_EQ(samples(s, 0, s->i_longg)[1], float(15.0 * double(0.10195655f)));
}

} // namespace
