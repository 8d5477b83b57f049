// The derived-channel exports of lx.h: setup, session math, time difference.
#include "analysis/analysis.h"
#include "base/output.h"
#include "channels/channels.h"
#include "frame/frame.h"
#include "lx.h"

using namespace lx;

extern "C" {

LX_API int lx_session_setup(int handle) {
    if (verbose()) emit(library.trace.sink, "lx_session_setup(%d)\n", handle);
    Session* s = lookup_session(handle);
    if (s == nullptr) return 0;
    return add_session_math_channels(s, library.trace);
}

LX_API int lx_analysis_setup(int handle) {
    if (verbose()) emit(library.trace.sink, "lx_analysis_setup(%d)\n", handle);
    Session* s = lookup_session(handle);
    if (s == nullptr) return 0;
    return add_time_diff_channels(s, library.trace);
}

LX_API int lx_beacon_setup(int handle) {
    if (verbose()) emit(library.trace.sink, "lx_beacon_setup(%d)\n", handle);
    Session* s = lookup_session(handle);
    if (s == nullptr) return 0;
    return add_matching_channels(s, &library.error_channel, &library.beacon_channel,
                                 library.trace.sink);
}

LX_API int lx_compute_session_math(int handle, int speed_ch, int latg_ch, int speed_units,
                                   int invert_lat, int longg_ch, int invert_long) {
    if (verbose())
        emit(library.trace.sink, "lx_compute_session_math(%d,%d,%d,%d,%d)\n", handle, speed_ch,
             latg_ch, speed_units, invert_lat);
    MathInputs in{speed_ch, latg_ch, speed_units, invert_lat, longg_ch, invert_long};
    return compute_session_math(lookup_session(handle), in, library.trace);
}

LX_API int lx_calc_time_diff(int ref_handle, int ref_lap, int work_handle, int scale_to_length) {
    if (verbose())
        emit(library.trace.sink, "lx_calc_time_diff(%d,%d,%d,%d)\n", ref_handle, ref_lap,
             work_handle, scale_to_length);
    return time_difference_channels(lookup_session(ref_handle), ref_lap,
                                    lookup_session(work_handle), scale_to_length, library.trace);
}

} // extern "C"
