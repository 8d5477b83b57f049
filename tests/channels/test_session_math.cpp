#include <gtest/gtest.h>

#include <cmath>
#include <random>

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

float curvature(float v, float g) {
    double a = g * lx::G;
    float r = std::fabs(a) < 1e-6 ? 1e6f : float(double(v) * v / float(a));
    float size = std::fmin(std::fmax(std::fabs(r), 0.1f), 1e6f);
    return float(1000.0 / (r < 0.0f ? -size : size));
}

TEST_F(SessionMath, WholeSessionMatchesThePlainComputation) {
    // km/h, lateral g inverted, longitudinal g derived from speed at 20 Hz.
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f), lateral(-1.5f, 1.5f);
    std::vector<V> kmh, latg;
    for (int n : {120, 0, 87}) {
        V v(n), g(n);
        for (int j = 0; j < n; ++j) {
            v[j] = float(110.0 + 40.0 * std::sin(j / 9.0)) + noise(rng);
            g[j] = j == 5 ? 0.0f : lateral(rng);
        }
        kmh.push_back(v);
        latg.push_back(g);
    }
    lx::Session* s = logged(kmh, latg, 20);
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, LX_SPEED_KMH, 1, 0, 1), 1);

    float previous = float(kmh[0][0] * double(0.2777778f));
    for (int l : {0, 2}) {
        V v, a, lat, distance, seglen, radius;
        for (float x : kmh[l]) v.push_back(float(x * double(0.2777778f)));
        v = trailing_mean(v, 10);
        double run = 0.0;
        float length = 0.0f;
        for (std::size_t j = 0; j < v.size(); ++j) {
            a.push_back(float(float((double(v[j]) - v[j ? j - 1 : 0]) * 20) * double(0.10195655f)));
            lat.push_back(float(latg[l][j] * -1.0 + 0.0)); // scale and offset: 0 gives +0
            if (j > 0) run += (double(v[j - 1]) + v[j]) / 40.0;
            distance.push_back(float(run));
            seglen.push_back(float((double(previous) + v[j]) / 40.0));
            previous = v[j];
            length += seglen.back();
            radius.push_back(curvature(v[j], lat[j]));
        }
        SCOPED_TRACE(l);
        EXPECT_EQ(bits(samples(s, l, s->i_latg)), bits(lat));
        EXPECT_EQ(bits(samples(s, l, s->i_speed)), bits(v));
        EXPECT_EQ(bits(samples(s, l, s->i_longg)), bits(trailing_mean(a, 10)));
        EXPECT_EQ(bits(samples(s, l, s->i_distance)), bits(distance));
        EXPECT_EQ(bits(samples(s, l, s->i_seglen)), bits(seglen));
        EXPECT_EQ(bits(samples(s, l, s->i_radius)), bits(radius));
        EXPECT_EQ(s->laps[l].lap_length, length);
    }
    // Every step starts again from the logger's channels.
    V speed = samples(s, 2, s->i_speed);
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, LX_SPEED_KMH, 1, 0, 1), 1);
    EXPECT_EQ(bits(samples(s, 2, s->i_speed)), bits(speed));
}

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
