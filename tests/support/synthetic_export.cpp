#include "synthetic_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace lxtest {

namespace {

constexpr double G = 9.8081;

// Curvature (1/m, left positive) at a fraction u of the lap: every lap drives
// the same bends at the same samples, so each logger lap starts a track lap.
double curvature(double u) {
    if (u >= 0.10 && u < 0.30) return 1.0 / 40.0;
    if (u >= 0.45 && u < 0.55) return -1.0 / 25.0;
    if (u >= 0.70 && u < 0.90) return 1.0 / 60.0;
    return 0.0;
}

std::string title_row() {
    return "Idx\tTime [s]\tDistance [m]\tSpeed [km/h]\tLatG [g]\tLongG [g]\t\n";
}

} // namespace

std::string synthetic_export(const ExportShape& shape) {
    std::string text = title_row();
    const double dt = 1.0 / shape.sample_rate;
    double distance = 0.0;
    double previous_speed = 0.0;
    int index = 0;
    for (int lap = 0; lap < shape.laps; ++lap) {
        bool standing = false;
        for (int s : shape.standing_starts) standing = standing || s == lap;
        for (int j = 0; j < shape.points_per_lap; ++j, ++index) {
            double k = curvature(static_cast<double>(j) / shape.points_per_lap);
            double speed = shape.speed_kmh / 3.6 * (1.0 - 8.0 * std::fabs(k)) * (1.0 + 0.01 * lap);
            if (standing) speed *= std::min(1.0, j / 8.0);
            double latg = speed * speed * k / G;
            double longg = index == 0 ? 0.0 : (speed - previous_speed) / dt / G;
            char row[256];
            if (j == 0)
                std::snprintf(row, sizeof row, "Lap: %d/%d\t", lap, lap + 1);
            else
                std::snprintf(row, sizeof row, "\t");
            text += row;
            std::snprintf(row, sizeof row, "%d\t%.3f\t%.2f\t%.2f\t%.4f\t%.4f\n", index, index * dt,
                          distance, speed * 3.6, latg, longg);
            text += row;
            distance += speed * dt;
            previous_speed = speed;
        }
    }
    text += "Lap:\n1 Trailer 2.5\n";
    return text;
}

} // namespace lxtest
