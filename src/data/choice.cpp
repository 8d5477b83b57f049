#include "data/choice.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <numbers>
#include <string_view>

#include "channels/channels.h"
#include "data/call.h"
#include "data/laps.h"
#include "data/names.h"
#include "display/display.h"

namespace lx::data {

namespace {

// A lap closes when its reckoned heading turns within this of a full circle
// and its end lies within this share of its length from its start.
constexpr double CLOSING_TURN = 30;
constexpr double CLOSING_GAP = 0.05;
constexpr double FULL_TURN = 360;
constexpr float LATG_IN_G = 1.0f; // candidate channels hold g
std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    auto mid = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), mid, values.end());
    return *mid;
}

bool derived(const Session* s, int c) {
    return c >= s->nfile_channels;
}

// The one channel whose title, else whose stored name, is name; -1 for none
// or several. Quiet, unlike match_channel.
int named(const Session* s, std::string_view name) {
    for (auto field : {channel_title, +[](const Session*x, int c) -> std::string_view {
                           return x->channels[c].name;
                       }}) {
        int found = -1, count = 0;
        for (int c = 0; c < s->nchannels; ++c)
            if (field(s, c) == name) found = c, ++count;
        if (count) return count == 1 ? found : -1;
    }
    return -1;
}

using Test = bool (*)(const std::string&);

// A channel that reads 0 in every row measures nothing (a VBO file's empty
// acceleration columns, a speed input left unconnected).
bool flat(const Session* s, int c) {
    return session_channel_min(s, c) == 0.0f && session_channel_max(s, c) == 0.0f;
}

// The file's channels whose title or stored name passes the test.
std::vector<int> channels_named(const Session* s, Test fits) {
    std::vector<int> found;
    for (int c = 1; c < s->nfile_channels; ++c)
        if ((fits(lower(channel_title(s, c))) || fits(lower(s->channels[c].name))) && !flat(s, c))
            found.push_back(c);
    return found;
}

bool given(const char* name) {
    return name != nullptr && name[0] != '\0';
}

int given_channel(const Session* s, int handle, const char* name, const char* option) {
    return match_channel(s, name, s->nchannels,
                         "session " + std::to_string(handle) + ", option " + option);
}

// A usual name, or the first whose name fits; -1 when none does.
int usual_channel(const Session* s, std::initializer_list<const char*> usual, Test fits) {
    for (const char* name : usual)
        if (int c = named(s, name); c > 0 && !derived(s, c) && !flat(s, c)) return c;
    std::vector<int> found = channels_named(s, fits);
    return found.empty() ? -1 : found.front();
}

int none_fits(const Session* s, const char* what, const char* option) {
    std::string names;
    for (int c = 0; c < s->nchannels; ++c)
        names += std::string(c ? ", " : "") + std::string(channel_title(s, c));
    return fail(LX_ERR_FORMAT,
                "no %s channel found in %s (channels: %s); name one with the %s option", what,
                s->filename, names.c_str(), option);
}

bool is_speed(const std::string& n) {
    return (contains(n, "speed") || contains(n, "velocity")) && !contains(n, "engine") &&
           !contains(n, "rpm") && !contains(n, "accuracy") && !contains(n, "shaft") &&
           !contains(n, "wind");
}

bool is_lateral(const std::string& n) {
    return contains(n, "lat") && !contains(n, "latitude");
}

bool is_longitudinal(const std::string& n) {
    return (contains(n, "lon") || contains(n, "inline")) && !contains(n, "longitude") && n != "lon";
}

int speed_units_of(const Session* s, int speed, int asked) {
    if (asked != LX_SPEED_AUTO) return asked;
    std::string unit = lower(channel_unit(s, speed));
    if (contains(unit, "km") || unit == "kph") return LX_SPEED_KMH;
    if (contains(unit, "mph") || contains(unit, "mile")) return LX_SPEED_MPH;
    std::string title(channel_title(s, speed)), written(channel_unit(s, speed));
    return fail(LX_ERR_FORMAT,
                "cannot tell the unit of speed channel '%s' (unit '%s'); give speed_units "
                "(km/h or mph)",
                title.c_str(), written.c_str());
}

