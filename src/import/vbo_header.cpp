// The sections before [data]. Writers differ in which sections they give,
// in the names and in the order of a gate's numbers; the columns are matched
// by position, never by name.
#include <cstdio>

#include "base/ascii.h"
#include "import/text.h"
#include "import/vbo_layout.h"

namespace lx {

namespace {

constexpr std::string_view GATE_NAME_MARK = "\xC2\xAC"; // '¬' before a gate's name

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The last word of a [header] name when it is a unit: "velocity kmh".
bool is_unit_word(std::string_view word) {
    static const char* const units[] = {"kmh", "km/h", "kph", "mph", "g",   "m",  "ft",
                                        "s",   "deg",  "m/s", "%",   "rpm", "hz", "v"};
    std::string w = ascii_lower(word);
    for (const char* unit : units)
        if (w == unit) return true;
    return false;
}

struct Sections {
    std::vector<std::string> header, units, names;
    bool has_units = false, has_names = false, has_data = false;
    long names_line = 0, units_line = 0;
};

void read_created(std::string_view line, VboLayout& vbo) {
    int d, m, y, hh, mm, ss;
    std::string text(line.substr(0, 80));
    if (std::sscanf(text.c_str(), "File created on %d/%d/%d at %d:%d:%d", &d, &m, &y, &hh, &mm,
                    &ss) >= 3 &&
        d >= 1 && d <= 31 && m >= 1 && m <= 12 && y >= 1970 && y <= 9999) {
        vbo.day = d, vbo.month = m, vbo.year = y;
        vbo.layout.date = std::string(trimmed(line.substr(16))).substr(0, 10);
    }
}

VboGate read_gate_line(const CsvLines& lines, std::string_view line) {
    VboGate gate;
    gate.line = lines.line_number();
    std::size_t mark = line.find(GATE_NAME_MARK);
    std::string_view numbers = line.substr(0, mark);
    if (mark != std::string_view::npos)
        gate.name = to_utf8(trimmed(line.substr(mark + GATE_NAME_MARK.size())));
    std::vector<std::string_view> words;
    split_blanks(numbers, words);
    gate.start = ascii_lower(words[0]) == "start";
    if (words.size() < 5)
        refuse_at(lines, gate.line,
                  "gate \"" + std::string(words[0]) + "\" has " + std::to_string(words.size() - 1) +
                      " numbers where it needs 4");
    for (int k = 0; k < 4; ++k)
        if (!read_vbo_number(words[std::size_t(k) + 1], gate.values[k]))
            refuse_at(lines, gate.line,
                      "gate \"" + std::string(words[0]) + "\": \"" +
                          std::string(words[std::size_t(k) + 1].substr(0, 40)) +
                          "\" is not a number");
    if (gate.name.empty() && words.size() > 5) gate.name = to_utf8(words[5]);
    return gate;
}

void read_section_line(const CsvLines& lines, const std::string& section, std::string_view line,
                       Sections& s, VboLayout& vbo) {
    if (line.empty()) return;
    if (section == "header") {
        s.header.push_back(to_utf8(line));
    } else if (section == "channel units") {
        s.units.push_back(to_utf8(line));
    } else if (section == "column names") {
        std::vector<std::string_view> words;
        split_blanks(line, words);
        for (std::string_view w : words) s.names.push_back(to_utf8(w));
    } else if (section == "comments") {
        if (ascii_lower(line).find("racechrono") != std::string::npos) vbo.racechrono = true;
    } else if (section == "session data") {
        if (ascii_lower(line).starts_with("name "))
            vbo.layout.venue = to_utf8(trimmed(line.substr(5)));
    } else if (section == "laptiming") {
        std::vector<std::string_view> words;
        split_blanks(line, words);
        std::string kind = ascii_lower(words[0]);
        if (kind == "start" || kind == "split") vbo.gates.push_back(read_gate_line(lines, line));
    }
}

Sections read_sections(CsvLines& lines, VboLayout& vbo) {
    Sections s;
    std::string section;
    std::string_view line;
    while (lines.next(line)) {
        line = trimmed(line);
        if (lines.line_number() == 1) read_created(line, vbo);
        if (line.starts_with("[") && line.ends_with("]")) {
            section = ascii_lower(line.substr(1, line.size() - 2));
            if (section == "channel units") s.has_units = true, s.units_line = lines.line_number();
            if (section == "column names") s.has_names = true, s.names_line = lines.line_number();
            if (section == "data") {
                s.has_data = true;
                vbo.layout.first_data_line = lines.line_number() + 1;
                break;
            }
            continue;
        }
        read_section_line(lines, section, line, s, vbo);
    }
    if (!s.has_data) refuse_at(lines, lines.line_number(), "no [data] section");
    return s;
}

std::string count_text(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " channel" : " channels");
}

// The columns by position: the short name, the long name and the unit.
void match_columns(const CsvLines& lines, const Sections& s, Layout& layout) {
    const std::vector<std::string>& names = s.has_names ? s.names : s.header;
    if (names.empty())
        refuse_at(lines, layout.first_data_line - 1, "no [column names] or [header] before [data]");
    if (s.has_names && !s.header.empty() && s.header.size() != names.size())
        refuse_at(lines, s.names_line,
                  "[column names] names " + count_text(names.size()) + ", [header] " +
                      count_text(s.header.size()));
    if (s.has_units && s.units.size() != names.size())
        refuse_at(lines, s.units_line,
                  "[channel units] gives " + std::to_string(s.units.size()) + " units for " +
                      count_text(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        Column c{names[i], "", names[i], 1.0, true};
        if (i < s.header.size()) {
            std::vector<std::string_view> words;
            split_blanks(s.header[i], words);
            std::string_view long_name = s.header[i];
            if (!s.has_units && words.size() > 1 && is_unit_word(words.back())) {
                c.unit = std::string(words.back());
                long_name = trimmed(long_name.substr(0, long_name.size() - words.back().size()));
            }
            c.title = std::string(long_name);
        }
        if (s.has_units) c.unit = s.units[i] == "-" ? "" : s.units[i]; // "-": none
        layout.columns.push_back(c);
    }
}

int column_named(const Sections& s, std::initializer_list<const char*> keys) {
    const std::vector<std::string>& names = s.has_names ? s.names : s.header;
    for (const char* key : keys)
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::string name = ascii_lower(names[i]);
            if (name == key || (i < s.header.size() && ascii_lower(s.header[i]) == key))
                return int(i);
        }
    return NONE;
}

} // namespace

