"""Native EOS fits against what a user would write with SciPy.

Prints four tables, measured in one run on the same synthetic data:

* weighted BM3 fit of V0, K0, K0_prime with pressure sigmas at 20 and 1000
  points: ``fit_rt_eos_native`` against ``scipy.optimize.least_squares``
  with a NumPy residual (same start, bounds and default tolerances);
* errors-in-variables BM3 fit with pressure and volume sigmas at 20, 1e3,
  1e4 and 1e5 points: ``fit_rt_eos_native`` with latent volumes against
  ``scipy.odr`` (the model as a NumPy function, ODRPACK's own difference
  derivatives); the parameters' difference in units of the standard error,
  the growth of time with points, and the peak memory of a 1e5-point fit
  in a fresh process;
* a Mie-Grueneisen-Debye P-V-T fit of 500 points with latent volumes and
  temperatures (``fit_thermal_eos_native``): its time;
* two fits on two Python threads at once against one fit on one thread
  (wall time): the native fits run without the interpreter lock.

Times are CPU times of the process (the best of alternating repeats, so that
load from other processes hits each contender alike), except for the thread
table, which needs wall time. The script re-runs itself with allocator
settings that keep freed memory (NumPy at its best) and with one BLAS thread
(idle BLAS threads would otherwise spin on SciPy's CPU time), unless they are
set already. Run::

    python -m pip install '.[bench]' && python bench/native_fit_bench.py
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import resource
import subprocess
import sys
import threading
import time
import warnings

import numpy as np

from barometra import _engine
from barometra._engine import RtEos, fit_rt_eos_native

try:
    import scipy
    from scipy import odr
    from scipy.optimize import least_squares
except ImportError:  # SciPy is an optional benchmark dependency: pip install .[bench]
    scipy = None

ENVIRONMENT = {
    "GLIBC_TUNABLES": ("glibc.malloc.trim_threshold=1073741824:"
                       "glibc.malloc.mmap_threshold=1073741824"),
    "OPENBLAS_NUM_THREADS": "1",
    "OMP_NUM_THREADS": "1",
}
NAMES = ["V0", "K0", "K0_prime"]
TRUTH = (11.0, 160.0, 4.5)
START = np.array([10.5, 130.0, 5.5])
LOWER, UPPER = np.array([1.0, 1.0, -10.0]), np.array([100.0, 1000.0, 20.0])
MODEL = RtEos.bm3(*TRUTH)
SIGMA_P, SIGMA_V = 0.2, 0.005
WEIGHTED_SIZES = [20, 1000]
EIV_SIZES = [20, 10**3, 10**4, 10**5]
THREAD_POINTS = 10**4
FITS_PER_THREAD = 5


def bm3(v, v0, k0, k0_prime):
    """BM3 pressure as a NumPy expression."""
    f = (v0 / v) ** (2.0 / 3.0)
    return 1.5 * k0 * (f**3.5 - f**2.5) * (1.0 + 0.75 * (k0_prime - 4.0) * (f - 1.0))


def synthetic(points, seed=1):
    """Volumes between 0.8 V0 and V0, pressures and volumes with Gaussian errors."""
    rng = np.random.default_rng(seed)
    v_true = rng.uniform(0.8 * TRUTH[0], TRUTH[0], points)
    p = bm3(v_true, *TRUTH) + rng.normal(0.0, SIGMA_P, points)
    v = v_true + rng.normal(0.0, SIGMA_V, points)
    return p, v, np.full(points, SIGMA_P), np.full(points, SIGMA_V)


def native(p, v, sp, sv=None):
    return fit_rt_eos_native(MODEL, NAMES, START, LOWER, UPPER, p, v, sp, volume_sigma=sv)


def scipy_weighted(p, v, sp):
    return least_squares(lambda x: (bm3(v, *x) - p) / sp, START, bounds=(LOWER, UPPER))


def scipy_odr(p, v, sp, sv):
    data = odr.RealData(v, p, sx=sv, sy=sp)
    return odr.ODR(data, odr.Model(lambda beta, x: bm3(x, *beta)), beta0=START).run()


def best_cpu_times(contenders, rounds):
    """Best CPU time of each callable over alternating rounds."""
    best = {name: np.inf for name in contenders}
    for _ in range(rounds):
        for name, call in contenders.items():
            t0 = time.process_time()
            call()
            best[name] = min(best[name], time.process_time() - t0)
    return best


def rounds_for(points):
    return max(3, min(200, 200_000 // (points * 10)))


def growth_per_decade(rows):
    """Time ratios between consecutive sizes that are exactly 10x apart."""
    return [b["times"]["native"] / a["times"]["native"] for a, b in zip(rows, rows[1:])
            if b["points"] == 10 * a["points"]]


def weighted_rows():
    rows = []
    for points in WEIGHTED_SIZES:
        p, v, sp, _ = synthetic(points)
        times = best_cpu_times({"native": lambda: native(p, v, sp),
                                "scipy": lambda: scipy_weighted(p, v, sp)},
                               max(20, rounds_for(points)))
        ours, ref = native(p, v, sp), scipy_weighted(p, v, sp)
        se = np.sqrt(np.diag(ours.parameter_covariance))
        rows.append((points, times, np.max(np.abs(ours.x - ref.x) / se)))
    return rows


def eiv_rows():
    rows = []
    for points in EIV_SIZES:
        p, v, sp, sv = synthetic(points)
        times = best_cpu_times({"native": lambda: native(p, v, sp, sv),
                                "odr": lambda: scipy_odr(p, v, sp, sv)},
                               rounds_for(points))
        ours, ref = native(p, v, sp, sv), scipy_odr(p, v, sp, sv)
        se = np.sqrt(np.diag(ours.parameter_covariance))
        rows.append({"points": points, "times": times, "njev": ours.njev,
                     "difference": np.max(np.abs(ours.x[:3] - ref.beta) / se),
                     "se_ratio": np.max(np.abs(se / np.sqrt(np.diag(ref.cov_beta)) - 1.0)),
                     "odr_stop": ref.stopreason[0]})
    return rows


def resident_kb():
    """The resident set now (Linux), else the peak so far."""
    try:
        with open("/proc/self/statm") as statm:
            return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024
    except OSError:
        return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def child(points):
    """One errors-in-variables fit in this fresh process; prints its figures as JSON."""
    p, v, sp, sv = synthetic(points)
    native(*synthetic(20))  # the module's own first-use allocations belong to the baseline
    baseline = resident_kb()
    t0 = time.process_time()
    result = native(p, v, sp, sv)
    seconds = time.process_time() - t0
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(json.dumps({"seconds": seconds, "peak_mb": peak / 1024, "baseline_mb": baseline / 1024,
                      "success": bool(result.success)}))


def memory_row(points):
    completed = subprocess.run([sys.executable, __file__, "--child", str(points)],
                               capture_output=True, text=True, check=True)
    return json.loads(completed.stdout)


def thermal_row(points=500):
    """A Mie-Grueneisen-Debye P-V-T fit with latent volumes and temperatures."""
    if not hasattr(_engine, "fit_thermal_eos_native"):
        return None
    from barometra._engine import ThermalEos, fit_thermal_eos_native

    truth = ThermalEos.mie_gruneisen_debye(RtEos.bm3(1.4, 300.0, 4.2), 300.0, 1100.0, 1.35,
                                           3.0, 3.0)
    rng = np.random.default_rng(11)
    v_true = rng.uniform(0.9 * 1.4, 1.42, points)
    t_true = rng.uniform(300.0, 1800.0, points)
    p = truth.evaluate_array("pressure", v_true, t_true) + rng.normal(0.0, 0.1, points)
    v = v_true + rng.normal(0.0, 5e-4, points)
    t = t_true + rng.normal(0.0, 10.0, points)
    names = ["rt_eos.V0", "rt_eos.K0", "rt_eos.K0_prime", "theta0", "gamma0", "q"]
    start = np.array([1.39, 280.0, 4.5, 900.0, 1.2, 2.0])
    lower = np.array([1.0, 100.0, 1.0, 200.0, 0.1, 0.1])
    upper = np.array([2.0, 600.0, 8.0, 3000.0, 4.0, 10.0])

    def run():
        return fit_thermal_eos_native(truth, names, start, lower, upper, p, v, t,
                                      np.full(points, 0.1), volume_sigma=np.full(points, 5e-4),
                                      temperature_sigma=np.full(points, 10.0))

    seconds = best_cpu_times({"fit": run}, 3)["fit"]
    result = run()
    return {"points": points, "seconds": seconds, "njev": result.njev, "nfev": result.nfev,
            "success": bool(result.success), "x": result.x[:6].tolist(),
            "se": np.sqrt(np.diag(result.parameter_covariance)).tolist()}


def wall_time_of_threads(threads, call, rounds=5):
    """Best wall time for `threads` threads each making one call at once, and
    the CPU time the process spent meanwhile."""
    best, cpu = np.inf, np.inf
    for _ in range(rounds):
        barrier = threading.Barrier(threads + 1)

        def work():
            barrier.wait()
            call()

        pool = [threading.Thread(target=work) for _ in range(threads)]
        for thread in pool:
            thread.start()
        t0, c0 = time.perf_counter(), time.process_time()
        barrier.wait()
        for thread in pool:
            thread.join()
        elapsed = time.perf_counter() - t0
        if elapsed < best:
            best, cpu = elapsed, time.process_time() - c0
    return best, cpu


def thread_row():
    p, v, sp, sv = synthetic(THREAD_POINTS)

    def call():  # several fits, so that waking a thread up costs little beside them
        for _ in range(FITS_PER_THREAD):
            native(p, v, sp, sv)

    return wall_time_of_threads(1, call), wall_time_of_threads(2, call)


def print_header(header):
    print(header)
    print("-" * len(header))


def verdict(met):
    return "met" if met else "NOT met"


def print_weighted(rows):
    print("\nweighted BM3 fit, pressure sigmas (CPU ms, best of repeats)")
    header = f"{'points':>7} | {'native':>9} {'scipy':>9} {'speed-up':>9} | {'|dx|/se':>8}"
    print_header(header)
    for points, times, difference in rows:
        print(f"{points:>7} | {times['native'] * 1e3:9.3f} {times['scipy'] * 1e3:9.3f} "
              f"{times['scipy'] / times['native']:8.1f}x | {difference:8.1e}")
    small, large = rows[0][1], rows[-1][1]
    print(f"  N = {rows[0][0]}: {small['scipy'] / small['native']:.1f}x faster than "
          f"least_squares ({verdict(small['scipy'] >= 10 * small['native'])}: >= 10x); "
          f"N = {rows[-1][0]}: {large['scipy'] / large['native']:.1f}x "
          f"({verdict(large['scipy'] >= large['native'])}: no slower)")


def print_eiv(rows, memory):
    print("\nerrors-in-variables BM3 fit, pressure and volume sigmas, latent volumes "
          "(CPU ms, best of repeats)")
    header = (f"{'points':>7} | {'native':>10} {'odr':>10} {'odr/native':>10} "
              f"{'growth':>7} | {'njev':>4} {'|dx|/se':>8} {'se vs odr':>9} | odr stop")
    print_header(header)
    previous = None
    for row in rows:
        t = row["times"]["native"]
        growth = "-" if previous is None else f"{t / previous:6.2f}x"
        print(f"{row['points']:>7.0e} | {t * 1e3:10.2f} {row['times']['odr'] * 1e3:10.2f} "
              f"{row['times']['odr'] / t:9.2f}x {growth:>7} | {row['njev']:>4} "
              f"{row['difference']:8.1e} {row['se_ratio']:9.1e} | {row['odr_stop']}")
        previous = t
    at_1e4 = next(r for r in rows if r["points"] == 10**4)["times"]
    ratio = at_1e4["native"] / at_1e4["odr"]
    print(f"  parameters agree with ODR within {max(r['difference'] for r in rows):.1e} standard "
          f"errors ({verdict(all(r['difference'] < 1 for r in rows))}: < 1)")
    growths = growth_per_decade(rows)
    print(f"  time per 10x points from 1e3 up: at most {max(growths):.2f}x "
          f"({verdict(max(growths) <= 12)}: <= 12x)")
    print(f"  at 1e4 points: {ratio:.2f}x the time of ODR ({verdict(ratio <= 1.5)}: <= 1.5x)")
    print(f"  1e5 points in a fresh process: {memory['seconds']:.2f} s CPU, peak resident "
          f"{memory['peak_mb']:.0f} MB ({memory['peak_mb'] - memory['baseline_mb']:.0f} MB above "
          f"the start; {verdict(memory['peak_mb'] < 1024)}: < 1 GB)")


def print_thermal(row):
    print("\nMie-Grueneisen-Debye P-V-T fit (BM3 reference, 6 parameters), latent volumes and "
          "temperatures")
    if row is None:
        print("  fit_thermal_eos_native is not built into this module: skipped")
        return
    print(f"  {row['points']} points: {row['seconds'] * 1e3:.1f} ms CPU, njev {row['njev']}, "
          f"nfev {row['nfev']}, success {row['success']}")


def print_threads(one, two):
    (wall_1, cpu_1), (wall_2, cpu_2) = one, two
    print(f"\n{THREAD_POINTS:.0e}-point errors-in-variables fits, {FITS_PER_THREAD} in a row on "
          f"each Python thread (wall ms, best of repeats; CPU time / wall time = cores kept busy)")
    print(f"  one thread: {wall_1 * 1e3:.1f} ({cpu_1 / wall_1:.2f} cores); two threads at once: "
          f"{wall_2 * 1e3:.1f} ({cpu_2 / wall_2:.2f} cores); "
          f"{wall_2 / wall_1:.2f}x the time of one (two in series: 2x). Only meaningful with "
          f"two idle cores: load average now {os.getloadavg()[0]:.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--child", type=int, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        child(args.child)
        return
    missing = {k: v for k, v in ENVIRONMENT.items() if k not in os.environ}
    if missing:
        os.execve(sys.executable, [sys.executable, *sys.argv], {**os.environ, **missing})
    warnings.simplefilter("ignore", DeprecationWarning)  # scipy.odr is deprecated in SciPy 1.17

    print(f"native EOS fit benchmark - CPython {platform.python_version()}, NumPy "
          f"{np.__version__}, SciPy {scipy.__version__ if scipy else 'absent'}, "
          f"{os.cpu_count()} logical CPUs, "
          + ", ".join(f"{k}={os.environ[k]}" for k in ENVIRONMENT)
          + f"; load average {os.getloadavg()[0]:.2f}")
    if scipy is None:
        print("SciPy not installed: comparisons skipped (pip install .[bench])")
    else:
        print_weighted(weighted_rows())
        print_eiv(eiv_rows(), memory_row(EIV_SIZES[-1]))
    print_thermal(thermal_row())
    print_threads(*thread_row())
    print(f"\nload average at the end {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
