// Time difference against a reference lap, the error channel and lap location.
#pragma once

#include "frame/frame.h"

namespace lx {

// ---- time difference
int calc_time_difference_session(Session* ref, int ref_lap, Session* work, int ref_seglen,
                                 int work_seglen, int out, int scale_to_length,
                                 TraceOptions options);
int calc_time_difference_lap(Session* ref, int ref_lap, Session* work, int work_lap, int ref_seglen,
                             int work_seglen, int out, int scale_to_length, TraceOptions options);

// ---- error channel
constexpr float ERROR_UNSET = 1000000.0f;

// The checks of the lap-matching and cutting exports: both sessions, their
// math channels, and error and beacon channels that belong to the working one.
bool matching_ready(const Session* ref, const Session* work);

struct ErrorStepState {
    int total_points;
    float session_length;
    int ref_points;
    float ref_length;
    int lap;
    int point;
    int lap_points;
    float distance;
    float previous_distance;
    float error;
    int processed;
    int finished;
    int start_reached;
    float last_percent;
};

extern ErrorStepState error_step_state;

void fill_channel(Session* s, int channel, float value);
int calc_error_channel_mid_step(int first, Session* ref, int ref_lap, Session* work,
                                int error_channel, int work_seglen, int work_radius, int ref_seglen,
                                int ref_radius, TraceOptions options);

// ---- lap location
float average_error(const Session* s, int channel);
int find_lap_matches(Session* ref, int ref_lap, Session* work, int error_channel, int work_seglen,
                     int beacon_channel, TraceOptions options);

} // namespace lx
