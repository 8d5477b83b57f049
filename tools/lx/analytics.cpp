// lx corners, lx sectors and lx compare: corners found from the curvature,
// sector times and the best laps, and two sessions side by side.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "choice.h"
#include "commands.h"

namespace lxtool {

namespace {

constexpr double KMH = 3.6;
constexpr int MAX_CORNERS = 256;
constexpr double START_LINE_SLACK = 50.0; // m: start lines further apart are worth a word

struct CornerFlags {
    double enter = 0, exit = 0, min_speed_kmh = 0;
    lx_corner_options options() const { return {enter, exit, min_speed_kmh / KMH, 0, 0}; }
};

void add_corner_options(CLI::App* c, CornerFlags& f) {
    c->add_option("--enter", f.enter, "curvature (1000/radius in m) a corner reaches (default 8)")
        ->check(within(0, 1e6));
    c->add_option("--exit", f.exit, "curvature above which a corner lasts (default 4)")
        ->check(within(0, 1e6));
    c->add_option("--min-speed", f.min_speed_kmh, "km/h below which nothing is a corner (18)")
        ->check(within(0, 1000));
}

// The reference lap from --ref-lap (from 1), or the library's choice (-1).
int reference_lap(const Session& s, int ref_lap) {
    return ref_lap == 0 ? -1 : lap_index(s, ref_lap, "--ref-lap");
}

std::vector<lx_corner> corners(const Session& ref, int ref_lap, const Session& s, int lap,
                               const lx_corner_options& o) {
    std::vector<lx_corner> out(MAX_CORNERS);
    int n = lx_lap_corners(ref.handle(), ref_lap, s.handle(), lap, &o, out.data(), MAX_CORNERS);
    if (n < 0) refuse(lx_last_error());
    out.resize(std::size_t(std::min(n, MAX_CORNERS)));
    return out;
}

std::vector<lx_stretch> stretches(const Session& ref, int ref_lap, const Session& s, int lap,
                                  const lx_corner_options& o) {
    std::vector<lx_stretch> out(2 * MAX_CORNERS + 1);
    int n =
        lx_lap_stretches(ref.handle(), ref_lap, s.handle(), lap, &o, out.data(), int(out.size()));
    if (n < 0) refuse(lx_last_error());
    out.resize(std::size_t(std::min<int>(n, int(out.size()))));
    return out;
}

// The laps a table lists: full laps but the recording's first and last.
std::vector<int> full_laps(const Session& s) {
    std::vector<int> laps;
    int bounded = s.laps() > 2 ? 1 : 0;
    for (int lap = bounded; lap < s.laps() - bounded; ++lap)
        if (lap_info(s, lap).lap_class == LX_LAP_FULL) laps.push_back(lap);
    return laps;
}

// The reference lap the library picked: the one whose corners pair with themselves.
int resolved_reference(const Session& s, int ref_lap, const lx_corner_options& o) {
    if (ref_lap >= 0) return ref_lap;
    std::vector<int> laps = full_laps(s);
    if (laps.empty()) refuse(s.source + ": no full lap to take as the reference");
    auto samples = [&](int lap) { return lap_info(s, lap).samples; };
    int best = *std::min_element(laps.begin(), laps.end(),
                                 [&](int a, int b) { return samples(a) < samples(b); });
    corners(s, -1, s, best, o); // refuses, naming why, when the library cannot use it
    return best;
}

std::string seconds(double t) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.3f", t);
    return text;
}

const char* hand(int direction) {
    return direction > 0 ? "right" : "left";
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
    std::vector<lx_corner> ref_corners = corners(s, ref, s, ref, opt);
    std::fprintf(out, "Reference: lap %d (%s), %zu corners, numbered from the start line\n",
                 ref + 1, laptime_text(lap_info(s, ref).laptime).c_str(), ref_corners.size());
    std::vector<int> laps = full_laps(s);
    std::vector<std::vector<lx_stretch>> gains;
    for (int lap : laps) gains.push_back(stretches(s, ref, s, lap, opt));
    std::fprintf(out, "  %6s  %-5s %8s %8s %8s %8s %9s %13s %15s\n", "corner", "hand", "entry m",
                 "apex m", "exit m", "radius m", "min km/h", "best min (lap)", "most lost (lap)");
    for (const lx_corner& c : ref_corners) {
        double best_min = 0, most_lost = 0;
        int best_lap = 0, lost_lap = 0;
        for (std::size_t i = 0; i < laps.size(); ++i) {
            const lx_stretch& st = gains[i][std::size_t(2 * c.number - 1)];
            if (best_lap == 0 || st.min_speed > best_min)
                best_min = st.min_speed, best_lap = laps[i] + 1;
            if (lost_lap == 0 || st.gain > most_lost) most_lost = st.gain, lost_lap = laps[i] + 1;
        }
        std::fprintf(out, "  %6d  %-5s %8.1f %8.1f %8.1f %8.1f %9.1f %7.1f (%3d) %8s (%3d)\n",
                     c.number, hand(c.direction), c.entry, c.apex, c.exit,
                     1000.0 / c.peak_curvature, c.min_speed * KMH, best_min * KMH, best_lap,
                     seconds(most_lost).c_str(), lost_lap);
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

std::vector<double> sector_cuts(const Session& s, int ref, const SectorsOptions& o,
                                const lx_corner_options& opt) {
    if (!o.cuts.empty()) return o.cuts;
    double cuts[2];
    if (lx_sector_cuts(s.handle(), ref, &opt, cuts, 2) < 0) refuse(lx_last_error());
    return {cuts[0], cuts[1]};
}

std::string pieces_text(const std::vector<lx_piece>& pieces) {
    std::ostringstream text;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        text << (i ? ", " : "") << std::lround(pieces[i].start) << "-" << std::lround(pieces[i].end)
             << " m lap " << pieces[i].lap + 1;
    return text.str();
}

void run_sectors(const SectorsOptions& o) {
    Session s = Session::open(o.file);
    MathChannels m = compute_math(s, o.math);
    for (const std::string& line : describe(s, m)) std::fprintf(out, "%s\n", line.c_str());
    lx_corner_options opt = o.flags.options();
    int ref = resolved_reference(s, reference_lap(s, o.ref_lap), opt);
    std::vector<double> cuts = sector_cuts(s, ref, o, opt);
    int n = int(cuts.size());
    std::vector<lx_piece> theory(std::size_t(n + 1)), best(std::size_t(n + 1));
    double theory_time = 0, best_time = 0;
    if (lx_theoretical_best(s.handle(), ref, cuts.data(), n, &theory_time, theory.data(), n + 1) <
        0)
        refuse(lx_last_error());
    int pieces = lx_optimal_lap(s.handle(), ref, cuts.data(), n, o.tolerance_kmh / KMH, &opt,
                                &best_time, best.data(), n + 1);
    if (pieces < 0) refuse(lx_last_error());
    best.resize(std::size_t(pieces));

    std::fprintf(out, "Sectors cut at");
    for (double c : cuts) std::fprintf(out, " %.1f", c);
    std::fprintf(out, " m of lap %d, carried to each lap in proportion to its length\n", ref + 1);
    std::fprintf(out, "  %3s", "lap");
    for (int k = 0; k <= n; ++k) std::fprintf(out, " %9s%d", "S", k + 1);
    std::fprintf(out, "  %-10s  (* best sector)\n", "time");
    std::vector<double> times(std::size_t(n + 1));
    for (int lap : full_laps(s)) {
        if (lx_sector_times(s.handle(), ref, s.handle(), lap, cuts.data(), n, times.data(), n + 1) <
            0)
            continue; // a lap the library cannot time is in none of the best laps either
        std::fprintf(out, "  %3d", lap + 1);
        for (int k = 0; k <= n; ++k)
            std::fprintf(out, " %9.3f%s", times[std::size_t(k)],
                         theory[std::size_t(k)].lap == lap ? "*" : " ");
        std::fprintf(out, "  %s\n", laptime_text(lap_info(s, lap).laptime).c_str());
    }
    std::fprintf(out, "Theoretical best: %s (best sectors summed)\n",
                 laptime_text(theory_time).c_str());
    std::fprintf(out, "Optimal lap:      %s (%s; joined where speeds differ by < %.1f km/h)\n",
                 laptime_text(best_time).c_str(), pieces_text(best).c_str(), o.tolerance_kmh);
    std::fprintf(out, "%s %s (lap %d by its samples; the logger's time %s)\n",
                 o.ref_lap ? "Reference lap:   " : "Fastest lap:     ",
                 laptime_text(lap_info(s, ref).samples / s.info().sample_rate).c_str(), ref + 1,
                 laptime_text(lap_info(s, ref).laptime).c_str());
}

// ---- lx compare

struct CompareOptions {
    std::string a, b;
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
    std::vector<lx_stretch> sa = stretches(a, m.lap_a, a, m.lap_a, opt);
    std::vector<lx_stretch> sb = stretches(a, m.lap_a, b, m.lap_b, opt);
    double total = 0;
    for (std::size_t i = 0; i < sb.size(); ++i) {
        total += sb[i].gain;
        std::string name = sb[i].corner ? "corner " + std::to_string(sb[i].corner) : "straight";
        std::fprintf(out, "  %-12s %8.1f %8.1f %9.1f %9.1f %9s %9s\n", name.c_str(), sb[i].start,
                     sb[i].end, sa[i].min_speed * KMH, sb[i].min_speed * KMH,
                     seconds(sb[i].gain).c_str(), seconds(total).c_str());
    }
}

} // namespace

Command add_corners(CLI::App& app) {
    static CornersOptions o;
    CLI::App* c = app.add_subcommand(
        "corners", "Find the corners of every lap from its curvature, pair them by place, and "
                   "list per corner the best minimum speed and the lap that lost most there");
    c->add_option("FILE", o.file, "session file")->required();
    c->add_option("--ref-lap", o.ref_lap, "reference lap (from 1; default: the fastest full lap)");
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
    c->add_option("--sectors", o.cuts,
                  "cuts in metres from the start line, e.g. 450,1200 "
                  "(default: the middles of the two longest straights)")
        ->delimiter(',')
        ->check(within(0, 1e7));
    c->add_option("--ref-lap", o.ref_lap, "reference lap (from 1; default: the fastest full lap)");
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
    add_corner_options(c, o.flags);
    add_math_options(c, o.math);
    return {c, [] { run_compare(o); }};
}

} // namespace lxtool
