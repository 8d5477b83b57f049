#include "tool.h"

#include <CLI/CLI.hpp>

#include "commands.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace lxtool {

void refuse(const std::string& message) {
    throw Failure{EXIT_REFUSED, message};
}
void usage_error(const std::string& message) {
    throw Failure{EXIT_USAGE, message};
}
void note(const std::string& message) {
    std::fflush(out);
    std::fprintf(stderr, "lx: note: %s\n", message.c_str());
}
void warn(const std::string& message) {
    std::fflush(out);
    std::fprintf(stderr, "lx: warning: %s\n", message.c_str());
}

// ---- output and the library's messages -------------------------------------

std::FILE* out = stdout;

namespace {
bool explain = false;
std::map<int, std::string> session_names; // open sessions by handle, for messages
} // namespace

bool verbose() {
    return explain;
}

std::string library_message() {
    std::string text = lx_last_error();
    static const std::pair<const char*, const char*> words[] = {
        {R"(session \d+, option speed)", "--speed"},
        {R"(session \d+, option lateral)", "--lat"},
        {R"(session \d+, option longitudinal)", "--long"},
        {R"(the speed option)", "--speed"},
        {R"(the lateral option)", "--lat"},
        {R"(the longitudinal option)", "--long"},
        {R"(give speed_units \(km/h or mph\))", "give --units kmh or --units mph"},
        {R"(\blx_[a-z_]+: )", ""},
        {R"( ?\(lx_[a-z_]+\))", ""},
    };
    for (const auto& [pattern, replacement] : words)
        text = std::regex_replace(text, std::regex(pattern), replacement);
    for (const auto& [handle, name] : session_names)
        text =
            std::regex_replace(text, std::regex("session " + std::to_string(handle) + "\\b"), name);
    return text;
}

void row(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::string line = text;
    line.erase(line.find_last_not_of(' ') + 1);
    std::fprintf(out, "%s\n", line.c_str());
}

void set_verbose(bool on) {
    explain = on;
}

void library_refused(const std::string& what) {
    std::string message = library_message();
    refuse(what + (message.empty() ? "" : ": " + message));
}

// ---- sessions --------------------------------------------------------------

namespace {

lx_open_options open_options{};
std::string channel_list, start_line;

// FIRST-LAST, FIRST- or -LAST, counting from 1; a missing end is open.
std::string read_lap_window(const std::string& text) {
    std::size_t dash = text.find('-');
    std::string first = text.substr(0, dash),
                last = dash == std::string::npos ? first : text.substr(dash + 1);
    int a = 0, b = 0;
    bool ok = (first.empty() || (CLI::detail::lexical_cast(first, a) && a >= 1)) &&
              (last.empty() || (CLI::detail::lexical_cast(last, b) && b >= 1)) &&
              !(first.empty() && last.empty()) && (b == 0 || a <= b);
    if (!ok)
        return "'" + text +
               "' is no window of laps: give FIRST-LAST, from 1, e.g. 3-7 (3- to the last lap)";
    open_options.first_lap = a;
    open_options.last_lap = b;
    return "";
}

} // namespace

void add_open_options(CLI::App* command) {
    command
        ->add_option("--rate", open_options.rate,
                     "samples per second for a CSV file (default: its GPS rate)")
        ->check(within(0.1, 1000))
        ->group("Opening");
    command
        ->add_option("--channels", channel_list,
                     "keep only these of the file's channels, by title, comma-separated "
                     "(Sample, Time and Distance are always kept)")
        ->group("Opening");
    command
        ->add_option_function<std::string>(
            "--laps", [](const std::string&) {},
            "keep only the file's laps FIRST-LAST (from 1; 5- is lap 5 to the last)")
        ->check(
            CLI::Validator([](std::string& text) { return read_lap_window(text); }, "FIRST-LAST"))
        ->group("Opening");
    command
        ->add_option("--start-line", start_line,
                     "cut a session with positions into laps where its track crosses the line "
                     "LAT,LON,LAT,LON (its ends, in degrees)")
        ->group("Opening");
}

