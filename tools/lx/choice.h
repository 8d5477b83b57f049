// The session math: which channels give speed and accelerations, chosen by
// name and, for the lateral one, by how well its laps close.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "options.h"
#include "tool.h"

namespace lxtool {

// How a lateral channel dead-reckons the session's laps: medians over its
// full laps (all laps with a length when none is full).
struct Closure {
    int channel = 0;
    int laps = 0;          // laps measured; 0: no lap had a length
    double turn = 0;       // degrees of heading change, in size
    double end_gap = 0;    // metres between reckoned end and start
    double lap_length = 0; // metres
    // Median over the laps of how far the reckoned map lies from the GPS
    // track, in % of the lap's length; NaN without a GPS track.
    double gps_error = NAN;
    bool closes() const;
    double score() const; // smaller closes better
};

struct MathChannels {
    int speed = 0, longitudinal = 0; // longitudinal 0: derived from speed
    int speed_units = LX_SPEED_KMH;
    bool lateral_given = false;
    std::vector<Closure> lateral; // the chosen one first
    int lateral_channel() const { return lateral.front().channel; }
};

// Adds and computes speed, accelerations, distance and curvature, choosing
// the channels; warns when the lateral channel does not close its laps.
MathChannels compute_math(const Session& s, const MathOptions& options);
// What was chosen and why, a few lines for standard output or the report.
std::vector<std::string> describe(const Session& s, const MathChannels& m);

// The quickest full lap (from 0), or -1; needs the session math.
int fastest_lap(const Session& s);
// A lap's time minus the reference time, "+0.843"; "" for laps that are not
// full, whose time compares with nothing.
std::string gap_text(const lx_lap_info& lap, double reference_time);

} // namespace lxtool
