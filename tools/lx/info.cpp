// lx info: what a session holds, as the queries report it.
#include <CLI/CLI.hpp>

#include "commands.h"
#include "tool.h"

namespace lxtool {

namespace {

struct InfoOptions {
    std::string file;
};

void print_channels(const Session& s, const LapSamples* lap0) {
    std::fprintf(out, "Channels (%d):\n", s.channels());
    std::fprintf(out, "  %3s  %-24s %-8s %12s %12s\n", "#", "name", "unit", "min", "max");
    for (int c = 0; c < s.channels(); ++c) {
        // The export writes units for every channel but the first.
        std::string unit = lap0 && c > 0 ? lap0->units[std::size_t(c - 1)] : "";
        if (s.laps() == 0) { // no samples, no range
            std::fprintf(out, "  %3d  %-24s %-8s %12s %12s\n", c, channel_name(s, c).c_str(),
                         unit.c_str(), "-", "-");
            continue;
        }
        std::fprintf(out, "  %3d  %-24s %-8s %12.3f %12.3f\n", c, channel_name(s, c).c_str(),
                     unit.c_str(), double(lx_channel_min(s.handle(), c)),
                     double(lx_channel_max(s.handle(), c)));
    }
}

void run_info(const InfoOptions& o) {
    Session s = Session::open(o.file);
    std::vector<LapSamples> laps;
    for (int lap = 0; lap < s.laps(); ++lap) laps.push_back(read_lap(s, lap));
    std::fprintf(out, "File: %s\n", o.file.c_str());
    if (!laps.empty()) std::fprintf(out, "Sample rate: %.1f per second\n", laps[0].sample_rate);
    print_channels(s, laps.empty() ? nullptr : &laps[0]);
    std::fprintf(out, "Laps (%d):\n", s.laps());
    std::fprintf(out, "  %3s  %-10s %8s  %s\n", "lap", "time", "samples", "logger's number");
    for (int lap = 0; lap < s.laps(); ++lap) {
        LapText t = lap_text(s, lap);
        std::fprintf(out, "  %3d  %-10s %8d  %s\n", lap + 1, t.time.c_str(),
                     laps[std::size_t(lap)].npoints, t.label.c_str());
    }
}

} // namespace

Command add_info(CLI::App& app) {
    static InfoOptions o;
    CLI::App* c = app.add_subcommand("info", "List a session's channels and laps");
    c->add_option("FILE", o.file, "logger export")->required();
    return {c, [] { run_info(o); }};
}

} // namespace lxtool
