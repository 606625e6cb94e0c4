"""Many Python threads sharing one model."""

from __future__ import annotations

import threading

import numpy as np
from support import RtEos

from barometra.errors import EosValidationError

THREADS = 8


def test_threads_sharing_one_model_get_the_single_thread_results():
    model = RtEos.vinet(10.0, 160.0, 4.0)
    rng = np.random.default_rng(3)
    big_volumes = rng.uniform(8.0, 10.5, 70_000)       # parallel pressure path
    small_volumes = rng.uniform(8.0, 10.5, (10, 10))   # sequential path
    pressures = model.pressure_array(rng.uniform(8.0, 10.5, 1500))  # parallel volume path
    expected = {
        "pressure": model.pressure_array(big_volumes),
        "small": model.bulk_modulus_array(small_volumes),
        "volume": model.volume_array(pressures),
        "scalar": [model.pressure_scalar(v) for v in small_volumes.ravel()],
    }
    # Each thread plants a failure at its own position, so concurrent jobs
    # that mixed up their first failures would report another thread's error.
    failing = []
    for t in range(THREADS):
        bad = pressures.copy()
        bad[100 + 97 * t] = np.nan
        bad[1400] = -1e3
        failing.append(bad)

    barrier = threading.Barrier(THREADS)
    problems = []

    def work(t):
        try:
            barrier.wait(timeout=60)
            for _ in range(3):
                got = {
                    "pressure": model.pressure_array(big_volumes),
                    "small": model.bulk_modulus_array(small_volumes),
                    "volume": model.volume_array(pressures),
                    "scalar": [model.pressure_scalar(v) for v in small_volumes.ravel()],
                }
                for key, value in got.items():
                    if not np.array_equal(value, expected[key]):
                        problems.append((t, key))
                try:
                    model.volume_array(failing[t])
                    problems.append((t, "no error"))
                except EosValidationError as error:
                    if str(error) != "invalid state variable pressure: must be finite":
                        problems.append((t, str(error)))
        except Exception as error:  # noqa: BLE001 - reported below
            problems.append((t, repr(error)))

    threads = [threading.Thread(target=work, args=(t,)) for t in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=300)
    assert not any(thread.is_alive() for thread in threads), "a thread hung"
    assert problems == []