namespace {

// A first line with commas and no tab: a CSV export of some program.
void check_readable(const std::string& path) {
    std::error_code error;
    fs::file_status status = fs::status(path, error);
    if (!fs::exists(status)) refuse("cannot read " + path + ": no such file");
    if (fs::is_directory(status)) refuse(path + " is a folder; give a session file in it");
    if (!std::ifstream(path)) refuse("cannot read " + path + ": " + std::strerror(errno));
    if (fs::is_regular_file(status) && fs::file_size(path, error) == 0)
        refuse(path + " is empty: no session in it");
}

} // namespace

Session Session::open(const std::string& path) {
    check_readable(path);
    open_options.channels = channel_list.c_str();
    open_options.start_line = start_line.c_str();
    int handle = lx_open(path.c_str(), &open_options);
    if (handle > 0) return adopt(handle, path);
    // The library names the kind of file: one it reads refused for its
    // content is never called a CSV export of a kind it does not read.
    std::string why = library_message();
    refuse(why.empty() ? "cannot read " + path : why);
}

Session Session::adopt(int handle, std::string source) {
    session_names[handle] = source;
    return Session(handle, std::move(source));
}

Session::~Session() {
    if (handle_ <= 0) return;
    session_names.erase(handle_);
    lx_close(handle_);
}

std::vector<std::string> Session::notes() const {
    constexpr int LONGEST_NOTE = 1 << 16; // a list of every channel left out fits
    std::vector<std::string> notes;
    std::vector<char> text(LONGEST_NOTE);
    int count = lx_session_note(handle_, 0, nullptr, 0);
    for (int k = 0; k < count; ++k)
        if (lx_session_note(handle_, k, text.data(), LONGEST_NOTE) >= 0)
            notes.emplace_back(text.data());
    return notes;
}

void print_notes(const Session& s) {
    for (const std::string& text : s.notes()) note(text);
}

int Session::laps() const {
    return info().laps;
}
int Session::channels() const {
    return info().channels;
}

lx_session_info Session::info() const {
    lx_session_info info{};
    if (lx_session_info_get(handle_, &info) < 0) library_refused("no facts about " + source);
    return info;
}

int lap_index(const Session& s, int lap_number, const char* option) {
    int n = s.laps();
    if (n == 0) refuse(s.source + " has no laps");
    for (int lap = 0; lap < n; ++lap)
        if (lap_info(s, lap).number == lap_number) return lap;
    int first = lap_info(s, 0).number, last = lap_info(s, n - 1).number;
    refuse(std::string(option) + " " + std::to_string(lap_number) + ": " + s.source +
           (n == 1 ? " has lap " + std::to_string(first) + " only"
                   : " has laps " + std::to_string(first) + " to " + std::to_string(last)));
}

lx_lap_info lap_info(const Session& s, int lap) {
    lx_lap_info info{};
    if (lx_lap_info_get(s.handle(), lap, &info) < 0)
        refuse("no lap " + std::to_string(lap + 1) + " in " + s.source + ": " + library_message());
    return info;
}

std::string lap_name(const lx_lap_info& lap) {
    std::string name = std::to_string(lap.number);
    if (lap.logger_lap != lap.number) name += " (logger " + std::to_string(lap.logger_lap) + ")";
    return name;
}

std::string laptime_text(double seconds) {
    // As the library writes lap times, so both read alike.
    int minutes = std::fabs(seconds / 60) < 2147483647.0 ? int(seconds / 60) : 0;
    char text[64];
    std::snprintf(text, sizeof text, "%d:%06.3f", minutes, seconds - minutes * 60.0);
    return text;
}

