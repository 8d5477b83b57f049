"""A session: one logger file held by liblx under a handle."""

import ctypes
import enum
import numbers
import os
from dataclasses import dataclass

import numpy as np

from . import _native as n
from . import analytics as a
from .errors import ArgumentError, ChannelError, HandleError, LapError, StateError

INT_MIN, INT_MAX = -(2**31), 2**31 - 1
# A generous bound on caller-sized arrays, so that a wrong number raises
# instead of asking for gigabytes.
MAX_POINTS = 1 << 24


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
    UNKNOWN = 0
    FULL = 1
    OUT = 2
    IN = 3
    PARTIAL = 4
    DOUBLE = 5


@dataclass(frozen=True)
class SessionInfo:
    sample_rate: float
    start_time: float
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


@dataclass(frozen=True)
class ChannelInfo:
    number: int
    name: str
    title: str
    unit: str
    derived: bool


@dataclass(frozen=True)
class LapInfo:
    index: int
    number: int
    samples: int
    lap_class: LapClass
    laptime: float
    raw_laptime: float
    length: float


def _int(value, what):
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{what} must be an int, not {type(value).__name__}")
    value = int(value)
    if not INT_MIN <= value <= INT_MAX:
        raise ArgumentError(f"{what} {value} is out of range", -2)
    return value


def _float(value, what):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{what} must be a number, not {type(value).__name__}")
    return float(value)


def _count(value, what):
    value = _int(value, what)
    if not 0 < value <= MAX_POINTS:
        raise ArgumentError(f"{what} must be from 1 to {MAX_POINTS}, not {value}", -2)
    return value


def _text(value, what):
    if not isinstance(value, (str, bytes, os.PathLike)):
        raise TypeError(f"{what} must be a str or path, not {type(value).__name__}")
    raw = os.fsencode(value) if not isinstance(value, str) else value.encode("utf-8")
    if b"\0" in raw:
        raise ArgumentError(f"{what} contains a zero byte", -2)
    return raw


def _decode(raw):
    return raw.decode("utf-8", "replace")


