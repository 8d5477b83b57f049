// The one way the analysis walks a session sample by sample across its laps.
#pragma once

#include "session/session.h"

namespace lx {

// A sample of a session together with the arrays of two of its channels in
// the sample's lap, so that inner loops index plain arrays. Laps without
// samples are stepped over.
struct LapCursor {
    const Session* s;
    int seglen;  // channel of seg
    int channel; // channel of values
    int lap;
    int point;
    int npoints;
    const float* seg;
    const float* values;
};

inline void enter_lap(LapCursor& c, int lap, int point) {
    const Lap& l = c.s->laps[lap];
    c.lap = lap;
    c.point = point;
    c.npoints = l.npoints;
    c.seg = l.raw[c.seglen];
    c.values = l.raw[c.channel];
}

inline LapCursor cursor_at(const Session* s, int seglen, int channel, int lap, int point) {
    LapCursor c{s, seglen, channel, 0, 0, 0, nullptr, nullptr};
    enter_lap(c, lap, point);
    return c;
}

inline int next_filled_lap(const Session* s, int lap) {
    do ++lap;
    while (lap < s->nlaps && s->laps[lap].npoints <= 0);
    return lap;
}

inline int previous_filled_lap(const Session* s, int lap) {
    do --lap;
    while (lap >= 0 && s->laps[lap].npoints <= 0);
    return lap;
}

// Moves one sample on; false (cursor unchanged) past the session's last sample.
inline bool step_forward(LapCursor& c) {
    if (c.point + 1 < c.npoints) {
        ++c.point;
        return true;
    }
    int lap = next_filled_lap(c.s, c.lap);
    if (lap >= c.s->nlaps) return false;
    enter_lap(c, lap, 0);
    return true;
}

// Moves one sample back; false (cursor unchanged) before the session's first sample.
inline bool step_back(LapCursor& c) {
    if (c.point > 0) {
        --c.point;
        return true;
    }
    int lap = previous_filled_lap(c.s, c.lap);
    if (lap < 0) return false;
    enter_lap(c, lap, c.s->laps[lap].npoints - 1);
    return true;
}

} // namespace lx
