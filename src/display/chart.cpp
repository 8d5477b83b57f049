// One channel of a lap against distance, as chart pixels.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/output.h"
#include "display/display.h"

namespace lx {

namespace {

struct ChartScale {
    float cmin;
    float y_step;  // channel units per pixel row
    float x_step;  // metres per pixel column
    float spacing; // metres between points
    int xoffset;
    int ybottom;
};

// A missing channel is told about; the silent refusals give false too.
bool chart_ready(const Session* s, int lap, int channel, const Sink& out) {
    if (!valid_channel(s, channel)) {
        emit(out, "Exit - channel %d does not exist.\n", channel);
        return false;
    }
    // Without a distance channel there is no horizontal axis to draw against.
    if (s->i_distance == 0 || !valid_channel(s, s->i_distance)) return false;
    return valid_lap(s, lap);
}

// Picks the samples, one per point, evenly spaced in distance; the search
// only moves forward, so a sample already past the next target repeats.
void draw(const Lap& l, const float* distance, const float* value, const ChartScale& c, int m,
          int* x, int* y) {
    float target = 0.0f;
    int j = 0;
    for (int p = 0; p < m; ++p) {
        x[p] = pixel(std::trunc(distance[j] / static_cast<double>(c.x_step)) + c.xoffset);
        double rows = (static_cast<double>(value[j]) - c.cmin) / c.y_step;
        y[p] = pixel(c.ybottom - std::trunc(rows));
        target = static_cast<float>(static_cast<double>(target) + c.spacing);
        while (target > distance[j] && j < l.npoints - 1) ++j;
    }
}

} // namespace

int draw_scaled_chart(const Session* s, const ChartRequest& r, TraceOptions options) {
    if (!chart_ready(s, r.lap, r.channel, options.sink)) return 0;
    if (!(r.cmin < r.cmax)) {
        emit(options.sink, "Exit - cmin (%.1f) >= cmax (%.1f)\n", r.cmin, r.cmax);
        return 0;
    }
    if (r.winy == 0 || r.winx == 0) {
        if (options.verbose) emit(options.sink, "winx/winy zero!\n");
        return 0;
    }
    if (r.winx < 0 || r.winy < 0 || r.maxpoints < 0 || r.x == nullptr || r.y == nullptr) return 0;

    const Lap& l = s->laps[r.lap];
    ChartScale c{};
    c.cmin = r.cmin;
    c.y_step = static_cast<float>((static_cast<double>(r.cmax) - r.cmin) / r.winy);
    float width = r.dist_range >= 1.0f ? r.dist_range : l.lap_length;
    if (width == 0.0f) {
        if (options.verbose) emit(options.sink, "lap_length is zero!\n");
        return 0;
    }
    c.x_step = static_cast<float>(static_cast<double>(width) / r.winx);
    int m = std::min({r.winx, r.maxpoints, l.npoints});
    if (m <= 0) {
        if (options.verbose) emit(options.sink, "npoints is zero!\n");
        return 0;
    }
    c.spacing = static_cast<float>(static_cast<double>(width) / m);
    c.xoffset = r.xoffset;
    c.ybottom = r.ybottom;
    draw(l, l.raw[s->i_distance], l.raw[r.channel], c, m, r.x, r.y);
    return m;
}

} // namespace lx
