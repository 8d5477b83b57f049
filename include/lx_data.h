/*
 * lx data API: what programs need beyond the front-end's calls of lx.h.
 *
 * Sessions: lx_open and lx_cut_session number their sessions from
 * LX_DATA_HANDLE_FIRST (2^20) upwards, apart from the front-end's 1..10, and
 * never give a number twice in a process; any number may be open, as memory
 * allows. The exports of lx.h refuse these handles as unknown. The calls
 * here that only read a session's facts and samples (lx_session_info_get,
 * lx_channel_info_get, lx_lap_info_get, lx_session_note, lx_find_channel,
 * lx_lap_samples, lx_lap_closure, lx_derived_channel_number,
 * lx_channel_range) also read a session of lx_open_aim_xls; every other call
 * refuses one with LX_ERR_HANDLE, saying so. Nothing here changes what the exports of lx.h do,
 * print or compute.
 *
 * Threads: the library takes no lock on a session. Calls on different
 * sessions may run at the same time on any threads, lx_open and lx_close
 * included. On one session, calls that only read it (its facts, samples,
 * lx_channel_range, lx_chart_pixels, the lx_analysis_* queries of a finished
 * analysis, the writers) may run at the same time; calls that change it
 * (lx_session_math, lx_time_diff, lx_analyse, lx_map_pixels, lx_map_points,
 * lx_match_laps and lx_cut_session on their working session, lx_close) need
 * it alone: nothing else may use it meanwhile, and the program sees to that.
 * A session used as a reference (ref_handle) is only read. The outcome of
 * the last call (lx_last_error, lx_last_status) is kept per thread. The
 * exports of lx.h stay one thread at a time, on sessions of their own.
 *
 * - Results: a function returning int gives LX_OK (0) or a count or handle
 *   (>= 0) on success and a negative lx_status on failure. After a failure,
 *   lx_last_error() holds one line naming the cause; after a success it is "".
 *   lx_last_error, lx_last_status, lx_status_text and lx_data_version leave
 *   that outcome as it is.
 * - Nothing here prints. Lines the core would print while serving a call of
 *   this API (a file refused, a channel that does not fit) become part of
 *   lx_last_error().
 * - Buffers are the caller's: sizes are counts of elements, nothing is written
 *   past them, and no pointer into the library's own arrays is handed out.
 *   Texts are copied into fixed fields of the records below, cut at a UTF-8
 *   character boundary and always zero-terminated.
 * - Lap indices and channel numbers count from 0, as in lx.h.
 *
 * Not part of the 32-bit lx.dll: it keeps exactly the 24 exports of lx.h.
 */
#ifndef LX_DATA_H
#define LX_DATA_H

#include "lx.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The 32-bit lx.dll keeps exactly the 24 exports of lx.h: there these
 * functions are built into the library but not exported. */
#if defined(_WIN32)
#define LX_DATA_API
#else
#define LX_DATA_API LX_API
#endif

/* major * 10000 + minor * 100 + patch. The major number changes when a
 * function's signature or meaning changes; programs check it at start. */
#define LX_DATA_VERSION 20300
LX_DATA_API int lx_data_version(void);

/* The first handle of the data API's sessions. */
#define LX_DATA_HANDLE_FIRST (1 << 20)

/* ---- errors -------------------------------------------------------------- */

typedef enum lx_status {
    LX_OK = 0,
    LX_ERR_HANDLE = -1,    /* no open session under that handle */
    LX_ERR_ARGUMENT = -2,  /* null pointer, negative size, value out of range */
    LX_ERR_CHANNEL = -3,   /* no such channel */
    LX_ERR_LAP = -4,       /* no such lap */
    LX_ERR_FILE = -5,      /* the file cannot be opened, read or written */
    LX_ERR_FORMAT = -6,    /* the file's content is refused */
    LX_ERR_LIMIT = -7,     /* too many sessions, channels or laps */
    LX_ERR_MEMORY = -8,    /* out of memory */
    LX_ERR_AMBIGUOUS = -9, /* a name matches several channels */
    LX_ERR_STATE = -10,    /* a step is missing first (e.g. the session math, the
                            * analysis), or the analysis is older than the session math */
    LX_ERR_TRACK = -11     /* a reference lap of another track */
} lx_status;

/* The message of the last failure of this API on the calling thread, one
 * line without its newline; "" after a success. Valid on that thread until
 * its next call of this API. */
LX_DATA_API const char* lx_last_error(void);

/* The status of the calling thread's last call of this API (LX_OK after a
 * success). */
LX_DATA_API int lx_last_status(void);

/* A short fixed text for a status, e.g. "no such lap"; "unknown status" for
 * values outside lx_status. */
LX_DATA_API const char* lx_status_text(int status);

/* ---- opening ------------------------------------------------------------- */

