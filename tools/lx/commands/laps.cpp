// lx laps: every lap's time, length and gap to the fastest full lap.
#include <CLI/CLI.hpp>

#include "choice.h"
#include "commands.h"

namespace lxtool {

namespace {

struct LapsOptions {
    std::string file;
    MathOptions math;
};

void run_laps(const LapsOptions& o) {
    Session s = Session::open(o.file);
    MathChannels m = compute_math(s, o.math);
    for (const std::string& line : describe(s, m)) std::fprintf(out, "%s\n", line.c_str());
    int fastest = fastest_lap(s);
    double best = fastest < 0 ? 0 : lap_info(s, fastest).laptime;
    row("  %3s  %-10s %10s %9s  %s", "lap", "time", "length m", "gap", "class");
    for (int lap = 0; lap < s.laps(); ++lap) {
        lx_lap_info l = lap_info(s, lap);
        std::string gap = fastest < 0 ? "" : gap_text(l, best);
        row("  %3d  %-10s %10.1f %9s  %s", lap + 1, laptime_text(l.laptime).c_str(), l.length,
            gap.c_str(), lap == fastest ? "fastest" : class_name(l.lap_class));
    }
    if (fastest < 0) std::fprintf(out, "No full lap: none is the fastest, no gaps.\n");
}

} // namespace

Command add_laps(CLI::App& app) {
    static LapsOptions o;
    CLI::App* c = app.add_subcommand(
        "laps", "Compute speed, distance and curvature and list every lap's time, length, gap "
                "to the fastest full lap (lap time minus its time) and class");
    c->add_option("FILE", o.file, "session file")->required();
    add_math_options(c, o.math);
    return {c, [] { run_laps(o); }};
}

} // namespace lxtool
