// The options several commands share, each defined once here.
#pragma once

#include <string>
#include <vector>

#include "tool.h"

namespace CLI {
class App;
}

namespace lxtool {

constexpr double KMH = 3.6;

// --speed, --lat, --long, --units, --invert-lat, --invert-long.
struct MathOptions {
    std::string speed, lateral, longitudinal;
    std::string units = "auto";
    bool invert_lat = false;
    bool invert_long = false;
};
void add_math_options(CLI::App* command, MathOptions& options);

// --enter, --exit, --min-speed: the corner thresholds.
struct CornerFlags {
    double enter = 0, exit = 0, min_speed_kmh = 0;
    lx_corner_options options() const { return {enter, exit, min_speed_kmh / KMH, 0, 0}; }
};
void add_corner_options(CLI::App* command, CornerFlags& flags);

// --ref-lap, from 1; 0 when not given. required: the command has no default.
void add_ref_lap_option(CLI::App* command, int& ref_lap, bool required);
// --ref: the session file holding the reference lap.
void add_ref_option(CLI::App* command, std::string& reference, const char* what);
// --json: the command's numbers as one JSON document instead of the table.
void add_json_option(CLI::App* command, bool& json);
// --sectors: cuts in metres from the start line.
void add_sectors_option(CLI::App* command, std::vector<double>& cuts);

// --match REF[:LAP]: lap matching against lap LAP (from 1) of the session file
// REF; no lap: REF's fastest full lap.
struct MatchFlag {
    std::string reference; // empty: no lap matching
    int lap = -1;          // -1: REF's fastest full lap
};
void add_match_option(CLI::App* command, MatchFlag& flag);

} // namespace lxtool
