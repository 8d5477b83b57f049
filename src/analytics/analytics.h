// Corners, sectors, the optimal lap and the same-track test, worked out from
// the channels of the session math. Nothing here changes a session.
#pragma once

#include <string>
#include <vector>

#include "session/session.h"

namespace lx::analytics {

// Why a request cannot be answered: a status of lx_data.h and one line.
struct Failure {
    int status = 0; // 0: none
    std::string message;
    explicit operator bool() const { return status != 0; }
};

// Corner thresholds; curvature in the units of i_radius (1000 / radius in m).
struct CornerOptions {
    double enter_curvature = 8.0; // a corner reaches at least this (radius 125 m)
    double exit_curvature = 4.0;  // and spans the stretch above this (radius 250 m)
    double min_speed = 5.0;       // m/s: slower samples belong to no corner
    double min_length = 10.0;     // m: shorter stretches are noise
    double merge_gap = 10.0;      // m: same-hand corners closer than this are one
};

// Fills zero fields with the defaults; a failure for negative or NaN values
// or an exit threshold above the entry one.
Failure complete_options(CornerOptions& options);

// A lap's samples laid along its distance as the time difference walks it:
// sample j lies at the sum of the segment lengths before it, at time
// j / rate * time_scale, and the lap ends at its length, at samples / rate *
// time_scale. Every time below is on that clock.
struct LapTrace {
    int lap = -1;
    int samples = 0;
    double rate = 0.0;
    std::vector<double> position; // samples + 1 entries, the last one the length
    // Sample times times this are on the lap's own clock (its lap time over
    // its sample-counted time), so a lap's pieces add up to its lap time.
    double time_scale = 1.0;
    const float* speed = nullptr;
    const float* curvature = nullptr;