typedef struct lx_open_options {
    double rate;            /* samples per second for CSV files on an uneven time
                             * base; 0: the file's own GPS rate. A text export
                             * keeps its own rate. */
    const char* channels;   /* comma-separated titles or names of the file's
                             * channels to keep (the first three, the sample
                             * index, Time and Distance, are always kept);
                             * null or "": all */
    int first_lap;          /* a window of the file's laps, counting from 1; */
    int last_lap;           /* 0 for either end: from the first / to the last */
    const char* start_line; /* "LAT,LON,LAT,LON" in degrees: the ends of a line
                             * where a session with positions is cut into laps,
                             * whatever laps the file has; the lap window counts
                             * these laps. null or "": the file's own laps */
} lx_open_options;

/* Opens any file lx reads, chosen by its content: the tab-separated text
 * export (as lx_open_aim_xls reads it, into the same samples), AiM CSV,
 * RaceChrono CSV (format 3), MoTeC CSV, MoTeC LD and iRacing telemetry. options may be null.
 * Returns the handle (LX_DATA_HANDLE_FIRST or above), or LX_ERR_ARGUMENT (null path, an option out
 * of range), LX_ERR_FILE (missing, a folder, unreadable), LX_ERR_FORMAT (empty, a kind of file lx
 * does not read, or the file's content refused: the message names the file, the line and what is
 * wrong), LX_ERR_CHANNEL or LX_ERR_LAP (an option names what the file lacks), LX_ERR_AMBIGUOUS,
 * LX_ERR_LIMIT (more channels or laps than a session holds: for CSV files the message says which
 * option picks some; or every handle number of the process used), LX_ERR_MEMORY. */
LX_DATA_API int lx_open(const char* path, const lx_open_options* options);

/* Frees a session without printing. LX_ERR_HANDLE for an unknown handle
 * (a front-end session is freed by lx_free_session). */
LX_DATA_API int lx_close(int handle);

/* ---- session facts ------------------------------------------------------- */

#define LX_TEXT_FIELD 256

typedef struct lx_session_info {
    double sample_rate; /* samples per second */
    double start_time;  /* Unix time of the first sample; 0 when unknown */
    int channels;       /* all channels, derived ones included */
    int file_channels;  /* channels the file brought */
    int laps;
    char format[32]; /* "text export", "AiM CSV", "RaceChrono CSV", "MoTeC CSV", "VBO",
                      * "MoTeC LD", "iRacing telemetry";
                      * "" for sessions lx_open did not open (lx_open_aim_xls,
                      * cut sessions) */
    char file[LX_TEXT_FIELD];
    char venue[LX_TEXT_FIELD];
    char vehicle[LX_TEXT_FIELD];
    char driver[LX_TEXT_FIELD];
    char date[64];
    char time[64];
    char logger[LX_TEXT_FIELD]; /* the logger or program that wrote the file, as it says */
    double stated_rate;         /* the sample rate the file states (RaceChrono: its GPS's);
                                 * 0 when it states none */
    int error_channel;          /* the newest i_error and i_beacon of lx_match_laps (a
                                 * front-end session: of lx_beacon_setup, which keeps one
                                 * pair for the library); 0 when it has none */
    int beacon_channel;
    double beacon_shift; /* metres, as lx_get_beacon_shift: set by a cut in
                          * LX_CUT_BEACON_SHIFT, on the working and the cut session */
} lx_session_info;

/* LX_OK, LX_ERR_HANDLE or LX_ERR_ARGUMENT (null info). */
LX_DATA_API int lx_session_info_get(int handle, lx_session_info* info);

/* The day the session was recorded as "YYYY-MM-DD", read from the date its
 * file states the way that format writes it (AiM CSV "Saturday, November 8,
 * 2025"; MoTeC LD and VBO day first; RaceChrono and iRacing from the Unix
 * start time). "" when unknown: no date, a date that reads two ways
 * (5/3/2026) or lacks its century (01/11/07). Copies into day as a field of
 * size bytes (11 hold it). LX_OK, LX_ERR_HANDLE, or LX_ERR_ARGUMENT (null
 * day or size < 1). */
LX_DATA_API int lx_session_day(int handle, char* day, int size);

/* Latitude and longitude in degrees of the point East and North are
 * measured from. LX_OK, LX_ERR_HANDLE, LX_ERR_ARGUMENT (a null pointer), or
 * LX_ERR_CHANNEL when the file gave no positions. */
LX_DATA_API int lx_session_origin(int handle, double* latitude, double* longitude);

/* Titles and units as the file wrote them exist for sessions that lx_open
 * opened; for sessions opened by lx_open_aim_xls the title is the stored name
 * and the unit the stored unit. A derived channel's title is its stored name
 * and its unit the one its values are in ("m/s", "g", "m", curvature "1/km",
 * time difference "s", its rate "s/s"), which the stored unit may not say. */
