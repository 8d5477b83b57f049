#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "channels/channels.h"
#include "helpers.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;
using V = std::vector<float>;

namespace {

// Logger channels of the sessions below.
constexpr int SPEED = 3, LATG = 4, LONGG = 5;

class SessionMath : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override { close_all_sessions(); }

    // A set-up session whose laps hold the given logger samples.
    lx::Session* logged(const std::vector<V>& speed, const std::vector<V>& latg, float rate) {
        std::vector<int> points;
        for (const V& lap : speed) points.push_back(static_cast<int>(lap.size()));
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

// ---- the session math written out plainly, from the logger's samples

struct Laps {
    std::vector<V> latg, speed, longg, distance, seglen, radius;
    V lap_length;
};

V derivative(const V& x, float rate) {
    V d(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        d[i] = static_cast<float>((static_cast<double>(x[i]) - x[i ? i - 1 : 0]) * rate);
    return d;
}

float curvature(float v, float g) {
    double a = g * 9.8081;
    float r = 1000000.0f;
    if (std::fabs(a) >= 1e-6) r = static_cast<float>(double(v) * v / static_cast<float>(a));
    bool negative = r < 0.0f;
    float size = std::fabs(r);
    if (size < 0.1) size = 0.1f;
    if (size > 1e6) size = 1e6f;
    return static_cast<float>(1000.0 / (negative ? -size : size));
}

// Lateral g inverted, speed in km/h, longitudinal g derived from speed.
Laps expected_math(const std::vector<V>& kmh, const std::vector<V>& latg, float rate) {
    Laps e;
    int window = static_cast<int>(rate / 2.0f);
    double dt = 1.0 / rate;
    float previous = kmh[0][0] * static_cast<float>(1.0 / 3.6);
    for (std::size_t l = 0; l < kmh.size(); ++l) {
        V lat, v;
        for (float g : latg[l]) lat.push_back(static_cast<float>(-1.0 * g));
        for (float x : kmh[l]) v.push_back(static_cast<float>(x * double(0.2777778f)));
        v = trailing_mean(v, window);
        V a = derivative(v, rate);
        for (float& x : a) x = static_cast<float>(x * double(0.10195655f));
        e.longg.push_back(trailing_mean(a, window));
        V d(v.size()), s(v.size()), c(v.size());
        double run = 0.0;
        float length = 0.0f;
        for (std::size_t j = 0; j < v.size(); ++j) {
            if (j > 0) run += (double(v[j - 1]) + v[j]) / 2.0 / rate;
            d[j] = static_cast<float>(run);
            s[j] = static_cast<float>((double(previous) + v[j]) / 2.0 * dt);
            previous = v[j];
            length += s[j];
            c[j] = curvature(v[j], lat[j]);
        }
        e.latg.push_back(lat);
        e.speed.push_back(v);
        e.distance.push_back(d);
        e.seglen.push_back(s);
        e.radius.push_back(c);
        e.lap_length.push_back(length);
    }
    return e;
}

TEST_F(SessionMath, WholeSessionMatchesThePlainComputation) {
    std::mt19937 rng(11);
    std::vector<V> kmh, latg;
    for (int n : {120, 0, 87}) {
        V v(n), g = random_samples(rng, n, -1.5f, 1.5f);
        for (int j = 0; j < n; ++j)
            v[j] = static_cast<float>(110.0 + 40.0 * std::sin(j / 9.0)) +
                   std::uniform_real_distribution<float>(-0.5f, 0.5f)(rng);
        if (n) g[5] = 0.0f; // a straight
        kmh.push_back(v);
        latg.push_back(g);
    }
    const float rate = 20.0f;
    lx::Session* s = logged(kmh, latg, rate);
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, 1, 1, 0, 1), 1);
    Laps e = expected_math(kmh, latg, rate);
    for (int l : {0, 2}) {
        SCOPED_TRACE(l);
        EXPECT_EQ(samples(s, l, s->i_latg), e.latg[l]);
        EXPECT_EQ(samples(s, l, s->i_speed), e.speed[l]);
        EXPECT_EQ(samples(s, l, s->i_longg), e.longg[l]);
        EXPECT_EQ(samples(s, l, s->i_distance), e.distance[l]);
        EXPECT_EQ(samples(s, l, s->i_seglen), e.seglen[l]);
        EXPECT_EQ(samples(s, l, s->i_radius), e.radius[l]);
        EXPECT_EQ(s->laps[l].lap_length, e.lap_length[l]);
        EXPECT_EQ(lx_lap_length(handle, l), e.lap_length[l]);
    }
    EXPECT_EQ(s->laps[1].lap_length, 0.0f);
    // Every step starts again from the logger's channels.
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, 1, 1, 0, 1), 1);
    EXPECT_EQ(samples(s, 2, s->i_speed), e.speed[2]);
    EXPECT_EQ(samples(s, 2, s->i_longg), e.longg[2]);
}

