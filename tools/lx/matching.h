// Lap matching and cutting, as lx cut and the report run them.
#pragma once

#include <string>
#include <vector>

#include "tool.h"

namespace lxtool {

// Metres within which a match counts as confirming a beacon.
constexpr float BEACON_TOLERANCE = 50.0f;

struct Match {
    int lap, point;     // where the library marked a lap start (from 0)
    int number;         // that lap's number
    double distance;    // metres into that lap
    double from_beacon; // metres from the nearest beacon (+: after it); HUGE_VAL when none
    bool near_beacon() const;
};

// Fills the working session's error channel against the reference lap,
// showing a progress bar on standard error when it is a terminal.
void compute_error_channel(const Session& ref, int ref_lap, const Session& work);
// Marks the lap starts and reads the marks back.
std::vector<Match> locate_laps(const Session& ref, int ref_lap, const Session& work);
// The session cut at beacons, stops and matches.
Session cut_session(const Session& ref, int ref_lap, const Session& work, int mode,
                    float tolerance);

// "1 lap", "2 laps".
std::string count_of(std::size_t n, const char* noun);

} // namespace lxtool
