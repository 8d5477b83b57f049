#include "season_page.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "analysed.h"
#include "driver_views.h"
#include "markup.h"
#include "page_parts.h"
#include "report_page.h"
#include "svg.h"

namespace fs = std::filesystem;

namespace lxtool {

namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr const char* SESSIONS_SQL =
    "SELECT s.id, s.path, s.status, s.reason, IFNULL(s.track, ''), IFNULL(t.name, ''), "
    "IFNULL(s.day, ''), s.fastest_time, s.fastest_lap, s.full_laps, s.laps FROM sessions s "
    "LEFT JOIN tracks t ON s.track = t.id ORDER BY s.track IS NULL, s.track, s.day, s.path";
enum { ID, PATH, STATUS, REASON, TRACK, TRACK_NAME, DAY, TIME, LAP, FULL, LAPS };

constexpr const char* CORNERS_SQL =
    "SELECT c.track, c.corner, c.hand, c.apex, c.best_min_kmh, s.path, c.lap FROM "
    "track_corner_bests c JOIN sessions s ON c.session = s.id ORDER BY c.track, c.corner";
enum { C_TRACK, C_CORNER, C_HAND, C_APEX, C_KMH, C_PATH, C_LAP };

std::string time_text(const std::string& seconds) {
    return seconds.empty() ? "-" : laptime_text(std::strtod(seconds.c_str(), nullptr));
}

std::string lap_text(const std::vector<std::string>& r) {
    return time_text(r[TIME]) + (r[LAP].empty() ? "" : " (lap " + r[LAP] + ")");
}

// Sessions on no track (refused: files not read; opened: the others).
void print_unplaced(const Rows& sessions, bool refused, const char* title) {
    bool first = true;
    for (const auto& r : sessions) {
        if ((r[STATUS] == STATUS_REFUSED) != refused || !r[TRACK].empty()) continue;
        if (first) row("%s", title);
        first = false;
        row("  %s: %s", r[PATH].c_str(), r[REASON].c_str());
    }
}

// The session's report, written when asked for; its link either way.
std::string report_link(const std::vector<std::string>& r, const std::string& output,
                        bool reports) {
    std::string folder = "sessions/" + r[ID];
    if (reports) {
        Session s = Session::open(r[PATH]);
        Analysed a = analyse(s, AnalysisRequest{});
        fs::create_directories(fs::path(output) / folder);
        write_file((fs::path(output) / folder / "report.html").string(),
                   report_page(s, a, channel_reasons(a.info), LapMatching{},
                               ReportViews{role_channels(s), {}}));
    }
    return "<a href='" + folder + "/report.html' title='lx report " + markup::escape(r[PATH]) +
           " -o " + folder + "'>" + markup::escape(r[PATH]) + "</a>";
}

// Days since 1970 of "YYYY-MM-DD", for the chart's axis.
double day_number(const std::string& day) {
    int y = std::atoi(day.c_str()), m = std::atoi(day.c_str() + 5), d = std::atoi(day.c_str() + 8);
    y -= m <= 2;
    int era = (y >= 0 ? y : y - 399) / 400, yoe = y - era * 400;
    int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

std::string best_lap_chart(const Rows& dated) {
    if (dated.empty()) return "<p>No session of this track states a date it can be read by.</p>";
    double lo_day = 1e18, hi_day = -1e18, lo_t = 1e18, hi_t = -1e18;
    for (const auto& r : dated) {
        double day = day_number(r[DAY]), t = std::strtod(r[TIME].c_str(), nullptr);
        lo_day = std::min(lo_day, day), hi_day = std::max(hi_day, day);
        lo_t = std::min(lo_t, t), hi_t = std::max(hi_t, t);
    }
    svg::Box area{70, 20, 560, 220};
    svg::Axis x{lo_day - 15, hi_day + 15, "days since " + dated.front()[DAY]};
    svg::Axis y{svg::round_down(lo_t - 1), svg::round_up(hi_t + 1), "best lap (s)"};
    std::string body = svg::axes(area, {x.lo - lo_day, x.hi - lo_day, x.label}, y);
    for (const auto& r : dated) {
        double px = area.x + (day_number(r[DAY]) - x.lo) / (x.hi - x.lo) * area.w;
        double py = svg::y_pixel(area, y, std::strtod(r[TIME].c_str(), nullptr));
        body += "<circle cx='" + svg::fixed(px, 1) + "' cy='" + svg::fixed(py, 1) +
                "' r='5' fill='#c33'><title>" + markup::escape(r[DAY] + " " + lap_text(r)) +
                "</title></circle>";
    }
    return svg::document(660, 280, body, "Best lap against date");
}

std::string track_section(const std::string& id, const Rows& sessions, const Rows& corners,
                          const std::string& output, bool reports) {
    Rows mine, dated;
    for (const auto& r : sessions)
        if (r[TRACK] == id) mine.push_back(r);
    std::string html =
        "<h2>Track " + id + ": " + markup::escape(mine.front()[TRACK_NAME]) + "</h2>";
    for (const auto& r : mine)
        if (!r[DAY].empty() && !r[TIME].empty()) dated.push_back(r);
    html += best_lap_chart(dated);
    html += "<table><tr><th>day</th><th>best lap</th><th>full laps</th><th>session</th></tr>";
    for (const auto& r : mine)
        html += "<tr><td>" + (r[DAY].empty() ? "unknown" : r[DAY]) + "</td><td>" + lap_text(r) +
                "</td><td>" + r[FULL] + " of " + r[LAPS] + "</td><td>" +
                report_link(r, output, reports) + "</td></tr>";
    html += "</table><h3>Corner bests</h3><table><tr><th>corner</th><th>hand</th><th>apex "
            "(m)</th><th>best min (km/h)</th><th>session, lap</th></tr>";
    for (const auto& c : corners)
        if (c[C_TRACK] == id)
            html += "<tr><td>" + c[C_CORNER] + "</td><td>" + c[C_HAND] + "</td><td>" +
                    svg::fixed(std::strtod(c[C_APEX].c_str(), nullptr), 0) + "</td><td>" +
                    svg::fixed(std::strtod(c[C_KMH].c_str(), nullptr), 1) + "</td><td>" +
                    markup::escape(c[C_PATH]) + ", lap " + c[C_LAP] + "</td></tr>";
    return html + "</table>";
}

std::string unplaced_section(const Rows& sessions) {
    std::string html = "<h2>Not on a known track</h2><table><tr><th>file</th><th>why</th></tr>";
    for (const auto& r : sessions)
        if (r[TRACK].empty())
            html += "<tr><td>" + markup::escape(r[PATH]) + "</td><td>" + markup::escape(r[REASON]) +
                    "</td></tr>";
    return html + "</table>";
}

} // namespace

void print_season(SeasonDb& db) {
    Rows sessions = db.rows(SESSIONS_SQL);
    std::string track;
    for (const auto& r : sessions) {
        if (r[TRACK].empty()) continue;
        if (r[TRACK] != track) row("track %s  %s", r[TRACK].c_str(), r[TRACK_NAME].c_str());
        track = r[TRACK];
        row("  %-10s  %-18s  %s", r[DAY].empty() ? "?" : r[DAY].c_str(), lap_text(r).c_str(),
            r[PATH].c_str());
    }
    print_unplaced(sessions, false, "unknown track");
    print_unplaced(sessions, true, "refused");
}

std::string write_season_page(SeasonDb& db, const std::string& output, bool reports) {
    Rows sessions = db.rows(SESSIONS_SQL), corners = db.rows(CORNERS_SQL);
    std::string body;
    std::string last;
    for (const auto& r : sessions)
        if (!r[TRACK].empty() && r[TRACK] != last)
            body += track_section(last = r[TRACK], sessions, corners, output, reports);
    body += unplaced_section(sessions);
    std::string page = std::string("<!DOCTYPE html><html><head><meta charset='utf-8'><title>"
                                   "Season</title>") +
                       page_style() + "</head><body><h1>Season</h1>" + body + "</body></html>\n";
    fs::create_directories(output);
    std::string path = (fs::path(output) / "season.html").string();
    write_file(path, page);
    return path;
}

} // namespace lxtool
