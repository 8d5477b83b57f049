// The analytics calls of the data API: arguments checked, the laps traced,
// results copied into the caller's records.
#include <algorithm>
#include <cmath>
#include <vector>

#include "analytics/analytics.h"
#include "data/call.h"
#include "data/laps.h"

namespace lx::data {

namespace {

using namespace lx::analytics;

int failed(const char* call, const Failure& f) {
    return fail(f.status, "%s: %s", call, f.message.c_str());
}

template <typename T> int check_buffer(const char* call, const T* buffer, int capacity) {
    if (capacity < 0) return fail(LX_ERR_ARGUMENT, "%s: capacity %d is negative", call, capacity);
    if (buffer == nullptr && capacity > 0)
        return fail(LX_ERR_ARGUMENT, "%s: the buffer is null but capacity is %d", call, capacity);
    return LX_OK;
}

// Copies what fits and returns the full count.
template <typename T, typename Make>
int copy_out(const std::vector<T>& items, int capacity, Make make) {
    int n = static_cast<int>(items.size());
    for (int i = 0; i < std::min(n, capacity); ++i) make(items[i], i);
    return n;
}

int read_options(const char* call, const lx_corner_options* in, CornerOptions& out) {
    out = in ? CornerOptions{in->enter_curvature, in->exit_curvature, in->min_speed, in->min_length,
                             in->merge_gap}
             : CornerOptions{0.0, 0.0, 0.0, 0.0, 0.0};
    Failure f = complete_options(out);
    return f ? failed(call, f) : LX_OK;
}

// The session under handle with its session math done, or null after failing.
const Session* math_session(const char* call, int handle) {
    const Session* s = find_session(handle);
    if (s == nullptr) return nullptr;
    if (s->i_speed == 0 || s->i_seglen == 0 || s->i_radius == 0 || !session_math_ran(s)) {
        fail(LX_ERR_STATE,
             "%s: session %d has no session math yet (lx_session_setup, then "
             "lx_compute_session_math)",
             call, handle);
        return nullptr;
    }
    return s;
}

// The full laps. The recording's first and last laps start or end off the
// line (the box, the pit lane) even when their length passes for a full lap's.
std::vector<int> full_laps(const Session* s) {
    std::vector<int> laps;
    int bounded = s->nlaps > 2 ? 1 : 0;
    for (int l = bounded; l < s->nlaps - bounded; ++l)
        if (lap_class(s, l) == LX_LAP_FULL) laps.push_back(l);
    return laps;
}

// The full laps whose samples can be traced.
std::vector<LapTrace> full_traces(const Session* s) {
    std::vector<LapTrace> traces;
    for (int l : full_laps(s))
        if (LapTrace t; !trace_lap(s, l, t)) traces.push_back(std::move(t));
    return traces;
}

// The shortest full lap that can be traced; -1 for none.
int fastest_full_lap(const Session* s) {
    std::vector<int> laps = full_laps(s);
    std::stable_sort(laps.begin(), laps.end(),
                     [&](int a, int b) { return s->laps[a].npoints < s->laps[b].npoints; });
    for (int l : laps)
        if (LapTrace t; !trace_lap(s, l, t)) return l;
    return -1;
}

int trace(const char* call, const Session* s, int handle, int lap, LapTrace& t) {
    if (int status = check_lap(s, handle, lap); status != LX_OK) return status;
    Failure f = trace_lap(s, lap, t);
    return f ? failed(call, f) : LX_OK;
}

// The lap asked for, or for -1 the fastest full lap.
int trace_reference(const char* call, const Session* s, int handle, int lap, LapTrace& t) {
    if (lap == -1) lap = fastest_full_lap(s);
    if (lap == -1)
        return fail(LX_ERR_LAP, "%s: session %d has no full lap to take as the reference", call,
                    handle);
    return trace(call, s, handle, lap, t);
}

// What most calls need: the reference lap, a lap and the corner options.
struct Pair {
    LapTrace ref, lap;
    CornerOptions options;
};

// The reference lap of a session whose math has run, and the corner options.
int prepare_reference(const char* call, int ref_handle, int ref_lap,
                      const lx_corner_options* options, Pair& p) {
    const Session* rs = math_session(call, ref_handle);
    if (rs == nullptr) return lx_last_status();
    if (int st = read_options(call, options, p.options); st != LX_OK) return st;
    return trace_reference(call, rs, ref_handle, ref_lap, p.ref);
}

int prepare(const char* call, int ref_handle, int ref_lap, int handle, int lap,
            const lx_corner_options* options, Pair& p) {
    if (int st = prepare_reference(call, ref_handle, ref_lap, options, p); st != LX_OK) return st;
    const Session* s = math_session(call, handle);
    if (s == nullptr) return lx_last_status();
    return trace(call, s, handle, lap, p.lap);
}

int lap_corners(int ref_handle, int ref_lap, int handle, int lap, const lx_corner_options* options,
                lx_corner* out, int capacity) {
    const char* call = "lx_lap_corners";
    if (int st = check_buffer(call, out, capacity); st != LX_OK) return st;
    Pair p;
    if (int st = prepare(call, ref_handle, ref_lap, handle, lap, options, p); st != LX_OK)
        return st;
    std::vector<Corner> corners = find_corners(p.lap, p.options);
    pair_corners(corners, p.lap.length(), find_corners(p.ref, p.options), p.ref.length());
    return copy_out(corners, capacity, [&](const Corner& k, int i) {
        out[i] = {k.number,         k.direction,   k.paired,    k.entry,      k.apex, k.exit,
                  k.peak_curvature, k.entry_speed, k.min_speed, k.exit_speed, k.time};
    });
}

int lap_stretches(int ref_handle, int ref_lap, int handle, int lap,
                  const lx_corner_options* options, lx_stretch* out, int capacity) {
    const char* call = "lx_lap_stretches";
    if (int st = check_buffer(call, out, capacity); st != LX_OK) return st;
    Pair p;
    if (int st = prepare(call, ref_handle, ref_lap, handle, lap, options, p); st != LX_OK)
        return st;
    std::vector<Stretch> stretches =
        compare_stretches(p.lap, p.ref, find_corners(p.ref, p.options));
    return copy_out(stretches, capacity, [&](const Stretch& s, int i) {
        out[i] = {s.corner, s.before,      s.start,     s.end,       s.time,
                  s.gain,   s.entry_speed, s.min_speed, s.exit_speed};
    });
}

int sector_cuts(int handle, int ref_lap, const lx_corner_options* options, double* out,
                int capacity) {
    const char* call = "lx_sector_cuts";
    if (int st = check_buffer(call, out, capacity); st != LX_OK) return st;
    Pair p;
    if (int st = prepare_reference(call, handle, ref_lap, options, p); st != LX_OK) return st;
    std::vector<double> cuts;
    if (Failure f = default_cuts(find_corners(p.ref, p.options), p.ref.length(), cuts))
        return failed(call, f);
    return copy_out(cuts, capacity, [&](double c, int i) { out[i] = c; });
}

int read_cuts(const char* call, const double* cuts, int ncuts, const LapTrace& ref,
              std::vector<double>& out) {
    if (ncuts < 0 || (cuts == nullptr && ncuts > 0))
        return fail(LX_ERR_ARGUMENT, "%s: %d cuts from %s", call, ncuts, cuts ? "a list" : "null");
    out.assign(cuts, cuts + ncuts);
    Failure f = check_cuts(out, ref.length());
    return f ? failed(call, f) : LX_OK;
}

int lap_sector_times(int ref_handle, int ref_lap, int handle, int lap, const double* cuts,
                     int ncuts, double* out, int capacity) {
    const char* call = "lx_sector_times";
    if (int st = check_buffer(call, out, capacity); st != LX_OK) return st;
    Pair p;
    if (int st = prepare(call, ref_handle, ref_lap, handle, lap, nullptr, p); st != LX_OK)
        return st;
    std::vector<double> list;
    if (int st = read_cuts(call, cuts, ncuts, p.ref, list); st != LX_OK) return st;
    return copy_out(sector_times(p.lap, p.ref, list), capacity,
                    [&](double t, int i) { out[i] = t; });
}

// The sector table of a session's full laps, and the reference's corners.
struct Sectors {
    SectorTable table;
    std::vector<Corner> corners;
};

int sectors(const char* call, int handle, int ref_lap, const double* cuts, int ncuts,
            const lx_corner_options* options, double* time, Sectors& out) {
    if (time == nullptr) return fail(LX_ERR_ARGUMENT, "%s: time is null", call);
    Pair p;
    if (int st = prepare_reference(call, handle, ref_lap, options, p); st != LX_OK) return st;
    std::vector<double> list;
    if (int st = read_cuts(call, cuts, ncuts, p.ref, list); st != LX_OK) return st;
    std::vector<LapTrace> laps = full_traces(lookup_session(handle));
    if (laps.empty()) return fail(LX_ERR_LAP, "%s: session %d has no full lap", call, handle);
    out.table = sector_table(laps, p.ref, list);
    out.corners = find_corners(p.ref, p.options);
    return LX_OK;
}

int copy_best(const BestLap& best, double* time, lx_piece* out, int capacity) {
    *time = best.time;
    return copy_out(best.pieces, capacity, [&](const Piece& p, int i) {
        out[i] = {p.start, p.end, p.time, p.lap};
    });
}

int best_of_sectors(int handle, int ref_lap, const double* cuts, int ncuts, double* time,
                    lx_piece* out, int capacity) {
    const char* call = "lx_theoretical_best";
    if (int st = check_buffer(call, out, capacity); st != LX_OK) return st;
    Sectors s;
    if (int st = sectors(call, handle, ref_lap, cuts, ncuts, nullptr, time, s); st != LX_OK)
        return st;
    return copy_best(theoretical_best(s.table), time, out, capacity);
}

int optimal(int handle, int ref_lap, const double* cuts, int ncuts, double tolerance,
            const lx_corner_options* options, double* time, lx_piece* out, int capacity) {
    const char* call = "lx_optimal_lap";
    if (int st = check_buffer(call, out, capacity); st != LX_OK) return st;
    if (!(tolerance >= 0.0))
        return fail(LX_ERR_ARGUMENT, "%s: tolerance %g is not a speed >= 0", call, tolerance);
    Sectors s;
    if (int st = sectors(call, handle, ref_lap, cuts, ncuts, options, time, s); st != LX_OK)
        return st;
    return copy_best(optimal_lap(s.table, s.corners, tolerance), time, out, capacity);
}

} // namespace

} // namespace lx::data

