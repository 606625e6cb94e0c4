"""RtEos array evaluation against what a user would otherwise write in NumPy.

Prints, measured in one run:

* ``pressure_array`` and ``bulk_modulus_array`` of BM3 and Vinet against the
  same formulas as NumPy expressions, with the engine's throughput in GB/s
  (8 bytes read and 8 written per element) beside a plain copy of the same
  size (``np.copyto`` into a reused array, i.e. memcpy);
* ``volume_array`` of BM3 against a vectorised NumPy bisection of 60 halvings
  on the fixed bracket [V0/2, 3 V0/2], and against ``scipy.optimize.brentq``
  per element where SciPy is installed;
* ``pressure_scalar`` per call and a 10-element ``pressure_array`` per call;
* where the parallel path starts to pay: the inline cost per element below
  the threshold against the parallel path's fixed cost and cost per element
  above it, fitted over a few sizes.

The instruction set of the kernels is the best the processor reports (AVX-512
F+DQ, else AVX2+FMA, else SSE2), as the engine's dispatch picks it. Every
figure is the best of several alternating repeats, so that load from other
processes hits each contender alike. Run NumPy at its best, with allocator
settings that keep freed memory::

    GLIBC_TUNABLES=glibc.malloc.trim_threshold=1073741824:glibc.malloc.mmap_threshold=1073741824 \\
        python bench/rt_eos_bench.py
"""

from __future__ import annotations

import argparse
import math
import os
import platform

import numpy as np

from barometra._engine import RtEos
from bench_support import best_per_call, best_times

try:
    from scipy.optimize import brentq
except ImportError:  # SciPy is an optional benchmark dependency: pip install .[bench]
    brentq = None

V0, K0, K0_PRIME = 10.0, 160.0, 4.5
ETA = 1.5 * (K0_PRIME - 1.0)
MODELS = {"BM3": RtEos.bm3(V0, K0, K0_PRIME), "Vinet": RtEos.vinet(V0, K0, K0_PRIME)}
SIZES = [10**3, 10**4, 10**5, 10**6, 10**7]
VOLUME_MAX_SIZE = 10**6
BRENTQ_MAX_SIZE = 10**4  # about 10 us per element
PRESSURE_THRESHOLD, VOLUME_THRESHOLD = 65536, 512


def bm3_pressure(v):
    x = np.cbrt(V0 / v)
    f = (x * x - 1.0) / 2.0
    return 3.0 * K0 * f * x**5 * (1.0 + 1.5 * (K0_PRIME - 4.0) * f)


def bm3_bulk_modulus(v):
    x = np.cbrt(V0 / v)
    f = (x * x - 1.0) / 2.0
    return x**5 * (K0 + f * (3.0 * K0 * K0_PRIME - 5.0 * K0)
                   + 13.5 * f * f * (K0 * K0_PRIME - 4.0 * K0))


def vinet_pressure(v):
    y = np.cbrt(v / V0)
    return 3.0 * K0 * (1.0 - y) / (y * y) * np.exp(ETA * (1.0 - y))


def vinet_bulk_modulus(v):
    y = np.cbrt(v / V0)
    return K0 / (y * y) * ((1.0 - y) * (ETA * y + 1.0) + 1.0) * np.exp(ETA * (1.0 - y))


NUMPY = {("BM3", "pressure"): bm3_pressure, ("BM3", "bulk_modulus"): bm3_bulk_modulus,
         ("Vinet", "pressure"): vinet_pressure, ("Vinet", "bulk_modulus"): vinet_bulk_modulus}


def volume_by_bisection(pressures, halvings=60):
    """Vectorised bisection of the BM3 pressure on a fixed bracket."""
    lo = np.full_like(pressures, 0.5 * V0)
    hi = np.full_like(pressures, 1.5 * V0)
    for _ in range(halvings):
        mid = 0.5 * (lo + hi)
        too_small = bm3_pressure(mid) > pressures  # volume below the root
        lo = np.where(too_small, mid, lo)
        hi = np.where(too_small, hi, mid)
    return 0.5 * (lo + hi)


