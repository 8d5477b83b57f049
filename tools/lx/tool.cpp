#include "tool.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace lxtool {

void refuse(const std::string& message) {
    throw Failure{EXIT_REFUSED, message, library_lines()};
}
void usage_error(const std::string& message) {
    throw Failure{EXIT_USAGE, message, library_lines()};
}

// ---- output ----------------------------------------------------------------

std::FILE* out = stdout;

namespace {

std::FILE* library_log = nullptr;
long library_log_read = 0;
bool echo_library_lines = false;
fs::path temp_folder;

} // namespace

void start_output(bool echo_library) {
    echo_library_lines = echo_library;
    std::fflush(stdout);
    int tool_fd = dup(STDOUT_FILENO);
    library_log = std::tmpfile();
    if (tool_fd < 0 || library_log == nullptr) return; // the library then shares our stdout
    out = fdopen(tool_fd, "w");
    dup2(fileno(library_log), STDOUT_FILENO);
}

std::string library_lines() {
    if (library_log == nullptr) return {};
    std::fflush(stdout);
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = pread(fileno(library_log), buffer, sizeof buffer, library_log_read)) > 0) {
        text.append(buffer, std::size_t(got));
        library_log_read += got;
    }
    if (echo_library_lines && !text.empty()) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            std::fprintf(stderr, "library: %s\n", line.c_str());
    }
    return text;
}

void finish_output() {
    library_lines();
    std::fflush(out);
    if (!temp_folder.empty()) {
        std::error_code ignored;
        fs::remove_all(temp_folder, ignored);
        temp_folder.clear();
    }
}

std::string temp_file(const std::string& name) {
    if (temp_folder.empty()) {
        std::string pattern = (fs::temp_directory_path() / "lx-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) refuse("cannot create a temporary folder");
        temp_folder = pattern;
    }
    return (temp_folder / name).string();
}

// ---- sessions --------------------------------------------------------------

Session Session::open(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) refuse("cannot read " + path + ": no such file");
    if (!std::ifstream(path)) refuse("cannot read " + path);
    int handle = lx_open_aim_xls(path.c_str());
    if (handle == 0)
        refuse("the library could not read " + path +
               "; it expects a tab-separated lap export whose second and third columns are "
               "Time and Distance");
    Session s(handle);
    s.source = path;
    return s;
}

Session::~Session() {
    if (handle_ > 0) lx_free_session(handle_);
}

int Session::laps() const {
    return lx_num_laps(handle_);
}
int Session::channels() const {
    return lx_num_channels(handle_);
}

int lap_index(const Session& s, int lap_number, const char* option) {
    int n = s.laps();
    if (n == 0) refuse(s.source + " has no laps");
    if (lap_number < 1 || lap_number > n)
        usage_error(std::string(option) + " " + std::to_string(lap_number) +
                    " does not exist: " + s.source + " has laps 1 to " + std::to_string(n));
    return lap_number - 1;
}

LapText lap_text(const Session& s, int lap, int unit, int which) {
    const char* text = lx_laptime_text(s.handle(), lap, which, unit);
    if (text == nullptr) refuse("the library has no lap " + std::to_string(lap + 1));
    std::string t = text;
    LapText result;
    std::size_t dash = t.find(" - ");
    if (dash == std::string::npos) return {"", t, ""};
    result.label = t.substr(0, dash);
    if (result.label.rfind("Lap ", 0) == 0) result.label.erase(0, 4);
    std::string rest = t.substr(dash + 3);
    std::size_t space = rest.find(" (");
    result.time = rest.substr(0, space);
    if (space != std::string::npos && rest.back() == ')')
        result.note = rest.substr(space + 2, rest.size() - space - 3);
    return result;
}

double seconds_of(const std::string& laptime) {
    std::size_t colon = laptime.find(':');
    if (colon == std::string::npos) return std::strtod(laptime.c_str(), nullptr);
    double minutes = std::strtod(laptime.substr(0, colon).c_str(), nullptr);
    return minutes * 60 + std::strtod(laptime.c_str() + colon + 1, nullptr);
}

std::string channel_name(const Session& s, int channel) {
    const char* name = lx_channel_name(s.handle(), channel);
    return name ? name : "";
}

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

} // namespace

