// The VBO reader: header, a first pass for the times and the track (which
// the laps are cut from), then a second that reads every value into place.
// Rows are kept as written: a time gap stays a gap.
#include "import/vbo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "base/units.h"
#include "import/build.h"
#include "import/gps_line.h"
#include "import/passes.h"
#include "import/text.h"
#include "import/vbo_layout.h"
#include "lx_data.h"

namespace lx {

namespace {

constexpr double HALF_DAY = SECONDS_PER_DAY / 2;
constexpr double SAME_TIME = 1e-6;
constexpr long SATELLITE_COUNT_MASK = 0x3F; // the bits above are flags
constexpr double GAP_STEPS = 5.0;           // a step this many usual ones long is a gap,
constexpr double MIN_GAP_SECONDS = 1.0;     // and at least this long
constexpr long MAX_STEP_MS = 10000;
constexpr std::size_t GAPS_NAMED = 10;

std::string seconds_text(double seconds, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, seconds);
    return text;
}

// "09:03:58.20" from seconds of the day.
std::string clock_text(double day_seconds) {
    double s = std::fmod(day_seconds, SECONDS_PER_DAY);
    auto whole = static_cast<long long>(s);
    ClockTime c = clock_time(whole);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%05.2f", c.hours, c.minutes,
                  double(c.seconds) + (s - double(whole)));
    return text;
}

// "090358.20" as seconds of the day.
bool day_seconds(std::string_view field, double& seconds) {
    double v;
    if (!read_vbo_number(field, v) || v < 0 || v >= 240000) return false;
    double whole = std::floor(v);
    long hhmmss = long(whole);
    long hh = hhmmss / 10000, mm = hhmmss / 100 % 100, ss = hhmmss % 100;
    if (mm >= 60 || ss >= 60) return false;
    seconds = double(hh * SECONDS_PER_HOUR + mm * SECONDS_PER_MINUTE + ss) + (v - whole);
    return true;
}

// Session time of each row: the day carried over midnight, repeated times dropped.
class Clock {
  public:
    enum class Placed { kept, repeated };
    Placed place(const CsvLines& lines, std::string_view field, double& t) {
        double s;
        if (!day_seconds(field, s))
            refuse_at(lines, lines.line_number(),
                      "time \"" + std::string(field.substr(0, 40)) + "\" is not a time hhmmss.ss");
        if (!started_) {
            started_ = true;
            first_ = last_ = s;
            t = 0;
            return Placed::kept;
        }
        double day = s + offset_;
        if (day < last_ - HALF_DAY) offset_ += SECONDS_PER_DAY, day += SECONDS_PER_DAY;
        if (day < last_ - SAME_TIME)
            refuse_at(lines, lines.line_number(),
                      "time " + std::string(field) +
                          " runs backwards (the row before: " + clock_text(last_) + ")");
        if (day <= last_ + SAME_TIME) return Placed::repeated;
        last_ = day;
        t = day - first_;
        return Placed::kept;
    }
    double first() const { return first_; }

  private:
    bool started_ = false;
    double first_ = 0, last_ = 0, offset_ = 0;
};

bool ends_with_newline(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return true;
    int last = std::fseek(f, -1, SEEK_END) == 0 ? std::fgetc(f) : '\n';
    std::fclose(f);
    return last == '\n' || last == '\r';
}

bool position_of(const VboLayout& vbo, const std::vector<std::string_view>& fields,
                 double& latitude, double& longitude) {
    const Layout& l = vbo.layout;
    if (l.latitude == NONE || l.longitude == NONE) return false;
    if (!read_vbo_number(fields[l.latitude], latitude) ||
        !read_vbo_number(fields[l.longitude], longitude))
        return false;
    latitude /= MINUTES_PER_DEGREE;
    longitude /= -MINUTES_PER_DEGREE; // written positive to the west
    return !(latitude == 0 && longitude == 0) && std::fabs(latitude) <= 90 &&
           std::fabs(longitude) <= 180;
}

struct Scan {
    GpsTrack track;
    std::vector<char> fix;
    long last_line = 0, line_before = 0; // the last row kept and the one before
    double gap = MIN_GAP_SECONDS;        // a longer step between rows is a gap
    double first_day_seconds = 0;
    bool has_origin = false;
    double origin_latitude = 0, origin_longitude = 0;
    LocalPlane plane;
    std::vector<std::string> notes;
    bool cut = false; // the file ends inside its last row
};

std::string field_count_text(std::size_t fields, std::size_t columns) {
    return std::to_string(fields) + " fields where the header names " + std::to_string(columns);
}

