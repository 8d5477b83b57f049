// The track map and the chart of the data API's sessions, and a lap as MoTeC
// CSV: the bits of lx_scaled_map, lx_scaled_chart_lap_dist and
// lx_write_lap_motec, with every refusal named.
#include <algorithm>

#include "data/call.h"
#include "display/display.h"
#include "motec/motec.h"

namespace lx::data {

namespace {

// A session with session math, lap and map channels, ready to be reckoned.
Session* map_session(const char* call, int handle, int lap) {
    Session* s = math_session(call, handle);
    if (s == nullptr) return nullptr;
    if (check_lap(s, handle, lap) != LX_OK) return nullptr;
    if (s->i_map_x == 0 && !add_map_channels(s, NO_OUTPUT)) {
        fail(append_status(s), "%s: no room for the map channels of session %d", call, handle);
        return nullptr;
    }
    return s;
}

int check_buffers(const char* call, const void* x, const void* y, int capacity) {
    if (capacity < 0) return fail(LX_ERR_ARGUMENT, "%s: capacity %d is negative", call, capacity);
    if ((x == nullptr || y == nullptr) && capacity > 0)
        return fail(LX_ERR_ARGUMENT, "%s: x or y is null but capacity is %d", call, capacity);
    return LX_OK;
}

int map_pixels(int handle, int* x, int* y, int points, int lap, const MapRequest& r) {
    if (int status = check_buffers("lx_map_pixels", x, y, points); status != LX_OK) return status;
    Session* s = map_session("lx_map_pixels", handle, lap);
    if (s == nullptr) return lx_last_status();
    if (points == 0) return 0;
    draw_scaled_map(s, r, SILENT);
    return points;
}

int map_points(int handle, int lap, float latg_scale, float start_heading, double* x, double* y,
               int capacity) {
    if (int status = check_buffers("lx_map_points", x, y, capacity); status != LX_OK) return status;
    Session* s = map_session("lx_map_points", handle, lap);
    if (s == nullptr) return lx_last_status();
    calculate_map_xy(s, lap, s->i_latg, s->i_speed, s->i_seglen, s->i_map_x, s->i_map_y, latg_scale,
                     start_heading, SILENT);
    const Lap& l = s->laps[lap];
    int copied = std::min(l.npoints, capacity);
    std::copy_n(l.raw[s->i_map_x], copied, x);
    std::copy_n(l.raw[s->i_map_y], copied, y);
    return l.npoints;
}

int chart_pixels(int handle, const ChartRequest& r) {
    if (int status = check_buffers("lx_chart_pixels", r.x, r.y, r.maxpoints); status != LX_OK)
        return status;
    const Session* s = math_session("lx_chart_pixels", handle);
    if (s == nullptr) return lx_last_status();
    if (int status = check_lap(s, handle, r.lap); status != LX_OK) return status;
    if (int status = check_channel(s, handle, r.channel); status != LX_OK) return status;
    if (!(r.cmin < r.cmax))
        return fail(LX_ERR_ARGUMENT, "lx_chart_pixels: cmin %g is not below cmax %g",
                    double(r.cmin), double(r.cmax));
    if (r.winx < 0 || r.winy < 0)
        return fail(LX_ERR_ARGUMENT, "lx_chart_pixels: window %d x %d is negative", r.winx, r.winy);
    return draw_scaled_chart(s, r, SILENT);
}

int write_motec(int handle, int lap, const char* path) {
    const Session* s = find_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (int status = check_lap(s, handle, lap); status != LX_OK) return status;
    if (path == nullptr) return fail(LX_ERR_ARGUMENT, "lx_write_motec: path is null");
    if (!write_motec_csv(s, lap, path, NO_OUTPUT))
        return fail(LX_ERR_FILE, "lx_write_motec: %s cannot be written", path);
    return LX_OK;
}

} // namespace

} // namespace lx::data

using namespace lx;
using namespace lx::data;

extern "C" {

LX_DATA_API int lx_map_pixels(int handle, int* x, int* y, int points, int lap, int winx, int winy,
                              int border, float latg_scale, float start_heading) {
    MapRequest r{x, y, points, lap, winx, winy, border, latg_scale, start_heading};
    return api_call([&] { return map_pixels(handle, x, y, points, lap, r); });
}

LX_DATA_API int lx_map_points(int handle, int lap, float latg_scale, float start_heading, double* x,
                              double* y, int capacity) {
    return api_call(
        [&] { return map_points(handle, lap, latg_scale, start_heading, x, y, capacity); });
}

LX_DATA_API int lx_chart_pixels(int handle, int lap, int channel, float cmax, float cmin,
                                int maxpoints, int winx, int winy, int xoffset, int ybottom,
                                float dist_range, int* x, int* y) {
    ChartRequest r{lap,  channel, cmax,    cmin,       maxpoints, winx,
                   winy, xoffset, ybottom, dist_range, x,         y};
    return api_call([&] { return chart_pixels(handle, r); });
}

LX_DATA_API int lx_write_motec(int handle, int lap, const char* path) {
    return api_call([&] { return write_motec(handle, lap, path); });
}

} // extern "C"
