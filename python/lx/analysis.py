"""The library's analysis as Python values: options, its facts, and tables as DataFrames.

Distances are metres from the start line, times seconds on the lap's own clock,
speeds in the session's speed unit (km/h unless chosen otherwise).
"""

from __future__ import annotations

import math
from dataclasses import astuple, dataclass
from typing import Dict, Mapping, Optional, Sequence, Tuple

import numpy as np
import pandas as pd

from . import _native as n

# Speed units a table can give: the column suffix and the factor from m/s.
SPEED_UNITS: Dict[str, Tuple[str, float]] = {
    "km/h": ("kmh", 3.6),
    "m/s": ("ms", 1.0),
    "mph": ("mph", 1 / 0.44704),
}
# What the logger's speed channel is in, for the analysis's speed_units option.
LOGGER_SPEED_UNITS = {"auto": n.SPEED_AUTO, "mph": n.SPEED_MPH, "km/h": n.SPEED_KMH}
OPTIMAL_TOLERANCE = 0.5  # m/s
SAME_TRACK_THRESHOLD = 0.5
HANDS = {1: "right", -1: "left"}


@dataclass(frozen=True)
class CornerOptions:
    """Thresholds for finding corners; a field left 0 takes the library's default.

    Parameters
    ----------
    enter_curvature : float
        1000 / radius in m that a corner reaches (default 8).
    exit_curvature : float
        A corner spans the stretch above this (default 4).
    min_speed : float
        m/s: slower samples are in no corner (default 5).
    min_length : float
        m: shorter stretches are noise (default 10).
    merge_gap : float
        m: corners of one hand closer than this are one (default 10).
    """

    enter_curvature: float = 0.0
    exit_curvature: float = 0.0
    min_speed: float = 0.0
    min_length: float = 0.0
    merge_gap: float = 0.0

    def _c(self) -> n.CornerOptionsC:
        values = astuple(self)
        if not all(isinstance(v, (int, float)) and not isinstance(v, bool) for v in values):
            raise TypeError("corner options must be numbers")
        return n.CornerOptionsC(*(float(v) for v in values))


@dataclass(frozen=True)
class LateralCandidate:
    """How a lateral channel closes the laps when dead-reckoned (the choice's evidence)."""

    channel: str
    laps: int
    turn: float  # median heading change, degrees
    end_gap: float  # median metres between the reckoned end and start
    lap_length: float
    gps_error: float  # % of the lap length; NaN without positions
    closes: bool


@dataclass(frozen=True)
class Analysis:
    """What the library decided for a session: channels, reference lap, cuts, best laps.

    Lap numbers are as ``lx laps`` shows them (the lap's place in the file, from 1).
    """

    speed_channel: str
    lateral_channel: str
    longitudinal_channel: Optional[str]  # None: derived from speed
    speed_units: str  # of the logger's speed channel: "km/h" or "mph"
    lateral_given: bool
    candidates: Tuple[LateralCandidate, ...]
    choice: str  # why these channels, one reason a line
    warning: str  # "" or why the result is doubtful
    reference_file: str
    reference_lap: int
    reference_time: float
    reference_length: float
    full_laps: int
    fastest_lap: Optional[int]
    fastest_time: float
    median_time: float
    corners: int
    cuts: Tuple[float, ...]  # metres on the reference lap
    default_cuts: bool
    theoretical_best: float
    optimal_lap: float
    cuts_from: str  # "given", "shape", "reference" (session's) or "gates" (the file's splits)


@dataclass(frozen=True)
class TrackMatch:
    """The same-track test of two analysed sessions (lap numbers as ``lx laps`` shows them)."""

    same: bool
    lap_a: int
    lap_b: int
    length_a: float
    length_b: float
    match: float  # curvature mismatch as a share of a's mean curvature
    offset: float  # where on b's lap a's start line fits best, m
    why: str  # "" when the same track


def decode(raw: bytes) -> str:
    return raw.decode("utf-8", "replace")


def records(name: str, ctype: type, *args) -> list:
    """A call that fills an array of ctype: asked once for the count, then filled."""
    count = n.data_call(name, *args, None, 0)
    buffer = (ctype * max(count, 1))()
    count = min(count, n.data_call(name, *args, buffer, count))
    return list(buffer[:count])


def table(columns: Mapping[str, Sequence], units: Mapping[str, str], **attrs) -> pd.DataFrame:
    """A DataFrame whose attrs name each column's unit and carry the rest of attrs."""
    frame = pd.DataFrame(dict(columns))
    frame.attrs.update(attrs, units={c: u for c, u in units.items() if c in frame.columns})
    return frame


def lap_column(numbers: Sequence[Optional[int]]) -> pd.array:
    """Lap numbers with <NA> where there is none."""
    return pd.array(numbers, dtype=pd.Int64Dtype())


class Speeds:
    """Speeds converted from m/s into a table's unit, with columns saying it."""

    def __init__(self, unit: str) -> None:
        if unit not in SPEED_UNITS:
            raise ValueError(f"speed unit must be one of {', '.join(SPEED_UNITS)}, not {unit!r}")
        self.unit = unit
        self.suffix, self.factor = SPEED_UNITS[unit]

    def columns(self, records: Sequence, fields: Sequence[str]) -> Dict[str, np.ndarray]:
        return {
            f"{f}_{self.suffix}": np.array([getattr(r, f) for r in records], float) * self.factor
            for f in fields
        }

    def units(self, names: Sequence[str]) -> Dict[str, str]:
        return {f"{f}_{self.suffix}": self.unit for f in names}


SPEED_FIELDS = ("entry_speed", "min_speed", "exit_speed")
PLACE_UNITS = {"entry_m": "m", "apex_m": "m", "exit_m": "m", "start_m": "m", "end_m": "m"}


def corner_columns(corners: Sequence[n.CornerC], speeds: Speeds) -> Dict[str, object]:
    """The columns of a corner table, shared by a lap's corners and the summary."""
    curvature = np.array([c.peak_curvature for c in corners], float)
    with np.errstate(divide="ignore"):
        radius = np.where(curvature > 0, 1000.0 / curvature, math.inf)
    return {
        "corner": [c.number for c in corners],
        "hand": [HANDS.get(c.direction, "") for c in corners],
        "entry_m": [c.entry for c in corners],
        "apex_m": [c.apex for c in corners],
        "exit_m": [c.exit for c in corners],
        "radius_m": radius,
        "curvature_per_km": curvature,
        **speeds.columns(corners, SPEED_FIELDS),
        "time_s": [c.time for c in corners],
    }


def corner_units(speeds: Speeds) -> Dict[str, str]:
    return {
        **PLACE_UNITS,
        "radius_m": "m",
        "curvature_per_km": "1/km",
        "time_s": "s",
        **speeds.units(SPEED_FIELDS),
    }
