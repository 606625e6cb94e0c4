"""RtEos array evaluation against what a user would otherwise write.

Prints one table, measured in one run:

* pressure: ``RtEos.pressure_array`` against the same third-order
  Birch-Murnaghan formula as a NumPy expression;
* volume: ``RtEos.volume_array`` against ``scipy.optimize.brentq`` per element
  and against a vectorised NumPy bisection to the engine's accuracy;
* the share of the parallel path's time spent copying its input (measured
  as the same memcpy into a reused buffer), ``pressure_scalar`` per call and
  a 10-element ``pressure_array`` per call.

Every figure is the best of several alternating repeats, so that load from
other processes hits each contender alike. Run it under the default glibc
allocator and again with allocator settings that keep freed memory::

    python bench/rt_eos_bench.py
    GLIBC_TUNABLES=glibc.malloc.trim_threshold=1073741824:glibc.malloc.mmap_threshold=1073741824 \\
        python bench/rt_eos_bench.py
"""

from __future__ import annotations

import argparse
import math
import os
import platform
import time

import numpy as np

from barometra._engine import RtEos

try:
    from scipy.optimize import brentq
except ImportError:  # SciPy is an optional benchmark dependency: pip install .[bench]
    brentq = None

V0, K0, K0_PRIME = 10.0, 160.0, 4.0
MODEL = RtEos.bm3(V0, K0, K0_PRIME)
SIZES = [10**3, 10**4, 10**5, 10**6, 10**7]
BRENTQ_MAX_SIZE = 10**5  # about 10 us per element: 1e6 would take minutes
PARALLEL_PRESSURE_FROM = 65536


def bm3_pressure_numpy(volume):
    x = np.cbrt(V0 / volume)
    f = (x * x - 1.0) / 2.0
    return 3.0 * K0 * f * x**5 * (1.0 + 1.5 * (K0_PRIME - 4.0) * f)


def bm3_pressure_python(volume):
    x = math.cbrt(V0 / volume) if hasattr(math, "cbrt") else (V0 / volume) ** (1.0 / 3.0)
    f = (x * x - 1.0) / 2.0
    return 3.0 * K0 * f * x**5 * (1.0 + 1.5 * (K0_PRIME - 4.0) * f)


def volume_by_bisection(pressures, lower=0.5 * V0, upper=1.5 * V0, rtol=1e-14):
    """Vectorised bisection to the engine's interval tolerance (about 47 steps)."""
    lo = np.full_like(pressures, lower)
    hi = np.full_like(pressures, upper)
    while np.max(hi - lo) > rtol * V0:
        mid = 0.5 * (lo + hi)
        too_small = bm3_pressure_numpy(mid) > pressures  # volume below the root
        lo = np.where(too_small, mid, lo)
        hi = np.where(too_small, hi, mid)
    return 0.5 * (lo + hi)


def volume_by_brentq(pressures):
    return np.array([brentq(lambda v, p=p: bm3_pressure_python(v) - p, 0.5 * V0, 1.5 * V0)
                     for p in pressures])


def best_times(contenders, budget):
    """Best wall time of each callable, alternating them until the budget (s)
    is spent, with at least two rounds (one for a single slow round)."""
    best = {name: math.inf for name in contenders}
    start = time.perf_counter()
    rounds = 0
    while True:
        for name, call in contenders.items():
            t0 = time.perf_counter()
            call()
            best[name] = min(best[name], time.perf_counter() - t0)
        rounds += 1
        elapsed = time.perf_counter() - start
        if rounds >= 2 and elapsed > budget or elapsed > 4 * budget or rounds >= 50:
            return best


def per_call(call, seconds=0.5):
    """Best per-call time over batches of calls."""
    batch, best = 1000, math.inf
    deadline = time.perf_counter() + seconds
    while time.perf_counter() < deadline:
        t0 = time.perf_counter()
        for _ in range(batch):
            call()
        best = min(best, (time.perf_counter() - t0) / batch)
    return best


def fmt_ms(seconds):
    return "-" if seconds is None else f"{seconds * 1e3:10.3f}"


