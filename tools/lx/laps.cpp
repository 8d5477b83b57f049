// lx laps: every lap's time and length after the session math.
#include <CLI/CLI.hpp>

#include "commands.h"
#include "tool.h"

namespace lxtool {

namespace {

struct LapsOptions {
    std::string file;
    MathOptions math;
};

void run_laps(const LapsOptions& o) {
    Session s = Session::open(o.file);
    MathChannels m = compute_math(s, o.math);
    std::fprintf(out, "Speed: %s (%s), lateral: %s, longitudinal: %s\n",
                 channel_name(s, m.speed).c_str(), m.speed_units ? "km/h" : "mph",
                 channel_name(s, m.lateral).c_str(),
                 m.longitudinal ? channel_name(s, m.longitudinal).c_str() : "from speed");
    int fastest = fastest_lap(s);
    std::vector<bool> whole = whole_laps(s);
    std::fprintf(out, "  %3s  %-10s %10s\n", "lap", "time", "length m");
    for (int lap = 0; lap < s.laps(); ++lap) {
        LapText t = lap_text(s, lap);
        const char* mark = lap == fastest            ? "  fastest"
                           : whole[std::size_t(lap)] ? ""
                                                     : "  partial";
        std::fprintf(out, "  %3d  %-10s %10.1f%s\n", lap + 1, t.time.c_str(),
                     double(lx_lap_length(s.handle(), lap)), mark);
    }
}

} // namespace

Command add_laps(CLI::App& app) {
    static LapsOptions o;
    CLI::App* c = app.add_subcommand(
        "laps", "Compute speed, distance and curvature and list every lap's time and length");
    c->add_option("FILE", o.file, "logger export")->required();
    add_math_options(c, o.math);
    return {c, [] { run_laps(o); }};
}

} // namespace lxtool
