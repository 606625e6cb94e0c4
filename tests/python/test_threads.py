import multiprocessing
import os
import threading
import warnings
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest
from support import RtEos

from barometra.errors import EosValidationError

THREADS = 8
NAN = "invalid state variable pressure: must be finite"
RANGE = "pressure is outside the invertible expansion range"


def test_threads_sharing_one_model_get_the_single_thread_results():
    model = RtEos.vinet(10.0, 160.0, 4.0)
    rng = np.random.default_rng(3)
    big, small = rng.uniform(8.0, 10.5, 70_000), rng.uniform(8.0, 10.5, (10, 10))
    pressures = model.pressure_array(rng.uniform(8.0, 10.5, 1500))  # parallel volume path

    def evaluate():
        return [model.pressure_array(big), model.bulk_modulus_array(small),
                model.volume_array(pressures), [model.pressure_scalar(v) for v in small.flat]]

    expected = evaluate()
    # Threads fail differently at their own positions: mixed-up jobs report the wrong error.
    failing = [pressures.copy() for _ in range(THREADS)]
    for t, bad in enumerate(failing):
        bad[100 + 97 * t], bad[1400] = (np.nan, -1e3) if t % 2 else (-1e3, np.nan)
    barrier = threading.Barrier(THREADS)

    def work(t):
        barrier.wait(timeout=60)
        for _ in range(3):
            for got, want in zip(evaluate(), expected):
                np.testing.assert_array_equal(got, want)
            with pytest.raises(EosValidationError) as info:
                model.volume_array(failing[t])
            assert str(info.value) == (NAN if t % 2 else RANGE)

    with ThreadPoolExecutor(THREADS) as pool:
        list(pool.map(work, range(THREADS), timeout=300))


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs os.fork")
def test_child_evaluates_after_the_pool_exists():
    model = RtEos.bm3(10.0, 160.0, 4.0)
    volumes = np.linspace(8.0, 10.5, 200_000)
    expected = model.pressure_array(volumes)  # the pool exists from here on

    def check():
        np.testing.assert_array_equal(model.pressure_array(volumes), expected)

    stop = threading.Event()

    def keep_busy():  # so that a fork may happen while the pool is working
        while not stop.is_set():
            model.pressure_array(volumes)

    busy = [threading.Thread(target=keep_busy) for _ in range(2)]
    for thread in busy:
        thread.start()
    try:
        for _ in range(5):
            with warnings.catch_warnings():
                warnings.simplefilter("ignore", DeprecationWarning)  # fork with threads
                child = multiprocessing.get_context("fork").Process(target=check)
                child.start()
            child.join(120)
            if child.is_alive():
                child.kill()
                child.join()
                pytest.fail("the forked child hung")
            assert child.exitcode == 0
    finally:
        stop.set()
        for thread in busy:
            thread.join()
    check()
