// The library's exports as the tool sees them. Beyond opening a session and
// its queries they are declared weak, so that the tool still starts against a
// liblx.so that lacks some of them and can say which one is missing.
#pragma once

#include "lx.h"

#pragma weak lx_session_setup
#pragma weak lx_analysis_setup
#pragma weak lx_beacon_setup
#pragma weak lx_compute_session_math
#pragma weak lx_calc_time_diff
#pragma weak lx_compute_error_channel_step
#pragma weak lx_locate_laps
#pragma weak lx_new_session_from_beacons
#pragma weak lx_get_beacon_shift
#pragma weak lx_map_setup
#pragma weak lx_scaled_map
#pragma weak lx_scaled_chart_lap_dist
#pragma weak lx_write_lap_motec
