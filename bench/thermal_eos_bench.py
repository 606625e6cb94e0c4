"""ThermalEos array evaluation against the same model written in NumPy.

A Mie-Grueneisen-Debye model of MgO over a BM3 isotherm (Speziale et al. 2001).
Prints one table:

* pressure: ``evaluate_array("pressure", V, T)`` on 1e5 states with V/V0 in
  [0.8, 1.05] and T in [300, 3000] K (parallel path) and on 2047 of them
  (sequential path, just below the threshold), per element; the same formula
  vectorised in NumPy, its Debye function by 16-point Gauss-Legendre
  quadrature or by a Chebyshev series (degree 26 on [0, 5], interpolated from
  64-point Gauss-Legendre, the exponential series above 5);
* volume: ``evaluate_array("volume", P, T)`` on a 200 x 200 grid of P in
  [0, 120] GPa and T in [300, 3000] K (and on 2047 states spread over it),
  against a vectorised NumPy bisection
  over the NumPy pressure with either Debye function, from [V0/2, 3V0/2] to
  1e-14 V0 (47 halvings, the engine's tolerance);
* temperature: ``evaluate_array("temperature", P, V)`` on the same grid, with
  V the volumes found, against a NumPy bisection in log T over [10, 1e5] K to
  1e-14 relative (52 halvings).

Every figure is the best of several alternating repeats, so that load from
other processes hits each contender alike. NumPy runs at its best with
allocator settings that keep freed memory (its temporaries' pages are then
not faulted in afresh on every call)::

    GLIBC_TUNABLES=glibc.malloc.trim_threshold=1073741824:glibc.malloc.mmap_threshold=1073741824 \\
        python bench/thermal_eos_bench.py
"""

from __future__ import annotations

import argparse
import math
import os
import platform

import numpy as np
from numpy.polynomial import chebyshev, legendre

from barometra._engine import RtEos, ThermalEos
from bench_support import best_times

V0, K0, K0_PRIME = 1.1248, 160.2, 3.99  # J/bar, GPa
TR, THETA0, GAMMA0, Q, N = 300.0, 773.0, 1.524, 1.65, 2.0
R = 8.31446261815324
MODEL = ThermalEos.mie_gruneisen_debye(RtEos.bm3(V0, K0, K0_PRIME), TR, THETA0, GAMMA0, Q, N)
SIZE = 100_000
SEQUENTIAL = 2047  # the two-input maps go parallel from 2048 elements
GRID = 200
VOLUME_HALVINGS = 47  # 2^-47 V0 < 1e-14 V0
TEMPERATURE_HALVINGS = 52  # 2^-52 ln(1e4) < 1e-14


def gauss_legendre_d3(nodes):
    """D3(x) = 3/x^3 int_0^x t^3/(e^t - 1) dt by n-point Gauss-Legendre on [0, x]."""
    points, weights = legendre.leggauss(nodes)
    fractions, half_weights = (points + 1.0) / 2.0, weights / 2.0

    def d3(x):
        t = np.multiply.outer(x, fractions)
        integrand = t**3 / np.expm1(t)
        return 3.0 * (integrand @ half_weights) / (x * x)

    return d3


def chebyshev_d3(degree=26, limit=5.0):
    """D3 by its Chebyshev series on [0, limit], the exponential series above."""
    accurate = gauss_legendre_d3(64)
    coefficients = chebyshev.chebinterpolate(
        lambda t: accurate(limit * (t + 1.0) / 2.0), degree)
    k = np.arange(1.0, 11.0)

    def d3(x):
        result = chebyshev.chebval(x * (2.0 / limit) - 1.0, coefficients)
        large = x > limit
        if large.any():
            b = np.multiply.outer(x[large], k)
            tail = (np.exp(-b) * (((b + 3.0) * b + 6.0) * b + 6.0) / k**4).sum(axis=-1)
            result[large] = (math.pi**4 / 5.0 - 3.0 * tail) / x[large] ** 3
        return result

    return d3


D3 = {"Gauss-Legendre": gauss_legendre_d3(16), "Chebyshev": chebyshev_d3()}


def pressure_numpy(volume, temperature, d3):
    """P = P_BM3(V) + gamma (E(V, T) - E(V, Tr)) / V / 1e4, E = 3nR T D3(theta/T)."""
    x = volume / V0
    f = (x ** (-2.0 / 3.0) - 1.0) / 2.0
    p_ref = 3.0 * K0 * f * (1.0 + 2.0 * f) ** 2.5 * (1.0 + 1.5 * (K0_PRIME - 4.0) * f)
    xq = x**Q
    theta = THETA0 * np.exp(GAMMA0 * (1.0 - xq) / Q)
    c = 3.0 * N * R
    thermal = c * (temperature * d3(theta / temperature) - TR * d3(theta / TR))
    return p_ref + GAMMA0 * xq * thermal / volume / 1e4


