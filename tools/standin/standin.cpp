// Stands in for the front-end: loads the library by name at run time, finds
// every export by its plain name, calls them through __stdcall pointers in
// the front-end's order on sessions it writes itself, and prints every result
// so that two platforms' runs can be compared line by line.
//
// Usage: lx_standin [library]   (run in a scratch folder: files go there)
// Lines that start with "map " hold values that went through sin, cos or asin.

#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gen.h"
#include "lx.h" // the argument values only: the exports are found by name

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define LX_CALL __stdcall
#else
#include <dlfcn.h>
#define LX_CALL
#endif

namespace {

// ---- the library's exports, as the front-end declares them ----------------

struct Api {
    int(LX_CALL* open_aim_xls)(const char*);
    void(LX_CALL* free_session)(int);
    int(LX_CALL* num_channels)(int);
    int(LX_CALL* num_laps)(int);
    const char*(LX_CALL* channel_name)(int, int);
    int(LX_CALL* channel_number)(int, int);
    float(LX_CALL* channel_max)(int, int);
    float(LX_CALL* channel_min)(int, int);
    float(LX_CALL* session_average)(int, int);
    float(LX_CALL* lap_length)(int, int);
    const char*(LX_CALL* laptime_text)(int, int, int, int);
    int(LX_CALL* session_setup)(int);
    int(LX_CALL* analysis_setup)(int);
    int(LX_CALL* beacon_setup)(int);
    int(LX_CALL* compute_session_math)(int, int, int, int, int, int, int);
    int(LX_CALL* calc_time_diff)(int, int, int, int);
    int(LX_CALL* compute_error_channel_step)(int, int, int, int);
    int(LX_CALL* locate_laps)(int, int, int);
    int(LX_CALL* new_session_from_beacons)(int, int, int, int, float);
    float(LX_CALL* get_beacon_shift)(int);
    int(LX_CALL* map_setup)(int);
    int(LX_CALL* scaled_map)(int, int*, int*, int, int, int, int, int, float, float);
    int(LX_CALL* scaled_chart_lap_dist)(int, int, int, float, float, int, int, int, int, int, float,
                                        int*, int*);
    int(LX_CALL* write_lap_motec)(int, int, const char*);
};

#if defined(_WIN32)
using Library = HMODULE;
const char* const DEFAULT_LIBRARY = "lx.dll";
Library load_library(const char* name) {
    return LoadLibraryA(name);
}
void* find_symbol(Library lib, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(lib, name));
}
#else
using Library = void*;
const char* const DEFAULT_LIBRARY = "liblx.so";
Library load_library(const char* name) {
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}
void* find_symbol(Library lib, const char* name) {
    return dlsym(lib, name);
}
#endif

int missing_exports = 0;

template <class Fn> void bind(Library lib, Fn& fn, const char* name) {
    void* symbol = find_symbol(lib, name);
    if (symbol == nullptr) {
        std::printf("missing export %s\n", name);
        ++missing_exports;
    }
    std::memcpy(&fn, &symbol, sizeof fn);
}

void bind_all(Library lib, Api& api) {
    bind(lib, api.open_aim_xls, "lx_open_aim_xls");
    bind(lib, api.free_session, "lx_free_session");
    bind(lib, api.num_channels, "lx_num_channels");
    bind(lib, api.num_laps, "lx_num_laps");
    bind(lib, api.channel_name, "lx_channel_name");
    bind(lib, api.channel_number, "lx_channel_number");
    bind(lib, api.channel_max, "lx_channel_max");
    bind(lib, api.channel_min, "lx_channel_min");
    bind(lib, api.session_average, "lx_session_average");
    bind(lib, api.lap_length, "lx_lap_length");
    bind(lib, api.laptime_text, "lx_laptime_text");
    bind(lib, api.session_setup, "lx_session_setup");
    bind(lib, api.analysis_setup, "lx_analysis_setup");
    bind(lib, api.beacon_setup, "lx_beacon_setup");
    bind(lib, api.compute_session_math, "lx_compute_session_math");
    bind(lib, api.calc_time_diff, "lx_calc_time_diff");
    bind(lib, api.compute_error_channel_step, "lx_compute_error_channel_step");
    bind(lib, api.locate_laps, "lx_locate_laps");
    bind(lib, api.new_session_from_beacons, "lx_new_session_from_beacons");
    bind(lib, api.get_beacon_shift, "lx_get_beacon_shift");
    bind(lib, api.map_setup, "lx_map_setup");
    bind(lib, api.scaled_map, "lx_scaled_map");
    bind(lib, api.scaled_chart_lap_dist, "lx_scaled_chart_lap_dist");
    bind(lib, api.write_lap_motec, "lx_write_lap_motec");
}

