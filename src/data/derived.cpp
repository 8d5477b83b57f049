// The front-end's derived-channel work for the data API's sessions: the
// session math, the time difference, channel numbers and ranges, with the
// arguments explicit and the same bits as the exports of lx.h.
#include "analysis/analysis.h"
#include "channels/channels.h"
#include "data/call.h"

namespace lx::data {

namespace {

constexpr int LAST_DERIVED_ID = LX_CHANNEL_TIME_DIFF_RATE;

int derived_channel(int handle, int id) {
    const Session* s = find_readable_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (id < 0 || id > LAST_DERIVED_ID)
        return fail(LX_ERR_ARGUMENT, "lx_derived_channel_number: id %d is not 0 to %d", id,
                    LAST_DERIVED_ID);
    return well_known_channel(s, id);
}

int channel_range(int handle, int channel, float* min, float* max) {
    const Session* s = find_readable_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (int status = check_channel(s, handle, channel); status != LX_OK) return status;
    if (min == nullptr || max == nullptr)
        return fail(LX_ERR_ARGUMENT, "lx_channel_range: min or max is null");
    *min = session_channel_min(s, channel);
    *max = session_channel_max(s, channel);
    return LX_OK;
}

int check_math_options(const Session* s, int handle, const lx_math_options* o) {
    if (o == nullptr) return fail(LX_ERR_ARGUMENT, "lx_session_math: options is null");
    for (int channel : {o->speed, o->lateral})
        if (int status = check_channel(s, handle, channel); status != LX_OK) return status;
    if (o->longitudinal != 0)
        if (int status = check_channel(s, handle, o->longitudinal); status != LX_OK) return status;
    if (o->speed_units != LX_SPEED_MPH && o->speed_units != LX_SPEED_KMH)
        return fail(LX_ERR_ARGUMENT, "lx_session_math: speed_units %d is neither %d nor %d",
                    o->speed_units, LX_SPEED_MPH, LX_SPEED_KMH);
    return LX_OK;
}

int session_math(int handle, const lx_math_options* o) {
    Session* s = find_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (int status = check_math_options(s, handle, o); status != LX_OK) return status;
    if (s->i_speed == 0 && !add_session_math_channels(s, SILENT))
        return fail(append_status(s),
                    "lx_session_math: no room for the derived channels of session %d", handle);
    MathInputs in{o->speed,      o->lateral,      o->speed_units,
                  o->invert_lat, o->longitudinal, o->invert_long};
    if (!compute_session_math(s, in, SILENT))
        return fail(LX_ERR_STATE, "lx_session_math: session %d lacks its derived channels", handle);
    return LX_OK;
}

int time_diff(int ref_handle, int ref_lap, int handle, int scale_to_length) {
    Session* ref = math_session("lx_time_diff", ref_handle);
    if (ref == nullptr) return lx_last_status();
    if (int status = check_lap(ref, ref_handle, ref_lap); status != LX_OK) return status;
    Session* work = math_session("lx_time_diff", handle);
    if (work == nullptr) return lx_last_status();
    if (work->i_tdiff == 0 && !add_time_diff_channels(work, SILENT))
        return fail(append_status(work),
                    "lx_time_diff: no room for the time-difference channels of session %d", handle);
    KeptLines refusal;
    if (!time_difference_channels(ref, ref_lap, work, scale_to_length, refusal.silent()))
        return fail(LX_ERR_STATE, "lx_time_diff: %s", refusal.joined().c_str());
    return LX_OK;
}

} // namespace

} // namespace lx::data

using namespace lx::data;

extern "C" {

LX_DATA_API int lx_derived_channel_number(int handle, int id) {
    return api_call([&] { return derived_channel(handle, id); });
}

LX_DATA_API int lx_channel_range(int handle, int channel, float* min, float* max) {
    return api_call([&] { return channel_range(handle, channel, min, max); });
}

LX_DATA_API int lx_session_math(int handle, const lx_math_options* options) {
    return api_call([&] { return session_math(handle, options); });
}

LX_DATA_API int lx_time_diff(int ref_handle, int ref_lap, int handle, int scale_to_length) {
    return api_call([&] { return time_diff(ref_handle, ref_lap, handle, scale_to_length); });
}

} // extern "C"
