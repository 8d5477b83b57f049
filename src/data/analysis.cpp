// lx_analyse: the options checked, the channels chosen, the reference lap
// settled and every result worked out once and kept with the session.
#include "data/analysis.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "analytics/analytics.h"
#include "data/call.h"
#include "data/choice.h"
#include "data/laps.h"

namespace lx::data {

using namespace lx::analytics;

namespace {

lx_analysis_options defaults() {
    lx_analysis_options o{};
    o.speed_units = LX_SPEED_AUTO;
    o.ref_lap = -1;
    o.tolerance = LX_OPTIMAL_TOLERANCE;
    return o;
}

int failed(const Failure& f) {
    return fail_with(f.status, f.message);
}

bool is_flag(int value) {
    return value == 0 || value == 1;
}

int check_flags(const lx_analysis_options& o) {
    if (o.speed_units != LX_SPEED_AUTO && o.speed_units != LX_SPEED_KMH &&
        o.speed_units != LX_SPEED_MPH)
        return fail(LX_ERR_ARGUMENT,
                    "lx_analyse: speed_units %d is none of LX_SPEED_AUTO, LX_SPEED_KMH, "
                    "LX_SPEED_MPH",
                    o.speed_units);
    if (!is_flag(o.invert_lat))
        return fail(LX_ERR_ARGUMENT, "lx_analyse: invert_lat %d is neither 0 nor 1", o.invert_lat);
    if (!is_flag(o.invert_long))
        return fail(LX_ERR_ARGUMENT, "lx_analyse: invert_long %d is neither 0 nor 1",
                    o.invert_long);
    return LX_OK;
}

int check_options(const lx_analysis_options& o, CornerOptions& corners) {
    if (int st = check_flags(o); st != LX_OK) return st;
    if (o.ref_handle < 0)
        return fail(LX_ERR_ARGUMENT, "lx_analyse: ref_handle %d is negative", o.ref_handle);
    if (o.ref_lap < -1)
        return fail(LX_ERR_ARGUMENT, "lx_analyse: ref_lap %d is below -1", o.ref_lap);
    if (o.ncuts < 0 || o.ncuts > LX_MAX_CUTS)
        return fail(LX_ERR_ARGUMENT, "lx_analyse: ncuts %d is outside 0 to %d", o.ncuts,
                    LX_MAX_CUTS);
    if (!(o.tolerance >= 0.0) || !std::isfinite(o.tolerance))
        return fail(LX_ERR_ARGUMENT, "lx_analyse: tolerance %g is not a speed >= 0", o.tolerance);
    const lx_corner_options& c = o.corners;
    for (auto [value, name] : {std::pair{c.enter_curvature, "enter_curvature"},
                               {c.exit_curvature, "exit_curvature"},
                               {c.min_speed, "min_speed"},
                               {c.min_length, "min_length"},
                               {c.merge_gap, "merge_gap"}})
        if (!(value >= 0.0) || !std::isfinite(value))
            return fail(LX_ERR_ARGUMENT, "lx_analyse: corners.%s %g is not a number >= 0", name,
                        value);
    corners = {c.enter_curvature, c.exit_curvature, c.min_speed, c.min_length, c.merge_gap};
    Failure f = complete_options(corners);
    return f ? fail_with(LX_ERR_ARGUMENT, "lx_analyse: corners: " + f.message) : LX_OK;
}

// A lap's samples on its own clock: laid along its distance, its sample
// times scaled to its lap time.
struct Traces {
    std::vector<LapTrace> lap;
    std::vector<Failure> failure;
    std::vector<int> full; // full laps that could be traced
};

// Scales the trace's times to the lap time: over the time its samples
// count, which is what its times are made of, not over the sample time the
// file's time stamps give (on the Imola file they differ by up to 0.1 s).
void put_on_clock(const Session* s, LapTrace& trace) {
    if (trace.lap < 0) return;
    double scale = lap_time(s, trace.lap) / (trace.samples / trace.rate);
    trace.time_scale = std::isfinite(scale) && scale > 0.0 ? scale : 1.0;
}

Traces trace_laps(const Session* s) {
    Traces t;
    t.lap.resize(static_cast<std::size_t>(s->nlaps));
    t.failure.resize(t.lap.size());
    for (int l = 0; l < s->nlaps; ++l) {
        LapTrace& trace = t.lap[static_cast<std::size_t>(l)];
        t.failure[static_cast<std::size_t>(l)] = trace_lap(s, l, trace);
        put_on_clock(s, trace);
        if (!t.failure[static_cast<std::size_t>(l)] && lap_class(s, l) == LX_LAP_FULL)
            t.full.push_back(l);
    }
    return t;
}

// The fastest of the laps by lap time, the first of equals; -1 for none.
int fastest_of(const Session* s, const std::vector<int>& laps) {
    int best = -1;
    for (int l : laps)
        if (best < 0 || lap_time(s, l) < lap_time(s, best)) best = l;
    return best;
}

double median_time(const Session* s, const std::vector<int>& laps) {
    std::vector<double> times;
    for (int l : laps) times.push_back(lap_time(s, l));
    if (times.empty()) return NAN;
    std::sort(times.begin(), times.end());
    std::size_t mid = times.size() / 2;
    return times.size() % 2 ? times[mid] : (times[mid - 1] + times[mid]) / 2.0;
}

// What the analysis compares against: a lap of this session or another's.
struct Reference {
    const Session* session = nullptr;
    int handle = 0;
    int lap = -1; // -1: none (no full lap)
    LapTrace trace;
    std::vector<Corner> corners;
    std::vector<double> splits; // where the reference session's corners split
    std::vector<double> cuts;   // another session's own cuts, on its reference lap
    double cuts_length = 0.0;   // that lap's length
};

std::vector<LapTrace> full_traces(const Traces& t) {
    std::vector<LapTrace> full;
    for (int l : t.full) full.push_back(t.lap[static_cast<std::size_t>(l)]);
    return full;
}

int refuse_lap(const Session* rs, int handle, int lap) {
    if (!valid_lap(rs, lap))
        return fail(LX_ERR_LAP, "the reference lap %d does not exist: session %d has %d laps",
                    lap + 1, handle, rs->nlaps);
    return fail(LX_ERR_LAP, "the reference lap %d of session %d is %s, not a full lap", lap + 1,
                handle, class_text(lap_class(rs, lap)));
}

// A given reference lap: it exists, it is full, it can be traced.
int given_lap(const Session* rs, int handle, int lap, Reference& ref) {
    if (!valid_lap(rs, lap) || lap_class(rs, lap) != LX_LAP_FULL)
        return refuse_lap(rs, handle, lap);
    if (Failure f = trace_lap(rs, lap, ref.trace)) return failed(f);
    put_on_clock(rs, ref.trace);
    ref.lap = lap;
    return LX_OK;
}

// Another session's reference: analysed, and of the same track as this one.
int other_session(const Traces& t, const Session* s, int handle, const lx_analysis_options& o,
                  const CornerOptions& corners, Reference& ref) {
    const Session* rs = find_session(o.ref_handle);
    if (rs == nullptr) return LX_ERR_HANDLE;
    const Analysis* theirs = current_analysis(rs, o.ref_handle);
    if (theirs == nullptr) return LX_ERR_STATE;
    int fastest = theirs->info.fastest_lap, mine = fastest_of(s, t.full);
    if (fastest < 0 || mine < 0)
        return fail(LX_ERR_LAP, "session %d has no full lap to tell its track by",
                    fastest < 0 ? o.ref_handle : handle);
    LapTrace theirs_fastest;
    if (Failure f = trace_lap(rs, fastest, theirs_fastest)) return failed(f);
    TrackMatch m = match_tracks(theirs_fastest, t.lap[static_cast<std::size_t>(mine)],
                                LX_SAME_TRACK_THRESHOLD, corners.min_speed);
    if (!m.same)
        return fail_with(LX_ERR_TRACK, "the reference session " + std::to_string(o.ref_handle) +
                                           " is another track: " + m.why);
    ref.session = rs;
    ref.handle = o.ref_handle;
    ref.splits = theirs->splits;
    ref.cuts.assign(theirs->info.cuts, theirs->info.cuts + theirs->info.ncuts);
    ref.cuts_length = theirs->info.ref_length;
    return given_lap(rs, o.ref_handle, o.ref_lap < 0 ? fastest : o.ref_lap, ref);
}

int settle_reference(const Traces& t, const Session* s, int handle, const lx_analysis_options& o,
                     const CornerOptions& corners, const std::vector<double>& splits,
                     Reference& ref) {
    if (o.ref_handle != 0 && o.ref_handle != handle) {
        if (int st = other_session(t, s, handle, o, corners, ref); st != LX_OK) return st;
    } else {
        ref.session = s;
        ref.handle = handle;
        ref.splits = splits;
        if (o.ref_lap >= 0) {
            if (int st = given_lap(s, handle, o.ref_lap, ref); st != LX_OK) return st;
        } else if (int fastest = fastest_of(s, t.full); fastest >= 0) {
            ref.trace = t.lap[static_cast<std::size_t>(fastest)];
            ref.lap = fastest;
        }
    }
    if (ref.lap >= 0) ref.corners = find_corners(ref.trace, corners, &ref.splits);
    return LX_OK;
}

lx_corner corner_record(const Corner& k) {
    return {k.number,         k.direction,   k.paired,    k.entry,      k.apex, k.exit,
            k.peak_curvature, k.entry_speed, k.min_speed, k.exit_speed, k.time};
}

lx_stretch stretch_record(const Stretch& s) {
    return {s.corner, s.before,      s.start,     s.end,       s.time,
            s.gain,   s.entry_speed, s.min_speed, s.exit_speed};
}

// Gaps, curves, corners, stretches: each lap against the reference.
void compare_laps(const Session* s, const Traces& t, const Reference& ref,
                  const CornerOptions& corners, Analysis& a) {
    const std::vector<double>* splits = &a.splits;
    a.laps.resize(t.lap.size());
    for (std::size_t l = 0; l < t.lap.size(); ++l) {
        LapResult& r = a.laps[l];
        r.gap = NAN;
        if (const Failure& f = t.failure[l]) {
            r.status = f.status;
            r.failure = f.message;
            continue;
        }
        std::vector<Corner> found = find_corners(t.lap[l], corners, splits);
        if (ref.lap >= 0) pair_corners(found, t.lap[l].length(), ref.corners, ref.trace.length());
        for (const Corner& k : found) r.corners.push_back(corner_record(k));
    }
    if (ref.lap < 0) return;
    for (int l : t.full) {
        LapResult& r = a.laps[static_cast<std::size_t>(l)];
        const LapTrace& lap = t.lap[static_cast<std::size_t>(l)];
        r.gap = lap_time(s, l) - lap_time(ref.session, ref.lap);
        r.curve = time_difference(lap, ref.trace);
        for (const Stretch& st : compare_stretches(lap, ref.trace, ref.corners))
            r.stretches.push_back(stretch_record(st));
    }
}

void keep_fastest(double speed, int lap, double& kept, int& kept_lap) {
    if (kept_lap < 0 || speed > kept) kept = speed, kept_lap = lap;
}

// Each reference corner over the full laps: the best speeds and the lap that
// lost most there; one that lost nothing, as the reference itself, never is.
void summarise_corners(const Traces& t, const Reference& ref, Analysis& a) {
    for (const Corner& k : ref.corners) {
        lx_corner_summary sum{};
        sum.corner = corner_record(k);
        sum.best_entry_lap = sum.best_min_lap = sum.best_exit_lap = sum.lost_lap = -1;
        auto at = static_cast<std::size_t>(2 * k.number - 1); // corners lie between straights
        for (int l : t.full) {
            const std::vector<lx_stretch>& stretches =
                a.laps[static_cast<std::size_t>(l)].stretches;
            if (at >= stretches.size()) continue;
            const lx_stretch& st = stretches[at];
            keep_fastest(st.entry_speed, l, sum.best_entry_speed, sum.best_entry_lap);
            keep_fastest(st.min_speed, l, sum.best_min_speed, sum.best_min_lap);
            keep_fastest(st.exit_speed, l, sum.best_exit_speed, sum.best_exit_lap);
            if (st.gain > 0.0 && (sum.lost_lap < 0 || st.gain > sum.most_lost))
                sum.most_lost = st.gain, sum.lost_lap = l;
        }
        a.summary.push_back(sum);
    }
}

std::vector<lx_piece> piece_records(const BestLap& best) {
    std::vector<lx_piece> out;
    for (const Piece& p : best.pieces) out.push_back({p.start, p.end, p.time, p.lap});
    return out;
}

// Where the reference lap of this session passed the logger's split gates,
// in the trace's metres.
std::vector<double> gate_cuts(const Reference& ref) {
    std::vector<double> cuts;
    const Session* s = ref.session;
    if (ref.cuts_length > 0.0 || s->record == nullptr) return cuts;
    const Lap& lap = s->laps[ref.lap];
    double logged = lap.npoints > 0 ? double(lap.raw[2][lap.npoints - 1]) : 0.0;
    for (const SplitCrossing& c : s->record->splits)
        if (c.lap == ref.lap && logged > 0.0)
            cuts.push_back(c.distance * ref.trace.length() / logged);
    std::sort(cuts.begin(), cuts.end());
    return cuts;
}

// Given cuts; else another session's own cuts, carried by the lengths; else
// the logger's split gates; else the cuts the full laps' shape gives. Too straight a lap for two
// cuts is one sector, the whole lap.
int settle_cuts(const lx_analysis_options& o, const Traces& t, const CornerOptions& corners,
                const Reference& ref, std::vector<double>& cuts, int& from) {
    from = LX_CUTS_GIVEN;
    if (o.ncuts > 0) {
        cuts.assign(o.cuts, o.cuts + o.ncuts);
        if (ref.lap < 0) return fail(LX_ERR_LAP, "no full lap to lay the sector cuts on");
        Failure f = check_cuts(cuts, ref.trace.length());
        return f ? failed(f) : LX_OK;
    }
    from = LX_CUTS_SHAPE;
    if (ref.lap < 0) return LX_OK;
    if (ref.session != nullptr && ref.cuts_length > 0.0) {
        for (double c : ref.cuts) cuts.push_back(c * ref.trace.length() / ref.cuts_length);
        from = LX_CUTS_REFERENCE;
        if (!check_cuts(cuts, ref.trace.length())) return LX_OK;
        cuts.clear();
    }
    cuts = gate_cuts(ref);
    from = LX_CUTS_GATES;
    if (!cuts.empty() && !check_cuts(cuts, ref.trace.length())) return LX_OK;
    cuts.clear();
    from = LX_CUTS_SHAPE;
    std::vector<LapTrace> full = full_traces(t);
    if (ref.session != nullptr && ref.cuts_length > 0.0) full = {ref.trace};
    if (default_cuts(full, ref.trace, corners, cuts)) cuts.clear();
    return LX_OK;
}

void time_sectors(const Traces& t, const Reference& ref, const std::vector<double>& cuts,
                  double tolerance, Analysis& a) {
    SectorTable table = sector_table(full_traces(t), ref.trace, cuts);
    for (std::size_t i = 0; i < table.laps.size(); ++i)
        a.laps[static_cast<std::size_t>(table.laps[i])].sectors = table.times[i];
    if (table.laps.empty()) return;
    BestLap theoretical = theoretical_best(table);
    BestLap optimal = optimal_lap(table, ref.corners, tolerance);
    a.theoretical = piece_records(theoretical);
    a.optimal = piece_records(optimal);
    a.info.theoretical_best = theoretical.time;
    a.info.optimal_lap = optimal.time;
}

void describe(const Session* s, const Traces& t, const Reference& ref, const ChannelChoice& c,
              Analysis& a) {
    lx_analysis_info& i = a.info;
    i.speed_channel = c.speed;
    i.lateral_channel = c.lateral.front().channel;
    i.longitudinal_channel = c.longitudinal;
    i.speed_units = c.speed_units;
    i.lateral_given = c.lateral_given;
    i.candidates = static_cast<int>(std::min<std::size_t>(c.lateral.size(), LX_MAX_CANDIDATES));
    std::copy_n(c.lateral.begin(), i.candidates, i.candidate);
    copy_field(i.choice, c.reasons);
    copy_field(i.warning, c.warning);
    i.ref_handle = ref.handle;
    i.ref_lap = ref.lap;
    i.ref_time = ref.lap >= 0 ? lap_time(ref.session, ref.lap) : NAN;
    i.ref_length = ref.lap >= 0 ? ref.trace.length() : NAN;
    i.full_laps = static_cast<int>(t.full.size());
    i.fastest_lap = fastest_of(s, t.full);
    i.fastest_time = i.fastest_lap >= 0 ? lap_time(s, i.fastest_lap) : NAN;
    i.median_time = median_time(s, t.full);
    i.corners = static_cast<int>(ref.corners.size());
    i.theoretical_best = i.optimal_lap = NAN;
}

int analyse(int handle, const lx_analysis_options* given) {
    Session* s = find_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (s->record == nullptr) s->record = new SessionRecord;
    s->record->analysis.reset();
    lx_analysis_options o = given ? *given : defaults();
    CornerOptions corners;
    if (int st = check_options(o, corners); st != LX_OK) return st;
    if (s->nlaps == 0) return fail(LX_ERR_LAP, "session %d has no laps", handle);
    ChannelChoice choice;
    ChannelRequest request{o.speed,       o.lateral,    o.longitudinal,
                           o.speed_units, o.invert_lat, o.invert_long};
    if (int st = choose_channels(s, handle, request, choice); st != LX_OK) return st;
    Traces t = trace_laps(s);
    std::vector<double> splits = split_shares(full_traces(t), corners);
    Reference ref;
    if (int st = settle_reference(t, s, handle, o, corners, splits, ref); st != LX_OK) return st;
    std::vector<double> cuts;
    int cuts_from;
    if (int st = settle_cuts(o, t, corners, ref, cuts, cuts_from); st != LX_OK) return st;

    auto a = std::make_unique<Analysis>();
    a->stamp = s->math_runs;
    a->splits = std::move(splits);
    a->corners = {corners.enter_curvature, corners.exit_curvature, corners.min_speed,
                  corners.min_length, corners.merge_gap};
    describe(s, t, ref, choice, *a);
    a->info.ncuts = static_cast<int>(cuts.size());
    std::copy(cuts.begin(), cuts.end(), a->info.cuts);
    a->info.default_cuts = o.ncuts == 0;
    a->info.cuts_from = cuts_from;
    compare_laps(s, t, ref, corners, *a);
    if (ref.lap >= 0) {
        a->distance = ref.trace.position;
        summarise_corners(t, ref, *a);
        time_sectors(t, ref, cuts, o.tolerance, *a);
    }
    s->record->analysis = std::move(a);
    return LX_OK;
}

} // namespace

const char* class_text(int lap_class) {
    switch (lap_class) {
    case LX_LAP_FULL:
        return "a full lap";
    case LX_LAP_OUT:
        return "the out-lap";
    case LX_LAP_IN:
        return "the in-lap";
    case LX_LAP_PARTIAL:
        return "a partial lap";
    case LX_LAP_DOUBLE:
        return "a double lap";
    default:
        return "of no class yet";
    }
}

const Analysis* current_analysis(const Session* s, int handle) {
    const Analysis* a =
        s->record ? dynamic_cast<const Analysis*>(s->record->analysis.get()) : nullptr;
    if (a == nullptr)
        fail(LX_ERR_STATE, "session %d has not been analysed yet", handle);
    else if (a->stamp != s->math_runs)
        fail(LX_ERR_STATE,
             "the analysis of session %d is older than its session math: analyse it again", handle);
    else
        return a;
    return nullptr;
}

} // namespace lx::data

using namespace lx::data;

extern "C" {

LX_DATA_API int lx_analysis_defaults(lx_analysis_options* options) {
    return api_call([&] {
        if (options == nullptr)
            return fail(LX_ERR_ARGUMENT, "lx_analysis_defaults: options is null");
        *options = defaults();
        return static_cast<int>(LX_OK);
    });
}

LX_DATA_API int lx_analyse(int handle, const lx_analysis_options* options) {
    return api_call([&] { return analyse(handle, options); });
}

} // extern "C"
