#include "choice.h"

#include "figures.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <initializer_list>

namespace lxtool {

namespace {

// A lap closes when its reckoned heading turns within this of a full circle
// and its end lies within this share of its length from its start.
constexpr double CLOSING_TURN = 30;
constexpr double CLOSING_GAP = 0.05;
constexpr double FULL_TURN = 360;

std::string lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + long(values.size() / 2), values.end());
    return values[values.size() / 2];
}

using Test = bool (*)(const std::string&);

// The file's channels whose title or stored name passes the test.
std::vector<int> channels_named(const Session& s, Test fits) {
    std::vector<int> found;
    for (int c = 1; c < s.channels(); ++c) {
        lx_channel_info info = channel_info(s, c);
        if (!info.derived && (fits(lower(info.title)) || fits(lower(info.name))))
            found.push_back(c);
    }
    return found;
}

// The channel named on the command line, or a usual name, or the first
// whose name fits; -1 when none does.
int pick_channel(const Session& s, const std::string& given, const char* option,
                 std::initializer_list<const char*> usual, Test fits) {
    if (!given.empty()) return find_channel(s, given, option);
    for (const char* name : usual)
        if (int c = try_find_channel(s, name); c > 0 && !channel_info(s, c).derived) return c;
    std::vector<int> found = channels_named(s, fits);
    return found.empty() ? -1 : found.front();
}

[[noreturn]] void none_fits(const Session& s, const char* what, const char* option) {
    std::string names;
    for (int c = 0; c < s.channels(); ++c) names += (c ? ", " : "") + channel_title(s, c);
    refuse(std::string("no ") + what + " channel found in " + s.source + " (channels: " + names +
           "); name one with " + option);
}

bool is_speed(const std::string& n) {
    return contains(n, "speed") && !contains(n, "engine") && !contains(n, "rpm") &&
           !contains(n, "accuracy") && !contains(n, "shaft") && !contains(n, "wind");
}

bool is_lateral(const std::string& n) {
    return contains(n, "lat") && !contains(n, "latitude");
}

bool is_longitudinal(const std::string& n) {
    return (contains(n, "lon") || contains(n, "inline")) && !contains(n, "longitude") && n != "lon";
}

int speed_units_of(const Session& s, int speed, const MathOptions& options) {
    if (options.units == "kmh") return LX_SPEED_KMH;
    if (options.units == "mph") return LX_SPEED_MPH;
    lx_channel_info info = channel_info(s, speed);
    std::string unit = lower(info.unit);
    if (contains(unit, "km") || unit == "kph") return LX_SPEED_KMH;
    if (contains(unit, "mph") || contains(unit, "mile")) return LX_SPEED_MPH;
    refuse("cannot tell the unit of speed channel '" + std::string(info.title) + "' (unit '" +
           info.unit + "'); give --units kmh or --units mph");
}

// Lateral candidates: channels named so, in g (not an angle).
std::vector<int> lateral_candidates(const Session& s) {
    std::vector<int> found;
    for (int c : channels_named(s, is_lateral)) {
        std::string unit = lower(channel_info(s, c).unit);
        if (!contains(unit, "deg") && !contains(unit, "rad")) found.push_back(c);
    }
    return found;
}

void run_math(const Session& s, const MathChannels& m, int lateral, const MathOptions& options) {
    if (derived_channel(s, LX_CHANNEL_SPEED) == 0 && !lx_session_setup(s.handle()))
        library_refused("cannot add the derived channels to " + s.source);
    if (!lx_compute_session_math(s.handle(), m.speed, lateral, m.speed_units, options.invert_lat,
                                 m.longitudinal, options.invert_long))
        library_refused("cannot compute speed, distance and curvature for " + s.source);
}

// The laps that measure closure: the full ones, else all with a length.
std::vector<int> measured_laps(const Session& s) {
    std::vector<int> full, any;
    for (int lap = 0; lap < s.laps(); ++lap) {
        lx_lap_info info = lap_info(s, lap);
        if (info.length <= 0) continue;
        any.push_back(lap);
        if (info.lap_class == LX_LAP_FULL) full.push_back(lap);
    }
    return full.empty() ? any : full;
}

