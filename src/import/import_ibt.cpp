// iRacing telemetry: a header, the variables' headers, the session's YAML
// text and one packed row of values per tick. A row is one sample: the rows
// are evenly spaced even where SessionTime jumps.
#include <algorithm>
#include <cmath>

#include "base/calendar.h"
#include "base/utf8.h"
#include "import/binary.h"
#include "import/csv_lines.h"
#include "import/import.h"
#include "import/projection.h"
#include "import/text.h"
#include "lx_data.h"

namespace lx {

namespace {

namespace head {
constexpr std::size_t VERSION = 0, TICK_RATE = 8, INFO_LENGTH = 16, INFO_OFFSET = 20;
constexpr std::size_t VARIABLES = 24, VARIABLE_OFFSET = 28, BUFFERS = 32, ROW_BYTES = 36;
constexpr std::size_t ROW_OFFSET = 52, START_DATE = 112, RECORDS = 140, SIZE = 144;
} // namespace head

namespace var {
constexpr std::size_t TYPE = 0, OFFSET = 4, COUNT = 8, NAME = 16, UNIT = 112, SIZE = 144;
constexpr std::size_t NAME_SIZE = 32, UNIT_SIZE = 32;
} // namespace var

constexpr int TYPE_SIZES[] = {1, 1, 4, 4, 4, 8}; // char, bool, int, bitfield, float, double
constexpr int TYPES = 6;
constexpr int MAX_TICK_RATE = 10000, MAX_BUFFERS = 4;
constexpr std::size_t CHUNK_BYTES = 1 << 20;

// The channels kept when a file has more than a session holds.
constexpr const char* DEFAULT_CHANNELS[] = {"Speed",
                                            "LatAccel",
                                            "LongAccel",
                                            "VertAccel",
                                            "Throttle",
                                            "Brake",
                                            "Clutch",
                                            "RPM",
                                            "Gear",
                                            "SteeringWheelAngle",
                                            "YawRate",
                                            "Yaw",
                                            "Pitch",
                                            "Roll",
                                            "VelocityX",
                                            "VelocityY",
                                            "VelocityZ",
                                            "Lat",
                                            "Lon",
                                            "Alt",
                                            "Lap",
                                            "LapCompleted",
                                            "LapDist",
                                            "LapDistPct",
                                            "LapCurrentLapTime",
                                            "LapLastLapTime",
                                            "LapBestLapTime",
                                            "LapDeltaToBestLap",
                                            "SessionTime",
                                            "OnPitRoad",
                                            "PlayerTrackSurface",
                                            "FuelLevel",
                                            "FuelUsePerHour",
                                            "WaterTemp",
                                            "OilTemp",
                                            "OilPress",
                                            "Voltage",
                                            "ManifoldPress",
                                            "LFshockDefl",
                                            "RFshockDefl",
                                            "LRshockDefl",
                                            "RRshockDefl",
                                            "LFrideHeight",
                                            "RFrideHeight",
                                            "LRrideHeight",
                                            "RRrideHeight"};

struct Header {
    int version = 0, tick_rate = 0, info_length = 0, info_offset = 0, variables = 0;
    int variable_offset = 0, buffers = 0, row_bytes = 0, row_offset = 0, records = 0;
    long long start_date = 0;
};

struct Variable {
    std::string name, unit;
    int type = 0, offset = 0, count = 0;
};

Header header_of(const unsigned char* b) {
    Header h;
    h.version = load<std::int32_t>(b + head::VERSION);
    h.tick_rate = load<std::int32_t>(b + head::TICK_RATE);
    h.info_length = load<std::int32_t>(b + head::INFO_LENGTH);
    h.info_offset = load<std::int32_t>(b + head::INFO_OFFSET);
    h.variables = load<std::int32_t>(b + head::VARIABLES);
    h.variable_offset = load<std::int32_t>(b + head::VARIABLE_OFFSET);
    h.buffers = load<std::int32_t>(b + head::BUFFERS);
    h.row_bytes = load<std::int32_t>(b + head::ROW_BYTES);
    h.row_offset = load<std::int32_t>(b + head::ROW_OFFSET);
    h.start_date = load<std::int64_t>(b + head::START_DATE);
    h.records = load<std::int32_t>(b + head::RECORDS);
    return h;
}

bool fits(long long offset, long long bytes, std::uint64_t size) {
    return offset >= 0 && bytes >= 0 && std::uint64_t(offset) <= size &&
           std::uint64_t(bytes) <= size - std::uint64_t(offset);
}

// Why the header does not fit the file, with the byte it is at; "" when it fits.
std::string header_problem(const Header& h, std::uint64_t size, std::size_t& at) {
    auto problem = [&](std::size_t where, std::string why) {
        at = where;
        return why;
    };
    if (h.version != 1 && h.version != 2)
        return problem(head::VERSION, "version " + std::to_string(h.version) + " is not 1 or 2");
    if (h.tick_rate < 1 || h.tick_rate > MAX_TICK_RATE)
        return problem(head::TICK_RATE, "tick rate " + std::to_string(h.tick_rate) +
                                            " is not between 1 and 10000 Hz");
    if (h.variables < 1 || !fits(h.variable_offset, (long long)h.variables * var::SIZE, size))
        return problem(head::VARIABLES,
                       std::to_string(h.variables) + " variable headers from byte " +
                           std::to_string(h.variable_offset) + " do not fit in the file");
    if (!fits(h.info_offset, h.info_length, size))
        return problem(head::INFO_LENGTH, "session text of " + std::to_string(h.info_length) +
                                              " bytes from byte " + std::to_string(h.info_offset) +
                                              " does not fit in the file");
    if (h.buffers < 1 || h.buffers > MAX_BUFFERS)
        return problem(head::BUFFERS, std::to_string(h.buffers) + " buffers");
    if (h.row_bytes < 1 || !fits(h.row_offset, 0, size))
        return problem(head::ROW_BYTES, "rows of " + std::to_string(h.row_bytes) +
                                            " bytes from byte " + std::to_string(h.row_offset) +
                                            " do not fit in the file");
    // A few rows fewer than counted is a file cut short, read with a note.
    if (h.records < 0 ||
        !within_cut_file(std::uint64_t(h.row_offset),
                         std::uint64_t(h.records) * std::uint64_t(h.row_bytes), size))
        return problem(head::RECORDS, std::to_string(h.records) + " rows of " +
                                          std::to_string(h.row_bytes) + " bytes from byte " +
                                          std::to_string(h.row_offset) +
                                          " run far past the end of the file (" +
                                          std::to_string(size) + " bytes)");
    return "";
}

std::vector<Variable> read_variables(const BinaryFile& file, const Header& h) {
    std::vector<unsigned char> b =
        file.read(std::uint64_t(h.variable_offset), std::size_t(h.variables) * var::SIZE,
                  "the variable headers");
    std::vector<Variable> vars;
    for (int i = 0; i < h.variables; ++i) {
        const unsigned char* v = b.data() + std::size_t(i) * var::SIZE;
        Variable x;
        x.type = load<std::int32_t>(v + var::TYPE);
        x.offset = load<std::int32_t>(v + var::OFFSET);
        x.count = load<std::int32_t>(v + var::COUNT);
        x.name = fixed_text(v + var::NAME, var::NAME_SIZE);
        x.unit = fixed_text(v + var::UNIT, var::UNIT_SIZE);
        std::uint64_t at = std::uint64_t(h.variable_offset) + std::uint64_t(i) * var::SIZE;
        if (x.type < 0 || x.type >= TYPES)
            file.refuse_at(at, "variable " + x.name + " has type " + std::to_string(x.type));
        if (x.count < 1 || x.offset < 0 ||
            (long long)x.offset + (long long)x.count * TYPE_SIZES[x.type] > h.row_bytes)
            file.refuse_at(at + var::OFFSET, "variable " + x.name + " (" + std::to_string(x.count) +
                                                 " at byte " + std::to_string(x.offset) +
                                                 ") does not fit in a row of " +
                                                 std::to_string(h.row_bytes) + " bytes");
        vars.push_back(x);
    }
    return vars;
}

double value_of(int type, const unsigned char* p) {
    switch (type) {
    case 0:
        return double(static_cast<signed char>(*p));
    case 1:
        return *p ? 1.0 : 0.0;
    case 2:
        return double(load<std::int32_t>(p));
    case 3:
        return double(load<std::uint32_t>(p));
    case 4:
        return double(load<float>(p));
    default:
        return load<double>(p);
    }
}

// ---- the session text -------------------------------------------------------

// The value of the first "key:" at the start of a line (after blanks or "- ")
// from `from` on; npos in where when there is none.
std::string yaml_value(std::string_view text, std::string_view key, std::size_t from,
                       std::size_t& where) {
    for (std::size_t at = text.find(key, from); at != std::string_view::npos;
         at = text.find(key, at + 1)) {
        std::size_t line = text.rfind('\n', at);
        line = line == std::string_view::npos ? 0 : line + 1;
        std::string_view before = text.substr(line, at - line);
        std::size_t end = at + key.size();
        if (before.find_first_not_of(" -") != std::string_view::npos || end >= text.size() ||
            text[end] != ':')
            continue;
        std::size_t stop = std::min(text.find('\n', end), text.size());
        std::string_view value = text.substr(end + 1, stop - end - 1);
        while (!value.empty() && (value.front() == ' ')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\r'))
            value.remove_suffix(1);
        where = at;
        return printable(to_utf8(value));
    }
    where = std::string_view::npos;
    return "";
}

std::string yaml_value(std::string_view text, std::string_view key) {
    std::size_t where;
    return yaml_value(text, key, 0, where);
}

struct SessionText {
    std::string venue, vehicle, driver;
};

// The track, and the driver's own name and car from the list of drivers.
SessionText read_session_text(std::string_view text) {
    SessionText s;
    s.venue = yaml_value(text, "TrackDisplayName");
    if (s.venue.empty()) s.venue = yaml_value(text, "TrackName");
    std::string car = yaml_value(text, "DriverCarIdx");
    std::size_t where = 0;
    for (std::size_t from = 0;; from = where + 1) {
        std::string idx = yaml_value(text, "CarIdx", from, where);
        if (where == std::string_view::npos) return s;
        if (idx != car) continue;
        std::size_t next, found;
        yaml_value(text, "CarIdx", where + 1, next);
        std::string name = yaml_value(text, "UserName", where, found);
        if (found < next) s.driver = name;
        std::string vehicle = yaml_value(text, "CarScreenName", where, found);
        if (found < next) s.vehicle = vehicle;
        return s;
    }
}

// "2023-04-10" and "07:50:45" of a Unix time.
void date_and_time(long long unix_time, std::string& date, std::string& time) {
    CivilTime c = civil_time(unix_time);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", c.year, c.month, c.day);
    date = text;
    ClockTime clock = clock_time(c.seconds_of_day);
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", clock.hours, clock.minutes,
                  clock.seconds);
    time = text;
}

// ---- rows -------------------------------------------------------------------

struct Rows {
    const BinaryFile& file;
    const Header& h;
    long count;

