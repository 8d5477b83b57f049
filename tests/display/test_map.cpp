#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <vector>

#include "display/display.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

constexpr double G = 9.8081;
constexpr double PI = std::numbers::pi;

class Map : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override { close_all_sessions(); }
};

// A session whose laps carry the three inputs of the map and the map channels.
lx::Session* map_session(const std::vector<int>& lap_points, float rate) {
    lx::Session* s = make_session(lap_points, rate);
    s->i_latg = lx::add_channel(s, "i_latg", "g");
    s->i_speed = lx::add_channel(s, "i_speed", "ms");
    s->i_seglen = lx::add_channel(s, "i_seglen", "m");
    s->i_map_x = lx::add_channel(s, "map x", "m");
    s->i_map_y = lx::add_channel(s, "map y", "m");
    return s;
}

// Drives lap 0 at constant speed with the turn of each step given in radians
// (for latg_scale 1), so the expected path can be worked out independently.
void drive(lx::Session* s, float speed, const std::vector<double>& turns) {
    lx::Lap& l = s->laps[0];
    double along = static_cast<double>(speed) * s->sample_rate;
    for (int i = 0; i < l.npoints; ++i) {
        l.raw[s->i_speed][i] = speed;
        l.raw[s->i_seglen][i] = speed / s->sample_rate;
        l.raw[s->i_latg][i] = static_cast<float>(std::sin(turns[i]) * along / -G);
    }
}

struct Path {
    std::vector<double> x, y;
};

Path map_of(const lx::Session* s, int lap = 0) {
    const lx::Lap& l = s->laps[lap];
    Path p;
    p.x.assign(l.raw[s->i_map_x], l.raw[s->i_map_x] + l.npoints);
    p.y.assign(l.raw[s->i_map_y], l.raw[s->i_map_y] + l.npoints);
    return p;
}

// Sum of the heading changes between successive steps of a closed path that
// starts at the origin, the change from the last step to the first included.
double winding(const Path& p) {
    double total = 0.0, first = 0.0, last = 0.0;
    double px = 0.0, py = 0.0;
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        double heading = std::atan2(p.y[i] - py, p.x[i] - px);
        if (i == 0)
            first = heading;
        else
            total += std::remainder(heading - last, 2 * PI);
        last = heading;
        px = p.x[i];
        py = p.y[i];
    }
    return total + std::remainder(first - last, 2 * PI);
}

void run_map(int h, std::vector<int>& x, std::vector<int>& y, int winx, int winy, int border,
             float latg_scale = 1.0f, float heading = 0.0f) {
    ASSERT_EQ(lx_scaled_map(h, x.data(), y.data(), static_cast<int>(x.size()), 0, winx, winy,
                            border, latg_scale, heading),
              1);
}

TEST_F(Map, SetupAddsAPairOfChannelsOnEveryCall) {
    lx::Session* s = make_session({4, 2}, 10);
    int h = install(s);
    {
        TraceSwitches trace(1, 1);
        StdoutCapture out;
        EXPECT_EQ(lx_map_setup(h), 1);
        EXPECT_EQ(out.text(), "lx_map_setup(" + std::to_string(h) + ")\n");
    }
    EXPECT_EQ(s->i_map_x, 3);
    EXPECT_EQ(s->i_map_y, 4);
    EXPECT_STREQ(s->channels[3].name, "map x");
    EXPECT_STREQ(s->channels[4].name, "map y");
    EXPECT_STREQ(s->channels[4].unit, "m");
    EXPECT_EQ(lx_map_setup(h), 1);
    EXPECT_EQ(lx_channel_number(h, 6), 5);
    EXPECT_EQ(lx_channel_number(h, 7), 6);
    EXPECT_EQ(lx_map_setup(0), 0);
    EXPECT_EQ(lx_map_setup(11), 0);
}

