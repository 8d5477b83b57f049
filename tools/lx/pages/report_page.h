// lx report: one self-contained HTML page with the lap table, the fastest
// lap's map with its corners, speed and time difference of every lap, the
// corners and sectors, and on request the lap starts that matching found.
#pragma once

#include <string>
#include <vector>

#include "analysed.h"
#include "tool.h"

namespace lxtool {

// The reference lap of lap matching; no session: the report matches nothing.
struct LapMatching {
    const Session* reference = nullptr;
    int lap = 0; // from 0
};

// What the page draws beyond its own choice.
struct ReportViews {
    std::vector<int> traces;    // channels traced against distance, in order
    std::vector<int> show_laps; // laps on the charts (from 0); none: the page picks
};

// The page of an analysed session; channels: the lines saying which
// channels the analysis used.
std::string report_page(const Session& s, const Analysed& analysed,
                        const std::vector<std::string>& channels, const LapMatching& matching,
                        const ReportViews& views);

} // namespace lxtool
