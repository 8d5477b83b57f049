// lx cut: find the lap starts by matching a reference lap and cut the
// session there.
#include <CLI/CLI.hpp>

#include "commands.h"
#include "matching.h"

namespace lxtool {

namespace {

struct CutOptions {
    std::string file, reference;
    int ref_lap = 0, mode = 2;
    float tolerance = 50;
    MathOptions math;
};

void run_cut(const CutOptions& o) {
    Session work = Session::open(o.file);
    Session ref = Session::open(o.reference);
    int ref_lap = lap_index(ref, o.ref_lap, "--ref-lap");
    compute_math(work, o.math);
    compute_math(ref, o.math);
    compute_error_channel(ref, ref_lap, work);
    std::vector<Match> matches = locate_laps(ref, ref_lap, work);
    std::fprintf(out, "Reference: lap %d (%s, %.1f m) of %s\n", o.ref_lap,
                 lap_text(ref, ref_lap).time.c_str(), double(lx_lap_length(ref.handle(), ref_lap)),
                 ref.source.c_str());
    std::fprintf(out, "Lap starts found by matching: %zu\n", matches.size());
    for (const Match& m : matches)
        std::fprintf(out, "  in lap %3d, sample %5d, %7.1f m into the lap\n", m.lap + 1, m.point,
                     m.distance);

    Session cut = cut_session(ref, ref_lap, work, o.mode, o.tolerance);
    char tolerance[64] = "";
    if (o.mode == 1) std::snprintf(tolerance, sizeof tolerance, ", tolerance %g m", o.tolerance);
    std::fprintf(out, "Cut session (mode %d%s): %d laps, beacon shift %.1f m\n", o.mode, tolerance,
                 cut.laps(), double(lx_get_beacon_shift(cut.handle())));
    std::fprintf(out, "  %3s  %-10s %-10s %10s  %s\n", "lap", "time", "measured", "length m",
                 "note");
    for (int lap = 0; lap < cut.laps(); ++lap) {
        LapText t = lap_text(cut, lap);
        std::fprintf(out, "  %3d  %-10s %-10s %10.1f  %s\n", lap + 1, t.time.c_str(),
                     lap_text(cut, lap, 1, 1).time.c_str(),
                     double(lx_lap_length(cut.handle(), lap)), t.note.c_str());
    }
}

} // namespace

Command add_cut(CLI::App& app) {
    static CutOptions o;
    CLI::App* c = app.add_subcommand(
        "cut", "Find the lap starts by matching a reference lap, and cut the session there");
    c->add_option("FILE", o.file, "logger export to cut")->required();
    c->add_option("--ref", o.reference, "export holding the reference lap (may be FILE)")
        ->required();
    c->add_option("--ref-lap", o.ref_lap, "reference lap (from 1, as lx laps lists them)")
        ->required();
    c->add_option("--mode", o.mode,
                  "0: cut at stops and matches; 1: keep beacons that a match confirms within "
                  "the tolerance, cut at matches elsewhere; 2: cut at matches and measure how "
                  "far beacons lie from them")
        ->check(CLI::IsMember({0, 1, 2}))
        ->capture_default_str();
    c->add_option("--tolerance", o.tolerance, "metres between a beacon and a match (mode 1)")
        ->check(CLI::Range(0.0f, 100000.0f))
        ->capture_default_str();
    add_math_options(c, o.math);
    return {c, [] { run_cut(o); }};
}

} // namespace lxtool
