// How well the reference lap fits with its start at one sample: shared by the
// error channel's single steps and its whole-session run.
#pragma once

#include "analysis/cursor.h"

namespace lx {

struct RefLap {
    const float* seg;
    const float* rad;
    int points;
};

struct Fit {
    float error;
    bool finished;      // the walk ahead left the session: the computation ends here
    bool start_reached; // the walk back ran into the session's start
};

Fit fit_reference(const RefLap& ref, const LapCursor& at);

} // namespace lx
