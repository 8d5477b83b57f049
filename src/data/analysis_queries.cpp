// The queries of an analysis: each checks that it is current and copies what
// the caller's buffers hold; and the same-track test of two analysed sessions.
#include <algorithm>
#include <cmath>
#include <vector>

#include "analytics/analytics.h"
#include "data/analysis.h"
#include "data/call.h"
#include "data/choice.h"
#include "data/handles.h"
#include "data/laps.h"

namespace lx::data {

namespace {

// The session's current analysis, or null after failing.
const Analysis* analysis_of(int handle) {
    const Session* s = find_session(handle);
    return s ? current_analysis(s, handle) : nullptr;
}

int check_capacity(const char* call, int capacity) {
    if (capacity >= 0) return LX_OK;
    return fail(LX_ERR_ARGUMENT, "%s: capacity %d is negative", call, capacity);
}

template <typename T> int check_buffer(const char* call, const T* buffer, int capacity) {
    if (int st = check_capacity(call, capacity); st != LX_OK) return st;
    if (buffer == nullptr && capacity > 0)
        return fail(LX_ERR_ARGUMENT, "%s: the buffer is null but capacity is %d", call, capacity);
    return LX_OK;
}

// Copies what fits and returns the full count.
template <typename T> int copy_out(const std::vector<T>& items, T* out, int capacity) {
    std::size_t n = std::min(items.size(), static_cast<std::size_t>(std::max(capacity, 0)));
    if (out != nullptr) std::copy_n(items.begin(), n, out);
    return static_cast<int>(items.size());
}

// The lap's results: LX_OK, or a failure naming why there are none.
int check_lap_of(const Analysis* a, int handle, int lap) {
    if (a == nullptr) return lx_last_status();
    if (lap < 0 || lap >= static_cast<int>(a->laps.size()))
        return fail(LX_ERR_LAP, "no lap %d in session %d: laps are 0 to %d", lap, handle,
                    static_cast<int>(a->laps.size()) - 1);
    const LapResult& r = a->laps[static_cast<std::size_t>(lap)];
    if (r.status != LX_OK) return fail_with(r.status, r.failure);
    return LX_OK;
}

// As check_lap_of, and the lap is a full one compared with the reference.
int check_full(const Analysis* a, int handle, int lap) {
    if (int st = check_lap_of(a, handle, lap); st != LX_OK) return st;
    if (a->info.ref_lap < 0)
        return fail(LX_ERR_LAP, "session %d has no full lap to compare with", handle);
    if (a->laps[static_cast<std::size_t>(lap)].curve.empty())
        return fail(LX_ERR_LAP, "lap %d of session %d is %s, not a full lap", lap + 1, handle,
                    class_text(lap_class(data_session(handle), lap)));
    return LX_OK;
}

int info_get(int handle, lx_analysis_info* info) {
    const Analysis* a = analysis_of(handle);
    if (a == nullptr) return lx_last_status();
    if (info == nullptr) return fail(LX_ERR_ARGUMENT, "lx_analysis_info_get: info is null");
    *info = a->info;
    return LX_OK;
}

int lap_get(int handle, int lap, lx_analysis_lap* out) {
    const char* call = "lx_analysis_lap_get";
    const Analysis* a = analysis_of(handle);
    if (a == nullptr) return lx_last_status();
    if (int st = check_lap(data_session(handle), handle, lap); st != LX_OK) return st;
    if (out == nullptr) return fail(LX_ERR_ARGUMENT, "%s: lap_out is null", call);
    if (int st = lx_lap_info_get(handle, lap, &out->info); st != LX_OK) return st;
    out->gap = a->laps[static_cast<std::size_t>(lap)].gap;
    return LX_OK;
}

int time_diff(int handle, int lap, double* distance, double* diff, int capacity) {
    const char* call = "lx_analysis_time_diff";
    if (int st = check_capacity(call, capacity); st != LX_OK) return st;
    const Analysis* a = analysis_of(handle);
    if (int st = check_full(a, handle, lap); st != LX_OK) return st;
    copy_out(a->distance, distance, capacity);
    return copy_out(a->laps[static_cast<std::size_t>(lap)].curve, diff, capacity);
}

int corners(int handle, int lap, lx_corner* out, int capacity) {
    const char* call = "lx_analysis_corners";
    if (int st = check_buffer(call, out, capacity); st != LX_OK) return st;
    const Analysis* a = analysis_of(handle);
    if (int st = check_lap_of(a, handle, lap); st != LX_OK) return st;
    return copy_out(a->laps[static_cast<std::size_t>(lap)].corners, out, capacity);
}

int stretches(int handle, int lap, lx_stretch* out, int capacity) {
    const char* call = "lx_analysis_stretches";
    if (int st = check_buffer(call, out, capacity); st != LX_OK) return st;
    const Analysis* a = analysis_of(handle);
    if (int st = check_full(a, handle, lap); st != LX_OK) return st;
    return copy_out(a->laps[static_cast<std::size_t>(lap)].stretches, out, capacity);
}

int corner_summary(int handle, lx_corner_summary* out, int capacity) {
    if (int st = check_buffer("lx_analysis_corner_summary", out, capacity); st != LX_OK) return st;
    const Analysis* a = analysis_of(handle);
    if (a == nullptr) return lx_last_status();
    return copy_out(a->summary, out, capacity);
}

int sector_times(int handle, int lap, double* out, int capacity) {
    const char* call = "lx_analysis_sector_times";
    if (int st = check_buffer(call, out, capacity); st != LX_OK) return st;
    const Analysis* a = analysis_of(handle);
    if (int st = check_full(a, handle, lap); st != LX_OK) return st;
    return copy_out(a->laps[static_cast<std::size_t>(lap)].sectors, out, capacity);
}

int best(int handle, int which, double* time, lx_piece* out, int capacity) {
    const char* call = "lx_analysis_best";
    if (int st = check_buffer(call, out, capacity); st != LX_OK) return st;
    if (which != LX_BEST_THEORETICAL && which != LX_BEST_OPTIMAL)
        return fail(LX_ERR_ARGUMENT,
                    "%s: which %d is neither LX_BEST_THEORETICAL nor LX_BEST_OPTIMAL", call, which);
    const Analysis* a = analysis_of(handle);
    if (a == nullptr) return lx_last_status();
    const std::vector<lx_piece>& pieces = which == LX_BEST_OPTIMAL ? a->optimal : a->theoretical;
    if (pieces.empty()) return fail(LX_ERR_LAP, "session %d has no full lap", handle);
    if (time != nullptr)
        *time = which == LX_BEST_OPTIMAL ? a->info.optimal_lap : a->info.theoretical_best;
    return copy_out(pieces, out, capacity);
}

int gps_track_of(int handle, int lap, double* x, double* y, int capacity, double* error) {
    const char* call = "lx_analysis_gps_track";
    if (int st = check_capacity(call, capacity); st != LX_OK) return st;
    Session* s = find_session(handle);
    if (s == nullptr || current_analysis(s, handle) == nullptr) return lx_last_status();
    if (int st = check_lap(s, handle, lap); st != LX_OK) return st;
    std::vector<double> east, north;
    if (!gps_track(s, lap, east, north))
        return fail(LX_ERR_CHANNEL, "session %d has no positions (channels East and North)",
                    handle);
    if (error != nullptr) {
        double length = s->laps[lap].lap_length;
        *error = length > 0.0 ? 100.0 * reckoning_error(s, lap) / length : NAN;
    }
    copy_out(east, x, capacity);
    return copy_out(north, y, capacity);
}

// The fastest full lap of an analysed session, traced.
int fastest_trace(int handle, analytics::LapTrace& t) {
    const Analysis* a = analysis_of(handle);
    if (a == nullptr) return lx_last_status();
    if (a->info.fastest_lap < 0) return fail(LX_ERR_LAP, "session %d has no full lap", handle);
    analytics::Failure f = analytics::trace_lap(data_session(handle), a->info.fastest_lap, t);
    return f ? fail_with(f.status, f.message) : LX_OK;
}

int same_track(int handle_a, int handle_b, double threshold, const lx_corner_options* options,
               lx_track_match* out) {
    const char* call = "lx_same_track";
    if (out == nullptr) return fail(LX_ERR_ARGUMENT, "%s: match is null", call);
    if (!(threshold >= 0.0))
        return fail(LX_ERR_ARGUMENT, "%s: threshold %g is not a number >= 0", call, threshold);
    lx_corner_options given = options ? *options : lx_corner_options{};
    analytics::CornerOptions o{given.enter_curvature, given.exit_curvature, given.min_speed,
                               given.min_length, given.merge_gap};
    if (analytics::Failure f = analytics::complete_options(o))
        return fail_with(LX_ERR_ARGUMENT, call + (": " + f.message));
    analytics::LapTrace a, b;
    if (int st = fastest_trace(handle_a, a); st != LX_OK) return st;
    if (int st = fastest_trace(handle_b, b); st != LX_OK) return st;
    analytics::TrackMatch m = analytics::match_tracks(a, b, threshold, o.min_speed);
    *out = lx_track_match{};
    out->same = m.same ? 1 : 0;
    out->lap_a = a.lap;
    out->lap_b = b.lap;
    out->length_a = m.length_a;
    out->length_b = m.length_b;
    out->match = m.match;
    out->offset = m.offset;
    copy_field(out->why, m.why);
    return LX_OK;
}

} // namespace

} // namespace lx::data

