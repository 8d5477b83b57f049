// Trailing moving average and backward-difference derivative, lap by lap.
#include <cstdio>

#include "base/output.h"
#include "channels/channels.h"

namespace lx {

namespace {

constexpr int MAX_WINDOW = 100;

bool lap_has_channels(const Session* s, int lap, int in, int out) {
    return valid_lap(s, lap) && valid_channel(s, in) && valid_channel(s, out);
}

// Window truncated toward zero, or -1 when it falls outside 0..MAX_WINDOW
// (tested on the float so NaN and huge values never reach the conversion).
int window_samples(float window) {
    if (!(window > -1.0f && window < MAX_WINDOW + 1.0f)) return -1;
    return static_cast<int>(window);
}

} // namespace

int filter_lap(Session* s, int lap, int in, int out, int filter_kind, float window) {
    if (!lap_has_channels(s, lap, in, out)) return 0;
    int n = window_samples(window);
    if (n < 0 || filter_kind != 0) return 0;
    const Lap& l = s->laps[lap];
    if (l.npoints <= 0) return 1;
    const float* x = l.raw[in];
    float* y = l.raw[out];

    // The lap's first sample stands in for the samples before the lap.
    float ring[MAX_WINDOW];
    double sum = 0.0;
    for (int k = 0; k < n; ++k) {
        ring[k] = x[0];
        sum += x[0];
    }
    // With n = 0 there is no history and each output is a copy of its input.
    int k = 0;
    for (int i = 0; i < l.npoints; ++i) {
        float xi = x[i]; // read before the write below, so in == out works
        float mean = static_cast<float>((xi + sum) / (n + 1));
        if (n > 0) {
            sum = (sum - ring[k]) + xi;
            ring[k] = xi;
            k = (k + 1) % n;
        }
        y[i] = mean;
    }
    return 1;
}

int filter_session(Session* s, int in, int out, int filter_kind, float window, float second_value,
                   TraceOptions options) {
    if (options.verbose)
        emit(options.sink, "filter_session(0x%0x,%d,%d,%d,%.1f,%.1f)\n", trace_address(s), in, out,
             filter_kind, window, second_value);
    int result = 1;
    int nlaps = s->nlaps;
    for (int lap = 0; lap < nlaps; ++lap)
        if (filter_lap(s, lap, in, out, filter_kind, window) == 0) result = 0;
    return result;
}

void differentiate_dt_lap(Session* s, int lap, int in, int out) {
    if (!lap_has_channels(s, lap, in, out)) return;
    const Lap& l = s->laps[lap];
    if (l.npoints <= 0) return;
    const float* x = l.raw[in];
    float* y = l.raw[out];
    double rate = s->sample_rate;
    float previous = x[0];
    for (int i = 0; i < l.npoints; ++i) {
        float xi = x[i];
        y[i] = static_cast<float>((static_cast<double>(xi) - previous) * rate);
        previous = xi;
    }
}

void differentiate_dt_session(Session* s, int in, int out, TraceOptions options) {
    if (options.verbose)
        emit(options.sink, "differentiate_dt_session(0x%0x,%d,%d)\n", trace_address(s), in, out);
    int nlaps = s->nlaps;
    for (int lap = 0; lap < nlaps; ++lap) differentiate_dt_lap(s, lap, in, out);
}

} // namespace lx
