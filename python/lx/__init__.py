"""lx from Python: motorsport data-logger sessions through liblx's C interface.

    import lx
    with lx.open("session.txt") as s:
        s.session_math("Speed", "Lateral Acc")
        print([lap.laptime for lap in s.laps])
        speed = s.samples(1, lx.Derived.SPEED)   # lap 2's speed in m/s, numpy

The library is found through LX_LIBRARY, then ctypes.util.find_library("lx"),
then a build folder of the source tree. Its state is global to the process:
use it from one thread, and processes for parallel work. At most 10 sessions
are open at once.
"""

from .errors import (
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
    ThreadError,
)
from .analytics import BestLap, Corner, CornerOptions, Piece, Stretch, TrackMatch
from .session import ChannelInfo, Derived, LapClass, LapInfo, Session, SessionInfo

__version__ = "0.1.0"


def open(path, **options):  # noqa: A001 (reads as lx.open)
    """Opens any file lx reads; see Session for the options."""
    return Session(path, **options)


def library_path():
    """The file of the liblx this process uses."""
    from ._native import library

    return library().path


__all__ = [
    "open",
    "library_path",
    "Session",
    "SessionInfo",
    "ChannelInfo",
    "LapInfo",
    "LapClass",
    "Derived",
    "CornerOptions",
    "Corner",
    "Stretch",
    "Piece",
    "BestLap",
    "TrackMatch",
    "LxError",
    "LibraryError",
    "ThreadError",
    "HandleError",
    "ArgumentError",
    "ChannelError",
    "LapError",
    "FileError",
    "FormatError",
    "LimitError",
    "OutOfMemory",
    "StateError",
]
