/*
 * lx data API: what programs need beyond the front-end's calls of lx.h.
 *
 * It works on the same sessions as lx.h: a handle opened here can be given to
 * every export of lx.h and the other way round. Nothing here changes what
 * those exports do, print or compute.
 *
 * Contract
 * - One thread at a time, as for lx.h: the library's state is global.
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
#define LX_DATA_VERSION 10000
LX_DATA_API int lx_data_version(void);

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
    LX_ERR_STATE = -10     /* a step is missing first (e.g. the session math) */
} lx_status;

/* The message of the last failure of this API, one line without its newline;
 * "" after a success. Valid until the next call of this API. */
LX_DATA_API const char* lx_last_error(void);

/* The status of the last call of this API (LX_OK after a success). */
LX_DATA_API int lx_last_status(void);

/* A short fixed text for a status, e.g. "no such lap"; "unknown status" for
 * values outside lx_status. */
LX_DATA_API const char* lx_status_text(int status);

/* ---- the core's printed lines -------------------------------------------- */

/* on != 0: the lines that the exports of lx.h print (failure lines, "Freeing
 * session N", traces) are kept in a log instead of going to standard output.
 * Off by default: then standard output gets every byte it always got. The log
 * holds the newest 64 KiB; switching capture off keeps what it holds. */
LX_DATA_API void lx_capture_output(int on);

/* Copies the log into text (at most size - 1 bytes and a zero; nothing when
 * size is 0) and empties it. Returns the log's full length in bytes, or
 * LX_ERR_ARGUMENT (negative size, or null text with a size). */
LX_DATA_API int lx_take_output(char* text, int size);

/* ---- opening ------------------------------------------------------------- */

typedef struct lx_open_options {
    double rate;          /* samples per second for CSV files on an uneven time
                           * base; 0: the file's own GPS rate. A text export
                           * keeps its own rate. */
    const char* channels; /* comma-separated titles or names of the file's
                           * channels to keep (the first three, the sample
                           * index, Time and Distance, are always kept);
                           * null or "": all */
    int first_lap;        /* a window of the file's laps, counting from 1; */
    int last_lap;         /* 0 for either end: from the first / to the last */
} lx_open_options;

/* Opens any file lx reads, chosen by its content: the tab-separated text
 * export (as lx_open_aim_xls reads it, into the same samples), AiM CSV,
 * RaceChrono CSV (format 3), MoTeC CSV, MoTeC LD and iRacing telemetry. options may be null.
 * Returns the handle (1..10), or LX_ERR_ARGUMENT (null path, an option out of range), LX_ERR_FILE
 * (missing, a folder, unreadable), LX_ERR_FORMAT (empty, a kind of file lx does not read, or the
 * file's content refused: the message names the file, the line and what is wrong), LX_ERR_CHANNEL
 * or LX_ERR_LAP (an option names what the file lacks), LX_ERR_AMBIGUOUS, LX_ERR_LIMIT (ten sessions
 * open, or more channels or laps than a session holds: for CSV files the message says which option
 * picks some), LX_ERR_MEMORY. */
LX_DATA_API int lx_open(const char* path, const lx_open_options* options);

/* Frees a session without printing. LX_ERR_HANDLE for an unknown handle. */
LX_DATA_API int lx_close(int handle);

/* ---- session facts ------------------------------------------------------- */

#define LX_TEXT_FIELD 256

typedef struct lx_session_info {
    double sample_rate; /* samples per second */
    double start_time;  /* Unix time of the first sample; 0 when unknown */
    int channels;       /* all channels, derived ones included */
    int file_channels;  /* channels the file brought */
    int laps;
    char format[32]; /* "text export", "AiM CSV", "RaceChrono CSV", "MoTeC CSV",
                      * "MoTeC LD", "iRacing telemetry";
                      * "" for sessions lx_open did not open (lx_open_aim_xls,
                      * cut sessions) */
    char file[LX_TEXT_FIELD];
    char venue[LX_TEXT_FIELD];
    char vehicle[LX_TEXT_FIELD];
    char driver[LX_TEXT_FIELD];
    char date[64];
    char time[64];
} lx_session_info;

/* LX_OK, LX_ERR_HANDLE or LX_ERR_ARGUMENT (null info). */
LX_DATA_API int lx_session_info_get(int handle, lx_session_info* info);

/* Titles and units as the file wrote them exist for sessions that lx_open
 * opened; for derived channels and for sessions opened by lx_open_aim_xls the
 * title is the stored name and the unit the stored unit. */
typedef struct lx_channel_info {
    char name[128];            /* stored name, as lx_channel_name gives it */
    char title[LX_TEXT_FIELD]; /* as the file wrote it (UTF-8); = name for derived channels */
    char unit[64];             /* as the file wrote it (UTF-8); may be "" */
    int derived;               /* 1 for channels the library appended */
} lx_channel_info;

/* LX_OK, LX_ERR_HANDLE, LX_ERR_CHANNEL or LX_ERR_ARGUMENT (null info). */
LX_DATA_API int lx_channel_info_get(int handle, int channel, lx_channel_info* info);