// Lateral candidates: channels named so, in g (not an angle).
std::vector<int> lateral_candidates(const Session* s) {
    std::vector<int> found;
    for (int c : channels_named(s, is_lateral)) {
        std::string unit = lower(channel_unit(s, c));
        if (!contains(unit, "deg") && !contains(unit, "rad")) found.push_back(c);
    }
    return found;
}

int run_math(Session* s, const ChannelChoice& m, int lateral, const ChannelRequest& r) {
    if (s->i_speed == 0) {
        KeptLines refusal;
        if (!add_session_math_channels(s, refusal.silent()))
            return fail(s->nchannels >= MAX_CHANNELS ? LX_ERR_LIMIT : LX_ERR_MEMORY,
                        "cannot add the derived channels to %s: %s", s->filename,
                        refusal.joined().c_str());
    }
    MathInputs in{m.speed, lateral, m.speed_units, r.invert_lat, m.longitudinal, r.invert_long};
    if (!compute_session_math(s, in, SILENT))
        return fail(LX_ERR_STATE, "cannot compute the session math of %s", s->filename);
    return LX_OK;
}

// The laps that measure closure: the full ones, else all with a length.
std::vector<int> measured_laps(const Session* s) {
    std::vector<int> full, any;
    for (int lap = 0; lap < s->nlaps; ++lap) {
        if (!(s->laps[lap].lap_length > 0)) continue;
        any.push_back(lap);
        if (lap_class(s, lap) == LX_LAP_FULL) full.push_back(lap);
    }
    return full.empty() ? any : full;
}

bool closes(const lx_lateral_candidate& c) {
    return std::fabs(c.turn - FULL_TURN) <= CLOSING_TURN && c.end_gap <= CLOSING_GAP * c.lap_length;
}

double score(const lx_lateral_candidate& c) {
    if (c.laps == 0) return HUGE_VAL;
    return std::fabs(c.turn - FULL_TURN) / FULL_TURN + c.end_gap / std::max(c.lap_length, 1.0);
}

lx_lateral_candidate closure_of(const Session* s, int channel, const std::vector<int>& laps) {
    std::vector<double> turns, gaps, lengths;
    for (int lap : laps) {
        Reckoning r = reckon_lap(s, lap, channel, s->i_speed, s->i_seglen, LATG_IN_G);
        turns.push_back(std::fabs(static_cast<double>(r.turn) * 180.0 / std::numbers::pi));
        gaps.push_back(std::hypot(static_cast<double>(r.end_x), static_cast<double>(r.end_y)));
        lengths.push_back(s->laps[lap].lap_length);
    }
    lx_lateral_candidate c{
        channel, static_cast<int>(turns.size()), median(turns), median(gaps), median(lengths), NAN,
        0};
    c.closes = closes(c) ? 1 : 0;
    return c;
}

// The median of the laps' map errors against GPS, in % of their lengths,
// from the session math as last computed.
double gps_error_of(Session* s, const std::vector<int>& laps) {
    std::vector<double> errors;
    for (int lap : laps)
        if (double rms = reckoning_error(s, lap); std::isfinite(rms))
            errors.push_back(100 * rms / s->laps[lap].lap_length);
    return errors.empty() ? NAN : median(errors);
}

// Laps that close come first; among them, where the session has GPS, the map
// closest to the GPS track, since a channel of the wrong sign closes as well
// as the right one but draws the track mirrored.
bool fits_better(const lx_lateral_candidate& a, const lx_lateral_candidate& b) {
    if (a.closes != b.closes) return a.closes;
    bool ga = std::isfinite(a.gps_error), gb = std::isfinite(b.gps_error);
    if (ga != gb) return ga;
    if (ga && a.gps_error != b.gps_error) return a.gps_error < b.gps_error;
    return score(a) < score(b);
}

std::string closure_text(const lx_lateral_candidate& c) {
    char text[200];
    int n = std::snprintf(text, sizeof text, "turns %.1f degrees, ends %.1f m from its start",
                          c.turn, c.end_gap);
    if (std::isfinite(c.gps_error) && n > 0 && static_cast<std::size_t>(n) < sizeof text)
        std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n),
                      ", map %.2f %% of the lap from GPS", c.gps_error);
    return text;
}

