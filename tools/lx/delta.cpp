// lx delta: time gained or lost by every lap against a reference lap.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <optional>

#include "commands.h"
#include "tool.h"

namespace lxtool {

namespace {

struct DeltaOptions {
    std::string file, reference;
    int ref_lap = 0;
    bool stretch = false;
    MathOptions math;
};

struct LapDelta {
    double at_end = 0;
    double gain = 0, gain_at = 0; // most ahead of the reference, and where
    double loss = 0, loss_at = 0; // most behind
};

// The time difference is read back through the MoTeC export: every sample of
// the channel, to a tenth of a millisecond.
LapDelta lap_delta(const Session& s, int lap) {
    LapSamples samples = read_lap(s, lap);
    if (samples.npoints == 0) return {};
    const std::vector<double>& diff = samples.channel(lx_channel_number(s.handle(), 8));
    const std::vector<double>& distance = samples.channel(lx_channel_number(s.handle(), 0));
    auto [lo, hi] = std::minmax_element(diff.begin(), diff.end());
    LapDelta d;
    d.at_end = diff.back();
    d.gain = std::max(0.0, -*lo);
    d.gain_at = distance[std::size_t(lo - diff.begin())];
    d.loss = std::max(0.0, *hi);
    d.loss_at = distance[std::size_t(hi - diff.begin())];
    return d;
}

// "seconds metres", or dashes when the lap never got ahead (or behind).
std::string extreme(double seconds, double where) {
    char text[64];
    if (seconds >= 0.0005) // shows as at least 0.001
        std::snprintf(text, sizeof text, "%9.3f %9.1f", seconds, where);
    else
        std::snprintf(text, sizeof text, "%9s %9s", "-", "-");
    return text;
}

void run_delta(const DeltaOptions& o) {
    Session work = Session::open(o.file);
    compute_math(work, o.math);
    std::optional<Session> other;
    if (!o.reference.empty()) {
        other.emplace(Session::open(o.reference));
        compute_math(*other, o.math);
    }
    const Session& ref = other ? *other : work;
    int ref_lap = lap_index(ref, o.ref_lap, "--ref-lap");
    if (lx_channel_number(work.handle(), 8) == 0 && !lx_analysis_setup(work.handle()))
        refuse("the library could not add the time-difference channels");
    if (!lx_calc_time_diff(ref.handle(), ref_lap, work.handle(), o.stretch))
        refuse("the library could not compute the time difference");

    LapText rt = lap_text(ref, ref_lap);
    std::fprintf(out, "Reference: lap %d (%s, %.1f m) of %s%s\n", o.ref_lap, rt.time.c_str(),
                 double(lx_lap_length(ref.handle(), ref_lap)), ref.source.c_str(),
                 o.stretch ? ", stretched to each lap's length" : "");
    std::fprintf(out, "Seconds behind (+) or ahead (-), every sample read back through the "
                      "MoTeC export\n");
    std::fprintf(out, "  %3s  %-10s %9s %9s %9s %9s %9s\n", "lap", "time", "at end", "max gain",
                 "at m", "max loss", "at m");
    for (int lap = 0; lap < work.laps(); ++lap) {
        LapDelta d = lap_delta(work, lap);
        std::fprintf(out, "  %3d  %-10s %+9.3f %s %s\n", lap + 1, lap_text(work, lap).time.c_str(),
                     d.at_end, extreme(d.gain, d.gain_at).c_str(),
                     extreme(d.loss, d.loss_at).c_str());
    }
}

} // namespace

Command add_delta(CLI::App& app) {
    static DeltaOptions o;
    CLI::App* c = app.add_subcommand("delta", "Time gained or lost by every lap against a "
                                              "reference lap");
    c->add_option("FILE", o.file, "logger export")->required();
    c->add_option("--ref-lap", o.ref_lap, "reference lap (from 1, as lx laps lists them)")
        ->required();
    c->add_option("--ref", o.reference, "take the reference lap from this export instead");
    c->add_flag("--stretch", o.stretch, "stretch the reference lap to each lap's length");
    add_math_options(c, o.math);
    return {c, [] { run_delta(o); }};
}

} // namespace lxtool