class Session:
    """A session opened from any file lx reads; `with` closes it.

    Laps and channels count from 0. rate: samples per second for files on an
    uneven time base (0: the file's own). channels: names to keep (None: all).
    laps: (first, last) of the file's laps counting from 1 (None: all).
    """

    def __init__(self, path, *, rate=0.0, channels=None, laps=None):
        self._handle = 0
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
        self._handle = n.data_call("lx_open", _text(path, "path"), ctypes.byref(options))

    @classmethod
    def _adopt(cls, handle, path):
        s = cls.__new__(cls)
        s._handle, s.path = handle, path
        return s

    # ---- lifetime -----------------------------------------------------------

    def close(self):
        """Frees the session; closing twice does nothing."""
        if self._handle:
            handle, self._handle = self._handle, 0
            n.data_call("lx_close", handle)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass  # another thread or a closing interpreter: the process ends it

    @property
    def closed(self):
        return not self._handle

    @property
    def handle(self):
        """The handle (1..10) for liblx's C calls."""
        if not self._handle:
            raise HandleError(f"session of {self.path} is closed", -1)
        return self._handle

    def __repr__(self):
        state = "closed" if self.closed else f"handle {self._handle}"
        return f"<lx.Session {self.path!r} {state}>"

    # ---- facts --------------------------------------------------------------

    @property
    def info(self):
        c = n.SessionInfoC()
        n.data_call("lx_session_info_get", self.handle, ctypes.byref(c))
        texts = ("format", "file", "venue", "vehicle", "driver", "date", "time")
        return SessionInfo(
            c.sample_rate,
            c.start_time,
            c.channels,
            c.file_channels,
            c.laps,
            **{t: _decode(getattr(c, t)) for t in texts},
        )

    @property
    def channels(self):
        result = []
        for number in range(self.info.channels):
            c = n.ChannelInfoC()
            n.data_call("lx_channel_info_get", self.handle, number, ctypes.byref(c))
            result.append(
                ChannelInfo(
                    number, _decode(c.name), _decode(c.title), _decode(c.unit), bool(c.derived)
                )
            )
        return result

    @property
    def laps(self):
        return [self.lap(i) for i in range(self.info.laps)]

    def lap(self, lap):
        lap = self._lap(lap)
        c = n.LapInfoC()
        n.data_call("lx_lap_info_get", self.handle, lap, ctypes.byref(c))
        return LapInfo(
            lap, c.number, c.samples, LapClass(c.lap_class), c.laptime, c.sample_time, c.length
        )

    def channel(self, channel):
        """A channel's number from its title or stored name, or a Derived id (an int
        is checked and kept)."""
        if isinstance(channel, Derived):
            number = self.derived(channel)
            if number is None:
                raise StateError(
                    f"no {channel.name.lower()} channel yet: run the step that adds it", -10
                )
            return number
        if isinstance(channel, (str, bytes)):
            return n.data_call("lx_find_channel", self.handle, _text(channel, "channel"))
        channel = _int(channel, "channel")
        count = self.info.channels
        if not 0 <= channel < count:
            raise ChannelError(f"no channel {channel}: the session has {count}", -3)
        return channel

    def derived(self, which):
        """Channel number of a derived channel (Derived), or None before it is added."""
        number = n.core_call(
            "lx_channel_number", self.handle, _int(which, "id"), failed=lambda r: False
        )
        return number or None

    def _lap(self, lap):
        lap = _int(lap, "lap")
        count = self.info.laps
        if not 0 <= lap < count:
            raise LapError(f"no lap {lap}: the session has {count} (counting from 0)", -4)
        return lap

    # ---- samples ------------------------------------------------------------

    def samples(self, lap, channel):
        """One channel of a lap as a float32 array."""
        h, lap, channel = self.handle, self._lap(lap), self.channel(channel)
        count = n.data_call("lx_lap_samples", h, lap, channel, None, 0)
        out = np.empty(count, dtype=np.float32)
        if count:
            n.data_call("lx_lap_samples", h, lap, channel, out.ctypes.data_as(n.float_p), count)
        return out

    def frame(self, lap):
        """Every channel of a lap as a pandas DataFrame, one column per channel name."""
        import pandas as pd  # optional: only this needs it

        lap = self._lap(lap)
        return pd.DataFrame({c.name: self.samples(lap, c.number) for c in self.channels})

    # ---- analysis -----------------------------------------------------------

    def session_math(
        self, speed, lateral, *, units="kmh", longitudinal=None, invert_lat=False, invert_long=False
    ):
        """Speed (m/s), g-forces, distance, curvature and lap lengths from the logger's
        speed (units "kmh" or "mph") and lateral g; longitudinal None derives it from speed."""
        if units not in ("kmh", "mph"):
            raise ArgumentError(f"units must be 'kmh' or 'mph', not {units!r}", -2)
        speed, lateral = self.channel(speed), self.channel(lateral)
        longitudinal = 0 if longitudinal is None else self.channel(longitudinal)
        if self.derived(Derived.SPEED) is None:  # added once, filled on every call
            n.core_call("lx_session_setup", self.handle)
        n.core_call(
            "lx_compute_session_math",
            self.handle,
            speed,
            lateral,
            int(units == "kmh"),
            int(bool(invert_lat)),
            longitudinal,
            int(bool(invert_long)),
        )

    def time_diff(self, reference, ref_lap, *, stretch=False):
        """Time lost (+) or gained (-) against reference's lap at every sample, into
        the channels Derived.TIME_DIFF and TIME_DIFF_RATE."""
        ref, ref_lap = _session(reference), reference._lap(ref_lap)
        if self.derived(Derived.TIME_DIFF) is None:
            n.core_call("lx_analysis_setup", self.handle)
        n.core_call("lx_calc_time_diff", ref, ref_lap, self.handle, int(bool(stretch)))

    def match_laps(self, reference, ref_lap):
        """Finds the reference lap's start along this session by its curvature; returns
        how many lap starts were marked in the newest i_beacon channel."""
        ref, ref_lap = _session(reference), reference._lap(ref_lap)
        n.core_call("lx_beacon_setup", self.handle)
        failed = lambda r: r < 0  # noqa: E731
        remaining = n.core_call(
            "lx_compute_error_channel_step", 1, ref, ref_lap, self.handle, failed=failed
        )
        while remaining > 0:
            remaining = n.core_call(
                "lx_compute_error_channel_step", 0, ref, ref_lap, self.handle, failed=failed
            )
        return n.core_call("lx_locate_laps", ref, ref_lap, self.handle, failed=failed)

    def cut(self, reference, ref_lap, *, mode=0, tolerance=0.0):
        """A new session cut at beacons, stops and matches (after match_laps)."""
        ref, ref_lap = _session(reference), reference._lap(ref_lap)
        handle = n.core_call(
            "lx_new_session_from_beacons",
            ref,
            ref_lap,
            self.handle,
            _int(mode, "mode"),
            _float(tolerance, "tolerance"),
            failed=lambda r: r <= 0,
            what=f"cutting {self.path}",
            why={
                -1: "lap matching has not run (match_laps)",
                0: "no session could be built from the cuts, or 10 sessions are open",
            },
        )
        return Session._adopt(handle, f"{self.path} (cut)")

    @property
    def beacon_shift(self):
        """Average metres between matches and beacons of the last cut in mode 2."""
        return float(n.core_call("lx_get_beacon_shift", self.handle, failed=lambda r: False))

    def lap_closure(self, lap, lateral):
        """(total turn in degrees, metres between reckoned end and start) of a lap."""
        heading, gap = ctypes.c_double(), ctypes.c_double()
        n.data_call(
            "lx_lap_closure",
            self.handle,
            self._lap(lap),
            self.channel(lateral),
            ctypes.byref(heading),
            ctypes.byref(gap),
        )
        return heading.value, gap.value

    # ---- corners and sectors -------------------------------------------------
    # reference: a lap of this session, a (session, lap) pair, or None for this
    # session's fastest full lap. Each needs session_math on both sessions.

    def corners(self, lap, *, reference=None, options=None):
        """The corners of a lap, found on it alone and paired with the reference's."""
        ref, ref_lap = self._reference(reference)
        args = (ref, ref_lap, self.handle, self._lap(lap), a.options_pointer(options))
        return a.records("lx_lap_corners", n.CornerC, a.Corner, *args)

    def stretches(self, lap, *, reference=None, options=None):
        """The reference's corners and the straights between, timed on lap: 2 N + 1."""
        ref, ref_lap = self._reference(reference)
        args = (ref, ref_lap, self.handle, self._lap(lap), a.options_pointer(options))
        return a.records("lx_lap_stretches", n.StretchC, a.Stretch, *args)

    def sector_cuts(self, *, reference_lap=-1, options=None):
        """The default two cuts (metres), in the middle of the two longest straights."""
        args = (self.handle, self._ref_lap(reference_lap), a.options_pointer(options))
        count = n.data_call("lx_sector_cuts", *args, None, 0)
        cuts = np.zeros(count, np.float64)
        n.data_call("lx_sector_cuts", *args, a.doubles(cuts), count)
        return cuts

    def sector_times(self, lap, cuts=None, *, reference=None):
        """A lap's sector times (seconds) for cuts in metres on the reference lap."""
        ref, ref_lap = self._reference(reference)
        if cuts is None:
            cuts = (reference[0] if isinstance(reference, tuple) else self).sector_cuts(
                reference_lap=ref_lap
            )
        cuts = a.cut_array(cuts)
        times = np.zeros(len(cuts) + 1, np.float64)
        n.data_call(
            "lx_sector_times",
            ref,
            ref_lap,
            self.handle,
            self._lap(lap),
            a.doubles(cuts),
            len(cuts),
            a.doubles(times),
            len(times),
        )
        return times

    def theoretical_best(self, cuts=None, *, reference_lap=-1):
        """The sum of the best sector times among the full laps: a BestLap."""
        ref_lap, cuts = self._cuts(cuts, reference_lap)
        return a.best_lap("lx_theoretical_best", self.handle, ref_lap, a.doubles(cuts), len(cuts))

    def optimal_lap(
        self, cuts=None, *, reference_lap=-1, tolerance=a.OPTIMAL_TOLERANCE, options=None
    ):
        """The fastest lap made of stretches actually driven, joined on straights where
        the speeds differ by less than tolerance (m/s): a BestLap."""
        ref_lap, cuts = self._cuts(cuts, reference_lap)
        return a.best_lap(
            "lx_optimal_lap",
            self.handle,
            ref_lap,
            a.doubles(cuts),
            len(cuts),
            _float(tolerance, "tolerance"),
            a.options_pointer(options),
        )

    def same_track(self, other, *, threshold=a.SAME_TRACK_THRESHOLD, options=None):
        """Whether other was driven on this track, comparing the fastest full laps."""
        match = n.TrackMatchC()
        n.data_call(
            "lx_same_track",
            self.handle,
            _session(other),
            _float(threshold, "threshold"),
            a.options_pointer(options),
            ctypes.byref(match),
        )
        return a.track_match(match)

    def _ref_lap(self, lap):
        return -1 if lap is not None and _int(lap, "reference lap") == -1 else self._lap(lap)

    def _reference(self, reference):
        if reference is None:
            return self.handle, -1
        if isinstance(reference, tuple) and len(reference) == 2:
            return _session(reference[0]), reference[0]._ref_lap(reference[1])
        if isinstance(reference, numbers.Integral) and not isinstance(reference, bool):
            return self.handle, self._ref_lap(reference)
        raise TypeError("reference must be a lap, a (session, lap) pair or None")

    def _cuts(self, cuts, reference_lap):
        ref_lap = self._ref_lap(reference_lap)
        if cuts is None:
            cuts = self.sector_cuts(reference_lap=ref_lap)
        return ref_lap, a.cut_array(cuts)

    # ---- display ------------------------------------------------------------

    def map_points(
        self,
        lap,
        *,
        width=1000,
        height=1000,
        points=None,
        border=0,
        latg_scale=1.0,
        start_heading=0.0,
    ):
        """A lap as a closed track map in window pixels: (x, y) int32 arrays."""
        lap = self._lap(lap)
        points = _count(self.lap(lap).samples if points is None else points, "points")
        if self.derived(Derived.MAP_X) is None:
            n.core_call("lx_map_setup", self.handle)
        x, y = np.zeros(points, np.int32), np.zeros(points, np.int32)
        n.core_call(
            "lx_scaled_map",
            self.handle,
            x.ctypes.data_as(n.int_p),
            y.ctypes.data_as(n.int_p),
            points,
            lap,
            _int(width, "width"),
            _int(height, "height"),
            _int(border, "border"),
            _float(latg_scale, "latg_scale"),
            _float(start_heading, "start_heading"),
            what=f"map of lap {lap}",
            why={0: "the session math has not run (session_math)"},
        )
        return x, y

    def chart_points(
        self,
        lap,
        channel,
        *,
        cmin,
        cmax,
        width=1000,
        height=500,
        max_points=None,
        xoffset=0,
        ybottom=None,
        dist_range=0.0,
    ):
        """One channel of a lap against distance in window pixels: (x, y) int32 arrays.
        dist_range: metres across the window (below 1: the lap's length)."""
        lap, channel = self._lap(lap), self.channel(channel)
        width, height = _count(width, "width"), _count(height, "height")
        room = _count(width if max_points is None else max_points, "max_points")
        x, y = np.zeros(room, np.int32), np.zeros(room, np.int32)
        count = n.core_call(
            "lx_scaled_chart_lap_dist",
            self.handle,
            lap,
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
            what=f"chart of channel {channel} on lap {lap}",
            why={0: "the lap has no length or samples (session_math first)"},
        )
        return x[:count], y[:count]

    # ---- writing ------------------------------------------------------------

    def write_motec(self, lap, path):
        """A lap as a MoTeC CSV file."""
        lap, raw = self._lap(lap), _text(path, "path")
        n.core_call(
            "lx_write_lap_motec", self.handle, lap, raw, what=f"lap {lap} to {_decode(raw)}"
        )

    def write_text_export(self, path):
        """The file's channels as the tab-separated text export."""
        n.data_call("lx_write_text_export", self.handle, _text(path, "path"))


def _session(value):
    if not isinstance(value, Session):
        raise TypeError(f"reference must be an lx.Session, not {type(value).__name__}")
    return value.handle
