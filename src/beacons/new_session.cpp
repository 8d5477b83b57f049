// A new session whose laps are cut where the cut list says.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/output.h"
#include "beacons/beacons.h"
#include "lx.h"
#include "session/record.h"

namespace lx {

namespace {

void copy_header(Session* s, const Session* work) {
    // Shorten the source name rather than lose the suffix that marks a cut session.
    std::snprintf(s->filename, sizeof s->filename, "%.*s_kx", TEXT_SIZE - 4, work->filename);
    std::memcpy(s->driver, work->driver, sizeof s->driver);
    std::memcpy(s->venue, work->venue, sizeof s->venue);
    std::memcpy(s->vehicle, work->vehicle, sizeof s->vehicle);
    int channels = std::clamp(work->nfile_channels, 0, work->nchannels);
    s->nchannels = s->nfile_channels = channels;
    std::copy(work->channels, work->channels + channels, s->channels);
    s->sample_rate = work->sample_rate;
    s->speed_source = work->speed_source;
    s->latg_source = work->latg_source;
    s->beacon_shift = work->beacon_shift;
}

bool allocate_lap(Lap& lap, int channels, int entries) {
    for (int c = 0; c < channels; ++c) {
        lap.raw[c] = static_cast<float*>(alloc_zeroed(sizeof(float) * entries));
        if (lap.raw[c] == nullptr) return false;
    }
    return true;
}

// Copies the entry's samples from the working session, walking across its laps.
bool copy_samples(Lap& lap, const Session* work, const CutEntry& e, int channels) {
    int src_lap = e.start_lap;
    int src_point = e.start_point;
    for (int j = 0; j < e.entries; ++j) {
        while (src_lap >= 0 && src_lap < work->nlaps && src_point >= work->laps[src_lap].npoints) {
            ++src_lap;
            src_point = 0;
        }
        if (src_lap < 0 || src_lap >= work->nlaps) return false;
        for (int c = 0; c < channels; ++c) lap.raw[c][j] = work->laps[src_lap].raw[c][src_point];
        ++src_point;
    }
    return true;
}

// The cut session starts and ends where the working session did; a lap kept
// whole keeps the logger's time. Without memory for it the session has no
// record, as when nobody kept one.
void record_cut(Session* s, const Session* work, const CutEntry* list) {
    if (work->record == nullptr) return;
    const SessionRecord& from = *work->record;
    try {
        auto* r = new SessionRecord;
        s->record = r;
        r->starts_at_mark = from.starts_at_mark;
        r->ends_at_mark = from.ends_at_mark;
        for (int i = 0; i < s->nlaps; ++i) {
            auto source = static_cast<std::size_t>(list[i].start_lap);
            bool timed = list[i].intact && list[i].start_lap >= 0 && source < from.logger_ms.size();
            r->logger_ms.push_back(timed ? from.logger_ms[source] : -1);
        }
    } catch (const std::bad_alloc&) {
        free_record(s->record);
        s->record = nullptr;
    }
}

Session* failed(CutFailure* why, CutFailure failure) {
    if (why != nullptr) *why = failure;
    return nullptr;
}

} // namespace

Session* new_session_from_cutlist(const Session* work, const CutEntry* list, const Sink& out,
                                  CutFailure* why) {
    int entries = 0;
    while (list[entries].kind != CL_END) ++entries;
    ++entries;
    if (entries > MAX_LAPS) {
        emit(out, "Error: %d laps do not fit in a session! (new_session_from_cutlist)\n", entries);
        return failed(why, CutFailure::too_many_laps);
    }
    Session* s = new_session();
    if (s == nullptr) return failed(why, CutFailure::memory);
    copy_header(s, work);
    for (int i = 0; i < entries; ++i) {
        const CutEntry& e = list[i];
        Lap& lap = s->laps[i];
        s->nlaps = i + 1; // so that free_session finds what this lap got
        if (!allocate_lap(lap, s->nchannels, e.entries)) {
            emit(out, "Error allocating memory! (new_session_from_cutlist)\n");
            free_session(s);
            return failed(why, CutFailure::memory);
        }
        lap.npoints = e.entries;
        lap.number = i + 1;
        lap.original = e.intact ? work->laps[e.start_lap].number : 0;
        lap.laptime = e.laptime;
        lap.raw_laptime = e.raw_laptime;
        lap.lap_length = e.lap_length;
        lap.cut_offset = e.nearest_ir;
        if (!copy_samples(lap, work, e, s->nchannels)) {
            emit(out, "Error: ran off end of working lap! (new_session_from_cutlist)\n");
            free_session(s);
            return failed(why, CutFailure::samples_missing);
        }
    }
    record_cut(s, work, list);
    return s;
}

Session* cut_working_session(Session* work, int cut_mode, float snap_tolerance, int beacon_channel,
                             TraceOptions options, CutFailure* why) {
    CutEntry list[CUTLIST_CAPACITY];
    int count = cutlist_build(list, work, cut_mode, beacon_channel, work->i_seglen, work->i_speed);
    if (count > CUTLIST_CAPACITY) {
        emit(options.sink,
             "Error: %d cuts do not fit in the cut list! (lx_new_session_from_beacons)\n", count);
        return failed(why, CutFailure::too_many_cuts);
    }
    if (options.verbose) {
        emit(options.sink, "\n");
        cutlist_print(list, options.sink);
        emit(options.sink, "\n");
    }
    work->beacon_shift = cut_mode == LX_CUT_BEACON_SHIFT ? cutlist_nearest_ir(list, options) : 0.0f;
    cutlist_snap_to_ir(list, cut_mode, snap_tolerance, options);
    cutlist_mark_intact(list, work);
    if (options.verbose) {
        emit(options.sink, "\n");
        cutlist_print(list, options.sink);
        emit(options.sink, "\n");
    }
    return new_session_from_cutlist(work, list, options.sink, why);
}

} // namespace lx
