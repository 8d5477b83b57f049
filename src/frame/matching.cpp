// The lap-matching exports of lx.h: error channel, lap location, the cut.
#include "analysis/analysis.h"
#include "base/output.h"
#include "beacons/beacons.h"
#include "frame/frame.h"
#include "lx.h"

using namespace lx;

namespace {

bool matching_ready(const Session* ref, const Session* work) {
    return lx::matching_ready(ref, work, library.error_channel, library.beacon_channel);
}

} // namespace

extern "C" {

LX_API int lx_compute_error_channel_step(int first, int ref_handle, int ref_lap, int work_handle) {
    Session* ref = lookup_session(ref_handle);
    Session* work = lookup_session(work_handle);
    if (!matching_ready(ref, work) || !valid_lap(ref, ref_lap)) return -1;
    return error_channel_step(library.error_run, first, ref, ref_lap, work, library.error_channel,
                              library.trace);
}

LX_API int lx_locate_laps(int ref_handle, int ref_lap, int work_handle) {
    if (verbose())
        emit(library.trace.sink, "lx_locate_laps(%d,%d,%d)\n", ref_handle, ref_lap, work_handle);
    Session* ref = lookup_session(ref_handle);
    Session* work = lookup_session(work_handle);
    if (!matching_ready(ref, work) || !valid_lap(ref, ref_lap)) return -1;
    return locate_laps(ref, ref_lap, work, library.error_channel, library.beacon_channel,
                       library.trace);
}

LX_API int lx_new_session_from_beacons(int ref_handle, int ref_lap, int work_handle, int cut_mode,
                                       float snap_tolerance) {
    if (verbose())
        emit(library.trace.sink, "lx_new_session_from_beacons(%d,%d,%d,%.1f)\n", ref_handle,
             ref_lap, work_handle, snap_tolerance);
    Session* ref = lookup_session(ref_handle);
    Session* work = lookup_session(work_handle);
    if (!matching_ready(ref, work)) return -1;
    Session* s =
        cut_working_session(work, cut_mode, snap_tolerance, library.beacon_channel, library.trace);
    if (s == nullptr) return 0;
    int handle = store_session(s);
    if (handle == 0) free_session(s);
    return handle;
}

LX_API float lx_get_beacon_shift(int handle) {
    if (verbose()) emit(library.trace.sink, "lx_get_beacon_shift(%d)", handle);
    Session* s = lookup_session(handle);
    if (s == nullptr) return 0.0f;
    if (verbose()) emit(library.trace.sink, " = %.1f\n", s->beacon_shift);
    return s->beacon_shift;
}

} // extern "C"