int find_channel(const Session& s, const std::string& name) {
    std::string wanted = lower(name);
    for (int c = 0; c < s.channels(); ++c)
        if (lower(channel_name(s, c)) == wanted) return c;
    return -1;
}

// ---- session math ----------------------------------------------------------

void add_math_options(CLI::App* command, MathOptions& options) {
    command->add_option("--speed", options.speed, "speed channel (default: found by name)")
        ->group("Channels");
    command->add_option("--lat", options.lateral, "lateral acceleration channel, in g")
        ->group("Channels");
    command
        ->add_option("--long", options.longitudinal,
                     "longitudinal acceleration channel in g, or 'none' to derive it from speed")
        ->group("Channels");
    command->add_option("--units", options.units, "unit of the speed channel")
        ->check(CLI::IsMember({"auto", "kmh", "mph"}))
        ->capture_default_str()
        ->group("Channels");
    command->add_flag("--invert-lat", options.invert_lat, "negate lateral acceleration")
        ->group("Channels");
    command->add_flag("--invert-long", options.invert_long, "negate longitudinal acceleration")
        ->group("Channels");
}

namespace {

using Test = bool (*)(const std::string&);

// The channel named on the command line, or the first whose name fits:
// first a usual name exactly, then any name that passes the test.
int pick_channel(const Session& s, const std::string& given,
                 std::initializer_list<const char*> usual, Test fits) {
    if (!given.empty()) {
        int c = find_channel(s, given);
        if (c < 0) refuse(s.source + " has no channel named '" + given + "' (see lx info)");
        return c;
    }
    for (const char* name : usual)
        if (int c = find_channel(s, name); c > 0) return c;
    for (int c = 1; c < s.channels(); ++c) {
        std::string name = lower(channel_name(s, c));
        if (name.rfind("i_", 0) != 0 && fits(name)) return c;
    }
    return -1;
}

[[noreturn]] void none_fits(const Session& s, const char* what, const char* option) {
    std::string names;
    for (int c = 0; c < s.channels(); ++c) names += (c ? ", " : "") + channel_name(s, c);
    refuse(std::string("no ") + what + " channel found in " + s.source + " (channels: " + names +
           "); name one with " + option);
}

int speed_units_of(const Session& s, int speed, const MathOptions& options) {
    if (options.units == "kmh") return 1;
    if (options.units == "mph") return 0;
    LapSamples lap0 = read_lap(s, 0);
    if (speed < 1 || std::size_t(speed) > lap0.units.size())
        refuse("cannot tell the unit of speed channel '" + channel_name(s, speed) +
               "'; give --units kmh or --units mph");
    std::string unit = lower(lap0.units.at(std::size_t(speed - 1)));
    if (contains(unit, "km") || unit == "kph") return 1;
    if (contains(unit, "mph") || contains(unit, "mile")) return 0;
    refuse("cannot tell the unit of speed channel '" + channel_name(s, speed) + "' (unit '" + unit +
           "'); give --units kmh or --units mph");
}

} // namespace

MathChannels choose_math_channels(const Session& s, const MathOptions& options) {
    if (s.laps() == 0) refuse(s.source + " has no laps");
    MathChannels m{};
    m.speed = pick_channel(
        s, options.speed,
        {"Speed", "GPS_Speed", "Vehicle_Speed", "Wheel_Speed", "Ground_Speed", "Velocity"},
        [](const std::string& n) {
            return contains(n, "speed") && !contains(n, "engine") && !contains(n, "rpm") &&
                   !contains(n, "accuracy") && !contains(n, "shaft") && !contains(n, "wind");
        });
    if (m.speed < 0) none_fits(s, "speed", "--speed");
    m.lateral = pick_channel(
        s, options.lateral,
        {"LatAcc", "Lateral", "Lat_Acc", "Lateral_Acc", "LateralAcc", "GPS_LatAcc", "Lat_G",
         "G_Lat", "LatG", "Lateral_G"},
        [](const std::string& n) { return contains(n, "lat") && !contains(n, "latitude"); });
    if (m.lateral < 0) none_fits(s, "lateral acceleration", "--lat");
    if (lower(options.longitudinal) == "none") {
        m.longitudinal = 0;
    } else {
        m.longitudinal = pick_channel(
            s, options.longitudinal,
            {"LonAcc", "LongAcc", "Longitudinal", "Long_Acc", "Lon_Acc", "Longitudinal_Acc",
             "InlineAcc", "GPS_LonAcc", "Long_G", "G_Long", "LonG"},
            [](const std::string& n) {
                return (contains(n, "lon") || contains(n, "inline")) && !contains(n, "longitude");
            });
        m.longitudinal = std::max(m.longitudinal, 0); // none found: derived from speed
    }
    m.speed_units = speed_units_of(s, m.speed, options);
    return m;
}