TEST_F(SessionMath, ConstantSpeedGivesWholeMetres) {
    lx::Session* s = logged({V(30, 36.0f), V(25, 36.0f)}, {V(30, 0.0f), V(25, 0.0f)}, 10);
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, 1, 0, LONGG, 0), 1);
    for (int l : {0, 1}) {
        for (int j = 0; j < s->laps[l].npoints; ++j) {
            EXPECT_EQ(s->laps[l].raw[s->i_speed][j], 10.0f);
            EXPECT_EQ(s->laps[l].raw[s->i_distance][j], static_cast<float>(j));
            EXPECT_EQ(s->laps[l].raw[s->i_seglen][j], 1.0f);
            EXPECT_EQ(s->laps[l].raw[s->i_radius][j], 0.001f);
        }
        EXPECT_EQ(s->laps[l].lap_length, static_cast<float>(s->laps[l].npoints));
    }
    EXPECT_EQ(s->speed_source, SPEED);
    EXPECT_EQ(s->latg_source, LATG);
    EXPECT_EQ(s->longg_source, LONGG);
}

TEST_F(SessionMath, SegmentLengthsCarryAcrossLaps) {
    // mph: 0.44704 exactly enough that the arithmetic below is the whole story.
    lx::Session* s = logged({{10, 20}, {}, {40, 40}}, {{0, 0}, {}, {0, 0}}, 2);
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, 0, 0, LONGG, 0), 1);
    auto ms = [](float mph) { return static_cast<float>(mph * double(0.44704f)); };
    auto seg = [](float a, float b) { return static_cast<float>((double(a) + b) * 0.5 * 0.5); };
    EXPECT_EQ(samples(s, 0, s->i_seglen), (V{seg(ms(10), ms(10)), seg(ms(10), ms(20))}));
    EXPECT_EQ(samples(s, 2, s->i_seglen), (V{seg(ms(20), ms(40)), seg(ms(40), ms(40))}));
    EXPECT_EQ(samples(s, 2, s->i_distance), (V{0.0f, ms(40) * 0.5f}));
    EXPECT_EQ(s->laps[2].lap_length, seg(ms(20), ms(40)) + seg(ms(40), ms(40)));
}

TEST_F(SessionMath, CurvatureSignDeadBandAndClamps) {
    // 72 km/h is 20 m/s; 0.36 km/h at 9 g is a radius under 0.1 m.
    V kmh{72, 72, 0, 72, 72, 72, 0.36f};
    V latg{1, -1, 0.5f, 0, 1e-7f, 3e-7f, 9};
    lx::Session* s = logged({kmh}, {latg}, 10);
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, 1, 0, LONGG, 0), 1);
    V c = samples(s, 0, s->i_radius);
    EXPECT_NEAR(c[0], 24.52025f, 1e-4);
    EXPECT_EQ(c[1], -c[0]);
    EXPECT_EQ(c[2], 10000.0f); // standstill counts as a zero radius
    EXPECT_EQ(c[3], 0.001f);   // straight
    EXPECT_EQ(c[4], 0.001f);   // inside the dead band
    EXPECT_EQ(c[5], 0.001f);   // outside it, but beyond the radius limit
    EXPECT_EQ(c[6], 10000.0f);

    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, 1, 1, LONGG, 0), 1);
    EXPECT_EQ(samples(s, 0, s->i_radius)[0], -c[0]);
    EXPECT_EQ(samples(s, 0, s->i_latg)[0], -1.0f);
}

TEST(CornerRadius, DeadBandComparesTheUnroundedProduct) {
    // A lateral g whose product with g lies just above the dead band in double
    // but rounds to a float below it: the sample is a corner, not a straight.
    float g = static_cast<float>(1e-6 / 9.8081);
    while (!(g * 9.8081 >= 1e-6 && static_cast<float>(g * 9.8081) < 1e-6))
        g = std::nextafter(g, 1.0f);
    lx::Session* s = make_session({1}, 10, 3);
    s->laps[0].raw[3][0] = 0.001f;
    s->laps[0].raw[4][0] = g;
    lx::corner_radius(s, 3, 4, 5);
    float accel = static_cast<float>(g * 9.8081);
    float r = static_cast<float>(double(0.001f) * 0.001f / accel);
    EXPECT_EQ(s->laps[0].raw[5][0], static_cast<float>(1000.0 / r));
    EXPECT_GT(s->laps[0].raw[5][0], 900.0f);
    lx::free_session(s);
}

TEST_F(SessionMath, DerivedLongitudinalGAtTwentyHertz) {
    // Speed steps up by 3.6 km/h (1 m/s) per sample: 20 m/s^2 once smoothing settles.
    V kmh(40);
    for (int j = 0; j < 40; ++j) kmh[j] = 3.6f * j;
    lx::Session* s = logged({kmh}, {V(40, 0.0f)}, 20);
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, 1, 0, 0, 1), 1);
    V longg = samples(s, 0, s->i_longg);
    EXPECT_EQ(longg[0], 0.0f);
    EXPECT_GT(longg[1], 0.0f); // invert_long has no effect here
    for (int j = 25; j < 40; ++j) EXPECT_NEAR(longg[j], 20.0 / 9.8081, 1e-4) << j;
    // The speed itself is smoothed: its first samples trail the logger's.
    float second = static_cast<float>(3.6f * double(0.2777778f));
    EXPECT_EQ(samples(s, 0, s->i_speed)[1], static_cast<float>(second / 11.0));
}

