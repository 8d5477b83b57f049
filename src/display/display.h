// A lap as a track map and as a chart, in window pixels.
#pragma once

#include "frame/frame.h"

namespace lx {

void calculate_map_xy(Session* s, int lap, int latg, int speed, int seglen, int map_x, int map_y,
                      float latg_scale, float start_heading, TraceOptions options);
void scaled_map(const Session* s, int* x, int* y, int lap, int map_x, int map_y, int winx, int winy,
                int border, int points, TraceOptions options);

// A lap dead-reckoned as the map steps it, without the corrections that close
// it: the total turn in radians and where it ends, from a start at the origin.
struct Reckoning {
    float turn;
    float end_x;
    float end_y;
};
Reckoning reckon_lap(const Session* s, int lap, int latg, int speed, int seglen, float latg_scale);

// trunc(v) as a pixel: values beyond int range stick to its ends, NaN gives 0.
int pixel(double v);

} // namespace lx
