// lx delta: time gained or lost by every lap against a reference lap.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <optional>

#include "analysed.h"
#include "commands.h"

namespace lxtool {

namespace {

struct DeltaOptions {
    std::string file, reference;
    int ref_lap = 0;
    bool stretch = false; // kept for old command lines: every curve is laid by share of length
    bool json = false;
    MathOptions math;
};

// The time difference's lowest (most ahead, negative) and highest (most
// behind) values on the way, and where on the reference lap.
struct Extremes {
    double ahead = NAN, ahead_at = NAN, behind = NAN, behind_at = NAN;
};

Extremes extremes(const Session& s, int lap) {
    TimeDiff t = time_diff(s, lap);
    Extremes e;
    if (t.diff.empty()) return e;
    auto [lo, hi] = std::minmax_element(t.diff.begin(), t.diff.end());
    if (*lo < 0) e.ahead = *lo, e.ahead_at = t.distance[std::size_t(lo - t.diff.begin())];
    if (*hi > 0) e.behind = *hi, e.behind_at = t.distance[std::size_t(hi - t.diff.begin())];
    return e;
}

// "seconds metres", or dashes when the lap never got ahead (or behind) by a
// shown millisecond.
std::string extreme(double seconds, double where) {
    char text[64];
    if (std::fabs(seconds) >= 0.0005)
        std::snprintf(text, sizeof text, "%9s %9.1f", signed_seconds(seconds).c_str(), where);
    else
        std::snprintf(text, sizeof text, "%9s %9s", "-", "-");
    return text;
}

void print_table(const Session& s, const Session& ref, const Analysed& a,
                 const std::vector<Extremes>& e) {
    print_channel_lines(s, a.info);
    int w = lap_width(s);
    lx_lap_info r = lap_info(ref, a.info.ref_lap);
    std::fprintf(out, "Reference: lap %s (%s, %.1f m) of %s\n", lap_name(r).c_str(),
                 laptime_text(r.laptime).c_str(), r.length, ref.source.c_str());
    std::fprintf(out, "Gap: lap time minus the reference's, full laps only. Ahead and behind: the "
                      "time difference at its lowest (-) and highest (+) on the way, and where "
                      "on the reference lap; each curve ends at its lap's gap.\n");
    row("  %*s  %-10s %9s %9s %9s %9s %9s  %s", w, "lap", "time", "gap s", "ahead s", "at m",
        "behind s", "at m", "class");
    for (std::size_t i = 0; i < a.laps.size(); ++i) {
        const lx_lap_info& l = a.laps[i].info;
        row("  %*s  %-10s %9s %s %s  %s", w, lap_name(l).c_str(), laptime_text(l.laptime).c_str(),
            signed_seconds(a.laps[i].gap).c_str(), extreme(e[i].ahead, e[i].ahead_at).c_str(),
            extreme(e[i].behind, e[i].behind_at).c_str(),
            l.slow ? "slow" : class_name(l.lap_class));
    }
}

void print_json(const Session& s, const Session& ref, const Analysed& a,
                const std::vector<Extremes>& e) {
    lx_lap_info r = lap_info(ref, a.info.ref_lap);
    Json j;
    j.begin_object().integer("schema", 1).text("file", s.source);
    j.begin_object("reference").text("file", ref.source).integer("lap", r.number);
    j.number("time", r.laptime, 3).number("length", r.length, 1).end_object();
    j.begin_array("laps");
    for (std::size_t i = 0; i < a.laps.size(); ++i) {
        j.begin_object();
        lap_json(j, a.laps[i]);
        j.number("ahead", e[i].ahead, 3).number("ahead_at", e[i].ahead_at, 1);
        j.number("behind", e[i].behind, 3).number("behind_at", e[i].behind_at, 1);
        j.end_object();
    }
    j.end_array().end_object();
    std::fputs(j.str().c_str(), out);
}

void run_delta(const DeltaOptions& o) {
    Session work = Session::open(o.file);
    std::optional<Session> other;
    AnalysisRequest request;
    request.math = o.math;
    request.ref_lap = o.ref_lap;
    if (!o.reference.empty()) {
        other.emplace(Session::open(o.reference));
        AnalysisRequest own;
        own.math = o.math;
        analyse(*other, own);
        request.reference = &*other;
    }
    Analysed a = analyse(work, request);
    std::vector<Extremes> e(a.laps.size());
    for (std::size_t i = 0; i < a.laps.size(); ++i)
        if (a.laps[i].info.lap_class == LX_LAP_FULL) e[i] = extremes(work, int(i));
    const Session& ref = other ? *other : work;
    if (o.json)
        print_json(work, ref, a, e);
    else
        print_table(work, ref, a, e);
}

} // namespace

Command add_delta(CLI::App& app) {
    static DeltaOptions o;
    CLI::App* c = app.add_subcommand(
        "delta", "Time gained or lost by every full lap against a full reference lap of the same "
                 "track. The gap is the lap time minus the reference lap time (negative: faster); "
                 "the time difference along the lap compares each lap with the reference at the "
                 "same share of their lengths, so it ends at the gap");
    c->add_option("FILE", o.file, "session file")->required();
    add_ref_lap_option(c, o.ref_lap, true);
    add_ref_option(c, o.reference, "take the reference lap from this session file instead");
    c->add_flag("--stretch", o.stretch,
                "changes nothing, kept for old command lines: every lap is laid on the reference "
                "by share of its length, which is what it asked for");
    add_json_option(c, o.json);
    add_math_options(c, o.math);
    return {c, [] { run_delta(o); }};
}

} // namespace lxtool
