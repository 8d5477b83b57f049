// Lap location: the lowest errors that stand clearly below the average become
// lap matches, marked in the beacon channel with a zone around each.
#include <array>
#include <cstdio>

#include "analysis/analysis.h"
#include "analysis/cursor.h"
#include "base/output.h"
#include "base/parallel.h"

namespace lx {

namespace {

constexpr float MATCH_MARK = 1.0f;
constexpr float EXCLUDED_MARK = -1.0f;
constexpr float FREE_MARK = 0.0f;
constexpr double QUALITY_THRESHOLD = 30.0;
constexpr double ZONE_FRACTION = 0.3;

struct Candidate {
    int lap;
    int point;
    float error;
};

// The free sample with the smallest error among laps first to last - 1; ties
// keep the earliest.
Candidate best_free_sample(const Session* work, int first, int last, int error_channel,
                           int beacon_channel) {
    Candidate best{0, 0, ERROR_UNSET};
    for (int l = first; l < last; ++l) {
        const float* errors = work->laps[l].raw[error_channel];
        const float* marks = work->laps[l].raw[beacon_channel];
        for (int p = 0; p < work->laps[l].npoints; ++p)
            if (marks[p] == FREE_MARK && errors[p] < best.error) best = {l, p, errors[p]};
    }
    return best;
}

// The same search with the laps shared among workers, each taking a run of
// laps in order, so that the earliest of equal errors still wins.
Candidate best_free_sample(const Session* work, int error_channel, int beacon_channel,
                           int workers) {
    if (workers <= 1) return best_free_sample(work, 0, work->nlaps, error_channel, beacon_channel);
    std::array<Candidate, LX_MAX_THREADS> found;
    auto search = [&](int w) {
        found[static_cast<std::size_t>(w)] =
            best_free_sample(work, work->nlaps * w / workers, work->nlaps * (w + 1) / workers,
                             error_channel, beacon_channel);
    };
    run_workers(workers, search);
    Candidate best = found[0];
    for (int w = 1; w < workers; ++w)
        if (found[static_cast<std::size_t>(w)].error < best.error)
            best = found[static_cast<std::size_t>(w)];
    return best;
}

// Marks samples excluded from the match on until half is covered, clipped at
// the session's end (or start, walking back).
void exclude_zone(Session* work, LapCursor x, float half, int beacon_channel,
                  bool (*step)(LapCursor&)) {
    float covered = 0.0f;
    while (covered < half) {
        work->laps[x.lap].raw[beacon_channel][x.point] = EXCLUDED_MARK;
        covered += x.seg[x.point];
        if (!step(x)) break;
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
                     int beacon_channel, TraceOptions options, int threads) {
    const int workers = worker_count(threads);
    float average = average_error(work, error_channel);
    if (options.verbose) emit(options.sink, "Average error = %.1f\n", average);
    const float half = static_cast<float>(ZONE_FRACTION * ref->laps[ref_lap].lap_length);
    int count = 0;
    float quality = 100.0f;
    while (quality > QUALITY_THRESHOLD) {
        Candidate best = best_free_sample(work, error_channel, beacon_channel, workers);
        // Without a candidate only a negative average could pass the threshold.
        if (!(best.error < ERROR_UNSET)) break;
        double exact = (static_cast<double>(average) - best.error) / average * 100.0;
        quality = static_cast<float>(exact);
        if (!(exact > QUALITY_THRESHOLD)) continue;
        if (options.verbose)
            emit(options.sink, "Lap match #%d (%.1f) found at lap %d, point %d\n", count + 1,
                 quality, best.lap, best.point);
        LapCursor at = cursor_at(work, work_seglen, beacon_channel, best.lap, best.point);
        exclude_zone(work, at, half, beacon_channel, step_forward);
        exclude_zone(work, at, half, beacon_channel, step_back);
        work->laps[best.lap].raw[beacon_channel][best.point] = MATCH_MARK;
        ++count;
    }
    return count;
}

int locate_laps(Session* ref, int ref_lap, Session* work, int error_channel, int beacon_channel,
                TraceOptions options, int threads) {
    fill_channel(work, beacon_channel, FREE_MARK);
    return find_lap_matches(ref, ref_lap, work, error_channel, work->i_seglen, beacon_channel,
                            options, threads);
}

} // namespace lx
