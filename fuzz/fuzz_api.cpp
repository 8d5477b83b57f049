// The input bytes drive a sequence of calls to every export over a few small
// sessions, with arbitrary argument values. After each call the handle count
// must match the table; at the end, with everything freed, no block may be left.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "base/output.h"
#include "fuzz_input.h"
#include "fuzz_support.h"
#include "lx_data.h"
#include "steady.h"

namespace {

using namespace lxfuzz;

struct Files {
    std::vector<std::string> exports; // readable sessions
    std::string long_named;           // a session whose path is over 127 characters
    std::string empty;
    std::string missing;
    std::string motec_out;
    std::string folder;
    std::string csv;
};

Files files;

std::string odd_values_export() {
    return "Idx\tTime [s]\tDistance [m]\tSpeed [km/h]\tLatG [g]\tLongG [g]\t\n"
           "Lap: 1/1\t0\t0.0\t0\t0\t0\t0\n"
           "\t1\t0.1\t1\t-50\t2\t-1\n"
           "\t2\t0.2\tnan\t1e38\tinf\t0\n"
           "\t3\t0.3\t3\t0\t-inf\t5\n"
           "Lap: 1/2\t4\t0.4\t3\t-3e38\t0.5\t0\n"
           "Lap: 1/3\t5\t0.4\t3\t0\t1e-40\t0\n"
           "\t6\t0.4\t3\t0\t-1\t0\n"
           "\t7\t0.5\t3\t10\t1\t0\n"
           "Lap:\n";
}

void prepare_files() {
    std::string dir = lxfuzz::scratch_dir();
    auto put = [&](const std::string& name, const std::string& text) {
        std::string path = dir + "/" + name;
        lxfuzz::write_file(path, text.data(), text.size());
        return path;
    };
    lxgen::SteadyPlan a;
    a.laps = 4;
    a.points_per_lap = 30;
    a.standing_starts = {2};
    lxgen::SteadyPlan b;
    b.laps = 1;
    b.points_per_lap = 36;
    b.speed_kmh = 80.0f;
    files.exports = {put("a.txt", lxgen::steady_export(a)), put("b.txt", lxgen::steady_export(b)),
                     put("c.txt", odd_values_export())};
    files.long_named = put(std::string(150, 'n') + ".txt", lxgen::steady_export(b));
    files.empty = put("empty.txt", "");
    files.missing = dir + "/missing.txt";
    files.motec_out = dir + "/out.csv";
    files.folder = dir;
    files.csv = put("other.csv", "Time,Speed\n0,1\n0.1,2\n");
}

const char* pick_open_path(Bytes& in) {
    switch (in.byte() % 9) {
    case 0:
        return nullptr;
    case 1:
        return files.long_named.c_str();
    case 5:
        return files.folder.c_str(); // opens, but cannot be read
    case 2:
        return files.empty.c_str();
    case 3:
        return files.missing.c_str();
    case 4:
        return "";
    default:
        return files.exports[in.byte() % files.exports.size()].c_str();
    }
}

const char* pick_output_path(Bytes& in) {
    switch (in.byte() % 4) {
    case 0:
        return nullptr;
    case 1:
        return files.folder.c_str(); // a folder cannot be opened for writing
    case 2:
        return "/nonexistent-folder/out.csv";
    default:
        return files.motec_out.c_str();
    }
}

// The handles of the data API's sessions this input opened, closed or not.
std::vector<int> opened;

// A front-end handle, a wrong one, or one of the data API's.
int pick_session(Bytes& in) {
    std::uint8_t b = in.byte();
    if (b & 1 && !opened.empty()) return opened[(b >> 1) % opened.size()];
    return pick_handle(in);
}

int remember(int handle) {
    if (handle >= LX_DATA_HANDLE_FIRST) opened.push_back(handle);
    return handle;
}

const lx::Session* session_of(int h) {
    const lx::Session* s = lx::lookup_session(h);
    return s ? s : lx::data::data_session(h);
}

// Caller's arrays: null, or exactly the size the count asks for. Counts too
// large to allocate are passed with null arrays.
struct Arrays {
    std::vector<int> x, y;
    int* xp = nullptr;
    int* yp = nullptr;

