// A lap's samples copied into the caller's buffer, and how a lap closes when
// it is dead-reckoned with a candidate lateral channel.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "data/call.h"
#include "data/laps.h"
#include "display/display.h"

namespace lx::data {

namespace {

constexpr float LATG_IN_G = 1.0f; // candidate channels hold g, as the map's scale 1 expects

int copy_samples(int handle, int lap, int channel, float* dest, int capacity) {
    const Session* s = find_readable_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (int status = check_lap(s, handle, lap); status != LX_OK) return status;
    if (int status = check_channel(s, handle, channel); status != LX_OK) return status;
    if (capacity < 0)
        return fail(LX_ERR_ARGUMENT, "lx_lap_samples: capacity %d is negative", capacity);
    if (dest == nullptr && capacity > 0)
        return fail(LX_ERR_ARGUMENT, "lx_lap_samples: dest is null but capacity is %d", capacity);
    const Lap& l = s->laps[lap];
    int copied = std::min(l.npoints, capacity);
    if (copied > 0)
        std::memcpy(dest, l.raw[channel], static_cast<std::size_t>(copied) * sizeof(float));
    return l.npoints;
}

int closure(int handle, int lap, int latg, double* heading_change, double* end_gap) {
    const Session* s = find_readable_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (int status = check_lap(s, handle, lap); status != LX_OK) return status;
    if (int status = check_channel(s, handle, latg); status != LX_OK) return status;
    if (heading_change == nullptr || end_gap == nullptr)
        return fail(LX_ERR_ARGUMENT, "lx_lap_closure: heading_change or end_gap is null");
    if (!valid_channel(s, s->i_speed) || !valid_channel(s, s->i_seglen) || s->i_speed == 0 ||
        s->i_seglen == 0 || !session_math_ran(s))
        return fail(LX_ERR_STATE,
                    "lx_lap_closure: session %d has no session math yet "
                    "(lx_session_setup, then lx_compute_session_math)",
                    handle);
    Reckoning r = reckon_lap(s, lap, latg, s->i_speed, s->i_seglen, LATG_IN_G);
    *heading_change = static_cast<double>(r.turn) * 180.0 / std::numbers::pi;
    *end_gap = std::hypot(static_cast<double>(r.end_x), static_cast<double>(r.end_y));
    return LX_OK;
}

} // namespace

} // namespace lx::data

using namespace lx::data;

extern "C" {

LX_DATA_API int lx_lap_samples(int handle, int lap, int channel, float* dest, int capacity) {
    return api_call([&] { return copy_samples(handle, lap, channel, dest, capacity); });
}

LX_DATA_API int lx_lap_closure(int handle, int lap, int latg_channel, double* heading_change,
                               double* end_gap) {
    return api_call([&] { return closure(handle, lap, latg_channel, heading_change, end_gap); });
}

} // extern "C"
