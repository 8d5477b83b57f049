// One channel of a lap against distance, as chart pixels.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/output.h"
#include "display/display.h"
#include "lx.h"

using namespace lx;

namespace {

struct ChartScale {
    float cmin;
    float y_step;  // channel units per pixel row
    float x_step;  // metres per pixel column
    float spacing; // metres between points
    int xoffset;
    int ybottom;
};

// Refusals the caller is told about; the silent ones come back as null too.
const Session* chart_session(int handle, int lap, int channel) {
    const Session* s = lookup_session(handle);
    if (s == nullptr) {
        emit("Exit - no session found.\n");
        return nullptr;
    }
    if (!valid_channel(s, channel)) {
        emit("Exit - channel %d does not exist.\n", channel);
        return nullptr;
    }
    // Without a distance channel there is no horizontal axis to draw against.
    if (s->i_distance == 0 || !valid_channel(s, s->i_distance)) return nullptr;
    if (!valid_lap(s, lap)) return nullptr;
    return s;
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

extern "C" {

LX_API int lx_scaled_chart_lap_dist(int handle, int lap, int channel, float cmax, float cmin,
                                    int maxpoints, int winx, int winy, int xoffset, int ybottom,
                                    float dist_range, int* x, int* y) {
    if (verbose()) emit("lx_scaled_chart()\n");
    const Session* s = chart_session(handle, lap, channel);
    if (s == nullptr) return 0;
    if (!(cmin < cmax)) {
        emit("Exit - cmin (%.1f) >= cmax (%.1f)\n", cmin, cmax);
        return 0;
    }
    if (winy == 0 || winx == 0) {
        if (verbose()) emit("winx/winy zero!\n");
        return 0;
    }
    if (winx < 0 || winy < 0 || maxpoints < 0 || x == nullptr || y == nullptr) return 0;

    const Lap& l = s->laps[lap];
    ChartScale c{};
    c.cmin = cmin;
    c.y_step = static_cast<float>((static_cast<double>(cmax) - cmin) / winy);
    float width = dist_range >= 1.0f ? dist_range : l.lap_length;
    if (width == 0.0f) {
        if (verbose()) emit("lap_length is zero!\n");
        return 0;
    }
    c.x_step = static_cast<float>(static_cast<double>(width) / winx);
    int m = std::min({winx, maxpoints, l.npoints});
    if (m <= 0) {
        if (verbose()) emit("npoints is zero!\n");
        return 0;
    }
    c.spacing = static_cast<float>(static_cast<double>(width) / m);
    c.xoffset = xoffset;
    c.ybottom = ybottom;
    draw(l, l.raw[s->i_distance], l.raw[channel], c, m, x, y);
    return m;
}

} // extern "C"
