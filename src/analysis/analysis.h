// Time difference against a reference lap, the error channel and lap location.
#pragma once

#include "base/trace.h"
#include "session/session.h"

namespace lx {

// ---- time difference
int calc_time_difference_session(Session* ref, int ref_lap, Session* work, int ref_seglen,
                                 int work_seglen, int out, int scale_to_length,
                                 TraceOptions options);
int calc_time_difference_lap(Session* ref, int ref_lap, Session* work, int work_lap, int ref_seglen,
                             int work_seglen, int out, int scale_to_length, TraceOptions options);
// Fills work's two time-difference channels against lap ref_lap of ref; 0
// after printing why when a session, channel or the lap is missing.
int time_difference_channels(Session* ref, int ref_lap, Session* work, int scale_to_length,
                             TraceOptions options);

// ---- error channel
constexpr float ERROR_UNSET = 1000000.0f;

// The checks of the lap-matching and cutting exports: both sessions, their
// math channels, and error and beacon channels that belong to the working one.
bool matching_ready(const Session* ref, const Session* work, int error_channel, int beacon_channel);

// The error channel computed one sample per call: what the run was started on,
// so that a continuing call that names something else is refused rather than
// walking arrays it never sized, and how far it got.
struct ErrorRun {
    bool started;
    const Session* ref;
    int ref_lap;
    const Session* work;
    int error_channel;

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

void fill_channel(Session* s, int channel, float value);
int calc_error_channel_mid_step(ErrorRun& run, int first, Session* ref, int ref_lap, Session* work,
                                int error_channel, int work_seglen, int work_radius, int ref_seglen,
                                int ref_radius, TraceOptions options);
// One step on sessions that matching_ready accepted; first clears the channel.
int error_channel_step(ErrorRun& run, int first, Session* ref, int ref_lap, Session* work,
                       int error_channel, TraceOptions options);
// The whole channel in one call on sessions that matching_ready accepted, its
// samples shared among threads (0: the machine's cores): the bits of
// error_channel_step run to its end, whatever the count, and nothing printed.
void error_channel_whole(const Session* ref, int ref_lap, Session* work, int error_channel,
                         int threads);

// ---- lap location
float average_error(const Session* s, int channel);
// threads as for error_channel_whole; the matches are the same whatever the count.
int find_lap_matches(Session* ref, int ref_lap, Session* work, int error_channel, int work_seglen,
                     int beacon_channel, TraceOptions options, int threads = 1);
// Clears the beacon channel and marks the matches in it, on sessions that
// matching_ready accepted; returns the number of matches.
int locate_laps(Session* ref, int ref_lap, Session* work, int error_channel, int beacon_channel,
                TraceOptions options, int threads = 1);

} // namespace lx