    Arrays(Bytes& in, int count, int cap) {
        std::uint8_t nulls = in.byte();
        if (count > cap) return;
        std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
        x.resize(n);
        y.resize(n);
        // data() of an empty vector may be null; keep a real address for a count of 0.
        x.reserve(1);
        y.reserve(1);
        if (!(nulls & 1)) xp = x.data();
        if (!(nulls & 2)) yp = y.data();
    }
};

constexpr int MAX_ARRAY = 1 << 16;
constexpr int GUARD = 16;
constexpr float POISON = -1234.5f;

// Every call of the data API leaves an outcome that agrees with its result.
int checked(int result) {
    if (result != lx_last_status() && !(result >= 0 && lx_last_status() == LX_OK))
        lxfuzz::fail("result and lx_last_status differ");
    if ((result < 0) != (lx_last_error()[0] != '\0'))
        lxfuzz::fail("a message without a failure or a failure without one");
    return result;
}

const char* pick_channel_name(Bytes& in) {
    static const char* names[] = {nullptr,   "",          "Time",        "Speed", "LatG",
                                  "i_speed", "Idx,Speed", "Speed, LatG", "nope",  "map x"};
    return names[in.byte() % (sizeof names / sizeof names[0])];
}

const char* pick_start_line(Bytes& in) {
    static const char* lines[] = {nullptr,
                                  "",
                                  "1,2,3",
                                  "0,0,0,0",
                                  "91,0,0,0",
                                  "nan,1,2,3",
                                  "1,2,3,4,5",
                                  "1e999,0,0,0",
                                  "44.5,11.2,44.6,11.3"};
    return lines[in.byte() % (sizeof lines / sizeof lines[0])];
}

void open_with_options(Bytes& in) {
    const char* path = in.byte() % 5 == 0 ? files.csv.c_str() : pick_open_path(in);
    lx_open_options options{pick_float(in), pick_channel_name(in), pick_int(in, -2, 6),
                            pick_int(in, -2, 6), pick_start_line(in)};
    remember(checked(lx_open(path, in.byte() & 1 ? &options : nullptr)));
}

// A caller's float buffer of any capacity, poisoned beyond it: nothing may
// land there, and a success copies exactly min(count, capacity) samples.
void lap_samples(Bytes& in) {
    int h = pick_session(in), lap = pick_lap(in), channel = pick_channel(in);
    int capacity = pick_int(in, -2, 300);
    bool null_dest = in.byte() % 4 == 0 || capacity > MAX_ARRAY;
    std::size_t room = capacity > 0 && !null_dest ? static_cast<std::size_t>(capacity) : 0;
    std::vector<float> buffer(room + GUARD, POISON);
    int count =
        checked(lx_lap_samples(h, lap, channel, null_dest ? nullptr : buffer.data(), capacity));
    if (count >= 0 && (capacity < 0 || (null_dest && capacity > 0)))
        lxfuzz::fail("lx_lap_samples took a negative capacity or a null buffer");
    for (std::size_t i = room; i < buffer.size(); ++i)
        if (buffer[i] != POISON) lxfuzz::fail("lx_lap_samples wrote past its capacity");
    if (count > 0 && room > 0) {
        const float* raw = session_of(h)->laps[lap].raw[channel];
        std::size_t copied = std::min(room, static_cast<std::size_t>(count));
        if (std::memcmp(buffer.data(), raw, copied * sizeof(float)) != 0)
            lxfuzz::fail("lx_lap_samples copied other samples");
    }
}

void facts(Bytes& in) {
    int h = pick_session(in);
    bool null_info = in.byte() % 4 == 0;
    lx_session_info session;
    lx_channel_info channel;
    lx_lap_info lap;
    checked(lx_session_info_get(h, null_info ? nullptr : &session));
    checked(lx_channel_info_get(h, pick_channel(in), null_info ? nullptr : &channel));
    checked(lx_lap_info_get(h, pick_lap(in), null_info ? nullptr : &lap));
    checked(lx_find_channel(h, pick_channel_name(in)));
    int size = pick_int(in, -2, 64);
    // A size beyond any buffer worth making goes with a null text, which is refused.
    bool null_text = null_info || size > MAX_ARRAY;
    std::vector<char> note(size > 0 && !null_text ? static_cast<std::size_t>(size) + GUARD : GUARD,
                           'Z');
    checked(lx_session_note(h, pick_int(in, -1, 4), null_text ? nullptr : note.data(), size));
    for (std::size_t i = size > 0 && !null_text ? static_cast<std::size_t>(size) : 0;
         i < note.size(); ++i)
        if (note[i] != 'Z') lxfuzz::fail("lx_session_note wrote past its size");
}

void closure(Bytes& in) {
    int h = pick_session(in), lap = pick_lap(in), latg = pick_channel(in);
    double turn = 0.0, gap = 0.0;
    std::uint8_t nulls = in.byte();
    checked(lx_lap_closure(h, lap, latg, nulls & 1 ? nullptr : &turn, nulls & 2 ? nullptr : &gap));
}

// Arbitrary options, cuts and capacities: counts agree with their statuses and
// nothing lands past a capacity (each buffer holds its capacity and a guard).
template <class T> struct Guarded {
    std::vector<T> cells;
    int capacity;
    explicit Guarded(Bytes& in) : Guarded(pick_int(in, -1, 12)) {}
    explicit Guarded(int given) : capacity(given) {
        cells.resize(static_cast<std::size_t>(std::clamp(capacity, 0, 12)) + 1);
        std::memset(static_cast<void*>(cells.data()), 0x5A, cells.size() * sizeof(T));
    }
    T* data() { return capacity < 0 ? nullptr : cells.data(); }
    void check(const char* call) const {
        static const std::vector<unsigned char> poison(sizeof(T), 0x5A);
        if (std::memcmp(&cells.back(), poison.data(), sizeof(T)) != 0) lxfuzz::fail(call);
    }
};

const char* pick_longitudinal(Bytes& in) {
    return in.byte() % 4 == 0 ? "none" : pick_channel_name(in);
}

void analyse(Bytes& in) {
    lx_analysis_options o;
    checked(lx_analysis_defaults(in.byte() % 8 ? &o : nullptr));
    lx_analysis_defaults(&o);
    o.speed = pick_channel_name(in);
    o.lateral = pick_channel_name(in);
    o.longitudinal = pick_longitudinal(in);
    o.speed_units = pick_int(in, -2, 2);
    o.invert_lat = pick_int(in, -1, 2);
    o.invert_long = pick_int(in, 0, 1);
    o.ref_handle = in.byte() & 1 ? 0 : pick_session(in);
    o.ref_lap = pick_lap(in);
    o.corners = {pick_float(in), pick_float(in), pick_float(in), pick_float(in), pick_float(in)};
    o.ncuts = pick_int(in, -1, 3);
    for (int k = 0; k < 3; ++k) o.cuts[k] = pick_float(in);
    o.tolerance = in.byte() & 1 ? LX_OPTIMAL_TOLERANCE : pick_float(in);
    int h = pick_session(in);
    checked(lx_analyse(h, in.byte() % 4 ? &o : nullptr));
}

void analysis_lap(Bytes& in) {
    int h = pick_session(in), lap = pick_lap(in);
    bool nulls = in.byte() % 4 == 0;
    lx_analysis_info info;
    lx_analysis_lap one;
    checked(lx_analysis_info_get(h, nulls ? nullptr : &info));
    checked(lx_analysis_lap_get(h, lap, nulls ? nullptr : &one));
    Guarded<double> distance(in), diff(distance.capacity);
    checked(lx_analysis_time_diff(h, lap, in.byte() & 1 ? nullptr : distance.data(), diff.data(),
                                  distance.capacity));
    distance.check("lx_analysis_time_diff wrote past its capacity");
    diff.check("lx_analysis_time_diff wrote past its capacity");
    Guarded<double> x(in), y(x.capacity);
    double error = 0.0;
    checked(lx_analysis_gps_track(h, lap, x.data(), y.data(), x.capacity,
                                  in.byte() & 1 ? nullptr : &error));
    x.check("lx_analysis_gps_track wrote past its capacity");
    y.check("lx_analysis_gps_track wrote past its capacity");
    int roles[LX_ROLES];
    checked(lx_analysis_roles(h, nulls ? nullptr : roles));
    Guarded<double> mx(in), my(mx.capacity);
    checked(lx_analysis_map_laid(h, lap, pick_handle(in), pick_lap(in), mx.data(), my.data(),
                                 mx.capacity));
    mx.check("lx_analysis_map_laid wrote past its capacity");
    my.check("lx_analysis_map_laid wrote past its capacity");
}

void analysis_tables(Bytes& in) {
    int h = pick_session(in), lap = pick_lap(in);
    Guarded<lx_corner> corners(in);
    checked(lx_analysis_corners(h, lap, corners.data(), corners.capacity));
    corners.check("lx_analysis_corners wrote past its capacity");
    Guarded<lx_stretch> stretches(in);
    checked(lx_analysis_stretches(h, lap, stretches.data(), stretches.capacity));
    stretches.check("lx_analysis_stretches wrote past its capacity");
    Guarded<lx_corner_summary> summary(in);
    checked(lx_analysis_corner_summary(h, summary.data(), summary.capacity));
    summary.check("lx_analysis_corner_summary wrote past its capacity");
    Guarded<double> times(in);
    checked(lx_analysis_sector_times(h, lap, times.data(), times.capacity));
    times.check("lx_analysis_sector_times wrote past its capacity");
    Guarded<lx_piece> pieces(in);
    double time = 0;
    int which = pick_int(in, -1, 2);
    checked(lx_analysis_best(h, which, in.byte() & 1 ? nullptr : &time, pieces.data(),
                             pieces.capacity));
    pieces.check("lx_analysis_best wrote past its capacity");
    lx_corner_options options{pick_float(in), pick_float(in), pick_float(in), pick_float(in),
                              pick_float(in)};
    lx_track_match match;
    int other = pick_session(in);
    checked(lx_same_track(h, other, pick_float(in), in.byte() & 1 ? &options : nullptr,
                          in.byte() & 1 ? &match : nullptr));
}

// The front-end's steps as the data API repeats them, with arbitrary options.
void repeated_steps(Bytes& in) {
    int h = pick_session(in), lap = pick_lap(in), channel = pick_channel(in);
    lx_math_options math{pick_channel(in),    pick_channel(in), pick_int(in, -1, 6),
                         pick_int(in, -1, 2), in.byte() & 1,    in.byte() & 1};
    checked(lx_session_math(h, in.byte() % 8 ? &math : nullptr));
    checked(lx_time_diff(pick_session(in), pick_lap(in), h, in.byte() & 1));
    checked(lx_derived_channel_number(h, pick_int(in, -1, 11)));
    float min = 0, max = 0;
    checked(lx_channel_range(h, channel, in.byte() & 1 ? nullptr : &min, &max));
    Guarded<int> x(in), y(x.capacity);
    checked(lx_map_pixels(h, x.data(), y.data(), x.capacity, lap, pick_int(in, -1, 800),
                          pick_int(in, -1, 600), pick_int(in, -1, 50), pick_float(in),
                          pick_float(in)));
    x.check("lx_map_pixels wrote past its capacity");
    y.check("lx_map_pixels wrote past its capacity");
    Guarded<double> mx(in), my(mx.capacity);
    checked(
        lx_map_points(h, lap, pick_float(in), pick_float(in), mx.data(), my.data(), mx.capacity));
    mx.check("lx_map_points wrote past its capacity");
    my.check("lx_map_points wrote past its capacity");
    Guarded<int> cx(in), cy(cx.capacity);
    checked(lx_chart_pixels(h, lap, channel, pick_float(in), pick_float(in), cx.capacity,
                            pick_int(in, -1, 800), pick_int(in, -1, 600), pick_int(in, -5, 5),
                            pick_int(in, -1, 600), pick_float(in), cx.data(), cy.data()));
    cx.check("lx_chart_pixels wrote past its capacity");
    cy.check("lx_chart_pixels wrote past its capacity");
    checked(lx_write_motec(h, lap, pick_output_path(in)));
}

// Lap matching and the cut, whose new session is the data API's.
void matching(Bytes& in) {
    int ref = pick_session(in), ref_lap = pick_lap(in), h = pick_session(in);
    lx_match_options o{pick_int(in, -1, 3), pick_int(in, -1, 3), pick_float(in)};
    const lx_match_options* given = in.byte() % 4 ? &o : nullptr;
    checked(lx_match_laps(ref, ref_lap, h, given));
    if (in.byte() & 1) remember(checked(lx_cut_session(ref, ref_lap, h, given)));
}

constexpr int MAX_STEPS = 4000;

void error_steps(int ref, int ref_lap, int work) {
    int left = lx_compute_error_channel_step(1, ref, ref_lap, work);
    for (int i = 0; i < MAX_STEPS && left > 0; ++i)
        left = lx_compute_error_channel_step(0, ref, ref_lap, work);
}

// The front-end's usual road on one session, so that deep states come quickly.
void prepare_session(Bytes& in) {
    int h = pick_session(in);
    lx_session_setup(h);
    lx_compute_session_math(h, 3, 4, LX_SPEED_KMH, 0, in.byte() & 1 ? 5 : 0, 0);
    if (in.byte() & 1) lx_analysis_setup(h);
    if (in.byte() & 1) lx_beacon_setup(h);
    if (in.byte() & 1) lx_map_setup(h);
}

void scaled_map(Bytes& in) {
    int h = pick_session(in), points = pick_int(in, -2, 300), lap = pick_lap(in);
    int winx = pick_int(in, -2, 800), winy = pick_int(in, -2, 600), border = pick_int(in, -2, 50);
    float latg_scale = pick_float(in), heading = pick_float(in);
    Arrays a(in, points, MAX_ARRAY);
    lx_scaled_map(h, a.xp, a.yp, points, lap, winx, winy, border, latg_scale, heading);
}

void scaled_chart(Bytes& in) {
    int h = pick_session(in), lap = pick_lap(in), channel = pick_channel(in);
    float cmax = pick_float(in), cmin = pick_float(in);
    int maxpoints = pick_int(in, -2, 300), winx = pick_int(in, -2, 800);
    int winy = pick_int(in, -2, 600), xoffset = pick_int(in, -2, 50);
    int ybottom = pick_int(in, -2, 600);
    float dist_range = pick_float(in);
    // A correct call writes at most the lap's sample count, far below the cap.
    Arrays a(in, maxpoints < MAX_ARRAY ? maxpoints : MAX_ARRAY, MAX_ARRAY);
    lx_scaled_chart_lap_dist(h, lap, channel, cmax, cmin, maxpoints, winx, winy, xoffset, ybottom,
                             dist_range, a.xp, a.yp);
}

// The whole analysis road on two sessions, then any cut.
void analysis_road(Bytes& in) {
    int ref = pick_session(in), work = pick_session(in), ref_lap = pick_lap(in);
    lx_calc_time_diff(ref, ref_lap, work, in.byte() & 1);
    error_steps(ref, ref_lap, work);
    lx_locate_laps(ref, ref_lap, work);
    lx_new_session_from_beacons(ref, ref_lap, work, pick_int(in, -1, 3), pick_float(in));
}

// Arguments are picked in the order written, one statement each where it matters.
using Call = void (*)(Bytes&);
const Call CALLS[] = {
    [](Bytes& in) { lx_open_aim_xls(pick_open_path(in)); },
    [](Bytes& in) { lx_free_session(pick_session(in)); },
    [](Bytes& in) { lx_num_channels(pick_session(in)); },
    [](Bytes& in) { lx_num_laps(pick_session(in)); },
    [](Bytes& in) { lx_channel_name(pick_session(in), pick_channel(in)); },
    [](Bytes& in) { lx_channel_number(pick_session(in), pick_int(in, -2, 12)); },
    [](Bytes& in) { lx_channel_max(pick_session(in), pick_channel(in)); },
    [](Bytes& in) { lx_channel_min(pick_session(in), pick_channel(in)); },
    [](Bytes& in) { lx_session_average(pick_session(in), pick_int(in, -2, 12)); },
    [](Bytes& in) { lx_lap_length(pick_session(in), pick_lap(in)); },
    [](Bytes& in) {
        int h = pick_session(in), lap = pick_lap(in), which = pick_int(in, 0, 1);
        lx_laptime_text(h, lap, which, pick_int(in, -1, 2));
    },
    [](Bytes& in) { lx_session_setup(pick_session(in)); },
    [](Bytes& in) { lx_analysis_setup(pick_session(in)); },
    [](Bytes& in) { lx_beacon_setup(pick_session(in)); },
    [](Bytes& in) { lx_map_setup(pick_session(in)); },
    [](Bytes& in) {
        int h = pick_session(in), speed = pick_channel(in), latg = pick_channel(in);
        int units = pick_int(in, -1, 2), invert_lat = pick_int(in, 0, 1);
        int longg = pick_channel(in);
        lx_compute_session_math(h, speed, latg, units, invert_lat, longg, pick_int(in, 0, 1));
    },
    [](Bytes& in) {
        int ref = pick_session(in), ref_lap = pick_lap(in), work = pick_session(in);
        lx_calc_time_diff(ref, ref_lap, work, pick_int(in, 0, 1));
    },
    [](Bytes& in) {
        int first = pick_int(in, 0, 1), ref = pick_session(in), ref_lap = pick_lap(in);
        lx_compute_error_channel_step(first, ref, ref_lap, pick_session(in));
    },
    [](Bytes& in) {
        int ref = pick_session(in), ref_lap = pick_lap(in);
        error_steps(ref, ref_lap, pick_session(in));
    },
    [](Bytes& in) {
        int ref = pick_session(in), ref_lap = pick_lap(in);
        lx_locate_laps(ref, ref_lap, pick_session(in));
    },
    [](Bytes& in) {
        int ref = pick_session(in), ref_lap = pick_lap(in), work = pick_session(in);
        int mode = pick_int(in, -1, 3);
        lx_new_session_from_beacons(ref, ref_lap, work, mode, pick_float(in));
    },
    [](Bytes& in) { lx_get_beacon_shift(pick_session(in)); },
    scaled_map,
    scaled_chart,
    [](Bytes& in) {
        int h = pick_session(in), lap = pick_lap(in);
        lx_write_lap_motec(h, lap, pick_output_path(in));
    },
    [](Bytes& in) { lx::fail_allocation_at(1 + in.byte() % 16); },
    [](Bytes& in) {
        std::uint8_t b = in.byte();
        lx::library.trace = {b & 1, (b >> 1) & 1, lx::STANDARD_OUTPUT};
    },
    prepare_session,
    open_with_options,
    [](Bytes& in) { checked(lx_close(pick_session(in))); },
    facts,
    lap_samples,
    closure,
    analyse,
    analyse,
    analysis_lap,
    analysis_tables,
    analysis_road,
    analysis_road,
    repeated_steps,
    matching,
};

void call_one(Bytes& in) {
    CALLS[in.byte() % std::size(CALLS)](in);
}

// Every input starts from the library as it was loaded.
void reset_library() {
    lxfuzz::free_all_sessions();
    opened.clear();
    lx::library.trace = {0, 1, lx::STANDARD_OUTPUT};
    lx::library.error_channel = 0;
    lx::library.beacon_channel = 0;
    lx::library.error_run = lx::ErrorRun{};
    lx::fail_allocation_at(0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lxfuzz::silence_stdout();
    prepare_files();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    reset_library();
    long baseline = lx::live_allocations();
    for (const std::string& path : files.exports) lx_open_aim_xls(path.c_str());
    Bytes in{data, size};
    for (int calls = 0; calls < 64 && !in.done(); ++calls) {
        call_one(in);
        lxfuzz::check_count();
    }
    lx::fail_allocation_at(0);
    lx::library.trace = {0, 1, lx::STANDARD_OUTPUT};
    lxfuzz::free_all_sessions();
    lxfuzz::check_clean(baseline);
    return 0;
}
