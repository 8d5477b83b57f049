/*
 * lx: analysis of motorsport data-logger sessions behind a plain C interface.
 *
 * A session is read from a logger's tab-separated text export and kept in
 * memory under a handle from 1 to 10. Every other call names sessions by
 * handle. Channel numbers and lap indices count from 0. Texts returned by the
 * library live in one shared 128-byte buffer: the 4 bytes before the text hold
 * its length, and the next text-returning call overwrites it.
 *
 * Every export is __stdcall on 32-bit Windows and takes and returns only
 * 32-bit integers, 32-bit floats, pointers to 32-bit integer arrays and
 * zero-terminated 8-bit texts. Nothing is thrown; failure is told by the
 * result alone (0, -1, 0.0 or a null text, as each entry says below).
 * All calls are expected on one thread at a time.
 */
#ifndef LX_H
#define LX_H

#if defined(_WIN32)
#if defined(LX_BUILDING)
/* Exported under the decorated names of lx.def, made plain by --kill-at. */
#define LX_API __declspec(dllexport) __stdcall
#else
#define LX_API __declspec(dllimport) __stdcall
#endif
#else
#define LX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- argument values ----------------------------------------------------- */

/* Derived channel ids of lx_channel_number. */
typedef enum lx_derived_channel {
    LX_CHANNEL_DISTANCE = 0,
    LX_CHANNEL_SPEED = 1,
    LX_CHANNEL_LAT_G = 2,
    LX_CHANNEL_LONG_G = 3,
    LX_CHANNEL_SEGMENT_LENGTH = 4,
    LX_CHANNEL_CURVATURE = 5,
    LX_CHANNEL_MAP_X = 6,
    LX_CHANNEL_MAP_Y = 7,
    LX_CHANNEL_TIME_DIFF = 8,
    LX_CHANNEL_TIME_DIFF_RATE = 9
} lx_derived_channel;

/* speed_units of lx_compute_session_math. */
typedef enum lx_speed_unit { LX_SPEED_MPH = 0, LX_SPEED_KMH = 1 } lx_speed_unit;

/* unit of lx_laptime_text. */
typedef enum lx_distance_unit { LX_UNIT_FEET = 0, LX_UNIT_METRES = 1 } lx_distance_unit;

/* cut_mode of lx_new_session_from_beacons: which lap starts become cuts. */
typedef enum lx_cut_mode {
    LX_CUT_MATCHES = 0,     /* stops and matches; the logger's beacons are ignored */
    LX_CUT_SNAP = 1,        /* stops, beacons that a match confirms within
                               snap_tolerance, and matches far from any beacon */
    LX_CUT_BEACON_SHIFT = 2 /* stops and matches, and the beacon shift measured */
} lx_cut_mode;

/* ---- session lifetime ---------------------------------------------------- */

/* Reads a text export into a new session. Returns its handle (1..10), or 0
 * when the name is null, ten sessions are open, or the file is refused (a
 * line on standard output says why). */
LX_API int lx_open_aim_xls(const char* filename);

/* Releases a session. Unknown handles are ignored. Always prints
 * "Freeing session N". */
LX_API void lx_free_session(int handle);

/* ---- queries ------------------------------------------------------------- */

/* Number of channels; 0 for an unknown handle. */
LX_API int lx_num_channels(int handle);

/* Number of laps; 0 for an unknown handle. */
LX_API int lx_num_laps(int handle);

/* Name of a channel; null for an unknown handle or channel. */
LX_API const char* lx_channel_name(int handle, int channel);

/* Channel number of derived channel id 0..9 (distance, speed, lat g, long g,
 * segment length, curvature, map x, map y, time difference, its rate: the
 * LX_CHANNEL_ values); 0 when that channel has not been added or the id is
 * unknown, 0 for an unknown handle. */
LX_API int lx_channel_number(int handle, int id);

/* Largest / smallest sample of a channel over all laps; 0.0 for an unknown
 * handle or channel; -inf / +inf for a session without laps. */
LX_API float lx_channel_max(int handle, int channel);
LX_API float lx_channel_min(int handle, int channel);