void add_row(Scan& scan, const VboLayout& vbo, const std::vector<std::string_view>& fields,
             double t) {
    double latitude = 0, longitude = 0;
    bool fix = position_of(vbo, fields, latitude, longitude);
    if (fix && !scan.has_origin) {
        scan.has_origin = true;
        scan.origin_latitude = latitude;
        scan.origin_longitude = longitude;
        scan.plane = LocalPlane(latitude, longitude);
    }
    PlanePoint p;
    if (fix) p = scan.plane.to_plane(latitude, longitude);
    scan.track.add(t, p, false);
    scan.fix.push_back(fix ? 1 : 0);
}

// A last row the file ends inside of: fewer fields, or its last one shorter
// than the row before's with no line end after it.
struct CutRow {
    long line = 0;
    std::size_t fields = 0;
};

Scan scan_rows(CsvLines& lines, const VboLayout& vbo) {
    const Layout& layout = vbo.layout;
    const std::size_t columns = layout.columns.size();
    Scan scan;
    Clock clock;
    std::vector<std::string_view> fields;
    std::string_view line;
    CutRow cut;
    std::size_t last_width = 0, width_before = 0;
    long last_line_seen = 0;
    seek_samples(lines, layout);
    while (lines.next(line)) {
        split_blanks(line, fields);
        if (fields.size() == 1 && fields[0].empty()) continue;
        if (cut.line != 0) refuse_at(lines, cut.line, field_count_text(cut.fields, columns));
        last_line_seen = lines.line_number();
        if (fields.size() != columns) {
            if (fields.size() > columns)
                refuse_at(lines, lines.line_number(), field_count_text(fields.size(), columns));
            cut = {lines.line_number(), fields.size()};
            continue;
        }
        double t;
        if (clock.place(lines, fields[layout.time], t) == Clock::Placed::repeated) continue;
        width_before = last_width;
        last_width = fields.back().size();
        add_row(scan, vbo, fields, t);
        scan.line_before = scan.last_line;
        scan.last_line = lines.line_number();
    }
    if (cut.line == 0 && scan.last_line == last_line_seen && scan.track.size() > 1 &&
        last_width < width_before && !ends_with_newline(lines.path().c_str()))
        cut = {scan.last_line, columns};
    if (cut.line != 0 && cut.line == scan.last_line) {
        scan.track.t.pop_back(), scan.track.x.pop_back(), scan.track.y.pop_back();
        scan.track.joined.pop_back(), scan.fix.pop_back();
        scan.last_line = scan.line_before;
    }
    if (scan.track.size() == 0) refuse_at(lines, lines.line_number(), "no samples after [data]");
    scan.cut = cut.line != 0;
    if (scan.cut) scan.notes.push_back(cut_row_note(cut.line));
    scan.first_day_seconds = clock.first();
    return scan;
}

// The usual step between rows, in seconds.
double usual_step(const std::vector<double>& t) {
    std::vector<long> steps(MAX_STEP_MS + 1);
    for (std::size_t i = 1; i < t.size(); ++i) {
        double ms = (t[i] - t[i - 1]) * 1000.0;
        if (ms >= 0.5 && ms < double(MAX_STEP_MS) + 0.5) ++steps[std::size_t(std::lround(ms))];
    }
    auto commonest = std::max_element(steps.begin() + 1, steps.end());
    return *commonest > 0 ? double(commonest - steps.begin()) / 1000.0 : MIN_GAP_SECONDS;
}

// Steps far longer than the usual one are gaps: named, and never a stretch
// of track.
void mark_gaps(Scan& scan) {
    GpsTrack& track = scan.track;
    double gap = std::max(GAP_STEPS * usual_step(track.t), MIN_GAP_SECONDS);
    scan.gap = gap;
    std::size_t gaps = 0;
    for (std::size_t i = 1; i < track.size(); ++i) {
        double step = track.t[i] - track.t[i - 1];
        track.joined[i] = scan.fix[i - 1] && scan.fix[i] && step <= gap;
        if (step <= gap) continue;
        if (++gaps <= GAPS_NAMED)
            scan.notes.push_back("time gap of " + seconds_text(step, 2) + " s after " +
                                 clock_text(scan.first_day_seconds + track.t[i - 1]));
    }
    if (gaps > GAPS_NAMED) scan.notes.push_back(std::to_string(gaps) + " time gaps in all");
}

