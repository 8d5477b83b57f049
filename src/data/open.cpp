// Opening any file lx reads under a handle, and closing it, without printing.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "aim/aim.h"
#include "aim/line_reader.h"
#include "base/ascii.h"
#include "base/units.h"
#include "data/call.h"
#include "data/handles.h"
#include "data/options.h"
#include "data/titles.h"
#include "import/gps_line.h"
#include "import/import.h"
#include "import/vbo.h"
#include "session/record.h"

namespace lx::data {

namespace {

// The end row is "Lap:" and at most one character more; a lap row is longer.
constexpr std::size_t TEXT_EXPORT_END_ROW = 6;

// Frees a session that has no handle yet unless it is handed on.
struct SessionGuard {
    Session* s;
    ~SessionGuard() { free_session(s); }
    Session* release() { return std::exchange(s, nullptr); }
};

int read_status(ReadFailure why) {
    switch (why) {
    case ReadFailure::file:
        return LX_ERR_FILE;
    case ReadFailure::memory:
        return LX_ERR_MEMORY;
    case ReadFailure::limit:
        return LX_ERR_LIMIT;
    default:
        return LX_ERR_FORMAT;
    }
}

bool looks_like_csv(std::string_view first_line) {
    return first_line.find('\t') == std::string_view::npos &&
           first_line.find_first_of(",;") != std::string_view::npos;
}

// Why a file of no format lx knows is refused.
int refuse_unknown(const char* path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return fail(LX_ERR_FILE, "%s: is a folder, not a file", path);
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr)
        return fail(LX_ERR_FILE, "%s: cannot be opened: %s", path, std::strerror(errno));
    char bytes[4096];
    std::size_t n = std::fread(bytes, 1, sizeof bytes, f);
    bool read_error = std::ferror(f) != 0;
    std::fclose(f);
    if (read_error) return fail(LX_ERR_FILE, "%s: cannot be read", path);
    if (n == 0) return fail(LX_ERR_FORMAT, "%s: the file is empty", path);
    std::string_view text(bytes, n);
    if (!is_plain_text(text))
        return fail(LX_ERR_FORMAT,
                    "%s: not a file lx reads: binary content, neither a MoTeC LD nor an iRacing "
                    "telemetry file whose header fits its size",
                    path);
    if (looks_like_csv(text.substr(0, text.find('\n'))))
        return fail(LX_ERR_FORMAT,
                    "%s: this looks like a CSV export of a kind lx does not read; export the "
                    "session as AiM CSV, RaceChrono CSV (format 3), MoTeC CSV or the logger's "
                    "tab-separated text",
                    path);
    return fail(LX_ERR_FORMAT,
                "%s: not a file lx reads: its first line holds no tab-separated "
                "channel titles",
                path);
}

// "N<TAB>Laptime<TAB>seconds": the logger's time of lap N, when it is a
// whole number of milliseconds.
bool trailer_time(std::string_view line, int number, long long& ms) {
    constexpr double MAX_MS = 1e12;
    constexpr double WHOLE = 1e-6;                 // of a millisecond: what printing leaves
    constexpr std::string_view BLANKS = " \t\r\n"; // lines keep their ending
    std::vector<std::string_view> words;
    while (!line.empty()) {
        std::size_t start = line.find_first_not_of(BLANKS);
        if (start == std::string_view::npos) break;
        line.remove_prefix(start);
        std::size_t end = std::min(line.find_first_of(BLANKS), line.size());
        words.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
    int n = 0;
    double seconds = 0.0;
    if (words.size() != 3 || words[1] != "Laptime") return false;
    auto [n_end, n_error] = std::from_chars(words[0].data(), words[0].data() + words[0].size(), n);
    auto [t_end, t_error] =
        std::from_chars(words[2].data(), words[2].data() + words[2].size(), seconds);
    if (n_error != std::errc() || t_error != std::errc() || n != number) return false;
    if (n_end != words[0].data() + words[0].size() || t_end != words[2].data() + words[2].size())
        return false;
    double whole = std::round(seconds * MS_PER_SECOND);
    if (!(whole >= 0.0 && whole < MAX_MS) || std::fabs(seconds * MS_PER_SECOND - whole) > WHOLE)
        return false;
    ms = static_cast<long long>(whole);
    return true;
}

// The logger's lap times from the lines after the end row, one a lap in
// order; -1 for a lap whose line is missing or gives no whole milliseconds.
std::vector<long long> trailer_lap_times(LineReader& lines, const Session* s) {
    std::vector<long long> ms(static_cast<std::size_t>(s->nlaps), -1);
    std::string_view line;
    bool ended = false;
    std::size_t lap = 0;
    while (lap < ms.size() && next_line(lines, line)) {
        if (!ended) {
            ended = line.starts_with("Lap:") && line.size() < TEXT_EXPORT_END_ROW;
            continue;
        }
        if (line.find("Laptime") == std::string_view::npos) continue;
        trailer_time(line, s->laps[lap].number, ms[lap]);
        ++lap;
    }
    return ms;
}

// The logger's lap times, in the lines after the samples that the reader
// leaves unread.
int read_trailer(const char* path, Session* s) {
    LineReader lines;
    switch (open_lines(lines, path)) {
    case OpenResult::ok:
        break;
    case OpenResult::no_file:
        return fail(LX_ERR_FILE, "%s: cannot be opened again to read its lap times", path);
    case OpenResult::no_memory:
        return fail(LX_ERR_MEMORY, "%s: no memory to read its lap times", path);
    }
    std::string_view title_row;
    bool ok = next_line(lines, title_row);
    if (ok) s->record->logger_ms = trailer_lap_times(lines, s);
    close_lines(lines);
    if (!ok) return fail(LX_ERR_FILE, "%s: cannot be read again for its lap times", path);
    return LX_OK;
}

// The session and each channel's title as the title row wrote it.
int read_text_export(const char* path, Session*& opened, std::vector<std::string>& titles) {
    KeptLines refusal;
    ReadOutcome outcome;
    outcome.keep_titles = true;
    opened = read_aim_export(path, refusal.silent(), &outcome);
    if (opened == nullptr)
        return fail(read_status(outcome.failure), "%s: %s", path, refusal.joined().c_str());
    titles = std::move(outcome.titles);
    return LX_OK;
}

int open_text_export(const char* path, const ImportOptions& options, Session*& opened) {
    Session* read = nullptr;
    std::vector<std::string> titles;
    if (int status = read_text_export(path, read, titles); status != LX_OK) return status;
    SessionGuard guard{read};
    read->record = new SessionRecord;
    read->record->format = "text export";
    read->record->titles = written_titles(titles);
    if (int status = read_trailer(path, read); status != LX_OK) return status;
    if (int status = apply_options(read, options); status != LX_OK) return status;
    opened = guard.release();
    return LX_OK;
}

ImportResult import_file(const char* path, FileFormat format, const ImportOptions& options) {
    switch (format) {
    case FileFormat::ld:
        return import_ld(path, options);
    case FileFormat::ibt:
        return import_ibt(path, options);
    case FileFormat::vbo:
        return import_vbo(path, options);
    default:
        return import_csv(path, format, options);
    }
}

int open_csv(const char* path, FileFormat format, const ImportOptions& options, Session*& opened) {
    ImportResult result = import_file(path, format, options);
    int status = result.status < 0 ? result.status : LX_ERR_FORMAT;
    if (result.session == nullptr && result.message.empty())
        return fail(status, "%s: refused by its reader", path);
    if (result.session == nullptr) return fail_with(status, result.message);
    opened = result.session;
    return LX_OK;
}

// A track that misses the line, or has too little of it, has no laps there.
int cut_status(LineCutFailure why) {
    switch (why) {
    case LineCutFailure::no_positions:
        return LX_ERR_CHANNEL;
    case LineCutFailure::too_many_laps:
        return LX_ERR_LIMIT;
    case LineCutFailure::memory:
        return LX_ERR_MEMORY;
    default:
        return LX_ERR_LAP;
    }
}

// The session cut into laps at the option's line, then its window of laps.
int cut_at_start_line(Session*& s, const ImportOptions& options) {
    SessionGuard whole{s};
    s = nullptr;
    std::string message;
    LineCutFailure why = LineCutFailure::none;
    Session* cut = cut_at_line(*whole.s, options.start_line, message, &why);
    if (cut == nullptr) return fail_with(cut_status(why), message);
    SessionGuard guard{cut};
    ImportOptions window;
    window.first_lap = options.first_lap;
    window.last_lap = options.last_lap;
    if (int status = apply_options(cut, window); status != LX_OK) return status;
    s = guard.release();
    return LX_OK;
}

int store(const char* path, Session* s) {
    SessionGuard guard{s};
    int handle = add_data_session(s);
    if (handle == 0)
        return fail(LX_ERR_LIMIT, "%s: no session handle is left in this process", path);
    guard.release();
    return handle;
}

int open_file(const char* path, const lx_open_options* given) {
    if (path == nullptr) return fail(LX_ERR_ARGUMENT, "lx_open: the path is null");
    ImportOptions options;
    if (int status = read_options(given, options); status != LX_OK) return status;
    FileFormat format = sniff_format(path);
    ImportOptions reading = options;
    if (options.cut_at_line) reading.first_lap = reading.last_lap = 0; // the window counts cut laps
    Session* s = nullptr;
    int status = format == FileFormat::unknown       ? refuse_unknown(path)
                 : format == FileFormat::text_export ? open_text_export(path, reading, s)
                                                     : open_csv(path, format, reading, s);
    if (status == LX_OK && options.cut_at_line) status = cut_at_start_line(s, options);
    if (status != LX_OK) return status;
    return store(path, s);
}

} // namespace

} // namespace lx::data

using namespace lx;
using namespace lx::data;

extern "C" {

LX_DATA_API int lx_open(const char* path, const lx_open_options* options) {
    return api_call([&] { return open_file(path, options); });
}

LX_DATA_API int lx_close(int handle) {
    return api_call([&] {
        if (find_session(handle) == nullptr) return static_cast<int>(LX_ERR_HANDLE);
        free_session(remove_data_session(handle));
        return static_cast<int>(LX_OK);
    });
}

} // extern "C"
