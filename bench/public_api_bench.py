"""The cost of the public model classes over the private engine they call.

For each of pressure, bulk modulus and volume of a third-order
Birch-Murnaghan model, and pressure and volume of the linear Us-Up Hugoniot,
prints:

* per scalar call: ``BM3(...).pressure(9.0)`` against
  ``RtEos.bm3(...).pressure_scalar(9.0)`` (``LinearUsUpHugoniot(...).pressure``
  against ``HugoniotEos.evaluate_scalar("pressure", ...)``), and the difference;
* per array call of 10 and of 1e5 elements: ``model.pressure(volumes)``
  against ``engine.pressure_array(volumes)``, and the overhead in percent.

Goals: at most 1 us per scalar call and at most 5% at 1e5 elements over the
engine. Every figure is the best of alternating repeats, so that load from
other processes hits both sides alike::

    python bench/public_api_bench.py
"""

from __future__ import annotations

import argparse
import functools
import math
import os
import platform
import time
from collections.abc import Callable

import numpy as np

from barometra import BM3, LinearUsUpHugoniot
from barometra._engine import HugoniotEos, RtEos

V0, K0, K0_PRIME = 10.0, 160.0, 4.0
SCALAR_GOAL_NS = 1000.0
ARRAY_GOAL = 0.05


def best_per_call(contenders: dict[str, Callable[[], object]], calls: int,
                  seconds: float) -> dict[str, float]:
    """Best time per call of each contender, alternating batches of ``calls``."""
    best = dict.fromkeys(contenders, math.inf)
    deadline = time.perf_counter() + seconds
    while time.perf_counter() < deadline:
        for name, call in contenders.items():
            t0 = time.perf_counter()
            for _ in range(calls):
                call()
            best[name] = min(best[name], (time.perf_counter() - t0) / calls)
    return best


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=2.0,
                        help="seconds of repeats per figure (default 2)")
    args = parser.parse_args()

    model = BM3(v0=V0, k0=K0, k0_prime=K0_PRIME)
    engine = RtEos.bm3(V0, K0, K0_PRIME)
    rng = np.random.default_rng(2024)
    print(f"public API over barometra._engine - CPython {platform.python_version()}, "
          f"NumPy {np.__version__}, {os.cpu_count()} logical CPUs, "
          f"load average {os.getloadavg()[0]:.2f}")
    header = (f"{'operation':>14} | {'scalar public':>13} {'engine':>8} {'over':>8} | "
              f"{'10 public':>10} {'engine':>8} {'over':>6} | "
              f"{'1e5 public':>10} {'engine':>8} {'over':>6}")
    print(header)
    print("-" * len(header))
    failures = []
    hugoniot = LinearUsUpHugoniot(v0=V0, rho0=3.0, c0=5.0, s=1.5)
    shock = HugoniotEos.linear_us_up(V0, 3.0, 5.0, 1.5, 0.0)
    volumes = rng.uniform(8.0, 10.5, 100_000)
    shocked = rng.uniform(4.0, 10.0, 100_000)
    rows = [(operation, getattr(model, operation), getattr(engine, f"{operation}_scalar"),
             getattr(engine, f"{operation}_array"), argument, inputs)
            for operation, argument, inputs in [
                ("pressure", 9.0, volumes), ("bulk_modulus", 9.0, volumes),
                ("volume", 10.0, engine.pressure_array(volumes))]]
    rows += [(f"Us-Up {quantity}", getattr(hugoniot, quantity),
              functools.partial(shock.evaluate_scalar, quantity),
              functools.partial(shock.evaluate_array, quantity), argument, inputs)
             for quantity, argument, inputs in [
                 ("pressure", 9.0, shocked), ("volume", 10.0, hugoniot.pressure(shocked))]]
    for operation, public, scalar, array, argument, inputs in rows:
        s = best_per_call({"public": lambda: public(argument),
                           "engine": lambda: scalar(argument)}, 10_000, args.seconds)
        ten = inputs[:10]
        t = best_per_call({"public": lambda: public(ten), "engine": lambda: array(ten)},
                          10_000, args.seconds)
        big = best_per_call({"public": lambda: public(inputs), "engine": lambda: array(inputs)},
                            1, args.seconds)
        scalar_over_ns = (s["public"] - s["engine"]) * 1e9
        big_over = big["public"] / big["engine"] - 1.0
        print(f"{operation:>14} | {s['public'] * 1e9:10.0f} ns {s['engine'] * 1e9:5.0f} ns "
              f"{scalar_over_ns:5.0f} ns | {t['public'] * 1e6:7.2f} us {t['engine'] * 1e6:5.2f} us "
              f"{t['public'] / t['engine'] - 1:6.1%} | {big['public'] * 1e3:7.3f} ms "
              f"{big['engine'] * 1e3:5.3f} ms {big_over:6.1%}")
        if scalar_over_ns > SCALAR_GOAL_NS:
            failures.append(f"{operation} scalar: {scalar_over_ns:.0f} ns over")
        if big_over > ARRAY_GOAL:
            failures.append(f"{operation} 1e5 elements: {big_over:.1%} over")
    print(f"goals: at most {SCALAR_GOAL_NS:.0f} ns per scalar call and {ARRAY_GOAL:.0%} at 1e5 "
          f"elements over the engine: {'met' if not failures else 'NOT met: ' + '; '.join(failures)}")


if __name__ == "__main__":
    main()
