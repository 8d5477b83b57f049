"""Finding and calling liblx: the records of lx_data.h, prototypes, errors."""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import threading
from pathlib import Path
from typing import Callable, Dict, List, Optional

from .errors import LibraryError, error_for

# The data API this module speaks: major must match, minor at least this.
DATA_MAJOR = 2
DATA_MINOR = 3

TEXT_FIELD = 256
MAX_CUTS = 32
# lx_analysis_info.cuts_from (LX_CUTS_GIVEN ... LX_CUTS_GATES)
CUTS_FROM = ("given", "shape", "reference", "gates")
MAX_CANDIDATES = 8
SPEED_AUTO, SPEED_MPH, SPEED_KMH = -1, 0, 1
BEST_THEORETICAL, BEST_OPTIMAL = 0, 1

HOW_TO_GET_ONE = (
    "build it (bash tools/run-sample.sh) and reinstall this module (pip install ./python), "
    "install the lx Debian package, or set LX_LIBRARY to the path of a liblx.so"
)

c_int, c_float, c_double, c_char_p = ctypes.c_int, ctypes.c_float, ctypes.c_double, ctypes.c_char_p
int_p = ctypes.POINTER(c_int)
float_p = ctypes.POINTER(c_float)
double_p = ctypes.POINTER(c_double)


def _text(size: int) -> type:
    return ctypes.c_char * size


class OpenOptions(ctypes.Structure):
    _fields_ = [
        ("rate", c_double),
        ("channels", c_char_p),
        ("first_lap", c_int),
        ("last_lap", c_int),
        ("start_line", c_char_p),
    ]


class SessionInfoC(ctypes.Structure):
    _fields_ = [
        ("sample_rate", c_double),
        ("start_time", c_double),
        ("channels", c_int),
        ("file_channels", c_int),
        ("laps", c_int),
        ("format", _text(32)),
        ("file", _text(TEXT_FIELD)),
        ("venue", _text(TEXT_FIELD)),
        ("vehicle", _text(TEXT_FIELD)),
        ("driver", _text(TEXT_FIELD)),
        ("date", _text(64)),
        ("time", _text(64)),
        ("logger", _text(TEXT_FIELD)),
        ("stated_rate", c_double),
        ("error_channel", c_int),
        ("beacon_channel", c_int),
        ("beacon_shift", c_double),
    ]


class MatchOptionsC(ctypes.Structure):
    _fields_ = [("threads", c_int), ("cut_mode", c_int), ("tolerance", c_double)]


