// lx corners: the corners of every lap, paired by place with the reference
// lap's, and per corner the best minimum speed and the lap that lost most.
#include <CLI/CLI.hpp>

#include "analysed.h"
#include "commands.h"

namespace lxtool {

namespace {

struct CornersOptions {
    std::string file;
    int ref_lap = 0;
    bool json = false;
    CornerFlags flags;
    MathOptions math;
};

// The corners a lap has on its own, and how many of them pair with the reference's.
struct LapCorners {
    int found = 0, paired = 0;
    std::string why; // the lap cannot be traced
};

LapCorners lap_count(const Session& s, int lap) {
    LapCorners c;
    for (const lx_corner& k : lap_corners(s, lap, &c.why)) {
        ++c.found;
        c.paired += k.paired > 0;
    }
    return c;
}

std::string count_text(std::size_t n, const char* noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string lap_number(const Session& s, int lap) {
    return lap < 0 ? "-" : std::to_string(lap_info(s, lap).number);
}

void print_table(const Session& s, const Analysed& a, const std::vector<lx_corner_summary>& sum,
                 const std::vector<LapCorners>& laps) {
    print_channel_lines(s, a.info);
    lx_lap_info r = lap_info(s, a.info.ref_lap);
    std::fprintf(out, "Reference: lap %s (%s), %s, numbered from the start line\n",
                 lap_name(r).c_str(), laptime_text(r.laptime).c_str(),
                 count_text(sum.size(), "corner").c_str());
    std::fprintf(out, "Most lost: the largest time another full lap took over the corner beyond "
                      "the reference's (+ behind).\n");
    row("  %6s  %-5s %8s %8s %8s %8s %9s %15s %16s", "corner", "hand", "entry m", "apex m",
        "exit m", "radius m", "min km/h", "best min (lap)", "most lost (lap)");
    for (const lx_corner_summary& c : sum) {
        const lx_corner& k = c.corner;
        std::string lost =
            c.lost_lap < 0 ? "-"
                           : signed_seconds(c.most_lost) + " (" + lap_number(s, c.lost_lap) + ")";
        row("  %6d  %-5s %8.1f %8.1f %8.1f %8.1f %9.1f %9.1f (%3s) %16s", k.number,
            hand(k.direction), k.entry, k.apex, k.exit, 1000.0 / k.peak_curvature,
            k.min_speed * KMH, c.best_min_speed * KMH, lap_number(s, c.best_min_lap).c_str(),
            lost.c_str());
    }
    int w = lap_width(s);
    std::fprintf(out, "Corners found on each lap alone (paired: at a reference corner's place):\n");
    row("  %*s  %-10s %7s %6s  %s", w, "lap", "time", "corners", "paired", "class");
    for (std::size_t i = 0; i < a.laps.size(); ++i) {
        const lx_lap_info& l = a.laps[i].info;
        if (!laps[i].why.empty()) {
            row("  %*s  %-10s %s", w, lap_name(l).c_str(), laptime_text(l.laptime).c_str(),
                laps[i].why.c_str());
            continue;
        }
        row("  %*s  %-10s %7d %6d  %s", w, lap_name(l).c_str(), laptime_text(l.laptime).c_str(),
            laps[i].found, laps[i].paired, l.slow ? "slow" : class_name(l.lap_class));
    }
}

void lap_or_null(Json& j, const char* key, const Session& s, int lap) {
    if (lap < 0)
        j.null(key);
    else
        j.integer(key, lap_info(s, lap).number);
}

void print_json(const Session& s, const Analysed& a, const std::vector<lx_corner_summary>& sum,
                const std::vector<LapCorners>& laps) {
    Json j;
    j.begin_object().integer("schema", 1).text("file", s.source);
    j.begin_object("reference").integer("lap", lap_info(s, a.info.ref_lap).number);
    j.number("time", a.info.ref_time, 3).end_object();
    j.begin_array("corners");
    for (const lx_corner_summary& c : sum) {
        const lx_corner& k = c.corner;
        j.begin_object().integer("corner", k.number).text("hand", hand(k.direction));
        j.number("entry", k.entry, 1).number("apex", k.apex, 1).number("exit", k.exit, 1);
        j.number("radius", 1000.0 / k.peak_curvature, 1).number("min_kmh", k.min_speed * KMH, 1);
        j.number("best_min_kmh", c.best_min_speed * KMH, 1);
        lap_or_null(j, "best_min_lap", s, c.best_min_lap);
        j.number("most_lost", c.lost_lap < 0 ? NAN : c.most_lost, 3);
        lap_or_null(j, "lost_lap", s, c.lost_lap);
        j.end_object();
    }
    j.end_array().begin_array("laps");
    for (std::size_t i = 0; i < a.laps.size(); ++i) {
        j.begin_object();
        lap_json(j, a.laps[i]);
        j.integer("corners", laps[i].found).integer("paired", laps[i].paired).end_object();
    }
    j.end_array().end_object();
    std::fputs(j.str().c_str(), out);
}

void run_corners(const CornersOptions& o) {
    Session s = Session::open(o.file);
    AnalysisRequest request;
    request.math = o.math;
    request.ref_lap = o.ref_lap;
    request.corners = o.flags.options();
    Analysed a = analyse(s, request);
    if (!a.has_reference()) refuse(s.source + ": no full lap to take as the reference");
    std::vector<lx_corner_summary> sum = corner_summary(s);
    std::vector<LapCorners> laps;
    for (int lap = 0; lap < s.laps(); ++lap) laps.push_back(lap_count(s, lap));
    if (o.json)
        print_json(s, a, sum, laps);
    else
        print_table(s, a, sum, laps);
}

} // namespace

Command add_corners(CLI::App& app) {
    static CornersOptions o;
    CLI::App* c = app.add_subcommand(
        "corners", "Find the corners of every lap from its curvature, pair them by place, and "
                   "list per corner the best minimum speed and the lap that lost most there");
    c->add_option("FILE", o.file, "session file")->required();
    add_ref_lap_option(c, o.ref_lap, false);
    add_json_option(c, o.json);
    add_corner_options(c, o.flags);
    add_math_options(c, o.math);
    return {c, [] { run_corners(o); }};
}

} // namespace lxtool
