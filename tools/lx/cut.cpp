// lx cut: find the lap starts by matching a reference lap and cut the
// session there.
#include <CLI/CLI.hpp>

#include <cmath>

#include "choice.h"
#include "commands.h"
#include "matching.h"

namespace lxtool {

namespace {

struct CutOptions {
    std::string file, reference;
    int ref_lap = 0, mode = LX_CUT_BEACON_SHIFT;
    float tolerance = BEACON_TOLERANCE;
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
        std::fprintf(out, "  in lap %3d, sample %5d, %7.1f m into the lap, %s\n", m.lap + 1,
                     m.point, m.distance, where(m).c_str());
}

// The average in mode 2 mixes every match beside a beacon, however far.
void print_shift(const Session& cut, const std::vector<Match>& matches) {
    std::fprintf(out,
                 "Beacon shift: %.1f m, the average distance from a match to the beacon "
                 "beside it\n",
                 double(lx_get_beacon_shift(cut.handle())));
    std::size_t far = 0;
    std::string example;
    for (const Match& m : matches) {
        if (m.near_beacon() || std::isinf(m.from_beacon)) continue;
        if (far++ == 0) example = " (in lap " + std::to_string(m.lap + 1) + ")";
    }
    if (far > 0)
        std::fprintf(out,
                     "  It includes %s with no beacon within %.0f m%s, so it does not tell "
                     "where the beacon lies.\n",
                     count_of(far, "match").c_str(), double(BEACON_TOLERANCE), example.c_str());
}

void print_cut_laps(const Session& cut) {
    row("  %3s  %-10s %-10s %10s  %s", "lap", "time", "measured", "length m", "note");
    for (int lap = 0; lap < cut.laps(); ++lap) {
        lx_lap_info l = lap_info(cut, lap);
        row("  %3d  %-10s %-10s %10.1f  %s", lap + 1, laptime_text(l.laptime).c_str(),
            laptime_text(l.sample_time).c_str(), l.length, origin_note(cut, lap).c_str());
    }
    std::fprintf(out, "Time: the logger's for laps kept whole, else measured from the samples.\n"
                      "Note: \"Original #N\": logger lap N, kept whole. \"X m after\" or \"X m "
                      "before\": the lap ends\n"
                      "  at a match X m after or before the beacon beside it. No note: the lap "
                      "ends on a beacon\n"
                      "  or at a stop, or at a match with no beacon beside it.\n");
}

void run_cut(const CutOptions& o) {
    Session work = Session::open(o.file);
    Session ref = Session::open(o.reference);
    int ref_lap = lap_index(ref, o.ref_lap, "--ref-lap");
    MathChannels m = compute_math(work, o.math);
    for (const std::string& line : describe(work, m)) std::fprintf(out, "%s\n", line.c_str());
    compute_math(ref, o.math);
    Session cut = match_and_cut(ref, ref_lap, work, o.mode, o.tolerance);
    std::vector<Match> matches = marked_matches(work);
    lx_lap_info r = lap_info(ref, ref_lap);
    std::fprintf(out, "Reference: lap %d (%s, %.1f m) of %s\n", o.ref_lap,
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
    c->add_option("--ref", o.reference, "session file holding the reference lap (may be FILE)")
        ->required();
    c->add_option("--ref-lap", o.ref_lap, "reference lap (from 1, as lx laps lists them)")
        ->required();
    c->add_option("--mode", o.mode,
                  "0: cut at stops and matches; 1: keep beacons that a match confirms within "
                  "the tolerance, cut at matches elsewhere; 2: cut at matches and measure how "
                  "far beacons lie from them")
        ->check(CLI::IsMember({int(LX_CUT_MATCHES), int(LX_CUT_SNAP), int(LX_CUT_BEACON_SHIFT)}))
        ->capture_default_str();
    c->add_option("--tolerance", o.tolerance, "metres between a beacon and a match (mode 1)")
        ->check(within(0, 100000))
        ->capture_default_str();
    add_math_options(c, o.math);
    return {c, [] { run_cut(o); }};
}

} // namespace lxtool
