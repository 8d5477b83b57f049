#include "session/session.h"
#include "session/record.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "base/output.h"
#include "base/pages.h"

namespace lx {

namespace {
// Atomic: sessions are built and freed on several threads at once.
std::atomic<long> allocations_until_failure{0}; // 0: never fail
std::atomic<long> live_blocks{0};

// Counts an allocation towards the one set to fail: exactly one allocation
// sees the count reach 0, whatever the threads.
bool failure_due() {
    long left = allocations_until_failure.load();
    while (left > 0)
        if (allocations_until_failure.compare_exchange_weak(left, left - 1)) return left == 1;
    return false;
}
} // namespace

void* alloc_zeroed(std::size_t bytes) {
    if (failure_due()) return nullptr;
    // calloc(0) may give null; a zero-sized array is still a success.
    void* block = std::calloc(bytes ? bytes : 1, 1);
    if (block) ++live_blocks;
    return block;
}

void release(void* block) {
    if (block == nullptr) return;
    --live_blocks;
    std::free(block);
}

float* alloc_samples(Session* s, std::size_t floats) {
    if (s->samples != nullptr || floats > SIZE_MAX / sizeof(float)) return nullptr;
    if (failure_due()) return nullptr;
    s->samples = static_cast<float*>(map_pages(floats * sizeof(float)));
    if (s->samples == nullptr) return nullptr;
    s->sample_floats = floats;
    ++live_blocks;
    return s->samples;
}

void release_array(const Session* s, float* array) {
    auto at = reinterpret_cast<std::uintptr_t>(array);
    auto block = reinterpret_cast<std::uintptr_t>(s->samples);
    if (s->samples == nullptr || at < block || at >= block + s->sample_floats * sizeof(float))
        release(array);
}

void fail_allocation_at(long nth) {
    allocations_until_failure = nth;
}
long live_allocations() {
    return live_blocks;
}
bool allocation_failure_pending() {
    return allocations_until_failure > 0;
}

Session* new_session() {
    return static_cast<Session*>(alloc_zeroed(sizeof(Session)));
}

bool valid_channel(const Session* s, int channel) {
    return s && channel >= 0 && channel < s->nchannels;
}

bool valid_lap(const Session* s, int lap) {
    return s && lap >= 0 && lap < s->nlaps;
}

int add_channel(Session* s, const char* name, const char* unit, const Sink& out) {
    int n = s->nchannels;
    if (n >= MAX_CHANNELS) {
        emit(out, "Reached limit for number of channels in session %s\n", s->filename);
        return 0;
    }
    for (int l = 0; l < s->nlaps; ++l) {
        Lap& lap = s->laps[l];
        std::size_t bytes = static_cast<std::size_t>(lap.npoints) * sizeof(float);
        lap.raw[n] = static_cast<float*>(alloc_zeroed(bytes));
        if (lap.raw[n] == nullptr) {
            emit(out, "Could not allocate memory for channel!\n");
            emit(out, "add_channel: lap[%d].raw[%d], malloc(%d)\n", l, n, lap.npoints * 4);
            // Give back what the earlier laps got, so the channel leaves no trace.
            for (int k = 0; k < l; ++k) {
                release(s->laps[k].raw[n]);
                s->laps[k].raw[n] = nullptr;
            }
            return 0;
        }
    }
    s->nchannels = n + 1;
    copy_text(s->channels[n].name, name);
    copy_text(s->channels[n].unit, unit);
    return n;
}

void free_session(Session* s) {
    if (s == nullptr) return;
    for (int l = 0; l < s->nlaps; ++l)
        for (int c = 0; c < s->nchannels; ++c) release_array(s, s->laps[l].raw[c]);
    if (s->samples != nullptr) {
        unmap_pages(s->samples, s->sample_floats * sizeof(float));
        --live_blocks;
    }
    free_record(s->record);
    release(s);
}

int well_known_channel(const Session* s, int id) {
    if (s == nullptr) return 0;
    switch (static_cast<unsigned>(id)) {
    case 0:
        return s->i_distance;
    case 1:
        return s->i_speed;
    case 2:
        return s->i_latg;
    case 3:
        return s->i_longg;
    case 4:
        return s->i_seglen;
    case 5:
        return s->i_radius;
    case 6:
        return s->i_map_x;
    case 7:
        return s->i_map_y;
    case 8:
        return s->i_tdiff;
    case 9:
        return s->i_tdiff_dt;
    default:
        return 0;
    }
}

namespace {
constexpr float infinity = std::numeric_limits<float>::infinity();

// Strict comparisons, so a NaN sample is never taken.
template <typename Better>
float lap_extreme(const Session* s, int lap, int channel, float start, Better better) {
    if (!valid_lap(s, lap) || !valid_channel(s, channel)) return 0.0f;
    const Lap& l = s->laps[lap];
    float value = start;
    for (int j = 0; j < l.npoints; ++j)
        if (better(l.raw[channel][j], value)) value = l.raw[channel][j];
    return value;
}

template <typename Better>
float session_extreme(const Session* s, int channel, float start, Better better) {
    if (!valid_channel(s, channel)) return 0.0f;
    float value = start;
    for (int l = 0; l < s->nlaps; ++l) {
        float lap_value = lap_extreme(s, l, channel, start, better);
        if (better(lap_value, value)) value = lap_value;
    }
    return value;
}

bool greater(float a, float b) {
    return a > b;
}
bool less(float a, float b) {
    return a < b;
}
} // namespace

float lap_channel_max(const Session* s, int lap, int channel) {
    return lap_extreme(s, lap, channel, -infinity, greater);
}

float lap_channel_min(const Session* s, int lap, int channel) {
    return lap_extreme(s, lap, channel, infinity, less);
}

float session_channel_max(const Session* s, int channel) {
    return session_extreme(s, channel, -infinity, greater);
}

float session_channel_min(const Session* s, int channel) {
    return session_extreme(s, channel, infinity, less);
}

void format_laptime(char* dest, float t) {
    double whole_minutes = static_cast<double>(t) / 60.0;
    // Out of int range (or NaN) the minutes would be undefined: show seconds only.
    int minutes = std::fabs(whole_minutes) < 2147483647.0 ? static_cast<int>(whole_minutes) : 0;
    double rest = static_cast<double>(t) - minutes * 60.0;
    std::snprintf(dest, TEXT_SIZE, "%d:%#06.3f", minutes, rest);
}

} // namespace lx

namespace lx {
void free_record(SessionRecord* record) {
    delete record;
}

std::string record_field(const SessionRecord& record, const std::string& name) {
    for (const auto& [key, value] : record.fields)
        if (key == name) return value;
    return "";
}
} // namespace lx
