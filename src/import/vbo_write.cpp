// The VBO writer: what the reader reads back to the same samples and laps.
// Positions come from East and North, so the written ones are the session's.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/ascii.h"
#include "import/csv_lines.h"
#include "import/gps_line.h"
#include "import/vbo.h"
#include "import/vbo_layout.h"
#include "lx_data.h"
#include "session/record.h"

namespace lx {

namespace {

constexpr const char* NO_UNIT = "-";       // [channel units] has a line for every channel
constexpr double CENTISECOND_SLACK = 1e-4; // seconds: a time this near 0.01 s steps is written so

// A start time a date can be written for.
bool dated(double start_time) {
    return start_time > 0 && start_time < LAST_DATE_SECONDS;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

int channel_named(const Session& s, const char* name) {
    for (int c = 0; c < s.nfile_channels; ++c)
        if (std::strcmp(s.channels[c].name, name) == 0) return c;
    return -1;
}

std::string title_of(const Session& s, int c) {
    const SessionRecord* r = s.record;
    if (r && std::size_t(c) < r->titles.size() && !r->titles[std::size_t(c)].title.empty())
        return r->titles[std::size_t(c)].title;
    return s.channels[c].name;
}

std::string unit_of(const Session& s, int c) {
    const SessionRecord* r = s.record;
    if (r && std::size_t(c) < r->titles.size()) return r->titles[std::size_t(c)].unit;
    return s.channels[c].unit;
}

enum class Kind { value, latitude, longitude };

// A latitude or longitude channel: written from East and North in its place.
Kind kind_of(const std::string& title) {
    std::string t = ascii_lower(title);
    if (t.find("latitude") != std::string::npos) return Kind::latitude;
    if (t.find("longitude") != std::string::npos) return Kind::longitude;
    return Kind::value;
}

// One word: blanks become '_'.
std::string column_name(std::string title) {
    for (char& ch : title)
        if (ch == ' ' || ch == '\t') ch = '_';
    return title.empty() ? "channel" : title;
}

struct Column {
    int channel;
    std::string name, title, unit;
    double sign = 1.0;
    Kind kind = Kind::value;
};

struct Plan {
    int east = -1, north = -1;
    std::vector<Column> columns;
    LocalPlane plane;
    double start_day_seconds = 0;
    int time_decimals = 2;
};

// The session's channels in their order, a position where its latitude and
// longitude were (first, when it has none).
std::vector<Column> value_columns(const Session& s, const Plan& plan) {
    const Column latitude{-1, "lat", "latitude", "deg", 1.0, Kind::latitude};
    const Column longitude{-1, "long", "longitude", "deg", 1.0, Kind::longitude};
    std::vector<Column> columns;
    bool placed[3] = {false, false, false};
    for (int c = 3; c < s.nfile_channels; ++c) {
        std::string title = title_of(s, c);
        Kind kind = kind_of(title);
        if (c == plan.east || c == plan.north) continue;
        if (kind != Kind::value) {
            if (!placed[int(kind)])
                columns.push_back(kind == Kind::latitude ? latitude : longitude);
            placed[int(kind)] = true;
            continue;
        }
        if (title.empty()) title = "channel";
        Column column{c, column_name(title), title, unit_of(s, c)};
        if (left_positive_lateral(column.name, false)) column.sign = -1.0;
        columns.push_back(column);
    }
    if (!placed[int(Kind::longitude)]) columns.insert(columns.begin(), longitude);
    if (!placed[int(Kind::latitude)]) columns.insert(columns.begin(), latitude);
    return columns;
}

// Session seconds of each lap's first sample.
std::vector<double> lap_starts(const Session& s) {
    std::vector<double> starts;
    double t = 0;
    for (int l = 0; l < s.nlaps; ++l) {
        starts.push_back(t);
        t += double(s.laps[l].raw_laptime);
    }
    return starts;
}

int time_decimals(const Session& s) {
    for (int l = 0; l < s.nlaps; ++l)
        for (int j = 0; j < s.laps[l].npoints; ++j) {
            double t = double(s.laps[l].raw[1][j]) * 100.0;
            if (std::fabs(t - std::round(t)) > CENTISECOND_SLACK * 100.0) return 3;
        }
    return 2;
}

void put(std::string& out, const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    out += text;
}

// "Start  -673.429560 +2689.899540 -673.406497 +2689.908983 ¬ Start": longitude
// first, positive to the west, in minutes.
std::string gate_line(const char* kind, const GpsGate& g) {
    std::string line = kind;
    line += "  ";
    for (int k = 0; k < 2; ++k) {
        put(line, " %+.6f", -g.longitude[k] * MINUTES_PER_DEGREE);
        put(line, " %+.6f", g.latitude[k] * MINUTES_PER_DEGREE);
    }
    return line + " \xC2\xAC " + (g.name.empty() ? kind : g.name) + "\n";
}

// The line across the track between the last sample of the first lap and
// the first of the second: where the session's first lap ends.
bool start_gate_from_laps(const Session& s, const Plan& plan, GpsGate& gate) {
    if (s.nlaps < 2 || s.laps[0].npoints < 1 || s.laps[1].npoints < 1) return false;
    const Lap& a = s.laps[0];
    const Lap& b = s.laps[1];
    PlanePoint p0{a.raw[plan.east][a.npoints - 1], a.raw[plan.north][a.npoints - 1]};
    PlanePoint p1{b.raw[plan.east][0], b.raw[plan.north][0]};
    double dx = p1.x - p0.x, dy = p1.y - p0.y, length = std::hypot(dx, dy);
    if (!(length > 0)) return false;
    constexpr double HALF_WIDTH = 10.0;
    PlanePoint middle{0.5 * (p0.x + p1.x), 0.5 * (p0.y + p1.y)};
    PlanePoint ends[2] = {
        {middle.x - dy / length * HALF_WIDTH, middle.y + dx / length * HALF_WIDTH},
        {middle.x + dy / length * HALF_WIDTH, middle.y - dx / length * HALF_WIDTH}};
    gate.name = "Start";
    for (int k = 0; k < 2; ++k) plan.plane.to_degrees(ends[k], gate.latitude[k], gate.longitude[k]);
    return true;
}

std::string header_text(const Session& s, const Plan& plan) {
    const SessionRecord& r = *s.record;
    std::string text;
    if (dated(r.start_time)) {
        CivilTime c = civil_time(static_cast<long long>(std::floor(r.start_time)));
        ClockTime clock = clock_time(c.seconds_of_day);
        char line[96];
        std::snprintf(line, sizeof line,
                      "File created on %02u/%02u/%04d at %02lld:%02lld:%02lld\n\n", c.day, c.month,
                      c.year, clock.hours, clock.minutes, clock.seconds);
        text += line;
    }
    text += "[header]\ntime\n";
    for (const Column& c : plan.columns) text += c.title + "\n";
    text += "\n[channel units]\ns\n";
    for (const Column& c : plan.columns)
        text += (c.unit.empty() ? std::string(NO_UNIT) : c.unit) + "\n";
    text += "\n[comments]\nWritten by lx\n\n[session data]\nname " + r.venue + "\n\n";
    GpsGate start;
    bool has_start =
        r.has_start_gate ? (start = r.start_gate, true) : start_gate_from_laps(s, plan, start);
    if (has_start) {
        text += "[laptiming]\n" + gate_line("Start", start);
        for (const GpsGate& g : r.split_gates) text += gate_line("Split", g);
        text += "\n";
    }
    text += "[column names]\ntime";
    for (const Column& c : plan.columns) text += " " + c.name;
    return text + "\n\n[data]\n";
}

void put_time(std::string& row, double day_seconds, int decimals) {
    double s = std::isfinite(day_seconds) ? std::fmod(std::fabs(day_seconds), SECONDS_PER_DAY) : 0;
    double scale = decimals == 2 ? 100.0 : 1000.0;
    long long ticks = std::llround(s * scale);
    long long whole = ticks / static_cast<long long>(scale);
    char text[48];
    ClockTime clock = clock_time(whole % SECONDS_PER_DAY);
    std::snprintf(text, sizeof text, "%02lld%02lld%02lld.%0*lld", clock.hours, clock.minutes,
                  clock.seconds, decimals, ticks % static_cast<long long>(scale));
    row += text;
}

std::string data_row(const Session& s, const Plan& plan, int l, int j, double lap_start) {
    const Lap& lap = s.laps[l];
    std::string row;
    put_time(row, plan.start_day_seconds + lap_start + double(lap.raw[1][j]), plan.time_decimals);
    double latitude, longitude;
    plan.plane.to_degrees({lap.raw[plan.east][j], lap.raw[plan.north][j]}, latitude, longitude);
    for (const Column& c : plan.columns)
        if (c.kind == Kind::latitude)
            put(row, " %+013.6f", latitude * MINUTES_PER_DEGREE);
        else if (c.kind == Kind::longitude)
            put(row, " %+013.6f", -longitude * MINUTES_PER_DEGREE);
        else
            put(row, " %.9g", c.sign * double(lap.raw[c.channel][j]));
    return row + "\n";
}

void write(const Session& s, const char* path) {
    if (s.nfile_channels < 3 || std::strcmp(s.channels[1].name, "Time") != 0 ||
        std::strcmp(s.channels[2].name, "Distance") != 0)
        refuse(LX_ERR_STATE,
               std::string(path) + ": the session's channels 1 and 2 are not Time and Distance");
    for (int l = 0; l < s.nlaps; ++l)
        if (s.laps[l].npoints < 1)
            refuse(LX_ERR_LAP,
                   std::string(path) + ": lap " + std::to_string(l) + " has no samples");
    Plan plan;
    plan.east = channel_named(s, "East");
    plan.north = channel_named(s, "North");
    if (plan.east < 0 || plan.north < 0 || s.record == nullptr)
        refuse(LX_ERR_CHANNEL, std::string(s.filename) +
                                   ": no East and North channels: a VBO file needs positions");
    plan.plane = LocalPlane(s.record->origin_latitude, s.record->origin_longitude);
    plan.columns = value_columns(s, plan);
    if (dated(s.record->start_time))
        plan.start_day_seconds = std::fmod(s.record->start_time, SECONDS_PER_DAY);
    plan.time_decimals = time_decimals(s);
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path, "wb"));
    if (!f) refuse(LX_ERR_FILE, std::string(path) + ": cannot be written");
    std::string text = header_text(s, plan);
    std::vector<double> starts = lap_starts(s);
    for (int l = 0; l < s.nlaps; ++l)
        for (int j = 0; j < s.laps[l].npoints; ++j) {
            text += data_row(s, plan, l, j, starts[std::size_t(l)]);
            if (text.size() > (1 << 16)) {
                std::fwrite(text.data(), 1, text.size(), f.get());
                text.clear();
            }
        }
    std::fwrite(text.data(), 1, text.size(), f.get());
    if (std::ferror(f.get()) || std::fclose(f.release()) != 0)
        refuse(LX_ERR_FILE, std::string(path) + ": cannot be written");
}

} // namespace

WriteResult write_vbo(const Session& s, const char* path) {
    WriteResult result;
    try {
        if (path == nullptr) refuse(LX_ERR_ARGUMENT, "(null): no file name");
        write(s, path);
    } catch (const Refusal& refusal) {
        result.status = refusal.status;
        result.message = refusal.message;
    } catch (const std::bad_alloc&) {
        result.status = LX_ERR_MEMORY;
        result.message = std::string(path) + ": out of memory";
    }
    return result;
}

} // namespace lx
