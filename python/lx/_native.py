"""Finding and calling liblx: prototypes, the one-thread rule, errors."""

import ctypes
import ctypes.util
import os
import threading
from pathlib import Path

from .errors import LibraryError, ThreadError, error_for

# The data API this module speaks: major must match, minor at least this.
DATA_MAJOR = 2
DATA_MINOR = 0

# The capture log keeps the newest 64 KiB; one more byte for the zero.
LOG_BYTES = 64 * 1024 + 1
TEXT_FIELD = 256

c_int, c_float, c_double, c_char_p = ctypes.c_int, ctypes.c_float, ctypes.c_double, ctypes.c_char_p
int_p = ctypes.POINTER(c_int)
float_p = ctypes.POINTER(c_float)
double_p = ctypes.POINTER(c_double)


class OpenOptions(ctypes.Structure):
    _fields_ = [
        ("rate", c_double),
        ("channels", c_char_p),
        ("first_lap", c_int),
        ("last_lap", c_int),
    ]


class SessionInfoC(ctypes.Structure):
    _fields_ = [
        ("sample_rate", c_double),
        ("start_time", c_double),
        ("channels", c_int),
        ("file_channels", c_int),
        ("laps", c_int),
        ("format", ctypes.c_char * 32),
        ("file", ctypes.c_char * TEXT_FIELD),
        ("venue", ctypes.c_char * TEXT_FIELD),
        ("vehicle", ctypes.c_char * TEXT_FIELD),
        ("driver", ctypes.c_char * TEXT_FIELD),
        ("date", ctypes.c_char * 64),
        ("time", ctypes.c_char * 64),
        ("logger", ctypes.c_char * TEXT_FIELD),
        ("stated_rate", c_double),
        ("error_channel", c_int),
        ("beacon_channel", c_int),
    ]


class ChannelInfoC(ctypes.Structure):
    _fields_ = [
        ("name", ctypes.c_char * 128),
        ("title", ctypes.c_char * TEXT_FIELD),
        ("unit", ctypes.c_char * 64),
        ("derived", c_int),
    ]


class LapInfoC(ctypes.Structure):
    _fields_ = [
        ("number", c_int),
        ("logger_lap", c_int),
        ("samples", c_int),
        ("lap_class", c_int),
        ("slow", c_int),
        ("logger_time", c_int),
        ("origin_lap", c_int),
        ("origin_offset", c_double),
        ("laptime", c_double),
        ("sample_time", c_double),
        ("length", c_double),
    ]


class CornerOptionsC(ctypes.Structure):
    _fields_ = [
        ("enter_curvature", c_double),
        ("exit_curvature", c_double),
        ("min_speed", c_double),
        ("min_length", c_double),
        ("merge_gap", c_double),
    ]


class CornerC(ctypes.Structure):
    _fields_ = [
        ("number", c_int),
        ("direction", c_int),
        ("paired", c_int),
        ("entry", c_double),
        ("apex", c_double),
        ("exit", c_double),
        ("peak_curvature", c_double),
        ("entry_speed", c_double),
        ("min_speed", c_double),
        ("exit_speed", c_double),
        ("time", c_double),
    ]


class StretchC(ctypes.Structure):
    _fields_ = [
        ("corner", c_int),
        ("before", c_int),
        ("start", c_double),
        ("end", c_double),
        ("time", c_double),
        ("gain", c_double),
        ("entry_speed", c_double),
        ("min_speed", c_double),
        ("exit_speed", c_double),
    ]


class PieceC(ctypes.Structure):
    _fields_ = [("start", c_double), ("end", c_double), ("time", c_double), ("lap", c_int)]


class TrackMatchC(ctypes.Structure):
    _fields_ = [
        ("same", c_int),
        ("lap_a", c_int),
        ("lap_b", c_int),
        ("length_a", c_double),
        ("length_b", c_double),
        ("match", c_double),
        ("offset", c_double),
        ("why", ctypes.c_char * TEXT_FIELD),
    ]


options_p = ctypes.POINTER(CornerOptionsC)

