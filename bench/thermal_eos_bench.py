"""ThermalEos array evaluation against what a user would otherwise write.

A Mie-Grueneisen-Debye model of MgO over a BM3 isotherm (Speziale et al. 2001),
on states with V/V0 in [0.8, 1.05] and T in [300, 3000] K. Prints one table:

* pressure: ``evaluate_array("pressure", V, T)`` on 1e5 states (parallel path)
  and on 2047 (sequential path, just below the threshold), per element; the
  same model in NumPy with the Debye function from ``scipy.integrate.quad``
  per element, and with a vectorised series for it (power series below
  x = 2, exponential sum above);
* volume: ``evaluate_array("volume", P, T)`` on the same states and paths,
  against a vectorised bisection over the NumPy-series pressure to the same
  accuracy.

Every figure is the best of several alternating repeats, so that load from
other processes hits each contender alike. Run it under the default glibc
allocator and again with allocator settings that keep freed memory::

    python bench/thermal_eos_bench.py
    GLIBC_TUNABLES=glibc.malloc.trim_threshold=1073741824:glibc.malloc.mmap_threshold=1073741824 \\
        python bench/thermal_eos_bench.py
"""

from __future__ import annotations

import argparse
import math
import os
import platform
from fractions import Fraction

import numpy as np

from barometra._engine import RtEos, ThermalEos
from bench_support import best_times

try:
    from scipy.integrate import quad
except ImportError:  # SciPy is an optional benchmark dependency: pip install .[bench]
    quad = None

V0, K0, K0_PRIME = 1.1248, 160.2, 3.99  # J/bar, GPa
TR, THETA0, GAMMA0, Q, N = 300.0, 773.0, 1.524, 1.65, 2.0
R = 8.31446261815324
MODEL = ThermalEos.mie_gruneisen_debye(RtEos.bm3(V0, K0, K0_PRIME), TR, THETA0, GAMMA0, Q, N)
SIZE = 100_000
SEQUENTIAL = 2047  # the two-input maps go parallel from 2048 elements
QUAD_SIZE = 2000  # two quadratures per element: 1e5 would take about a minute
TIMING = {"warm_up": False, "max_rounds": 50}  # every round timed, 50 at most

# 3 B_2k / ((2k + 3) (2k)!) for k = 1..15: D3(x) = 1 - 3x/8 + sum c_k x^2k, |x| < 2 pi.
BERNOULLI = [Fraction(1, 6), Fraction(-1, 30), Fraction(1, 42), Fraction(-1, 30),
             Fraction(5, 66), Fraction(-691, 2730), Fraction(7, 6), Fraction(-3617, 510),
             Fraction(43867, 798), Fraction(-174611, 330), Fraction(854513, 138),
             Fraction(-236364091, 2730), Fraction(8553103, 6), Fraction(-23749461029, 870),
             Fraction(8615841276005, 14322)]
SERIES = [float(3 * b / ((2 * k + 3) * math.factorial(2 * k)))
          for k, b in enumerate(BERNOULLI, start=1)]


def debye3_series(x):
    """D3(x) = 3/x^3 int_0^x t^3/(e^t - 1) dt, vectorised: the power series
    below 2 (15 terms), pi^4/15 minus the exponential sum above (18 terms)."""
    small = x < 2.0
    xs = np.where(small, x, 0.0)
    x2 = xs * xs
    power = np.zeros_like(x)
    for c in reversed(SERIES):
        power = power * x2 + c
    power = 1.0 - 0.375 * xs + power * x2
    xl = np.where(small, 2.0, x)
    tail = np.zeros_like(x)
    for k in range(1, 19):
        tail += np.exp(-k * xl) * (xl**3 / k + 3 * xl**2 / k**2 + 6 * xl / k**3 + 6 / k**4)
    exponential = 3.0 / xl**3 * (math.pi**4 / 15.0 - tail)
    return np.where(small, power, exponential)


def debye3_quad(x):
    integral, _ = quad(lambda t: t**3 / math.expm1(t) if t > 0.0 else 0.0, 0.0, x)
    return 3.0 * integral / x**3


def pressure_numpy(volume, temperature, debye3=debye3_series):
    """P = P_BM3(V) + gamma (E(V, T) - E(V, Tr)) / V / 1e4, E = 3nR T D3(theta/T)."""
    x = volume / V0
    f = (x ** (-2.0 / 3.0) - 1.0) / 2.0
    p_ref = 3.0 * K0 * f * (1.0 + 2.0 * f) ** 2.5 * (1.0 + 1.5 * (K0_PRIME - 4.0) * f)
    xq = x**Q
    gamma = GAMMA0 * xq
    theta = THETA0 * np.exp(GAMMA0 * (1.0 - xq) / Q)
    c = 3.0 * N * R
    e_t = c * temperature * debye3(theta / temperature)
    e_r = c * TR * debye3(theta / TR)
    return p_ref + gamma * (e_t - e_r) / volume / 1e4


