// Logger text exports written from a made-up track, for tests and fuzzing.
#pragma once

#include <string>
#include <vector>

namespace lxtest {

struct ExportShape {
    int laps = 3;
    int points_per_lap = 40;
    float sample_rate = 5.0f;
    float speed_kmh = 90.0f;
    std::vector<int> standing_starts; // lap indices that begin at speed 0
};

// Channels Idx, Time [s], Distance [m], Speed [km/h], LatG [g], LongG [g]:
// every lap drives the same bends, so laps can be matched against each other.
std::string synthetic_export(const ExportShape& shape);

} // namespace lxtest
