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

// Matching on every core, then the cut; the working session keeps the marks.
Session match_and_cut(const Session& ref, int ref_lap, const Session& work, int mode,
                      float tolerance);
// The lap starts marked in the working session.
std::vector<Match> marked_matches(const Session& work);

} // namespace lxtool
