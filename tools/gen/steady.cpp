#include "steady.h"

#include <algorithm>
#include <cmath>

namespace lxgen {

namespace {

constexpr double G = 9.8081;

// Curvature (1/m, left positive) at a fraction u of the lap.
double curvature(double u) {
    if (u >= 0.10 && u < 0.30) return 1.0 / 40.0;
    if (u >= 0.45 && u < 0.55) return -1.0 / 25.0;
    if (u >= 0.70 && u < 0.90) return 1.0 / 60.0;
    return 0.0;
}

} // namespace

Recording steady_session(const SteadyPlan& plan) {
    Recording r;
    r.sample_rate = plan.sample_rate;
    r.channels = {{"Time", "s", 3},
                  {"Distance", "m", 2},
                  {"Speed", "km/h", 2},
                  {"LatG", "g", 4},
                  {"LongG", "g", 4}};
    const double dt = 1.0 / plan.sample_rate;
    double distance = 0.0, previous_speed = 0.0;
    int index = 0;
    for (int lap = 0; lap < plan.laps; ++lap) {
        r.lap_starts.push_back(std::size_t(index));
        r.lap_numbers.push_back(lap + 1);
        if (lap > 0) r.beacon_times.push_back(index * dt);
        bool standing = std::count(plan.standing_starts.begin(), plan.standing_starts.end(), lap);
        for (int j = 0; j < plan.points_per_lap; ++j, ++index) {
            double k = curvature(static_cast<double>(j) / plan.points_per_lap);
            double speed = plan.speed_kmh / 3.6 * (1.0 - 8.0 * std::fabs(k)) * (1.0 + 0.01 * lap);
            if (standing) speed *= std::min(1.0, j / 8.0);
            double longg = index == 0 ? 0.0 : (speed - previous_speed) / dt / G;
            r.values.insert(r.values.end(),
                            {index * dt, distance, speed * 3.6, speed * speed * k / G, longg});
            distance += speed * dt;
            previous_speed = speed;
        }
    }
    return r;
}

std::string steady_export(const SteadyPlan& plan) {
    TextLayout layout;
    layout.index_title = "Idx";
    layout.lap_relative = false;
    layout.crlf = false;
    layout.marker = LapMarker::previous_and_lap;
    layout.lap_time_trailer = false;
    layout.after_end = "1 Trailer 2.5\n";
    return write_text(steady_session(plan), layout);
}

} // namespace lxgen
