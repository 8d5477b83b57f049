#include "analysed.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <sstream>

namespace lxtool {

namespace {

int speed_units(const std::string& units) {
    if (units == "kmh") return LX_SPEED_KMH;
    if (units == "mph") return LX_SPEED_MPH;
    return LX_SPEED_AUTO;
}

const char* given(const std::string& name) {
    return name.empty() ? nullptr : name.c_str();
}

lx_analysis_options options_of(const Session& s, const AnalysisRequest& r) {
    lx_analysis_options o{};
    lx_analysis_defaults(&o);
    o.speed = given(r.math.speed);
    o.lateral = given(r.math.lateral);
    o.longitudinal = given(r.math.longitudinal);
    o.speed_units = speed_units(r.math.units);
    o.invert_lat = r.math.invert_lat;
    o.invert_long = r.math.invert_long;
    const Session& ref = r.reference ? *r.reference : s;
    o.ref_handle = r.reference ? r.reference->handle() : 0;
    o.ref_lap = r.ref_lap ? lap_index(ref, r.ref_lap, "--ref-lap") : -1;
    o.corners = r.corners;
    if (r.cuts.size() > LX_MAX_CUTS)
        refuse("--sectors: at most " + std::to_string(LX_MAX_CUTS) + " cuts");
    o.ncuts = int(r.cuts.size());
    std::copy(r.cuts.begin(), r.cuts.end(), o.cuts);
    o.tolerance = r.tolerance;
    return o;
}

} // namespace

Analysed analyse(const Session& s, const AnalysisRequest& request) {
    if (s.laps() == 0) refuse(s.source + " has no laps");
    lx_analysis_options o = options_of(s, request);
    if (lx_analyse(s.handle(), &o) < 0) {
        std::string why = library_message();
        refuse(why.find(s.source) == std::string::npos ? s.source + ": " + why : why);
    }
    Analysed a;
    lx_analysis_info_get(s.handle(), &a.info);
    for (int lap = 0; lap < s.laps(); ++lap) {
        lx_analysis_lap l{};
        if (lx_analysis_lap_get(s.handle(), lap, &l) < 0) library_refused(s.source);
        a.laps.push_back(l);
    }
    if (a.info.warning[0]) warn(std::string(a.info.warning) + "; name another with --lat");
    return a;
}

std::vector<std::string> channel_reasons(const lx_analysis_info& info) {
    std::vector<std::string> lines;
    std::istringstream reasons(info.choice);
    for (std::string line; std::getline(reasons, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> channel_lines(const Session& s, const lx_analysis_info& info) {
    if (verbose()) return channel_reasons(info);
    std::vector<std::string> lines;
    lines.push_back(
        "Channels: speed " + channel_title(s, info.speed_channel) +
        (info.speed_units == LX_SPEED_KMH ? " (km/h)" : " (mph)") + ", lateral " +
        channel_title(s, info.lateral_channel) + ", longitudinal " +
        (info.longitudinal_channel ? channel_title(s, info.longitudinal_channel) : "from speed") +
        " (-v says why)");
    return lines;
}

void print_channel_lines(const Session& s, const lx_analysis_info& info) {
    for (const std::string& line : channel_lines(s, info)) std::fprintf(out, "%s\n", line.c_str());
}

TimeDiff time_diff(const Session& s, int lap) {
    int n = lx_analysis_time_diff(s.handle(), lap, nullptr, nullptr, 0);
    if (n < 0) library_refused("no time difference for lap " + lap_name(lap_info(s, lap)));
    TimeDiff t{std::vector<double>(std::size_t(n)), std::vector<double>(std::size_t(n))};
    lx_analysis_time_diff(s.handle(), lap, t.distance.data(), t.diff.data(), n);
    return t;
}

std::vector<lx_corner> lap_corners(const Session& s, int lap, std::string* why) {
    int n = lx_analysis_corners(s.handle(), lap, nullptr, 0);
    if (n < 0) {
        *why = library_message();
        return {};
    }
    std::vector<lx_corner> corners(static_cast<std::size_t>(n));
    lx_analysis_corners(s.handle(), lap, corners.data(), n);
    return corners;
}

std::vector<lx_stretch> lap_stretches(const Session& s, int lap) {
    int n = lx_analysis_stretches(s.handle(), lap, nullptr, 0);
    if (n < 0) library_refused("no corners for lap " + lap_name(lap_info(s, lap)));
    std::vector<lx_stretch> stretches(static_cast<std::size_t>(n));
    lx_analysis_stretches(s.handle(), lap, stretches.data(), n);
    return stretches;
}

std::vector<lx_corner_summary> corner_summary(const Session& s) {
    int n = lx_analysis_corner_summary(s.handle(), nullptr, 0);
    if (n < 0) library_refused("no corners in " + s.source);
    std::vector<lx_corner_summary> corners(static_cast<std::size_t>(n));
    lx_analysis_corner_summary(s.handle(), corners.data(), n);
    return corners;
}

std::vector<double> sector_times(const Session& s, int lap) {
    int n = lx_analysis_sector_times(s.handle(), lap, nullptr, 0);
    if (n < 0) library_refused("no sector times for lap " + lap_name(lap_info(s, lap)));
    std::vector<double> times(static_cast<std::size_t>(n));
    lx_analysis_sector_times(s.handle(), lap, times.data(), n);
    return times;
}

Best best_lap(const Session& s, int which) {
    Best b;
    int n = lx_analysis_best(s.handle(), which, &b.time, nullptr, 0);
    if (n < 0) library_refused("no best lap in " + s.source);
    b.pieces.resize(static_cast<std::size_t>(n));
    lx_analysis_best(s.handle(), which, nullptr, b.pieces.data(), n);
    return b;
}

void lap_json(Json& j, const lx_analysis_lap& l) {
    j.integer("lap", l.info.number)
        .integer("logger_lap", l.info.logger_lap)
        .text("class", class_key(l.info.lap_class))
        .boolean("slow", l.info.slow)
        .boolean("truncated", l.info.truncated)
        .number("time", l.info.laptime, 3)
        .number("gap", l.gap, 3)
        .number("length", l.info.length, 1)
        .integer("samples", l.info.samples);
}

SectorTable sector_table(const Session& s, const Analysed& a) {
    SectorTable t;
    t.cuts.assign(a.info.cuts, a.info.cuts + a.info.ncuts);
    for (std::size_t lap = 0; lap < a.laps.size(); ++lap)
        if (a.laps[lap].info.lap_class == LX_LAP_FULL)
            t.rows.push_back({int(lap), sector_times(s, int(lap))});
    t.theoretical = best_lap(s, LX_BEST_THEORETICAL);
    t.optimal = best_lap(s, LX_BEST_OPTIMAL);
    return t;
}

namespace {
struct CutsFrom {
    const char* name;
    const char* words;
};
// By LX_CUTS_GIVEN, LX_CUTS_SHAPE, LX_CUTS_REFERENCE, LX_CUTS_GATES.
constexpr CutsFrom CUTS_FROM[] = {{"given", ""},
                                  {"shape", " (the default cuts, on its straights)"},
                                  {"reference", " (the reference session's cuts)"},
                                  {"gates", " (the file's split gates)"}};

const CutsFrom& cuts_from(int from) {
    bool known = from >= 0 && from < int(std::size(CUTS_FROM));
    return CUTS_FROM[known ? from : LX_CUTS_SHAPE];
}
} // namespace

const char* cuts_from_name(int from) {
    return cuts_from(from).name;
}

std::string cuts_from_words(int from) {
    return cuts_from(from).words;
}

const char* hand(int direction) {
    return direction > 0 ? "right" : "left";
}

std::string pieces_text(const Session& s, const std::vector<lx_piece>& pieces) {
    std::ostringstream text;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        text << (i ? ", " : "") << std::lround(pieces[i].start) << "-" << std::lround(pieces[i].end)
             << " m lap " << lap_info(s, pieces[i].lap).number;
    return text.str();
}

} // namespace lxtool
