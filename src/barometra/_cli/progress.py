"""A line on stderr for operations that take a while, for the commands to share."""

from __future__ import annotations

import sys
import threading
import time
from types import TracebackType
from typing import TextIO


class Progress:
    """Says on ``stream`` that ``message`` is running once it has run ``delay`` seconds.

    A context manager around the slow operation: nothing is printed for an
    operation that ends sooner, so quick commands stay quiet; a slow one
    gets ``"barometra: <message> ..."`` after ``delay`` seconds and
    ``"barometra: <message> done in 3.2 s"`` at its end. The line comes from
    a timer thread, so it also appears while native code holds the thread
    that called. By default it is shown only when the stream is a terminal;
    ``enabled=True`` shows it anyway (a ``--progress`` option),
    ``enabled=False`` never.

    Examples
    --------
    >>> import io
    >>> stream = io.StringIO()
    >>> with Progress("fitting", stream=stream, enabled=True, delay=0.0):
    ...     pass
    >>> stream.getvalue().splitlines()[0]
    'barometra: fitting ...'
    """

    def __init__(self, message: str, *, stream: TextIO | None = None,
                 enabled: bool | None = None, delay: float = 1.0) -> None:
        self._message = message
        self._stream = sys.stderr if stream is None else stream
        if enabled is None:
            isatty = getattr(self._stream, "isatty", None)
            enabled = bool(isatty and isatty())
        self._enabled = enabled
        self._delay = delay
        self._lock = threading.Lock()
        self._shown = False
        self._done = False
        self._timer: threading.Timer | None = None
        self._start = 0.0

    def __enter__(self) -> Progress:
        self._start = time.perf_counter()
        if self._enabled:
            if self._delay <= 0.0:
                self._show()
            else:
                self._timer = threading.Timer(self._delay, self._show)
                self._timer.daemon = True
                self._timer.start()
        return self

    def _show(self) -> None:
        with self._lock:
            if self._done:  # the timer fired as the operation ended
                return
            self._shown = True
            self._write(f"barometra: {self._message} ...")

    def _write(self, line: str) -> None:
        try:
            self._stream.write(line + "\n")
            self._stream.flush()
        except (OSError, ValueError):  # a closed or broken stream is no reason to fail
            pass

    def __exit__(self, kind: type[BaseException] | None, error: BaseException | None,
                 traceback: TracebackType | None) -> None:
        if self._timer is not None:
            self._timer.cancel()
        with self._lock:
            self._done = True
            if self._shown:
                elapsed = time.perf_counter() - self._start
                outcome = "done" if kind is None else "stopped"
                self._write(f"barometra: {self._message} {outcome} in {elapsed:.1f} s")