std::string title(const Session* s, int c) {
    return std::string(channel_title(s, c));
}

std::string warning_of(const Session* s, const lx_lateral_candidate& c) {
    if (c.laps == 0 || c.closes) return "";
    char length[64];
    std::snprintf(length, sizeof length, " over a %.0f m lap", c.lap_length);
    return "lateral channel '" + title(s, c.channel) + "' does not close its laps (" +
           closure_text(c) + length + "): the track map and curvature will be off";
}

const char* lateral_why(const ChannelChoice& m) {
    const lx_lateral_candidate& chosen = m.lateral.front();
    if (m.lateral_given) return " (given)";
    if (m.lateral.size() == 1) return " (the only one named so)";
    if (!std::isfinite(chosen.gps_error))
        return " (of those named so, the one whose laps close best)";
    return chosen.closes ? " (of those named so whose laps close, the one whose map lies "
                           "closest to the GPS track)"
                         : " (of those named so, the one whose map lies closest to the GPS "
                           "track)";
}

std::string reasons(const Session* s, const ChannelChoice& m) {
    std::string lines =
        "Speed: " + title(s, m.speed) + (m.speed_units == LX_SPEED_KMH ? " (km/h)" : " (mph)") +
        ", longitudinal: " + (m.longitudinal ? title(s, m.longitudinal) : "from speed") + "\n";
    const lx_lateral_candidate& chosen = m.lateral.front();
    std::string lateral = "Lateral: " + title(s, chosen.channel) + lateral_why(m);
    if (chosen.laps == 0) return lines + lateral + "; no lap long enough to check that it closes\n";
    char measured[96];
    std::snprintf(measured, sizeof measured, "; median of %d lap%s: ", chosen.laps,
                  chosen.laps == 1 ? "" : "s");
    lines += lateral + measured + closure_text(chosen) + "\n";
    for (std::size_t i = 1; i < m.lateral.size(); ++i)
        lines +=
            "  not " + title(s, m.lateral[i].channel) + ": " + closure_text(m.lateral[i]) + "\n";
    return lines;
}

int choose_speed(const Session* s, int handle, const ChannelRequest& r, ChannelChoice& m) {
    m.speed = given(r.speed) ? given_channel(s, handle, r.speed, "speed")
                             : usual_channel(s,
                                             {"Speed", "GPS_Speed", "Vehicle_Speed", "Wheel_Speed",
                                              "Ground_Speed", "Velocity"},
                                             is_speed);
    if (m.speed < -1) return m.speed;
    if (m.speed < 0) return none_fits(s, "speed", "speed");
    m.speed_units = speed_units_of(s, m.speed, r.speed_units);
    return m.speed_units < 0 ? m.speed_units : LX_OK;
}

int choose_longitudinal(const Session* s, int handle, const ChannelRequest& r, ChannelChoice& m) {
    if (given(r.longitudinal) && lower(r.longitudinal) == "none") return LX_OK;
    int c = given(r.longitudinal) ? given_channel(s, handle, r.longitudinal, "longitudinal")
                                  : usual_channel(s,
                                                  {"LonAcc", "LongAcc", "Longitudinal", "Long_Acc",
                                                   "Lon_Acc", "Longitudinal_Acc", "InlineAcc",
                                                   "GPS_LonAcc", "Long_G", "G_Long", "LonG"},
                                                  is_longitudinal);
    if (c < -1) return c;
    m.longitudinal = std::max(0, c);
    return LX_OK;
}

bool has_gps_track(const Session* s) {
    return named(s, "East") >= 0 && named(s, "North") >= 0;
}

// Measures every candidate, computing the math with each where GPS decides,
// and leaves the math computed with the best.
int weigh_laterals(Session* s, const ChannelRequest& r, const std::vector<int>& candidates,
                   ChannelChoice& m) {
    int computed = candidates.front();
    if (int st = run_math(s, m, computed, r); st != LX_OK) return st;
    std::vector<int> laps = measured_laps(s);
    for (int c : candidates) m.lateral.push_back(closure_of(s, c, laps));
    if (candidates.size() > 1 && has_gps_track(s))
        for (lx_lateral_candidate& c : m.lateral) {
            if (c.channel != computed)
                if (int st = run_math(s, m, computed = c.channel, r); st != LX_OK) return st;
            c.gps_error = gps_error_of(s, laps);
        }
    std::stable_sort(m.lateral.begin(), m.lateral.end(), fits_better);
    if (m.lateral.front().channel == computed) return LX_OK;
    return run_math(s, m, m.lateral.front().channel, r);
}

} // namespace