TEST_F(Map, SetupStopsAtTheChannelLimit) {
    lx::Session* s = make_session({3}, 10);
    while (s->nchannels < lx::MAX_CHANNELS - 1) lx::add_channel(s, "x", "");
    int h = install(s);
    StdoutCapture out;
    EXPECT_EQ(lx_map_setup(h), 0); // room for "map x" only
    EXPECT_EQ(s->i_map_x, lx::MAX_CHANNELS - 1);
    EXPECT_EQ(s->i_map_y, 0);
    EXPECT_EQ(lx_map_setup(h), 0); // no room at all: "map y" is not tried
    EXPECT_EQ(s->i_map_x, 0);
    EXPECT_EQ(out.text(), "Reached limit for number of channels in session memory.txt\n"
                          "Reached limit for number of channels in session memory.txt\n");
}

TEST_F(Map, ConstantCornerClosesIntoACircleFillingTheWindow) {
    constexpr int n = 200;
    lx::Session* s = map_session({n}, 10);
    // Slightly less than a full turn: the corrections must make up the rest.
    drive(s, 20.0f, std::vector<double>(n, -0.97 * 2 * PI / n));
    int h = install(s);
    std::vector<int> x(n), y(n);
    run_map(h, x, y, 400, 400, 10);

    Path p = map_of(s);
    EXPECT_NEAR(p.x.back(), 0.0, 1e-3);
    EXPECT_NEAR(p.y.back(), 0.0, 1e-3);
    EXPECT_NEAR(winding(p), -2 * PI, 1e-4); // positive lateral g turns right
    double cx = 0.0, cy = 0.0;
    for (int i = 0; i < n; ++i) cx += p.x[i] / n, cy += p.y[i] / n;
    double radius = 2.0 / (2 * std::sin(PI / n)); // 2 m chords, n of them
    for (int i = 0; i < n; ++i) EXPECT_NEAR(std::hypot(p.x[i] - cx, p.y[i] - cy), radius, 1e-2);

    for (const std::vector<int>* axis : {&x, &y}) {
        EXPECT_EQ(*std::min_element(axis->begin(), axis->end()), 10);
        EXPECT_GE(*std::max_element(axis->begin(), axis->end()), 389);
        EXPECT_LE(*std::max_element(axis->begin(), axis->end()), 390);
    }
}

TEST_F(Map, LapWithoutTurnIsForcedIntoOneLeftTurn) {
    constexpr int n = 100;
    lx::Session* s = map_session({n}, 10);
    drive(s, 10.0f, std::vector<double>(n, 0.0));
    int h = install(s);
    std::vector<int> x(n), y(n);
    run_map(h, x, y, 300, 300, 0);
    Path p = map_of(s);
    EXPECT_NEAR(winding(p), 2 * PI, 1e-4);
    EXPECT_NEAR(p.x.back(), 0.0, 1e-3);
    EXPECT_NEAR(p.y.back(), 0.0, 1e-3);
}

// Four copies of a left bend of 135 degrees followed by a right bend of 45:
// one full turn in all, and a path that closes by symmetry.
std::vector<double> bends_left_then_right(int per_quarter) {
    std::vector<double> turns;
    for (int q = 0; q < 4; ++q) {
        for (int i = 0; i < per_quarter * 3 / 4; ++i)
            turns.push_back((3 * PI / 4) / (per_quarter * 3 / 4));
        for (int i = 0; i < per_quarter / 4; ++i) turns.push_back(-(PI / 4) / (per_quarter / 4));
    }
    return turns;
}