// ---- printing -------------------------------------------------------------

// Hexfloat, except that a NaN shows its bits: C libraries disagree on its sign.
std::string show(float value) {
    char text[64];
    if (std::isnan(value)) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        std::snprintf(text, sizeof text, "nan(0x%08" PRIx32 ")", bits);
    } else {
        std::snprintf(text, sizeof text, "%a", static_cast<double>(value));
    }
    return text;
}

std::string show(const char* text) {
    if (text == nullptr) return "(null)";
    std::int32_t length;
    std::memcpy(&length, text - 4, sizeof length);
    return "\"" + std::string(text) + "\" len " + std::to_string(length);
}

void print_ints(const char* tag, const std::vector<int>& x, const std::vector<int>& y, int count) {
    for (int p = 0; p < count; ++p) std::printf("%s[%d] %d %d\n", tag, p, x[p], y[p]);
}

// A file's bytes, one line of it per output line, CR and other controls escaped.
void print_file(const char* tag, const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        std::printf("%s: no file %s\n", tag, path);
        return;
    }
    std::string line;
    long bytes = 0;
    for (int c; (c = std::fgetc(f)) != EOF; ++bytes) {
        if (c == '\n') {
            std::printf("%s: %s\\n\n", tag, line.c_str());
            line.clear();
        } else if (c == '\r') {
            line += "\\r";
        } else if (c < 32 || c > 126) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            line += hex;
        } else {
            line += static_cast<char>(c);
        }
    }
    std::fclose(f);
    if (!line.empty()) std::printf("%s: %s (no line end)\n", tag, line.c_str());
    std::printf("%s: %ld bytes\n", tag, bytes);
}

// ---- generated sessions ---------------------------------------------------