typedef struct lx_channel_info {
    char name[128];            /* stored name, as lx_channel_name gives it */
    char title[LX_TEXT_FIELD]; /* as the file wrote it (UTF-8); = name for derived channels */
    char unit[64];             /* as the file wrote it (UTF-8); may be "" */
    int derived;               /* 1 for channels the library appended */
} lx_channel_info;

/* LX_OK, LX_ERR_HANDLE, LX_ERR_CHANNEL or LX_ERR_ARGUMENT (null info). */
LX_DATA_API int lx_channel_info_get(int handle, int channel, lx_channel_info* info);

/* A lap's class, from the lengths the session math measured. FULL: lap marks
 * bound the lap at both ends and its length is within 10 % of the median
 * length of such laps. The recording's first lap is OUT and its last IN,
 * whatever their length, unless the recording starts or ends at a lap mark:
 * only where it was cut at one (a window of laps, a file that names the one
 * lap it holds, and a session cut by lap matching from such a recording).
 * AiM's last beacon marker, at the recording's end, is no lap mark.
 * Above 1.8 times the median a lap is DOUBLE (a missed mark); anything else
 * PARTIAL. UNKNOWN before the session math has run. */
typedef enum lx_lap_class {
    LX_LAP_UNKNOWN = 0,
    LX_LAP_FULL = 1,
    LX_LAP_OUT = 2,
    LX_LAP_IN = 3,
    LX_LAP_PARTIAL = 4,
    LX_LAP_DOUBLE = 5
} lx_lap_class;

typedef struct lx_lap_info {
    int number;     /* the lap's place in the file, from 1; a lap window keeps
                     * the file's numbers (laps 2-3 are 2 and 3) */
    int logger_lap; /* the logger's own lap number */
    int samples;
    int lap_class;        /* lx_lap_class */
    int slow;             /* 1: a full lap slower than 107 % of the median full lap */
    int logger_time;      /* 1: laptime is the logger's own */
    int origin_lap;       /* a lap of a session cut by lap matching that is a logger's
                           * lap kept whole: that lap's logger number; 0 otherwise */
    int truncated;        /* 1: the recording's last lap, where the file ends inside
                           * a row or record (lx_session_note says where) */
    double origin_offset; /* metres between the cut and the nearest beacon:
                           * positive before it, negative after; 0 when none */
    double laptime;       /* seconds: the one lap time every view shows, the
                           * logger's own where the file gives one (whole
                           * milliseconds), else sample_time */
    double sample_time;   /* seconds, counted from the samples */
    double length;        /* metres; 0 until the session math has run */
} lx_lap_info;

/* LX_OK, LX_ERR_HANDLE, LX_ERR_LAP or LX_ERR_ARGUMENT (null info). */
LX_DATA_API int lx_lap_info_get(int handle, int lap, lx_lap_info* info);

/* What the reader chose or found odd, one note a line for people: how a
 * gate was read, a proposed start line, time gaps, arrays left out, a cut
 * last row. Copies note index (from 0) into text, as a field of size bytes,
 * and returns the number of notes; with size 0 nothing is copied and index
 * is not checked, so lx_session_note(h, 0, NULL, 0) counts them.
 * LX_ERR_HANDLE, or LX_ERR_ARGUMENT (negative index or size, null text with
 * a size, index past the notes). */
LX_DATA_API int lx_session_note(int handle, int index, char* text, int size);

/* The channel whose title as written is name, else whose stored name is
 * (exactly, case and all). Returns its number; LX_ERR_HANDLE, LX_ERR_ARGUMENT
 * (null name), LX_ERR_CHANNEL (the message names the three nearest names) or
 * LX_ERR_AMBIGUOUS (the message lists the matches). */
LX_DATA_API int lx_find_channel(int handle, const char* name);

/* The channel number of derived channel id (the LX_CHANNEL_ values of lx.h),
 * 0 when the session has not added it, as lx_channel_number gives it.
 * LX_ERR_HANDLE, LX_ERR_ARGUMENT (id outside 0..9). */
LX_DATA_API int lx_derived_channel_number(int handle, int id);

/* A channel's smallest and largest sample over all laps, the bits of
 * lx_channel_min and lx_channel_max (+inf and -inf without laps).
 * LX_ERR_HANDLE, LX_ERR_CHANNEL, LX_ERR_ARGUMENT (null min or max). */
LX_DATA_API int lx_channel_range(int handle, int channel, float* min, float* max);

/* ---- samples ------------------------------------------------------------- */

/* Copies a lap's samples of one channel into dest, at most capacity of them.
 * Returns the lap's full sample count; dest may be null when capacity is 0.
 * LX_ERR_HANDLE, LX_ERR_LAP, LX_ERR_CHANNEL, or LX_ERR_ARGUMENT (negative
 * capacity, null dest with a capacity): dest untouched. */
LX_DATA_API int lx_lap_samples(int handle, int lap, int channel, float* dest, int capacity);