    double length() const { return position.back(); }
    double duration() const { return samples / rate * time_scale; }
    // Puts the lap's times on the clock of lap_time; one that is not a
    // positive number leaves them on the sample clock.
    void keep_time(double lap_time);
    int sample_at(double distance) const; // the last sample at or before it
    // Interpolated between samples; distances outside the lap are clamped to it.
    double time_at(double distance) const;
    double speed_at(double distance) const;
    double min_speed(double from, double to) const;
};

// Cells of about step metres over length, no fewer than fewest and no more
// than most, whatever the length (a corrupt one is huge).
int cell_count(double length, double step, int fewest, int most);

// Session math channels present, lap in range, at least two samples, finite
// segment lengths, a positive length.
Failure trace_lap(const Session* s, int lap, LapTrace& trace);

// ---- corners
struct Corner {
    int number = 0;    // from the start line, 1 ...
    int direction = 0; // +1 right-hand, -1 left-hand
    int paired = 0;    // number of the reference corner it pairs with; 0: none
    double entry = 0.0, apex = 0.0, exit = 0.0;                  // metres from the start line
    double peak_curvature = 0.0;                                 // at the apex, unsigned
    double entry_speed = 0.0, min_speed = 0.0, exit_speed = 0.0; // m/s
    double time = 0.0;                                           // entry to exit, s
};

// Signed curvature per sample: zero below the speed gate, capped, averaged
// over a short centred window.
std::vector<double> smoothed_curvature(const LapTrace& trace, double min_speed);
// Signed curvature of the laps averaged on cells spread evenly over a lap,
// each lap laid by share of its length.
std::vector<double> averaged_curvature(const std::vector<LapTrace>& laps, int cells,
                                       double min_speed);
// Where two corners meet on the curvature averaged over the laps: between two
// peaks above the entry threshold, the lowest value where it falls below twice
// the exit threshold. Shares of a lap's length, in order.
std::vector<double> split_shares(const std::vector<LapTrace>& laps, const CornerOptions& options);
// Stretches above the exit threshold that reach the entry one; those of one
// hand closer than merge_gap are one, unless a split lies between. Splits come
// from the lap's own curvature, or given by split_shares, so that every lap
// splits where the others do: at the lowest sample near each share, where
// both pieces keep a peak.
std::vector<Corner> find_corners(const LapTrace& trace, const CornerOptions& options,
                                 const std::vector<double>* splits = nullptr);
// Marks each corner with the reference corner of the same hand whose stretch,
// carried onto the lap in proportion to the lengths, holds its apex.
void pair_corners(std::vector<Corner>& corners, double length, const std::vector<Corner>& reference,
                  double reference_length);

// A corner or the straight before one, on the reference lap's corners.
struct Stretch {
    int corner = 0;     // corner number; 0 for a straight
    int before = 0;     // for a straight: the corner it leads to; 0: the line
    double start = 0.0; // reference metres
    double end = 0.0;
    double time = 0.0; // the lap's time over it, s
    double gain = 0.0; // time minus the reference's; negative: gained
    double entry_speed = 0.0, min_speed = 0.0, exit_speed = 0.0; // m/s, the lap's
};

// The reference's corners and straights in lap order; times interpolated on
// each lap at the boundaries carried onto it in proportion to the lengths.
std::vector<Stretch> compare_stretches(const LapTrace& lap, const LapTrace& reference,
                                       const std::vector<Corner>& reference_corners);

// ---- sectors
// Two cuts on the reference lap that depend only on its shape: places where
// the curvature averaged over the full laps (the reference alone when there
// are none) runs straight, each sector 20-50 % of the reference lap's time,
// shared as evenly as the straights allow. Fails only where no two cuts give
// such shares.
Failure default_cuts(const std::vector<LapTrace>& full_laps, const LapTrace& reference,
                     const CornerOptions& options, std::vector<double>& cuts);
// Cuts in metres on session a's reference lap carried onto session b's lap,
// given where on b's lap a's start line fits (TrackMatch::offset): in order,
// inside b's lap; empty for lengths that are not positive.
std::vector<double> carried_cuts(const std::vector<double>& cuts, double length_a, double length_b,
                                 double offset);
// Going: cuts at the middle of the two longest straights between corners.
Failure default_cuts(const std::vector<Corner>& corners, double length, std::vector<double>& cuts);
// Increasing, inside the reference lap.
Failure check_cuts(const std::vector<double>& cuts, double length);
// Sector times of a lap: one more than the cuts.
std::vector<double> sector_times(const LapTrace& lap, const LapTrace& reference,
                                 const std::vector<double>& cuts);

struct Piece {
    double start = 0.0, end = 0.0; // reference metres
    double time = 0.0;
    int lap = -1;
};

struct BestLap {
    double time = 0.0;
    std::vector<Piece> pieces;
};

// Every full lap's sector times; the theoretical best takes the best of each.
struct SectorTable {
    double length = 0.0;                    // the reference lap's
    std::vector<double> cuts;               // reference metres
    std::vector<int> laps;                  // the full laps that could be traced
    std::vector<std::vector<double>> times; // per lap, per sector
    std::vector<std::vector<double>> speed; // per lap, at each cut, m/s
};

SectorTable sector_table(const std::vector<LapTrace>& laps, const LapTrace& reference,
                         const std::vector<double>& cuts);
BestLap theoretical_best(const SectorTable& table);
// The fastest chain of sectors driven on full laps that changes lap only at a
// cut on a straight where the two laps' speeds differ by less than tolerance.
BestLap optimal_lap(const SectorTable& table, const std::vector<Corner>& reference_corners,
                    double tolerance);

// ---- comparing sessions
constexpr double SAME_LENGTH_SHARE = 0.03;
constexpr double DEFAULT_MATCH_THRESHOLD = 0.5;
struct TrackMatch {
    double length_a = 0.0, length_b = 0.0;
    double match = 0.0;  // mean curvature difference at the best fit, over mean curvature
    double offset = 0.0; // metres of b's lap where a's start line fits best
    bool same = false;
    std::string why; // when not the same track
};

// Best laps a and b: lengths within SAME_LENGTH_SHARE, and b's curvature laid
// at every offset under a's differing by less than threshold (a share of a's
// mean curvature).
TrackMatch match_tracks(const LapTrace& a, const LapTrace& b, double threshold, double min_speed);

// ---- the time difference to the reference lap
// At each of the reference's samples and its end: the lap's time at the same
// share of its own length minus the reference's time there, both on their
// laps' clocks (time_scale); unsmoothed, so the last value is the lap's gap.
std::vector<double> time_difference(const LapTrace& lap, const LapTrace& reference);

} // namespace lx::analytics