TEST_F(Map, LeftAndRightBendsKeepTheirShapeMirroredAndRotated) {
    std::vector<double> turns = bends_left_then_right(80);
    int n = static_cast<int>(turns.size());
    lx::Session* s = map_session({n}, 20);
    drive(s, 30.0f, turns);
    int h = install(s);
    std::vector<int> x(10), y(10);
    for (auto [latg_scale, start] : {std::pair{1.0f, 0.0f}, {-1.0f, 0.0f}, {1.0f, 0.7f}}) {
        SCOPED_TRACE(testing::Message() << "latg_scale " << latg_scale << " start " << start);
        run_map(h, x, y, 500, 500, 5, latg_scale, start);
        Path p = map_of(s);
        double heading = start, ex = 0.0, ey = 0.0, step = 30.0 / 20;
        for (int i = 0; i < n; ++i) {
            heading += latg_scale * turns[i];
            ex += std::cos(heading) * step;
            ey += std::sin(heading) * step;
            ASSERT_NEAR(p.x[i], ex, 2e-3) << "sample " << i;
            ASSERT_NEAR(p.y[i], ey, 2e-3) << "sample " << i;
        }
        EXPECT_NEAR(winding(p), latg_scale * 2 * PI, 1e-4);
    }
}

TEST_F(Map, GapAtTheEndIsSpreadEvenlyOverTheSteps) {
    constexpr int n = 100;
    lx::Session* s = map_session({n}, 10);
    drive(s, 10.0f, std::vector<double>(n, 2 * PI / n));
    // Short steps for the first half, long ones after: the loop no longer closes.
    for (int i = 0; i < n; ++i) s->laps[0].raw[s->i_seglen][i] = i < n / 2 ? 1.0f : 3.0f;
    int h = install(s);
    std::vector<int> x(1), y(1);
    run_map(h, x, y, 100, 100, 0);

    std::vector<double> ex(n), ey(n);
    double heading = 0.0, px = 0.0, py = 0.0;
    for (int i = 0; i < n; ++i) {
        heading += 2 * PI / n;
        double step = i < n / 2 ? 1.0 : 3.0;
        ex[i] = px += std::cos(heading) * step;
        ey[i] = py += std::sin(heading) * step;
    }
    ASSERT_GT(std::hypot(px, py), 10.0);
    Path p = map_of(s);
    for (int i = 0; i < n; ++i) {
        ASSERT_NEAR(p.x[i], ex[i] - px * (i + 1) / n, 1e-3) << "sample " << i;
        ASSERT_NEAR(p.y[i], ey[i] - py * (i + 1) / n, 1e-3) << "sample " << i;
    }
}

TEST_F(Map, SamplesWithoutArcsineTurnByNothingOrAQuarterTurn) {
    constexpr int n = 120;
    auto map_with = [](const std::function<void(lx::Session*)>& change) {
        lx::Session* s = map_session({n}, 10);
        drive(s, 15.0f, std::vector<double>(n, 2 * PI / n));
        change(s);
        int h = install(s);
        std::vector<int> x(n), y(n);
        EXPECT_EQ(lx_scaled_map(h, x.data(), y.data(), n, 0, 200, 200, 0, 1.0f, 0.0f), 1);
        Path p = map_of(s);
        close_all_sessions();
        return p;
    };
    lx::Lap* lap = nullptr;
    auto at = [&](lx::Session* s, int ch) -> float* { return lap = &s->laps[0], lap->raw[ch]; };
    Path stopped = map_with([&](lx::Session* s) { at(s, s->i_speed)[30] = 0.0f; });
    Path straight = map_with([&](lx::Session* s) {
        at(s, s->i_speed)[30] = 0.0f;
        at(s, s->i_latg)[30] = 0.0f;
    });
    // latg x k / (speed x rate) = -1 exactly, and far beyond it.
    Path quarter = map_with([&](lx::Session* s) { at(s, s->i_latg)[50] = 15.0f * 10 / 9.8081f; });
    Path beyond = map_with([&](lx::Session* s) { at(s, s->i_latg)[50] = 1e6f; });
    for (const Path* p : {&stopped, &straight, &quarter, &beyond})
        for (int i = 0; i < n; ++i) ASSERT_TRUE(std::isfinite(p->x[i]) && std::isfinite(p->y[i]));
    EXPECT_EQ(stopped.x, straight.x);
    EXPECT_EQ(stopped.y, straight.y);
    EXPECT_EQ(quarter.x, beyond.x);
    EXPECT_EQ(quarter.y, beyond.y);
}