MathChannels compute_math(const Session& s, const MathOptions& options) {
    MathChannels m = choose_math_channels(s, options);
    if (lx_channel_number(s.handle(), 1) == 0 && !lx_session_setup(s.handle()))
        refuse("the library could not add the derived channels to " + s.source);
    if (!lx_compute_session_math(s.handle(), m.speed, m.lateral, m.speed_units, options.invert_lat,
                                 m.longitudinal, options.invert_long))
        refuse("the library could not compute speed, distance and curvature for " + s.source);
    return m;
}

std::vector<bool> whole_laps(const Session& s) {
    std::vector<double> lengths;
    for (int lap = 0; lap < s.laps(); ++lap) lengths.push_back(lx_lap_length(s.handle(), lap));
    std::vector<double> sorted = lengths;
    std::sort(sorted.begin(), sorted.end());
    double median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
    std::vector<bool> whole;
    for (double length : lengths) whole.push_back(length > 0 && length >= 0.9 * median);
    return whole;
}

int fastest_lap(const Session& s) {
    std::vector<bool> whole = whole_laps(s);
    int best = -1;
    double best_time = 0;
    for (int lap = 0; lap < s.laps(); ++lap) {
        double t = seconds_of(lap_text(s, lap).time);
        if (whole[std::size_t(lap)] && t > 0 && (best < 0 || t < best_time)) {
            best = lap;
            best_time = t;
        }
    }
    return best;
}

// ---- samples ---------------------------------------------------------------

namespace {

std::vector<std::string> split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = line.find(separator, start)) != std::string::npos; start = end + 1)
        fields.push_back(line.substr(start, end - start));
    if (start < line.size()) fields.push_back(line.substr(start));
    return fields;
}

std::vector<std::string> lines_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

constexpr std::size_t NAME_ROW = 13, UNIT_ROW = 14, FIRST_DATA_ROW = 17;

} // namespace

const std::vector<double>& LapSamples::channel(int c) const {
    if (c < 1 || std::size_t(c) > columns.size())
        refuse("channel " + std::to_string(c) + " is not in the lap's samples");
    return columns[std::size_t(c - 1)];
}

LapSamples read_lap(const Session& s, int lap) {
    std::string path = temp_file("lap.csv");
    if (!lx_write_lap_motec(s.handle(), lap, path.c_str()))
        refuse("the library could not write lap " + std::to_string(lap + 1) + " of " + s.source);
    std::vector<std::string> lines = lines_of(path);
    if (lines.size() < FIRST_DATA_ROW) refuse("the library wrote a truncated lap file");
    LapSamples result;
    result.names = split(lines[NAME_ROW], ',');
    result.units = split(lines[UNIT_ROW], ',');
    result.units.resize(result.names.size());
    result.columns.resize(result.names.size());
    std::vector<std::string> rate = split(lines[8], ',');
    if (rate.size() == 2) result.sample_rate = std::strtod(rate[1].c_str(), nullptr);
    for (std::size_t row = FIRST_DATA_ROW; row < lines.size(); ++row) {
        std::vector<std::string> fields = split(lines[row], ',');
        for (std::size_t c = 0; c < result.columns.size(); ++c)
            result.columns[c].push_back(c < fields.size() ? std::strtod(fields[c].c_str(), nullptr)
                                                          : 0.0);
        ++result.npoints;
    }
    return result;
}

std::vector<double> speed_ms(const LapSamples& lap, int speed_channel) {
    std::vector<double> v = lap.channel(speed_channel);
    for (double& x : v) x *= 0.44704; // written in miles per hour
    return v;
}

} // namespace lxtool
