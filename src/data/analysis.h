// The analysis of a session as lx_analyse leaves it with the session, and the
// lookup every query starts from.
#pragma once

#include <string>
#include <vector>

#include "frame/frame.h"
#include "lx_data.h"
#include "session/record.h"

namespace lx::data {

struct LapResult {
    double gap = 0.0;            // NaN unless full
    std::vector<double> curve;   // the time difference; empty unless full
    std::vector<double> sectors; // empty unless full
    std::vector<lx_stretch> stretches;
    std::vector<lx_corner> corners;
    int status = LX_OK;  // LX_ERR_LAP when the lap cannot be traced
    std::string failure; // why
};

struct Analysis : Attachment {
    unsigned long stamp = 0; // the session's math_runs it was made from
    lx_corner_options corners{};
    lx_analysis_info info{};
    std::vector<double> distance; // the reference lap's samples and its end, metres
    std::vector<LapResult> laps;
    std::vector<lx_corner_summary> summary;
    std::vector<lx_piece> theoretical, optimal;
};

// The session's analysis when the session math has not run since it was
// made; else null after failing with LX_ERR_STATE.
const Analysis* current_analysis(const Session* s, int handle);

// "the out-lap", "a partial lap", ...: what a lap that is not full is.
const char* class_text(int lap_class);

} // namespace lx::data
