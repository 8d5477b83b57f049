// Session math: speed, accelerations, distance, segment lengths, lap lengths
// and curvature from the logger's channels.
#include <cstdio>
#include <initializer_list>

#include "base/output.h"
#include "base/units.h"
#include "channels/channels.h"
#include "lx.h"

namespace lx {

namespace {

constexpr double LATERAL_DEAD_BAND = 1e-6; // m/s^2
constexpr float MIN_RADIUS = 0.1f;
constexpr float MAX_RADIUS = 1000000.0f;
constexpr double CURVATURE_NUMERATOR = 1000.0;

double sample_spacing(const Session* s) {
    return s->sample_rate > 0.0f ? 1.0 / s->sample_rate : 0.0;
}

bool both_valid(const Session* s, int a, int b) {
    return valid_channel(s, a) && valid_channel(s, b);
}

// Signed radius in metres, clamped to 0.1 .. 1,000,000 either side.
float clamped_radius(float speed, float latg) {
    double accel = latg * G;
    float r;
    if (-LATERAL_DEAD_BAND < accel && accel < LATERAL_DEAD_BAND) {
        r = MAX_RADIUS;
    } else {
        // The division takes the acceleration as stored in a float.
        float stored_accel = static_cast<float>(accel);
        r = static_cast<float>(static_cast<double>(speed) * speed / stored_accel);
    }
    if (r >= 0.0f && r < 0.1) r = MIN_RADIUS;
    if (r < 0.0f && r > -0.1) r = -MIN_RADIUS;
    if (r >= 0.0f && r > MAX_RADIUS) r = MAX_RADIUS;
    if (r < 0.0f && r < -MAX_RADIUS) r = -MAX_RADIUS;
    return r;
}

} // namespace

void scale_channel(Session* s, int source, int dest, float scale, float offset) {
    if (!both_valid(s, source, dest)) return;
    for (int l = 0; l < s->nlaps; ++l) {
        const Lap& lap = s->laps[l];
        for (int j = 0; j < lap.npoints; ++j)
            lap.raw[dest][j] =
                static_cast<float>(static_cast<double>(lap.raw[source][j]) * scale + offset);
    }
}

void integrate_distance(Session* s, int speed, int out) {
    if (!both_valid(s, speed, out)) return;
    double dt = sample_spacing(s);
    for (int l = 0; l < s->nlaps; ++l) {
        const Lap& lap = s->laps[l];
        if (lap.npoints <= 0) continue;
        const float* v = lap.raw[speed];
        double distance = 0.0;
        lap.raw[out][0] = 0.0f;
        for (int j = 1; j < lap.npoints; ++j) {
            distance = (static_cast<double>(v[j - 1]) + v[j]) * 0.5 * dt + distance;
            lap.raw[out][j] = static_cast<float>(distance);
        }
    }
}

void segment_lengths(Session* s, int speed, int out) {
    if (!both_valid(s, speed, out)) return;
    double dt = sample_spacing(s);
    bool started = false;
    float previous = 0.0f; // carried across lap boundaries
    for (int l = 0; l < s->nlaps; ++l) {
        const Lap& lap = s->laps[l];
        const float* v = lap.raw[speed];
        for (int j = 0; j < lap.npoints; ++j) {
            float vj = v[j];
            if (!started) {
                previous = vj;
                started = true;
            }
            lap.raw[out][j] = static_cast<float>((static_cast<double>(previous) + vj) * 0.5 * dt);
            previous = vj;
        }
    }
}

float lap_channel_sum(const Session* s, int lap, int channel) {
    if (!valid_lap(s, lap) || !valid_channel(s, channel)) return 0.0f;
    const Lap& l = s->laps[lap];
    float sum = 0.0f;
    for (int j = 0; j < l.npoints; ++j)
        sum = static_cast<float>(static_cast<double>(sum) + l.raw[channel][j]);
    return sum;
}

void set_lap_lengths(Session* s, int seglen) {
    if (!valid_channel(s, seglen)) return;
    for (int l = 0; l < s->nlaps; ++l) s->laps[l].lap_length = lap_channel_sum(s, l, seglen);
}

void corner_radius(Session* s, int speed, int latg, int out) {
    if (!both_valid(s, speed, latg) || !valid_channel(s, out)) return;
    for (int l = 0; l < s->nlaps; ++l) {
        const Lap& lap = s->laps[l];
        for (int j = 0; j < lap.npoints; ++j) {
            float r = clamped_radius(lap.raw[speed][j], lap.raw[latg][j]);
            lap.raw[out][j] = static_cast<float>(CURVATURE_NUMERATOR / r);
        }
    }
}

namespace {

bool derived_channels_present(const Session* s) {
    for (int c : {s->i_latg, s->i_longg, s->i_distance, s->i_speed, s->i_seglen, s->i_radius})
        if (c == 0 || !valid_channel(s, c)) return false;
    return true;
}

float sign_factor(int invert) {
    return invert ? -1.0f : 1.0f;
}

// Smoothed speed, its derivative in g, smoothed again over the same window.
void derive_longitudinal_g(Session* s, TraceOptions options) {
    float window = static_cast<float>(s->sample_rate / 2.0);
    filter_session(s, s->i_speed, s->i_speed, 0, window, 0.0f, options);
    differentiate_dt_session(s, s->i_speed, s->i_longg, options);
    scale_channel(s, s->i_longg, s->i_longg, MS2_TO_G, 0.0f);
    filter_session(s, s->i_longg, s->i_longg, 0, window, 0.0f, options);
}

} // namespace

int compute_session_math(Session* s, const MathInputs& in, TraceOptions options) {
    if (!valid_channel(s, in.speed) || !valid_channel(s, in.latg) || !valid_channel(s, in.longg))
        return 0;
    s->math_runs += 1;
    s->speed_source = in.speed;
    s->latg_source = in.latg;
    s->longg_source = in.longg;
    if (!derived_channels_present(s)) return 0;

    scale_channel(s, s->latg_source, s->i_latg, sign_factor(in.invert_lat), 0.0f);

    if (options.verbose) emit(options.sink, "Calculating speeds in ms-1\n");
    if (in.speed_units != LX_SPEED_MPH && in.speed_units != LX_SPEED_KMH) return 0;
    float unit_factor = in.speed_units == LX_SPEED_MPH ? MPH_TO_MS : KMH_TO_MS;
    scale_channel(s, s->speed_source, s->i_speed, unit_factor, 0.0f);

    if (in.longg > 0)
        scale_channel(s, s->longg_source, s->i_longg, sign_factor(in.invert_long), 0.0f);
    else
        derive_longitudinal_g(s, options);

    if (options.verbose) emit(options.sink, "Calculating distance in m\n");
    integrate_distance(s, s->i_speed, s->i_distance);

    if (options.verbose) emit(options.sink, "Calculating segment lengths m\n");
    segment_lengths(s, s->i_speed, s->i_seglen);
    set_lap_lengths(s, s->i_seglen);

    if (options.verbose) emit(options.sink, "Calculating corner radius in m\n");
    corner_radius(s, s->i_speed, s->i_latg, s->i_radius);
    return 1;
}

} // namespace lx
