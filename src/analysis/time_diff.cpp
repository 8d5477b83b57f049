// Time lost or gained against a reference lap, matched by distance.
#include <climits>
#include <cstdio>

#include "analysis/analysis.h"
#include "base/output.h"
#include "channels/channels.h"

namespace lx {

namespace {

constexpr float TIME_DIFF_WINDOW = 10.0f;

// The walk along the (optionally stretched) reference lap.
struct ReferenceWalk {
    const float* seglen;
    int npoints;
    double rate;
    float stretch;
    float distance = 0.0f;          // dr
    float previous_distance = 0.0f; // dp
    float time = 0.0f;              // tr
    float previous_time = 0.0f;     // tp
    int k = 0;
    double reach_at_pass_start = 0.0;
};

double reach(const ReferenceWalk& w, float distance) {
    return static_cast<double>(w.stretch) * distance;
}

// One reference sample further. False when the walk cannot keep up with any
// working distance: a whole pass over the lap that does not carry the
// stretched distance forward would repeat for ever, and k must not overflow.
bool step_reference(ReferenceWalk& w) {
    if (w.k == INT_MAX) return false;
    w.distance = static_cast<float>(static_cast<double>(w.distance) + w.seglen[w.k % w.npoints]);
    w.k += 1;
    if (w.k % w.npoints != 0) return true;
    double now = reach(w, w.distance);
    bool stalled = now <= w.reach_at_pass_start; // NaN ends the walk by itself
    w.reach_at_pass_start = now;
    return !stalled;
}

// Walks the working lap; writes the time differences into out unless it is
// null. False when the reference walk stalls (nothing is known to be final
// then, so callers do a dry run first).
bool walk_lap(ReferenceWalk w, const float* work_seglen, int work_points, double work_rate,
              float* out) {
    float work_distance = 0.0f; // dw
    for (int i = 0; i < work_points; ++i) {
        if (reach(w, w.distance) <= work_distance) {
            w.previous_distance = w.distance;
            w.previous_time = w.time;
        }
        while (reach(w, w.distance) <= work_distance)
            if (!step_reference(w)) return false;
        double low = reach(w, w.previous_distance);
        float fraction = static_cast<float>((work_distance - low) / (reach(w, w.distance) - low));
        float work_time = static_cast<float>(i / work_rate);
        w.time = static_cast<float>(w.k / w.rate);
        float ref_time = static_cast<float>(
            (static_cast<double>(w.time) - w.previous_time) * fraction + w.previous_time);
        if (out) out[i] = static_cast<float>(static_cast<double>(work_time) - ref_time);
        work_distance = static_cast<float>(static_cast<double>(work_distance) + work_seglen[i]);
    }
    return true;
}

// Why a lap cannot be walked, or null.
const char* lap_refusal(const Lap& work, const Lap& ref) {
    if (work.lap_length == 0.0f) return "Work lap has zero length - quitting!\n";
    if (ref.lap_length == 0.0f) return "Reference lap has zero length - quitting!\n";
    if (work.npoints <= 0) return "Work lap has zero points - quitting!\n";
    if (ref.npoints <= 0) return "Reference lap has zero points - quitting!\n";
    return nullptr;
}

} // namespace

int calc_time_difference_lap(Session* ref, int ref_lap, Session* work, int work_lap, int ref_seglen,
                             int work_seglen, int out, int scale_to_length, TraceOptions options) {
    if (options.verbose)
        emit(options.sink, "calc_time_difference_lap(0x%0x,%d,0x%08x,%d,%d,%d,%d)\n",
             trace_address(ref), ref_lap, trace_address(work), work_lap, work_seglen, ref_seglen,
             out);
    if (!valid_lap(ref, ref_lap) || !valid_lap(work, work_lap) || !valid_channel(ref, ref_seglen) ||
        !valid_channel(work, work_seglen) || !valid_channel(work, out))
        return 0;
    const Lap& w = work->laps[work_lap];
    const Lap& r = ref->laps[ref_lap];
    if (const char* why = lap_refusal(w, r)) {
        if (options.verbose) emit(options.sink, "%s", why);
        return 0;
    }
    float stretch = scale_to_length
                        ? static_cast<float>(static_cast<double>(w.lap_length) / r.lap_length)
                        : 1.0f;
    if (options.verbose)
        emit(options.sink, "ref_lap_length = %.2f, work_lap_length = %.2f, scale = %.2f\n",
             r.lap_length, w.lap_length, stretch);

    ReferenceWalk walk{r.raw[ref_seglen], r.npoints, ref->sample_rate, stretch};
    if (!walk_lap(walk, w.raw[work_seglen], w.npoints, work->sample_rate, nullptr)) {
        if (options.verbose) emit(options.sink, "Reference lap does not advance - quitting!\n");
        return 0;
    }
    walk_lap(walk, w.raw[work_seglen], w.npoints, work->sample_rate, w.raw[out]);
    return 1;
}

int calc_time_difference_session(Session* ref, int ref_lap, Session* work, int ref_seglen,
                                 int work_seglen, int out, int scale_to_length,
                                 TraceOptions options) {
    if (options.verbose)
        emit(options.sink, "calc_time_difference_session(0x%0x,%d,0x%08x,%d,%d,%d)\n",
             trace_address(ref), ref_lap, trace_address(work), work_seglen, ref_seglen, out);
    for (int lap = 0; lap < work->nlaps; ++lap)
        calc_time_difference_lap(ref, ref_lap, work, lap, ref_seglen, work_seglen, out,
                                 scale_to_length, options);
    return 1;
}

namespace {

// The export's preconditions in their order; prints why and gives false.
bool time_diff_ready(const Session* ref, int ref_lap, const Session* work, const Sink& out) {
    const char* why = nullptr;
    if (ref == nullptr)
        why = "Exit - reference session not found.\n";
    else if (work == nullptr)
        why = "Exit - working session not found.\n";
    else if (work->i_tdiff == 0)
        why = "No time-difference output channel!\n";
    else if (work->i_tdiff_dt == 0)
        why = "No time-difference (dt) output channel!\n";
    else if (!valid_lap(ref, ref_lap))
        why = "Exit - reference lap does not exist.\n";
    if (why) emit(out, "%s", why);
    return why == nullptr;
}

} // namespace

int time_difference_channels(Session* ref, int ref_lap, Session* work, int scale_to_length,
                             TraceOptions options) {
    if (!time_diff_ready(ref, ref_lap, work, options.sink)) return 0;
    int tdiff = work->i_tdiff;
    int tdiff_dt = work->i_tdiff_dt;
    int result = calc_time_difference_session(ref, ref_lap, work, ref->i_seglen, work->i_seglen,
                                              tdiff, scale_to_length, options);
    filter_session(work, tdiff, tdiff, 0, TIME_DIFF_WINDOW, 0.0f, options);
    if (result) differentiate_dt_session(work, tdiff, tdiff_dt, options);
    filter_session(work, tdiff_dt, tdiff_dt, 0, TIME_DIFF_WINDOW, 0.0f, options);
    return result;
}

} // namespace lx
