// A lap laid along its distance, and which laps are full ones.
#include <algorithm>
#include <cmath>
#include <string>

#include "analytics/analytics.h"
#include "lx_data.h"

namespace lx::analytics {

namespace {

Failure fail(int status, std::string message) {
    return {status, std::move(message)};
}

bool math_done(const Session* s) {
    for (int c : {s->i_speed, s->i_seglen, s->i_radius})
        if (c == 0 || !valid_channel(s, c)) return false;
    return s->sample_rate > 0.0f;
}

// The last sample at or before distance, and how far on towards the next.
struct Place {
    int sample;
    double fraction;
};

Place place_of(const std::vector<double>& position, double distance) {
    int last = static_cast<int>(position.size()) - 2; // the last sample
    auto after = std::upper_bound(position.begin(), position.end() - 1, distance);
    int j = std::clamp(static_cast<int>(after - position.begin()) - 1, 0, last);
    double span = position[j + 1] - position[j];
    double f = span > 0.0 ? (distance - position[j]) / span : 0.0;
    return {j, std::clamp(f, 0.0, 1.0)};
}

} // namespace

int LapTrace::sample_at(double distance) const {
    return place_of(position, distance).sample;
}

double LapTrace::time_at(double distance) const {
    if (!(distance > 0.0)) return 0.0;
    if (distance >= length()) return duration();
    Place p = place_of(position, distance);
    return (p.sample + p.fraction) / rate * time_scale;
}

void LapTrace::keep_time(double lap_time) {
    double counted = samples / rate;
    time_scale =
        std::isfinite(lap_time) && lap_time > 0.0 && counted > 0.0 ? lap_time / counted : 1.0;
}

double LapTrace::speed_at(double distance) const {
    Place p = place_of(position, std::clamp(distance, 0.0, length()));
    int next = std::min(p.sample + 1, samples - 1);
    return speed[p.sample] + (static_cast<double>(speed[next]) - speed[p.sample]) * p.fraction;
}

double LapTrace::min_speed(double from, double to) const {
    double lowest = std::min(speed_at(from), speed_at(to));
    Place a = place_of(position, std::clamp(from, 0.0, length()));
    Place b = place_of(position, std::clamp(to, 0.0, length()));
    for (int j = a.sample + 1; j <= b.sample; ++j) lowest = std::min<double>(lowest, speed[j]);
    return lowest;
}

int cell_count(double length, double step, int fewest, int most) {
    double cells = length / step;
    if (!(cells < most)) return most;
    return std::max(fewest, static_cast<int>(std::lround(cells)));
}

Failure trace_lap(const Session* s, int lap, LapTrace& trace) {
    if (!valid_lap(s, lap))
        return fail(LX_ERR_LAP, "no lap " + std::to_string(lap) + " in a session of " +
                                    std::to_string(s ? s->nlaps : 0) + " laps");
    if (!math_done(s)) return fail(LX_ERR_STATE, "the session math has not run");
    const Lap& l = s->laps[lap];
    if (l.npoints < 2)
        return fail(LX_ERR_LAP, "lap " + std::to_string(lap) + " has fewer than two samples");
    trace.lap = lap;
    trace.samples = l.npoints;
    trace.rate = s->sample_rate;
    trace.time_scale = 1.0;
    trace.speed = l.raw[s->i_speed];
    trace.curvature = l.raw[s->i_radius];
    trace.position.assign(static_cast<std::size_t>(l.npoints) + 1, 0.0);
    const float* seglen = l.raw[s->i_seglen];
    for (int j = 0; j < l.npoints; ++j) {
        if (!std::isfinite(seglen[j]) || seglen[j] < 0.0f || !std::isfinite(trace.speed[j]))
            return fail(LX_ERR_LAP, "lap " + std::to_string(lap) +
                                        ": speed is not a number at sample " + std::to_string(j));
        trace.position[j + 1] = trace.position[j] + seglen[j];
    }
    if (!(trace.length() > 0.0))
        return fail(LX_ERR_LAP, "lap " + std::to_string(lap) + " does not move");
    return {};
}

} // namespace lx::analytics
