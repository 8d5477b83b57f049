// A steady car for tests that need laps of an exact number of samples: every
// lap drives the same three bends at the same samples, one per cent faster
// than the lap before, and may begin standing.
#pragma once

#include <string>
#include <vector>

#include "recording.h"

namespace lxgen {

struct SteadyPlan {
    int laps = 3;
    int points_per_lap = 40;
    float sample_rate = 5.0f;
    float speed_kmh = 90.0f;
    std::vector<int> standing_starts; // lap indices that begin at speed 0
};

// Channels Time, Distance, Speed [km/h], LatG and LongG [g] (LatG positive in
// left-hand bends).
Recording steady_session(const SteadyPlan& plan);

// The session as a text export: "Idx" column, LF, Time and Distance counted
// over the session, "Lap: N-1/N" markers.
std::string steady_export(const SteadyPlan& plan);

} // namespace lxgen