class ChannelInfoC(ctypes.Structure):
    _fields_ = [
        ("name", _text(128)),
        ("title", _text(TEXT_FIELD)),
        ("unit", _text(64)),
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
        ("truncated", c_int),
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


class AnalysisOptionsC(ctypes.Structure):
    _fields_ = [
        ("speed", c_char_p),
        ("lateral", c_char_p),
        ("longitudinal", c_char_p),
        ("speed_units", c_int),
        ("invert_lat", c_int),
        ("invert_long", c_int),
        ("ref_handle", c_int),
        ("ref_lap", c_int),
        ("corners", CornerOptionsC),
        ("ncuts", c_int),
        ("cuts", c_double * MAX_CUTS),
        ("tolerance", c_double),
    ]


class LateralCandidateC(ctypes.Structure):
    _fields_ = [
        ("channel", c_int),
        ("laps", c_int),
        ("turn", c_double),
        ("end_gap", c_double),
        ("lap_length", c_double),
        ("gps_error", c_double),
        ("closes", c_int),
    ]


class AnalysisInfoC(ctypes.Structure):
    _fields_ = [
        ("speed_channel", c_int),
        ("lateral_channel", c_int),
        ("longitudinal_channel", c_int),
        ("speed_units", c_int),
        ("lateral_given", c_int),
        ("candidates", c_int),
        ("candidate", LateralCandidateC * MAX_CANDIDATES),
        ("choice", _text(1024)),
        ("warning", _text(TEXT_FIELD)),
        ("ref_handle", c_int),
        ("ref_lap", c_int),
        ("ref_time", c_double),
        ("ref_length", c_double),
        ("full_laps", c_int),
        ("fastest_lap", c_int),
        ("fastest_time", c_double),
        ("median_time", c_double),
        ("corners", c_int),
        ("ncuts", c_int),
        ("cuts", c_double * MAX_CUTS),
        ("default_cuts", c_int),
        ("theoretical_best", c_double),
        ("optimal_lap", c_double),
        ("cuts_from", c_int),
    ]


class AnalysisLapC(ctypes.Structure):
    _fields_ = [("info", LapInfoC), ("gap", c_double)]


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


class CornerSummaryC(ctypes.Structure):
    _fields_ = [
        ("corner", CornerC),
        ("best_entry_speed", c_double),
        ("best_min_speed", c_double),
        ("best_exit_speed", c_double),
        ("best_entry_lap", c_int),
        ("best_min_lap", c_int),
        ("best_exit_lap", c_int),
        ("most_lost", c_double),
        ("lost_lap", c_int),
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
        ("why", _text(TEXT_FIELD)),
    ]


def _p(ctype: type) -> type:
    return ctypes.POINTER(ctype)


# name: (result, argument types)
PROTOTYPES = {
    "lx_data_version": (c_int, []),
    "lx_last_error": (c_char_p, []),
    "lx_last_status": (c_int, []),
    "lx_open": (c_int, [c_char_p, _p(OpenOptions)]),
    "lx_close": (c_int, [c_int]),
    "lx_session_info_get": (c_int, [c_int, _p(SessionInfoC)]),
    "lx_channel_info_get": (c_int, [c_int, c_int, _p(ChannelInfoC)]),
    "lx_lap_info_get": (c_int, [c_int, c_int, _p(LapInfoC)]),
    "lx_session_note": (c_int, [c_int, c_int, c_char_p, c_int]),
    "lx_session_day": (c_int, [c_int, c_char_p, c_int]),
    "lx_session_origin": (c_int, [c_int, double_p, double_p]),
    "lx_find_channel": (c_int, [c_int, c_char_p]),
    "lx_lap_samples": (c_int, [c_int, c_int, c_int, float_p, c_int]),
    "lx_lap_closure": (c_int, [c_int, c_int, c_int, double_p, double_p]),
    "lx_write_text_export": (c_int, [c_int, c_char_p]),
    "lx_analysis_defaults": (c_int, [_p(AnalysisOptionsC)]),
    "lx_analyse": (c_int, [c_int, _p(AnalysisOptionsC)]),
    "lx_analysis_info_get": (c_int, [c_int, _p(AnalysisInfoC)]),
    "lx_analysis_lap_get": (c_int, [c_int, c_int, _p(AnalysisLapC)]),
    "lx_analysis_time_diff": (c_int, [c_int, c_int, double_p, double_p, c_int]),
    "lx_analysis_corners": (c_int, [c_int, c_int, _p(CornerC), c_int]),
    "lx_analysis_stretches": (c_int, [c_int, c_int, _p(StretchC), c_int]),
    "lx_analysis_corner_summary": (c_int, [c_int, _p(CornerSummaryC), c_int]),
    "lx_analysis_sector_times": (c_int, [c_int, c_int, double_p, c_int]),
    "lx_analysis_best": (c_int, [c_int, c_int, double_p, _p(PieceC), c_int]),
    "lx_analysis_gps_track": (c_int, [c_int, c_int, double_p, double_p, c_int, double_p]),
    "lx_same_track": (c_int, [c_int, c_int, c_double, _p(CornerOptionsC), _p(TrackMatchC)]),
    "lx_derived_channel_number": (c_int, [c_int, c_int]),
    "lx_match_laps": (c_int, [c_int, c_int, c_int, _p(MatchOptionsC)]),
    "lx_cut_session": (c_int, [c_int, c_int, c_int, _p(MatchOptionsC)]),
    "lx_map_pixels": (c_int, [c_int, int_p, int_p] + [c_int] * 5 + [c_float, c_float]),
    "lx_chart_pixels": (
        c_int,
        [c_int, c_int, c_int, c_float, c_float] + [c_int] * 5 + [c_float, int_p, int_p],
    ),
    "lx_write_motec": (c_int, [c_int, c_int, c_char_p]),
}


def installed_soname() -> Optional[str]:
    """The SONAME written at install (pip or the Debian package); None in a source tree."""
    try:
        from ._install import SONAME
    except ImportError:
        return None
    return SONAME


def candidates() -> List[str]:
    """Where the library may be, in the order tried."""
    given = os.environ.get("LX_LIBRARY")
    if given:
        return [given]  # asked for explicitly: nothing else
    here = Path(__file__).resolve().parent
    soname = installed_soname()
    found: List[str] = []
    if soname:
        bundled = here / soname  # pip install copies the build's library here
        found += [str(bundled)] if bundled.exists() else [soname]  # else the loader's search
    # A source tree used in place: its builds, the tests' and the main job's.
    source_tree = here.parent.parent
    found += [str(source_tree / b / "liblx.so") for b in ("build", "build-sample")]
    found += [ctypes.util.find_library("lx") or ""]
    return [f for f in dict.fromkeys(found) if f and (os.sep not in f or os.path.exists(f))]


class Library:
    """liblx with its prototypes, loaded once per process."""

    def __init__(self, path: str) -> None:
        try:
            self.cdll = ctypes.CDLL(path)
        except OSError as e:
            raise LibraryError(f"cannot load {path}: {e}") from None
        self.path = path
        self.functions: Dict[str, Callable] = {}
        version = self.function("lx_data_version")()
        if version // 10000 != DATA_MAJOR or version % 10000 < DATA_MINOR * 100:
            major, minor = version // 10000, version % 10000 // 100
            raise LibraryError(
                f"{path} has data API {major}.{minor}; this module needs {DATA_MAJOR}.x "
                f"(x >= {DATA_MINOR}): rebuild the library and reinstall this module "
                f"(bash tools/run-sample.sh, then pip install ./python), or set LX_LIBRARY "
                f"to a liblx.so of data API {DATA_MAJOR}"
            )

    def function(self, name: str) -> Callable:
        if name not in self.functions:
            try:
                f = getattr(self.cdll, name)
            except AttributeError:
                raise LibraryError(
                    f"{self.path} lacks {name}: it is older than this module; {HOW_TO_GET_ONE}"
                ) from None
            f.restype, f.argtypes = PROTOTYPES[name]
            self.functions[name] = f
        return self.functions[name]


def load() -> Library:
    reasons = []
    for path in candidates():
        try:
            return Library(path)
        except LibraryError as e:
            reasons.append(str(e))
    if not any("data API" in r for r in reasons):  # those say what to do themselves
        reasons.append(f"no usable liblx: {HOW_TO_GET_ONE}")
    raise LibraryError("; ".join(reasons))


_lock = threading.Lock()
_library: Optional[Library] = None


def library() -> Library:
    """The library, loaded once per process; any thread may call it (ctypes lets the
    interpreter run other threads during a call, and the last error is the thread's)."""
    global _library
    with _lock:
        if _library is None:
            _library = load()
        return _library


def data_call(name: str, *args) -> int:
    """A data-API call: a negative result raises the status's exception with lx_last_error."""
    lib = library()
    result = lib.function(name)(*args)
    if result < 0:
        message = lib.function("lx_last_error")() or b""
        raise error_for(result, message.decode("utf-8", "replace") or f"{name} failed")
    return result

