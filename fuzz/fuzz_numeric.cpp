// The input bytes are the samples of two sessions built in memory, which then
// go the front-end's whole road: setup, session math, time difference, error
// channel, lap location, cutting, map, chart and MoTeC file. Where the API
// target varies the arguments, this one varies the numbers the routines chew on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "fuzz_support.h"

namespace {

using namespace lxfuzz;

constexpr int MAX_STEPS = 4000;
enum Column { IDX, TIME, DISTANCE, SPEED, LATG, LONGG, COLUMNS };

float pick_rate(Bytes& in) {
    static const float rates[] = {5.0f, 10.0f, 20.0f, 0.0f, -1.0f, 0.5f, 1.9f, 250.0f};
    std::uint8_t b = in.byte();
    if (b < 240) return rates[b % 8];
    return float_from_bits(in.raw32());
}

// Laps that repeat one pattern (so that matching finds something), with
// disturbances and, now and then, any value at all.
float sample(Bytes& in, int column, int j, float rate) {
    std::uint8_t b = in.byte();
    if (b >= 232) return pick_float(in);
    float noise = static_cast<float>(static_cast<int>(b) - 116) / 64.0f;
    switch (column) {
    case TIME:
        return rate > 0.0f ? static_cast<float>(j) / rate : static_cast<float>(j);
    case SPEED:
        return 60.0f + 20.0f * std::sin(j * 0.4f) + noise;
    case LATG:
        return 1.2f * std::sin(j * 0.4f + 1.0f) + noise / 8.0f;
    case LONGG:
        return 0.3f * std::cos(j * 0.4f) + noise / 8.0f;
    default:
        return static_cast<float>(j) + noise;
    }
}

// Fewer laps usually; sometimes up to the file limit with few samples each.
lx::Session* session_from(Bytes& in) {
    lx::Session* s = lx::new_session();
    if (s == nullptr) fail("no memory for a session");
    const bool long_name = in.byte() & 1;
    lx::copy_text(s->filename, long_name ? std::string(127, 'f').c_str() : "fuzz.txt");
    const char* names[] = {"Idx", "Time", "Distance", "Speed", "LatG", "LongG"};
    for (const char* name : names) lx::copy_text(s->channels[s->nchannels++].name, name);
    s->nfile_channels = COLUMNS;
    s->sample_rate = pick_rate(in);
    std::uint8_t shape = in.byte();
    bool many = shape >= 224;
    s->nlaps = many ? 1 + shape % 127 : 1 + shape % 4;
    for (int l = 0; l < s->nlaps; ++l) {
        lx::Lap& lap = s->laps[l];
        lap.number = l + 1;
        lap.npoints = many ? in.byte() % 6 : in.byte() % 48;
        for (int c = 0; c < COLUMNS; ++c) {
            lap.raw[c] = static_cast<float*>(lx::alloc_zeroed(sizeof(float) * lap.npoints));
            if (lap.raw[c] == nullptr) fail("no memory for samples");
            for (int j = 0; j < lap.npoints; ++j) lap.raw[c][j] = sample(in, c, j, s->sample_rate);
        }
        lap.laptime = lap.raw_laptime = s->sample_rate > 0.0f ? lap.npoints / s->sample_rate : 0.0f;
    }
    return s;
}

int open_in_memory(Bytes& in) {
    lx::Session* s = session_from(in);
    int h = lx::store_session(s);
    if (h == 0) lx::free_session(s);
    return h;
}

void prepare(int h, Bytes& in) {
    lx_session_setup(h);
    std::uint8_t b = in.byte();
    lx_compute_session_math(h, SPEED, LATG, b & 1, (b >> 1) & 1, b & 4 ? LONGG : 0, (b >> 3) & 1);
}

void draw_every_lap(int h, Bytes& in) {
    lx_map_setup(h);
    int laps = lx_num_laps(h);
    for (int lap = 0; lap < laps && lap < 8; ++lap) {
        int points = pick_int(in, 0, 400);
        int winx = pick_int(in, 0, 800), winy = pick_int(in, 0, 600);
        int border = pick_int(in, -2, 40);
        if (points > 4096) points = 4096;
        std::vector<int> x(points > 0 ? points : 1), y(x.size());
        lx_scaled_map(h, x.data(), y.data(), points, lap, winx, winy, border, pick_float(in),
                      pick_float(in));
        int channel = pick_channel(in);
        float cmax = pick_float(in), cmin = pick_float(in);
        int maxpoints = pick_int(in, 0, 400);
        if (maxpoints > 4096) maxpoints = 4096;
        std::vector<int> cx(maxpoints > 0 ? maxpoints : 1), cy(cx.size());
        lx_scaled_chart_lap_dist(h, lap, channel, cmax, cmin, maxpoints, winx, winy, 0, winy,
                                 pick_float(in), cx.data(), cy.data());
        for (int unit = LX_UNIT_FEET; unit <= LX_UNIT_METRES; ++unit)
            lx_laptime_text(h, lap, 1, unit);
    }
}

void run_road(Bytes& in) {
    int work = open_in_memory(in);
    int ref = in.byte() & 1 ? work : open_in_memory(in);
    prepare(work, in);
    if (ref != work) prepare(ref, in);
    int ref_lap = pick_lap(in);

    lx_analysis_setup(work);
    lx_calc_time_diff(ref, ref_lap, work, in.byte() & 1);

    lx_beacon_setup(work);
    int left = lx_compute_error_channel_step(1, ref, ref_lap, work);
    for (int i = 0; i < MAX_STEPS && left > 0; ++i)
        left = lx_compute_error_channel_step(0, ref, ref_lap, work);
    lx_locate_laps(ref, ref_lap, work);
    int cut = lx_new_session_from_beacons(ref, ref_lap, work, pick_int(in, -1, 3), pick_float(in));
    lx_get_beacon_shift(work);
    if (cut > 0) {
        prepare(cut, in);
        draw_every_lap(cut, in);
    }
    draw_every_lap(work, in);
    if (in.byte() < 16) {
        static const std::string out = scratch_dir() + "/numeric.csv";
        lx_write_lap_motec(work, pick_lap(in), out.c_str());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    free_all_sessions();
    lx::library.error_channel = lx::library.beacon_channel = 0;
    long baseline = lx::live_allocations();
    Bytes in{data, size};
    run_road(in);
    check_count();
    free_all_sessions();
    check_clean(baseline);
    return 0;
}
