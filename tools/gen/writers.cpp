#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "recording.h"

namespace lxgen {

namespace {

constexpr double KMH_PER_MS = 3.6;
constexpr double KMH_PER_MPH = 1.609344;
constexpr std::size_t TIME = 0, DISTANCE = 1;

std::string number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Shortest of up to three decimals, at least one: "797.44", "798.0".
std::string short_number(double value) {
    std::string text = number(value, 3);
    while (text.back() == '0' && text[text.size() - 2] != '.') text.pop_back();
    return text;
}

// "1:02.972"
std::string minutes(double seconds) {
    long ms = static_cast<long>(seconds * 1000 + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld.%03ld", ms / 60000, ms / 1000 % 60, ms % 1000);
    return text;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string joined(const std::vector<std::string>& cells, bool quote) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i)
        line += (i ? "," : "") + (quote ? quoted(cells[i]) : cells[i]);
    return line;
}

long days_since_1970(int y, int m, int d) {
    y -= m <= 2;
    long era = (y >= 0 ? y : y - 399) / 400;
    long yoe = y - era * 400;
    long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

double unix_start(const SessionInfo& i) {
    return double(days_since_1970(i.year, i.month, i.day) * 86400 + i.hour * 3600 + i.minute * 60 +
                  i.second);
}

std::size_t lap_end(const Recording& r, std::size_t lap) {
    return lap + 1 < r.lap_starts.size() ? r.lap_starts[lap + 1] : r.rows();
}

// Where each segment of the session ends: every beacon, then the end.
std::vector<double> segment_ends(const Recording& r) {
    std::vector<double> ends = r.beacon_times;
    ends.push_back(r.duration());
    return ends;
}

// A value between samples, on a straight line between its neighbours.
double value_at(const Recording& r, std::size_t channel, double seconds) {
    double position = std::clamp(seconds * r.sample_rate, 0.0, double(r.rows() - 1));
    std::size_t row = std::min(std::size_t(position), r.rows() - 2);
    double f = position - double(row);
    return r.at(row, channel) + (r.at(row + 1, channel) - r.at(row, channel)) * f;
}

} // namespace

std::size_t Recording::find(const std::string& name) const {
    auto it = std::find_if(channels.begin(), channels.end(),
                           [&](const Channel& c) { return c.name == name; });
    return std::size_t(it - channels.begin());
}

void Recording::split_lap_at(double seconds) {
    auto row = std::size_t(seconds * sample_rate);
    if (double(row) < seconds * sample_rate) ++row;
    lap_starts.insert(std::upper_bound(lap_starts.begin(), lap_starts.end(), row), row);
    beacon_times.insert(std::upper_bound(beacon_times.begin(), beacon_times.end(), seconds),
                        seconds);
    lap_numbers.push_back(lap_numbers.empty() ? 1 : lap_numbers.back() + 1);
}

void Recording::widen(std::size_t channel_count) {
    std::size_t old = channels.size(), n = rows();
    if (channel_count <= old) return;
    for (std::size_t k = old; k < channel_count; ++k)
        channels.push_back({"Sensor " + std::to_string(k), "u", int(k % 4)});
    std::vector<double> wide;
    wide.reserve(n * channel_count);
    for (std::size_t row = 0; row < n; ++row) {
        wide.insert(wide.end(), values.begin() + long(row * old),
                    values.begin() + long((row + 1) * old));
        double t = double(row) / sample_rate;
        for (std::size_t k = old; k < channel_count; ++k) {
            // A smooth periodic wave of its own period and phase, in [-1, 1].
            double phase = t * (0.05 + 0.01 * double(k)) + 0.137 * double(k);
            double p = phase - double(long(phase));
            double wave = 8 * p * (1 - p) - 1;
            const double scale[] = {80, 1.6, 3000, 10};
            const double offset[] = {120, 0, 9000, 85};
            wide.push_back(offset[k % 4] + scale[k % 4] * wave);
        }
    }
    values.swap(wide);
}

std::string write_text(const Recording& r, const TextLayout& layout) {
    const char* eol = layout.crlf ? "\r\n" : "\n";
    auto skipped = [&](std::size_t c) {
        return std::find(layout.skip.begin(), layout.skip.end(), r.channels[c].name) !=
               layout.skip.end();
    };
    auto mph = [&](std::size_t c) {
        return !layout.mph_title.empty() && r.channels[c].unit == "km/h";
    };
    std::string text = layout.index_title + "\t";
    for (std::size_t c = 0; c < r.channels.size(); ++c)
        if (!skipped(c))
            text +=
                (mph(c) ? layout.mph_title : r.channels[c].name + " [" + r.channels[c].unit + "]") +
                "\t";
    text += eol;
    const double dt = 1.0 / r.sample_rate;
    for (std::size_t lap = 0; lap < r.lap_starts.size(); ++lap) {
        std::size_t first = r.lap_starts[lap];
        for (std::size_t row = first; row < lap_end(r, lap); ++row) {
            int n = r.lap_numbers[lap];
            if (row == first)
                text += layout.marker == LapMarker::session_and_lap
                            ? "Lap: 1/" + std::to_string(n)
                            : "Lap: " + std::to_string(n - 1) + "/" + std::to_string(n);
            text += "\t" + std::to_string(row);
            for (std::size_t c = 0; c < r.channels.size(); ++c) {
                if (skipped(c)) continue;
                double v = r.at(row, c);
                if (layout.lap_relative && c == TIME) v = double(row - first) * dt;
                if (layout.lap_relative && c == DISTANCE) v -= r.at(first, c);
                if (mph(c)) v /= KMH_PER_MPH;
                text += "\t" + number(v, r.channels[c].decimals);
            }
            text += eol;
        }
    }
    text += "Lap:";
    text += eol;
    if (layout.lap_time_trailer)
        for (std::size_t lap = 0; lap < r.lap_starts.size(); ++lap)
            text += std::to_string(r.lap_numbers[lap]) + "\tLaptime\t" +
                    number(double(lap_end(r, lap) - r.lap_starts[lap]) / r.sample_rate, 3) + eol;
    return text + layout.after_end;
}

namespace {

const char* const MONTHS[] = {"January",   "February", "March",    "April",
                              "May",       "June",     "July",     "August",
                              "September", "October",  "November", "December"};
const char* const WEEKDAYS[] = {"Thursday", "Friday",  "Saturday", "Sunday",
                                "Monday",   "Tuesday", "Wednesday"};

std::vector<std::string> aim_metadata(const Recording& r, const AimLayout& layout) {
    const SessionInfo& i = r.info;
    char date[64], clock[32];
    if (layout.legacy) {
        std::snprintf(date, sizeof date, "%02d/%02d/%02d", i.day, i.month, i.year % 100);
        std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", i.hour, i.minute, i.second);
    } else {
        std::snprintf(date, sizeof date, "%s, %s %d, %d",
                      WEEKDAYS[days_since_1970(i.year, i.month, i.day) % 7], MONTHS[i.month - 1],
                      i.day, i.year);
        std::snprintf(clock, sizeof clock, "%d:%02d %s", (i.hour + 11) % 12 + 1, i.minute,
                      i.hour < 12 ? "AM" : "PM");
    }
    std::vector<std::vector<std::string>> rows;
    if (layout.legacy)
        rows = {{"Format", "AIM CSV File"}, {"Venue", i.venue},           {"Vehicle", i.vehicle},
                {"User", i.driver},         {"Data Source", "Generated"}, {"Comment", ""}};
    else
        rows = {{"Format", "AiM CSV File"},      {"Session", i.venue},
                {"Vehicle", i.vehicle},          {"Racer", i.driver},
                {"Championship", "Club Trophy"}, {"Comment", ""}};
    rows.push_back({"Date", date});
    rows.push_back({"Time", clock});
    rows.push_back({"Sample Rate", number(r.sample_rate, 0)});
    rows.push_back({"Duration", number(r.duration(), 3)});
    rows.push_back({"Segment", "Session"});
    std::vector<std::string> markers{"Beacon Markers"}, times{"Segment Times"};
    double previous = 0;
    std::string together;
    for (double end : segment_ends(r)) {
        std::string mark = number(end, 3);
        if (layout.markers == MarkerCells::separate)
            markers.push_back(mark);
        else
            together += (together.empty() || layout.markers == MarkerCells::spaces ? "" : ", ") +
                        mark + (layout.markers == MarkerCells::spaces ? " " : "");
        times.push_back(minutes(end - previous));
        previous = end;
    }
    if (layout.markers != MarkerCells::separate) markers.push_back(together);
    rows.push_back(markers);
    rows.push_back(times);
    std::vector<std::string> lines;
    for (const auto& row : rows) lines.push_back(joined(row, true));
    return lines;
}

std::string degree_unit(const std::string& unit, bool latin1) {
    if (unit != "C") return unit;
    return latin1 ? "\xB0"
                    "C"
                  : "\xC2\xB0"
                    "C";
}

} // namespace

std::string write_aim_csv(const Recording& r, const AimLayout& layout) {
    const std::string eol = layout.crlf ? "\r\n" : "\n";
    std::string text;
    for (const std::string& line : aim_metadata(r, layout)) text += line + eol;
    text += eol;
    std::vector<std::string> names, units, numbers;
    for (std::size_t c = 0; c < r.channels.size(); ++c) {
        names.push_back(r.channels[c].name);
        units.push_back(degree_unit(r.channels[c].unit, layout.legacy));
        numbers.push_back(c < 2 ? "" : std::to_string(c - 1));
    }
    // The older layout closes its header rows with an empty field.
    std::string close = layout.legacy ? "," : "";
    text += joined(names, true) + close + eol;
    if (layout.legacy) text += joined(names, true) + close + eol;
    text += joined(units, true) + close + eol;
    if (layout.legacy) text += joined(numbers, true) + close + eol;
    text += eol;
    std::vector<std::string> cells(r.channels.size());
    for (std::size_t row = 0; row < r.rows(); ++row) {
        for (std::size_t c = 0; c < cells.size(); ++c)
            cells[c] = number(r.at(row, c), r.channels[c].decimals);
        text += joined(cells, !layout.legacy) + eol;
    }
    return text;
}

namespace {

constexpr double GPS_RATE = 25, ENGINE_RATE = 10;

struct AppColumn {
    std::size_t channel;
    std::string name, unit, source;
    double scale;
    int decimals;
};

std::vector<AppColumn> app_columns(const Recording& r) {
    std::vector<AppColumn> columns;
    for (std::size_t c = DISTANCE + 1; c < r.channels.size(); ++c) {
        const Channel& ch = r.channels[c];
        if (ch.unit == "km/h")
            columns.push_back({c, "speed", "m/s", "100: gps", 1 / KMH_PER_MS, 3});
        else if (ch.name == "GPS Latitude")
            columns.push_back({c, "latitude", "deg", "100: gps", 1, 7});
        else if (ch.name == "GPS Longitude")
            columns.push_back({c, "longitude", "deg", "100: gps", 1, 7});
        else if (ch.name.find("Lateral") != std::string::npos)
            columns.push_back({c, "lateral_acc", "G", "calc", -1, 5}); // positive to the left
        else if (ch.name.find("Longitudinal") != std::string::npos)
            columns.push_back({c, "longitudinal_acc", "G", "calc", 1, 5});
        else {
            std::string name = ch.name;
            std::transform(name.begin(), name.end(), name.begin(),
                           [](char x) { return x == ' ' ? '_' : char(x | 0x20); });
            columns.push_back({c, name, ch.unit, "200: obd", 1, ch.decimals + 1});
        }
    }
    return columns;
}

// Line crossings, to the millisecond.
std::vector<double> app_crossings(const Recording& r) {
    std::vector<double> crossings;
    for (double t : r.beacon_times) crossings.push_back(double(long(t * 1000 + 0.5)) / 1000);
    return crossings;
}

// Row times: the GPS's, the engine link's (a row from each where they
// coincide) and each line crossing's.
std::vector<double> app_row_times(const Recording& r, const std::vector<double>& crossings) {
    std::vector<double> times = crossings;
    double end = r.duration();
    for (long k = 0; double(k) / GPS_RATE <= end; ++k) times.push_back(double(k) / GPS_RATE);
    for (long k = 0; double(k) / ENGINE_RATE <= end; ++k) times.push_back(double(k) / ENGINE_RATE);
    std::sort(times.begin(), times.end());
    return times;
}

} // namespace

std::string write_racechrono_csv(const Recording& r) {
    const std::vector<AppColumn> columns = app_columns(r);
    const SessionInfo& i = r.info;
    char created[64];
    std::snprintf(created, sizeof created, "%02d/%02d/%04d,%02d:%02d", i.day, i.month, i.year,
                  i.hour, i.minute);
    std::string text = "This file was written by lx-gen, a session generator.\r\n"
                       "Format,3\r\n"
                       "Session title," +
                       quoted(i.venue) +
                       "\r\n"
                       "Session type,Lap timing\r\n"
                       "Track name," +
                       quoted(i.venue) +
                       "\r\n"
                       "Driver name," +
                       i.driver +
                       "\r\n"
                       "Created," +
                       created +
                       "\r\n"
                       "Note,\r\n\r\n";
    std::vector<std::string> names{"timestamp", "fragment_id", "lap_number", "elapsed_time",
                                   "distance_traveled"},
        units{"unix time", "", "", "s", "m"}, sources{"", "", "", "", ""};
    for (const AppColumn& c : columns) {
        names.push_back(c.name);
        units.push_back(c.unit);
        sources.push_back(c.source);
    }
    for (const auto& row : {names, units, sources}) text += joined(row, false) + "\r\n";
    const double start = unix_start(i);
    const std::vector<double> crossings = app_crossings(r);
    for (double t : app_row_times(r, crossings)) {
        auto lap = std::upper_bound(crossings.begin(), crossings.end(), t) - crossings.begin();
        text += short_number(start + t) + ",0," + std::to_string(lap) + "," + short_number(t) +
                "," + number(value_at(r, DISTANCE, t), 3);
        for (const AppColumn& c : columns)
            text += "," + number(c.scale * value_at(r, c.channel, t), c.decimals);
        text += "\r\n";
    }
    return text;
}

std::string write_motec_csv(const Recording& r) {
    const SessionInfo& i = r.info;
    char date[32], clock[32];
    std::snprintf(date, sizeof date, "%d-%02d-%02d", i.year, i.month, i.day);
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", i.hour, i.minute, i.second);
    std::string duration = number(r.duration(), 3), markers;
    for (double t : r.beacon_times) markers += number(t, 3) + " ";
    const std::string eol = "\r\n";
    std::string text;
    auto line = [&](const std::string& content) { text += content + eol; };
    line("\"Format\",\"MoTeC CSV File\",,,\"Workbook\",\"\"");
    line("\"Venue\"," + quoted(i.venue) + ",,,\"Worksheet\",\"\"");
    line("\"Vehicle\"," + quoted(i.vehicle) + ",,,\"Vehicle Desc\",\"\"");
    line("\"Driver\"," + quoted(i.driver) + ",,,\"Engine ID\",\"\"");
    line("\"Device\",\"LXG\"");
    line("\"Comment\",\"\",,,\"Session\",\"\"");
    line("\"Log Date\"," + quoted(date) + ",,,\"Origin Time\",\"0.000\",\"s\"");
    line("\"Log Time\"," + quoted(clock) + ",,,\"Start Time\",\"0.000\",\"s\"");
    line("\"Sample Rate\"," + quoted(number(r.sample_rate, 3)) + ",\"Hz\",,\"End Time\"," +
         quoted(duration) + ",\"s\"");
    line("\"Duration\"," + quoted(duration) + ",\"s\",,\"Start Distance\",\"0\",\"m\"");
    line("\"Range\",\"entire outing\",,,\"End Distance\"," +
         quoted(number(r.at(r.rows() - 1, DISTANCE), 0)) + ",\"m\"");
    line("\"Beacon Markers\"," + quoted(markers));
    text += eol + eol;
    std::vector<std::string> names, units, cells(r.channels.size());
    for (const Channel& c : r.channels) {
        names.push_back(c.name);
        units.push_back(c.unit);
    }
    line(joined(names, true));
    line(joined(units, true));
    text += eol + eol;
    for (std::size_t row = 0; row < r.rows(); ++row) {
        for (std::size_t c = 0; c < cells.size(); ++c)
            cells[c] = number(r.at(row, c), r.channels[c].decimals);
        line(joined(cells, true));
    }
    return text;
}

namespace {

constexpr double MINUTES_PER_DEGREE = 60;
constexpr int SATELLITE_FLAG = 128; // the count is in the bits below

struct VboColumn {
    std::size_t channel;
    std::string name, title; // short, and long with its unit word
    double scale;
};

std::vector<VboColumn> vbo_columns(const Recording& r) {
    std::vector<VboColumn> columns;
    for (std::size_t c = DISTANCE + 1; c < r.channels.size(); ++c) {
        const Channel& ch = r.channels[c];
        if (ch.name.find("GPS") == 0) continue;
        if (ch.unit == "km/h")
            columns.push_back({c, "velocity", "velocity kmh", 1});
        else if (ch.name.find("Lateral") != std::string::npos)
            columns.push_back({c, "latacc-calc", "latacc-calc g", -1}); // positive to the left
        else if (ch.name.find("Longitudinal") != std::string::npos)
            columns.push_back({c, "longacc-calc", "longacc-calc g", 1});
        else {
            std::string name = ch.name;
            std::transform(name.begin(), name.end(), name.begin(),
                           [](char x) { return x == ' ' ? '-' : char(x | 0x20); });
            columns.push_back({c, name, ch.name, 1});
        }
    }
    return columns;
}

// "hhmmss.ss", or three decimals where the rate needs them.
std::string vbo_time(const SessionInfo& i, double seconds, int decimals) {
    double scale = decimals == 2 ? 100 : 1000;
    long long ticks = std::llround((i.hour * 3600 + i.minute * 60 + i.second + seconds) * scale);
    long long whole = ticks / (long long)scale, part = ticks % (long long)scale;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld%02lld%02lld.%0*lld", whole / 3600 % 24,
                  whole / 60 % 60, whole % 60, decimals, part);
    return text;
}

std::string vbo_gate(const char* kind, const std::vector<double>& g, const std::string& name) {
    std::string line = std::string(kind) + "  ";
    for (int k = 0; k < 2; ++k)
        line += " " + number(-g[std::size_t(2 * k + 1)] * MINUTES_PER_DEGREE, 6) + " " +
                number(g[std::size_t(2 * k)] * MINUTES_PER_DEGREE, 6);
    return line + " \xC2\xAC " + name + "\r\n";
}

} // namespace

std::string write_vbo(const Recording& r, const VboLayout& layout) {
    const SessionInfo& i = r.info;
    const std::vector<VboColumn> columns = vbo_columns(r);
    const std::size_t lat = r.find("GPS Latitude"), lon = r.find("GPS Longitude");
    const int decimals = std::fmod(100.0, r.sample_rate) == 0 ? 2 : 3;
    char created[80];
    std::snprintf(created, sizeof created, "File created on %02d/%02d/%04d at %02d:%02d:%02d\r\n",
                  i.day, i.month, i.year, i.hour, i.minute, i.second);
    std::string text = created;
    text += "\r\n[header]\r\nsatellites\r\ntime\r\nlatitude\r\nlongitude\r\n";
    for (const VboColumn& c : columns) text += c.title + "\r\n";
    text += "\r\n[comments]\r\nGenerated by lx-gen\r\n\r\n[session data]\r\nname " + i.venue +
            "\r\n\r\n";
    if (!r.start_gate.empty()) {
        text += "[laptiming]\r\n" +
                vbo_gate("Start", layout.gate_along ? r.start_gate_along : r.start_gate, "Start");
        for (std::size_t k = 0; k < r.split_gates.size(); ++k)
            text += vbo_gate("Split", r.split_gates[k], "Split " + std::to_string(k + 1));
        text += "\r\n";
    }
    text += "[column names]\r\nsats time lat long";
    for (const VboColumn& c : columns) text += " " + c.name;
    text += "\r\n\r\n[data]\r\n";
    for (std::size_t row = 0; row < r.rows(); ++row) {
        text += std::to_string(SATELLITE_FLAG + 10 + int(row % 4)) + " " +
                vbo_time(i, double(row) / r.sample_rate, decimals);
        char position[64];
        std::snprintf(position, sizeof position, " %+013.6f %+013.6f",
                      r.at(row, lat) * MINUTES_PER_DEGREE, -r.at(row, lon) * MINUTES_PER_DEGREE);
        text += position;
        for (const VboColumn& c : columns) {
            int places = r.channels[c.channel].decimals;
            text += " " + std::string(c.scale * r.at(row, c.channel) >= 0 ? "+" : "") +
                    number(c.scale * r.at(row, c.channel), places);
        }
        text += "\r\n";
    }
    return text;
}

std::string write(const Recording& r, Format format) {
    switch (format) {
    case Format::vbo:
        return write_vbo(r);
    case Format::aim_csv:
        return write_aim_csv(r);
    case Format::racechrono_csv:
        return write_racechrono_csv(r);
    case Format::motec_csv:
        return write_motec_csv(r);
    case Format::ld:
        return write_ld(r);
    case Format::ibt:
        return write_ibt(r);
    default:
        return write_text(r);
    }
}

} // namespace lxgen
