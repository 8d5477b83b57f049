#include "season.h"

#include <cmath>
#include <numbers>

#include "analysed.h"
#include "options.h"

namespace lxtool {

const char* const STATUS_ANALYSED = "analysed";
const char* const STATUS_REFUSED = "refused";
const char* const STATUS_NO_FULL_LAP = "no full lap";
const char* const STATUS_NOT_ANALYSED = "not analysed";

namespace {

constexpr double EARTH_RADIUS = 6371000.0; // m
constexpr double SAME_PLACE = 2000.0;      // m between track centres
constexpr double DEGREE = std::numbers::pi / 180.0;

void take_facts(const Session& s, SessionRows& rows) {
    lx_session_info info = s.info();
    rows.format = info.format;
    rows.venue = info.venue;
    rows.vehicle = info.vehicle;
    rows.driver = info.driver;
    rows.date_text = info.date;
    rows.laps = info.laps;
    char day[16] = "";
    lx_session_day(s.handle(), day, sizeof day);
    rows.day = day;
}

int lap_number(const Session& s, int lap) {
    return lap >= 0 ? lap_info(s, lap).number : 0;
}

// The mean of the fastest lap's GPS track, in degrees.
std::optional<GpsCentre> centre_of(const Session& s, int fastest) {
    double latitude = 0, longitude = 0;
    if (lx_session_origin(s.handle(), &latitude, &longitude) != LX_OK) return std::nullopt;
    int n = lx_analysis_gps_track(s.handle(), fastest, nullptr, nullptr, 0, nullptr);
    if (n <= 0) return std::nullopt;
    std::vector<double> x(static_cast<std::size_t>(n)), y(static_cast<std::size_t>(n));
    lx_analysis_gps_track(s.handle(), fastest, x.data(), y.data(), n, nullptr);
    double east = 0, north = 0;
    for (int i = 0; i < n; ++i) {
        east += x[std::size_t(i)] / n;
        north += y[std::size_t(i)] / n;
    }
    GpsCentre c;
    c.latitude = latitude + north / EARTH_RADIUS / DEGREE;
    c.longitude = longitude + east / (EARTH_RADIUS * std::cos(latitude * DEGREE)) / DEGREE;
    return c;
}

void take_laps(const Session& s, const Analysed& a, SessionRows& rows) {
    for (const lx_analysis_lap& l : a.laps) {
        LapRow r;
        r.lap = l.info.number;
        r.logger_lap = l.info.logger_lap;
        r.lap_class = class_key(l.info.lap_class);
        r.slow = l.info.slow;
        r.time = l.info.laptime;
        r.gap = l.gap;
        r.length = l.info.length;
        rows.lap_rows.push_back(r);
    }
    for (const SectorRow& row : sector_table(s, a).rows)
        for (std::size_t k = 0; k < row.times.size(); ++k)
            rows.sectors.push_back({lap_number(s, row.lap), int(k) + 1, row.times[k]});
}

void take_corners(const Session& s, SessionRows& rows) {
    for (const lx_corner_summary& c : corner_summary(s)) {
        CornerRow r;
        r.corner = c.corner.number;
        r.hand = hand(c.corner.direction);
        r.apex = c.corner.apex;
        r.best_min_kmh = c.best_min_speed * KMH;
        r.best_min_lap = lap_number(s, c.best_min_lap);
        rows.corners.push_back(r);
    }
}

// Everything the analysis gives, once it has run.
void take_analysis(const Session& s, SessionRows& rows) {
    Analysed a;
    lx_analysis_info_get(s.handle(), &a.info);
    for (int lap = 0; lap < s.laps(); ++lap) {
        lx_analysis_lap l{};
        lx_analysis_lap_get(s.handle(), lap, &l);
        a.laps.push_back(l);
    }
    rows.full_laps = a.info.full_laps;
    rows.fastest_lap = lap_number(s, a.info.fastest_lap);
    rows.fastest_time = a.info.fastest_time;
    rows.theoretical_best = a.info.theoretical_best;
    rows.optimal_lap = a.info.optimal_lap;
    rows.ref_length = a.info.ref_length;
    take_laps(s, a, rows);
    if (a.info.fastest_lap < 0) return;
    take_corners(s, rows);
    rows.centre = centre_of(s, a.info.fastest_lap);
}

// The reason without the file's name, which the listing gives beside it.
std::string reason_for(const std::string& path, std::string why) {
    for (const std::string& prefix : {path + ": ", path + " "})
        if (why.rfind(prefix, 0) == 0) why.erase(0, prefix.size());
    return why;
}

int analyse_against(const Session& s, int ref_handle) {
    lx_analysis_options o{};
    lx_analysis_defaults(&o);
    o.ref_handle = ref_handle;
    return lx_analyse(s.handle(), &o);
}

} // namespace

SessionRows read_session(const SeasonFile& file) {
    SessionRows rows;
    rows.file = file;
    rows.status = STATUS_REFUSED;
    try {
        Session s = Session::open(file.path);
        take_facts(s, rows);
        rows.status = STATUS_NO_FULL_LAP;
        if (s.laps() == 0) refuse("no laps");
        if (int status = analyse_against(s, 0); status < 0) {
            if (status != LX_ERR_LAP) rows.status = STATUS_NOT_ANALYSED;
            refuse(library_message());
        }
        take_analysis(s, rows);
        if (rows.full_laps == 0) refuse("no full lap in " + count_of(rows.laps, "lap"));
        rows.status = STATUS_ANALYSED;
    } catch (const Failure& f) {
        rows.reason = reason_for(file.path, f.message);
    }
    return rows;
}

const Session* References::get(const std::string& path) {
    constexpr std::size_t KEPT = 4;
    for (const auto& [kept, session] : open_)
        if (kept == path) return session.get();
    try {
        auto session = std::make_unique<Session>(Session::open(path));
        if (analyse_against(*session, 0) < 0) return nullptr;
        if (open_.size() == KEPT) open_.erase(open_.begin());
        open_.emplace_back(path, std::move(session));
        return open_.back().second.get();
    } catch (const Failure&) {
        return nullptr;
    }
}

std::optional<SessionRows> read_on_track(const SessionRows& session, References& references,
                                         const std::string& reference_path) {
    const Session* ref = references.get(reference_path);
    if (ref == nullptr) return std::nullopt;
    try {
        Session s = Session::open(session.file.path);
        if (analyse_against(s, ref->handle()) < 0) return std::nullopt;
        SessionRows rows = session;
        rows.lap_rows.clear();
        rows.corners.clear();
        rows.sectors.clear();
        take_analysis(s, rows);
        rows.centre = session.centre;
        return rows;
    } catch (const Failure&) {
        return std::nullopt;
    }
}

bool near(const std::optional<GpsCentre>& a, const std::optional<GpsCentre>& b) {
    if (!a || !b) return true; // only the same-track test can tell
    double mean = (a->latitude + b->latitude) / 2 * DEGREE;
    double north = (a->latitude - b->latitude) * DEGREE * EARTH_RADIUS;
    double east = (a->longitude - b->longitude) * DEGREE * EARTH_RADIUS * std::cos(mean);
    return std::hypot(north, east) <= SAME_PLACE;
}

} // namespace lxtool
