"""Corners, sectors, best laps and the same-track test: liblx's records as dataclasses.

Distances are metres from the start line, speeds m/s, times seconds.
"""

import ctypes
import math
from dataclasses import astuple, dataclass, fields

import numpy as np

from . import _native as n
from .errors import ArgumentError

# The library's defaults, for callers that print or compare with them.
OPTIMAL_TOLERANCE = 0.5  # m/s
SAME_TRACK_THRESHOLD = 0.5
# More sector cuts than anyone draws, so that a wrong array raises.
MAX_CUTS = 4096


@dataclass(frozen=True)
class CornerOptions:
    """Thresholds for finding corners; a field left 0 takes the library's default
    (8 and 4 for the curvature 1000/radius, 5 m/s, 10 m, 10 m)."""

    enter_curvature: float = 0.0
    exit_curvature: float = 0.0
    min_speed: float = 0.0
    min_length: float = 0.0
    merge_gap: float = 0.0

    def _c(self):
        values = astuple(self)
        if not all(isinstance(v, (int, float)) and not isinstance(v, bool) for v in values):
            raise TypeError("corner options must be numbers")
        return n.CornerOptionsC(*(float(v) for v in values))


@dataclass(frozen=True)
class Corner:
    number: int  # 1, 2, ... from the start line on this lap
    direction: int  # +1 right-hand, -1 left-hand
    paired: int  # the reference lap's corner at this place; 0: none
    entry: float
    apex: float
    exit: float
    peak_curvature: float  # 1000/radius at the apex
    entry_speed: float
    min_speed: float
    exit_speed: float
    time: float  # entry to exit

    @property
    def radius(self):
        return 1000.0 / self.peak_curvature if self.peak_curvature > 0 else math.inf


@dataclass(frozen=True)
class Stretch:
    """A reference corner (corner > 0) or the straight leading to corner `before`."""

    corner: int
    before: int
    start: float
    end: float
    time: float
    gain: float  # negative where the lap gained on the reference
    entry_speed: float
    min_speed: float
    exit_speed: float


@dataclass(frozen=True)
class Piece:
    start: float
    end: float
    time: float
    lap: int


@dataclass(frozen=True)
class BestLap:
    time: float
    pieces: list


@dataclass(frozen=True)
class TrackMatch:
    same: bool
    lap_a: int
    lap_b: int
    length_a: float
    length_b: float
    match: float  # curvature mismatch as a share of a's mean curvature
    offset: float  # where on b's lap a's start line fits best
    why: str  # "" when the same track


def _record(cls, c):
    return cls(*(getattr(c, f.name) for f in fields(cls)))


def options_pointer(options):
    if options is None:
        return None
    if not isinstance(options, CornerOptions):
        raise TypeError(f"options must be lx.CornerOptions, not {type(options).__name__}")
    return ctypes.byref(options._c())


def records(name, ctype, cls, *args):
    """A call that fills an array of ctype: asked once for the count, then filled."""
    count = n.data_call(name, *args, None, 0)
    buffer = (ctype * max(count, 1))()
    count = min(count, n.data_call(name, *args, buffer, count))
    return [_record(cls, buffer[i]) for i in range(count)]


def cut_array(cuts):
    try:
        array = np.ascontiguousarray(cuts, dtype=np.float64).reshape(-1)
    except (TypeError, ValueError):
        raise TypeError("cuts must be a sequence of distances in metres") from None
    if len(array) > MAX_CUTS:
        raise ArgumentError(f"{len(array)} cuts: at most {MAX_CUTS}", -2)
    return array


def doubles(array):
    return array.ctypes.data_as(n.double_p) if len(array) else None


def best_lap(name, *args):
    """lx_theoretical_best or lx_optimal_lap: the time and the pieces."""
    time = ctypes.c_double()
    count = n.data_call(name, *args, ctypes.byref(time), None, 0)
    buffer = (n.PieceC * max(count, 1))()
    n.data_call(name, *args, ctypes.byref(time), buffer, count)
    return BestLap(time.value, [_record(Piece, buffer[i]) for i in range(count)])


def track_match(c):
    return TrackMatch(
        bool(c.same),
        c.lap_a,
        c.lap_b,
        c.length_a,
        c.length_b,
        c.match,
        c.offset,
        c.why.decode("utf-8", "replace"),
    )
