// Reading and writing channel samples, and the trailing mean written out plainly.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "session/session.h"
#include "support.h"

namespace lxtest {

// Each test starts and ends with no session open and no allocation failure armed.
class FreshSessions : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override {
        lx::fail_allocation_at(0);
        close_all_sessions();
    }
};

using Samples = std::vector<float>;

inline void set_samples(lx::Session* s, int lap, int channel, const Samples& values) {
    for (std::size_t j = 0; j < values.size(); ++j) s->laps[lap].raw[channel][j] = values[j];
}

inline Samples samples(const lx::Session* s, int lap, int channel) {
    const lx::Lap& l = s->laps[lap];
    return Samples(l.raw[channel], l.raw[channel] + l.npoints);
}

// Mean of sample i and the n before it, the first sample standing in before the lap.
inline Samples trailing_mean(const Samples& x, int n) {
    Samples y(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        double sum = 0.0;
        for (int back = 0; back <= n; ++back) sum += back <= int(i) ? x[i - back] : x[0];
        y[i] = static_cast<float>(sum / (n + 1));
    }
    return y;
}

} // namespace lxtest
