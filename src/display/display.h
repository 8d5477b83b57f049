// A lap as a track map and as a chart, in window pixels.
#pragma once

#include "base/trace.h"
#include "session/session.h"

namespace lx {

int add_map_channels(Session* s, const Sink& out);

// What lx_scaled_map draws: pixel arrays of points entries, the lap, the window.
struct MapRequest {
    int* x;
    int* y;
    int points;
    int lap;
    int winx;
    int winy;
    int border;
    float latg_scale;
    float start_heading;
};

// Dead-reckons the lap into the map channels and scales it into the window;
// 0 (arrays untouched) when a channel, an array or the lap is missing.
int draw_scaled_map(Session* s, const MapRequest& r, TraceOptions options);

// What lx_scaled_chart_lap_dist draws: a channel of a lap against distance.
struct ChartRequest {
    int lap;
    int channel;
    float cmax;
    float cmin;
    int maxpoints;
    int winx;
    int winy;
    int xoffset;
    int ybottom;
    float dist_range;
    int* x;
    int* y;
};

// Returns the number of points written; 0 (arrays untouched) on a refusal,
// after printing why for a missing channel and an empty value range.
int draw_scaled_chart(const Session* s, const ChartRequest& r, TraceOptions options);

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
