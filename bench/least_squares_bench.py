"""fit_least_squares against scipy.optimize.least_squares, and its scaling.

Prints two tables, measured in one run:

* scaling: a structured BM3 fit with errors in volume (G = 3 globals, one
  latent volume per point, residuals written with NumPy) at 1e3, 1e4 and 1e5
  points, each in a fresh process: CPU time per Jacobian evaluation (outer
  iteration) and peak resident memory. CPU time, because on a shared machine
  a short fit runs within one time slice while a long one is preempted, and
  wall time would charge the waiting to the larger sizes;
* against SciPy on the same Python residual functions: three dense problems
  (an exponential decay, a Gaussian peak, the Rosenbrock function as
  residuals), where the engine takes central differences and SciPy one-sided
  ones, and the structured BM3 problem at 1e4 points, where SciPy gets the
  explicit formulation with ``jac_sparsity`` (best of x_scale=1 and 'jac').

Every time is the best of alternating repeats. Run::

    python bench/least_squares_bench.py
    GLIBC_TUNABLES=glibc.malloc.trim_threshold=1073741824:glibc.malloc.mmap_threshold=1073741824 \\
        python bench/least_squares_bench.py
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import resource
import subprocess
import sys
import time

import numpy as np

from barometra._engine import fit_least_squares
from bench_support import best_times
from nls_problems import noisy_curves, rosenbrock

try:
    import scipy
    from scipy.optimize import least_squares
    from scipy.sparse import csr_matrix
except ImportError:  # SciPy is an optional benchmark dependency: pip install .[bench]
    scipy = None

SCALING_SIZES = [10**3, 10**4, 10**5]
SCIPY_STRUCTURED_SIZE = 10**4
T = np.linspace(0.0, 4.0, 40)
NOISE = np.random.default_rng(5).normal(0.0, 0.05, T.size)


def bm3_pressure(volume, v0, k0, k0_prime):
    x = (volume / v0) ** (-2.0 / 3.0)
    return 1.5 * k0 * (x ** 3.5 - x ** 2.5) * (1.0 + 0.75 * (k0_prime - 4.0) * (x - 1.0))


def bm3_problem(points, seed=7):
    """Residuals [(P(V_k) - P_obs) / sP, (V_k - V_obs) / sV] with latent V_k."""
    rng = np.random.default_rng(seed)
    v_true = rng.uniform(7.0, 10.0, points)
    sigma_p, sigma_v = 0.1, 0.005
    p_obs = bm3_pressure(v_true, 10.0, 160.0, 4.5) + rng.normal(0.0, sigma_p, points)
    v_obs = v_true + rng.normal(0.0, sigma_v, points)

    def residuals(x):
        volume = x[3:]
        return np.concatenate([(bm3_pressure(volume, x[0], x[1], x[2]) - p_obs) / sigma_p,
                               (volume - v_obs) / sigma_v])

    x0 = np.concatenate([[10.2, 140.0, 4.0], v_obs])
    return residuals, x0


def bm3_sparsity(points):
    k = np.arange(points)
    rows = np.concatenate([np.repeat(k, 4), points + k])
    cols = np.concatenate([np.column_stack([np.zeros_like(k), np.ones_like(k),
                                            np.full_like(k, 2), 3 + k]).ravel(), 3 + k])
    return csr_matrix((np.ones(rows.size), (rows, cols)), shape=(2 * points, 3 + points))


decay, peak = noisy_curves(T, NOISE)
DENSE = {
    "exponential decay": (decay, [1.0, 1.0, 0.0]),
    "Gaussian peak": (peak, [2.0, 2.0, 0.8]),
    "Rosenbrock": (rosenbrock, [-1.2, 1.0]),
}


def ours(function, x0, **layout):
    x0 = np.asarray(x0, float)
    return fit_least_squares(function, x0, np.full(x0.size, -np.inf), np.full(x0.size, np.inf),
                             **layout)


def structured_layout(points):
    return {"global_parameter_count": 3, "point_count": points, "latent_coordinate_count": 1}


def child(points):
    """One structured fit in this fresh process; prints its figures as JSON."""
    residuals, x0 = bm3_problem(points)
    residuals(x0)  # NumPy's own first-use allocations belong to the baseline
    baseline = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    t0 = time.process_time()
    result = ours(residuals, x0, **structured_layout(points))
    seconds = time.process_time() - t0
    covariance = result.parameter_covariance
    peak_kb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(json.dumps({"points": points, "seconds": seconds, "njev": result.njev,
                      "nfev": result.nfev, "status": result.status, "cost": result.cost,
                      "se": np.sqrt(np.diag(covariance)).tolist(),
                      "peak_mb": peak_kb / 1024, "baseline_mb": baseline / 1024}))


def scaling_rows(repeats):
    rows = []
    for points in SCALING_SIZES:
        runs = []
        for _ in range(repeats):
            completed = subprocess.run([sys.executable, __file__, "--child", str(points)],
                                       capture_output=True, text=True, check=True)
            runs.append(json.loads(completed.stdout))
        best = min(runs, key=lambda run: run["seconds"])
        best["peak_mb"] = max(run["peak_mb"] for run in runs)
        rows.append(best)
    return rows


def scipy_rows(budget):
    rows = []
    for name, (function, x0) in DENSE.items():
        times = best_times({"engine": lambda: ours(function, x0),
                            "scipy": lambda: least_squares(function, x0)}, budget)
        a, b = ours(function, x0), least_squares(function, x0)
        rows.append((name, times, a.cost, b.cost))

    points = SCIPY_STRUCTURED_SIZE
    residuals, x0 = bm3_problem(points)
    sparsity = bm3_sparsity(points)
    layout = structured_layout(points)
    contenders = {
        "engine": lambda: ours(residuals, x0, **layout),
        "scipy": lambda: least_squares(residuals, x0, jac_sparsity=sparsity),
        "scipy_jac": lambda: least_squares(residuals, x0, jac_sparsity=sparsity, x_scale="jac"),
    }
    times = best_times(contenders, budget)
    a = contenders["engine"]()
    scipy_best = "scipy" if times["scipy"] <= times["scipy_jac"] else "scipy_jac"
    b = contenders[scipy_best]()
    times["scipy"] = times[scipy_best]
    rows.append((f"BM3 structured, P = {points:.0e}", times, a.cost, b.cost))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--budget", type=float, default=2.0,
                        help="seconds of repeats per SciPy comparison (default 2)")
    parser.add_argument("--repeats", type=int, default=2,
                        help="fresh processes per scaling size (default 2)")
    parser.add_argument("--child", type=int, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        child(args.child)
        return

    tunables = os.environ.get("GLIBC_TUNABLES", "")
    print(f"least-squares benchmark - CPython {platform.python_version()}, "
          f"NumPy {np.__version__}, SciPy {scipy.__version__ if scipy else 'absent'}, "
          f"{os.cpu_count()} logical CPUs, allocator: "
          f"{'GLIBC_TUNABLES=' + tunables if tunables else 'glibc default'}; "
          f"load average {os.getloadavg()[0]:.2f}")

    rows = scaling_rows(args.repeats)
    print("\nstructured BM3 fit, G = 3, L = 1 (best of fresh processes, CPU time)")
    header = (f"{'points':>7} | {'fit s':>8} {'njev':>5} {'nfev':>5} {'ms/iter':>9} "
              f"{'growth':>7} | {'peak MB':>8} {'above start':>11} | status")
    print(header)
    print("-" * len(header))
    previous = None
    for row in rows:
        per_iteration = row["seconds"] / row["njev"]
        growth = "-" if previous is None else f"{per_iteration / previous:6.2f}x"
        print(f"{row['points']:>7.0e} | {row['seconds']:8.3f} {row['njev']:>5} {row['nfev']:>5} "
              f"{per_iteration * 1e3:9.2f} {growth:>7} | {row['peak_mb']:8.1f} "
              f"{row['peak_mb'] - row['baseline_mb']:11.1f} | {row['status']}")
        previous = per_iteration
    growths = [b["seconds"] / b["njev"] / (a["seconds"] / a["njev"]) for a, b in zip(rows, rows[1:])]
    print(f"  time per iteration, 10x points: at most {max(growths):.2f}x "
          f"({'met' if max(growths) <= 12 else 'NOT met'}: <= 12x)")
    print(f"  peak memory at 1e5 points: {rows[-1]['peak_mb']:.0f} MB "
          f"({'met' if rows[-1]['peak_mb'] < 1024 else 'NOT met'}: < 1 GB)")

    if scipy is None:
        print("\nSciPy not installed: comparison skipped (pip install .[bench])")
        return
    print("\nagainst scipy.optimize.least_squares, same Python residuals (ms, best of repeats)")
    header = (f"{'problem':>26} | {'engine':>9} {'scipy':>9} {'scipy/engine':>12} | "
              f"{'cost engine':>12} {'cost scipy':>12}")
    print(header)
    print("-" * len(header))
    for name, times, cost_a, cost_b in scipy_rows(args.budget):
        print(f"{name:>26} | {times['engine'] * 1e3:9.3f} {times['scipy'] * 1e3:9.3f} "
              f"{times['scipy'] / times['engine']:11.2f}x | {cost_a:12.6g} {cost_b:12.6g}")
    print("  targets: dense problems scipy/engine >= 0.5x; structured scipy/engine >= 3x")


if __name__ == "__main__":
    main()