// A gate's two points on the plane. Writers give longitude, latitude or
// latitude, longitude: the order that puts the gate nearer the track is taken.
struct GatePoints {
    PlanePoint first, second;
};

GatePoints gate_points(const VboGate& gate, const LocalPlane& plane) {
    const double* v = gate.values;
    auto point = [&](double lat, double lon) {
        return plane.to_plane(lat / MINUTES_PER_DEGREE, lon / -MINUTES_PER_DEGREE);
    };
    GatePoints lon_lat{point(v[1], v[0]), point(v[3], v[2])};
    GatePoints lat_lon{point(v[0], v[1]), point(v[2], v[3])};
    auto distance = [](PlanePoint p) { return std::hypot(p.x, p.y); };
    return distance(lon_lat.first) <= distance(lat_lon.first) ? lon_lat : lat_lon;
}

GpsGate to_degrees(const Gate& line, const LocalPlane& plane, const std::string& name) {
    GpsGate g;
    g.name = name;
    plane.to_degrees(line.a, g.latitude[0], g.longitude[0]);
    plane.to_degrees(line.b, g.latitude[1], g.longitude[1]);
    return g;
}

struct Timing {
    std::vector<double> starts;              // start-line crossings
    std::vector<std::vector<double>> splits; // per split gate
    bool has_start = false;
    GpsGate start_gate;
    std::vector<GpsGate> split_gates;
};

// A start line given to lx_open replaces a proposed one.
Timing time_gates(const Scan& scan, const VboLayout& vbo, bool line_given,
                  std::vector<std::string>& notes) {
    Timing timing;
    if (!scan.has_origin) {
        if (!vbo.gates.empty()) notes.push_back("gates left out: the file has no position");
        return timing;
    }
    LocalPlane plane(scan.origin_latitude, scan.origin_longitude);
    int split = 0;
    for (const VboGate& gate : vbo.gates) {
        if (gate.start && timing.has_start) continue; // the first start gate is the line
        GatePoints points = gate_points(gate, plane);
        GateReading read = read_gate(scan.track, points.first, points.second);
        std::string label = gate.start ? "start gate" : "split gate " + std::to_string(++split);
        if (!gate.name.empty()) label += " \"" + gate.name + "\"";
        notes.push_back(label + " " + read.reading);
        std::vector<double> times = gate_times(scan.track, read.line);
        if (gate.start) {
            timing.has_start = true;
            timing.starts = std::move(times);
            timing.start_gate = to_degrees(read.line, plane, gate.name);
        } else {
            timing.splits.push_back(std::move(times));
            timing.split_gates.push_back(to_degrees(read.line, plane, gate.name));
        }
    }
    if (timing.has_start || line_given) return timing;
    ProposedLine proposed = propose_start_line(scan.track);
    if (!proposed.found) {
        notes.push_back("no start line: the track passes no place twice");
        return timing;
    }
    notes.push_back(proposal_text(proposed, plane));
    timing.has_start = true;
    timing.starts = gate_times(scan.track, proposed.line);
    timing.start_gate = to_degrees(proposed.line, plane, "Start");
    return timing;
}

// Crossings are stated to the millisecond, as a logger states them; lap
// times are their differences.
std::vector<LapPlan> laps_at(std::vector<double> crossings, double first_time) {
    for (double& c : crossings) c = to_millisecond(c);
    std::vector<LapPlan> laps(1);
    laps[0].start = first_time;
    laps[0].number = 1;
    for (std::size_t k = 0; k < crossings.size(); ++k) {
        LapPlan lap;
        lap.start = crossings[k];
        lap.number = int(k) + 2;
        lap.at_line = true;
        if (k + 1 < crossings.size())
            lap.logger_time = to_millisecond(crossings[k + 1] - crossings[k]);
        laps.push_back(lap);
    }
    return laps;
}

void complete_vbo_layout(VboLayout& vbo, const CsvLines& lines, const ImportOptions& options,
                         std::vector<std::string>& notes) {
    Layout& layout = vbo.layout;
    int speed = layout.speed;
    for (Column& c : layout.columns) {
        if (left_positive_lateral(c.source, vbo.racechrono)) {
            c.scale = -1.0;
            notes.push_back(c.source +
                            " negated: stored positive in right-hand turns, as AiM's lateral g");
        }
    }
    if (layout.latitude != NONE) layout.columns[layout.latitude].unit = "deg";
    if (layout.longitude != NONE) layout.columns[layout.longitude].unit = "deg";
    complete_layout(layout, lines, options);
    if (layout.speed == NONE && speed != NONE) layout.speed = speed;
    if (layout.speed != NONE)
        layout.speed_to_metres_per_second =
            match_key(layout.columns[layout.speed].unit) == "mph" ? MS_PER_MPH : 1.0 / KMH_PER_MS;
}

