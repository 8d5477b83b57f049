// Lap matching and cutting, as lx cut and the report run them.
#pragma once

#include <vector>

#include "tool.h"

namespace lxtool {

struct Match {
    int lap, point;  // where the library marked a lap start (from 0)
    double distance; // metres into that lap
};

// Fills the working session's error channel against the reference lap,
// showing a progress bar on standard error when it is a terminal.
void compute_error_channel(const Session& ref, int ref_lap, const Session& work);
// Marks the lap starts and reads the marks back.
std::vector<Match> locate_laps(const Session& ref, int ref_lap, const Session& work);
// The session cut at beacons, stops and matches.
Session cut_session(const Session& ref, int ref_lap, const Session& work, int mode,
                    float tolerance);

} // namespace lxtool
