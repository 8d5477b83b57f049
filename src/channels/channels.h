// Derived channels: setup, session math, moving-average filter and time derivative.
#pragma once

#include "base/trace.h"
#include "session/session.h"

namespace lx {

// Appending the derived channels: each records the channel numbers it added,
// and stops at the first channel that cannot be added (0).
int add_session_math_channels(Session* s, TraceOptions options);
int add_time_diff_channels(Session* s, TraceOptions options);
// The matching pair is library-wide: the numbers go to the caller's fields.
int add_matching_channels(Session* s, int* error_channel, int* beacon_channel, const Sink& out);

// The logger's channels and switches the session math starts from.
struct MathInputs {
    int speed;
    int latg;
    int speed_units; // lx_speed_unit
    int invert_lat;
    int longg; // 0: derived from speed
    int invert_long;
};

// Fills the six session-math channels; 0 when a channel is missing or the
// unit is unknown.
int compute_session_math(Session* s, const MathInputs& in, TraceOptions options);

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