// One row's values onto a sample.
class RowWriter {
  public:
    RowWriter(const VboLayout& vbo, const SamplePlan& plan, const Channels& channels, double gap,
              Session& s)
        : vbo_(vbo), plan_(plan), channels_(channels), s_(s), gap_(gap),
          plane_(plan.origin_latitude, plan.origin_longitude) {}

    void write(const CsvLines& lines, const std::vector<std::string_view>& fields, long g) {
        while (lap_ + 1 < s_.nlaps && g >= plan_.laps[lap_ + 1].first) ++lap_;
        long j = g - plan_.laps[lap_].first;
        float* const* raw = s_.laps[lap_].raw;
        const Layout& layout = vbo_.layout;
        double speed = 0, distance = 0;
        for (std::size_t c = 0; c < fields.size(); ++c) {
            int store = channels_.store[c];
            bool used = int(c) == layout.speed || int(c) == layout.distance;
            if (store < 0 && !used) continue;
            double v = value(lines, fields[c], c);
            if (store >= 0) raw[store][j] = static_cast<float>(v);
            if (int(c) == layout.speed) speed = v * layout.speed_to_metres_per_second;
            if (int(c) == layout.distance) distance = v * layout.distance_to_metres;
        }
        double t = plan_.times[std::size_t(g)];
        raw[0][j] = static_cast<float>(g - plan_.laps.front().first);
        raw[1][j] = static_cast<float>(t - plan_.times[std::size_t(plan_.laps[lap_].first)]);
        double latitude, longitude;
        bool fix = position_of(vbo_, fields, latitude, longitude);
        PlanePoint p = fix ? plane_.to_plane(latitude, longitude) : last_point_;
        if (channels_.east >= 0) {
            raw[channels_.east][j] = static_cast<float>(p.x);
            raw[channels_.north][j] = static_cast<float>(p.y);
        }
        raw[2][j] = static_cast<float>(travel(j, t, speed, distance, p));
        last_point_ = p;
    }

  private:
    double value(const CsvLines& lines, std::string_view field, std::size_t c) {
        double v;
        if (!read_vbo_number(field, v))
            refuse_at(lines, lines.line_number(),
                      "field " + std::to_string(c + 1) + " (" + vbo_.layout.columns[c].title +
                          ") \"" + std::string(field.substr(0, 40)) + "\" is not a number");
        const Layout& layout = vbo_.layout;
        if (int(c) == vbo_.satellites) return double(std::llround(v) & SATELLITE_COUNT_MASK);
        if (int(c) == layout.latitude) return v / MINUTES_PER_DEGREE;
        if (int(c) == layout.longitude) return v / -MINUTES_PER_DEGREE;
        return v * layout.columns[c].scale;
    }

    // Distance from the lap's first sample: the file's own, else speed
    // integrated; across a gap, the straight line between the two places.
    double travel(long j, double t, double speed, double distance, PlanePoint p) {
        const Layout& layout = vbo_.layout;
        if (layout.distance != NONE) {
            if (j == 0) distance_base_ = distance;
            return distance - distance_base_;
        }
        double step = t - last_t_;
        bool gap = step > gap_;
        if (j == 0)
            travelled_ = 0;
        else if (gap)
            travelled_ += std::hypot(p.x - last_point_.x, p.y - last_point_.y);
        else
            travelled_ += 0.5 * (last_speed_ + speed) * step;
        last_speed_ = speed;
        last_t_ = t;
        return travelled_;
    }

    const VboLayout& vbo_;
    const SamplePlan& plan_;
    const Channels& channels_;
    Session& s_;
    double gap_;
    LocalPlane plane_;
    int lap_ = 0;
    PlanePoint last_point_;
    double distance_base_ = 0, travelled_ = 0, last_speed_ = 0, last_t_ = 0;
};

