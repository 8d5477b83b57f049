// lx delta: time gained or lost by every lap against a reference lap.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <optional>

#include "choice.h"
#include "commands.h"

namespace lxtool {

namespace {

struct DeltaOptions {
    std::string file, reference;
    int ref_lap = 0;
    bool stretch = false;
    MathOptions math;
};

struct LapDelta {
    double gain = 0, gain_at = 0; // most ahead of the reference, and where
    double loss = 0, loss_at = 0; // most behind
};

LapDelta lap_delta(const Session& s, int lap) {
    std::vector<float> diff = lap_samples(s, lap, derived_channel(s, LX_CHANNEL_TIME_DIFF));
    std::vector<float> distance = lap_samples(s, lap, derived_channel(s, LX_CHANNEL_DISTANCE));
    if (diff.empty() || distance.size() != diff.size()) return {};
    auto [lo, hi] = std::minmax_element(diff.begin(), diff.end());
    LapDelta d;
    d.gain = std::max(0.0, -double(*lo));
    d.gain_at = distance[std::size_t(lo - diff.begin())];
    d.loss = std::max(0.0, double(*hi));
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
    std::optional<Session> other;
    if (!o.reference.empty()) other.emplace(Session::open(o.reference));
    const Session& ref = other ? *other : work;
    int ref_lap = lap_index(ref, o.ref_lap, "--ref-lap");
    MathChannels m = compute_math(work, o.math);
    for (const std::string& line : describe(work, m)) std::fprintf(out, "%s\n", line.c_str());
    if (other) compute_math(*other, o.math);
    if (derived_channel(work, LX_CHANNEL_TIME_DIFF) == 0 && !lx_analysis_setup(work.handle()))
        library_refused("cannot add the time-difference channels");
    if (!lx_calc_time_diff(ref.handle(), ref_lap, work.handle(), o.stretch))
        library_refused("cannot compute the time difference");

    lx_lap_info r = lap_info(ref, ref_lap);
    std::fprintf(out, "Reference: lap %d (%s, %.1f m) of %s%s\n", o.ref_lap,
                 laptime_text(r.laptime).c_str(), r.length, ref.source.c_str(),
                 o.stretch ? ", stretched to each lap's length" : "");
    std::fprintf(out, "Gap: lap time minus the reference's, full laps only. Gain and loss: most "
                      "seconds ahead (-) and behind (+) on the way, and where.\n");
    row("  %3s  %-10s %9s %9s %9s %9s %9s  %s", "lap", "time", "gap", "max gain", "at m",
        "max loss", "at m", "class");
    for (int lap = 0; lap < work.laps(); ++lap) {
        lx_lap_info l = lap_info(work, lap);
        LapDelta d = lap_delta(work, lap);
        row("  %3d  %-10s %9s %s %s  %s", lap + 1, laptime_text(l.laptime).c_str(),
            gap_text(l, r.laptime).c_str(), extreme(d.gain, d.gain_at).c_str(),
            extreme(d.loss, d.loss_at).c_str(), class_name(l.lap_class));
    }
}

} // namespace

Command add_delta(CLI::App& app) {
    static DeltaOptions o;
    CLI::App* c = app.add_subcommand(
        "delta", "Time gained or lost by every lap against a reference lap. The gap is the lap "
                 "time minus the reference lap time; the time difference along the lap is a "
                 "moving average, so its last value lags and need not equal the gap");
    c->add_option("FILE", o.file, "session file")->required();
    add_ref_lap_option(c, o.ref_lap, true);
    add_ref_option(c, o.reference, "take the reference lap from this session file instead");
    c->add_flag("--stretch", o.stretch, "stretch the reference lap to each lap's length");
    add_math_options(c, o.math);
    return {c, [] { run_delta(o); }};
}

} // namespace lxtool