def pressure_quad(volumes, temperatures):
    """The same formula per element, the Debye function by scipy.integrate.quad."""
    def one(v, t):
        return float(pressure_numpy(np.float64(v), np.float64(t),
                                    lambda u: debye3_quad(float(u))))
    return np.array([one(v, t) for v, t in zip(volumes, temperatures)])


def volume_by_bisection(pressures, temperatures, rtol=1e-14):
    """Vectorised bisection over the NumPy-series pressure to the engine's tolerance."""
    lo = np.full_like(pressures, 0.5 * V0)
    hi = np.full_like(pressures, 1.5 * V0)
    while np.max(hi - lo) > rtol * V0:
        mid = 0.5 * (lo + hi)
        too_small = pressure_numpy(mid, temperatures) > pressures  # volume below the root
        lo = np.where(too_small, mid, lo)
        hi = np.where(too_small, hi, mid)
    return 0.5 * (lo + hi)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--budget", type=float, default=3.0,
                        help="seconds of repeats per quantity (default 3)")
    args = parser.parse_args()

    rng = np.random.default_rng(2024)
    volumes = rng.uniform(0.8 * V0, 1.05 * V0, SIZE)
    temperatures = rng.uniform(300.0, 3000.0, SIZE)
    pressures = MODEL.evaluate_array("pressure", volumes, temperatures)
    v_seq, t_seq, p_seq = volumes[:SEQUENTIAL], temperatures[:SEQUENTIAL], pressures[:SEQUENTIAL]

    # Same results before timing anything.
    np.testing.assert_allclose(pressure_numpy(volumes, temperatures), pressures, rtol=1e-12,
                               atol=1e-11)
    np.testing.assert_allclose(MODEL.evaluate_array("volume", pressures, temperatures), volumes,
                               rtol=1e-12)
    np.testing.assert_allclose(volume_by_bisection(p_seq, t_seq), v_seq, rtol=1e-12)
    if quad is not None:
        np.testing.assert_allclose(pressure_quad(v_seq[:50], t_seq[:50]), p_seq[:50], rtol=1e-10,
                                   atol=1e-11)

    p = best_times({
        "parallel": lambda: MODEL.evaluate_array("pressure", volumes, temperatures),
        "sequential": lambda: MODEL.evaluate_array("pressure", v_seq, t_seq),
        "series": lambda: pressure_numpy(volumes, temperatures),
    }, args.budget, **TIMING)
    if quad is not None:
        p["quad"] = best_times({"quad": lambda: pressure_quad(volumes[:QUAD_SIZE],
                                                              temperatures[:QUAD_SIZE])},
                               args.budget, **TIMING)["quad"]
    v = best_times({
        "parallel": lambda: MODEL.evaluate_array("volume", pressures, temperatures),
        "sequential": lambda: MODEL.evaluate_array("volume", p_seq, t_seq),
        "series": lambda: volume_by_bisection(pressures, temperatures),
    }, args.budget, **TIMING)

    counts = {"parallel": SIZE, "sequential": SEQUENTIAL, "series": SIZE, "quad": QUAD_SIZE}
    labels = {"parallel": "engine, parallel", "sequential": "engine, sequential",
              "series": "NumPy series", "quad": "NumPy + quad per element"}
    volume_labels = {**labels, "series": "NumPy series bisection"}
    print(f"{platform.python_implementation()} {platform.python_version()}, NumPy "
          f"{np.__version__}, {os.cpu_count()} logical CPUs, "
          f"GLIBC_TUNABLES={os.environ.get('GLIBC_TUNABLES', '(unset)')}")
    print(f"{'quantity':<9} {'contender':<26} {'elements':>9} {'best (ms)':>10} "
          f"{'per element (ns)':>17} {'÷ engine parallel':>18}")
    for quantity, times, names in (("pressure", p, labels), ("volume", v, volume_labels)):
        parallel = times["parallel"] / SIZE
        for key, seconds in times.items():
            per = seconds / counts[key]
            # Above 1: the engine's parallel path is that many times faster per element.
            ratio = "" if key == "parallel" else f"{per / parallel:.2f}"
            print(f"{quantity:<9} {names[key]:<26} {counts[key]:>9} {seconds * 1e3:>10.3f} "
                  f"{per * 1e9:>17.1f} {ratio:>18}")


if __name__ == "__main__":
    main()