    // Runs visit(row, bytes) over every row, a piece of the file at a time.
    template <class Visit> void each(Visit visit) const {
        long per_chunk = std::max(1L, long(CHUNK_BYTES / std::size_t(h.row_bytes)));
        std::vector<unsigned char> bytes;
        for (long r = 0; r < count; r += per_chunk) {
            long n = std::min(count - r, per_chunk);
            bytes.resize(std::size_t(n) * std::size_t(h.row_bytes));
            file.read(std::uint64_t(h.row_offset) + std::uint64_t(r) * std::uint64_t(h.row_bytes),
                      bytes.size(), bytes.data(), "rows");
            for (long i = 0; i < n; ++i) visit(r + i, bytes.data() + i * h.row_bytes);
        }
    }
};

const Variable* find(const std::vector<Variable>& vars, const char* name) {
    for (const Variable& v : vars)
        if (v.name == name && v.count == 1) return &v;
    return nullptr;
}

struct FirstPass {
    std::vector<double> lines;
    std::vector<long long> logger_ms;
    bool fixed = false;
    double latitude = 0, longitude = 0;
};

bool valid_fix(double lat, double lon) {
    return std::isfinite(lat) && std::isfinite(lon) && !(lat == 0 && lon == 0) &&
           std::fabs(lat) <= 90 && std::fabs(lon) <= 180;
}

// Lap lines where Lap changes; each lap's logger time is LapLastLapTime where
// it next changes to a time after the lap's closing line.
FirstPass first_pass(const Rows& rows, const std::vector<Variable>& vars, const Layout& layout) {
    FirstPass pass;
    const Variable* lap = find(vars, "Lap");
    const Variable* last = find(vars, "LapLastLapTime");
    const Variable* lat = layout.latitude == NONE ? nullptr : &vars[std::size_t(layout.latitude)];
    const Variable* lon = layout.longitude == NONE ? nullptr : &vars[std::size_t(layout.longitude)];
    double lap_before = 0, last_before = 0;
    rows.each([&](long r, const unsigned char* row) {
        if (lap) {
            double n = value_of(lap->type, row + lap->offset);
            if (r > 0 && n != lap_before) {
                pass.lines.push_back(double(r) / rows.h.tick_rate);
                pass.logger_ms.push_back(-1);
            }
            lap_before = n;
        }
        if (last) {
            double t = value_of(last->type, row + last->offset);
            bool waiting = !pass.logger_ms.empty() && pass.logger_ms.back() < 0;
            if (r > 0 && t != last_before && t > 0 && std::isfinite(t) && waiting)
                pass.logger_ms.back() = std::llround(t * 1000.0);
            last_before = t;
        }
        if (lat && lon && !pass.fixed) {
            double y = value_of(lat->type, row + lat->offset),
                   x = value_of(lon->type, row + lon->offset);
            if (valid_fix(y, x)) pass.fixed = true, pass.latitude = y, pass.longitude = x;
        }
    });
    return pass;
}

struct Reader {
    const Rows& rows;
    const std::vector<Variable>& vars;
    const Layout& layout;
    const FirstPass& pass;
    const Grid& grid;
    GridSession& built;

