// The track map: a lap dead-reckoned from speed and lateral g, closed into a
// loop and scaled into window pixels.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <optional>
#include <vector>

#include "base/output.h"
#include "base/units.h"
#include "display/display.h"

namespace lx {

namespace {

constexpr float FULL_TURN = 6.2831855f;

struct MapLap {
    const float* latg;
    const float* speed;
    const float* seglen;
    float* x;
    float* y;
    int n;
    float k;
    float rate;
    float start_heading;
};

struct Corrections {
    float h;
    float x;
    float y;
};

struct PassSums {
    float turn;
    float x;
    float y;
};

// A step without an arcsine (standing still, or more lateral g than the speed
// allows) turns by nothing or by a quarter turn at most, so that one bad sample
// does not turn the rest of the lap into NaN.
float step_turn(float latg, float k, float speed, float rate) {
    double along = static_cast<double>(speed) * rate;
    if (along == 0.0) return 0.0f;
    double ratio = static_cast<double>(latg) * k / along;
    if (std::isnan(ratio)) return 0.0f;
    return static_cast<float>(std::asin(std::clamp(ratio, -1.0, 1.0)));
}

PassSums run_pass(const MapLap& m, Corrections c) {
    PassSums sums{0.0f, 0.0f, 0.0f};
    float h = m.start_heading;
    float x = 0.0f;
    float y = 0.0f;
    for (int i = 0; i < m.n; ++i) {
        float dh = step_turn(m.latg[i], m.k, m.speed[i], m.rate);
        sums.turn += dh;
        h = static_cast<float>(static_cast<double>(h) + dh + c.h);
        float dx = static_cast<float>(std::cos(static_cast<double>(h)) * m.seglen[i]);
        float dy = static_cast<float>(std::sin(static_cast<double>(h)) * m.seglen[i]);
        sums.x += dx;
        sums.y += dy;
        x = static_cast<float>(static_cast<double>(x) + dx + c.x);
        y = static_cast<float>(static_cast<double>(y) + dy + c.y);
        m.x[i] = x;
        m.y[i] = y;
    }
    return sums;
}

struct Extent {
    float min;
    float max;
};

// Starts at 0 so that the lap's start, the origin, is always inside.
Extent extent(const float* values, int n) {
    Extent e{0.0f, 0.0f};
    for (int i = 0; i < n; ++i) {
        if (values[i] < e.min) e.min = values[i];
        if (values[i] > e.max) e.max = values[i];
    }
    return e;
}

// Pixels per metre that fit one axis; none when the map has no extent along it.
std::optional<float> axis_scale(long long room, float range) {
    if (!(range > 0.0f)) return std::nullopt;
    double scale = static_cast<double>(room) / range;
    if (!(std::fabs(scale) <= std::numeric_limits<float>::max())) return std::nullopt;
    return static_cast<float>(scale);
}

// The axis that needs the smaller scale sets it for both. A map without any
// extent gets scale 0, which puts every point in the window's centre.
float fit_scale(std::optional<float> s_x, std::optional<float> s_y) {
    if (s_x && s_y) return *s_x < *s_y ? *s_x : *s_y;
    if (s_x) return *s_x;
    if (s_y) return *s_y;
    return 0.0f;
}

int centring_offset(int win, float range, float scale) {
    return pixel((win - static_cast<double>(range) * scale) / 2);
}

} // namespace

int pixel(double v) {
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    if (std::isnan(v)) return 0;
    double whole = std::trunc(v);
    if (whole <= lowest) return std::numeric_limits<int>::min();
    if (whole >= highest) return std::numeric_limits<int>::max();
    return static_cast<int>(whole);
}

void calculate_map_xy(Session* s, int lap, int latg, int speed, int seglen, int map_x, int map_y,
                      float latg_scale, float start_heading, TraceOptions) {
    Lap& l = s->laps[lap];
    if (l.npoints <= 0) return;
    MapLap m{l.raw[latg],
             l.raw[speed],
             l.raw[seglen],
             l.raw[map_x],
             l.raw[map_y],
             l.npoints,
             static_cast<float>(-(latg_scale * G)),
             s->sample_rate,
             start_heading};
    double n = m.n;

    // Force the total turn to one full turn the way the lap mostly turned.
    PassSums first = run_pass(m, {0.0f, 0.0f, 0.0f});
    float total = first.turn < 0.0f ? -FULL_TURN : FULL_TURN;
    Corrections c{static_cast<float>((static_cast<double>(total) - first.turn) / n), 0.0f, 0.0f};

    // Then spread the gap between the end and the start over the samples.
    PassSums second = run_pass(m, c);
    c.x = static_cast<float>(-static_cast<double>(second.x) / n);
    c.y = static_cast<float>(-static_cast<double>(second.y) / n);
    run_pass(m, c);
}

Reckoning reckon_lap(const Session* s, int lap, int latg, int speed, int seglen, float latg_scale) {
    const Lap& l = s->laps[lap];
    if (l.npoints <= 0) return {0.0f, 0.0f, 0.0f};
    std::vector<float> x(static_cast<std::size_t>(l.npoints));
    std::vector<float> y(x.size());
    MapLap m{l.raw[latg],
             l.raw[speed],
             l.raw[seglen],
             x.data(),
             y.data(),
             l.npoints,
             static_cast<float>(-(latg_scale * G)),
             s->sample_rate,
             0.0f};
    PassSums sums = run_pass(m, {0.0f, 0.0f, 0.0f});
    return {sums.turn, x.back(), y.back()};
}

void scaled_map(const Session* s, int* x, int* y, int lap, int map_x, int map_y, int winx, int winy,
                int border, int points, TraceOptions options) {
    if (options.verbose) emit(options.sink, "scaled_map() - points = %d\n", points);
    const Lap& l = s->laps[lap];
    int n = std::max(l.npoints, 0);
    const float* xs = l.raw[map_x];
    const float* ys = l.raw[map_y];

    Extent ex = extent(xs, n);
    Extent ey = extent(ys, n);
    float range_x = ex.max - ex.min;
    float range_y = ey.max - ey.min;
    // 64-bit, so that huge windows and borders cannot overflow.
    long long room_x = static_cast<long long>(winx) - 2LL * border;
    long long room_y = static_cast<long long>(winy) - 2LL * border;
    float scale = fit_scale(axis_scale(room_x, range_x), axis_scale(room_y, range_y));
    int o_x = centring_offset(winx, range_x, scale);
    int o_y = centring_offset(winy, range_y, scale);

    for (int p = 0; p < points; ++p) {
        float from_left = 0.0f;
        float from_bottom = 0.0f;
        if (n > 0) {
            // n × p overflows 32 bits for long laps and many points.
            long long i = static_cast<long long>(n) * p / points;
            from_left = xs[i] - ex.min;
            from_bottom = ys[i] - ey.min;
        }
        x[p] = pixel(std::trunc(static_cast<double>(from_left) * scale) + o_x);
        y[p] = pixel(std::trunc(static_cast<double>(from_bottom) * scale) + o_y);
    }
}

int add_map_channels(Session* s, const Sink& out) {
    s->i_map_x = add_channel(s, "map x", "m", out);
    if (s->i_map_x == 0) return 0;
    s->i_map_y = add_channel(s, "map y", "m", out);
    return s->i_map_y != 0;
}

int draw_scaled_map(Session* s, const MapRequest& r, TraceOptions options) {
    for (int channel : {s->i_speed, s->i_seglen, s->i_latg, s->i_map_x, s->i_map_y})
        if (channel == 0 || !valid_channel(s, channel)) return 0;
    if (r.x == nullptr || r.y == nullptr) return 0;
    if (!valid_lap(s, r.lap)) return 0;
    calculate_map_xy(s, r.lap, s->i_latg, s->i_speed, s->i_seglen, s->i_map_x, s->i_map_y,
                     r.latg_scale, r.start_heading, options);
    scaled_map(s, r.x, r.y, r.lap, s->i_map_x, s->i_map_y, r.winx, r.winy, r.border, r.points,
               options);
    return 1;
}

} // namespace lx
