// The display exports of lx.h: the track map and the chart.
#include "display/display.h"
#include "base/output.h"
#include "frame/frame.h"
#include "lx.h"

using namespace lx;

extern "C" {

LX_API int lx_map_setup(int handle) {
    if (verbose()) emit(library.trace.sink, "lx_map_setup(%d)\n", handle);
    Session* s = lookup_session(handle);
    if (s == nullptr) return 0;
    return add_map_channels(s, library.trace.sink);
}

LX_API int lx_scaled_map(int handle, int* x, int* y, int points, int lap, int winx, int winy,
                         int border, float latg_scale, float start_heading) {
    Session* s = lookup_session(handle);
    if (s == nullptr) return 0;
    MapRequest r{x, y, points, lap, winx, winy, border, latg_scale, start_heading};
    return draw_scaled_map(s, r, library.trace);
}

LX_API int lx_scaled_chart_lap_dist(int handle, int lap, int channel, float cmax, float cmin,
                                    int maxpoints, int winx, int winy, int xoffset, int ybottom,
                                    float dist_range, int* x, int* y) {
    if (verbose()) emit(library.trace.sink, "lx_scaled_chart()\n");
    const Session* s = lookup_session(handle);
    if (s == nullptr) {
        emit(library.trace.sink, "Exit - no session found.\n");
        return 0;
    }
    ChartRequest r{lap,  channel, cmax,    cmin,       maxpoints, winx,
                   winy, xoffset, ybottom, dist_range, x,         y};
    return draw_scaled_chart(s, r, library.trace);
}

} // extern "C"
