// Lap location: the lowest errors that stand clearly below the average become
// lap matches, marked in the beacon channel with a zone around each.
#include <cstdio>

#include "analysis/analysis.h"
#include "base/output.h"
#include "lx.h"

namespace lx {

namespace {

constexpr float MATCH_MARK = 1.0f;
constexpr float EXCLUDED_MARK = -1.0f;
constexpr float FREE_MARK = 0.0f;
constexpr double QUALITY_THRESHOLD = 30.0;
constexpr double ZONE_FRACTION = 0.3;

struct Sample {
    int lap;
    int point;
};

struct Candidate {
    Sample at;
    float error;
};

// The free sample with the smallest error; ties keep the earliest.
Candidate best_free_sample(const Session* work, int error_channel, int beacon_channel) {
    Candidate best{{0, 0}, ERROR_UNSET};
    for (int l = 0; l < work->nlaps; ++l) {
        const float* errors = work->laps[l].raw[error_channel];
        const float* marks = work->laps[l].raw[beacon_channel];
        for (int p = 0; p < work->laps[l].npoints; ++p)
            if (marks[p] == FREE_MARK && errors[p] < best.error) best = {{l, p}, errors[p]};
    }
    return best;
}

bool next_sample(const Session* s, Sample& x) {
    ++x.point;
    while (x.point >= s->laps[x.lap].npoints) {
        if (++x.lap >= s->nlaps) return false;
        x.point = 0;
    }
    return true;
}

bool previous_sample(const Session* s, Sample& x) {
    --x.point;
    while (x.point < 0) {
        if (--x.lap < 0) return false;
        x.point = s->laps[x.lap].npoints - 1;
    }
    return true;
}

// Marks samples excluded from the match on until half is covered, clipped at
// the session's end (or start, walking back).
void exclude_zone(Session* work, Sample from, float half, int seglen, int beacon_channel,
                  bool (*step)(const Session*, Sample&)) {
    float covered = 0.0f;
    Sample x = from;
    while (covered < half) {
        work->laps[x.lap].raw[beacon_channel][x.point] = EXCLUDED_MARK;
        covered += work->laps[x.lap].raw[seglen][x.point];
        if (!step(work, x)) break;
    }
}

} // namespace

float average_error(const Session* s, int channel) {
    if (!valid_channel(s, channel)) return 0.0f;
    float sum = 0.0f;
    long count = 0;
    for (int l = 0; l < s->nlaps; ++l) {
        const float* errors = s->laps[l].raw[channel];
        for (int p = 0; p < s->laps[l].npoints; ++p) {
            if (errors[p] < ERROR_UNSET) {
                sum += errors[p];
                ++count;
            }
        }
    }
    if (count == 0) return 0.0f;
    return static_cast<float>(static_cast<double>(sum) / static_cast<double>(count));
}

int find_lap_matches(Session* ref, int ref_lap, Session* work, int error_channel, int work_seglen,
                     int beacon_channel, TraceOptions options) {
    float average = average_error(work, error_channel);
    if (options.verbose) emit("Average error = %.1f\n", average);
    const float half = static_cast<float>(ZONE_FRACTION * ref->laps[ref_lap].lap_length);
    int count = 0;
    float quality = 100.0f;
    while (quality > QUALITY_THRESHOLD) {
        Candidate best = best_free_sample(work, error_channel, beacon_channel);
        // Without a candidate only a negative average could pass the threshold.
        if (!(best.error < ERROR_UNSET)) break;
        double exact = (static_cast<double>(average) - best.error) / average * 100.0;
        quality = static_cast<float>(exact);
        if (!(exact > QUALITY_THRESHOLD)) continue;
        if (options.verbose)
            emit("Lap match #%d (%.1f) found at lap %d, point %d\n", count + 1, quality,
                        best.at.lap, best.at.point);
        exclude_zone(work, best.at, half, work_seglen, beacon_channel, next_sample);
        exclude_zone(work, best.at, half, work_seglen, beacon_channel, previous_sample);
        work->laps[best.at.lap].raw[beacon_channel][best.at.point] = MATCH_MARK;
        ++count;
    }
    return count;
}

} // namespace lx

using namespace lx;

extern "C" {

LX_API int lx_locate_laps(int ref_handle, int ref_lap, int work_handle) {
    if (verbose()) emit("lx_locate_laps(%d,%d,%d)\n", ref_handle, ref_lap, work_handle);
    Session* ref = lookup_session(ref_handle);
    Session* work = lookup_session(work_handle);
    if (!matching_ready(ref, work) || !valid_lap(ref, ref_lap)) return -1;
    fill_channel(work, library.beacon_channel, FREE_MARK);
    return find_lap_matches(ref, ref_lap, work, library.error_channel, work->i_seglen,
                            library.beacon_channel, library.trace);
}

} // extern "C"