/* A lap's class, from the lengths the session math measured: laps bounded by
 * lap marks at both ends (all but the session's first and last; all when
 * there are no others) give the median length; within 10 % of it a lap is
 * FULL; otherwise the session's first and last laps are OUT and IN, a lap
 * above 1.8 times the median DOUBLE (a missed beacon), anything else PARTIAL.
 * UNKNOWN before the session math has run (no lap has a length yet). */
typedef enum lx_lap_class {
    LX_LAP_UNKNOWN = 0,
    LX_LAP_FULL = 1,
    LX_LAP_OUT = 2,
    LX_LAP_IN = 3,
    LX_LAP_PARTIAL = 4,
    LX_LAP_DOUBLE = 5
} lx_lap_class;

typedef struct lx_lap_info {
    int number; /* the logger's lap number */
    int samples;
    int lap_class;      /* lx_lap_class */
    double laptime;     /* seconds, the time reported to the user */
    double raw_laptime; /* seconds, counted from the samples */
    double length;      /* metres; 0 until the session math has run */
} lx_lap_info;

/* LX_OK, LX_ERR_HANDLE, LX_ERR_LAP or LX_ERR_ARGUMENT (null info). */
LX_DATA_API int lx_lap_info_get(int handle, int lap, lx_lap_info* info);

/* The channel whose title as written is name, else whose stored name is
 * (exactly, case and all). Returns its number; LX_ERR_HANDLE, LX_ERR_ARGUMENT
 * (null name), LX_ERR_CHANNEL (the message names the three nearest names) or
 * LX_ERR_AMBIGUOUS (the message lists the matches). */
LX_DATA_API int lx_find_channel(int handle, const char* name);

/* ---- samples ------------------------------------------------------------- */

/* Copies a lap's samples of one channel into dest, at most capacity of them.
 * Returns the lap's full sample count; dest may be null when capacity is 0.
 * LX_ERR_HANDLE, LX_ERR_LAP, LX_ERR_CHANNEL, or LX_ERR_ARGUMENT (negative
 * capacity, null dest with a capacity): dest untouched. */
LX_DATA_API int lx_lap_samples(int handle, int lap, int channel, float* dest, int capacity);

/* ---- choosing channels --------------------------------------------------- */

/* Dead-reckons a lap from the session's speed and segment-length channels and
 * latg_channel (in g) as lx_scaled_map steps it, without its closing
 * corrections: heading_change is the total turn in degrees (near +-360 for a
 * lap that closes; the sign follows the channel's), end_gap the distance in
 * metres between the reckoned end and the start. LX_ERR_HANDLE, LX_ERR_LAP,
 * LX_ERR_CHANNEL, LX_ERR_ARGUMENT (a null result pointer), LX_ERR_STATE when
 * the session math has not run; the results are untouched then. */
LX_DATA_API int lx_lap_closure(int handle, int lap, int latg_channel, double* heading_change,
                               double* end_gap);

/* ---- writing ------------------------------------------------------------- */

/* Writes the session's file channels as the tab-separated text export that
 * lx_open_aim_xls reads; reading it back gives the same samples, bit for bit. */
LX_DATA_API int lx_write_text_export(int handle, const char* path);

/* Writes the session as a MoTeC LD file: channels read from an LD file keep
 * their rate and scaling, the others are 32-bit floats at the session's rate;
 * lap channels (Running Lap Time, Lap Time, Lap Number) are added when the
 * session has none, so that lx_open reads the same laps back. LX_ERR_HANDLE,
 * LX_ERR_ARGUMENT (null path), LX_ERR_FILE, LX_ERR_STATE, LX_ERR_LIMIT. */
LX_DATA_API int lx_write_ld(int handle, const char* path);

/* ---- analytics ----------------------------------------------------------- */

/* Corners, sectors, the optimal lap and the same-track test, worked out from
 * the session math's channels (LX_ERR_STATE until lx_compute_session_math has
 * run). Distances are metres from the start line, speeds m/s, times seconds.
 * A lap is laid along its distance as lx_calc_time_diff walks it: sample j at
 * the sum of the segment lengths before it, at time j / sample rate; the lap
 * ends at its length, at time samples / sample rate. A distance on the
 * reference lap is carried to another lap in proportion to the two lengths,
 * and times are interpolated there. Full laps here are those of class
 * LX_LAP_FULL but for the recording's first and last laps (which start or end
 * off the line) when the session has three laps or more, and without a speed
 * that is not a number. A reference lap of -1 is the fastest full lap. */

/* Thresholds for finding corners; a field left 0 takes the default shown. */
typedef struct lx_corner_options {
    double enter_curvature; /* 1000/radius in m, as i_radius: a corner reaches it; 8 */
    double exit_curvature;  /* a corner spans the stretch above this; 4 */
    double min_speed;       /* m/s: slower samples (standing, crawling) are in no corner; 5 */
    double min_length;      /* m: shorter stretches are noise; 10 */
    double merge_gap;       /* m: corners of one hand closer than this are one; 10 */
} lx_corner_options;

