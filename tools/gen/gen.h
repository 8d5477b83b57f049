// Deterministic generator of logger sessions: a club car driven round a
// closed circuit, with sensor noise, recorded as a logger records it.
#pragma once

#include <cstdint>
#include <vector>

#include "recording.h"

namespace lxgen {

struct SessionPlan {
    std::uint64_t seed = 7;
    int flying_laps = 9;         // timed laps between the out-lap and the in-lap
    int missed_beacon_after = 5; // the beacon after this flying lap is not seen; 0: none
    int traffic_lap = 4;         // a flying lap held up behind a slower car; 0: none
    double sample_rate = 20.0;   // samples per second
    bool gps = false;            // latitude and longitude channels
};

struct Track {
    double length;                 // metres
    double step;                   // metres between curvature values
    std::vector<double> curvature; // 1/m, positive to the right, one per step
    std::vector<double> x, y;      // metres east and north of the line, one per step
};

Track make_track();
// Channels Time, Distance, Engine RPM, Speed, Lateral Acc (positive in
// right-hand bends), Longitudinal Acc, Water Temp, then the GPS's if asked.
Recording drive_session(const SessionPlan& plan);

} // namespace lxgen