void split_blanks(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    const char* p = line.data();
    const char* end = p + line.size();
    while (p != end) {
        while (p != end && (*p == ' ' || *p == '\t')) ++p;
        const char* start = p;
        while (p != end && *p != ' ' && *p != '\t') ++p;
        if (p != start) fields.emplace_back(start, std::size_t(p - start));
    }
    if (fields.empty()) fields.emplace_back();
}

bool left_positive_lateral(std::string_view column_name, bool racechrono) {
    std::string name = ascii_lower(column_name);
    return name == "latacc-calc" || (racechrono && name == "latacc");
}

bool read_vbo_number(std::string_view field, double& value) {
    if (field.size() > 1 && field[0] == '+' && field[1] != '-') field.remove_prefix(1);
    return read_number(field, value) == NumberKind::number;
}

VboLayout read_vbo_header(CsvLines& lines) {
    VboLayout vbo;
    Layout& layout = vbo.layout;
    layout.format = FileFormat::vbo;
    Sections s = read_sections(lines, vbo);
    match_columns(lines, s, layout);
    layout.time = column_named(s, {"time"});
    if (layout.time == NONE)
        refuse_at(lines, layout.first_data_line - 1, "no time column among the channels");
    layout.latitude = column_named(s, {"lat", "latitude"});
    layout.longitude = column_named(s, {"long", "lon", "longitude"});
    vbo.satellites = column_named(s, {"sats", "satellites"});
    layout.speed = column_named(s, {"velocity", "velocity kmh", "speed"});
    // The names the importers give a position, so that it is found as theirs.
    if (layout.latitude != NONE) layout.columns[layout.latitude].title = "latitude";
    if (layout.longitude != NONE) layout.columns[layout.longitude].title = "longitude";
    return vbo;
}

} // namespace lx
