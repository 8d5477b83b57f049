// Sessions for the lap-matching and cutting tests, built in memory with the
// channels those computations read.
#pragma once

#include <functional>
#include <stdexcept>
#include <vector>

#include "frame/frame.h"
#include "support.h"

namespace lxtest {

// Adds i_distance, i_seglen, i_speed and i_radius (speed 10 everywhere) and
// the error and beacon channels, which become the library's, as setting the
// session up would.
inline void add_matching_channels(lx::Session* s) {
    s->i_distance = lx::add_channel(s, "i_distance", "m");
    s->i_seglen = lx::add_channel(s, "i_seglen", "m");
    s->i_speed = lx::add_channel(s, "i_speed", "ms");
    s->i_radius = lx::add_channel(s, "i_radius", "m");
    lx::library.error_channel = lx::add_channel(s, "i_error", "");
    lx::library.beacon_channel = lx::add_channel(s, "i_beacon", "");
    for (int l = 0; l < s->nlaps; ++l)
        for (int p = 0; p < s->laps[l].npoints; ++p) s->laps[l].raw[s->i_speed][p] = 10.0f;
}

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

inline void fill_by_index(lx::Session* s, int channel, const std::function<float(int)>& value) {
    int index = 0;
    for (int l = 0; l < s->nlaps; ++l)
        for (int p = 0; p < s->laps[l].npoints; ++p) s->laps[l].raw[channel][p] = value(index++);
}

// Every lap's length as the sum of its segment lengths.
inline void set_lap_lengths(lx::Session* s) {
    for (int l = 0; l < s->nlaps; ++l) {
        float length = 0.0f;
        for (int p = 0; p < s->laps[l].npoints; ++p) length += s->laps[l].raw[s->i_seglen][p];
        s->laps[l].lap_length = length;
    }
}

// One lap of a made-up track, sample by sample: a gentle bend early on and
// three sharp ones in the second half, so that the curvature varies less over
// the lap's first half than over its second.
struct TrackLap {
    std::vector<float> radius;
    std::vector<float> seglen;
};

inline TrackLap make_track_lap(int points) {
    TrackLap lap;
    for (int k = 0; k < points; ++k) {
        double x = static_cast<double>(k) / points;
        float r = 0.0f;
        if (x >= 0.15 && x < 0.30) r = 4.0f;
        if (x >= 0.55 && x < 0.65) r = -12.0f;
        if (x >= 0.70 && x < 0.78) r = 15.0f;
        if (x >= 0.85 && x < 0.92) r = -9.0f;
        lap.radius.push_back(r);
        // Slower through the bends, so that samples are unevenly spaced.
        lap.seglen.push_back(r == 0.0f ? 3.0f : 2.0f + 0.25f * static_cast<float>(k % 3));
    }
    return lap;
}

} // namespace lxtest
