// The whole error channel in one call, its samples shared among threads. The
// single-step run fixes every result: a fit only where its running distance
// grew, the last fit standing elsewhere, and an end at the first start whose
// walk ahead leaves the session. Blocks of samples are handed out in order;
// each starts from the fit the single-step run would hold there.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/cursor.h"
#include "analysis/fit.h"
#include "base/parallel.h"

namespace lx {

namespace {

constexpr std::int64_t BLOCK_SAMPLES = 1024;

struct WholeRun {
    RefLap ref;
    Session* work;
    int error_channel;
    std::vector<std::int64_t> lap_start; // each lap's first sample in session order, then the total
    std::vector<char> fresh;             // a new fit at this sample
    std::atomic<std::int64_t> next_block;
    std::atomic<std::int64_t> end; // the first start whose walk ahead left the session

    std::int64_t total() const { return lap_start.back(); }

    LapCursor cursor(std::int64_t sample) const {
        auto after = std::upper_bound(lap_start.begin(), lap_start.end(), sample);
        int lap = static_cast<int>(after - lap_start.begin()) - 1;
        return cursor_at(work, work->i_seglen, work->i_radius, lap,
                         static_cast<int>(sample - lap_start[static_cast<std::size_t>(lap)]));
    }
};

std::vector<std::int64_t> lap_starts(const Session* s) {
    std::vector<std::int64_t> start{0};
    for (int l = 0; l < s->nlaps; ++l)
        start.push_back(start.back() + std::max(s->laps[l].npoints, 0));
    return start;
}

// Where the single-step run's distance, summed in float as it sums it, grew.
std::vector<char> fresh_fits(const Session* s, std::int64_t total) {
    std::vector<char> fresh(static_cast<std::size_t>(total));
    float previous = -1.0f;
    float distance = 0.0f;
    std::size_t i = 0;
    for (int l = 0; l < s->nlaps; ++l) {
        const float* seg = s->laps[l].raw[s->i_seglen];
        for (int p = 0; p < s->laps[l].npoints; ++p, ++i) {
            fresh[i] = distance > previous;
            previous = distance;
            distance += seg[p];
        }
    }
    return fresh;
}

void lower_end(std::atomic<std::int64_t>& end, std::int64_t sample) {
    std::int64_t seen = end.load();
    while (sample < seen && !end.compare_exchange_weak(seen, sample)) {
    }
}

// The fit that stands at sample: the one made at the last fresh sample up to
// it (the session's first sample is always fresh).
Fit standing_fit(const WholeRun& run, std::int64_t sample) {
    while (!run.fresh[static_cast<std::size_t>(sample)]) --sample;
    return fit_reference(run.ref, run.cursor(sample));
}

void fill_block(WholeRun& run, std::int64_t begin, std::int64_t end) {
    LapCursor at = run.cursor(begin);
    Fit fit = standing_fit(run, begin);
    for (std::int64_t i = begin; i < end; ++i) {
        if (i > begin && run.fresh[static_cast<std::size_t>(i)]) fit = fit_reference(run.ref, at);
        if (fit.finished) {
            lower_end(run.end, i);
            return;
        }
        if (!fit.start_reached) run.work->laps[at.lap].raw[run.error_channel][at.point] = fit.error;
        step_forward(at);
    }
}

void fill_blocks(WholeRun& run) {
    for (;;) {
        std::int64_t begin = run.next_block.fetch_add(1) * BLOCK_SAMPLES;
        if (begin >= run.total() || begin >= run.end.load()) return;
        fill_block(run, begin, std::min(begin + BLOCK_SAMPLES, run.total()));
    }
}

// Blocks past the end ran before the end was known: their samples go back to unset.
void clear_from(const WholeRun& run, std::int64_t sample) {
    if (sample >= run.total()) return;
    LapCursor at = run.cursor(sample);
    do run.work->laps[at.lap].raw[run.error_channel][at.point] = ERROR_UNSET;
    while (step_forward(at));
}

} // namespace

void error_channel_whole(const Session* ref, int ref_lap, Session* work, int error_channel,
                         int threads) {
    const Lap& lap = ref->laps[ref_lap];
    WholeRun run{{lap.raw[ref->i_seglen], lap.raw[ref->i_radius], lap.npoints},
                 work,
                 error_channel,
                 lap_starts(work),
                 {},
                 {0},
                 {0}};
    run.fresh = fresh_fits(work, run.total());
    run.end = run.total();
    fill_channel(work, error_channel, ERROR_UNSET);
    auto worker = [&run](int) { fill_blocks(run); };
    run_workers(worker_count(threads), worker);
    clear_from(run, run.end.load());
}

} // namespace lx
