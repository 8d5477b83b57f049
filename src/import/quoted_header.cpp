// AiM and MoTeC CSV exports share a layout: "key","value" rows up to a blank
// line, a row of channel names (sometimes twice), a row of units, sometimes a
// row of channel numbers, blank lines, then the samples.
#include <cmath>
#include <map>

#include "import/layout.h"
#include "import/text.h"
#include "lx_data.h"

namespace lx {

namespace {

struct MetaRow {
    std::vector<std::string> values; // the fields after the key
    long line = 0;
};
using Metadata = std::map<std::string, MetaRow>; // by match_key of the key

struct Row {
    std::vector<std::string_view> fields;
    std::string scratch;
    long line = 0;
};

bool next_row(CsvLines& lines, Row& row) {
    std::string_view line;
    if (!lines.next(line)) return false;
    split_fields(lines, line, row.fields, row.scratch);
    row.line = lines.line_number();
    return true;
}

bool is_blank(const Row& row) {
    for (std::string_view f : row.fields)
        if (!f.empty()) return false;
    return true;
}

Metadata read_metadata(CsvLines& lines) {
    Metadata meta;
    Row row;
    while (next_row(lines, row) && !is_blank(row)) {
        MetaRow& entry = meta[match_key(row.fields[0])];
        entry.line = row.line;
        entry.values.clear();
        for (std::size_t i = 1; i < row.fields.size(); ++i)
            entry.values.push_back(to_utf8(row.fields[i]));
    }
    return meta;
}

std::string value_of(const Metadata& meta, const char* key) {
    auto it = meta.find(key);
    return it == meta.end() || it->second.values.empty() ? "" : it->second.values[0];
}

std::string first_of(const Metadata& meta, std::initializer_list<const char*> keys) {
    for (const char* key : keys)
        if (std::string value = value_of(meta, key); !value.empty()) return value;
    return "";
}

// "156.036, 274.506" in one cell, "24.324 190.167 " in one cell, or one cell each.
std::vector<double> beacon_markers(const CsvLines& lines, const Metadata& meta) {
    auto it = meta.find("beaconmarkers");
    if (it == meta.end()) return {};
    std::string all;
    for (const std::string& v : it->second.values) all += v + ",";
    std::vector<double> markers;
    std::size_t at = 0;
    while (at < all.size()) {
        std::size_t stop = all.find_first_of(", ", at);
        std::string_view token = std::string_view(all).substr(at, stop - at);
        at = stop + 1;
        double t;
        NumberKind kind = read_number(token, t);
        if (kind == NumberKind::empty) continue;
        if (kind == NumberKind::bad || t < 0 || (!markers.empty() && t <= markers.back()))
            refuse_at(lines, it->second.line,
                      "beacon marker \"" + std::string(token) +
                          "\" is no time after the one before");
        markers.push_back(t);
    }
    return markers;
}

// "1:02.972", "0:59.942", "1:02:03.500" or "62.972".
bool read_lap_time(std::string_view text, double& seconds) {
    seconds = 0;
    for (;;) {
        std::size_t colon = text.find(':');
        double part;
        if (read_number(text.substr(0, colon), part) != NumberKind::number || part < 0)
            return false;
        seconds = seconds * 60 + part;
        if (colon == std::string_view::npos) return true;
        text.remove_prefix(colon + 1);
    }
}

std::vector<double> segment_times(const CsvLines& lines, const Metadata& meta) {
    auto it = meta.find("segmenttimes");
    if (it == meta.end()) return {};
    std::vector<double> times;
    for (const std::string& v : it->second.values) {
        if (v.empty()) continue;
        double t;
        if (!read_lap_time(v, t))
            refuse_at(lines, it->second.line, "segment time \"" + v + "\" is no lap time");
        times.push_back(t);
    }
    return times;
}

// The file's rate, checked only: the rows themselves say when they were taken.
constexpr double MAX_RATE = 100000.0;
double sample_rate(const CsvLines& lines, const Metadata& meta) {
    auto it = meta.find("samplerate");
    if (it == meta.end() || it->second.values.empty()) return 0.0;
    double rate;
    if (read_number(it->second.values[0], rate) != NumberKind::number || !(rate > 0) ||
        rate > MAX_RATE)
        refuse_at(lines, it->second.line,
                  "sample rate \"" + it->second.values[0] + "\" is not between 0 and 100000 Hz");
    return rate;
}

// "Lap 3 - 1:01.234" or "Lap 3": the one lap the file holds, as a lap
// written alone is named.
constexpr double MAX_NAMED_LAP = 1e6;
void read_named_lap(const Metadata& meta, Layout& layout) {
    for (const char* key : {"segment", "range"}) {
        std::string value = value_of(meta, key);
        std::string_view text = value;
        if (!text.starts_with("Lap ")) continue;
        text.remove_prefix(4);
        std::size_t dash = text.find(" - ");
        double number, seconds;
        if (read_number(text.substr(0, dash), number) != NumberKind::number || number < 1 ||
            number > MAX_NAMED_LAP || number != std::floor(number))
            continue;
        layout.named_lap = int(number);
        if (dash != std::string_view::npos && read_lap_time(text.substr(dash + 3), seconds))
            layout.named_lap_time = seconds;
        return;
    }
}

bool starts_with_number(const Row& row) {
    double ignored;
    return !row.fields.empty() && read_number(row.fields[0], ignored) == NumberKind::number;
}

// Names, units, and the line of the first sample row.
void read_channel_rows(CsvLines& lines, Layout& layout) {
    Row names;
    while (next_row(lines, names) && is_blank(names)) {
    }
    if (names.fields.empty() || is_blank(names))
        refuse_at(lines, lines.line_number(), "no row of channel names after the header");
    // Header rows may end with one empty field more than the samples.
    if (names.fields.size() > 1 && names.fields.back().empty()) names.fields.pop_back();
    for (std::string_view name : names.fields)
        layout.columns.push_back({to_utf8(name), "", "", 1.0, true});

    Row row;
    bool more = next_row(lines, row);
    auto same_as_names = [&] {
        std::size_t n = std::min(row.fields.size(), layout.columns.size());
        for (std::size_t i = 0; i < n; ++i)
            if (row.fields[i] != names.fields[i]) return false;
        return n == layout.columns.size();
    };
    if (more && same_as_names()) more = next_row(lines, row);
    if (more && !starts_with_number(row)) {
        for (std::size_t i = 0; i < layout.columns.size() && i < row.fields.size(); ++i)
            layout.columns[i].unit = to_utf8(row.fields[i]);
        more = next_row(lines, row);
    }
    // Channel numbers (first field empty) and blank rows up to the samples.
    while (more && !starts_with_number(row)) {
        if (!row.fields[0].empty())
            refuse_at(lines, row.line, "expected a row of samples starting with a time");
        more = next_row(lines, row);
    }
    if (!more) refuse_at(lines, lines.line_number(), "no samples after the header");
    layout.first_data_line = row.line;
}

Layout read_quoted(CsvLines& lines, FileFormat format, Metadata& meta) {
    Layout layout;
    layout.format = format;
    meta = read_metadata(lines);
    layout.markers = beacon_markers(lines, meta);
    layout.segment_times = segment_times(lines, meta);
    layout.sample_rate = sample_rate(lines, meta);
    layout.vehicle = value_of(meta, "vehicle");
    layout.restarts = true;
    read_channel_rows(lines, layout);
    for (std::size_t i = 0; i < layout.columns.size() && layout.time == NONE; ++i)
        if (match_key(layout.columns[i].title) == "time") layout.time = int(i);
    if (layout.time == NONE) refuse_at(lines, layout.first_data_line, "no column named Time");
    return layout;
}

} // namespace

Layout read_aim_header(CsvLines& lines) {
    Metadata meta;
    Layout layout = read_quoted(lines, FileFormat::aim_csv, meta);
    layout.venue = first_of(meta, {"venue", "session"});
    layout.driver = first_of(meta, {"racer", "driver", "user"});
    layout.date = value_of(meta, "date");
    layout.time_of_day = value_of(meta, "time");
    layout.logger = first_of(meta, {"datasource", "device", "logger"});
    return layout;
}

Layout read_motec_header(CsvLines& lines) {
    Metadata meta;
    Layout layout = read_quoted(lines, FileFormat::motec_csv, meta);
    layout.venue = value_of(meta, "venue");
    layout.driver = first_of(meta, {"driver", "user"});
    layout.date = first_of(meta, {"logdate", "date"});
    layout.time_of_day = first_of(meta, {"logtime", "time"});
    layout.logger = first_of(meta, {"device", "datasource", "logger"});
    read_named_lap(meta, layout);
    return layout;
}

} // namespace lx
