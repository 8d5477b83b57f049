// lx corners, lx sectors and lx compare: corners found from the curvature,
// sector times and the best laps, and two sessions side by side.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>

#include "analytics.h"
#include "choice.h"
#include "commands.h"
#include "compare_page.h"

namespace lxtool {

namespace {

constexpr int MAX_CORNERS = 256;
constexpr double START_LINE_SLACK = 50.0; // m: start lines further apart are worth a word

// The reference lap from --ref-lap (from 1), or the library's choice (-1).
int reference_lap(const Session& s, int ref_lap) {
    return ref_lap == 0 ? -1 : lap_index(s, ref_lap, "--ref-lap");
}

std::string seconds(double t) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.3f", t);
    return text;
}

// ---- lx corners

struct CornersOptions {
    std::string file;
    int ref_lap = 0;
    CornerFlags flags;
    MathOptions math;
};

void run_corners(const CornersOptions& o) {
    Session s = Session::open(o.file);
    MathChannels m = compute_math(s, o.math);
    for (const std::string& line : describe(s, m)) std::fprintf(out, "%s\n", line.c_str());
    lx_corner_options opt = o.flags.options();
    int ref = resolved_reference(s, reference_lap(s, o.ref_lap), opt);
    CornerTable table = corner_table(s, ref, opt);
    std::fprintf(out, "Reference: lap %d (%s), %zu corners, numbered from the start line\n",
                 ref + 1, laptime_text(lap_info(s, ref).laptime).c_str(), table.reference.size());
    std::fprintf(out, "  %6s  %-5s %8s %8s %8s %8s %9s %13s %15s\n", "corner", "hand", "entry m",
                 "apex m", "exit m", "radius m", "min km/h", "best min (lap)", "most lost (lap)");
    for (const CornerSummary& sum : table.corners) {
        const lx_corner& c = sum.corner;
        std::fprintf(out, "  %6d  %-5s %8.1f %8.1f %8.1f %8.1f %9.1f %7.1f (%3d) %8s (%3d)\n",
                     c.number, hand(c.direction), c.entry, c.apex, c.exit,
                     1000.0 / c.peak_curvature, c.min_speed * KMH, sum.best_min * KMH, sum.best_lap,
                     seconds(sum.most_lost).c_str(), sum.lost_lap);
    }
    std::fprintf(out, "Corners found on each lap alone (paired: at a reference corner's place):\n");
    std::fprintf(out, "  %3s  %-10s %7s %6s  %s\n", "lap", "time", "corners", "paired", "class");
    for (int lap = 0; lap < s.laps(); ++lap) {
        lx_lap_info l = lap_info(s, lap);
        std::vector<lx_corner> found(MAX_CORNERS);
        int n = lx_lap_corners(s.handle(), ref, s.handle(), lap, &opt, found.data(), MAX_CORNERS);
        if (n < 0) {
            std::fprintf(out, "  %3d  %-10s %s\n", lap + 1, laptime_text(l.laptime).c_str(),
                         lx_last_error());
            continue;
        }
        int paired = 0;
        for (int k = 0; k < std::min(n, MAX_CORNERS); ++k)
            paired += found[std::size_t(k)].paired > 0;
        std::fprintf(out, "  %3d  %-10s %7d %6d  %s\n", lap + 1, laptime_text(l.laptime).c_str(), n,
                     paired, class_name(l.lap_class));
    }
}

// ---- lx sectors

struct SectorsOptions {
    std::string file;
    int ref_lap = 0;
    std::vector<double> cuts;
    double tolerance_kmh = LX_OPTIMAL_TOLERANCE * KMH;
    CornerFlags flags;
    MathOptions math;
};

void run_sectors(const SectorsOptions& o) {
    Session s = Session::open(o.file);
    MathChannels m = compute_math(s, o.math);
    for (const std::string& line : describe(s, m)) std::fprintf(out, "%s\n", line.c_str());
    lx_corner_options opt = o.flags.options();
    int ref = resolved_reference(s, reference_lap(s, o.ref_lap), opt);
    SectorTable t = sector_table(s, ref, o.cuts, o.tolerance_kmh / KMH, opt);
    int n = int(t.cuts.size());
    std::fprintf(out, "Sectors cut at");
    for (double c : t.cuts) std::fprintf(out, " %.1f", c);
    std::fprintf(out, " m of lap %d, carried to each lap in proportion to its length\n", ref + 1);
    std::fprintf(out, "  %3s", "lap");
    for (int k = 0; k <= n; ++k) std::fprintf(out, " %9s%d", "S", k + 1);
    std::fprintf(out, "  %-10s  (* best sector)\n", "time");
    for (const SectorRow& row : t.rows) {
        std::fprintf(out, "  %3d", row.lap + 1);
        for (int k = 0; k <= n; ++k)
            std::fprintf(out, " %9.3f%s", row.times[std::size_t(k)],
                         t.theory[std::size_t(k)].lap == row.lap ? "*" : " ");
        std::fprintf(out, "  %s\n", laptime_text(lap_info(s, row.lap).laptime).c_str());
    }
    std::fprintf(out, "Theoretical best: %s (best sectors summed)\n",
                 laptime_text(t.theory_time).c_str());
    std::fprintf(out, "Optimal lap:      %s (%s; joined where speeds differ by < %.1f km/h)\n",
                 laptime_text(t.optimal_time).c_str(), pieces_text(t.optimal).c_str(),
                 o.tolerance_kmh);
    std::fprintf(out, "%s %s (lap %d by its samples; the logger's time %s)\n",
                 o.ref_lap ? "Reference lap:   " : "Fastest lap:     ",
                 laptime_text(lap_info(s, ref).samples / s.info().sample_rate).c_str(), ref + 1,
                 laptime_text(lap_info(s, ref).laptime).c_str());
}

// ---- lx compare

struct CompareOptions {
    std::string a, b, output;
    double threshold = LX_SAME_TRACK_THRESHOLD;
    CornerFlags flags;
    MathOptions math;
};

void run_compare(const CompareOptions& o) {
    Session a = Session::open(o.a), b = Session::open(o.b);
    compute_math(a, o.math);
    compute_math(b, o.math);
    lx_corner_options opt = o.flags.options();
    lx_track_match m;
    if (lx_same_track(a.handle(), b.handle(), o.threshold, &opt, &m) < 0) refuse(lx_last_error());
    if (!m.same) refuse("the tracks differ: " + std::string(m.why));
    double shift = std::min(m.offset, m.length_b - m.offset);
    std::fprintf(out, "Same track: best laps %.1f m and %.1f m, curvature error %.2f\n", m.length_a,
                 m.length_b, m.match);
    if (shift > START_LINE_SLACK)
        warn("the start lines lie " + std::to_string(std::lround(shift)) +
             " m apart: corners are carried from each session's own line");
    lx_lap_info la = lap_info(a, m.lap_a), lb = lap_info(b, m.lap_b);
    std::fprintf(out, "  A: lap %d of %s, %s\n  B: lap %d of %s, %s (%s)\n", m.lap_a + 1,
                 a.source.c_str(), laptime_text(la.laptime).c_str(), m.lap_b + 1, b.source.c_str(),
                 laptime_text(lb.laptime).c_str(), seconds(lb.laptime - la.laptime).c_str());
    std::fprintf(out, "B against A, over A's corners and the straights before them:\n");
    std::fprintf(out, "  %-12s %8s %8s %9s %9s %9s %9s\n", "stretch", "from m", "to m", "A min",
                 "B min", "B gain", "B total");
    std::vector<lx_stretch> sa = lap_stretches(a, m.lap_a, a, m.lap_a, opt);
    std::vector<lx_stretch> sb = lap_stretches(a, m.lap_a, b, m.lap_b, opt);
    double total = 0;
    for (std::size_t i = 0; i < sb.size(); ++i) {
        total += sb[i].gain;
        std::string name = sb[i].corner ? "corner " + std::to_string(sb[i].corner) : "straight";
        std::fprintf(out, "  %-12s %8.1f %8.1f %9.1f %9.1f %9s %9s\n", name.c_str(), sb[i].start,
                     sb[i].end, sa[i].min_speed * KMH, sb[i].min_speed * KMH,
                     seconds(sb[i].gain).c_str(), seconds(total).c_str());
    }
    if (!o.output.empty())
        std::fprintf(out, "%s\n", write_compare_page(a, b, m, opt, o.output).c_str());
}

} // namespace

