// The in-memory session: channels, laps and one float array per lap and channel.
#pragma once

#include <cstddef>

#include "base/output.h"

namespace lx {

constexpr int MAX_CHANNELS = 128;
constexpr int MAX_LAPS = 128;
constexpr int TEXT_SIZE = 128; // fixed text fields hold at most 127 characters

struct Channel {
    char name[TEXT_SIZE];
    char unit[TEXT_SIZE];
    char motec_name[TEXT_SIZE];
    char motec_unit[TEXT_SIZE];
    float scale;
    float offset;
    int motec_id; // 0: no MoTeC mapping
};

struct SessionRecord; // session/record.h

struct Lap {
    int npoints;
    int number;
    int original;
    float* raw[MAX_CHANNELS]; // raw[c]: npoints samples of channel c
    float laptime;
    float raw_laptime;
    float lap_length;
    float cut_offset;
};

struct Session {
    char filename[TEXT_SIZE];
    char driver[TEXT_SIZE];
    char venue[TEXT_SIZE];
    char vehicle[TEXT_SIZE];
    Channel channels[MAX_CHANNELS];
    Lap laps[MAX_LAPS];
    int nchannels;
    int nlaps;
    int nfile_channels;
    float sample_rate;
    int speed_source;
    int latg_source;
    int longg_source;
    // Well-known derived channels, ids 0..9; 0 means not added.
    int i_distance;
    int i_speed;
    int i_latg;
    int i_longg;
    int i_seglen;
    int i_radius;
    int i_map_x;
    int i_map_y;
    int i_tdiff;
    int i_tdiff_dt;
    float beacon_shift;
    // Counts the session math's runs, so that results kept from one run can
    // tell that they are stale.
    unsigned long math_runs;
    SessionRecord* record; // owned; null when the opener kept no record
    float* samples;        // owned: one block holding arrays of raw, or null
    std::size_t sample_floats;
};

// Allocation goes through here so that tests can make the Nth allocation fail.
void* alloc_zeroed(std::size_t bytes);
void release(void* block);
// One block for the arrays of a session's laps, given back with the session
// (fewer and cheaper page mappings than an allocation per array); null, and
// nothing changed, when refused or when the session already has one.
float* alloc_samples(Session* s, std::size_t floats);
// Gives back one array of raw, unless it lies in the session's block.
void release_array(const Session* s, float* array);
// Test hooks: fail the allocation numbered nth from now (1 = the next one);
// 0 switches failures off. live_allocations counts blocks not yet released.
void fail_allocation_at(long nth);
long live_allocations();
// True while the failure set by fail_allocation_at has not happened yet.
bool allocation_failure_pending();

// Copies a text into a fixed field, cutting it to fit.
template <std::size_t N> void copy_text(char (&dest)[N], const char* src) {
    std::size_t i = 0;
    if (src)
        for (; i + 1 < N && src[i]; ++i) dest[i] = src[i];
    dest[i] = '\0';
}

Session* new_session(); // zero-filled, or null
// The new channel's number, or 0 after printing why to out.
int add_channel(Session* s, const char* name, const char* unit, const Sink& out);
void free_session(Session* s);
int well_known_channel(const Session* s, int id);

bool valid_channel(const Session* s, int channel);
bool valid_lap(const Session* s, int lap);

float lap_channel_max(const Session* s, int lap, int channel);
float lap_channel_min(const Session* s, int lap, int channel);
float session_channel_max(const Session* s, int channel);
float session_channel_min(const Session* s, int channel);

// Writes t as "%d:%#06.3f" into dest (at least TEXT_SIZE bytes).
void format_laptime(char* dest, float t);

} // namespace lx