/* Always 0.5, whatever the arguments. */
LX_API float lx_session_average(int handle, int value);

/* A lap's length in metres (0.0 before the session math has run); 0.0 for an
 * unknown handle or lap. */
LX_API float lx_lap_length(int handle, int lap);

/* "N - m:ss.sss", with a note on the lap's origin for cut sessions. which = 0
 * shows the reported lap time, non-zero the time measured from the samples;
 * unit LX_UNIT_FEET writes distances in feet, any other unit in metres. Null
 * for an unknown handle or lap. */
LX_API const char* lx_laptime_text(int handle, int lap, int which, int unit);

/* ---- derived channels ---------------------------------------------------- */

/* Appends the six session-math channels (lat g, long g, distance, segment
 * length, speed, curvature). 1 on success, 0 on failure. */
LX_API int lx_session_setup(int handle);

/* Appends the two time-difference channels. 1 on success, 0 on failure. */
LX_API int lx_analysis_setup(int handle);

/* Appends the error and beacon channels used by lap matching and cutting.
 * 1 on success, 0 on failure. */
LX_API int lx_beacon_setup(int handle);

/* Fills the session-math channels from the logger's speed (speed_units
 * LX_SPEED_MPH or LX_SPEED_KMH), lateral g and longitudinal g channels (longg_ch 0: derived from
 * speed). 1 on success, 0 on failure. */
LX_API int lx_compute_session_math(int handle, int speed_ch, int latg_ch, int speed_units,
                                   int invert_lat, int longg_ch, int invert_long);

/* Time lost (positive) or gained against lap ref_lap of ref_handle at every
 * sample of work_handle; scale_to_length stretches the reference to each lap's
 * length. 1 on success, 0 on failure. */
LX_API int lx_calc_time_diff(int ref_handle, int ref_lap, int work_handle, int scale_to_length);

/* ---- lap matching -------------------------------------------------------- */

/* One step of the error channel: first != 0 starts a computation. Returns the
 * number of samples still to handle, 0 when done, -1 when a session or
 * channel is missing. */
LX_API int lx_compute_error_channel_step(int first, int ref_handle, int ref_lap,
                                         int work_handle);

/* Marks matched lap starts in the beacon channel. Returns the number of
 * matches, or -1 when a session or channel is missing. */
LX_API int lx_locate_laps(int ref_handle, int ref_lap, int work_handle);

/* Opens a new session cut at beacons, stops and matches (cut_mode an lx_cut_mode;
 * snap_tolerance in metres for LX_CUT_SNAP). Returns its handle, -1 when a session
 * or channel is missing, 0 when it could not be built or no handle was free. */
LX_API int lx_new_session_from_beacons(int ref_handle, int ref_lap, int work_handle,
                                       int cut_mode, float snap_tolerance);

/* Average distance in metres between matches and beacons from the last cut in
 * mode LX_CUT_BEACON_SHIFT; 0.0 for an unknown handle. */
LX_API float lx_get_beacon_shift(int handle);

/* ---- display ------------------------------------------------------------- */

/* Appends the "map x" and "map y" channels. 1 on success, 0 on failure. */
LX_API int lx_map_setup(int handle);

/* Dead-reckons lap into a closed track map and scales it into a winx by winy
 * window, filling points pixel coordinates into x and y. 1 on success, 0 (arrays
 * untouched) on failure. */
LX_API int lx_scaled_map(int handle, int* x, int* y, int points, int lap, int winx, int winy,
                         int border, float latg_scale, float start_heading);

/* One channel of a lap against distance as chart pixels, at most maxpoints
 * points. Returns the number of points written, 0 on failure (arrays untouched). */
LX_API int lx_scaled_chart_lap_dist(int handle, int lap, int channel, float cmax, float cmin,
                                    int maxpoints, int winx, int winy, int xoffset, int ybottom,
                                    float dist_range, int* x, int* y);

/* ---- file output --------------------------------------------------------- */

/* Writes a lap as a MoTeC CSV file (CR LF line ends). 1 on success, 0 on failure. */
LX_API int lx_write_lap_motec(int handle, int lap, const char* path);

#ifdef __cplusplus
}
#endif

#endif /* LX_H */
