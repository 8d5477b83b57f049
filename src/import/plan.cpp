// First pass: times, lap starts and the GPS origin; then the samples and laps.
#include <algorithm>
#include <cmath>

#include "import/passes.h"
#include "lx_data.h"

namespace lx {

namespace {

constexpr double SAME_TIME = 1e-9;      // seconds: closer times are one instant
constexpr double MARKER_SLACK = 0.0005; // beacons are written to the millisecond
constexpr double RESTART_AT = 0.001;    // a time this small after a larger one began again
constexpr double MAX_RESAMPLE_RATE = 10000.0;
constexpr long GRID_PER_ROW = 20; // at most this many even samples per row read
constexpr long GRID_SLACK = 1000;
constexpr long MAX_STEP_MS = 1000;
constexpr double MAX_LAP_NUMBER = 1e9;
constexpr long MAX_LAP_SAMPLES = 0x7fffffffL / long(sizeof(float));

std::string number_text(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

struct Scan {
    std::vector<double> row_times;
    std::vector<LapPlan> crossings; // RaceChrono: where lap_number changes
    double first = 0, last = 0;
    long rows = 0;
    double gps_rate = -1; // the GPS rate the file states; < 0 when none
    std::vector<long> steps = std::vector<long>(MAX_STEP_MS + 1); // rows per interval in ms
};

bool read_field(std::string_view field, double& value) {
    return read_number(field, value) == NumberKind::number;
}

void find_origin(const Layout& layout, const std::vector<std::string_view>& fields,
                 SamplePlan& plan) {
    double lat, lon;
    if (plan.has_origin || layout.latitude == NONE || layout.longitude == NONE) return;
    if (!read_field(fields[layout.latitude], lat) || !read_field(fields[layout.longitude], lon))
        return;
    if ((lat == 0 && lon == 0) || std::fabs(lat) > 90 || std::fabs(lon) > 180) return;
    plan.has_origin = true;
    plan.origin_latitude = lat;
    plan.origin_longitude = lon;
}

void note_lap_number(const CsvLines& lines, const Layout& layout,
                     const std::vector<std::string_view>& fields, double t, Scan& scan) {
    double number;
    if (layout.lap_number == NONE || !read_field(fields[layout.lap_number], number)) return;
    if (std::fabs(number) > MAX_LAP_NUMBER)
        refuse_at(lines, lines.line_number(),
                  "lap number " + number_text(number) + " is out of range");
    if (!scan.crossings.empty() && scan.crossings.back().number == int(number)) return;
    LapPlan lap;
    lap.start = t;
    lap.number = int(number);
    scan.crossings.push_back(lap);
}

std::size_t fields_needed(const Layout& layout, const SamplePlan& plan, const Scan& scan) {
    int last = std::max(layout.time, layout.lap_number);
    if (!plan.has_origin) last = std::max({last, layout.latitude, layout.longitude});
    if (scan.gps_rate < 0) last = std::max(last, layout.gps_rate);
    return std::size_t(last) + 1;
}

// Room for as many rows as the rest of the file holds if they are as long
// as the first: one allocation instead of a growing vector's copies. Never
// more room than the file's size.
void reserve_rows(const CsvLines& lines, std::string_view first_row, std::vector<double>& times) {
    std::size_t left = lines.bytes_left();
    times.reserve(std::min(left / (first_row.size() + 1), left / sizeof(double)) + 1);
}

Scan scan_rows(CsvLines& lines, const Layout& layout, SamplePlan& plan) {
    Scan scan;
    Timeline timeline(layout, lines);
    std::vector<std::string_view> fields;
    std::string scratch;
    std::string_view line;
    seek_samples(lines, layout);
    bool keep_times = !layout.resample;
    long last_kept_line = 0;
    while (lines.next(line)) {
        if (line.empty()) continue;
        // Only as many fields as this pass still reads; the second checks them all.
        std::size_t needed = fields_needed(layout, plan, scan);
        split_fields(lines, line, fields, scratch, needed);
        if (fields.size() < needed)
            check_field_count(lines, fields.size(), layout.columns.size(), false);
        double t;
        Timeline::Placed placed = timeline.place(row_time(lines, layout, fields[layout.time]), t);
        if (placed == Timeline::Placed::repeated) continue;
        if (placed == Timeline::Placed::replaces) {
            plan.superseded.push_back(last_kept_line);
            last_kept_line = lines.line_number();
            continue;
        }
        last_kept_line = lines.line_number();
        if (scan.rows++ == 0) scan.first = t;
        double step_ms = (t - scan.last) * 1000.0;
        if (scan.rows > 1 && step_ms >= 0.5 && step_ms < MAX_STEP_MS + 0.5)
            ++scan.steps[std::lround(step_ms)];
        scan.last = t;
        if (keep_times && scan.rows == 1) reserve_rows(lines, line, scan.row_times);
        if (keep_times) scan.row_times.push_back(t);
        find_origin(layout, fields, plan);
        note_lap_number(lines, layout, fields, t, scan);
        double v;
        if (scan.gps_rate < 0 && layout.gps_rate != NONE && read_field(fields[layout.gps_rate], v))
            scan.gps_rate = v;
    }
    if (scan.rows == 0) refuse_at(lines, lines.line_number(), "no samples after the header");
    if (layout.unix_time) plan.start_time = timeline.first_time();
    if (layout.markers.empty())
        for (double restart : timeline.restarts()) {
            LapPlan lap;
            lap.start = restart;
            scan.crossings.push_back(lap);
        }
    return scan;
}

// Laps from the beacons: the first row starts one, every beacon inside the rows another.
std::vector<LapPlan> laps_from_markers(const Layout& layout, const Scan& scan) {
    const std::vector<double>& markers = layout.markers;
    std::vector<LapPlan> laps(1);
    laps[0].start = scan.first;
    int segment = 0;
    while (segment < int(markers.size()) && markers[segment] <= scan.first + MARKER_SLACK)
        ++segment;
    laps[0].number = segment + 1;
    for (int k = segment; k < int(markers.size()) && markers[k] < scan.last - MARKER_SLACK; ++k) {
        LapPlan lap;
        lap.start = markers[k];
        lap.number = k + 2;
        laps.push_back(lap);
    }
    for (LapPlan& lap : laps) {
        std::size_t i = std::size_t(lap.number - 1);
        if (i < layout.segment_times.size())
            lap.logger_time = to_millisecond(layout.segment_times[i]);
        else if (i < markers.size())
            lap.logger_time = to_millisecond(markers[i] - (i ? markers[i - 1] : 0.0));
    }
    return laps;
}

// Laps from lap numbers: a lap between two crossings has the logger's time.
std::vector<LapPlan> laps_from_crossings(Scan& scan, bool numbered) {
    std::vector<LapPlan> laps = scan.crossings;
    if (laps.empty() || laps[0].start > scan.first + SAME_TIME) {
        LapPlan first;
        first.start = scan.first;
        first.number = laps.empty() ? 1 : laps[0].number - 1;
        laps.insert(laps.begin(), first);
    }
    if (!numbered)
        for (std::size_t k = 0; k < laps.size(); ++k) laps[k].number = int(k) + 1;
    for (std::size_t k = 1; k + 1 < laps.size(); ++k)
        laps[k].logger_time = to_millisecond(laps[k + 1].start - laps[k].start);
    return laps;
}

double resample_rate(const CsvLines& lines, const Scan& scan, const ImportOptions& options) {
    double rate = options.rate;
    if (rate == 0 && scan.gps_rate >= 0) {
        rate = scan.gps_rate;
    } else if (rate == 0) {
        // Without the GPS's own rate, the commonest step between rows: the
        // fastest source that writes rows of its own.
        auto commonest = std::max_element(scan.steps.begin() + 1, scan.steps.end());
        rate = *commonest > 0 ? 1000.0 / double(commonest - scan.steps.begin()) : 1.0;
    }
    if (!(rate > 0) || rate > MAX_RESAMPLE_RATE)
        refuse(LX_ERR_FORMAT, lines.path() + ": sample rate " + number_text(rate) +
                                  " Hz is not between 0 and 10000 Hz");
    return rate;
}

// The file's own rate, else its GPS's.
double stated_rate(const Layout& layout, const Scan& scan) {
    if (layout.sample_rate > 0) return layout.sample_rate;
    return scan.gps_rate > 0 && scan.gps_rate <= MAX_RESAMPLE_RATE ? scan.gps_rate : 0.0;
}

std::vector<double> even_times(const CsvLines& lines, const Scan& scan, double rate) {
    double samples = std::floor((scan.last - scan.first) * rate + 1e-6) + 1;
    // Not a number when the times span more than a double holds: refused as too long too.
    if (!(samples <= double(GRID_PER_ROW * scan.rows + GRID_SLACK)))
        refuse(LX_ERR_LIMIT, lines.path() + ": " + number_text(samples) + " samples at " +
                                 number_text(rate) + " Hz for " + std::to_string(scan.rows) +
                                 " rows: the times have long gaps; give a lower --rate");
    std::vector<double> times(static_cast<std::size_t>(samples));
    for (std::size_t g = 0; g < times.size(); ++g) times[g] = scan.first + double(g) / rate;
    return times;
}

} // namespace

double to_millisecond(double seconds) {
    return std::round(seconds * 1000.0) / 1000.0;
}

void place_laps(std::vector<LapPlan>& laps, const std::vector<double>& times) {
    std::vector<LapPlan> placed;
    std::size_t g = 0;
    for (LapPlan lap : laps) {
        while (g < times.size() && times[g] < lap.start - MARKER_SLACK) ++g;
        lap.first = long(g);
        if (!placed.empty() && placed.back().first == lap.first) placed.pop_back();
        placed.push_back(lap);
    }
    if (!placed.empty() && placed.back().first == long(times.size())) placed.pop_back();
    for (std::size_t k = 0; k < placed.size(); ++k)
        placed[k].count =
            (k + 1 < placed.size() ? placed[k + 1].first : long(times.size())) - placed[k].first;
    laps = std::move(placed);
}

// A file that names the one lap it holds was cut at that lap's marks.
void name_the_lap(const Layout& layout, SamplePlan& plan) {
    if (layout.named_lap == 0 || plan.laps.size() != 1) return;
    plan.laps[0].number = layout.named_lap;
    if (layout.named_lap_time >= 0)
        plan.laps[0].logger_time = to_millisecond(layout.named_lap_time);
    plan.starts_at_mark = plan.ends_at_mark = true;
}

void take_window(const CsvLines& lines, SamplePlan& plan, const ImportOptions& options) {
    std::vector<LapPlan>& laps = plan.laps;
    int n = int(laps.size());
    if (options.first_lap != 0 || options.last_lap != 0) {
        int first = options.first_lap == 0 ? 1 : options.first_lap;
        int last = options.last_lap == 0 ? n : options.last_lap;
        if (first < 1 || last < first || last > n)
            refuse(LX_ERR_ARGUMENT, lines.path() + ": " +
                                        lap_window_refusal(options.first_lap, options.last_lap, n));
        laps = std::vector<LapPlan>(laps.begin() + first - 1, laps.begin() + last);
        plan.first_lap = first;
        plan.starts_at_mark = plan.starts_at_mark || first > 1;
        plan.ends_at_mark = plan.ends_at_mark || last < n;
    }
    if (int(laps.size()) > MAX_LAPS - 1)
        refuse(LX_ERR_LIMIT, lines.path() + ": " + std::to_string(laps.size()) +
                                 " laps; a session holds " + std::to_string(MAX_LAPS - 1) +
                                 ": take a window with --laps FIRST-LAST");
    for (const LapPlan& lap : laps)
        if (lap.count > MAX_LAP_SAMPLES)
            refuse(LX_ERR_LIMIT, lines.path() + ": lap " + std::to_string(lap.number) + " has " +
                                     std::to_string(lap.count) + " samples, more than a lap holds");
}

std::string lap_window_refusal(int first_lap, int last_lap, int laps) {
    int from = first_lap == 0 ? 1 : first_lap;
    std::string first = std::to_string(from);
    std::string window = last_lap == 0      ? "laps " + first + " to the last"
                         : from == last_lap ? "lap " + first
                                            : "laps " + first + "-" + std::to_string(last_lap);
    std::string has = laps == 1 ? "only lap 1" : "laps 1-" + std::to_string(laps);
    return window + " asked for, but the file has " + has;
}

void seek_samples(CsvLines& lines, const Layout& layout) {
    lines.rewind();
    std::string_view line;
    while (lines.line_number() + 1 < layout.first_data_line && lines.next(line)) {
    }
}

void check_field_count(const CsvLines& lines, std::size_t fields, std::size_t columns,
                       bool last_empty) {
    if (fields == columns || (fields == columns + 1 && last_empty)) return;
    refuse_at(lines, lines.line_number(),
              std::to_string(fields) + " fields where the header names " + std::to_string(columns));
}

double row_time(const CsvLines& lines, const Layout& layout, std::string_view field) {
    double t;
    NumberKind kind = read_number(field, t);
    if (kind != NumberKind::number)
        refuse_at(lines, lines.line_number(),
                  "time \"" + std::string(field.substr(0, 40)) + "\" (" +
                      layout.columns[layout.time].title + ") is not a number");
    return t;
}

Timeline::Placed Timeline::place(double file_time, double& time) {
    bool restarted = false;
    if (!started_) {
        started_ = true;
        origin_ = layout_.unix_time ? file_time : 0.0;
        last_ = file_time - origin_ - 1.0;
    } else if (layout_.restarts && file_time < last_file_ && file_time <= RESTART_AT) {
        // The beacon the time restarted at, else the row before it.
        offset_ = last_;
        for (double marker : layout_.markers)
            if (marker >= last_ - MARKER_SLACK) {
                offset_ = marker;
                break;
            }
        restarts_.push_back(offset_);
        restarted = true;
    }
    last_file_ = file_time;
    time = file_time - origin_ + offset_;
    if (time < last_ - SAME_TIME)
        refuse_at(lines_, lines_.line_number(),
                  "time " + number_text(file_time) + " runs backwards (the row before: " +
                      number_text(last_ - offset_ + origin_) + ")");
    if (time <= last_ + SAME_TIME) return restarted ? Placed::replaces : Placed::repeated;
    last_ = time;
    return Placed::kept;
}

SamplePlan plan_samples(CsvLines& lines, const Layout& layout, const ImportOptions& options) {
    if (!(options.rate >= 0) || options.rate > MAX_RESAMPLE_RATE)
        refuse(LX_ERR_ARGUMENT, lines.path() + ": rate " + number_text(options.rate) +
                                    " Hz is not between 0 and 10000 Hz");
    SamplePlan plan;
    Scan scan = scan_rows(lines, layout, plan);
    plan.rows = scan.rows;
    bool resample = layout.resample || options.rate > 0;
    plan.times = resample ? even_times(lines, scan, resample_rate(lines, scan, options))
                          : std::move(scan.row_times);
    plan.laps = layout.markers.empty() ? laps_from_crossings(scan, layout.lap_number != NONE)
                                       : laps_from_markers(layout, scan);
    place_laps(plan.laps, plan.times);
    name_the_lap(layout, plan);
    take_window(lines, plan, options);
    plan.stated_rate = stated_rate(layout, scan);
    return plan;
}

} // namespace lx
