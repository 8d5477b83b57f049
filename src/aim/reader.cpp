#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

#include "aim/aim.h"
#include "aim/line_reader.h"
#include "aim/number_scan.h"
#include "base/output.h"

namespace lx {

namespace {

constexpr int MAX_FILE_LAPS = MAX_LAPS - 1;
constexpr std::ptrdiff_t MAX_FIELD = TEXT_SIZE - 1; // a field with its ending character
constexpr int MAX_LAP_ROWS = INT_MAX / static_cast<int>(sizeof(float));

struct ReadContext {
    const char* filename;
    TraceOptions options;
    Session* s;
    LineReader lines;
    ReadOutcome* outcome; // null: not asked for
    ReadFailure failure;  // what a refusal was; the file's content unless said
};

// Notes a refusal other than of the file's content; false, for the caller to return.
bool refuse(ReadContext& ctx, ReadFailure kind) {
    ctx.failure = kind;
    return false;
}

bool is_lap_marker(std::string_view line) {
    return line.starts_with("Lap:");
}
bool is_lap_row(std::string_view line) {
    return is_lap_marker(line) && line.size() >= 6;
}
bool is_end_row(std::string_view line) {
    return is_lap_marker(line) && line.size() < 6;
}

// ---- titles -------------------------------------------------------------

struct Title {
    char name[TEXT_SIZE];
    int name_length;
    char unit[TEXT_SIZE];
    int unit_length;
    bool in_unit;
};

void trim_underscores(char* text, int& length) {
    while (length > 0 && text[length - 1] == '_') --length;
    text[length] = '\0';
}

// Adds a character to the name or unit; false when the name grows too long.
// Units are cut at 127 characters.
bool append_title_char(const Sink& out, Title& t, char c) {
    if (t.in_unit) {
        if (t.unit_length < TEXT_SIZE - 1) t.unit[t.unit_length++] = c;
        return true;
    }
    t.name[t.name_length++] = c;
    if (t.name_length < TEXT_SIZE) return true;
    emit(out, "Channel name too long!\n");
    return false;
}

bool finish_title(ReadContext& ctx, Title& t) {
    Session* s = ctx.s;
    if (s->nchannels == MAX_CHANNELS) {
        emit(ctx.options.sink, "Exceeded maximum number of channels!\n");
        return refuse(ctx, ReadFailure::limit);
    }
    trim_underscores(t.name, t.name_length);
    trim_underscores(t.unit, t.unit_length);
    Channel& channel = s->channels[s->nchannels++];
    std::memcpy(channel.name, t.name, t.name_length + 1);
    std::memcpy(channel.unit, t.unit, t.unit_length + 1);
    t = Title{};
    return true;
}

// Keeps a title as the row wrote it, when asked to.
bool keep_title(ReadContext& ctx, std::string_view written) {
    if (ctx.outcome == nullptr || !ctx.outcome->keep_titles) return true;
    try {
        ctx.outcome->titles.emplace_back(written);
        return true;
    } catch (const std::bad_alloc&) {
        emit(ctx.options.sink, "Could not allocate memory for the titles!\n");
        return refuse(ctx, ReadFailure::memory);
    }
}

bool read_titles(ReadContext& ctx, std::string_view row) {
    Title title{};
    std::size_t start = 0; // of the title's text in the row
    for (std::size_t i = 0; i < row.size(); ++i) {
        auto c = static_cast<signed char>(row[i]);
        if (c == '[') title.in_unit = true;
        if (c >= ' ' && c <= '/') c = '_';
        if (c < ' ') continue;
        if (c != '[' && c != ']' && !append_title_char(ctx.options.sink, title, c)) return false;
        bool ends = i + 1 == row.size() || row[i + 1] == '\t';
        if (!ends) continue;
        if (!finish_title(ctx, title) || !keep_title(ctx, row.substr(start, i + 1 - start)))
            return false;
        start = i + 1;
    }
    return true;
}

bool check_required_channels(const Session* s, const Sink& out) {
    if (std::strcmp(s->channels[1].name, "Time") != 0) {
        emit(out, "Channel 1 must be 'Time' - please export against Time/Distance\n");
        return false;
    }
    if (std::strcmp(s->channels[2].name, "Distance") != 0) {
        emit(out, "Channel 2 must be 'Distance' - please export against Time/Distance\n");
        return false;
    }
    return true;
}

bool read_title_row(ReadContext& ctx) {
    std::string_view row;
    if (!next_line(ctx.lines, row)) {
        emit(ctx.options.sink, "Read error on input file!\n");
        return refuse(ctx, ReadFailure::file);
    }
    if (ctx.options.verbose) emit(ctx.options.sink, "Reading channel information\n");
    Session* s = ctx.s;
    if (!read_titles(ctx, row)) return false;
    s->nfile_channels = s->nchannels;
    if (ctx.options.verbose)
        for (int c = 0; c < s->nchannels; ++c)
            emit(ctx.options.sink, "Channel %-2d : %-30s %-20s\n", c, s->channels[c].name,
                 s->channels[c].unit);
    return check_required_channels(s, ctx.options.sink);
}

// ---- first pass ---------------------------------------------------------

// The second number of the lap marker "Lap: a/b", or 0 when it cannot be read.
int lap_marker_number(std::string_view line) {
    const char* p = line.data() + 4;
    const char* end = p;
    while (end != line.data() + line.size() && !is_field_end(*end)) ++end;
    int first, second;
    if (!scan_int(p, end, &first, &p) || p == end || *p != '/') return 0;
    if (!scan_int(p + 1, end, &second)) return 0;
    return second;
}

// Echoes a trailer line as "%d %s %f" reads it.
void echo_trailer_line(const Sink& out, std::string_view line) {
    const char* p = line.data();
    const char* end = p + line.size();
    int number = 0;
    char word[TEXT_SIZE] = "";
    float value = 0.0f;
    if (scan_int(p, end, &number, &p)) {
        while (p != end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
        const char* word_start = p;
        while (p != end && !(*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
        if (p != word_start) {
            // Words longer than the echo shows are cut.
            std::size_t length = std::min<std::size_t>(p - word_start, TEXT_SIZE - 1);
            std::memcpy(word, word_start, length);
            word[length] = '\0';
            scan_float(p, end, &value);
        }
    }
    emit(out, "%d %s %f\n", number, word, static_cast<double>(value));
}

void print_lap_table(const Session* s, const Sink& out) {
    emit(out, "\n");
    emit(out, "%-10s%-10s%-10s%-10s\n", "Lap", "Orig", "Entries", "Laptime");
    emit(out, "%-10s%-10s%-10s%-10s\n", "---", "----", "-------", "-------");
    for (int l = 0; l < s->nlaps; ++l) {
        const Lap& lap = s->laps[l];
        emit(out, "%-10d%-10d%-10d%-10.3f\n", l, lap.number, lap.npoints,
             static_cast<double>(lap.laptime));
    }
}

// Counts the rows of every lap. Rows before the first lap row belong to no
// lap and are skipped, here and when the values are read.
bool count_lap_rows(ReadContext& ctx) {
    Session* s = ctx.s;
    if (ctx.options.verbose) emit(ctx.options.sink, "Scanning file for lap lengths\n");
    std::string_view line;
    while (next_line(ctx.lines, line) && !is_end_row(line)) {
        if (is_lap_row(line)) {
            if (s->nlaps == MAX_FILE_LAPS) {
                emit(ctx.options.sink, "Exceeded maximum number of laps!\n");
                return refuse(ctx, ReadFailure::limit);
            }
            s->laps[s->nlaps++].number = lap_marker_number(line);
        }
        if (line.size() < 2 || s->nlaps == 0) continue;
        Lap& lap = s->laps[s->nlaps - 1];
        if (lap.npoints == MAX_LAP_ROWS) {
            emit(ctx.options.sink, "Exceeded maximum number of rows in lap %d!\n", s->nlaps - 1);
            return refuse(ctx, ReadFailure::limit);
        }
        ++lap.npoints;
    }
    if (ctx.options.verbose) {
        while (next_line(ctx.lines, line)) echo_trailer_line(ctx.options.sink, line);
        print_lap_table(s, ctx.options.sink);
    }
    return true;
}

// ---- sample arrays ------------------------------------------------------

bool allocate_arrays(ReadContext& ctx) {
    Session* s = ctx.s;
    long long total = 0;
    for (int l = 0; l < s->nlaps; ++l) {
        Lap& lap = s->laps[l];
        std::size_t bytes = static_cast<std::size_t>(lap.npoints) * sizeof(float);
        for (int c = 0; c < s->nchannels; ++c) {
            lap.raw[c] = static_cast<float*>(alloc_zeroed(bytes));
            if (lap.raw[c] == nullptr) {
                emit(ctx.options.sink, "Could not allocate memory for channel!\n");
                emit(ctx.options.sink, "lap[%d].raw[%d], malloc(%d)", l, c,
                     static_cast<int>(bytes));
                return refuse(ctx, ReadFailure::memory);
            }
            total += static_cast<long long>(bytes);
        }
    }
    if (ctx.options.verbose)
        emit(ctx.options.sink, "\nAllocated %lld bytes for %d channels, %d laps\n", total,
             s->nchannels, s->nlaps);
    return true;
}

// ---- second pass --------------------------------------------------------

struct RowState {
    int lap;          // index of the current lap, -1 before the first lap row
    int row;          // row index within the lap
    int line_number;  // the title row is line 1
    float last_value; // what a field without a number repeats
};

bool field_too_long(const Sink& out, std::ptrdiff_t content_length, int line_number) {
    if (content_length < MAX_FIELD) return false;
    emit(out, "Value too long on line %d!\n", line_number);
    return true;
}

// The value of a field that scan_plain_decimal did not take, or false when
// the field gives none (a lap marker).
bool general_field_value(std::string_view field, float last, float* value) {
    if (field.starts_with("Lap:")) return false;
    if (field[0] == '_')
        *value = 0.0f;
    else if (!scan_float(field.data(), field.data() + field.size(), value))
        *value = last;
    return true;
}

// Stores the values of one lap row or data row; returns how many it gave, or
// -1 after printing why the row was refused.
int read_row_values(Session* s, const Sink& out, std::string_view line, RowState& st) {
    float* const* raw = s->laps[st.lap].raw;
    const int nchannels = s->nchannels, row = st.row;
    float last = st.last_value;
    const char* p = line.data();
    const char* end = p + line.size();
    int count = 0;
    while (p != end) {
        if (is_field_end(*p)) { // an empty field
            ++p;
            continue;
        }
        float value;
        const char* field_end;
        if (!scan_plain_decimal(p, end, &value, &field_end)) {
            field_end = std::find_if(p, end, is_field_end);
            if (field_end == end) break; // a field without its ending character is lost
            if (!general_field_value(std::string_view(p, field_end - p), last, &value)) {
                p = field_end + 1;
                continue;
            }
        }
        if (field_too_long(out, field_end - p, st.line_number)) return -1;
        if (count == nchannels) {
            emit(out, "Too many values on line!\n");
            return -1;
        }
        raw[count++][row] = last = value;
        p = field_end + 1;
    }
    st.last_value = last;
    return count;
}

bool read_line_values(ReadContext& ctx, std::string_view line, RowState& st) {
    Session* s = ctx.s;
    if (is_lap_row(line)) {
        st.lap += 1;
        st.row = 0;
        if (st.lap >= s->nlaps) {
            emit(ctx.options.sink, "Mismatch in number of laps!\n");
            return false;
        }
        if (ctx.options.quiet == 0)
            emit(ctx.options.sink, "\rReading %s - Lap %d", ctx.filename, st.lap + 1);
    }
    if (st.lap < 0) return true;
    if (st.row >= s->laps[st.lap].npoints) {
        // Only a file that changed between the two passes gets here.
        emit(ctx.options.sink, "Mismatch in number of rows in lap %d!\n", st.lap);
        return false;
    }
    int count = read_row_values(s, ctx.options.sink, line, st);
    if (count < 0) return false;
    if (count < s->nchannels) {
        emit(ctx.options.sink, "Incorrect number of values on line : Lap %d, pos = %d, line = %d\n",
             st.lap, st.row, st.line_number);
        emit(ctx.options.sink, ">%.*s< (%d)\n", static_cast<int>(line.size()), line.data(),
             static_cast<int>(line.size()));
        return false;
    }
    st.row += 1;
    return true;
}

bool read_values(ReadContext& ctx) {
    if (!rewind_lines(ctx.lines)) {
        emit(ctx.options.sink, "Error seeking in input file!\n");
        return refuse(ctx, ReadFailure::file);
    }
    std::string_view line;
    if (!next_line(ctx.lines, line)) {
        emit(ctx.options.sink, "Read error on input file!\n");
        return refuse(ctx, ReadFailure::file);
    }
    if (ctx.options.verbose) emit(ctx.options.sink, "Reading lap data\n");
    RowState st{-1, 0, 1, 0.0f};
    while (next_line(ctx.lines, line)) {
        st.line_number += 1;
        if (line.size() < 2) continue;
        if (is_end_row(line)) break;
        if (!read_line_values(ctx, line, st)) return false;
    }
    if (ctx.options.quiet == 0)
        emit(ctx.options.sink, "\rReading %s - done.               \n", ctx.filename);
    if (ctx.options.verbose)
        emit(ctx.options.sink, "Read %d lines from input file %s\n", st.line_number, ctx.filename);
    return true;
}

// ---- lap times ----------------------------------------------------------

// A lap of one row has no sample interval: its time is that of its row.
void set_lap_times(ReadContext& ctx) {
    Session* s = ctx.s;
    float total_time = 0.0f;
    long long total_samples = 0;
    for (int l = 0; l < s->nlaps; ++l) {
        Lap& lap = s->laps[l];
        const float* t = lap.raw[1];
        int n = lap.npoints;
        double last = t[n - 1];
        double interval = n > 1 ? last - static_cast<double>(t[n - 2]) : 0.0;
        lap.raw_laptime = static_cast<float>(last + interval);
        lap.laptime = lap.raw_laptime;
        total_time += lap.raw_laptime;
        total_samples += n;
        if (ctx.options.verbose)
            emit(ctx.options.sink, "Lap %d raw_laptime = %3.3f laptime = %3.3f\n", l,
                 static_cast<double>(lap.raw_laptime), static_cast<double>(lap.laptime));
    }
    s->sample_rate = total_time > 0.0f ? static_cast<float>(static_cast<double>(total_samples) /
                                                            static_cast<double>(total_time))
                                       : 0.0f;
}

bool open_input(ReadContext& ctx) {
    switch (open_lines(ctx.lines, ctx.filename)) {
    case OpenResult::ok:
        return true;
    case OpenResult::no_file:
        emit(ctx.options.sink, "Failed to open input file %s\n", ctx.filename);
        return refuse(ctx, ReadFailure::file);
    case OpenResult::no_memory:
        emit(ctx.options.sink, "Could not allocate memory for input buffer!\n");
        return refuse(ctx, ReadFailure::memory);
    }
    return false;
}

bool read_session(ReadContext& ctx) {
    copy_text(ctx.s->filename, ctx.filename);
    return open_input(ctx) && read_title_row(ctx) && count_lap_rows(ctx) && allocate_arrays(ctx) &&
           read_values(ctx);
}

Session* allocate_session(TraceOptions options) {
    errno = 0;
    Session* s = new_session();
    if (s == nullptr) {
        emit(options.sink, "Error allocating %d bytes for session structure! %d\n",
             static_cast<int>(sizeof(Session)), errno);
        return nullptr;
    }
    if (options.verbose)
        emit(options.sink, "Allocated %d bytes for session structure @ 0x%08x\n",
             static_cast<int>(sizeof(Session)), trace_address(s));
    return s;
}

} // namespace

Session* read_aim_export(const char* filename, TraceOptions options, ReadOutcome* outcome) {
    if (options.verbose) emit(options.sink, "Reading input file %s\n", filename);
    ReadContext ctx{filename,     options, allocate_session(options),
                    LineReader{}, outcome, ReadFailure::format};
    if (ctx.s == nullptr) ctx.failure = ReadFailure::memory;
    bool ok = ctx.s != nullptr && read_session(ctx);
    if (outcome != nullptr) outcome->failure = ok ? ReadFailure::none : ctx.failure;
    if (ctx.s == nullptr) return nullptr;
    close_lines(ctx.lines);
    if (!ok) {
        free_session(ctx.s);
        return nullptr;
    }
    set_lap_times(ctx);
    return ctx.s;
}

} // namespace lx