/* ---- writing ------------------------------------------------------------- */

/* Writes the session's file channels as the tab-separated text export that
 * lx_open_aim_xls reads; reading it back gives the same samples, bit for bit. */
LX_DATA_API int lx_write_text_export(int handle, const char* path);

/* Writes a session with East and North channels as a VBO file, with a start
 * gate where its laps begin; lx_open reads it back to the same samples and
 * laps within the written precision. LX_ERR_CHANNEL without positions. */
LX_DATA_API int lx_write_vbo(int handle, const char* path);

/* Writes the session as a MoTeC LD file: channels read from an LD file keep
 * their rate and scaling, the others are 32-bit floats at the session's rate;
 * lap channels (Running Lap Time, Lap Time, Lap Number) are added when the
 * session has none, so that lx_open reads the same laps back. LX_ERR_HANDLE,
 * LX_ERR_ARGUMENT (null path), LX_ERR_FILE, LX_ERR_STATE, LX_ERR_LIMIT. */
LX_DATA_API int lx_write_ld(int handle, const char* path);

/* Writes the whole session as a MoTeC CSV file in the layout of the analysis
 * program's data export (not the one lap lx_write_lap_motec writes): Time and
 * Distance along the session, the file's channels with their titles and units,
 * a beacon marker at each lap start and the lap times as segment times, so
 * that lx_open reads the same laps back. LX_ERR_HANDLE, LX_ERR_ARGUMENT (null
 * path), LX_ERR_FILE, LX_ERR_STATE. */
LX_DATA_API int lx_write_motec_csv(int handle, const char* path);

/* A lap as MoTeC CSV, the bytes lx_write_lap_motec writes. LX_ERR_HANDLE,
 * LX_ERR_LAP, LX_ERR_ARGUMENT (null path), LX_ERR_FILE. */
LX_DATA_API int lx_write_motec(int handle, int lap, const char* path);

/* ---- session math, time difference, map and chart ------------------------- */

/* The front-end's steps with their arguments explicit: each gives the bits of
 * the export of lx.h it names, on the same samples. They change the
 * session, so an analysis made before is stale (LX_ERR_STATE) until
 * lx_analyse runs again. */

typedef struct lx_math_options {
    int speed;        /* channel numbers */
    int lateral;      /* in g, positive in right-hand turns after invert_lat */
    int longitudinal; /* 0: derived from speed */
    int speed_units;  /* LX_SPEED_MPH or LX_SPEED_KMH */
    int invert_lat;
    int invert_long;
} lx_math_options;

/* lx_session_setup where the channels are missing, then
 * lx_compute_session_math. LX_OK; LX_ERR_HANDLE, LX_ERR_CHANNEL, LX_ERR_ARGUMENT
 * (null options, speed_units), LX_ERR_LIMIT (no room for the channels),
 * LX_ERR_MEMORY. */
LX_DATA_API int lx_session_math(int handle, const lx_math_options* options);

/* lx_analysis_setup where missing, then lx_calc_time_diff: the time
 * difference channels of handle's session against lap ref_lap of
 * ref_handle's (which may be the same). LX_OK; LX_ERR_HANDLE, LX_ERR_LAP,
 * LX_ERR_STATE (a session without session math), LX_ERR_LIMIT,
 * LX_ERR_MEMORY. */
LX_DATA_API int lx_time_diff(int ref_handle, int ref_lap, int handle, int scale_to_length);

/* lx_map_setup where missing, then lx_scaled_map: the lap dead-reckoned and
 * scaled into pixels. Returns points; LX_ERR_HANDLE, LX_ERR_LAP, LX_ERR_STATE
 * (no session math), LX_ERR_ARGUMENT (negative points, null x or y with
 * points), LX_ERR_LIMIT. */
LX_DATA_API int lx_map_pixels(int handle, int* x, int* y, int points, int lap, int winx, int winy,
                              int border, float latg_scale, float start_heading);

/* The lap's dead-reckoned map in metres (its "map x" and "map y" channels,
 * as lx_scaled_map computes them before scaling): copies at most capacity
 * points and returns the lap's sample count. Fails as lx_map_pixels. */
LX_DATA_API int lx_map_points(int handle, int lap, float latg_scale, float start_heading, double* x,
                              double* y, int capacity);

/* lx_scaled_chart_lap_dist: one channel of a lap against distance as pixels;
 * returns the points written (0 where that export gives 0 for a window or
 * lap it cannot draw). LX_ERR_HANDLE, LX_ERR_LAP, LX_ERR_CHANNEL,
 * LX_ERR_STATE (no session math), LX_ERR_ARGUMENT (cmin not below cmax, a
 * negative window or maxpoints, null x or y with maxpoints). */
LX_DATA_API int lx_chart_pixels(int handle, int lap, int channel, float cmax, float cmin,
                                int maxpoints, int winx, int winy, int xoffset, int ybottom,
                                float dist_range, int* x, int* y);

