"""The worker pool in a child process forked after the pool exists."""

from __future__ import annotations

import os
import signal
import threading
import time
import warnings

import numpy as np
import pytest
from support import RtEos

pytestmark = pytest.mark.skipif(not hasattr(os, "fork"), reason="needs os.fork")


def run_in_child(check, timeout=120.0):
    """Forks, runs check() in the child and returns its exit status; a hung
    child is killed and reported."""
    with warnings.catch_warnings():
        # Python 3.12+ warns that forking a multi-threaded process may
        # deadlock; avoiding that deadlock is exactly what is tested.
        warnings.simplefilter("ignore", DeprecationWarning)
        pid = os.fork()
    if pid == 0:
        status = 3
        try:
            status = 0 if check() else 1
        except BaseException:  # noqa: BLE001 - the status reports it
            status = 2
        finally:
            os._exit(status)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return os.waitstatus_to_exitcode(status)
        time.sleep(0.01)
    os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)
    pytest.fail("the forked child hung")


def test_child_recreates_the_pool():
    model = RtEos.bm3(10.0, 160.0, 4.0)
    volumes = np.linspace(8.0, 10.5, 200_000)
    pressures = model.pressure_array(volumes[:5000])
    expected_p = model.pressure_array(volumes)   # the pool exists from here on
    expected_v = model.volume_array(pressures)

    def check():
        return (np.array_equal(model.pressure_array(volumes), expected_p)
                and np.array_equal(model.volume_array(pressures), expected_v))

    assert run_in_child(check) == 0
    # The parent's pool is untouched by the fork.
    assert np.array_equal(model.pressure_array(volumes), expected_p)


def test_fork_while_other_threads_keep_the_pool_busy():
    model = RtEos.vinet(10.0, 160.0, 4.0)
    volumes = np.linspace(8.0, 10.5, 100_000)
    expected = model.pressure_array(volumes)
    stop = threading.Event()

    def keep_busy():
        while not stop.is_set():
            model.pressure_array(volumes)

    busy = [threading.Thread(target=keep_busy) for _ in range(2)]
    for thread in busy:
        thread.start()
    try:
        for _ in range(5):
            assert run_in_child(lambda: np.array_equal(model.pressure_array(volumes),
                                                       expected)) == 0
    finally:
        stop.set()
        for thread in busy:
            thread.join()