void fill_rows(CsvLines& lines, const VboLayout& vbo, const SamplePlan& plan, const Scan& scan,
               const Channels& channels, Session& s) {
    const Layout& layout = vbo.layout;
    const long last_line = scan.last_line;
    RowWriter writer(vbo, plan, channels, scan.gap, s);
    Clock clock;
    std::vector<std::string_view> fields;
    std::string_view line;
    long g = 0;
    const long begin = plan.laps.front().first;
    const long end = plan.laps.back().first + plan.laps.back().count;
    seek_samples(lines, layout);
    while (g < end && lines.next(line) && lines.line_number() <= last_line) {
        split_blanks(line, fields);
        if (fields.size() == 1 && fields[0].empty()) continue;
        if (fields.size() != layout.columns.size())
            refuse_at(lines, lines.line_number(),
                      field_count_text(fields.size(), layout.columns.size()));
        double t;
        if (clock.place(lines, fields[layout.time], t) == Clock::Placed::repeated) continue;
        if (g >= begin) writer.write(lines, fields, g);
        ++g;
    }
    if (g < end) refuse(LX_ERR_FILE, lines.path() + ": the file changed while it was read");
}

// Where each lap bounded by start crossings passed the split gates.
void record_splits(const Session& s, const SamplePlan& plan, const Timing& timing,
                   SessionRecord& record) {
    for (int l = 0; l < s.nlaps; ++l) {
        const LapPlan& lap = plan.laps[std::size_t(l)];
        if (!lap.at_line || lap.logger_time < 0) continue;
        double lap_end = lap.start + lap.logger_time;
        const float* time = s.laps[l].raw[1];
        const float* distance = s.laps[l].raw[2];
        double first = plan.times[std::size_t(lap.first)];
        for (std::size_t k = 0; k < timing.splits.size(); ++k)
            for (double t : timing.splits[k]) {
                if (t < lap.start || t >= lap_end) continue;
                int j = 0;
                while (j + 1 < s.laps[l].npoints && first + double(time[j + 1]) <= t) ++j;
                double d = distance[j];
                if (j + 1 < s.laps[l].npoints && t > first + double(time[j])) {
                    double f = (t - first - double(time[j])) / double(time[j + 1] - time[j]);
                    d += f * double(distance[j + 1] - distance[j]);
                }
                record.splits.push_back(
                    {l, int(k), to_millisecond(to_millisecond(t) - lap.start), d});
            }
    }
}

void fill_vbo_record(const VboLayout& vbo, const SamplePlan& plan, const Timing& timing,
                     std::vector<std::string> notes, Session& s) {
    SessionRecord& record = *s.record;
    fill_record(s, record, vbo.layout, plan);
    record.has_start_gate = timing.has_start;
    record.start_gate = timing.start_gate;
    record.split_gates = timing.split_gates;
    record.notes = std::move(notes);
    record_splits(s, plan, timing, record);
}

Session* import(const char* path, const ImportOptions& options) {
    CsvLines lines;
    if (!lines.open(path)) refuse(LX_ERR_FILE, std::string(path) + ": cannot open the file");
    VboLayout vbo = read_vbo_header(lines);
    std::vector<std::string> notes;
    complete_vbo_layout(vbo, lines, options, notes);
    Scan scan = scan_rows(lines, vbo);
    mark_gaps(scan);
    notes.insert(notes.end(), scan.notes.begin(), scan.notes.end());
    Timing timing = time_gates(scan, vbo, options.cut_at_line, notes);

    SamplePlan plan;
    plan.has_origin = scan.has_origin;
    plan.truncated = scan.cut;
    plan.origin_latitude = scan.origin_latitude;
    plan.origin_longitude = scan.origin_longitude;
    if (vbo.year != 0)
        plan.start_time = double(unix_days(vbo.year, vbo.month, vbo.day) * SECONDS_PER_DAY) +
                          scan.first_day_seconds;
    vbo.layout.time_of_day = clock_text(scan.first_day_seconds);
    plan.rows = long(scan.track.size());
    plan.times = std::move(scan.track.t);
    plan.laps = laps_at(timing.starts, plan.times.front());
    scan.track = GpsTrack(); // the track is done with: its memory goes before the arrays come
    place_laps(plan.laps, plan.times);
    take_window(lines, plan, options);

    SessionPointer s(new_session());
    if (!s) refuse(LX_ERR_MEMORY, std::string(path) + ": out of memory");
    copy_text(s->filename, path);
    s->record = new SessionRecord;
    Channels channels = add_channels(*s, *s->record, vbo.layout);
    allocate_laps(*s, plan);
    fill_rows(lines, vbo, plan, scan, channels, *s);
    set_lap_times(*s, plan);
    fill_vbo_record(vbo, plan, timing, std::move(notes), *s);
    return s.release();
}

} // namespace

ImportResult import_vbo(const char* path, const ImportOptions& options) {
    return run_import(path, [&] { return import(path, options); });
}

} // namespace lx