/* ---- the analysis -------------------------------------------------------- */

/* The analysis of a session is decided once, here: which channels give
 * speed and accelerations, the session math, lap classes, the reference
 * lap, every lap's gap and time difference, corners, stretches, sectors, the
 * theoretical best and the optimal lap. lx_analyse runs it and keeps the
 * results with the session; the lx_analysis_* queries copy them out. It is a
 * snapshot: once the session math runs again (lx_compute_session_math, or a
 * new lx_analyse), queries fail with LX_ERR_STATE until lx_analyse has run.
 *
 * Distances are metres from the start line, speeds m/s, times seconds.
 * Every time of a lap is on the lap's own clock: times measured on the
 * samples (sector, corner, straight) are scaled by the lap's laptime over
 * its sample_time, so that a lap's pieces add up to its laptime exactly. */

/* Thresholds for finding corners; a field left 0 takes the default shown. */
typedef struct lx_corner_options {
    double enter_curvature; /* 1000/radius in m, as i_radius: a corner reaches it; 8 */
    double exit_curvature;  /* a corner spans the stretch above this; 4 */
    double min_speed;       /* m/s: slower samples (standing, crawling) are in no corner; 5 */
    double min_length;      /* m: shorter stretches are noise; 10 */
    double merge_gap;       /* m: corners of one hand closer than this are one; 10 */
} lx_corner_options;

#define LX_SPEED_AUTO (-1)       /* speed_units: from the channel's unit */
#define LX_OPTIMAL_TOLERANCE 0.5 /* m/s */
#define LX_MAX_CUTS 32

typedef struct lx_analysis_options {
    /* Channels, by title as written or stored name. null or "": chosen.
     * Speed and longitudinal by name; lateral among the channels named so,
     * those whose laps close (heading change near 360 degrees, a small gap
     * between the dead-reckoned end and start) first, then the one whose
     * dead-reckoned map lies closest to the GPS track when the session has
     * positions, else the one that closes best. longitudinal "none": derived
     * from speed. */
    const char* speed;
    const char* lateral;
    const char* longitudinal;
    int speed_units; /* LX_SPEED_AUTO, LX_SPEED_MPH or LX_SPEED_KMH */
    int invert_lat;
    int invert_long;
    /* The reference lap: ref_handle 0 is this session; another session must
     * have been analysed first and be of the same track (lx_same_track), else
     * LX_ERR_TRACK. ref_lap -1: its fastest full lap; a given lap must be
     * full, else LX_ERR_LAP. */
    int ref_handle;
    int ref_lap;
    lx_corner_options corners;
    /* Sector cuts in metres on the reference lap, increasing, inside it;
     * ncuts 0: the default cuts (lx_analysis_info.cuts says which). */
    int ncuts;
    double cuts[LX_MAX_CUTS];
    double tolerance; /* the optimal lap's speed tolerance at a cut, m/s */
} lx_analysis_options;

/* Fills options with the defaults: every channel chosen, units automatic,
 * this session's fastest full lap, default corner thresholds and cuts,
 * LX_OPTIMAL_TOLERANCE. LX_ERR_ARGUMENT for null. */
LX_DATA_API int lx_analysis_defaults(lx_analysis_options* options);

/* Adds the derived channels where missing (lx_session_setup), computes the
 * session math with the chosen channels and analyses the session. options
 * may be null (the defaults). LX_OK, or LX_ERR_HANDLE (handle or ref_handle),
 * LX_ERR_ARGUMENT (an option out of range; the message names it), LX_ERR_CHANNEL or
 * LX_ERR_AMBIGUOUS (a named channel), LX_ERR_FORMAT (no speed or lateral
 * channel, or a speed unit that cannot be told: the message says which
 * option names one), LX_ERR_LAP (no laps; a reference lap that does not
 * exist or is not full; no full lap when one is needed: the message says
 * why), LX_ERR_TRACK, LX_ERR_STATE (the reference session not analysed),
 * LX_ERR_MEMORY. After a failure the session has no analysis. */
LX_DATA_API int lx_analyse(int handle, const lx_analysis_options* options);

/* Why a choice was made: how each lateral candidate closes its laps. */
typedef struct lx_lateral_candidate {
    int channel;
    int laps;          /* laps measured; 0: no lap long enough */
    double turn;       /* median heading change, degrees, unsigned */
    double end_gap;    /* median distance between reckoned end and start, m */
    double lap_length; /* median, m */
    double gps_error;  /* median distance of the reckoned map from the GPS
                        * track, % of the lap length; NaN without positions */
    int closes;        /* 1: within 30 degrees of a full turn and 5 % of the length */
} lx_lateral_candidate;

#define LX_MAX_CANDIDATES 8