int choose_channels(Session* s, int handle, const ChannelRequest& r, ChannelChoice& m) {
    if (int st = choose_speed(s, handle, r, m); st != LX_OK) return st;
    if (int st = choose_longitudinal(s, handle, r, m); st != LX_OK) return st;
    m.lateral_given = given(r.lateral);
    std::vector<int> candidates;
    if (m.lateral_given) {
        int c = given_channel(s, handle, r.lateral, "lateral");
        if (c < 0) return c;
        candidates.push_back(c);
    } else {
        candidates = lateral_candidates(s);
    }
    if (candidates.empty()) return none_fits(s, "lateral acceleration", "lateral");
    if (int st = weigh_laterals(s, r, candidates, m); st != LX_OK) return st;
    m.reasons = reasons(s, m);
    m.warning = warning_of(s, m.lateral.front());
    return LX_OK;
}

bool gps_track(const Session* s, int lap, std::vector<double>& x, std::vector<double>& y) {
    int east = named(s, "East"), north = named(s, "North");
    if (east < 0 || north < 0 || !valid_lap(s, lap)) return false;
    const Lap& l = s->laps[lap];
    x.assign(l.raw[east], l.raw[east] + l.npoints);
    y.assign(l.raw[north], l.raw[north] + l.npoints);
    return true;
}

namespace {

struct Points {
    std::vector<double> x, y;
};

// The closed dead-reckoned map of a lap in metres, as the map export draws it.
bool reckoned_track(Session* s, int lap, Points& p) {
    if (s->i_map_x == 0 && !add_map_channels(s, NO_OUTPUT)) return false;
    const Lap& l = s->laps[lap];
    if (l.npoints < 2) return false;
    calculate_map_xy(s, lap, s->i_latg, s->i_speed, s->i_seglen, s->i_map_x, s->i_map_y, 1.0f, 0.0f,
                     SILENT);
    p.x.assign(l.raw[s->i_map_x], l.raw[s->i_map_x] + l.npoints);
    p.y.assign(l.raw[s->i_map_y], l.raw[s->i_map_y] + l.npoints);
    return true;
}

void centre(Points& p) {
    double mx = 0, my = 0, n = static_cast<double>(p.x.size());
    for (std::size_t i = 0; i < p.x.size(); ++i) mx += p.x[i] / n, my += p.y[i] / n;
    for (std::size_t i = 0; i < p.x.size(); ++i) p.x[i] -= mx, p.y[i] -= my;
}

} // namespace

bool reckoned_map(Session* s, int lap, std::vector<double>& x, std::vector<double>& y) {
    Points p;
    if (!reckoned_track(s, lap, p)) return false;
    x = std::move(p.x);
    y = std::move(p.y);
    return true;
}

double reckoning_error(Session* s, int lap) {
    Points gps, map;
    if (!gps_track(s, lap, gps.x, gps.y) || gps.x.size() < 2) return NAN;
    if (!reckoned_track(s, lap, map) || map.x.size() != gps.x.size()) return NAN;
    centre(gps);
    centre(map);
    // Best rotation of map onto gps: the angle of sum(conj(map) * gps).
    double dot = 0, cross = 0, squares = 0;
    for (std::size_t i = 0; i < gps.x.size(); ++i) {
        dot += map.x[i] * gps.x[i] + map.y[i] * gps.y[i];
        cross += map.x[i] * gps.y[i] - map.y[i] * gps.x[i];
        squares +=
            map.x[i] * map.x[i] + map.y[i] * map.y[i] + gps.x[i] * gps.x[i] + gps.y[i] * gps.y[i];
    }
    double residual = std::max(0.0, squares - 2 * std::hypot(dot, cross));
    return std::sqrt(residual / static_cast<double>(gps.x.size()));
}

} // namespace lx::data