TEST_F(SessionMath, RefusalsChangeOnlyWhatTheyReach) {
    lx::Session* s = logged({{36, 36}}, {{0.5f, 0.5f}}, 10);
    set_samples(s, 0, s->i_speed, {7, 7});
    for (int bad : {-1, 11 + 1, 1 << 30, -2147483647 - 1}) {
        EXPECT_EQ(lx_compute_session_math(handle, bad, LATG, 1, 0, 0, 0), 0);
        EXPECT_EQ(lx_compute_session_math(handle, SPEED, bad, 1, 0, 0, 0), 0);
        EXPECT_EQ(lx_compute_session_math(handle, SPEED, LATG, 1, 0, bad, 0), 0);
    }
    for (int h : {0, 11, -3, handle + 1})
        EXPECT_EQ(lx_compute_session_math(h, SPEED, LATG, 1, 0, 0, 0), 0);
    EXPECT_EQ(s->speed_source, 0);
    EXPECT_EQ(samples(s, 0, s->i_latg), (V{0, 0}));

    for (int units : {2, -1}) {
        EXPECT_EQ(lx_compute_session_math(handle, SPEED, LATG, units, 0, LONGG, 0), 0);
        EXPECT_EQ(samples(s, 0, s->i_latg), (V{0.5f, 0.5f}));
        EXPECT_EQ(samples(s, 0, s->i_speed), (V{7, 7}));
        EXPECT_EQ(s->speed_source, SPEED);
    }
}

TEST_F(SessionMath, NeedsSetupAndCopesWithEmptySessions) {
    lx::Session* bare = make_session({3}, 10, 3);
    int h = install(bare);
    StdoutCapture out;
    EXPECT_EQ(lx_compute_session_math(h, SPEED, LATG, 1, 0, LONGG, 0), 0);
    EXPECT_EQ(bare->latg_source, LATG);
    EXPECT_EQ(out.text(), "");

    lx::Session* empty = make_session({}, 10, 3);
    int he = install(empty);
    ASSERT_EQ(lx_session_setup(he), 1);
    EXPECT_EQ(lx_compute_session_math(he, SPEED, LATG, 1, 0, 0, 0), 1);
    EXPECT_EQ(empty->speed_source, SPEED);
}

TEST_F(SessionMath, ZeroAndLowSampleRates) {
    lx::Session* s = logged({{36, 72, 36}, {72}}, {{0, 0, 0}, {0}}, 0);
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, 1, 0, 0, 0), 1);
    for (int l : {0, 1}) {
        for (int c : {s->i_distance, s->i_seglen, s->i_longg})
            for (float x : samples(s, l, c)) EXPECT_EQ(x, 0.0f);
        EXPECT_EQ(s->laps[l].lap_length, 0.0f);
    }
    // Under 2 samples per second the window is 0: smoothing copies.
    s->sample_rate = 1.5f;
    ASSERT_EQ(lx_compute_session_math(handle, SPEED, LATG, 1, 0, 0, 0), 1);
    EXPECT_EQ(samples(s, 0, s->i_speed), (V{10, 20, 10}));
    EXPECT_EQ(samples(s, 0, s->i_longg)[1], static_cast<float>(15.0 * double(0.10195655f)));
}

TEST_F(SessionMath, VerboseTrace) {
    TraceSwitches trace(1, 1);
    lx::Session* s;
    {
        StdoutCapture setup;
        s = logged({{36, 36}}, {{0, 0}}, 10);
    }
    StdoutCapture out;
    lx_compute_session_math(handle, SPEED, LATG, 1, 0, LONGG, 1);
    lx_compute_session_math(handle, SPEED, LATG, 0, 1, 0, 0);
    unsigned a = lx::trace_address(s);
    char expected[800];
    std::snprintf(expected, sizeof expected,
                  "lx_compute_session_math(1,3,4,1,0)\n"
                  "Calculating speeds in ms-1\n"
                  "Calculating distance in m\n"
                  "Calculating segment lengths m\n"
                  "Calculating corner radius in m\n"
                  "lx_compute_session_math(1,3,4,0,1)\n"
                  "Calculating speeds in ms-1\n"
                  "filter_session(0x%x,10,10,0,5.0,0.0)\n"
                  "differentiate_dt_session(0x%x,10,7)\n"
                  "filter_session(0x%x,7,7,0,5.0,0.0)\n"
                  "Calculating distance in m\n"
                  "Calculating segment lengths m\n"
                  "Calculating corner radius in m\n",
                  a, a, a);
    EXPECT_EQ(out.text(), expected);
}

} // namespace