    void fill() const {
        struct Kept {
            int type, offset, store;
            double scale;
        };
        std::vector<Kept> kept;
        for (std::size_t i = 0; i < vars.size(); ++i)
            if (built.store[i] >= 0)
                kept.push_back(
                    {vars[i].type, vars[i].offset, built.store[i], layout.columns[i].scale});
        const Variable* speed = layout.speed == NONE ? nullptr : &vars[std::size_t(layout.speed)];
        double speed_scale = speed ? layout.columns[std::size_t(layout.speed)].scale *
                                         layout.speed_to_metres_per_second
                                   : 0;
        const Variable* lat = built.east >= 0 ? &vars[std::size_t(layout.latitude)] : nullptr;
        const Variable* lon = built.east >= 0 ? &vars[std::size_t(layout.longitude)] : nullptr;
        Projection p = projection_at(pass.latitude);
        Session& s = *built.session;
        GridCursor cursor(s, grid);
        rows.each([&](long r, const unsigned char* row) {
            if (!cursor.seek(r)) return;
            float* const* raw = s.laps[cursor.lap()].raw;
            long j = cursor.index(r);
            for (const Kept& k : kept)
                raw[k.store][j] = static_cast<float>(value_of(k.type, row + k.offset) * k.scale);
            if (speed)
                raw[2][j] =
                    static_cast<float>(value_of(speed->type, row + speed->offset) * speed_scale);
            if (!lat) return;
            double y = value_of(lat->type, row + lat->offset),
                   x = value_of(lon->type, row + lon->offset);
            bool valid = pass.fixed && valid_fix(y, x);
            raw[built.east][j] =
                valid ? static_cast<float>((x - pass.longitude) * p.east_per_degree) : 0.0f;
            raw[built.north][j] =
                valid ? static_cast<float>((y - pass.latitude) * p.north_per_degree) : 0.0f;
        });
    }
};

Layout layout_of(const std::vector<Variable>& vars, std::string& arrays) {
    Layout layout;
    layout.format = FileFormat::ibt;
    for (const Variable& v : vars) {
        Column c;
        c.title = v.name;
        c.unit = v.unit;
        c.keep = v.count == 1;
        if (v.count > 1)
            arrays += (arrays.empty() ? "" : ", ") + v.name + "[" + std::to_string(v.count) + "]";
        layout.columns.push_back(c);
    }
    return layout;
}

void choose(Layout& layout, const std::string& path, const ImportOptions& options,
            std::string& notes) {
    choose_columns(layout, path, options, DEFAULT_CHANNELS, notes);
    // Lateral acceleration is positive in left-hand turns; AiM's sign is the other.
    for (Column& c : layout.columns)
        if (match_key(c.title) == "lataccel") c.scale = -c.scale;
}

void fill_record(Session& s, const Header& h, const SessionText& text, const FirstPass& pass,
                 std::string notes) {
    SessionRecord& r = *s.record;
    r.venue = text.venue, r.vehicle = text.vehicle, r.driver = text.driver;
    if (h.start_date > 0) {
        date_and_time(h.start_date, r.date, r.time);
        r.start_time = double(h.start_date);
    }
    if (pass.fixed) r.origin_latitude = pass.latitude, r.origin_longitude = pass.longitude;
    if (!notes.empty()) r.notes.push_back(std::move(notes));
    copy_utf8(s.venue, sizeof s.venue, text.venue);
    copy_utf8(s.vehicle, sizeof s.vehicle, text.vehicle);
    copy_utf8(s.driver, sizeof s.driver, text.driver);
}

std::uint64_t end_of_rows(const Header& h, long rows) {
    return std::uint64_t(h.row_offset) + std::uint64_t(rows) * std::uint64_t(h.row_bytes);
}

// Where a file with fewer rows than its header counts, or a part of one
// more, ends.
std::string cut_rows_note(const Header& h, long whole, std::uint64_t size) {
    std::string where = end_of_rows(h, whole) == size ? "after row " + std::to_string(whole)
                                                      : "inside row " + std::to_string(whole + 1);
    std::string counted =
        h.records > 0 ? " of the " + std::to_string(h.records) + " its header counts" : "";
    return "the file ends at byte " + std::to_string(size) + ", " + where + counted +
           ": the session ends at row " + std::to_string(whole);
}

Session* import(const std::string& path, const ImportOptions& options) {
    BinaryFile file(path);
    if (file.size() < head::SIZE)
        file.refuse_at(0, "a header of " + std::to_string(head::SIZE) + " bytes does not fit in " +
                              std::to_string(file.size()));
    std::vector<unsigned char> b = file.read(0, head::SIZE, "the header");
    Header h = header_of(b.data());
    std::size_t at = 0;
    std::string problem = header_problem(h, file.size(), at);
    if (!problem.empty()) file.refuse_at(at, problem);
    std::vector<Variable> vars = read_variables(file, h);
    std::vector<unsigned char> info =
        file.read(std::uint64_t(h.info_offset), std::size_t(h.info_length), "the session text");
    std::string_view info_text(reinterpret_cast<const char*>(info.data()), info.size());
    SessionText text = read_session_text(info_text.substr(0, info_text.find('\0')));
    std::string notes;
    Rows rows{file, h, h.records};
    long whole = long((file.size() - std::uint64_t(h.row_offset)) / std::uint64_t(h.row_bytes));
    // A header that counts no rows was never finished: a part row is a cut.
    bool truncated = h.records > whole || (h.records == 0 && end_of_rows(h, whole) < file.size());
    if (h.records == 0) {
        rows.count = whole;
        notes += "the header counts no rows: read the " + std::to_string(rows.count) +
                 " the file holds. ";
    } else if (truncated) {
        rows.count = whole;
    }
    if (rows.count == 0) file.refuse_at(head::RECORDS, "the file has no rows");
    std::string arrays;
    Layout layout = layout_of(vars, arrays);
    if (!arrays.empty()) notes += "arrays left out: " + arrays + ". ";
    choose(layout, path, options, notes);
    FirstPass pass = first_pass(rows, vars, layout);
    Grid grid;
    grid.rate = h.tick_rate;
    grid.samples = rows.count;
    plan_laps(grid, pass.lines, pass.logger_ms, path, options);
    GridSession built = start_grid_session(path, layout, grid, "iRacing telemetry");
    Reader{rows, vars, layout, pass, grid, built}.fill();
    finish_grid_session(*built.session, layout, grid);
    fill_record(*built.session, h, text, pass, notes);
    if (truncated) built.session->record->notes.push_back(cut_rows_note(h, whole, file.size()));
    built.session->record->truncated = truncated;
    return built.session.release();
}

} // namespace

bool looks_like_ibt(const unsigned char* head, std::size_t n, std::uint64_t size) {
    if (n < head::SIZE) return false;
    std::size_t at;
    return header_problem(header_of(head), size, at).empty();
}

ImportResult import_ibt(const char* path, const ImportOptions& options) {
    return run_import(path, [&] { return import(path, options); });
}

} // namespace lx
