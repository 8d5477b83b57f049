// lx cut: find the lap starts by matching a reference lap and cut the
// session there.
#include <CLI/CLI.hpp>

#include <cmath>

#include "analysed.h"
#include "commands.h"
#include "matching.h"

namespace lxtool {

namespace {

struct CutOptions {
    std::string file, reference;
    int ref_lap = 0, mode = LX_CUT_BEACON_SHIFT;
    float tolerance = BEACON_TOLERANCE;
    bool json = false;
    MathOptions math;
};

std::string where(const Match& m) {
    if (m.from_beacon == 0) return "on a beacon";
    if (std::isinf(m.from_beacon)) return "no beacon in the session";
    char text[96];
    if (!m.near_beacon())
        std::snprintf(text, sizeof text, "no beacon within %.0f m", double(BEACON_TOLERANCE));
    else
        std::snprintf(text, sizeof text, "%.1f m %s a beacon", std::fabs(m.from_beacon),
                      m.from_beacon > 0 ? "after" : "before");
    return text;
}

void print_matches(const std::vector<Match>& matches) {
    std::fprintf(out, "Lap starts found by matching: %zu\n", matches.size());
    for (const Match& m : matches)
        std::fprintf(out, "  in lap %3d, sample %5d, %7.1f m into the lap, %s\n", m.number, m.point,
                     m.distance, where(m).c_str());
}

// The average in mode 2 mixes every match beside a beacon, however far.
void print_shift(const Session& cut, const std::vector<Match>& matches) {
    std::fprintf(out,
                 "Beacon shift: %.1f m, the average distance from a match to the beacon "
                 "beside it\n",
                 cut.info().beacon_shift);
    std::size_t far = 0;
    std::string example;
    for (const Match& m : matches) {
        if (m.near_beacon() || std::isinf(m.from_beacon)) continue;
        if (far++ == 0) example = " (in lap " + std::to_string(m.number) + ")";
    }
    if (far > 0)
        std::fprintf(out,
                     "  It includes %s with no beacon within %.0f m%s, so it does not tell "
                     "where the beacon lies.\n",
                     count_of(far, "match").c_str(), double(BEACON_TOLERANCE), example.c_str());
}

void print_cut_laps(const Session& cut) {
    int w = lap_width(cut);
    row("  %*s  %-10s %-10s %10s  %s", w, "lap", "time", "measured", "length m", "origin");
    for (int lap = 0; lap < cut.laps(); ++lap) {
        lx_lap_info l = lap_info(cut, lap);
        row("  %*s  %-10s %-10s %10.1f  %s", w, lap_name(l).c_str(),
            laptime_text(l.laptime).c_str(), laptime_text(l.sample_time).c_str(), l.length,
            origin_text(l).c_str());
    }
    std::fprintf(out, "Time: the logger's for laps kept whole, else measured from the samples.\n");
}

void print_json(const Session& ref, int ref_lap, const std::vector<Match>& matches,
                const Session& cut, const CutOptions& o) {
    lx_lap_info r = lap_info(ref, ref_lap);
    Json j;
    j.begin_object().integer("schema", 1).text("file", o.file);
    j.begin_object("reference").text("file", ref.source).integer("lap", r.number);
    j.number("time", r.laptime, 3).number("length", r.length, 1).end_object();
    j.integer("mode", o.mode).begin_array("matches");
    for (const Match& m : matches) {
        j.begin_object().integer("lap", m.number);
        j.integer("sample", m.point).number("distance", m.distance, 1);
        j.number("from_beacon", std::isinf(m.from_beacon) ? NAN : m.from_beacon, 1).end_object();
    }
    j.end_array();
    if (o.mode == LX_CUT_BEACON_SHIFT) j.number("beacon_shift", cut.info().beacon_shift, 1);
    j.begin_array("laps");
    for (int lap = 0; lap < cut.laps(); ++lap) {
        lx_lap_info l = lap_info(cut, lap);
        j.begin_object().integer("lap", l.number).integer("logger_lap", l.logger_lap);
        j.number("time", l.laptime, 3).number("sample_time", l.sample_time, 3);
        j.number("length", l.length, 1).integer("origin_lap", l.origin_lap);
        j.number("origin_offset", l.origin_offset, 1).end_object();
    }
    j.end_array().end_object();
    std::fputs(j.str().c_str(), out);
}

void run_cut(const CutOptions& o) {
    Session work = Session::open(o.file);
    Session ref = Session::open(o.reference);
    int ref_lap = lap_index(ref, o.ref_lap, "--ref-lap");
    // Lap matching takes any lap as its reference: it serves recordings without lap marks.
    AnalysisRequest request;
    request.math = o.math;
    Analysed a = analyse(work, request);
    analyse(ref, request);
    Session cut = match_and_cut(ref, ref_lap, work, o.mode, o.tolerance);
    std::vector<Match> matches = marked_matches(work);
    if (o.json) return print_json(ref, ref_lap, matches, cut, o);
    print_channel_lines(work, a.info);
    lx_lap_info r = lap_info(ref, ref_lap);
    std::fprintf(out, "Reference: lap %s (%s, %.1f m) of %s\n", lap_name(r).c_str(),
                 laptime_text(r.laptime).c_str(), r.length, ref.source.c_str());
    print_matches(matches);
    char tolerance[64] = "";
    if (o.mode == LX_CUT_SNAP)
        std::snprintf(tolerance, sizeof tolerance, ", tolerance %g m", o.tolerance);
    std::fprintf(out, "Cut session (mode %d%s): %s\n", o.mode, tolerance,
                 count_of(std::size_t(cut.laps()), "lap").c_str());
    if (o.mode == LX_CUT_BEACON_SHIFT) print_shift(cut, matches);
    print_cut_laps(cut);
}

} // namespace

Command add_cut(CLI::App& app) {
    static CutOptions o;
    CLI::App* c = app.add_subcommand(
        "cut", "Find the lap starts by matching a reference lap, and cut the session there");
    c->add_option("FILE", o.file, "session file to cut")->required();
    add_ref_option(c, o.reference, "session file holding the reference lap (may be FILE)");
    c->get_option("--ref")->required();
    add_ref_lap_option(c, o.ref_lap, true);
    c->add_option("--mode", o.mode,
                  "0: cut at stops and matches; 1: keep beacons that a match confirms within "
                  "the tolerance, cut at matches elsewhere; 2: cut at matches and measure how "
                  "far beacons lie from them")
        ->check(CLI::IsMember({int(LX_CUT_MATCHES), int(LX_CUT_SNAP), int(LX_CUT_BEACON_SHIFT)}))
        ->capture_default_str();
    c->add_option("--tolerance", o.tolerance, "metres between a beacon and a match (mode 1)")
        ->check(within(0, 100000))
        ->capture_default_str();
    add_json_option(c, o.json);
    add_math_options(c, o.math);
    return {c, [] { run_cut(o); }};
}

} // namespace lxtool