def bm3_pressure_python(v):
    x = (V0 / v) ** (1.0 / 3.0)
    f = (x * x - 1.0) / 2.0
    return 3.0 * K0 * f * x**5 * (1.0 + 1.5 * (K0_PRIME - 4.0) * f)


def volume_by_brentq(pressures):
    return np.array([brentq(lambda v, p=p: bm3_pressure_python(v) - p, 0.5 * V0, 1.5 * V0)
                     for p in pressures])


def dispatched_isa():
    """The kernels the engine's dispatch picks on this processor."""
    try:
        with open("/proc/cpuinfo") as cpuinfo:
            flags = next((line.split(":", 1)[1].split() for line in cpuinfo
                          if line.startswith("flags")), [])
    except OSError:
        return "unknown (no /proc/cpuinfo)"
    if platform.machine() not in ("x86_64", "AMD64"):
        return "scalar"
    if {"avx512f", "avx512dq"} <= set(flags):
        return "avx512 (avx512f, avx512dq)"
    if {"avx2", "fma"} <= set(flags):
        return "avx2 (avx2, fma)"
    return "sse2"


def ratio(a, b):
    return f"{a / b:7.2f}x"


def parallel_break_even(method, make_input, threshold, budget):
    """Elements from which the parallel path beats the inline one, from the
    inline cost per element below the threshold and a linear fit of the
    parallel path's time above it."""
    inline_sizes = [threshold // 4, threshold // 2, threshold - 1]
    parallel_sizes = [threshold, 2 * threshold, 4 * threshold]
    inputs = {n: make_input(n) for n in inline_sizes + parallel_sizes}
    times = best_times({n: (lambda x=x: method(x)) for n, x in inputs.items()}, budget)
    per_element_inline = min(times[n] / n for n in inline_sizes)
    slope, fixed = np.polyfit(parallel_sizes, [times[n] for n in parallel_sizes], 1)
    if per_element_inline <= slope:
        return per_element_inline, fixed, slope, math.inf
    return per_element_inline, fixed, slope, max(fixed, 0.0) / (per_element_inline - slope)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--budget", type=float, default=1.0,
                        help="seconds of repeats per size and quantity (default 1)")
    parser.add_argument("--max-size", type=float, default=1e7)
    args = parser.parse_args()

    rng = np.random.default_rng(2024)
    tunables = os.environ.get("GLIBC_TUNABLES", "")
    print(f"RtEos benchmark - CPython {platform.python_version()}, NumPy {np.__version__}, "
          f"{os.cpu_count()} logical CPUs, kernels: {dispatched_isa()}, allocator: "
          f"{'GLIBC_TUNABLES=' + tunables if tunables else 'glibc default'}; "
          f"load average {os.getloadavg()[0]:.2f}")
    print("times in ms (best of alternating repeats); ratio = NumPy / engine, above 1x the "
          "engine is faster")

    sizes = [s for s in SIZES if s <= args.max_size]
    results = {}
    header = f"{'size':>6} | " + " | ".join(
        f"{m} {q[0].upper()} {'engine':>9} {'numpy':>9} {'ratio':>8}"
        for m in MODELS for q in ("pressure", "bulk_modulus"))
    print(header + f" | {'GB/s':>5} {'copy':>5}")
    print("-" * (len(header) + 14))
    for size in sizes:
        volumes = rng.uniform(8.0, 10.5, size)
        copy_target = np.empty_like(volumes)
        copy_target[:] = 0.0  # touched once, so that the copy pays no page faults
        contenders = {"copy": lambda: np.copyto(copy_target, volumes)}
        for (model, quantity), expression in NUMPY.items():
            method = getattr(MODELS[model], f"{quantity}_array")
            # Near V0 the pressure is a small difference: compare it absolutely.
            np.testing.assert_allclose(method(volumes[:1000]), expression(volumes[:1000]),
                                       rtol=1e-12, atol=1e-12)
            contenders[(model, quantity, "engine")] = lambda m=method: m(volumes)
            contenders[(model, quantity, "numpy")] = lambda e=expression: e(volumes)
        t = best_times(contenders, args.budget)
        results[size] = t
        cells = " | ".join(
            f"{'':{len(m) + 2}}{t[(m, q, 'engine')] * 1e3:9.3f} {t[(m, q, 'numpy')] * 1e3:9.3f} "
            f"{ratio(t[(m, q, 'numpy')], t[(m, q, 'engine')])}"
            for m in MODELS for q in ("pressure", "bulk_modulus"))
        gbs = 16 * size / t[("BM3", "pressure", "engine")] / 1e9
        print(f"{size:>6.0e} | {cells} | {gbs:5.1f} {16 * size / t['copy'] / 1e9:5.1f}")
    print("GB/s: BM3 pressure_array, and copy: np.copyto of the same array (memcpy), "
          "16 bytes moved per element")

    print(f"\n{'size':>6} | {'V engine':>10} {'bisect60':>10} {'ratio':>8} | "
          f"{'brentq':>10} {'ratio':>8}")
    bm3 = MODELS["BM3"]
    volume_ratios = {}
    for size in [s for s in sizes if s <= VOLUME_MAX_SIZE]:
        volumes = rng.uniform(8.0, 10.5, size)
        pressures = bm3.pressure_array(volumes)
        np.testing.assert_allclose(bm3.volume_array(pressures), volumes, rtol=1e-12)
        np.testing.assert_allclose(volume_by_bisection(pressures[:1000]), volumes[:1000],
                                   rtol=1e-12)
        t = best_times({"engine": lambda: bm3.volume_array(pressures),
                        "bisection": lambda: volume_by_bisection(pressures)}, args.budget)
        brent = "-", "-"
        if brentq is not None and size <= BRENTQ_MAX_SIZE:
            b = best_times({"b": lambda: volume_by_brentq(pressures)}, args.budget)["b"]
            brent = f"{b * 1e3:10.3f}", ratio(b, t["engine"])
        volume_ratios[size] = t["bisection"] / t["engine"]
        print(f"{size:>6.0e} | {t['engine'] * 1e3:10.3f} {t['bisection'] * 1e3:10.3f} "
              f"{ratio(t['bisection'], t['engine'])} | {brent[0]:>10} {brent[1]:>8}")

    scalar = best_per_call({"scalar": lambda: bm3.pressure_scalar(9.0)}, 1000, 0.5)
    ten = np.linspace(8.0, 10.5, 10)
    array = best_per_call({"ten": lambda: bm3.pressure_array(ten)}, 1000, 0.5)
    scalar_ns, ten_us = scalar["scalar"] * 1e9, array["ten"] * 1e6
    print(f"\npressure_scalar: {scalar_ns:.0f} ns per call;  "
          f"10-element pressure_array: {ten_us:.2f} us per call")

    print("\nwhere the parallel path pays (BM3; thresholds kept as set: "
          f"{PRESSURE_THRESHOLD} for pressure_array, {VOLUME_THRESHOLD} for volume_array)")
    for name, method, make_input, threshold in [
        ("pressure_array", bm3.pressure_array, lambda n: rng.uniform(8.0, 10.5, n),
         PRESSURE_THRESHOLD),
        ("volume_array", bm3.volume_array,
         lambda n: bm3.pressure_array(rng.uniform(8.0, 10.5, n)), VOLUME_THRESHOLD),
    ]:
        inline, fixed, slope, even = parallel_break_even(method, make_input, threshold,
                                                         args.budget)
        print(f"  {name}: inline {inline * 1e9:.2f} ns/element; parallel {fixed * 1e6:.1f} us "
              f"+ {slope * 1e9:.2f} ns/element; pays from about {even:,.0f} elements")

    print("\ntargets:")
    checks = []
    for size, t in results.items():
        need = 3.0 if 10**4 <= size <= 10**6 else 1.5
        for (m, q) in NUMPY:
            checks.append((f"{m} {q}_array {size:.0e} vs NumPy >= {need}x",
                           t[(m, q, "numpy")] / t[(m, q, "engine")], need))
    for size, value in volume_ratios.items():
        checks.append((f"BM3 volume_array {size:.0e} vs 60-halving bisection >= 3x", value, 3.0))
    for name, value, target in checks:
        print(f"  {name}: {value:.2f}x {'met' if value >= target else 'NOT met'}")


if __name__ == "__main__":
    main()
