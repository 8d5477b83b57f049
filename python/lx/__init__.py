"""lx from Python: motorsport data-logger sessions and their analysis as pandas DataFrames.

    import lx
    with lx.open("session.csv") as s:
        print(s.laps)                    # lap, logger_lap, class, slow, time_s, gap_s, length_m
        print(s.corners())               # the reference lap's corners and the bests
        print(s.sectors(), s.optimal_lap())
        speed = s.frame(2)               # every channel of lap 2, with distance_m and time_s

Laps are numbered as ``lx laps`` shows them: their place in the file, from 1.
The analysis (channels, lap classes, reference lap, corners, sectors) is the
library's, run once per session; `Session.analyse` chooses other options.

The library is found through LX_LIBRARY, then the copy installed with this
module, then its SONAME, then a build folder of the source tree. Any number of
sessions may be open; threads may work on different sessions at once (a
session that one thread analyses, matches or closes is that thread's alone
meanwhile).
"""

from __future__ import annotations

import re
from pathlib import Path
from typing import Any

from .analysis import Analysis, CornerOptions, LateralCandidate, TrackMatch
from .errors import (
    AmbiguousChannelError,
    ArgumentError,
    ChannelError,
    FileError,
    FormatError,
    HandleError,
    LapError,
    LibraryError,
    LimitError,
    LxError,
    OutOfMemory,
    StateError,
    Status,
    TrackError,
)
from .season import Season
from .session import ChannelInfo, Derived, LapClass, LapInfo, Session, SessionInfo


def _version() -> str:
    """The project's version: written at install, else read from the source tree's CMake project."""
    try:
        from ._install import VERSION

        return VERSION
    except ImportError:
        cmake = Path(__file__).resolve().parents[2] / "CMakeLists.txt"
        found = (
            re.search(r"project\(lx VERSION ([0-9.]+)", cmake.read_text())
            if cmake.exists()
            else None
        )
        return found.group(1) if found else "unknown"


__version__ = _version()


def open(path: Any, **options: Any) -> Session:  # noqa: A001 (reads as lx.open)
    """Opens any file lx reads; see `Session` for the options and what it raises."""
    return Session(path, **options)


def library_path() -> str:
    """The file of the liblx this process uses.

    Raises
    ------
    LibraryError
        No usable liblx (the message says what to do).
    """
    from ._native import library

    return library().path


__all__ = [
    "open",
    "library_path",
    "Session",
    "Season",
    "SessionInfo",
    "ChannelInfo",
    "LapInfo",
    "LapClass",
    "Derived",
    "Analysis",
    "LateralCandidate",
    "CornerOptions",
    "TrackMatch",
    "Status",
    "LxError",
    "LibraryError",
    "HandleError",
    "ArgumentError",
    "ChannelError",
    "AmbiguousChannelError",
    "LapError",
    "FileError",
    "FormatError",
    "LimitError",
    "OutOfMemory",
    "StateError",
    "TrackError",
]