// Fills lap 0's map channels directly, bypassing the dead reckoning.
void place(lx::Session* s, const std::vector<float>& xs, const std::vector<float>& ys) {
    std::copy(xs.begin(), xs.end(), s->laps[0].raw[s->i_map_x]);
    std::copy(ys.begin(), ys.end(), s->laps[0].raw[s->i_map_y]);
}

std::vector<int> scale_axis(const lx::Session* s, int points, int winx, int winy, int border,
                            std::vector<int>* ys = nullptr) {
    std::vector<int> x(points), y(points);
    lx::scaled_map(s, x.data(), y.data(), 0, s->i_map_x, s->i_map_y, winx, winy, border, points,
                   {0, 1});
    if (ys) *ys = y;
    return x;
}

TEST_F(Map, ScaleKeepsProportionsAndCentresInTheWindow) {
    lx::Session* s = map_session({4}, 10);
    // 200 m wide, 100 m high, around the origin.
    place(s, {-40, 160, 100, 0}, {-25, 75, 20, 0});
    std::vector<int> y;
    std::vector<int> x = scale_axis(s, 4, 400, 200, 10, &y);
    // Height wins: s = 180 / 100 stored as a float (just below 1.8), offsets 20 and 10.
    EXPECT_EQ(x, (std::vector<int>{20, 379, 271, 91}));
    EXPECT_EQ(y, (std::vector<int>{10, 189, 90, 54}));
    lx::free_session(s);
}

TEST_F(Map, PointsRepeatOrSkipSamplesEvenly) {
    lx::Session* s = map_session({5}, 10);
    place(s, {0, 10, 20, 30, 40}, {0, 0, 0, 0, 20});
    // 40 m into 400 - 2 x 50 pixels: 7.5 pixels per metre, offset 50.
    EXPECT_EQ(scale_axis(s, 10, 400, 400, 50),
              (std::vector<int>{50, 50, 125, 125, 200, 200, 275, 275, 350, 350}));
    EXPECT_EQ(scale_axis(s, 2, 400, 400, 50), (std::vector<int>{50, 200}));
    EXPECT_EQ(scale_axis(s, 1, 400, 400, 50), (std::vector<int>{50}));
    lx::free_session(s);
}

TEST_F(Map, LongLapsDoNotOverflowTheSampleIndex) {
    constexpr int n = 100000; // n x p passes 2^31
    lx::Session* s = map_session({n}, 10);
    std::vector<float> xs(n), ys(n, 0.0f);
    for (int i = 0; i < n; ++i) xs[i] = static_cast<float>(i);
    place(s, xs, ys);
    std::vector<int> x = scale_axis(s, n, n - 1, 10, 0);
    for (int p : {0, 1, n / 2, n - 2, n - 1}) EXPECT_EQ(x[p], p) << "point " << p;
    lx::free_session(s);
}

TEST_F(Map, MapsWithoutExtentLandInTheCentre) {
    lx::Session* s = map_session({3, 0}, 10);
    place(s, {0, 0, 0}, {0, 0, 0});
    std::vector<int> y;
    EXPECT_EQ(scale_axis(s, 3, 401, 200, 10, &y), (std::vector<int>{200, 200, 200}));
    EXPECT_EQ(y, (std::vector<int>{100, 100, 100}));
    // A border wider than the window and no extent either way.
    EXPECT_EQ(scale_axis(s, 2, 40, 40, 30, &y), (std::vector<int>{20, 20}));
    // Extent along x only: x alone sets the scale, y stays centred.
    place(s, {0, 10, 20}, {0, 0, 0});
    EXPECT_EQ(scale_axis(s, 3, 220, 100, 10, &y), (std::vector<int>{10, 110, 210}));
    EXPECT_EQ(y, (std::vector<int>{50, 50, 50}));
    // A lap without samples.
    std::vector<int> x(3), ys(3);
    lx::scaled_map(s, x.data(), ys.data(), 1, s->i_map_x, s->i_map_y, 300, 100, 0, 3, {0, 1});
    EXPECT_EQ(x, (std::vector<int>{150, 150, 150}));
    EXPECT_EQ(ys, (std::vector<int>{50, 50, 50}));
    lx::free_session(s);
}

