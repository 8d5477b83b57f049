// Sessions for the lap-matching and cutting tests, built in memory with the
// channels those computations read.
#pragma once

#include <functional>
#include <stdexcept>
#include <vector>

#include "frame/frame.h"
#include "support.h"

namespace lxtest {

using SampleFn = std::function<float(int)>;

// Sample number index of the session counted across its laps.
inline float& sample(lx::Session* s, int channel, int index) {
    for (int l = 0; l < s->nlaps; ++l) {
        if (index < s->laps[l].npoints) return s->laps[l].raw[channel][index];
        index -= s->laps[l].npoints;
    }
    throw std::out_of_range("sample index beyond the session");
}

inline std::vector<float> samples(const lx::Session* s, int channel) {
    std::vector<float> all;
    for (int l = 0; l < s->nlaps; ++l)
        all.insert(all.end(), s->laps[l].raw[channel],
                   s->laps[l].raw[channel] + s->laps[l].npoints);
    return all;
}

inline void fill_by_index(lx::Session* s, int channel, const SampleFn& value) {
    int index = 0;
    for (int l = 0; l < s->nlaps; ++l)
        for (int p = 0; p < s->laps[l].npoints; ++p) s->laps[l].raw[channel][p] = value(index++);
}

inline float unit(int) {
    return 1.0f;
}

// make_session plus i_distance, i_seglen, i_speed (10 everywhere) and i_radius
// filled from the functions, lap lengths from the segments, and error and
// beacon channels that become the library's, as setting the session up would.
inline lx::Session* matching_session(const std::vector<int>& laps, float rate,
                                     const SampleFn& radius, const SampleFn& seglen = unit,
                                     int extra_channels = 0) {
    lx::Session* s = make_session(laps, rate, extra_channels);
    s->i_distance = lx::add_channel(s, "i_distance", "m", lx::STANDARD_OUTPUT);
    s->i_seglen = lx::add_channel(s, "i_seglen", "m", lx::STANDARD_OUTPUT);
    s->i_speed = lx::add_channel(s, "i_speed", "ms", lx::STANDARD_OUTPUT);
    s->i_radius = lx::add_channel(s, "i_radius", "m", lx::STANDARD_OUTPUT);
    lx::library.error_channel = lx::add_channel(s, "i_error", "", lx::STANDARD_OUTPUT);
    lx::library.beacon_channel = lx::add_channel(s, "i_beacon", "", lx::STANDARD_OUTPUT);
    fill_by_index(s, s->i_speed, [](int) { return 10.0f; });
    fill_by_index(s, s->i_radius, radius);
    fill_by_index(s, s->i_seglen, seglen);
    for (lx::Lap* lap = s->laps; lap < s->laps + s->nlaps; ++lap) {
        lap->lap_length = 0.0f;
        for (int p = 0; p < lap->npoints; ++p) lap->lap_length += lap->raw[s->i_seglen][p];
    }
    return s;
}

// A made-up track lap of n samples: a gentle bend in the first half and three
// sharp ones in the second, so the curvature varies less over the first half;
// samples lie 3 m apart on the straights and closer in the bends (multiples of
// 0.25 m, so every sum of them is exact).
inline float track_radius(int k, int n) {
    double x = static_cast<double>(k % n) / n;
    if (x >= 0.15 && x < 0.30) return 4.0f;
    if (x >= 0.55 && x < 0.65) return -12.0f;
    if (x >= 0.70 && x < 0.78) return 15.0f;
    if (x >= 0.85 && x < 0.92) return -9.0f;
    return 0.0f;
}

inline float track_seglen(int k, int n) {
    return track_radius(k, n) == 0.0f ? 3.0f : 2.0f + 0.25f * static_cast<float>(k % n % 3);
}

} // namespace lxtest