# name: (result, argument types)
PROTOTYPES = {
    "lx_data_version": (c_int, []),
    "lx_last_error": (c_char_p, []),
    "lx_last_status": (c_int, []),
    "lx_capture_output": (None, [c_int]),
    "lx_take_output": (c_int, [c_char_p, c_int]),
    "lx_open": (c_int, [c_char_p, ctypes.POINTER(OpenOptions)]),
    "lx_close": (c_int, [c_int]),
    "lx_session_info_get": (c_int, [c_int, ctypes.POINTER(SessionInfoC)]),
    "lx_channel_info_get": (c_int, [c_int, c_int, ctypes.POINTER(ChannelInfoC)]),
    "lx_lap_info_get": (c_int, [c_int, c_int, ctypes.POINTER(LapInfoC)]),
    "lx_find_channel": (c_int, [c_int, c_char_p]),
    "lx_lap_samples": (c_int, [c_int, c_int, c_int, float_p, c_int]),
    "lx_lap_closure": (c_int, [c_int, c_int, c_int, double_p, double_p]),
    "lx_write_text_export": (c_int, [c_int, c_char_p]),
    "lx_lap_corners": (c_int, [c_int] * 4 + [options_p, ctypes.POINTER(CornerC), c_int]),
    "lx_lap_stretches": (c_int, [c_int] * 4 + [options_p, ctypes.POINTER(StretchC), c_int]),
    "lx_sector_cuts": (c_int, [c_int, c_int, options_p, double_p, c_int]),
    "lx_sector_times": (c_int, [c_int] * 4 + [double_p, c_int, double_p, c_int]),
    "lx_theoretical_best": (
        c_int,
        [c_int, c_int, double_p, c_int, double_p, ctypes.POINTER(PieceC), c_int],
    ),
    "lx_optimal_lap": (
        c_int,
        [c_int, c_int, double_p, c_int, c_double, options_p, double_p, ctypes.POINTER(PieceC)]
        + [c_int],
    ),
    "lx_same_track": (c_int, [c_int, c_int, c_double, options_p, ctypes.POINTER(TrackMatchC)]),
    # The exports of lx.h that the data API does not repeat.
    "lx_channel_number": (c_int, [c_int, c_int]),
    "lx_session_setup": (c_int, [c_int]),
    "lx_analysis_setup": (c_int, [c_int]),
    "lx_beacon_setup": (c_int, [c_int]),
    "lx_compute_session_math": (c_int, [c_int] * 7),
    "lx_calc_time_diff": (c_int, [c_int] * 4),
    "lx_compute_error_channel_step": (c_int, [c_int] * 4),
    "lx_locate_laps": (c_int, [c_int] * 3),
    "lx_new_session_from_beacons": (c_int, [c_int, c_int, c_int, c_int, c_float]),
    "lx_get_beacon_shift": (c_float, [c_int]),
    "lx_map_setup": (c_int, [c_int]),
    "lx_scaled_map": (c_int, [c_int, int_p, int_p] + [c_int] * 5 + [c_float, c_float]),
    "lx_scaled_chart_lap_dist": (
        c_int,
        [c_int, c_int, c_int, c_float, c_float] + [c_int] * 5 + [c_float, int_p, int_p],
    ),
    "lx_write_lap_motec": (c_int, [c_int, c_int, c_char_p]),
}


def candidates():
    """Where the library may be, in the order tried."""
    given = os.environ.get("LX_LIBRARY")
    if given:
        return [given]  # asked for explicitly: nothing else
    found = [ctypes.util.find_library("lx")]
    source_tree = Path(__file__).resolve().parent.parent.parent
    builds = sorted(source_tree.glob("build*/liblx.so"), key=lambda p: p.parent.name != "build")
    return [str(p) for p in found + builds if p]


class Library:
    """liblx with its prototypes, loaded once per process."""

    def __init__(self, path):
        try:
            self.cdll = ctypes.CDLL(path)
        except OSError as e:
            raise LibraryError(f"cannot load {path}: {e}") from None
        self.path = path
        version = self.function("lx_data_version")()
        if version // 10000 != DATA_MAJOR or version % 10000 < DATA_MINOR * 100:
            raise LibraryError(
                f"{path} has data API {version}; this module needs "
                f"{DATA_MAJOR}.{DATA_MINOR} (a {DATA_MAJOR}.x library, x >= {DATA_MINOR})"
            )
        self.log = ctypes.create_string_buffer(LOG_BYTES)
        # The core's lines become exception messages instead of standard output.
        self.function("lx_capture_output")(1)

    def function(self, name):
        try:
            f = getattr(self.cdll, name)
        except AttributeError:
            raise LibraryError(f"{self.path} lacks {name}: it is older than this module") from None
        f.restype, f.argtypes = PROTOTYPES[name]
        return f

    def take_output(self):
        self.function("lx_take_output")(self.log, LOG_BYTES)
        return self.log.value.decode("utf-8", "replace").strip()


def load():
    reasons = []
    for path in candidates():
        try:
            return Library(path)
        except LibraryError as e:
            reasons.append(str(e))
    if not reasons:
        reasons.append("no liblx found: set LX_LIBRARY to its path or install the library")
    raise LibraryError("; ".join(reasons))


_lock = threading.Lock()
_library = None
_owner = None  # (process, thread) that uses the library


def library():
    """The library, for the thread that first used it in this process only."""
    global _library, _owner
    me = (os.getpid(), threading.get_ident())
    with _lock:
        if _owner is None or _owner[0] != me[0]:
            _owner = me  # first use, or a child process that starts afresh
        elif _owner != me:
            raise ThreadError(
                "lx is used from another thread: the library's state is global to the "
                "process, so call it from one thread (use processes for parallel work)"
            )
        if _library is None:
            _library = load()
        return _library


def data_call(name, *args):
    """A data-API call: a negative result raises with lx_last_error."""
    lib = library()
    result = lib.function(name)(*args)
    if result < 0:
        message = lib.function("lx_last_error")() or b""
        raise error_for(result, message.decode("utf-8", "replace") or f"{name} failed")
    return result


def core_call(name, *args, failed=lambda result: result == 0, what=None, why=None):
    """An export of lx.h: failure raises with the lines the core printed (or
    why[result] when it printed none), after what was being done."""
    lib = library()
    lib.take_output()  # drop anything older
    result = lib.function(name)(*args)
    lines = lib.take_output()
    if failed(result):
        reason = lines or (why or {}).get(result, "refused")
        raise error_for(None, f"{what or name}: {reason}")
    return result