Closure closure_of(const Session& s, int channel, const std::vector<int>& laps) {
    std::vector<double> turns, gaps, lengths;
    for (int lap : laps) {
        double turn = 0, gap = 0;
        if (lx_lap_closure(s.handle(), lap, channel, &turn, &gap) < 0) continue;
        turns.push_back(std::fabs(turn));
        gaps.push_back(gap);
        lengths.push_back(lap_info(s, lap).length);
    }
    return {channel, int(turns.size()), median(turns), median(gaps), median(lengths)};
}

// The median of the laps' map errors against GPS (in % of their lengths),
// from the session math as last computed.
double gps_error_of(const Session& s, const std::vector<int>& laps) {
    std::vector<double> errors;
    for (int lap : laps)
        if (double rms = reckoning_error(s, lap); std::isfinite(rms))
            errors.push_back(100 * rms / lap_info(s, lap).length);
    return errors.empty() ? NAN : median(errors);
}

// Laps that close come first; among them, where the session has GPS, the map
// closest to the GPS track, since a channel of the wrong sign closes as well
// as the right one but draws the track mirrored.
bool fits_better(const Closure& a, const Closure& b) {
    if (a.closes() != b.closes()) return a.closes();
    bool ga = std::isfinite(a.gps_error), gb = std::isfinite(b.gps_error);
    if (ga != gb) return ga;
    if (ga && a.gps_error != b.gps_error) return a.gps_error < b.gps_error;
    return a.score() < b.score();
}

bool chosen_by_gps(const MathChannels& m) {
    return m.lateral.size() > 1 && std::isfinite(m.lateral.front().gps_error);
}

std::string closure_text(const Closure& c) {
    char text[200];
    int n = std::snprintf(text, sizeof text, "turns %.1f degrees, ends %.1f m from its start",
                          c.turn, c.end_gap);
    if (std::isfinite(c.gps_error) && n > 0 && std::size_t(n) < sizeof text)
        std::snprintf(text + n, sizeof text - std::size_t(n), ", map %.2f %% of the lap from GPS",
                      c.gps_error);
    return text;
}

void warn_if_open(const Session& s, const Closure& c) {
    if (c.laps == 0 || c.closes()) return;
    char length[64];
    std::snprintf(length, sizeof length, " over a %.0f m lap", c.lap_length);
    warn("lateral channel '" + channel_title(s, c.channel) + "' does not close its laps (" +
         closure_text(c) + length +
         "): the track map and curvature will be off; name another with --lat");
}

} // namespace

bool Closure::closes() const {
    return std::fabs(turn - FULL_TURN) <= CLOSING_TURN && end_gap <= CLOSING_GAP * lap_length;
}

double Closure::score() const {
    if (laps == 0) return HUGE_VAL;
    return std::fabs(turn - FULL_TURN) / FULL_TURN + end_gap / std::max(lap_length, 1.0);
}

void add_math_options(CLI::App* command, MathOptions& options) {
    command->add_option("--speed", options.speed, "speed channel (default: found by name)")
        ->group("Channels");
    command
        ->add_option("--lat", options.lateral,
                     "lateral acceleration channel, in g (default: of the channels named so, "
                     "the one whose laps close best)")
        ->group("Channels");
    command
        ->add_option("--long", options.longitudinal,
                     "longitudinal acceleration channel in g, or 'none' to derive it from speed")
        ->group("Channels");
    command->add_option("--units", options.units, "unit of the speed channel")
        ->check(CLI::IsMember({"auto", "kmh", "mph"}))
        ->capture_default_str()
        ->group("Channels");
    command->add_flag("--invert-lat", options.invert_lat, "negate lateral acceleration")
        ->group("Channels");
    command->add_flag("--invert-long", options.invert_long, "negate longitudinal acceleration")
        ->group("Channels");
}

