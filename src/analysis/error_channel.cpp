// The error channel: how badly the reference lap fits when laid down with its
// start at each sample of the working session, one sample per call.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "analysis/analysis.h"
#include "analysis/cursor.h"
#include "analysis/fit.h"
#include "base/output.h"

namespace lx {

namespace {

void start_computation(ErrorRun& st, const Session* ref, int ref_lap, const Session* work,
                       TraceOptions options) {
    if (options.verbose) emit(options.sink, "calc_error_channel_mid_step start!\n");
    st.last_percent = -1.0f;
    st.finished = 0;
    st.start_reached = 0;
    st.processed = 0;
    st.total_points = 0;
    st.session_length = 0.0f;
    for (int l = 0; l < work->nlaps; ++l) {
        st.total_points += work->laps[l].npoints;
        st.session_length += work->laps[l].lap_length;
    }
    if (options.verbose) {
        emit(options.sink,
             "Calculating error channel for %d points from %d laps in working session \n",
             st.total_points, work->nlaps);
        emit(options.sink, "Working session length = %.3fm, %d entries\n", st.session_length,
             st.total_points);
    }
    const Lap& reference = ref->laps[ref_lap];
    st.ref_points = reference.npoints;
    st.ref_length = reference.lap_length;
    if (options.verbose)
        emit(options.sink, "Reference lap length = %.3fm, %d entries\n", st.ref_length,
             st.ref_points);
    st.previous_distance = -1.0f;
    st.distance = 0.0f;
    st.point = 0;
    // Laps without samples hold no sample to start on.
    st.lap = next_filled_lap(work, -1);
    st.lap_points = st.lap < work->nlaps ? work->laps[st.lap].npoints : 0;
    if (st.lap >= work->nlaps) st.finished = 1;
}

// A continuing call must name what the computation was started on, and the
// current sample must still lie inside the working session.
bool continues_run(const ErrorRun& st, const Session* ref, int ref_lap, const Session* work,
                   int error_channel) {
    if (!st.started || st.ref != ref || st.ref_lap != ref_lap || st.work != work ||
        st.error_channel != error_channel)
        return false;
    if (!valid_lap(ref, ref_lap) || ref->laps[ref_lap].npoints < st.ref_points) return false;
    if (st.finished) return true;
    return valid_lap(work, st.lap) && work->laps[st.lap].npoints == st.lap_points &&
           st.point >= 0 && st.point < st.lap_points;
}

void print_progress(ErrorRun& st, const Sink& out) {
    double percent = static_cast<double>(st.processed) / st.total_points * 100.0;
    float kept = static_cast<float>(percent);
    if (static_cast<long long>(percent) > static_cast<long long>(st.last_percent))
        emit(out, "\rCalculating...%d / %d - %.1f%%       ", st.processed, st.total_points, kept);
    st.last_percent = kept;
}

// Moves the current sample on by one, across laps without samples.
void advance(ErrorRun& st, const Session* work) {
    st.point += 1;
    if (st.point < st.lap_points) return;
    st.point = 0;
    st.lap = next_filled_lap(work, st.lap);
    if (st.lap >= work->nlaps)
        st.finished = 1;
    else
        st.lap_points = work->laps[st.lap].npoints;
}

bool named_channel(const Session* s, int channel, const char* name) {
    return channel != 0 && valid_channel(s, channel) &&
           std::strcmp(s->channels[channel].name, name) == 0;
}

bool has_math_channels(const Session* s) {
    return s->i_distance != 0 && s->i_speed != 0 && s->i_seglen != 0 && s->i_radius != 0;
}

bool math_channels_valid(const Session* s) {
    return valid_channel(s, s->i_distance) && valid_channel(s, s->i_speed) &&
           valid_channel(s, s->i_seglen) && valid_channel(s, s->i_radius);
}

} // namespace

// The error of the current sample P: the reference's first half laid forward
// from P, its second half backward. Forward, a reference sample is paired once
// the working distance exceeds the laid one; backward, once it no longer falls
// short. Running off the session's end ends the whole computation.
Fit fit_reference(const RefLap& ref, const LapCursor& at) {
    const int n = ref.points;
    const int half = n / 2;
    float error = 0.0f;
    float walked = 0.0f;
    float laid = 0.0f;
    bool finished = false;

    LapCursor x = at;
    for (int k = 0; k < half && !finished; ++k) {
        while (walked <= laid) {
            float s = x.seg[x.point];
            if (!step_forward(x)) {
                finished = true;
                break;
            }
            walked += s;
        }
        if (finished) break;
        error += std::fabs(ref.rad[k] - x.values[x.point]);
        laid += ref.seg[k];
    }

    walked = 0.0f;
    laid = 0.0f;
    x = at;
    bool start_reached = !step_back(x);
    for (int k = n - 1; k >= half && !start_reached; --k) {
        while (walked < laid) {
            float s = x.seg[x.point];
            if (!step_back(x)) {
                start_reached = true;
                break;
            }
            walked += s;
        }
        if (start_reached) break;
        error += std::fabs(ref.rad[k] - x.values[x.point]);
        laid += ref.seg[k];
    }

    return {error, finished, start_reached};
}

bool matching_ready(const Session* ref, const Session* work, int error_channel,
                    int beacon_channel) {
    if (ref == nullptr || work == nullptr) return false;
    if (!has_math_channels(ref) || !has_math_channels(work)) return false;
    if (beacon_channel == 0 || error_channel == 0) return false;
    // The library-wide pair belongs to whichever session was set up last.
    return math_channels_valid(ref) && math_channels_valid(work) &&
           named_channel(work, error_channel, "i_error") &&
           named_channel(work, beacon_channel, "i_beacon");
}

void fill_channel(Session* s, int channel, float value) {
    if (!valid_channel(s, channel)) return;
    for (int l = 0; l < s->nlaps; ++l) {
        float* samples = s->laps[l].raw[channel];
        for (int j = 0; j < s->laps[l].npoints; ++j) samples[j] = value;
    }
}

int calc_error_channel_mid_step(ErrorRun& st, int first, Session* ref, int ref_lap, Session* work,
                                int error_channel, int work_seglen, int work_radius, int ref_seglen,
                                int ref_radius, TraceOptions options) {
    if (first) {
        start_computation(st, ref, ref_lap, work, options);
        st.started = true;
        st.ref = ref;
        st.ref_lap = ref_lap;
        st.work = work;
        st.error_channel = error_channel;
        if (st.finished) return 0;
    } else {
        if (!continues_run(st, ref, ref_lap, work, error_channel)) return -1;
        if (st.finished) return 0;
    }

    if (options.quiet == 0) print_progress(st, options.sink);

    LapCursor at = cursor_at(work, work_seglen, work_radius, st.lap, st.point);
    if (st.distance > st.previous_distance) {
        const Lap& reference = ref->laps[ref_lap];
        Fit fit = fit_reference(
            {reference.raw[ref_seglen], reference.raw[ref_radius], st.ref_points}, at);
        st.error = fit.error;
        st.finished = fit.finished;
        st.start_reached = fit.start_reached;
    }
    if (!st.finished && !st.start_reached)
        work->laps[st.lap].raw[error_channel][st.point] = st.error;

    st.processed += 1;
    st.previous_distance = st.distance;
    st.distance += at.seg[at.point];
    advance(st, work);

    int remaining = st.finished ? 0 : st.total_points - st.processed;
    if (options.quiet == 0 && remaining == 0) emit(options.sink, "\n");
    return remaining;
}

int error_channel_step(ErrorRun& run, int first, Session* ref, int ref_lap, Session* work,
                       int error_channel, TraceOptions options) {
    if (first) fill_channel(work, error_channel, ERROR_UNSET);
    return calc_error_channel_mid_step(run, first, ref, ref_lap, work, error_channel,
                                       work->i_seglen, work->i_radius, ref->i_seglen, ref->i_radius,
                                       options);
}

} // namespace lx
