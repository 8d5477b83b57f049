// A session as the library analysed it: the options that ask for the
// analysis, and its results copied out of the queries. The tool holds no
// rule of its own about laps, references, corners or sectors.
#pragma once

#include <string>
#include <vector>

#include "json.h"
#include "options.h"
#include "tool.h"

namespace lxtool {

struct AnalysisRequest {
    MathOptions math;
    const Session* reference = nullptr; // another session, analysed first; null: this one
    int ref_lap = 0;                    // its lap number; 0: the fastest full lap
    std::vector<double> cuts;           // none: the default cuts
    double tolerance = LX_OPTIMAL_TOLERANCE;
    lx_corner_options corners{};
};

struct Analysed {
    lx_analysis_info info{};
    std::vector<lx_analysis_lap> laps;
    bool has_reference() const { return info.ref_lap >= 0; }
};

// Runs the analysis or refuses with the library's reason (exit 1); warns
// when the lateral channel does not close its laps.
Analysed analyse(const Session& s, const AnalysisRequest& request);
// What the analysis read the session with: one line, or with -v the reasons.
std::vector<std::string> channel_lines(const Session& s, const lx_analysis_info& info);
void print_channel_lines(const Session& s, const lx_analysis_info& info);
// Why these channels, whole, for the pages.
std::vector<std::string> channel_reasons(const lx_analysis_info& info);

// The queries; each refuses with the library's reason where it has none.
struct TimeDiff {
    std::vector<double> distance, diff; // at the reference lap's samples and its end
};
TimeDiff time_diff(const Session& s, int lap);
// A lap's own corners; *why says why there are none when the lap cannot be traced.
std::vector<lx_corner> lap_corners(const Session& s, int lap, std::string* why);
std::vector<lx_stretch> lap_stretches(const Session& s, int lap);
std::vector<lx_corner_summary> corner_summary(const Session& s);
std::vector<double> sector_times(const Session& s, int lap);
struct Best {
    double time = 0;
    std::vector<lx_piece> pieces;
};
Best best_lap(const Session& s, int which);

// The sector times of every full lap at the analysis's cuts, and the best laps.
struct SectorRow {
    int lap; // from 0
    std::vector<double> times;
};
struct SectorTable {
    std::vector<double> cuts;
    std::vector<SectorRow> rows;
    Best theoretical, optimal;
};
SectorTable sector_table(const Session& s, const Analysed& a);

// A lap's members in --json: lap, logger_lap, class, slow, time, gap, length, samples.
void lap_json(Json& j, const lx_analysis_lap& lap);

// Where the sector cuts came from (lx_analysis_info.cuts_from): its --json
// name ("given", "shape", "reference", "gates") and, for the tables, its
// words: "" for given cuts, else " (the default cuts, ...)".
const char* cuts_from_name(int from);
std::string cuts_from_words(int from);

// "right" or "left", for a corner's direction.
const char* hand(int direction);
// "0-605 m lap 7, 605-1081 m lap 8", laps by their numbers.
std::string pieces_text(const Session& s, const std::vector<lx_piece>& pieces);

} // namespace lxtool
