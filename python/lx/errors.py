"""Exceptions carrying liblx's messages."""


class LxError(Exception):
    """A call into lx failed. str() is the library's message; status its lx_status (or None)."""

    def __init__(self, message, status=None):
        super().__init__(message)
        self.status = status


class LibraryError(LxError, ImportError):
    """liblx cannot be found or loaded, or its data API version does not fit."""


class ThreadError(LxError, RuntimeError):
    """A call from a second thread: the library's state belongs to one thread."""


class HandleError(LxError):
    """No open session under that handle (e.g. the session was closed)."""


class ArgumentError(LxError, ValueError):
    """A value out of range."""


class ChannelError(LxError, LookupError):
    """No such channel, or a name matching several."""


class LapError(LxError, IndexError):
    """No such lap."""


class FileError(LxError, OSError):
    """The file cannot be opened, read or written."""


class FormatError(LxError):
    """The file's content is refused."""


class LimitError(LxError):
    """Too many sessions (at most 10 open per process), channels or laps."""


class OutOfMemory(LxError, MemoryError):
    """The library ran out of memory."""


class StateError(LxError):
    """A step is missing first (e.g. the session math)."""


_BY_STATUS = {
    -1: HandleError,
    -2: ArgumentError,
    -3: ChannelError,
    -4: LapError,
    -5: FileError,
    -6: FormatError,
    -7: LimitError,
    -8: OutOfMemory,
    -9: ChannelError,
    -10: StateError,
}


def error_for(status, message):
    return _BY_STATUS.get(status, LxError)(message, status)