std::string origin_text(const lx_lap_info& lap) {
    if (lap.origin_lap == 0) return "";
    std::string text = "from lap " + std::to_string(lap.origin_lap);
    if (lap.origin_offset == 0) return text;
    char where[96];
    std::snprintf(where, sizeof where, ", ends at a match %.1f m %s the beacon beside it",
                  std::fabs(lap.origin_offset), lap.origin_offset > 0 ? "before" : "after");
    return text + where;
}

int lap_width(const Session& s) {
    std::size_t width = 3;
    for (int lap = 0; lap < s.laps(); ++lap)
        width = std::max(width, lap_name(lap_info(s, lap)).size());
    return int(width);
}

std::string count_of(std::size_t n, const char* noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string signed_seconds(double seconds) {
    if (!std::isfinite(seconds)) return "";
    // Whole milliseconds first, so that nothing reads "-0.000".
    long long ms = std::llround(seconds * 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%c%lld.%03lld", ms < 0 ? '-' : '+', std::llabs(ms) / 1000,
                  std::llabs(ms) % 1000);
    return text;
}

std::string rate_text(const lx_session_info& info) {
    constexpr double SAME_RATE = 0.001;
    double rate = info.sample_rate, stated = info.stated_rate;
    char text[64];
    if (stated > 0 && std::fabs(rate - stated) <= SAME_RATE * stated)
        std::snprintf(text, sizeof text, "%g", stated);
    else
        std::snprintf(text, sizeof text, "%.4g", rate);
    return text;
}

lx_channel_info channel_info(const Session& s, int channel) {
    lx_channel_info info{};
    if (lx_channel_info_get(s.handle(), channel, &info) < 0)
        refuse("no channel " + std::to_string(channel) + " in " + s.source + ": " +
               library_message());
    return info;
}

std::string channel_name(const Session& s, int channel) {
    return channel_info(s, channel).name;
}

std::string channel_title(const Session& s, int channel) {
    return channel_info(s, channel).title;
}

int find_channel(const Session& s, const std::string& name, const char* option) {
    int c = lx_find_channel(s.handle(), name.c_str());
    if (c < 0) refuse(std::string(option) + " '" + name + "': " + library_message());
    return c;
}

int try_find_channel(const Session& s, const std::string& name) {
    return lx_find_channel(s.handle(), name.c_str());
}

int derived_channel(const Session& s, lx_derived_channel id) {
    return std::max(lx_derived_channel_number(s.handle(), id), 0);
}

std::vector<float> lap_samples(const Session& s, int lap, int channel) {
    int n = lx_lap_samples(s.handle(), lap, channel, nullptr, 0);
    if (n < 0) library_refused("no samples of channel " + std::to_string(channel));
    std::vector<float> values(static_cast<std::size_t>(n));
    lx_lap_samples(s.handle(), lap, channel, values.data(), n);
    return values;
}

const char* class_name(int lap_class) {
    switch (lap_class) {
    case LX_LAP_OUT:
        return "out-lap";
    case LX_LAP_IN:
        return "in-lap";
    case LX_LAP_PARTIAL:
        return "partial";
    case LX_LAP_DOUBLE:
        return "double: a beacon missed";
    default:
        return "";
    }
}

const char* class_key(int lap_class) {
    switch (lap_class) {
    case LX_LAP_FULL:
        return "full";
    case LX_LAP_OUT:
        return "out";
    case LX_LAP_IN:
        return "in";
    case LX_LAP_PARTIAL:
        return "partial";
    case LX_LAP_DOUBLE:
        return "double";
    default:
        return "unknown";
    }
}

void check_writable(const std::string& path) {
    std::error_code error;
    bool existed = fs::exists(path, error);
    std::ofstream f(path, std::ios::binary | std::ios::app);
    if (!f) refuse("cannot write " + path + ": " + std::strerror(errno));
    f.close();
    if (!existed) fs::remove(path, error); // nothing left behind if the command fails later
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    if (!f) refuse("cannot write " + path + ": " + std::strerror(errno));
    f << text;
    f.close();
    if (!f) refuse("cannot write " + path + ": " + std::strerror(errno));
}

} // namespace lxtool