using namespace lx::data;

extern "C" {

LX_DATA_API int lx_analysis_info_get(int handle, lx_analysis_info* info) {
    return api_call([&] { return info_get(handle, info); });
}

LX_DATA_API int lx_analysis_lap_get(int handle, int lap, lx_analysis_lap* lap_out) {
    return api_call([&] { return lap_get(handle, lap, lap_out); });
}

LX_DATA_API int lx_analysis_time_diff(int handle, int lap, double* distance, double* diff,
                                      int capacity) {
    return api_call([&] { return time_diff(handle, lap, distance, diff, capacity); });
}

LX_DATA_API int lx_analysis_corners(int handle, int lap, lx_corner* out, int capacity) {
    return api_call([&] { return corners(handle, lap, out, capacity); });
}

LX_DATA_API int lx_analysis_stretches(int handle, int lap, lx_stretch* out, int capacity) {
    return api_call([&] { return stretches(handle, lap, out, capacity); });
}

LX_DATA_API int lx_analysis_corner_summary(int handle, lx_corner_summary* out, int capacity) {
    return api_call([&] { return corner_summary(handle, out, capacity); });
}

LX_DATA_API int lx_analysis_sector_times(int handle, int lap, double* times, int capacity) {
    return api_call([&] { return sector_times(handle, lap, times, capacity); });
}

LX_DATA_API int lx_analysis_best(int handle, int which, double* time, lx_piece* pieces,
                                 int capacity) {
    return api_call([&] { return best(handle, which, time, pieces, capacity); });
}

LX_DATA_API int lx_analysis_gps_track(int handle, int lap, double* x, double* y, int capacity,
                                      double* error) {
    return api_call([&] { return gps_track_of(handle, lap, x, y, capacity, error); });
}

LX_DATA_API int lx_same_track(int handle_a, int handle_b, double threshold,
                              const lx_corner_options* options, lx_track_match* match) {
    return api_call([&] { return same_track(handle_a, handle_b, threshold, options, match); });
}

} // extern "C"