Command add_corners(CLI::App& app) {
    static CornersOptions o;
    CLI::App* c = app.add_subcommand(
        "corners", "Find the corners of every lap from its curvature, pair them by place, and "
                   "list per corner the best minimum speed and the lap that lost most there");
    c->add_option("FILE", o.file, "session file")->required();
    add_ref_lap_option(c, o.ref_lap, false);
    add_corner_options(c, o.flags);
    add_math_options(c, o.math);
    return {c, [] { run_corners(o); }};
}

Command add_sectors(CLI::App& app) {
    static SectorsOptions o;
    CLI::App* c = app.add_subcommand(
        "sectors", "Sector times of every full lap, the theoretical best (best sectors summed) "
                   "and the optimal lap (sectors actually driven, joined on straights)");
    c->add_option("FILE", o.file, "session file")->required();
    add_sectors_option(c, o.cuts);
    add_ref_lap_option(c, o.ref_lap, false);
    c->add_option("--tolerance", o.tolerance_kmh,
                  "km/h by which two laps' speeds may differ where they are joined")
        ->check(within(0, 1000))
        ->capture_default_str();
    add_corner_options(c, o.flags);
    add_math_options(c, o.math);
    return {c, [] { run_sectors(o); }};
}

Command add_compare(CLI::App& app) {
    static CompareOptions o;
    CLI::App* c = app.add_subcommand(
        "compare", "Compare the best laps of two sessions of the same track (another day, "
                   "driver or logger) corner by corner; refuses two different tracks, saying why");
    c->add_option("A", o.a, "session file (the reference)")->required();
    c->add_option("B", o.b, "session file")->required();
    c->add_option("--threshold", o.threshold, "curvature error below which the tracks are the same")
        ->check(within(0, 100))
        ->capture_default_str();
    c->add_option("-o,--output", o.output,
                  "also write compare.html into this folder: the two laps overlaid on the map, "
                  "speed, time difference and corner charts");
    add_corner_options(c, o.flags);
    add_math_options(c, o.math);
    return {c, [] { run_compare(o); }};
}

} // namespace lxtool
