"""Exceptions carrying liblx's messages, one class per lx_status."""

from __future__ import annotations

import enum
from typing import Optional


class Status(enum.IntEnum):
    """The library's result codes (lx_status of lx_data.h)."""

    OK = 0
    HANDLE = -1
    ARGUMENT = -2
    CHANNEL = -3
    LAP = -4
    FILE = -5
    FORMAT = -6
    LIMIT = -7
    MEMORY = -8
    AMBIGUOUS = -9
    STATE = -10
    TRACK = -11


class LxError(Exception):
    """A call into lx failed.

    ``str()`` is the library's message; ``status`` the `Status` it returned,
    or None where the failure was found before or outside the library.
    """

    def __init__(self, message: str, status: Optional[int] = None) -> None:
        super().__init__(message)
        self.status = Status(status) if status in Status._value2member_map_ else None


class LibraryError(LxError, ImportError):
    """liblx cannot be found or loaded, or its data API version does not fit."""


class HandleError(LxError):
    """No open session under that handle (e.g. the session was closed)."""


class ArgumentError(LxError, ValueError):
    """A value out of range."""


class ChannelError(LxError, LookupError):
    """No such channel."""


class AmbiguousChannelError(ChannelError):
    """A name that matches several channels: the message lists them."""


class LapError(LxError, IndexError):
    """No such lap, or a lap that cannot serve (e.g. a reference lap that is not full)."""


class FileError(LxError, OSError):
    """The file cannot be opened, read or written."""


class FormatError(LxError):
    """The file's content is refused, or it lacks a channel the analysis needs."""


class LimitError(LxError):
    """Too many sessions (at most 10 open per process), channels or laps."""


class OutOfMemory(LxError, MemoryError):
    """The library ran out of memory."""


class StateError(LxError):
    """A step is missing first (e.g. the reference session's analysis, lap matching)."""


class TrackError(LxError):
    """A reference lap of another track."""


_BY_STATUS = {
    Status.HANDLE: HandleError,
    Status.ARGUMENT: ArgumentError,
    Status.CHANNEL: ChannelError,
    Status.LAP: LapError,
    Status.FILE: FileError,
    Status.FORMAT: FormatError,
    Status.LIMIT: LimitError,
    Status.MEMORY: OutOfMemory,
    Status.AMBIGUOUS: AmbiguousChannelError,
    Status.STATE: StateError,
    Status.TRACK: TrackError,
}


def error_for(status: int, message: str) -> LxError:
    """The exception for a status the library returned (LxError for one it never defined)."""
    return _BY_STATUS.get(status, LxError)(message, status)