TEST_F(Map, PixelsBeyondIntRangeStickToItsEnds) {
    constexpr int lowest = std::numeric_limits<int>::min();
    constexpr int highest = std::numeric_limits<int>::max();
    lx::Session* s = map_session({2}, 10);
    place(s, {0, 1}, {0, 1});
    // A border of INT_MIN leaves 6442450943 pixels of room: 32-bit arithmetic would wrap.
    std::vector<int> y;
    EXPECT_EQ(scale_axis(s, 2, highest, highest, lowest, &y), (std::vector<int>{lowest, highest}));
    EXPECT_EQ(y, (std::vector<int>{lowest, highest}));
    // So far from the origin that the extent overflows a float.
    place(s, {-3e38f, 3e38f}, {0, 0});
    for (int v : scale_axis(s, 2, 100, 100, 0, &y)) EXPECT_TRUE(v >= 0 && v <= 100) << v;
    lx::free_session(s);
}

TEST_F(Map, RefusalsLeaveArraysAndSessionUntouched) {
    lx::Session* s = map_session({5}, 10);
    drive(s, 10.0f, std::vector<double>(5, 0.5));
    for (int i = 0; i < 5; ++i) s->laps[0].raw[s->i_map_x][i] = 7.0f;
    int h = install(s);
    const float* map_x = s->laps[0].raw[s->i_map_x];
    std::vector<int> x(5), y(5);
    auto refused = [&](int handle, int* xp, int* yp, int points, int lap) {
        poison(x);
        poison(y);
        int result = lx_scaled_map(handle, xp, yp, points, lap, 100, 100, 0, 1.0f, 0.0f);
        bool untouched = std::all_of(x.begin(), x.end(), [](int v) { return v == POISON; }) &&
                         std::all_of(y.begin(), y.end(), [](int v) { return v == POISON; });
        return result == 0 && untouched && map_x[0] == 7.0f;
    };
    TraceSwitches trace(1, 1);
    StdoutCapture out;
    EXPECT_TRUE(refused(h + 1, x.data(), y.data(), 5, 0));
    EXPECT_TRUE(refused(h, nullptr, y.data(), 5, 0));
    EXPECT_TRUE(refused(h, x.data(), nullptr, 5, 0));
    for (int lap : {-1, 1, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()})
        EXPECT_TRUE(refused(h, x.data(), y.data(), 5, lap)) << "lap " << lap;
    for (int* slot : {&s->i_speed, &s->i_seglen, &s->i_latg, &s->i_map_x, &s->i_map_y}) {
        int saved = *slot;
        *slot = 0;
        EXPECT_TRUE(refused(h, x.data(), y.data(), 5, 0));
        *slot = 200; // beyond the session's channels
        EXPECT_TRUE(refused(h, x.data(), y.data(), 5, 0));
        *slot = saved;
    }
    EXPECT_EQ(out.text(), "");

    // No points wanted: the map is still computed, nothing is filled.
    StdoutCapture traced;
    for (int points : {0, -3}) {
        poison(x);
        EXPECT_EQ(lx_scaled_map(h, x.data(), y.data(), points, 0, 100, 100, 0, 1.0f, 0.0f), 1);
        EXPECT_TRUE(std::all_of(x.begin(), x.end(), [](int v) { return v == POISON; }));
    }
    EXPECT_NE(map_x[0], 7.0f);
    EXPECT_EQ(traced.text(), "scaled_map() - points = 0\nscaled_map() - points = -3\n");
}

} // namespace
