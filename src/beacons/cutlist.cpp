// The cut list: where a working session is to be cut into laps, from the
// logger's lap starts (beacons, stops) and the matched lap starts.
#include <cstdio>
#include <optional>

#include "base/output.h"
#include "base/units.h"
#include "beacons/beacons.h"
#include "lx.h"

namespace lx {

namespace {

constexpr double STOP_SPEED = 0.1;
constexpr float NO_IR = 1000000.0f;

// What snapping does with an entry; the trace prints the number.
enum MergeCode : int {
    KEEP = 0,
    DETECTION_AFTER_IR = 1,  // the match follows a beacon within the tolerance
    DETECTION_BEFORE_IR = 2, // the match precedes a beacon within the tolerance
    UNCONFIRMED_IR = 3,      // a beacon no match confirms
};

bool is_ir(CutKind kind) {
    return kind == CL_AIM_IR || kind == CL_IR_AND_KX;
}

bool is_logger_cut(CutKind kind) {
    return kind == CL_END || kind == CL_AIM_STOP || kind == CL_AIM_IR || kind == CL_IR_AND_KX;
}

int end_index(const CutEntry* list) {
    int i = 0;
    while (list[i].kind != CL_END) ++i;
    return i;
}

float samples_to_seconds(int entries, float sample_rate) {
    return static_cast<float>(static_cast<double>(entries) / sample_rate);
}

// Where the current entry began: its first sample and the distance before it.
struct EntryStart {
    int lap;
    int point;
    int index;
    float distance;
};

CutEntry make_entry(CutKind kind, const EntryStart& start, int index, float distance,
                    float sample_rate) {
    CutEntry e{};
    e.kind = kind;
    e.entries = index - start.index;
    e.start_lap = start.lap;
    e.start_point = start.point;
    e.start_index = start.index;
    e.lap_length = distance - start.distance;
    e.laptime = e.raw_laptime = samples_to_seconds(e.entries, sample_rate);
    return e;
}

// The kind of cut at a sample, if there is one.
std::optional<CutKind> cut_at(const Session* work, int lap, int point, int cut_mode,
                              int beacon_channel, int speed_channel) {
    bool detected = work->laps[lap].raw[beacon_channel][point] > 0.0f;
    std::optional<CutKind> kind;
    if (detected) kind = CL_KX_DETECT;
    if (point == 0 && lap != 0) {
        if (work->laps[lap].raw[speed_channel][0] < STOP_SPEED)
            kind = CL_AIM_STOP;
        else if (cut_mode != LX_CUT_MATCHES)
            kind = detected ? CL_IR_AND_KX : CL_AIM_IR;
    }
    return kind;
}

void print_lengths(const CutEntry* list, int i, const Sink& out) {
    // Entry 0 has no entry before it: its column shows 0.0.
    float before = i > 0 ? list[i - 1].lap_length : 0.0f;
    emit(out, " %-10.1f %-10.1f %-10.1f %-10.1f", before, list[i].lap_length,
         list[i + 1].lap_length, list[i].nearest_ir);
}

float detection_shift(const CutEntry* list, int i) {
    float behind = i > 0 && is_ir(list[i - 1].kind) ? list[i].lap_length : NO_IR;
    float ahead = is_ir(list[i + 1].kind) ? list[i + 1].lap_length : NO_IR;
    if (behind == NO_IR && ahead == NO_IR) return 0.0f;
    return ahead < behind ? ahead : -behind;
}

MergeCode merge_code(const CutEntry* list, int i, int cut_mode, float tolerance) {
    const CutEntry& e = list[i];
    const CutEntry& next = list[i + 1];
    MergeCode m = KEEP;
    if (e.kind == CL_KX_DETECT && cut_mode == LX_CUT_SNAP) {
        if (i > 0 && is_ir(list[i - 1].kind) && e.lap_length <= tolerance) m = DETECTION_AFTER_IR;
        if (is_ir(next.kind) && next.lap_length <= tolerance) m = DETECTION_BEFORE_IR;
    } else if (e.kind == CL_AIM_IR) {
        bool confirmed =
            cut_mode == LX_CUT_SNAP && next.kind == CL_KX_DETECT && next.lap_length <= tolerance;
        m = confirmed ? KEEP : UNCONFIRMED_IR;
    }
    return m;
}

// Removes the cut that ends entry i: entry i+1 takes its samples over and the
// list closes up by one.
void join_into_next(CutEntry* list, int i) {
    const CutEntry& e = list[i];
    CutEntry& next = list[i + 1];
    next.entries += e.entries;
    next.start_lap = e.start_lap;
    next.start_point = e.start_point;
    next.start_index = e.start_index;
    next.lap_length += e.lap_length;
    next.raw_laptime += e.raw_laptime;
    next.laptime = next.raw_laptime;
    int end = end_index(list);
    for (int k = i; k < end; ++k) list[k] = list[k + 1];
}

} // namespace

const char* cut_kind_name(CutKind kind) {
    switch (kind) {
    case CL_END:
        return "CL_END";
    case CL_AIM_STOP:
        return "CL_AIM_STOP";
    case CL_AIM_IR:
        return "CL_AIM_IR";
    case CL_IR_AND_KX:
        return "CL_IR_AND_KX";
    case CL_KX_DETECT:
        return "CL_KX_DETECT";
    default:
        return "unknown";
    }
}

// Returns how many entries the session yields, the end entry included. Only
// CUTLIST_CAPACITY fit: past that, later cuts are counted but not written and
// the end entry takes the last slot, so a result above the capacity tells the
// caller that the list is incomplete.
int cutlist_build(CutEntry* list, const Session* work, int cut_mode, int beacon_channel,
                  int seglen_channel, int speed_channel) {
    float distance = 0.0f;
    int index = 0;
    int count = 0;
    EntryStart start{0, 0, 0, 0.0f};
    for (int l = 0; l < work->nlaps; ++l) {
        const float* seglen = work->laps[l].raw[seglen_channel];
        for (int p = 0; p < work->laps[l].npoints; ++p) {
            std::optional<CutKind> kind =
                cut_at(work, l, p, cut_mode, beacon_channel, speed_channel);
            if (kind) {
                if (count < CUTLIST_CAPACITY - 1)
                    list[count] = make_entry(*kind, start, index, distance, work->sample_rate);
                ++count;
                if (count < CUTLIST_CAPACITY) start = {l, p, index, distance};
            }
            distance += seglen[p];
            ++index;
        }
    }
    int last = count < CUTLIST_CAPACITY ? count : CUTLIST_CAPACITY - 1;
    list[last] = make_entry(CL_END, start, index, distance, work->sample_rate);
    return count + 1;
}

float cutlist_nearest_ir(CutEntry* list, TraceOptions options) {
    float sum = 0.0f;
    int count = 0;
    int end = end_index(list);
    for (int i = 0; i < end; ++i) {
        if (list[i].kind == CL_KX_DETECT) {
            list[i].nearest_ir = detection_shift(list, i);
            if (list[i].nearest_ir != 0.0f) {
                sum += list[i].nearest_ir;
                ++count;
            }
        }
        if (options.verbose) {
            emit(options.sink, "%3d : %-12s", i, cut_kind_name(list[i].kind));
            print_lengths(list, i, options.sink);
            emit(options.sink, "\n");
        }
    }
    // Without a detection next to a beacon there is no shift to speak of.
    float shift = count > 0 ? static_cast<float>(static_cast<double>(sum) / count) : 0.0f;
    if (options.verbose)
        emit(options.sink, "Average beacon shift = %.1fm, %.1fft\n", shift, shift * FEET_PER_METRE);
    return shift;
}

int cutlist_snap_to_ir(CutEntry* list, int cut_mode, float snap_tolerance, TraceOptions options) {
    if (options.verbose)
        emit(options.sink, "cutlist_snap_to_ir(0x%08x, %d, %.1f)\n", trace_address(list), cut_mode,
             snap_tolerance);
    int i = 0;
    while (list[i].kind != CL_END) {
        MergeCode m = merge_code(list, i, cut_mode, snap_tolerance);
        if (options.verbose) {
            emit(options.sink, "%3d : %-12s %d", i, cut_kind_name(list[i].kind),
                 static_cast<int>(m));
            print_lengths(list, i, options.sink);
            emit(options.sink, "%s\n", m != KEEP ? " - merge" : "");
        }
        if (m == KEEP) {
            ++i;
            continue;
        }
        if (m == DETECTION_BEFORE_IR) list[i + 1].kind = CL_IR_AND_KX;
        if (m == DETECTION_AFTER_IR) list[i - 1].kind = CL_IR_AND_KX;
        join_into_next(list, i);
    }
    return 0;
}

void cutlist_mark_intact(CutEntry* list, const Session* work) {
    bool previous_logger = true; // the session's start counts as a logger cut
    int end = end_index(list);
    for (int i = 0; i <= end; ++i) {
        CutEntry& e = list[i];
        e.raw_laptime = samples_to_seconds(e.entries, work->sample_rate);
        bool logger = is_logger_cut(e.kind);
        if (logger && previous_logger) {
            if (valid_lap(work, e.start_lap) && e.entries == work->laps[e.start_lap].npoints) {
                e.laptime = work->laps[e.start_lap].laptime;
                e.intact = 1;
            }
        } else {
            e.laptime = e.raw_laptime;
            e.intact = 0;
        }
        previous_logger = logger;
    }
}

void cutlist_print(const CutEntry* list, const Sink& out) {
    int end = end_index(list);
    char raw_time[TEXT_SIZE];
    char time[TEXT_SIZE];
    for (int i = 0; i <= end; ++i) {
        const CutEntry& e = list[i];
        format_laptime(raw_time, e.raw_laptime);
        format_laptime(time, e.laptime);
        emit(out,
             "Lap cut %d : %12s %8d entries, start lap[%d][%d] (%d), %.1fm %s (%s) "
             "nearest IR %.1fm%s\n",
             i, cut_kind_name(e.kind), e.entries, e.start_lap, e.start_point, e.start_index,
             e.lap_length, raw_time, time, e.nearest_ir, e.intact ? " - intact!" : "");
    }
}

} // namespace lx