typedef struct lx_corner {
    int number;               /* 1, 2, ... counted from the start line on this lap */
    int direction;            /* +1 right-hand, -1 left-hand: the sign of the lateral g
                               * (positive in right-hand turns, after invert_lat) */
    int paired;               /* number of the reference lap's corner at this place; 0: none */
    double entry, apex, exit; /* apex: the peak of the curvature */
    double peak_curvature;    /* 1000/radius at the apex */
    double entry_speed, min_speed, exit_speed;
    double time; /* entry to exit */
} lx_corner;

/* The corners of lap, found on that lap alone (the curvature is averaged
 * over 0.25 s), each paired with the reference lap's corner of the same hand
 * whose stretch, carried onto the lap, holds its apex (20 m either side).
 * Returns the lap's corner count (0 on a straight) and copies at most
 * capacity. Fails with LX_ERR_HANDLE, LX_ERR_LAP (no such lap, no full lap
 * for -1, under two samples, a speed that is not a number, a lap that does not
 * move), LX_ERR_STATE, LX_ERR_ARGUMENT (options, buffer). */
LX_DATA_API int lx_lap_corners(int ref_handle, int ref_lap, int handle, int lap,
                               const lx_corner_options* options, lx_corner* corners, int capacity);

/* A corner of the reference lap, or the straight that leads to one. */
typedef struct lx_stretch {
    int corner;        /* the reference corner's number; 0 for a straight */
    int before;        /* a straight: the corner it leads to; 0 for the one ending at the line */
    double start, end; /* on the reference lap */
    double time;       /* the lap's time over it */
    double gain;       /* time minus the reference's time: negative where the lap gained */
    double entry_speed, min_speed, exit_speed; /* the lap's */
} lx_stretch;

/* The reference lap's corners and the straights between them in lap order,
 * 2 N + 1 for N corners, timed on lap: the gains add up to the difference of
 * the two laps' times. Returns the count and copies at most capacity; fails as
 * lx_lap_corners does. */
LX_DATA_API int lx_lap_stretches(int ref_handle, int ref_lap, int handle, int lap,
                                 const lx_corner_options* options, lx_stretch* stretches,
                                 int capacity);

/* The default sector cuts: the middles of the two longest straights between
 * the reference lap's corners, which with the start line make three sectors.
 * Returns 2 and copies at most capacity, increasing. LX_ERR_STATE when the lap
 * has fewer than three corners (then give the cuts in metres). */
LX_DATA_API int lx_sector_cuts(int handle, int ref_lap, const lx_corner_options* options,
                               double* cuts, int capacity);

/* Sector times of lap for ncuts cuts in metres on the reference lap: returns
 * ncuts + 1 and copies at most capacity. LX_ERR_ARGUMENT (the message names
 * the cut) for cuts that do not increase or lie outside the reference lap. */
LX_DATA_API int lx_sector_times(int ref_handle, int ref_lap, int handle, int lap,
                                const double* cuts, int ncuts, double* times, int capacity);

/* A stretch of a best lap and the lap it was driven on. */
typedef struct lx_piece {
    double start, end; /* on the reference lap */
    double time;
    int lap;
} lx_piece;

/* The theoretical best: the best time of each sector among the full laps,
 * summed into *time; one piece per sector. Returns the piece count and copies
 * at most capacity. LX_ERR_LAP when the session has no full lap. */
LX_DATA_API int lx_theoretical_best(int handle, int ref_lap, const double* cuts, int ncuts,
                                    double* time, lx_piece* pieces, int capacity);

#define LX_OPTIMAL_TOLERANCE 0.5 /* m/s */

/* The optimal lap: the fastest chain of sectors driven on full laps that
 * changes lap only at a cut lying on a straight of the reference lap (between
 * its corners) where the two laps' speeds differ by less than tolerance (m/s).
 * Pieces are the stretches driven on one lap. So that the theoretical best <=
 * the optimal lap <= the fastest full lap. Fails as lx_theoretical_best, and
 * with LX_ERR_ARGUMENT for a negative tolerance. */
LX_DATA_API int lx_optimal_lap(int handle, int ref_lap, const double* cuts, int ncuts,
                               double tolerance, const lx_corner_options* options, double* time,
                               lx_piece* pieces, int capacity);

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

/* Whether two sessions were driven on the same track: the fastest full laps'
 * lengths agree within 3 % and their curvatures match below threshold
 * (LX_SAME_TRACK_THRESHOLD: the same track scores about 0.2, another track or
 * the other direction 1 or more; why says so when only the mirrored curvature
 * matches, as with a lateral channel of the other sign). Returns LX_OK with
 * the answer in *match; LX_ERR_LAP when a session has no full lap. */
LX_DATA_API int lx_same_track(int handle_a, int handle_b, double threshold,
                              const lx_corner_options* options, lx_track_match* match);

#ifdef __cplusplus
}
#endif

#endif /* LX_DATA_H */
