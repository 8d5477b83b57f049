// Derived channels: setup, session math, moving-average filter and time derivative.
#pragma once

#include <cstdint>

#include "frame/frame.h"

namespace lx {

constexpr float MPH_TO_MS = 0.44704f;
constexpr float KMH_TO_MS = static_cast<float>(1.0 / 3.6);
constexpr float MS2_TO_G = static_cast<float>(1.0 / 9.8081);
constexpr float MS_TO_MPH = static_cast<float>(1.0 / 0.44704); // MoTeC speed scale
constexpr double G = 9.8081;

// A record's address as the trace's "0x%0x" prints it: the low 32 bits.
inline unsigned trace_address(const void* p) {
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(p));
}

int set_motec_channel(Session* s, int channel, const char* name, const char* unit, int id,
                      float scale, float offset);

// destination = source * scale + offset, formed in double, stored as float.
void scale_channel(Session* s, int source, int dest, float scale, float offset);
void integrate_distance(Session* s, int speed, int out);
void segment_lengths(Session* s, int speed, int out);
float lap_channel_sum(const Session* s, int lap, int channel);
void set_lap_lengths(Session* s, int seglen);
void corner_radius(Session* s, int speed, int latg, int out);

// Trailing moving average over window samples (filter_kind 0); 1 when every
// lap was filtered. second_value only appears in the trace.
int filter_session(Session* s, int in, int out, int filter_kind, float window, float second_value,
                   TraceOptions options);
int filter_lap(Session* s, int lap, int in, int out, int filter_kind, float window);
// Backward difference times the sample rate, lap by lap.
void differentiate_dt_session(Session* s, int in, int out, TraceOptions options);
void differentiate_dt_lap(Session* s, int lap, int in, int out);

} // namespace lx
