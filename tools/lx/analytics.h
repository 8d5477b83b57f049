// Corners, stretches and sectors as lx corners, lx sectors, lx compare and
// the report read them from the library.
#pragma once

#include <string>
#include <vector>

#include "options.h"
#include "tool.h"

namespace lxtool {

std::vector<lx_corner> lap_corners(const Session& ref, int ref_lap, const Session& s, int lap,
                                   const lx_corner_options& o);
std::vector<lx_stretch> lap_stretches(const Session& ref, int ref_lap, const Session& s, int lap,
                                      const lx_corner_options& o);

// "right" or "left", for a corner's direction.
const char* hand(int direction);

// The laps a table lists: full laps but the recording's first and last.
std::vector<int> full_laps(const Session& s);
// The reference lap the library picks for -1, or ref_lap itself.
int resolved_reference(const Session& s, int ref_lap, const lx_corner_options& o);

// Metres from the start line of each sample, as the library lays a lap out.
std::vector<double> lap_distances(const Session& s, int lap);

// A reference corner over the full laps; laps count from 1.
struct CornerSummary {
    lx_corner corner;
    double best_min = 0, most_lost = 0;
    int best_lap = 0, lost_lap = 0;
};
struct CornerTable {
    std::vector<lx_corner> reference;               // the reference lap's corners
    std::vector<int> laps;                          // full laps (from 0)
    std::vector<std::vector<lx_stretch>> stretches; // per lap of laps, against the reference
    std::vector<CornerSummary> corners;
};
CornerTable corner_table(const Session& s, int ref, const lx_corner_options& o);

struct SectorRow {
    int lap;
    std::vector<double> times;
};
struct SectorTable {
    std::vector<double> cuts;
    std::vector<SectorRow> rows; // the full laps the library could time
    double theory_time = 0, optimal_time = 0;
    std::vector<lx_piece> theory, optimal;
};
// cuts empty: the library's default cuts.
SectorTable sector_table(const Session& s, int ref, std::vector<double> cuts, double tolerance,
                         const lx_corner_options& o);

// "0-605 m lap 7, 605-1081 m lap 8"
std::string pieces_text(const std::vector<lx_piece>& pieces);

} // namespace lxtool
