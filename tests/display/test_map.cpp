#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <vector>

#include "base/units.h"
#include "display/display.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

constexpr double PI = std::numbers::pi;
constexpr int IMAX = std::numeric_limits<int>::max();
constexpr int IMIN = std::numeric_limits<int>::min();

using Map = FreshSessions;

// Lap 0 driven at 10 m/s and 10 Hz with the turn of each step in radians (for
// latg_scale 1) and the given step lengths.
lx::Session* driven(const std::vector<double>& turns, const std::vector<float>& steps) {
    int n = static_cast<int>(turns.size());
    lx::Session* s = make_session({n}, 10);
    s->i_latg = lx::add_channel(s, "i_latg", "g", lx::STANDARD_OUTPUT);
    s->i_speed = lx::add_channel(s, "i_speed", "ms", lx::STANDARD_OUTPUT);
    s->i_seglen = lx::add_channel(s, "i_seglen", "m", lx::STANDARD_OUTPUT);
    s->i_map_x = lx::add_channel(s, "map x", "m", lx::STANDARD_OUTPUT);
    s->i_map_y = lx::add_channel(s, "map y", "m", lx::STANDARD_OUTPUT);
    for (int i = 0; i < n; ++i) {
        s->laps[0].raw[s->i_speed][i] = 10.0f;
        s->laps[0].raw[s->i_seglen][i] = steps[i];
        s->laps[0].raw[s->i_latg][i] = static_cast<float>(std::sin(turns[i]) * 100 / -lx::G);
    }
    return s;
}

float* channel(lx::Session* s, int c) {
    return s->laps[0].raw[c];
}

// Heading changes between successive steps, the closing one included.
double winding(const float* x, const float* y, int n) {
    double total = 0.0, px = 0.0, py = 0.0;
    std::vector<double> h;
    for (int i = 0; i < n; px = x[i], py = y[i], ++i) h.push_back(std::atan2(y[i] - py, x[i] - px));
    for (int i = 0; i < n; ++i) total += std::remainder(h[(i + 1) % n] - h[i], 2 * PI);
    return total;
}

TEST_F(Map, SetupAddsAPairOfChannelsOnEveryCallUntilTheLimit) {
    lx::Session* s = make_session({4, 2}, 10);
    int h = install(s);
    EXPECT_EQ(lx_map_setup(h) + lx_map_setup(h), 2);
    EXPECT_STREQ(s->channels[5].name, "map x");
    EXPECT_STREQ(s->channels[6].unit, "m");
    EXPECT_EQ(lx_channel_number(h, LX_CHANNEL_MAP_X), 5);
    EXPECT_EQ(lx_channel_number(h, LX_CHANNEL_MAP_Y), 6);
    while (s->nchannels < lx::MAX_CHANNELS - 1) lx::add_channel(s, "x", "", lx::STANDARD_OUTPUT);
    StdoutCapture out;
    EXPECT_EQ(lx_map_setup(h), 0); // room for "map x" only
    EXPECT_EQ(s->i_map_x, 127);
    EXPECT_EQ(s->i_map_y, 0);
    EXPECT_EQ(lx_map_setup(h), 0);
    EXPECT_EQ(lx_map_setup(0), 0);
    std::string full = "Reached limit for number of channels in session memory.txt\n";
    EXPECT_EQ(out.text(), full + full);
}

TEST_F(Map, TurnIsForcedToOneFullTurnAndTheLoopCloses) {
    constexpr int n = 200;
    // Short of a right-hand circle, and a lap without any turn (made a left circle).
    for (double turn : {-0.97 * 2 * PI / n, 0.0}) {
        lx::Session* s = driven(std::vector<double>(n, turn), std::vector<float>(n, 2.0f));
        std::vector<int> x(n), y(n);
        ASSERT_EQ(lx_scaled_map(install(s), x.data(), y.data(), n, 0, 400, 400, 10, 1, 0), 1);
        const float *mx = channel(s, s->i_map_x), *my = channel(s, s->i_map_y);
        EXPECT_NEAR(mx[n - 1], 0.0, 1e-3);
        EXPECT_NEAR(my[n - 1], 0.0, 1e-3);
        EXPECT_NEAR(winding(mx, my, n), turn < 0 ? -2 * PI : 2 * PI, 1e-4);
        double radius = 1.0 / std::sin(PI / n); // n chords of 2 m
        double cx = std::accumulate(mx, mx + n, 0.0) / n, cy = std::accumulate(my, my + n, 0.0) / n;
        for (int i = 0; i < n; ++i) ASSERT_NEAR(std::hypot(mx[i] - cx, my[i] - cy), radius, 1e-2);
        for (const auto& axis : {x, y}) { // the circle fills the bordered window
            EXPECT_NEAR(*std::min_element(axis.begin(), axis.end()), 10, 1);
            EXPECT_NEAR(*std::max_element(axis.begin(), axis.end()), 390, 1);
        }
    }
}