typedef struct lx_analysis_info {
    int speed_channel;
    int lateral_channel;
    int longitudinal_channel; /* 0: derived from speed */
    int speed_units;          /* LX_SPEED_MPH or LX_SPEED_KMH */
    int lateral_given;        /* 1: named in the options */
    int candidates;           /* lateral candidates, the chosen one first */
    lx_lateral_candidate candidate[LX_MAX_CANDIDATES];
    char choice[1024];           /* why these channels, lines ending in '\n' */
    char warning[LX_TEXT_FIELD]; /* "" or why the result is doubtful, e.g. a
                                  * lateral channel that does not close its laps */
    int ref_handle;              /* the reference lap's session (this one: its own handle) */
    int ref_lap;
    double ref_time; /* the reference lap's laptime */
    double ref_length;
    int full_laps;
    int fastest_lap;     /* -1: no full lap */
    double fastest_time; /* NaN without a full lap */
    double median_time;  /* of the full laps; NaN without one */
    int corners;         /* the reference lap's */
    int ncuts;
    double cuts[LX_MAX_CUTS]; /* the sector cuts used, metres on the reference lap.
                               * By default where the reference lap passed the
                               * file's split gates (VBO); else two, from the
                               * shape of the full laps:
                               * where their averaged curvature runs straight,
                               * each sector 20-50 % of the reference lap's time;
                               * a reference session's own cuts when it is
                               * another; none when no two cuts give such shares */
    int default_cuts;         /* 1: the cuts were not given */
    double theoretical_best;  /* best sector times summed; NaN without a full lap */
    double optimal_lap;       /* NaN without a full lap */
    int cuts_from;            /* LX_CUTS_GIVEN, ...: where the cuts came from (2.3) */
} lx_analysis_info;

/* Where the sector cuts came from (lx_analysis_info.cuts_from). */
#define LX_CUTS_GIVEN 0     /* the options' cuts */
#define LX_CUTS_SHAPE 1     /* the full laps' shape; none when no two fit */
#define LX_CUTS_REFERENCE 2 /* the reference session's, carried onto its lap */
#define LX_CUTS_GATES 3     /* the file's split gates */

/* LX_OK; LX_ERR_HANDLE, LX_ERR_ARGUMENT (null info), LX_ERR_STATE (no
 * current analysis). */
LX_DATA_API int lx_analysis_info_get(int handle, lx_analysis_info* info);

/* A lap's facts with its gap: laptime minus the reference lap's laptime,
 * for full laps; NaN for the others. */
typedef struct lx_analysis_lap {
    lx_lap_info info;
    double gap;
} lx_analysis_lap;

/* LX_OK; LX_ERR_HANDLE, LX_ERR_LAP, LX_ERR_ARGUMENT, LX_ERR_STATE. */
LX_DATA_API int lx_analysis_lap_get(int handle, int lap, lx_analysis_lap* lap_out);

/* The time difference of a full lap against the reference lap, at the
 * reference lap's samples and its end: distance[j] is metres on the
 * reference lap, diff[j] the lap's time at the same share of its own length
 * minus the reference's time there, both on their laps' clocks; negative
 * where the lap is ahead. Unsmoothed; the last value is the lap's gap.
 * Returns the count (the reference lap's samples + 1) and copies at most
 * capacity into each array that is not null. LX_ERR_LAP for a lap that is
 * not full; LX_ERR_HANDLE, LX_ERR_ARGUMENT, LX_ERR_STATE. */
LX_DATA_API int lx_analysis_time_diff(int handle, int lap, double* distance, double* diff,
                                      int capacity);

typedef struct lx_corner {
    int number;               /* 1, 2, ... counted from the start line on this lap */
    int direction;            /* +1 right-hand, -1 left-hand: the sign of the lateral g
                               * (positive in right-hand turns, after invert_lat) */
    int paired;               /* number of the reference lap's corner at this place; 0: none */
    double entry, apex, exit; /* apex: the peak of the curvature */
    double peak_curvature;    /* 1000/radius at the apex */
    double entry_speed, min_speed, exit_speed;
    double time; /* entry to exit, on the lap's clock */
} lx_corner;

/* The corners of a lap, found on that lap alone (the curvature averaged over
 * 0.25 s; a corner whose averaged curvature dips below twice the exit
 * threshold between two peaks is two corners), each paired with the
 * reference lap's corner of the same hand at its place. Returns the count
 * and copies at most capacity. LX_ERR_LAP for a lap that cannot be traced
 * (under two samples, no movement; the message says why); LX_ERR_HANDLE,
 * LX_ERR_ARGUMENT, LX_ERR_STATE. */
LX_DATA_API int lx_analysis_corners(int handle, int lap, lx_corner* corners, int capacity);

