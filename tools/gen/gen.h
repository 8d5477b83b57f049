// Deterministic generator of logger sessions in the tab-separated lap export:
// a club car driven round a closed circuit, with sensor noise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lxgen {

struct SessionPlan {
    std::uint64_t seed = 7;
    int flying_laps = 9;         // timed laps between the out-lap and the in-lap
    int missed_beacon_after = 5; // the beacon after this flying lap is not seen; 0: none
    int traffic_lap = 4;         // a flying lap held up behind a slower car; 0: none
    double sample_rate = 20.0;   // samples per second
    bool crlf = true;            // line ends as written by the logger's software
    bool trailer = true;         // a lap summary after the end row
};

// One logged sample, before it is written as text.
struct Sample {
    double time;     // seconds since the lap's first sample
    double distance; // metres since the lap's first sample, as the logger measures it
    double rpm;
    double speed_kmh;
    double lat_g; // positive in right-hand bends
    double long_g;
    double water_c;
};

struct LoggedLap {
    int number;
    std::vector<Sample> samples;
};

struct Track {
    double length;                 // metres
    double step;                   // metres between curvature values
    std::vector<double> curvature; // 1/m, positive to the right, one per step
};

Track make_track();
std::vector<LoggedLap> drive_session(const SessionPlan& plan);
std::string format_session(const std::vector<LoggedLap>& laps, const SessionPlan& plan);
// drive_session then format_session.
std::string make_session_text(const SessionPlan& plan);

} // namespace lxgen