def fmt_ratio(value):
    return "-" if value is None else f"{value:7.2f}x"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--budget", type=float, default=1.0,
                        help="seconds of repeats per size and quantity (default 1)")
    parser.add_argument("--max-size", type=float, default=1e7)
    args = parser.parse_args()

    rng = np.random.default_rng(2024)
    rows = []
    for size in [s for s in SIZES if s <= args.max_size]:
        volumes = rng.uniform(8.0, 10.5, size)
        pressures = MODEL.pressure_array(volumes)
        # Same results before timing anything.
        assert np.allclose(MODEL.pressure_array(volumes), bm3_pressure_numpy(volumes),
                           rtol=1e-12, atol=1e-12)
        assert np.allclose(MODEL.volume_array(pressures), volumes, rtol=1e-12)
        assert np.allclose(volume_by_bisection(pressures[:1000]), volumes[:1000], rtol=1e-12)

        reused = np.empty_like(volumes)
        reused[:] = 0.0  # touched once, like the engine's kept scratch buffer
        p = best_times({
            "engine": lambda: MODEL.pressure_array(volumes),
            "numpy": lambda: bm3_pressure_numpy(volumes),
            "copy": lambda: np.copyto(reused, volumes),
        }, args.budget)
        v = best_times({
            "engine": lambda: MODEL.volume_array(pressures),
            "bisection": lambda: volume_by_bisection(pressures),
        }, args.budget)
        brent = None
        if brentq is not None and size <= BRENTQ_MAX_SIZE:
            brent = best_times({"brentq": lambda: volume_by_brentq(pressures)},
                               args.budget)["brentq"]
        copy_share = p["copy"] / p["engine"] if size >= PARALLEL_PRESSURE_FROM else None
        rows.append((size, p, v, brent, copy_share))

    scalar_ns = per_call(lambda: MODEL.pressure_scalar(9.0)) * 1e9
    ten = np.linspace(8.0, 10.5, 10)
    ten_us = per_call(lambda: MODEL.pressure_array(ten)) * 1e6

    tunables = os.environ.get("GLIBC_TUNABLES", "")
    print(f"RtEos (BM3) benchmark - CPython {platform.python_version()}, NumPy {np.__version__}, "
          f"{os.cpu_count()} logical CPUs, allocator: "
          f"{'GLIBC_TUNABLES=' + tunables if tunables else 'glibc default'}; "
          f"load average {os.getloadavg()[0]:.2f}")
    print("times in ms (best of alternating repeats); ratio = other / engine")
    header = (f"{'size':>9} | {'P engine':>10} {'P numpy':>10} {'ratio':>8} {'copy':>6} | "
              f"{'V engine':>10} {'V brentq':>10} {'ratio':>8} {'V bisect':>10} {'ratio':>8}")
    print(header)
    print("-" * len(header))
    for size, p, v, brent, copy_share in rows:
        share = "-" if copy_share is None else f"{copy_share:6.1%}"
        print(f"{size:>9.0e} | {fmt_ms(p['engine'])} {fmt_ms(p['numpy'])} "
              f"{fmt_ratio(p['numpy'] / p['engine'])} {share:>6} | "
              f"{fmt_ms(v['engine'])} {fmt_ms(brent)} "
              f"{fmt_ratio(None if brent is None else brent / v['engine'])} "
              f"{fmt_ms(v['bisection'])} {fmt_ratio(v['bisection'] / v['engine'])}")
    print(f"pressure_scalar: {scalar_ns:.0f} ns per call;  "
          f"10-element pressure_array: {ten_us:.2f} us per call")
    print("copy = input copy of the parallel path (memcpy into a reused buffer) / pressure_array")

    by_size = {size: (p, v, brent) for size, p, v, brent, _ in rows}
    checks = []
    if 10**6 in by_size:
        p = by_size[10**6][0]
        checks.append(("pressure_array 1e6 vs NumPy >= 1.5x", p["numpy"] / p["engine"], 1.5))
    if 10**5 in by_size:
        _, v, brent = by_size[10**5]
        if brent is not None:
            checks.append(("volume_array 1e5 vs brentq >= 4x", brent / v["engine"], 4.0))
        checks.append(("volume_array 1e5 vs bisection >= 3x", v["bisection"] / v["engine"], 3.0))
    for name, value, target in checks:
        print(f"  {name}: {value:.2f}x {'met' if value >= target else 'NOT met'}")
    print(f"  pressure_scalar < 200 ns: {scalar_ns:.0f} ns "
          f"{'met' if scalar_ns < 200 else 'NOT met'}")
    print(f"  10-element pressure_array < 2 us: {ten_us:.2f} us "
          f"{'met' if ten_us < 2 else 'NOT met'}")


if __name__ == "__main__":
    main()
