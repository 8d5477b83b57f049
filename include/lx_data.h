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
 * RaceChrono CSV (format 3) and MoTeC CSV. options may be null. Returns the
 * handle (1..10), or LX_ERR_ARGUMENT (null path, an option out of range),
 * LX_ERR_FILE (missing, a folder, unreadable), LX_ERR_FORMAT (empty, a kind
 * of file lx does not read, or the file's content refused: the message names
 * the file, the line and what is wrong), LX_ERR_CHANNEL or LX_ERR_LAP (an
 * option names what the file lacks), LX_ERR_AMBIGUOUS, LX_ERR_LIMIT (ten
 * sessions open, or more channels or laps than a session holds: for CSV files
 * the message says which option picks some), LX_ERR_MEMORY. */
LX_DATA_API int lx_open(const char* path, const lx_open_options* options);

/* Frees a session without printing. LX_ERR_HANDLE for an unknown handle. */
LX_DATA_API int lx_close(int handle);

/* ---- session facts ------------------------------------------------------- */

#define LX_TEXT_FIELD 256

typedef struct lx_session_info {
    double sample_rate;  /* samples per second */
    double start_time;   /* Unix time of the first sample; 0 when unknown */
    int channels;        /* all channels, derived ones included */
    int file_channels;   /* channels the file brought */
    int laps;
    char format[32];     /* "text export", "AiM CSV", "RaceChrono CSV", "MoTeC CSV";
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
    int number;         /* the logger's lap number */
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

/* ---- analytics ----------------------------------------------------------- */

#ifdef __cplusplus
}
#endif

#endif /* LX_DATA_H */