struct Drive {
    std::vector<double> turns;
    std::vector<float> steps;
    float latg_scale, start;
};

// Left bends of 135 degrees, each followed by a right bend of 45, four times.
Drive bends(float latg_scale, float start) {
    Drive d{{}, std::vector<float>(320, 1.5f), latg_scale, start};
    for (int i = 0; i < 320; ++i) d.turns.push_back(i % 80 < 60 ? PI / 80 : -PI / 80);
    return d;
}

TEST_F(Map, PathFollowsTheTurnsWithTheEndGapSpreadEvenly) {
    // A circle with short steps for half the lap and long ones after does not close by itself.
    std::vector<float> uneven(100, 1.0f);
    std::fill(uneven.begin() + 50, uneven.end(), 3.0f);
    for (const Drive& d : {bends(1, 0), bends(-1, 0), bends(1, 0.7f),
                           Drive{std::vector<double>(100, PI / 50), uneven, 1, 0}}) {
        int n = static_cast<int>(d.turns.size());
        lx::Session* s = driven(d.turns, d.steps);
        std::vector<int> x(1), y(1);
        ASSERT_EQ(
            lx_scaled_map(install(s), x.data(), y.data(), 1, 0, 9, 9, 0, d.latg_scale, d.start), 1);
        std::vector<double> ex(n), ey(n);
        double heading = d.start, px = 0, py = 0;
        for (int i = 0; i < n; ++i) {
            heading += d.latg_scale * d.turns[i];
            ex[i] = px += std::cos(heading) * d.steps[i];
            ey[i] = py += std::sin(heading) * d.steps[i];
        }
        for (int i = 0; i < n; ++i) {
            ASSERT_NEAR(channel(s, s->i_map_x)[i], ex[i] - px * (i + 1) / n, 2e-3) << i;
            ASSERT_NEAR(channel(s, s->i_map_y)[i], ey[i] - py * (i + 1) / n, 2e-3) << i;
        }
        close_all_sessions();
    }
}

TEST_F(Map, StepsWithoutArcsineTurnByNothingOrAQuarterTurn) {
    auto path = [](int sample, float latg, float speed) {
        lx::Session* s = driven(std::vector<double>(120, PI / 60), std::vector<float>(120, 1));
        channel(s, s->i_latg)[sample] = latg;
        channel(s, s->i_speed)[sample] = speed;
        int h = install(s), x, y;
        EXPECT_EQ(lx_scaled_map(h, &x, &y, 1, 0, 200, 200, 0, 1, 0), 1);
        std::vector<float> p(channel(s, s->i_map_x), channel(s, s->i_map_x) + 120);
        p.insert(p.end(), channel(s, s->i_map_y), channel(s, s->i_map_y) + 120);
        EXPECT_TRUE(std::all_of(p.begin(), p.end(), [](float v) { return std::isfinite(v); }));
        return p;
    };
    EXPECT_EQ(path(30, 0.3f, 0), path(30, 0, 10));
    // latg x k / (speed x rate) of exactly -1 (k is -G as a float), and far beyond.
    float speed = static_cast<float>(lx::G);
    EXPECT_EQ(path(50, 1e6f, speed), path(50, 10, speed));
}

// Scales lap `lap`'s map channels, placed by hand, into the window.
std::vector<int> scaled(lx::Session* s, const std::vector<float>& mx, const std::vector<float>& my,
                        int points, int winx, int winy, int border, int lap = 0) {
    std::copy(mx.begin(), mx.end(), s->laps[lap].raw[s->i_map_x]);
    std::copy(my.begin(), my.end(), s->laps[lap].raw[s->i_map_y]);
    std::vector<int> x(points), y(points);
    lx::scaled_map(s, x.data(), y.data(), lap, s->i_map_x, s->i_map_y, winx, winy, border, points,
                   {0, 1, lx::STANDARD_OUTPUT});
    x.insert(x.end(), y.begin(), y.end()); // x then y
    return x;
}