def volume_by_bisection(pressures, temperatures, d3):
    lo, hi = np.full_like(pressures, 0.5 * V0), np.full_like(pressures, 1.5 * V0)
    for _ in range(VOLUME_HALVINGS):
        mid = 0.5 * (lo + hi)
        below_root = pressure_numpy(mid, temperatures, d3) > pressures
        np.copyto(lo, mid, where=below_root)
        np.copyto(hi, mid, where=~below_root)
    return 0.5 * (lo + hi)


def temperature_by_bisection(pressures, volumes, d3):
    lo, hi = np.full_like(pressures, math.log(10.0)), np.full_like(pressures, math.log(1e5))
    for _ in range(TEMPERATURE_HALVINGS):
        mid = 0.5 * (lo + hi)
        too_cold = pressure_numpy(volumes, np.exp(mid), d3) < pressures
        np.copyto(lo, mid, where=too_cold)
        np.copyto(hi, mid, where=~too_cold)
    return np.exp(0.5 * (lo + hi))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--budget", type=float, default=3.0,
                        help="seconds of repeats per quantity (default 3)")
    args = parser.parse_args()

    rng = np.random.default_rng(2024)
    volumes = rng.uniform(0.8 * V0, 1.05 * V0, SIZE)
    temperatures = rng.uniform(300.0, 3000.0, SIZE)
    v_seq, t_seq = volumes[:SEQUENTIAL], temperatures[:SEQUENTIAL]
    grid_p, grid_t = np.meshgrid(np.linspace(0.0, 120.0, GRID), np.linspace(300.0, 3000.0, GRID))
    grid_v = MODEL.evaluate_array("volume", grid_p, grid_t)

    # Same results before timing anything.
    pressures = MODEL.evaluate_array("pressure", volumes, temperatures)
    for d3 in D3.values():
        np.testing.assert_allclose(pressure_numpy(volumes, temperatures, d3), pressures,
                                   rtol=1e-12, atol=1e-11)
        np.testing.assert_allclose(volume_by_bisection(grid_p[::9], grid_t[::9], d3),
                                   grid_v[::9], rtol=1e-12)
        np.testing.assert_allclose(temperature_by_bisection(grid_p[::9], grid_v[::9], d3),
                                   grid_t[::9], rtol=1e-10)
    np.testing.assert_allclose(MODEL.evaluate_array("temperature", grid_p, grid_v), grid_t,
                               rtol=1e-10)

    numpy = {name: (lambda d3=d3: pressure_numpy(volumes, temperatures, d3))
             for name, d3 in D3.items()}
    p = best_times({"parallel": lambda: MODEL.evaluate_array("pressure", volumes, temperatures),
                    "sequential": lambda: MODEL.evaluate_array("pressure", v_seq, t_seq),
                    **numpy}, args.budget)
    # The sequential path on a sample of the grid spread over all of it.
    sample_p, sample_t, sample_v = (a.ravel()[::19][:SEQUENTIAL] for a in (grid_p, grid_t, grid_v))
    v = best_times({"parallel": lambda: MODEL.evaluate_array("volume", grid_p, grid_t),
                    "sequential": lambda: MODEL.evaluate_array("volume", sample_p, sample_t),
                    **{name: (lambda d3=d3: volume_by_bisection(grid_p, grid_t, d3))
                       for name, d3 in D3.items()}}, args.budget, warm_up=False)
    chebyshev_d3 = D3["Chebyshev"]
    t = best_times({"parallel": lambda: MODEL.evaluate_array("temperature", grid_p, grid_v),
                    "sequential": lambda: MODEL.evaluate_array("temperature", sample_p, sample_v),
                    "Chebyshev": lambda: temperature_by_bisection(grid_p, grid_v, chebyshev_d3)},
                   args.budget, warm_up=False)

    print(f"{platform.python_implementation()} {platform.python_version()}, NumPy "
          f"{np.__version__}, {os.cpu_count()} logical CPUs, "
          f"GLIBC_TUNABLES={os.environ.get('GLIBC_TUNABLES', '(unset)')}")
    print(f"{'quantity':<12} {'contender':<34} {'elements':>9} {'best (ms)':>10} "
          f"{'per element (ns)':>17} {'÷ engine parallel':>18}")
    labels = {"parallel": "engine, parallel", "sequential": "engine, sequential",
              "Gauss-Legendre": "NumPy, Gauss-Legendre D3", "Chebyshev": "NumPy, Chebyshev D3"}
    grid = GRID * GRID
    counts = {"sequential": SEQUENTIAL}
    for quantity, times, size in (("pressure", p, SIZE), ("volume", v, grid),
                                  ("temperature", t, grid)):
        parallel = times["parallel"] / size
        for key, seconds in times.items():
            label = labels[key] + (" bisection" if quantity != "pressure" and key in D3 else "")
            count = counts.get(key, size)
            per = seconds / count
            # Above 1: the engine's parallel path is that many times faster per element.
            ratio = "" if key == "parallel" else f"{per / parallel:.2f}"
            print(f"{quantity:<12} {label:<34} {count:>9} {seconds * 1e3:>10.2f} "
                  f"{per * 1e9:>17.1f} {ratio:>18}")


if __name__ == "__main__":
    main()
