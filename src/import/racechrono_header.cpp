// RaceChrono's CSV export, format 3: a free-text line, "key,value" rows up to
// a blank line, then three rows (names, units, sources) and the samples.
#include <algorithm>

#include "import/layout.h"
#include "import/text.h"

namespace lx {

namespace {

struct Row {
    std::vector<std::string_view> fields;
    std::string scratch;
};

bool next_row(CsvLines& lines, Row& row) {
    std::string_view line;
    if (!lines.next(line)) return false;
    split_fields(lines, line, row.fields, row.scratch);
    return true;
}

bool is_blank(const Row& row) {
    for (std::string_view f : row.fields)
        if (!f.empty()) return false;
    return true;
}

std::string field(const Row& row, std::size_t i) {
    return i < row.fields.size() ? to_utf8(row.fields[i]) : std::string();
}

void read_metadata(CsvLines& lines, Layout& layout) {
    Row row;
    while (next_row(lines, row) && !is_blank(row)) {
        std::string key = match_key(row.fields[0]);
        if (key == "format" && field(row, 1) != "3")
            refuse_at(lines, lines.line_number(),
                      "RaceChrono CSV format \"" + field(row, 1) + "\": only format 3 is read");
        if (key == "trackname" || (key == "sessiontitle" && layout.venue.empty()))
            layout.venue = field(row, 1);
        if (key == "drivername") layout.driver = field(row, 1);
        if (key.starts_with("vehicle")) layout.vehicle = field(row, 1);
        if (key == "created") {
            layout.date = field(row, 1);
            layout.time_of_day = field(row, 2);
        }
    }
}

// "This file is created using RaceChrono Pro v9.1.3 ( http://...)." gives
// "RaceChrono Pro v9.1.3"; a line of another wording is kept whole.
std::string program_named(std::string_view line) {
    std::string text = to_utf8(line);
    for (std::string_view lead : {" using ", " by "})
        if (std::size_t at = text.find(lead); at != std::string::npos) {
            text.erase(0, at + lead.size());
            std::size_t end = std::min(text.find(" ("), text.find(','));
            if (end != std::string::npos) text.erase(end);
            break;
        }
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\r'))
        text.pop_back();
    return text;
}

bool starts_with_number(const Row& row) {
    double ignored;
    return read_number(row.fields[0], ignored) == NumberKind::number;
}

void find_columns(CsvLines& lines, Layout& layout) {
    for (std::size_t i = 0; i < layout.columns.size(); ++i) {
        const Column& c = layout.columns[i];
        std::string key = match_key(c.title);
        if (key == "timestamp") layout.time = int(i), layout.unix_time = true;
        if (key == "elapsedtime" && layout.time == NONE) layout.time = int(i);
        if (key == "lapnumber") layout.lap_number = int(i);
        if (key == "deviceupdaterate" && c.source.find("gps") != std::string::npos)
            layout.gps_rate = int(i);
    }
    if (layout.time == NONE)
        refuse_at(lines, layout.first_data_line, "no timestamp or elapsed_time column");
}

} // namespace

Layout read_racechrono_header(CsvLines& lines) {
    Layout layout;
    layout.format = FileFormat::racechrono_csv;
    layout.resample = true;
    std::string_view title;
    lines.next(title);
    layout.logger = program_named(title);
    read_metadata(lines, layout);
    Row names, row;
    while (next_row(lines, names) && is_blank(names)) {
    }
    if (is_blank(names)) refuse_at(lines, lines.line_number(), "no row of channel names");
    for (std::string_view name : names.fields)
        layout.columns.push_back({to_utf8(name), "", "", 1.0, true});
    for (int header = 0; header < 2; ++header) {
        if (!next_row(lines, row))
            refuse_at(lines, lines.line_number(), "no samples after the header");
        if (starts_with_number(row)) break;
        for (std::size_t i = 0; i < layout.columns.size() && i < row.fields.size(); ++i)
            (header == 0 ? layout.columns[i].unit : layout.columns[i].source) =
                to_utf8(row.fields[i]);
        row.fields.clear();
    }
    if (row.fields.empty() && !next_row(lines, row))
        refuse_at(lines, lines.line_number(), "no samples after the header");
    layout.first_data_line = lines.line_number();
    find_columns(lines, layout);
    return layout;
}

} // namespace lx
