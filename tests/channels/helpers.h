// Helpers for building channel data in memory and reading it back.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "session/session.h"

namespace lxtest {

inline void set_samples(lx::Session* s, int lap, int channel, const std::vector<float>& values) {
    for (std::size_t j = 0; j < values.size(); ++j) s->laps[lap].raw[channel][j] = values[j];
}

inline std::vector<float> samples(const lx::Session* s, int lap, int channel) {
    const lx::Lap& l = s->laps[lap];
    return std::vector<float>(l.raw[channel], l.raw[channel] + l.npoints);
}

inline std::vector<float> random_samples(std::mt19937& rng, int n, float low, float high) {
    std::uniform_real_distribution<float> pick(low, high);
    std::vector<float> v(n);
    for (float& x : v) x = pick(rng);
    return v;
}

// Trailing mean written out plainly: the n samples before i (the first sample
// standing in before the lap's start) and sample i itself.
inline std::vector<float> trailing_mean(const std::vector<float>& x, int n) {
    std::vector<float> y(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        double sum = 0.0;
        for (int back = 0; back <= n; ++back)
            sum += back <= static_cast<int>(i) ? x[i - back] : x[0];
        y[i] = static_cast<float>(sum / (n + 1));
    }
    return y;
}

} // namespace lxtest
