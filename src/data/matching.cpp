// Lap matching for programs: the error channel and lap location shared among
// threads, and the cut session, each with the bits of the lx.h exports.
#include <cfloat>
#include <cstring>

#include "analysis/analysis.h"
#include "base/parallel.h"
#include "beacons/beacons.h"
#include "channels/channels.h"
#include "data/call.h"
#include "data/handles.h"
#include "data/laps.h"
#include "data/names.h"

namespace lx::data {

namespace {

struct MatchJob {
    Session* ref;
    int ref_lap;
    Session* work;
    int error_channel;
    int beacon_channel;
    int threads;
    int cut_mode;
    float tolerance;
};

int read_options(const char* call, const lx_match_options* in, MatchJob& job) {
    if (in == nullptr) {
        job.threads = 1;
        job.cut_mode = LX_CUT_MATCHES;
        job.tolerance = 0.0f;
        return LX_OK;
    }
    if (in->threads < 0 || in->threads > LX_MAX_THREADS)
        return fail(LX_ERR_ARGUMENT, "%s: threads %d is not 0 to %d", call, in->threads,
                    LX_MAX_THREADS);
    if (in->cut_mode < LX_CUT_MATCHES || in->cut_mode > LX_CUT_BEACON_SHIFT)
        return fail(LX_ERR_ARGUMENT, "%s: cut_mode %d is not %d to %d", call, in->cut_mode,
                    LX_CUT_MATCHES, LX_CUT_BEACON_SHIFT);
    if (!(in->tolerance >= 0.0 && in->tolerance <= FLT_MAX))
        return fail(LX_ERR_ARGUMENT, "%s: tolerance %g is not 0 to %g metres", call, in->tolerance,
                    double(FLT_MAX));
    job.threads = in->threads;
    job.cut_mode = in->cut_mode;
    job.tolerance = static_cast<float>(in->tolerance);
    return LX_OK;
}

int find_matching_channels(const char* call, int handle, MatchJob& job) {
    Session* s = job.work;
    job.error_channel = newest_derived(s, "i_error");
    job.beacon_channel = newest_derived(s, "i_beacon");
    if (job.error_channel != 0 && job.beacon_channel != 0) return LX_OK;
    if (s->nchannels + 2 > MAX_CHANNELS)
        return fail(LX_ERR_LIMIT, "%s: session %d has no room for the error and beacon channels",
                    call, handle);
    if (add_matching_channels(s, &job.error_channel, &job.beacon_channel, NO_OUTPUT)) return LX_OK;
    return fail(LX_ERR_MEMORY, "%s: no memory for the error and beacon channels of session %d",
                call, handle);
}

int prepare(const char* call, int ref_handle, int ref_lap, int handle,
            const lx_match_options* options, MatchJob& job) {
    job.ref = math_session(call, ref_handle);
    if (job.ref == nullptr) return lx_last_status();
    if (int status = check_lap(job.ref, ref_handle, ref_lap); status != LX_OK) return status;
    job.ref_lap = ref_lap;
    job.work = math_session(call, handle);
    if (job.work == nullptr) return lx_last_status();
    if (int status = read_options(call, options, job); status != LX_OK) return status;
    return find_matching_channels(call, handle, job);
}

int match(const MatchJob& job) {
    error_channel_whole(job.ref, job.ref_lap, job.work, job.error_channel, job.threads);
    return locate_laps(job.ref, job.ref_lap, job.work, job.error_channel, job.beacon_channel,
                       SILENT, job.threads);
}

int cut_failed(CutFailure why) {
    switch (why) {
    case CutFailure::too_many_cuts:
        return fail(LX_ERR_LIMIT, "lx_cut_session: more lap starts than a cut list holds (%d)",
                    CUTLIST_CAPACITY);
    case CutFailure::too_many_laps:
        return fail(LX_ERR_LIMIT, "lx_cut_session: more laps than a session holds (%d)", MAX_LAPS);
    case CutFailure::memory:
        return fail(LX_ERR_MEMORY, "lx_cut_session: no memory for the cut session");
    default:
        return fail(LX_ERR_STATE, "lx_cut_session: the cut list runs past the session's samples");
    }
}

int cut(const MatchJob& job) {
    match(job);
    CutFailure why = CutFailure::none;
    Session* s = cut_working_session(job.work, job.cut_mode, job.tolerance, job.beacon_channel,
                                     SILENT, &why);
    if (s == nullptr) return cut_failed(why);
    if (int handle = add_data_session(s); handle != 0) return handle;
    free_session(s);
    return fail(LX_ERR_LIMIT, "lx_cut_session: no session handle is left in this process");
}

} // namespace

} // namespace lx::data

using namespace lx::data;

extern "C" {

LX_DATA_API int lx_match_laps(int ref_handle, int ref_lap, int handle,
                              const lx_match_options* options) {
    return api_call([&] {
        MatchJob job{};
        if (int status = prepare("lx_match_laps", ref_handle, ref_lap, handle, options, job);
            status != LX_OK)
            return status;
        return match(job);
    });
}

LX_DATA_API int lx_cut_session(int ref_handle, int ref_lap, int handle,
                               const lx_match_options* options) {
    return api_call([&] {
        MatchJob job{};
        if (int status = prepare("lx_cut_session", ref_handle, ref_lap, handle, options, job);
            status != LX_OK)
            return status;
        return cut(job);
    });
}

} // extern "C"