TEST_F(Map, ScaleKeepsProportionsPicksSamplesEvenlyAndStaysInRange) {
    constexpr int n = 100000; // n x p passes 2^31
    lx::Session* s = make_session({5, n, 0, 2}, 10);
    s->i_map_x = lx::add_channel(s, "map x", "m", lx::STANDARD_OUTPUT);
    s->i_map_y = lx::add_channel(s, "map y", "m", lx::STANDARD_OUTPUT);
    // 200 m by 100 m in 400 x 200 with border 10: 180 / 100 as a float, just below 1.8.
    EXPECT_EQ(scaled(s, {-40, 160, 100, 0}, {-25, 75, 20, 0}, 4, 400, 200, 10),
              (std::vector<int>{20, 379, 271, 91, 10, 189, 90, 54}));
    std::vector<float> xs{0, 10, 20, 30, 40}, flat(5, 0);
    EXPECT_EQ(scaled(s, xs, flat, 10, 400, 100, 50),
              (std::vector<int>{50, 50, 125, 125, 200, 200, 275, 275, 350, 350, // 7.5 px/m
                                50, 50, 50,  50,  50,  50,  50,  50,  50,  50}));
    EXPECT_EQ(scaled(s, xs, flat, 2, 400, 100, 50), (std::vector<int>{50, 200, 50, 50}));
    // No extent at all, with a border wider than the window too: the window's centre.
    EXPECT_EQ(scaled(s, flat, flat, 2, 401, 200, 10), (std::vector<int>{200, 200, 100, 100}));
    EXPECT_EQ(scaled(s, flat, flat, 1, 40, 40, 30), (std::vector<int>{20, 20}));

    std::vector<float> along(n), across(n, 0.0f);
    for (int i = 0; i < n; ++i) along[i] = static_cast<float>(i);
    std::vector<int> px = scaled(s, along, across, n, n - 1, 10, 0, 1);
    for (int p : {0, 1, n / 2, n - 1}) EXPECT_EQ(px[p], p);
    // A border of INT_MIN leaves 6442450943 pixels of room: 32-bit arithmetic would wrap.
    EXPECT_EQ(scaled(s, {0, 1}, {0, 1}, 2, IMAX, IMAX, IMIN, 3),
              (std::vector<int>{IMIN, IMAX, IMIN, IMAX}));
    EXPECT_EQ(scaled(s, {}, {}, 2, 300, 100, 0, 2), (std::vector<int>{150, 150, 50, 50}));
    lx::free_session(s);
}

TEST_F(Map, RefusalsLeaveArraysAndSessionUntouched) {
    lx::Session* s = driven(std::vector<double>(5, 0.5), std::vector<float>(5, 1));
    int h = install(s);
    float* map_x = channel(s, s->i_map_x);
    std::fill(map_x, map_x + 5, 7.0f);
    std::vector<int> x(5), y(5);
    auto refused = [&](int handle, int* xp, int* yp, int lap) {
        poison(x);
        poison(y);
        return lx_scaled_map(handle, xp, yp, 5, lap, 100, 100, 0, 1, 0) == 0 && map_x[0] == 7 &&
               std::count(x.begin(), x.end(), POISON) + std::count(y.begin(), y.end(), POISON) ==
                   10;
    };
    TraceSwitches trace(1, 1);
    StdoutCapture out;
    EXPECT_TRUE(refused(h + 1, x.data(), y.data(), 0));
    EXPECT_TRUE(refused(h, nullptr, y.data(), 0) && refused(h, x.data(), nullptr, 0));
    for (int lap : {-1, 1, IMAX, IMIN}) EXPECT_TRUE(refused(h, x.data(), y.data(), lap)) << lap;
    for (int* slot : {&s->i_speed, &s->i_seglen, &s->i_latg, &s->i_map_x, &s->i_map_y}) {
        int saved = *slot;
        for (int bad : {0, 200}) {
            *slot = bad;
            EXPECT_TRUE(refused(h, x.data(), y.data(), 0));
        }
        *slot = saved;
    }
    EXPECT_EQ(out.text(), "");
    // No points wanted: the map is still computed, nothing is filled.
    StdoutCapture traced;
    EXPECT_EQ(lx_scaled_map(h, x.data(), y.data(), -3, 0, 100, 100, 0, 1, 0), 1);
    EXPECT_EQ(std::count(x.begin(), x.end(), POISON), 5);
    EXPECT_NE(map_x[0], 7.0f);
    EXPECT_EQ(traced.text(), "scaled_map() - points = -3\n");
}

} // namespace
