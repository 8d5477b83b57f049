"""A session: one logger file held by liblx under a handle, and its analysis as DataFrames."""

from __future__ import annotations

import ctypes
import enum
import numbers
import os
from dataclasses import dataclass
from typing import Any, Dict, List, Optional, Sequence, Tuple, Union

import numpy as np
import pandas as pd

from . import _native as n
from . import analysis as a
from .errors import (
    ArgumentError,
    ChannelError,
    HandleError,
    LapError,
    StateError,
)

INT_MIN, INT_MAX = -(2**31), 2**31 - 1
# A generous bound on caller-sized arrays, so that a wrong number raises
# instead of asking for gigabytes.
MAX_POINTS = 1 << 24

PathLike = Union[str, bytes, "os.PathLike[str]"]
# A reference lap: a lap number of this session, another session (its
# fastest full lap) or a (session, lap number) pair; None: the fastest full lap.
Reference = Union[None, int, "Session", Tuple["Session", Optional[int]]]


class Derived(enum.IntEnum):
    """Ids of the channels the library appends (lx_channel_number)."""

    DISTANCE = 0
    SPEED = 1
    LAT_G = 2
    LONG_G = 3
    SEGMENT_LENGTH = 4
    CURVATURE = 5
    MAP_X = 6
    MAP_Y = 7
    TIME_DIFF = 8
    TIME_DIFF_RATE = 9


class LapClass(enum.IntEnum):
    """A lap's class (lx_lap_class); its lower-case name is what tables show."""

    UNKNOWN = 0
    FULL = 1
    OUT = 2
    IN = 3
    PARTIAL = 4
    DOUBLE = 5


@dataclass(frozen=True)
class SessionInfo:
    sample_rate: float
    start_time: float  # Unix time of the first sample; 0 when unknown
    channels: int
    file_channels: int
    laps: int
    format: str
    file: str
    venue: str
    vehicle: str
    driver: str
    date: str
    time: str
    logger: str
    stated_rate: float  # 0 when the file states none


@dataclass(frozen=True)
class ChannelInfo:
    number: int
    name: str  # stored name, unique in the session
    title: str  # as the file wrote it
    unit: str
    derived: bool


@dataclass(frozen=True)
class LapInfo:
    """A lap's facts; number is the lap as ``lx laps`` shows it (its place in the file)."""

    number: int
    logger_lap: int
    samples: int
    lap_class: LapClass
    slow: bool
    logger_time: bool  # laptime is the logger's own
    origin_lap: int  # the lap a cut lap was cut from; 0 otherwise
    origin_offset: float
    laptime: float  # seconds: the one lap time every view shows
    sample_time: float  # seconds counted from the samples
    length: float  # metres; 0 before the analysis
    truncated: bool = False  # the last lap of a file that ends inside a row or record


def _int(value: Any, what: str) -> int:
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{what} must be an int, not {type(value).__name__}")
    value = int(value)
    if not INT_MIN <= value <= INT_MAX:
        raise ArgumentError(f"{what} {value} is out of range", -2)
    return value


def _float(value: Any, what: str) -> float:
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{what} must be a number, not {type(value).__name__}")
    return float(value)


def _count(value: Any, what: str) -> int:
    value = _int(value, what)
    if not 0 < value <= MAX_POINTS:
        raise ArgumentError(f"{what} must be from 1 to {MAX_POINTS}, not {value}", -2)
    return value


def _text(value: Any, what: str) -> bytes:
    if not isinstance(value, (str, bytes, os.PathLike)):
        raise TypeError(f"{what} must be a str or path, not {type(value).__name__}")
    raw = os.fsencode(value) if not isinstance(value, str) else value.encode("utf-8")
    if b"\0" in raw:
        raise ArgumentError(f"{what} contains a zero byte", -2)
    return raw


def _lap_info(c: n.LapInfoC) -> LapInfo:
    return LapInfo(
        c.number,
        c.logger_lap,
        c.samples,
        LapClass(c.lap_class) if c.lap_class in LapClass._value2member_map_ else LapClass.UNKNOWN,
        bool(c.slow),
        bool(c.logger_time),
        c.origin_lap,
        c.origin_offset,
        c.laptime,
        c.sample_time,
        c.length,
        bool(c.truncated),
    )


def _lap_number(handle: int, index: int) -> Optional[int]:
    """The lap number of a lap index the library gave; None for -1 (none)."""
    if index < 0:
        return None
    c = n.LapInfoC()
    n.data_call("lx_lap_info_get", handle, index, ctypes.byref(c))
    return c.number


def _session(value: Any) -> "Session":
    if not isinstance(value, Session):
        raise TypeError(f"reference must be an lx.Session, not {type(value).__name__}")
    return value