MathChannels compute_math(const Session& s, const MathOptions& options) {
    if (s.laps() == 0) refuse(s.source + " has no laps");
    MathChannels m;
    m.speed = pick_channel(
        s, options.speed, "--speed",
        {"Speed", "GPS_Speed", "Vehicle_Speed", "Wheel_Speed", "Ground_Speed", "Velocity"},
        is_speed);
    if (m.speed < 0) none_fits(s, "speed", "--speed");
    m.speed_units = speed_units_of(s, m.speed, options);
    if (lower(options.longitudinal) != "none")
        m.longitudinal = std::max(0, pick_channel(s, options.longitudinal, "--long",
                                                  {"LonAcc", "LongAcc", "Longitudinal", "Long_Acc",
                                                   "Lon_Acc", "Longitudinal_Acc", "InlineAcc",
                                                   "GPS_LonAcc", "Long_G", "G_Long", "LonG"},
                                                  is_longitudinal));
    m.lateral_given = !options.lateral.empty();
    std::vector<int> candidates = m.lateral_given
                                      ? std::vector<int>{find_channel(s, options.lateral, "--lat")}
                                      : lateral_candidates(s);
    if (candidates.empty()) none_fits(s, "lateral acceleration", "--lat");
    int computed = candidates.front();
    run_math(s, m, computed, options);

    std::vector<int> laps = measured_laps(s);
    for (int c : candidates) m.lateral.push_back(closure_of(s, c, laps));
    if (candidates.size() > 1 && has_gps_track(s))
        for (Closure& c : m.lateral) {
            if (c.channel != computed) run_math(s, m, computed = c.channel, options);
            c.gps_error = gps_error_of(s, laps);
        }
    std::stable_sort(m.lateral.begin(), m.lateral.end(), fits_better);
    if (m.lateral_channel() != computed) run_math(s, m, m.lateral_channel(), options);
    warn_if_open(s, m.lateral.front());
    return m;
}

std::vector<std::string> describe(const Session& s, const MathChannels& m) {
    std::vector<std::string> lines;
    lines.push_back("Speed: " + channel_title(s, m.speed) +
                    (m.speed_units == LX_SPEED_KMH ? " (km/h)" : " (mph)") + ", longitudinal: " +
                    (m.longitudinal ? channel_title(s, m.longitudinal) : "from speed"));
    const Closure& chosen = m.lateral.front();
    std::string lateral = "Lateral: " + channel_title(s, chosen.channel);
    std::string why = m.lateral_given         ? " (given)"
                      : m.lateral.size() == 1 ? " (the only one named so)"
                      : !chosen_by_gps(m) ? " (of those named so, the one whose laps close best)"
                      : chosen.closes()   ? " (of those named so whose laps close, the one whose "
                                            "map lies closest to the GPS track)"
                                          : " (of those named so, the one whose map lies closest "
                                            "to the GPS track)";
    if (chosen.laps == 0) {
        lines.push_back(lateral + why + "; no lap long enough to check that it closes");
        return lines;
    }
    char measured[96];
    std::snprintf(measured, sizeof measured, "; median of %d lap%s: ", chosen.laps,
                  chosen.laps == 1 ? "" : "s");
    lines.push_back(lateral + why + measured + closure_text(chosen));
    for (std::size_t i = 1; i < m.lateral.size(); ++i)
        lines.push_back("  not " + channel_title(s, m.lateral[i].channel) + ": " +
                        closure_text(m.lateral[i]));
    return lines;
}

int fastest_lap(const Session& s) {
    int best = -1;
    double best_time = 0;
    for (int lap = 0; lap < s.laps(); ++lap) {
        lx_lap_info info = lap_info(s, lap);
        if (info.lap_class == LX_LAP_FULL && info.laptime > 0 &&
            (best < 0 || info.laptime < best_time)) {
            best = lap;
            best_time = info.laptime;
        }
    }
    return best;
}

std::string gap_text(const lx_lap_info& lap, double reference_time) {
    if (lap.lap_class != LX_LAP_FULL) return "";
    // Whole milliseconds first, so that no gap reads "-0.000".
    long long ms = std::llround((lap.laptime - reference_time) * 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%c%lld.%03lld", ms < 0 ? '-' : '+', std::llabs(ms) / 1000,
                  std::llabs(ms) % 1000);
    return text;
}

} // namespace lxtool