/* A corner of the reference lap, or the straight that leads to one. */
typedef struct lx_stretch {
    int corner;        /* the reference corner's number; 0 for a straight */
    int before;        /* a straight: the corner it leads to; 0 for the one ending at the line */
    double start, end; /* on the reference lap */
    double time;       /* the lap's time over it */
    double gain;       /* time minus the reference's time: negative where the lap gained */
    double entry_speed, min_speed, exit_speed; /* the lap's */
} lx_stretch;

/* The reference lap's corners and straights in lap order, 2 N + 1 for N
 * corners, timed on a full lap: the gains add up to the lap's gap. Returns
 * the count, copies at most capacity; fails as lx_analysis_time_diff. */
LX_DATA_API int lx_analysis_stretches(int handle, int lap, lx_stretch* stretches, int capacity);

/* A reference corner over the full laps. */
typedef struct lx_corner_summary {
    lx_corner corner; /* the reference lap's */
    double best_entry_speed, best_min_speed, best_exit_speed;
    int best_entry_lap, best_min_lap, best_exit_lap; /* lap indices */
    double most_lost; /* the largest gain of a full lap other than the
                       * reference over this corner; 0 when none lost */
    int lost_lap;     /* that lap's index; -1: none */
} lx_corner_summary;

/* One summary per reference corner: returns the count, copies at most
 * capacity. LX_ERR_HANDLE, LX_ERR_ARGUMENT, LX_ERR_STATE. */
LX_DATA_API int lx_analysis_corner_summary(int handle, lx_corner_summary* corners, int capacity);

/* A full lap's sector times at the analysis's cuts: returns ncuts + 1 and
 * copies at most capacity; they add up to its laptime. Fails as
 * lx_analysis_time_diff. */
LX_DATA_API int lx_analysis_sector_times(int handle, int lap, double* times, int capacity);

/* A stretch of a best lap and the lap it was driven on. */
typedef struct lx_piece {
    double start, end; /* on the reference lap */
    double time;
    int lap;
} lx_piece;

enum { LX_BEST_THEORETICAL = 0, LX_BEST_OPTIMAL = 1 };

/* The theoretical best (the best time of each sector among the full laps,
 * one piece per sector) or the optimal lap (the fastest chain of sectors
 * driven on full laps that changes lap only at a cut on a straight of the
 * reference lap where the two laps' speeds differ by less than the
 * tolerance; a piece per stretch driven on one lap). theoretical best <=
 * optimal lap <= fastest full lap. Returns the piece count, copies at most
 * capacity, the total into *time when not null. LX_ERR_LAP without a full
 * lap; LX_ERR_HANDLE, LX_ERR_ARGUMENT (which, buffer), LX_ERR_STATE. */
LX_DATA_API int lx_analysis_best(int handle, int which, double* time, lx_piece* pieces,
                                 int capacity);

#define LX_SAME_TRACK_THRESHOLD 0.5

typedef struct lx_track_match {
    int same;         /* 1: the same track */
    int lap_a, lap_b; /* the fastest full laps compared */
    double length_a, length_b;
    double match;            /* mean difference of the curvature of b's lap laid over a's
                              * at the best offset, as a share of a's mean curvature */
    double offset;           /* where on b's lap a's start line fits best */
    char why[LX_TEXT_FIELD]; /* "" when the same; else why not */
} lx_track_match;

/* Whether two analysed sessions were driven on the same track: the fastest
 * full laps' lengths agree within 3 % and their curvatures match below
 * threshold (LX_SAME_TRACK_THRESHOLD: the same track scores about 0.2,
 * another track or the other direction 1 or more; why says so when only the
 * mirrored curvature matches, as with a lateral channel of the other sign).
 * Returns LX_OK with the answer in *match; LX_ERR_STATE when a session has
 * no current analysis, LX_ERR_LAP when one has no full lap. */
LX_DATA_API int lx_same_track(int handle_a, int handle_b, double threshold,
                              const lx_corner_options* options, lx_track_match* match);

/* Dead-reckons a lap from the session math's speed and segment length with
 * latg_channel (in g) as lx_scaled_map steps it, without its closing
 * corrections: heading_change is the total turn in degrees, end_gap the
 * distance in metres between the reckoned end and the start. For programs
 * that weigh a lateral channel themselves. LX_ERR_HANDLE, LX_ERR_LAP,
 * LX_ERR_CHANNEL, LX_ERR_ARGUMENT, LX_ERR_STATE (no session math). */
LX_DATA_API int lx_lap_closure(int handle, int lap, int latg_channel, double* heading_change,
                               double* end_gap);

/* A lap's track in metres east and north of the session's origin from its
 * positions (x, y; capacity each; the count returned), for sessions whose
 * file has positions; LX_ERR_CHANNEL without them. And how far the map
 * dead-reckoned from speed and lateral g lies from it: RMS after the best
 * rotation and shift, in % of the lap length, into *error when not null.
 * LX_ERR_HANDLE, LX_ERR_LAP, LX_ERR_ARGUMENT, LX_ERR_STATE (no analysis). */