void write_file(const char* path, const std::string& text) {
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

// The columns the front-end's users log most: speed, lateral and longitudinal g.
lxgen::TextLayout standin_layout(bool crlf) {
    lxgen::TextLayout layout;
    layout.index_title = "Idx";
    layout.crlf = crlf;
    layout.lap_time_trailer = false;
    layout.after_end = crlf ? "1 Best 0.000\r\n" : "1 Best 0.000\n";
    layout.skip = {"Engine RPM", "Water Temp"};
    return layout;
}

// A reference of out-lap, two timed laps and in-lap, speed in miles per hour;
// a working session whose beacon after the second timed lap was missed, with
// a lap held up in traffic and a stray lap marker in the middle of a lap,
// without longitudinal g.
void write_sessions() {
    lxgen::SessionPlan plan;
    plan.sample_rate = 10;
    plan.seed = 11;
    plan.flying_laps = 2;
    plan.missed_beacon_after = 0;
    plan.traffic_lap = 0;
    lxgen::TextLayout layout = standin_layout(false);
    layout.mph_title = "Speed [mph]";
    write_file("reference.txt", lxgen::write_text(lxgen::drive_session(plan), layout));

    plan.seed = 12;
    plan.flying_laps = 5;
    plan.missed_beacon_after = 2;
    plan.traffic_lap = 4;
    lxgen::Recording work = lxgen::drive_session(plan);
    work.split_lap_at(work.beacon_times[2] + 20.0);
    layout = standin_layout(true);
    layout.skip.push_back("Longitudinal Acc");
    write_file("work.txt", lxgen::write_text(work, layout));
}

// ---- the front-end's calling order ----------------------------------------

void describe_session(const Api& lx, int h, const char* tag) {
    int channels = lx.num_channels(h);
    int laps = lx.num_laps(h);
    std::printf("%s: channels %d laps %d\n", tag, channels, laps);
    int map_x = lx.channel_number(h, LX_CHANNEL_MAP_X);
    int map_y = lx.channel_number(h, LX_CHANNEL_MAP_Y);
    for (int c = 0; c < channels; ++c) {
        bool mapped = c != 0 && (c == map_x || c == map_y);
        std::printf("%s%s: channel %d %s max %s min %s\n", mapped ? "map " : "", tag, c,
                    show(lx.channel_name(h, c)).c_str(), show(lx.channel_max(h, c)).c_str(),
                    show(lx.channel_min(h, c)).c_str());
    }
    for (int id = LX_CHANNEL_DISTANCE - 1; id <= LX_CHANNEL_TIME_DIFF_RATE + 1; ++id)
        std::printf("%s: channel_number(%d) %d\n", tag, id, lx.channel_number(h, id));
    for (int lap = 0; lap < laps; ++lap) {
        std::printf("%s: lap %d length %s\n", tag, lap, show(lx.lap_length(h, lap)).c_str());
        for (int which = 0; which <= 1; ++which)
            for (int unit = LX_UNIT_FEET; unit <= LX_UNIT_METRES; ++unit)
                std::printf("%s: lap %d text(%d,%d) %s\n", tag, lap, which, unit,
                            show(lx.laptime_text(h, lap, which, unit)).c_str());
    }
    std::printf("%s: average %s\n", tag, show(lx.session_average(h, 7)).c_str());
}

void refusals(const Api& lx) {
    std::printf("open(null) %d\n", lx.open_aim_xls(nullptr));
    std::printf("open(missing) %d\n", lx.open_aim_xls("no-such-file.txt"));
    const int handles[] = {0, 11, -1, 2147483647, -2147483647 - 1};
    for (int h : handles) {
        std::printf("handle %d: channels %d laps %d name %s number %d max %s min %s\n", h,
                    lx.num_channels(h), lx.num_laps(h), show(lx.channel_name(h, 0)).c_str(),
                    lx.channel_number(h, LX_CHANNEL_DISTANCE), show(lx.channel_max(h, 0)).c_str(),
                    show(lx.channel_min(h, 0)).c_str());
        std::printf(
            "handle %d: length %s text %s setup %d %d %d math %d tdiff %d\n", h,
            show(lx.lap_length(h, 0)).c_str(), show(lx.laptime_text(h, 0, 0, LX_UNIT_FEET)).c_str(),
            lx.session_setup(h), lx.analysis_setup(h), lx.beacon_setup(h),
            lx.compute_session_math(h, 3, 4, LX_SPEED_KMH, 0, 0, 0), lx.calc_time_diff(h, 0, h, 0));
        std::printf("handle %d: step %d locate %d cut %d shift %s map_setup %d motec %d\n", h,
                    lx.compute_error_channel_step(1, h, 0, h), lx.locate_laps(h, 0, h),
                    lx.new_session_from_beacons(h, 0, h, LX_CUT_BEACON_SHIFT, 10.0f),
                    show(lx.get_beacon_shift(h)).c_str(), lx.map_setup(h),
                    lx.write_lap_motec(h, 0, "never.csv"));
        lx.free_session(h);
    }
}

void bad_arguments(const Api& lx, int h) {
    const int values[] = {-1, 1000, 2147483647, -2147483647 - 1};
    std::vector<int> x(16, -7), y(16, -7);
    for (int v : values) {
        std::printf("bad %d: name %s max %s length %s text %s\n", v,
                    show(lx.channel_name(h, v)).c_str(), show(lx.channel_max(h, v)).c_str(),
                    show(lx.lap_length(h, v)).c_str(),
                    show(lx.laptime_text(h, v, 0, LX_UNIT_METRES)).c_str());
        std::printf("bad %d: math %d tdiff %d locate %d motec %d\n", v,
                    lx.compute_session_math(h, v, 4, LX_SPEED_KMH, 0, 0, 0),
                    lx.calc_time_diff(h, v, h, 0), lx.locate_laps(h, v, h),
                    lx.write_lap_motec(h, v, "never.csv"));
        std::printf(
            "bad %d: map %d chart %d\n", v,
            lx.scaled_map(h, x.data(), y.data(), v < 0 ? v : 0, v, 640, 480, 10, 1.0f, 0.0f),
            lx.scaled_chart_lap_dist(h, v, 1, 50.0f, 0.0f, v < 0 ? v : 0, 600, 200, 0, 200, 0.0f,
                                     x.data(), y.data()));
    }
    std::printf("null arrays: map %d chart %d\n",
                lx.scaled_map(h, nullptr, nullptr, 16, 0, 640, 480, 10, 1.0f, 0.0f),
                lx.scaled_chart_lap_dist(h, 0, 1, 50.0f, 0.0f, 16, 600, 200, 0, 200, 0.0f, nullptr,
                                         nullptr));
    std::printf("unwritten cells: %d %d\n", x[0], y[15]);
    std::printf("motec to a folder that is not there: %d\n",
                lx.write_lap_motec(h, 0, "no-such-folder/out.csv"));
}

void error_channel(const Api& lx, int ref, int ref_lap, int work) {
    int first = lx.compute_error_channel_step(1, ref, ref_lap, work);
    std::printf("error step first %d\n", first);
    int steps = 1, left = first;
    // The front-end's loop, with a bound in case a step never reaches 0.
    while (left > 0 && steps < 1000000) {
        left = lx.compute_error_channel_step(0, ref, ref_lap, work);
        ++steps;
    }
    std::printf("error steps %d last %d\n", steps, left);
}

void chart(const Api& lx, int h, int lap, int channel) {
    constexpr int maxpoints = 400;
    std::vector<int> x(maxpoints, -7), y(maxpoints, -7);
    int n = lx.scaled_chart_lap_dist(h, lap, channel, lx.channel_max(h, channel),
                                     lx.channel_min(h, channel), maxpoints, 600, 200, 20, 220, 0.0f,
                                     x.data(), y.data());
    std::printf("chart lap %d channel %d points %d\n", lap, channel, n);
    print_ints("chart", x, y, n > 0 ? n : 0);
}

void track_map(const Api& lx, int h, int lap) {
    constexpr int points = 120;
    std::vector<int> x(points, -7), y(points, -7);
    int ok = lx.scaled_map(h, x.data(), y.data(), points, lap, 640, 480, 10, 1.0f, 0.5f);
    std::printf("scaled_map lap %d result %d\n", lap, ok);
    print_ints("map xy", x, y, points);
}

void motec(const Api& lx, int h, int lap, bool mapped) {
    std::string path = "lap" + std::to_string(h) + "-" + std::to_string(lap) + ".csv";
    std::printf("motec %d lap %d result %d\n", h, lap, lx.write_lap_motec(h, lap, path.c_str()));
    std::string tag = (mapped ? "map " : "") + path;
    print_file(tag.c_str(), path.c_str());
}

void run(const Api& lx) {
    write_sessions();
    std::FILE* bad = std::fopen("bad.txt", "wb");
    if (bad) {
        std::fputs("Time [s]\tIdx\tDistance [m]\t\nLap: 1/1\t0\t0\t0\n", bad);
        std::fclose(bad);
    }

    refusals(lx);
    std::printf("open(bad) %d\n", lx.open_aim_xls("bad.txt"));
    int ref = lx.open_aim_xls("reference.txt");
    int work_h = lx.open_aim_xls("work.txt");
    std::printf("open reference %d work %d\n", ref, work_h);
    describe_session(lx, ref, "reference read");

    std::printf("setup %d %d\n", lx.session_setup(ref), lx.session_setup(work_h));
    std::printf("math reference %d\n", lx.compute_session_math(ref, 3, 4, LX_SPEED_MPH, 0, 5, 0));
    std::printf("math work %d\n", lx.compute_session_math(work_h, 3, 4, LX_SPEED_KMH, 0, 0, 0));
    std::printf("math bad units %d\n", lx.compute_session_math(ref, 3, 4, 2, 0, 5, 0));
    std::printf("math reference again %d\n",
                lx.compute_session_math(ref, 3, 4, LX_SPEED_MPH, 0, 5, 0));

    std::printf("analysis setup %d\n", lx.analysis_setup(work_h));
    std::printf("tdiff %d\n", lx.calc_time_diff(ref, 1, work_h, 0));
    describe_session(lx, work_h, "work tdiff");
    std::printf("tdiff stretched %d\n", lx.calc_time_diff(ref, 1, work_h, 1));

    std::printf("locate before setup %d\n", lx.locate_laps(ref, 1, work_h));
    std::printf("beacon setup %d\n", lx.beacon_setup(work_h));
    error_channel(lx, ref, 1, work_h);
    std::printf("locate %d\n", lx.locate_laps(ref, 1, work_h));
    describe_session(lx, work_h, "work matched");

    std::vector<int> cuts;
    const float tolerances[] = {0.0f, 40.0f, 0.0f, 0.0f};
    for (int mode = LX_CUT_MATCHES; mode <= LX_CUT_BEACON_SHIFT + 1; ++mode) {
        int h = lx.new_session_from_beacons(ref, 1, work_h, mode, tolerances[mode]);
        std::printf("cut mode %d handle %d shift %s\n", mode, h,
                    show(lx.get_beacon_shift(work_h)).c_str());
        if (h > 0) cuts.push_back(h);
    }
    if (!cuts.empty()) {
        int cut = cuts.back();
        describe_session(lx, cut, "cut read");
        std::printf("cut setup %d math %d\n", lx.session_setup(cut),
                    lx.compute_session_math(cut, 3, 4, LX_SPEED_KMH, 0, 0, 0));
        describe_session(lx, cut, "cut math");
        motec(lx, cut, 0, false);
    }

    std::printf("map_setup %d\n", lx.map_setup(work_h));
    track_map(lx, work_h, 1);
    chart(lx, work_h, 1, lx.channel_number(work_h, LX_CHANNEL_SPEED));
    chart(lx, work_h, 2, 4);
    for (int lap = 0; lap < lx.num_laps(work_h); ++lap) motec(lx, work_h, lap, lap == 1);
    motec(lx, ref, 0, false);
    describe_session(lx, work_h, "work final");
    bad_arguments(lx, work_h);

    for (int h : cuts) lx.free_session(h);
    lx.free_session(ref);
    lx.free_session(work_h);
    lx.free_session(work_h);
    std::printf("after free: channels %d\n", lx.num_channels(ref));
}

} // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    // The library's lines exactly as it prints them, with no CR added.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const char* name = argc > 1 ? argv[1] : DEFAULT_LIBRARY;
    Library lib = load_library(name);
    if (lib == nullptr) {
        std::printf("cannot load %s\n", name);
        return 2;
    }
    Api lx{};
    bind_all(lib, lx);
    if (missing_exports != 0) return 3;
    std::printf("lx standin: all 24 exports found by plain name\n");
    std::printf("decorated name found: %s\n",
                find_symbol(lib, "lx_open_aim_xls@4") != nullptr ? "yes" : "no");
    run(lx);
    std::printf("lx standin: done\n");
    std::fflush(stdout);
    return 0;
}
