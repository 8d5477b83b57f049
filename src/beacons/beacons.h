// The cut list of lap starts and the new session cut from it.
#pragma once

#include "base/trace.h"
#include "session/session.h"

namespace lx {

constexpr int CUTLIST_CAPACITY = 256;

// What ends an entry: the list's end, a logger lap start (a stop, a beacon, a
// beacon a match confirmed) or a match.
enum CutKind : int {
    CL_END = 0,
    CL_AIM_STOP = 1,
    CL_AIM_IR = 2,
    CL_IR_AND_KX = 3,
    CL_KX_DETECT = 4,
};

struct CutEntry {
    CutKind kind;
    int entries;
    int start_lap;
    int start_point;
    int start_index;
    float lap_length;
    float laptime;
    float raw_laptime;
    float nearest_ir;
    int intact;
};

const char* cut_kind_name(CutKind kind);

int cutlist_build(CutEntry* list, const Session* work, int cut_mode, int beacon_channel,
                  int seglen_channel, int speed_channel);
float cutlist_nearest_ir(CutEntry* list, TraceOptions options);
int cutlist_snap_to_ir(CutEntry* list, int cut_mode, float snap_tolerance, TraceOptions options);
void cutlist_mark_intact(CutEntry* list, const Session* work);
void cutlist_print(const CutEntry* list, const Sink& out);

// Why a cut session could not be built.
enum class CutFailure { none, too_many_cuts, too_many_laps, memory, samples_missing };

Session* new_session_from_cutlist(const Session* work, const CutEntry* list, const Sink& out,
                                  CutFailure* why = nullptr);

// The new session cut from work (cut_mode an lx_cut_mode), with work's beacon
// shift set; null after printing why (and saying so in why when not null) when
// it cannot be built.
Session* cut_working_session(Session* work, int cut_mode, float snap_tolerance, int beacon_channel,
                             TraceOptions options, CutFailure* why = nullptr);

} // namespace lx