LX_DATA_API int lx_analysis_gps_track(int handle, int lap, double* x, double* y, int capacity,
                                      double* error);

/* A lap's map dead-reckoned from speed and lateral g (metres, as the map
 * export draws it at heading 0), laid on the reference: ref_handle's ref_lap
 * reckoned the same way. Each sample is paired with the reference's point at
 * the same share of each map's length, and the lap's map turned and shifted
 * by the least-squares fit of those pairs; so laps of two sessions without
 * positions can be drawn on one map (the reference against itself gives its
 * own map). x, y: capacity each; the count returned. LX_ERR_HANDLE, LX_ERR_LAP
 * (no such lap, or a lap too short for a map), LX_ERR_ARGUMENT, LX_ERR_STATE
 * (either session not analysed). */
LX_DATA_API int lx_analysis_map_laid(int handle, int lap, int ref_handle, int ref_lap, double* x,
                                     double* y, int capacity);

/* Channels that show what the driver and the engine did. */
typedef enum lx_channel_role {
    LX_ROLE_THROTTLE = 0,
    LX_ROLE_BRAKE = 1,
    LX_ROLE_RPM = 2,
    LX_ROLE_GEAR = 3,
    LX_ROLE_STEERING = 4
} lx_channel_role;
#define LX_ROLES 5

/* The file's channel playing each role, by its title as written (else its
 * stored name) split into words at anything but letters and digits and where
 * a small letter meets a capital, case ignored. Each role's words, the
 * earlier the better:
 *   throttle  TPS; throttle; PPS; accelerator (the throttle plate over the pedal)
 *   brake     brake pressure; brake press; brake pres; BPS; brake
 *   RPM       RPM; engine speed
 *   gear      gear
 *   steering  steering; steered; steer
 * A title with temp, temperature, bias, volts, voltage, setting, torque,
 * target or limit plays none, nor a channel that reads 0 throughout; of two
 * with the same words the lower channel number plays (Brake Pres Front over
 * Brake Pres Rear). channels[role]: the channel, -1 when none plays it.
 * LX_OK; LX_ERR_HANDLE, LX_ERR_ARGUMENT (null channels), LX_ERR_STATE (no
 * analysis). */
LX_DATA_API int lx_analysis_roles(int handle, int channels[LX_ROLES]);

/* ---- lap matching -------------------------------------------------------- */

/* Lap matching lays a reference lap's curvature (the session math's i_radius
 * over i_seglen) along a working session. The error channel (i_error) says
 * how badly the reference fits with its start at each sample, until the first
 * start from which its first half runs past the session's end; the clearest
 * minima become lap starts, marked 1 in the beacon channel (i_beacon; -1
 * around each, 0 elsewhere), where lx_lap_samples reads them. Both channels
 * are the working session's newest of those names that the library added,
 * appended when it has none.
 *
 * The work of one session is shared among threads, and the results are the
 * same bits whatever their count: the same as lx_compute_error_channel_step
 * run to its end, lx_locate_laps and lx_new_session_from_beacons give on the
 * same sessions, without printing.
 *
 * Threads: as for every call here, the working session needs exclusive use
 * during these calls; a reference session other than the working one is only
 * read. */

#define LX_MAX_THREADS 64

typedef struct lx_match_options {
    int threads;      /* 1 to LX_MAX_THREADS, or 0: the machine's cores (one in a
                       * build without threads) */
    int cut_mode;     /* lx_cut_session: an lx_cut_mode */
    double tolerance; /* lx_cut_session in LX_CUT_SNAP: metres between a beacon and
                       * the match that confirms it, 0 to FLT_MAX */
} lx_match_options;

/* Computes the error channel of handle's session against lap ref_lap of
 * ref_handle's (which may be the same session) and marks the lap starts.
 * options may be null: one thread, LX_CUT_MATCHES, tolerance 0. Returns the
 * number of lap starts marked, or LX_ERR_HANDLE, LX_ERR_LAP (ref_lap),
 * LX_ERR_STATE (a session without session math), LX_ERR_ARGUMENT (an option
 * out of range), LX_ERR_LIMIT (no room for the two channels), LX_ERR_MEMORY. */
LX_DATA_API int lx_match_laps(int ref_handle, int ref_lap, int handle,
                              const lx_match_options* options);

/* lx_match_laps, then a new session cut at the lap starts, stops and beacons
 * as options->cut_mode says; handle's session keeps its marks and gets its
 * beacon shift (lx_get_beacon_shift). Returns the new session's handle, or
 * the failures of lx_match_laps, LX_ERR_LIMIT (more laps than a session
 * holds) and LX_ERR_MEMORY. */
LX_DATA_API int lx_cut_session(int ref_handle, int ref_lap, int handle,
                               const lx_match_options* options);

#ifdef __cplusplus
}
#endif

#endif /* LX_DATA_H */
