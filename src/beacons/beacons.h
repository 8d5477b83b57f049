// The cut list of lap starts and the new session cut from it.
#pragma once

#include "frame/frame.h"

namespace lx {

constexpr int CUTLIST_CAPACITY = 256;

enum CutKind : int {
    CL_END = 0,
    CL_AIM_STOP = 1,
    CL_AIM_IR = 2,
    CL_IR_AND_KX = 3,
    CL_KX_DETECT = 4,
};

struct CutEntry {
    int kind;
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

const char* cut_kind_name(int kind);

int cutlist_build(CutEntry* list, const Session* work, int cut_mode, int beacon_channel,
                  int seglen_channel, int speed_channel);
float cutlist_nearest_ir(CutEntry* list, TraceOptions options);
int cutlist_snap_to_ir(CutEntry* list, int cut_mode, float snap_tolerance, TraceOptions options);
void cutlist_mark_intact(CutEntry* list, const Session* work);
void cutlist_print(const CutEntry* list);

Session* new_session_from_cutlist(const Session* work, const CutEntry* list);

} // namespace lx