class Session:
    """A session opened from any file lx reads; ``with`` closes it.

    Laps are known by their number as ``lx laps`` shows it: the lap's place in
    the file, counting from 1 (a lap window keeps the file's numbers). Channels
    are known by title, stored name or number (from 0).

    Parameters
    ----------
    path : str or path
        The file, chosen by its content.
    rate : float
        Samples per second for files on an uneven time base (0: the file's own).
    channels : sequence of str, optional
        Titles or names of the file's channels to keep (None: all).
    laps : (int, int), optional
        A window of the file's laps (first, last), counting from 1; 0 for an open end.
    speed_unit : {"km/h", "m/s", "mph"}
        The unit of speeds in the tables.

    Raises
    ------
    FileError
        The file is missing or unreadable.
    FormatError
        Not a file lx reads, or its content is refused (the message names the line).
    ChannelError, AmbiguousChannelError, LapError
        An option names what the file lacks.
    LimitError
        The file holds more channels or laps than a session.
    LibraryError
        liblx cannot be loaded (the message says what to do).
    """

    def __init__(
        self,
        path: PathLike,
        *,
        rate: float = 0.0,
        channels: Optional[Sequence[str]] = None,
        laps: Optional[Tuple[int, int]] = None,
        speed_unit: str = "km/h",
    ) -> None:
        self._handle = 0
        self._matched: Optional[Tuple[int, int]] = None  # (reference handle, lap) matched
        self._speeds = a.Speeds(speed_unit)
        options = n.OpenOptions(_float(rate, "rate"), None, 0, 0)
        if channels is not None:
            if isinstance(channels, (str, bytes)):
                channels = [channels]
            options.channels = b",".join(_text(c, "channel") for c in channels)
        if laps is not None:
            if not isinstance(laps, (tuple, list)) or len(laps) != 2:
                raise TypeError("laps must be a (first, last) pair")
            options.first_lap, options.last_lap = (_int(x, "lap") for x in laps)
        self.path = os.fspath(path) if isinstance(path, (str, os.PathLike)) else path
        self._options: Dict[str, Any] = {}
        self._handle = n.data_call("lx_open", _text(path, "path"), ctypes.byref(options))
        self._numbers = self._lap_numbers()

    @classmethod
    def _adopt(cls, handle: int, path: str, speed_unit: str) -> "Session":
        s = cls.__new__(cls)
        s._handle, s.path, s._speeds, s._options = handle, path, a.Speeds(speed_unit), {}
        s._matched = None
        s._numbers = s._lap_numbers()
        return s

    def _lap_numbers(self) -> List[int]:
        count = self.info.laps
        return [_lap_number(self._handle, i) or 0 for i in range(count)]

    # ---- lifetime -----------------------------------------------------------

    def close(self) -> None:
        """Frees the session; closing twice does nothing."""
        if self._handle:
            handle, self._handle = self._handle, 0
            n.data_call("lx_close", handle)

    def __enter__(self) -> "Session":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            pass  # another thread or a closing interpreter: the process ends it

    @property
    def closed(self) -> bool:
        return not self._handle

    @property
    def handle(self) -> int:
        """The handle (1..10) for liblx's C calls.

        Raises
        ------
        HandleError
            The session is closed.
        """
        if not self._handle:
            raise HandleError(f"session of {self.path} is closed", -1)
        return self._handle

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"handle {self._handle}"
        return f"<lx.Session {self.path!r} {state}>"

    # ---- facts --------------------------------------------------------------

    @property
    def info(self) -> SessionInfo:
        """The session's facts as the file gives them.

        Raises
        ------
        HandleError
            The session is closed.
        """
        c = n.SessionInfoC()
        n.data_call("lx_session_info_get", self.handle, ctypes.byref(c))
        texts = ("format", "file", "venue", "vehicle", "driver", "date", "time", "logger")
        return SessionInfo(
            c.sample_rate,
            c.start_time,
            c.channels,
            c.file_channels,
            c.laps,
            stated_rate=c.stated_rate,
            **{t: a.decode(getattr(c, t)) for t in texts},
        )

    @property
    def channels(self) -> List[ChannelInfo]:
        """Every channel, the file's and the library's derived ones."""
        result = []
        for number in range(self.info.channels):
            c = n.ChannelInfoC()
            n.data_call("lx_channel_info_get", self.handle, number, ctypes.byref(c))
            name, title, unit = (a.decode(x) for x in (c.name, c.title, c.unit))
            result.append(ChannelInfo(number, name, title, unit, bool(c.derived)))
        return result

    @property
    def lap_numbers(self) -> List[int]:
        """The laps' numbers in file order."""
        return list(self._numbers)

    def lap(self, lap: int) -> LapInfo:
        """One lap's facts.

        Parameters
        ----------
        lap : int
            The lap's number.

        Returns
        -------
        LapInfo
            Its class, slow and length come from the analysis once it has run.

        Raises
        ------
        LapError
            No such lap.
        """
        c = n.LapInfoC()
        n.data_call("lx_lap_info_get", self.handle, self._index(lap), ctypes.byref(c))
        return _lap_info(c)

    def channel(self, channel: Union[str, int, Derived]) -> int:
        """A channel's number.

        Parameters
        ----------
        channel : str, int or Derived
            A title as written, else a stored name; a number (checked); a derived channel.

        Returns
        -------
        int

        Raises
        ------
        ChannelError
            No such channel (the message names the nearest).
        AmbiguousChannelError
            A title shared by several channels: use the stored name.
        StateError
            A derived channel before the analysis adds it.
        """
        if isinstance(channel, Derived):
            number = self.derived(channel)
            if number is None:
                raise StateError(f"no {channel.name.lower()} channel before the analysis", -10)
            return number
        if isinstance(channel, (str, bytes)):
            return n.data_call("lx_find_channel", self.handle, _text(channel, "channel"))
        channel = _int(channel, "channel")
        count = self.info.channels
        if not 0 <= channel < count:
            raise ChannelError(f"no channel {channel}: the session has {count}", -3)
        return channel

    def derived(self, which: Derived) -> Optional[int]:
        """Channel number of a derived channel, or None before it is added."""
        return n.data_call("lx_derived_channel_number", self.handle, _int(which, "id")) or None

    def _index(self, lap: int) -> int:
        lap = _int(lap, "lap")
        if lap not in self._numbers:
            shown = f"{self._numbers[0]}-{self._numbers[-1]}" if self._numbers else "none"
            raise LapError(f"no lap {lap} in {self.path}: its laps are {shown}", -4)
        return self._numbers.index(lap)

    # ---- samples ------------------------------------------------------------

    def samples(self, lap: int, channel: Union[str, int, Derived]) -> np.ndarray:
        """One channel of a lap as stored.

        Parameters
        ----------
        lap : int
            The lap's number.
        channel : str, int or Derived
            A title, stored name, number or derived channel.

        Returns
        -------
        numpy.ndarray
            float32, one value per sample.

        Raises
        ------
        LapError, ChannelError, AmbiguousChannelError, StateError
            No such lap or channel; a derived channel before the analysis.
        """
        h, index, channel = self.handle, self._index(lap), self.channel(channel)
        count = n.data_call("lx_lap_samples", h, index, channel, None, 0)
        out = np.empty(count, dtype=np.float32)
        if count:
            n.data_call("lx_lap_samples", h, index, channel, out.ctypes.data_as(n.float_p), count)
        return out

    def frame(self, lap: Optional[int] = None) -> pd.DataFrame:
        """Every channel of a lap, or of the whole session in long form.

        Parameters
        ----------
        lap : int, optional
            The lap's number; None: every lap, one after the other, with a ``lap`` column.

        Returns
        -------
        pandas.DataFrame
            A column per channel named by its title (channels that share a title by
            their stored names, e.g. ``Time_2``), as stored (float32); ``distance_m``
            from the start line and ``time_s`` on the lap's own clock (float64), and
            the analysis's speed (``speed_kmh`` in km/h by default).
            ``attrs["units"]`` gives each column's unit.

        Raises
        ------
        LapError
            No such lap.
        FormatError
            The analysis, which lays out distance, cannot run (the message says why).
        """
        if lap is None:
            frames = [self.frame(number).assign(lap=number) for number in self._numbers]
            whole = pd.concat(frames, ignore_index=True) if frames else pd.DataFrame()
            whole = whole[["lap"] + [c for c in whole.columns if c != "lap"]]
            whole.attrs["units"] = frames[0].attrs["units"] if frames else {}
            return whole
        self._analysed()
        info, channels = self.lap(lap), self.channels
        names = _column_names(channels)
        columns: Dict[str, Any] = {
            name: self.samples(lap, c.number) for name, c in zip(names, channels)
        }
        seglen = self.samples(lap, Derived.SEGMENT_LENGTH).astype(np.float64)
        columns["distance_m"] = np.concatenate([[0.0], np.cumsum(seglen[:-1])])
        columns["time_s"] = np.arange(info.samples) * (info.laptime / max(info.samples, 1))
        speed = f"speed_{self._speeds.suffix}"
        columns[speed] = self.samples(lap, Derived.SPEED) * self._speeds.factor
        units = {name: c.unit for name, c in zip(names, channels)}
        units.update(distance_m="m", time_s="s", **{speed: self._speeds.unit})
        return a.table(columns, units, lap=lap)

    # ---- the analysis -------------------------------------------------------

    def analyse(
        self,
        *,
        speed: Optional[str] = None,
        lateral: Optional[str] = None,
        longitudinal: Optional[str] = None,
        speed_units: str = "auto",
        invert_lat: bool = False,
        invert_long: bool = False,
        reference: Reference = None,
        corners: Optional[a.CornerOptions] = None,
        cuts: Optional[Sequence[float]] = None,
        tolerance: float = a.OPTIMAL_TOLERANCE,
    ) -> a.Analysis:
        """Runs the library's analysis of the session; every table reads it.

        The tables run it with the defaults when it has not run; call this to
        choose otherwise. Running it again replaces it (nothing accumulates).

        Parameters
        ----------
        speed, lateral, longitudinal : str, optional
            Channels by title or stored name; None: chosen by the library (see
            `Analysis.choice`). longitudinal "none": derived from speed.
        speed_units : {"auto", "km/h", "mph"}
            The unit of the logger's speed channel; "auto": from the channel's unit.
        invert_lat, invert_long : bool
            Flip the sign of the lateral or longitudinal channel.
        reference : int, Session or (Session, int), optional
            The reference lap: a full lap of this session by number, another
            analysed session of the same track (its fastest full lap, or the lap
            given); None: this session's fastest full lap.
        corners : CornerOptions, optional
            Thresholds for finding corners.
        cuts : sequence of float, optional
            Sector cuts in metres on the reference lap, increasing (at most 32);
            None: the library's default two.
        tolerance : float
            The optimal lap's speed tolerance at a cut, m/s.

        Returns
        -------
        Analysis

        Raises
        ------
        ChannelError, AmbiguousChannelError
            A named channel.
        FormatError
            No speed or lateral channel, or a speed unit that cannot be told.
        LapError
            No laps; a reference lap that does not exist or is not full.
        TrackError
            A reference of another track.
        StateError
            The reference session has not been analysed.
        ArgumentError
            An option out of range (the message names it).
        """
        options = dict(
            speed=speed,
            lateral=lateral,
            longitudinal=longitudinal,
            speed_units=speed_units,
            invert_lat=invert_lat,
            invert_long=invert_long,
            reference=reference,
            corners=corners,
            cuts=cuts,
            tolerance=tolerance,
        )
        self._run(options)
        return self.analysis

    def _run(self, options: Dict[str, Any]) -> None:
        c = self._analysis_options(**options)
        n.data_call("lx_analyse", self.handle, ctypes.byref(c))
        self._options = options

    def _analysis_options(
        self,
        speed: Optional[str] = None,
        lateral: Optional[str] = None,
        longitudinal: Optional[str] = None,
        speed_units: str = "auto",
        invert_lat: bool = False,
        invert_long: bool = False,
        reference: Reference = None,
        corners: Optional[a.CornerOptions] = None,
        cuts: Optional[Sequence[float]] = None,
        tolerance: float = a.OPTIMAL_TOLERANCE,
    ) -> n.AnalysisOptionsC:
        c = n.AnalysisOptionsC()
        n.data_call("lx_analysis_defaults", ctypes.byref(c))
        c.speed, c.lateral, c.longitudinal = (
            None if x is None else _text(x, what)
            for x, what in ((speed, "speed"), (lateral, "lateral"), (longitudinal, "longitudinal"))
        )
        if speed_units not in a.LOGGER_SPEED_UNITS:
            known = ", ".join(a.LOGGER_SPEED_UNITS)
            raise ArgumentError(f"speed_units must be one of {known}, not {speed_units!r}", -2)
        c.speed_units = a.LOGGER_SPEED_UNITS[speed_units]
        c.invert_lat, c.invert_long = int(bool(invert_lat)), int(bool(invert_long))
        c.ref_handle, c.ref_lap = self._reference(reference)
        if corners is not None:
            if not isinstance(corners, a.CornerOptions):
                raise TypeError(f"corners must be lx.CornerOptions, not {type(corners).__name__}")
            c.corners = corners._c()
        if cuts is not None:
            values = [_float(x, "cut") for x in cuts]
            if len(values) > n.MAX_CUTS:
                raise ArgumentError(f"{len(values)} cuts: at most {n.MAX_CUTS}", -2)
            c.ncuts = len(values)
            c.cuts[: len(values)] = values
        c.tolerance = _float(tolerance, "tolerance")
        return c

    def _reference(self, reference: Reference) -> Tuple[int, int]:
        """(ref_handle, ref_lap index) of the analysis options."""
        if reference is None:
            return 0, -1
        if isinstance(reference, Session):
            return (0 if reference is self else reference.handle), -1
        if isinstance(reference, tuple) and len(reference) == 2:
            other, lap = _session(reference[0]), reference[1]
            index = -1 if lap is None else other._index(lap)
            return (0 if other is self else other.handle), index
        if isinstance(reference, numbers.Integral) and not isinstance(reference, bool):
            return 0, self._index(reference)
        raise TypeError("reference must be a lap number, a Session, a (Session, lap) pair or None")

    def _analysed(self) -> n.AnalysisInfoC:
        """The current analysis, run with the last options (or the defaults) where there is none."""
        c = n.AnalysisInfoC()
        try:
            n.data_call("lx_analysis_info_get", self.handle, ctypes.byref(c))
        except StateError:
            self._run(self._options)
            n.data_call("lx_analysis_info_get", self.handle, ctypes.byref(c))
        return c

    @property
    def analysis(self) -> a.Analysis:
        """What the analysis decided (run with the defaults if it has not run).

        Raises
        ------
        FormatError, LapError, ChannelError
            The analysis cannot run on this session (see `analyse`).
        """
        c = self._analysed()
        channels = self.channels

        def title(number: int) -> str:
            return channels[number].title if 0 <= number < len(channels) else ""

        candidates = tuple(
            a.LateralCandidate(
                title(x.channel),
                x.laps,
                x.turn,
                x.end_gap,
                x.lap_length,
                x.gps_error,
                bool(x.closes),
            )
            for x in c.candidate[: max(0, min(c.candidates, n.MAX_CANDIDATES))]
        )
        ref_handle = c.ref_handle or self.handle
        ref_file = self.path if ref_handle == self.handle else _file_of(ref_handle)
        return a.Analysis(
            speed_channel=title(c.speed_channel),
            lateral_channel=title(c.lateral_channel),
            longitudinal_channel=title(c.longitudinal_channel) if c.longitudinal_channel else None,
            speed_units="km/h" if c.speed_units == n.SPEED_KMH else "mph",
            lateral_given=bool(c.lateral_given),
            candidates=candidates,
            choice=a.decode(c.choice),
            warning=a.decode(c.warning),
            reference_file=ref_file,
            reference_lap=_lap_number(ref_handle, c.ref_lap) or 0,
            reference_time=c.ref_time,
            reference_length=c.ref_length,
            full_laps=c.full_laps,
            fastest_lap=self._number(c.fastest_lap),
            fastest_time=c.fastest_time,
            median_time=c.median_time,
            corners=c.corners,
            cuts=tuple(c.cuts[: max(0, min(c.ncuts, n.MAX_CUTS))]),
            default_cuts=bool(c.default_cuts),
            theoretical_best=c.theoretical_best,
            optimal_lap=c.optimal_lap,
            cuts_from=n.CUTS_FROM[c.cuts_from],
        )

    def _number(self, index: int) -> Optional[int]:
        return self._numbers[index] if 0 <= index < len(self._numbers) else None

    @property
    def laps(self) -> pd.DataFrame:
        """Every lap as the analysis sees it, one row each, in file order.

        Returns
        -------
        pandas.DataFrame
            ``lap`` (as ``lx laps`` numbers it), ``logger_lap``, ``class`` ("full",
            "out", "in", "partial", "double"), ``slow``, ``truncated`` (the last lap
            of a file cut short), ``time_s`` (the logger's own
            where the file gives one), ``gap_s`` to the reference lap (NaN unless
            full), ``length_m``, ``logger_time`` (the time is the logger's),
            ``origin_lap`` (the lap a cut lap came from, else <NA>).

        Raises
        ------
        FormatError, LapError, ChannelError
            The analysis cannot run on this session (see `analyse`).
        """
        c = self._analysed()
        rows = self._lap_rows()
        return a.table(
            {
                "lap": [r.number for r, _ in rows],
                "logger_lap": [r.logger_lap for r, _ in rows],
                "class": [r.lap_class.name.lower() for r, _ in rows],
                "slow": [r.slow for r, _ in rows],
                "truncated": [r.truncated for r, _ in rows],
                "time_s": np.array([r.laptime for r, _ in rows], float),
                "gap_s": np.array([gap for _, gap in rows], float),
                "length_m": np.array([r.length for r, _ in rows], float),
                "logger_time": [r.logger_time for r, _ in rows],
                "origin_lap": a.lap_column([r.origin_lap or None for r, _ in rows]),
            },
            {"time_s": "s", "gap_s": "s", "length_m": "m"},
            reference_lap=_lap_number(c.ref_handle or self.handle, c.ref_lap) or 0,
        )

    def _lap_rows(self) -> List[Tuple[LapInfo, float]]:
        """Each lap's facts and gap in file order, from the current analysis."""
        rows = []
        for index in range(len(self._numbers)):
            c = n.AnalysisLapC()
            n.data_call("lx_analysis_lap_get", self.handle, index, ctypes.byref(c))
            rows.append((_lap_info(c.info), c.gap))
        return rows

    def corners(self, lap: Optional[int] = None) -> pd.DataFrame:
        """Corners of a lap, or the reference lap's corners with the bests of the full laps.

        Parameters
        ----------
        lap : int, optional
            A lap's number: its corners, found on it alone, each ``paired`` with the
            reference lap's corner at its place (<NA>: none). None: one row per
            reference corner with the best entry, minimum and exit speeds among the
            full laps, the laps that drove them, and the most time a full lap lost there.

        Returns
        -------
        pandas.DataFrame
            ``corner``, ``hand`` ("left"/"right"), ``entry_m``, ``apex_m``, ``exit_m``,
            ``radius_m``, ``curvature_per_km``, speeds (``min_speed_kmh`` ...),
            ``time_s``; units in ``attrs["units"]``.

        Raises
        ------
        LapError
            No such lap, or one that cannot be traced (the message says why).
        FormatError, ChannelError
            The analysis cannot run on this session (see `analyse`).
        """
        self._analysed()
        speeds = self._speeds
        units = a.corner_units(speeds)
        if lap is not None:
            found = a.records("lx_analysis_corners", n.CornerC, self.handle, self._index(lap))
            columns = a.corner_columns(found, speeds)
            columns["paired"] = a.lap_column([c.paired or None for c in found])
            return a.table(columns, units, lap=lap)
        summary = a.records("lx_analysis_corner_summary", n.CornerSummaryC, self.handle)
        columns = a.corner_columns([s.corner for s in summary], speeds)
        for which in ("entry", "min", "exit"):
            best = f"best_{which}_speed_{speeds.suffix}"
            columns[best] = (
                np.array([getattr(s, f"best_{which}_speed") for s in summary]) * speeds.factor
            )
            columns[f"best_{which}_lap"] = a.lap_column(
                [self._number(getattr(s, f"best_{which}_lap")) for s in summary]
            )
            units[best] = speeds.unit
        columns["most_lost_s"] = [s.most_lost for s in summary]
        columns["lost_lap"] = a.lap_column([self._number(s.lost_lap) for s in summary])
        units["most_lost_s"] = "s"
        return a.table(columns, units, lap=self.analysis.reference_lap)

    def stretches(self, lap: int) -> pd.DataFrame:
        """The reference lap's corners and the straights between, timed on a full lap.

        Parameters
        ----------
        lap : int
            A full lap's number.

        Returns
        -------
        pandas.DataFrame
            2 N + 1 rows for N corners in lap order: ``kind`` ("straight"/"corner"),
            ``corner`` (the reference corner, <NA> on a straight), ``before`` (the
            corner a straight leads to, 0 for the line, <NA> on a corner),
            ``start_m``, ``end_m`` on the reference lap, ``time_s``, ``gain_s`` (time
            minus the reference's; negative where the lap gained; they add up to the
            lap's gap) and the lap's speeds.

        Raises
        ------
        LapError
            No such lap, or one that is not full.
        """
        self._analysed()
        found = a.records("lx_analysis_stretches", n.StretchC, self.handle, self._index(lap))
        columns = {
            "kind": ["corner" if s.corner else "straight" for s in found],
            "corner": a.lap_column([s.corner or None for s in found]),
            "before": a.lap_column([None if s.corner else s.before for s in found]),
            "start_m": [s.start for s in found],
            "end_m": [s.end for s in found],
            "time_s": [s.time for s in found],
            "gain_s": [s.gain for s in found],
            **self._speeds.columns(found, a.SPEED_FIELDS),
        }
        units = {
            **a.PLACE_UNITS,
            "time_s": "s",
            "gain_s": "s",
            **self._speeds.units(a.SPEED_FIELDS),
        }
        return a.table(columns, units, lap=lap)

    def sectors(self) -> pd.DataFrame:
        """Sector times of every full lap at the analysis's cuts.

        Returns
        -------
        pandas.DataFrame
            One row per full lap: ``lap``, ``sector_1_s`` ... (they add up to
            ``time_s``), ``time_s``. ``attrs``: ``cuts_m`` (metres on the reference
            lap), ``default_cuts``, ``cuts_from``, ``theoretical_best_s``, ``optimal_lap_s``.

        Raises
        ------
        FormatError, LapError, ChannelError
            The analysis cannot run on this session (see `analyse`).
        """
        c = self._analysed()
        cuts = list(c.cuts[: max(0, min(c.ncuts, n.MAX_CUTS))])
        full = [info for info, _ in self._lap_rows() if info.lap_class.name == "FULL"]
        rows = []
        for lap in (info.number for info in full):
            count = len(cuts) + 1
            times = np.zeros(count, np.float64)
            n.data_call(
                "lx_analysis_sector_times",
                self.handle,
                self._index(lap),
                times.ctypes.data_as(n.double_p),
                count,
            )
            rows.append(times)
        names = [f"sector_{k}_s" for k in range(1, len(cuts) + 2)]
        columns: Dict[str, Any] = {"lap": [info.number for info in full]}
        columns.update({name: [r[k] for r in rows] for k, name in enumerate(names)})
        columns["time_s"] = [info.laptime for info in full]
        return a.table(
            columns,
            {name: "s" for name in names + ["time_s"]},
            cuts_m=cuts,
            default_cuts=bool(c.default_cuts),
            cuts_from=n.CUTS_FROM[c.cuts_from],
            theoretical_best_s=c.theoretical_best,
            optimal_lap_s=c.optimal_lap,
        )

    def optimal_lap(self) -> pd.DataFrame:
        """The optimal lap: the fastest chain of stretches driven on full laps.

        Returns
        -------
        pandas.DataFrame
            One row per piece: ``start_m``, ``end_m`` on the reference lap,
            ``time_s``, ``lap`` it was driven on; ``attrs["time_s"]`` the total.

        Raises
        ------
        LapError
            No full lap.
        """
        return self._best(n.BEST_OPTIMAL)

    def theoretical_best(self) -> pd.DataFrame:
        """The best time of each sector among the full laps, as `optimal_lap` gives pieces.

        Raises
        ------
        LapError
            No full lap.
        """
        return self._best(n.BEST_THEORETICAL)

    def _best(self, which: int) -> pd.DataFrame:
        self._analysed()
        total = ctypes.c_double()
        args = (self.handle, which, ctypes.byref(total))
        pieces = a.records("lx_analysis_best", n.PieceC, *args)
        return a.table(
            {
                "start_m": [p.start for p in pieces],
                "end_m": [p.end for p in pieces],
                "time_s": [p.time for p in pieces],
                "lap": a.lap_column([self._number(p.lap) for p in pieces]),
            },
            {"start_m": "m", "end_m": "m", "time_s": "s"},
            time_s=total.value,
        )

    def time_diff(self, lap: int) -> pd.DataFrame:
        """A full lap's time difference to the reference lap, unsmoothed.

        Parameters
        ----------
        lap : int
            A full lap's number.

        Returns
        -------
        pandas.DataFrame
            ``distance_m`` on the reference lap (its samples and its end) and
            ``time_diff_s``: the lap's time at the same share of its length minus the
            reference's, negative where the lap is ahead; the last value is its gap.

        Raises
        ------
        LapError
            No such lap, or one that is not full.
        """
        self._analysed()
        h, index = self.handle, self._index(lap)
        count = n.data_call("lx_analysis_time_diff", h, index, None, None, 0)
        distance, diff = np.zeros(count, np.float64), np.zeros(count, np.float64)
        if count:
            pointers = (x.ctypes.data_as(n.double_p) for x in (distance, diff))
            n.data_call("lx_analysis_time_diff", h, index, *pointers, count)
        return a.table(
            {"distance_m": distance, "time_diff_s": diff},
            {"distance_m": "m", "time_diff_s": "s"},
            lap=lap,
        )

    def same_track(
        self,
        other: "Session",
        *,
        threshold: float = a.SAME_TRACK_THRESHOLD,
        corners: Optional[a.CornerOptions] = None,
    ) -> a.TrackMatch:
        """Whether other was driven on this track, comparing the fastest full laps.

        Parameters
        ----------
        other : Session
        threshold : float
            Curvature mismatch below which the tracks are one (about 0.2 for one track).
        corners : CornerOptions, optional

        Returns
        -------
        TrackMatch
            ``why`` says why not when they differ.

        Raises
        ------
        LapError
            A session without a full lap.
        FormatError, ChannelError
            A session whose analysis cannot run.
        """
        _session(other)._analysed()
        self._analysed()
        match = n.TrackMatchC()
        options = None if corners is None else ctypes.byref(corners._c())
        n.data_call(
            "lx_same_track",
            self.handle,
            other.handle,
            _float(threshold, "threshold"),
            options,
            ctypes.byref(match),
        )
        return a.TrackMatch(
            bool(match.same),
            self._number(match.lap_a) or 0,
            other._number(match.lap_b) or 0,
            match.length_a,
            match.length_b,
            match.match,
            match.offset,
            a.decode(match.why),
        )

    def lap_closure(self, lap: int, lateral: Union[str, int]) -> Tuple[float, float]:
        """How a lateral channel closes a lap when dead-reckoned.

        Parameters
        ----------
        lap : int
        lateral : str or int
            The lateral channel to weigh.

        Returns
        -------
        (float, float)
            Total turn in degrees, and metres between the reckoned end and start.

        Raises
        ------
        LapError, ChannelError
            No such lap or channel.
        """
        self._analysed()
        heading, gap = ctypes.c_double(), ctypes.c_double()
        n.data_call(
            "lx_lap_closure",
            self.handle,
            self._index(lap),
            self.channel(lateral),
            ctypes.byref(heading),
            ctypes.byref(gap),
        )
        return heading.value, gap.value

    # ---- lap matching -------------------------------------------------------

    def match_laps(self, reference: "Session", ref_lap: int) -> int:
        """Finds the reference lap's start along this session by its curvature.

        Calling it again on the same session adds no channel.

        Parameters
        ----------
        reference : Session
        ref_lap : int
            The reference lap's number.

        Returns
        -------
        int
            How many lap starts were marked.

        Raises
        ------
        StateError
            Matching cannot run on these sessions (the core's message says why).
        """
        ref, index = _session(reference), reference._index(ref_lap)
        ref._analysed()
        self._analysed()
        found = n.data_call("lx_match_laps", ref.handle, index, self.handle, None)
        self._matched = (ref.handle, index)
        return found

    def cut(
        self, reference: "Session", ref_lap: int, *, mode: int = 0, tolerance: float = 0.0
    ) -> "Session":
        """A new session cut at beacons, stops and matches (after `match_laps`).

        Parameters
        ----------
        reference : Session
        ref_lap : int
            The reference lap's number, as given to `match_laps`.
        mode : int
            The core's cut mode (0: at matches; 2: at beacons, snapped within tolerance).
        tolerance : float
            Metres within which a match snaps to a beacon.

        Returns
        -------
        Session
            The cut session; its laps know the lap they were cut from (``origin_lap``).

        Raises
        ------
        StateError
            Lap matching has not run.
        LimitError
            The cut gives more laps than a session holds.
        """
        ref = _session(reference)
        index = ref._index(ref_lap)
        options = n.MatchOptionsC(1, _int(mode, "mode"), _float(tolerance, "tolerance"))
        if self._matched != (ref.handle, index):
            raise StateError(f"cutting {self.path}: lap matching has not run (match_laps)", -10)
        handle = n.data_call("lx_cut_session", ref.handle, index, self.handle, options)
        return Session._adopt(handle, f"{self.path} (cut)", self._speeds.unit)

    @property
    def beacon_shift(self) -> float:
        """Average metres between matches and beacons of the last cut in mode 2."""
        return float(self.info.beacon_shift)

    # ---- display ------------------------------------------------------------

    def map_points(
        self,
        lap: int,
        *,
        width: int = 1000,
        height: int = 1000,
        points: Optional[int] = None,
        border: int = 0,
        latg_scale: float = 1.0,
        start_heading: float = 0.0,
    ) -> Tuple[np.ndarray, np.ndarray]:
        """A lap as a closed track map in window pixels.

        Parameters
        ----------
        lap : int
        width, height, border : int
            The window and its margin in pixels.
        points : int, optional
            How many points (default: the lap's samples).
        latg_scale, start_heading : float
            The core's map options.

        Returns
        -------
        (numpy.ndarray, numpy.ndarray)
            x and y, int32.

        Raises
        ------
        LapError
            No such lap.
        ArgumentError
            A size out of range, or a lap the core cannot draw.
        """
        index = self._index(lap)
        points = _count(self.lap(lap).samples if points is None else points, "points")
        self._analysed()
        x, y = np.zeros(points, np.int32), np.zeros(points, np.int32)
        n.data_call(
            "lx_map_pixels",
            self.handle,
            x.ctypes.data_as(n.int_p),
            y.ctypes.data_as(n.int_p),
            points,
            index,
            _int(width, "width"),
            _int(height, "height"),
            _int(border, "border"),
            _float(latg_scale, "latg_scale"),
            _float(start_heading, "start_heading"),
        )
        return x, y

    def chart_points(
        self,
        lap: int,
        channel: Union[str, int, Derived],
        *,
        cmin: float,
        cmax: float,
        width: int = 1000,
        height: int = 500,
        max_points: Optional[int] = None,
        xoffset: int = 0,
        ybottom: Optional[int] = None,
        dist_range: float = 0.0,
    ) -> Tuple[np.ndarray, np.ndarray]:
        """One channel of a lap against distance in window pixels.

        Parameters
        ----------
        lap : int
        channel : str, int or Derived
        cmin, cmax : float
            The channel's values at the bottom and top.
        width, height, max_points, xoffset, ybottom : int
            The window in pixels and how many points at most.
        dist_range : float
            Metres across the window (below 1: the lap's length).

        Returns
        -------
        (numpy.ndarray, numpy.ndarray)
            x and y, int32.

        Raises
        ------
        LapError, ChannelError
            No such lap or channel.
        ArgumentError
            A size out of range, or a lap without length.
        """
        self._analysed()
        index, channel = self._index(lap), self.channel(channel)
        width, height = _count(width, "width"), _count(height, "height")
        room = _count(width if max_points is None else max_points, "max_points")
        x, y = np.zeros(room, np.int32), np.zeros(room, np.int32)
        count = n.data_call(
            "lx_chart_pixels",
            self.handle,
            index,
            channel,
            _float(cmax, "cmax"),
            _float(cmin, "cmin"),
            room,
            width,
            height,
            _int(xoffset, "xoffset"),
            _int(height if ybottom is None else ybottom, "ybottom"),
            _float(dist_range, "dist_range"),
            x.ctypes.data_as(n.int_p),
            y.ctypes.data_as(n.int_p),
        )
        return x[:count], y[:count]

    # ---- writing ------------------------------------------------------------

    def write_motec(self, lap: int, path: PathLike) -> None:
        """A lap as a MoTeC CSV file.

        Parameters
        ----------
        lap : int
        path : str or path

        Raises
        ------
        FileError
            The file cannot be written (the core's message says why).
        """
        index, raw = self._index(lap), _text(path, "path")
        n.data_call("lx_write_motec", self.handle, index, raw)

    def write_text_export(self, path: PathLike) -> None:
        """The file's channels as the tab-separated text export.

        Parameters
        ----------
        path : str or path

        Raises
        ------
        FileError
            The file cannot be written.
        """
        n.data_call("lx_write_text_export", self.handle, _text(path, "path"))


def _column_names(channels: List[ChannelInfo]) -> List[str]:
    """Titles; where several channels share one, their stored names, numbered on where
    those are shared too (a text export stores a title as it is)."""
    titles = [c.title for c in channels]
    names = [c.name if titles.count(c.title) > 1 else c.title for c in channels]
    seen: Dict[str, int] = {}
    for k, name in enumerate(names):
        seen[name] = seen.get(name, 0) + 1
        if seen[name] > 1:
            names[k] = f"{name}_{seen[name]}"
    return names


def _file_of(handle: int) -> str:
    c = n.SessionInfoC()
    n.data_call("lx_session_info_get", handle, ctypes.byref(c))
    return a.decode(c.file)