using namespace lx::data;

extern "C" {

LX_DATA_API int lx_lap_corners(int ref_handle, int ref_lap, int handle, int lap,
                               const lx_corner_options* options, lx_corner* corners, int capacity) {
    return api_call(
        [&] { return lap_corners(ref_handle, ref_lap, handle, lap, options, corners, capacity); });
}

LX_DATA_API int lx_lap_stretches(int ref_handle, int ref_lap, int handle, int lap,
                                 const lx_corner_options* options, lx_stretch* stretches,
                                 int capacity) {
    return api_call([&] {
        return lap_stretches(ref_handle, ref_lap, handle, lap, options, stretches, capacity);
    });
}

LX_DATA_API int lx_sector_cuts(int handle, int ref_lap, const lx_corner_options* options,
                               double* cuts, int capacity) {
    return api_call([&] { return sector_cuts(handle, ref_lap, options, cuts, capacity); });
}

LX_DATA_API int lx_sector_times(int ref_handle, int ref_lap, int handle, int lap,
                                const double* cuts, int ncuts, double* times, int capacity) {
    return api_call([&] {
        return lap_sector_times(ref_handle, ref_lap, handle, lap, cuts, ncuts, times, capacity);
    });
}

LX_DATA_API int lx_theoretical_best(int handle, int ref_lap, const double* cuts, int ncuts,
                                    double* time, lx_piece* pieces, int capacity) {
    return api_call(
        [&] { return best_of_sectors(handle, ref_lap, cuts, ncuts, time, pieces, capacity); });
}

LX_DATA_API int lx_optimal_lap(int handle, int ref_lap, const double* cuts, int ncuts,
                               double tolerance, const lx_corner_options* options, double* time,
                               lx_piece* pieces, int capacity) {
    return api_call([&] {
        return optimal(handle, ref_lap, cuts, ncuts, tolerance, options, time, pieces, capacity);
    });
}

} // extern "C"
