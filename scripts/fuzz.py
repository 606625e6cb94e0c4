"""Seeded fuzzing of the entry points: ThermalEos, HugoniotEos,
fit_least_squares, the native fits, the public fit and read_csv, with special
values, hostile array layouts (strided, transposed, zero-size, huge and tiny
values) and threads.

Every call must return finite numbers or raise a barometra error (a TypeError
only for a wrong argument type), within a second; a successful fit must have
a finite cost; the same calls on several threads at once must give the
single-thread results bit for bit. A failure prints the seed and the call and
exits non-zero. Run for minutes with::

    python scripts/fuzz.py --seconds 600 [--seed 1]

The test suite runs it for a few seconds (tests/python/test_fuzz.py).
"""

from __future__ import annotations

import argparse
import io
import math
import sys
import threading
import time
import warnings

import numpy as np

from barometra import errors
from barometra._engine import (HugoniotEos, RtEos, ThermalEos, fit_least_squares,
                               fit_rt_eos_native, fit_thermal_eos_native)
from barometra.data import Dataset, read_csv
from barometra.eos import BM3
from barometra.fit import fit

SPECIALS = [0.0, -0.0, 1e-308, 5e-324, 1e308, -1e308, math.inf, -math.inf, math.nan, 1.0,
            -1.0, 1e-300, 1e300]
SLOW = 1.0  # seconds: no scalar call may take longer, nor 10 ms per array element more


class Finding(Exception):
    pass


def number(rng, typical):
    """A typical value most of the time, a special one otherwise."""
    if rng.random() < 0.15:
        return SPECIALS[rng.integers(len(SPECIALS))]
    return typical * (1.0 + 0.5 * rng.standard_normal())


def layout(rng, values):
    """The values as a float64 array of a hostile layout, same logical order."""
    values = np.asarray(values, dtype=float)
    kind = rng.integers(4)
    if kind == 1:  # strided view
        wide = np.empty(2 * values.size)
        wide[::2] = values
        return wide[::2]
    if kind == 2 and values.size % 2 == 0 and values.size:  # transposed
        return np.ascontiguousarray(values.reshape(2, -1).T).T.reshape(2, -1)
    if kind == 3:  # unaligned
        raw = np.zeros(values.size * 8 + 1, dtype=np.uint8)[1:].view(float)
        raw[:] = values
        return raw
    return values


def check_value(value, call):
    flat = np.asarray(value, dtype=float).ravel()
    if not np.all(np.isfinite(flat)):
        raise Finding(f"non-finite result from {call}")


def guarded(call, thunk, expected=(errors.BarometraError, TypeError), limit=SLOW):
    start = time.perf_counter()
    try:
        value = thunk()
    except expected:
        value = None
    except Exception as error:  # anything else is a finding
        raise Finding(f"{call} raised {type(error).__name__}: {error}") from error
    if time.perf_counter() - start > limit:
        raise Finding(f"{call} took {time.perf_counter() - start:.1f} s")
    return value


def rt_model(rng):
    v0 = number(rng, 11.0)
    return guarded("RtEos", lambda: [RtEos.bm3(v0, number(rng, 160.0), number(rng, 4.0)),
                                     RtEos.holzapfel(v0, number(rng, 160.0), number(rng, 4.5),
                                                     2.0, 10.0)][rng.integers(2)])


def thermal(rng):
    rt = rt_model(rng)
    if rt is None:
        return
    models = [
        lambda: ThermalEos.mie_gruneisen_debye(rt, 300.0, number(rng, 760.0), number(rng, 1.5),
                                               number(rng, 1.2), 2.0),
        lambda: ThermalEos.multi_oscillator_gruneisen(
            rt, 300.0, 450.0, 3.0, 800.0, 3.0, -0.1, 1.0, 10.0, 3.0, 1.5, 30.0, 0.2, 600.0,
            2.0, 1.0, 1000.0, 4.0, 0.5, 2.0),
    ]
    model = guarded("ThermalEos", models[rng.integers(len(models))])
    if model is None:
        return
    quantity = ["pressure", "volume", "temperature", "bulk_modulus", "thermal_expansivity",
                "isothermal_compressibility"][rng.integers(6)]
    a, b = number(rng, 10.0), number(rng, 1000.0)
    check_value(guarded(f"{model!r}.{quantity}({a}, {b})",
                        lambda: model.evaluate_scalar(quantity, a, b)) or 0.0, quantity)
    n = int(rng.choice([0, 5, 2048]))
    domains = {"volume": ((0.0, 50.0), (300.0, 2000.0)), "temperature": ((0.0, 50.0), (8.0, 12.0))}
    (x_lo, x_hi), (y_lo, y_hi) = domains.get(quantity, ((8.0, 12.0), (300.0, 2000.0)))
    xs, ys = layout(rng, rng.uniform(x_lo, x_hi, n)), layout(rng, rng.uniform(y_lo, y_hi, n))
    if xs.shape == ys.shape:
        value = guarded(f"{model!r}.evaluate_array({quantity})",
                        lambda: model.evaluate_array(quantity, xs, ys), limit=SLOW + 0.01 * n)
        if value is not None:
            check_value(value, quantity)
    check_value(guarded(f"{model!r}.dac({a}, {b})",
                        lambda: model.volume_with_dac_confinement_scalar(a, b, 0.5)) or 0.0,
                "dac")


def hugoniot(rng):
    model = guarded("HugoniotEos", lambda: HugoniotEos.linear_us_up(
        number(rng, 10.0), number(rng, 3.0), number(rng, 5.0), number(rng, 1.5), 0.0))
    if model is None:
        return
    x = layout(rng, [number(rng, 20.0) for _ in range(int(rng.choice([1, 70000])))])
    value = guarded("HugoniotEos.evaluate_array", lambda: model.evaluate_array("volume", x))
    if value is not None:
        check_value(value, "hugoniot")


def bm3_data(rng, n):
    v = 11.0 * np.sort(rng.uniform(0.75, 1.0, n))
    f = (11.0 / v) ** (2.0 / 3.0)
    p = 240.0 * (f**3.5 - f**2.5) * (1.0 + 0.75 * 0.15 * (f - 1.0)) + rng.normal(0, 0.2, n)
    if rng.random() < 0.2:
        p[rng.integers(n)] = number(rng, 10.0)
    return p, v


def check_fit(result, call):
    if result is not None and result.success and not math.isfinite(result.cost):
        raise Finding(f"{call}: success with cost {result.cost}")


def fits(rng):
    n = int(rng.integers(1, 30))
    p, v = bm3_data(rng, n)
    start = np.array([number(rng, 11.0), number(rng, 150.0), number(rng, 4.0)])
    lower = np.array([1.0, 1.0, rng.choice([-10.0, 3.0])])
    upper = np.array([100.0, rng.choice([1000.0, 155.0]), rng.choice([20.0, 4.0])])
    sp = np.full(n, number(rng, 0.2))
    sv = np.full(n, number(rng, 0.01)) if rng.random() < 0.5 else None
    model = RtEos.bm3(11.0, 160.0, 4.0)
    check_fit(guarded("fit_rt_eos_native", lambda: fit_rt_eos_native(
        model, ["V0", "K0", "K0_prime"], start, lower, upper, layout(rng, p), layout(rng, v),
        sp, volume_sigma=sv, loss=["linear", "soft_l1", "cauchy"][rng.integers(3)])), "native")
    mgd = ThermalEos.mie_gruneisen_debye(model, 300.0, 760.0, 1.5, 1.2, 2.0)
    check_fit(guarded("fit_thermal_eos_native", lambda: fit_thermal_eos_native(
        mgd, ["rt_eos.V0", "rt_eos.K0"], start[:2], lower[:2], upper[:2], p, v,
        rng.uniform(300, 2000, n), sp)), "thermal native")
    t = np.linspace(0.0, 1.15, 24)
    y = 0.0951 * np.exp(-t) + 0.8607 * np.exp(-3 * t) + 1.5576 * np.exp(-5 * t)
    x0 = rng.uniform(0.1, 8.0, 6)
    check_fit(guarded("fit_least_squares", lambda: fit_least_squares(
        lambda x: x[0] * np.exp(-x[1] * t) + x[2] * np.exp(-x[3] * t)
        + x[4] * np.exp(-x[5] * t) - y, x0, np.full(6, -np.inf), np.full(6, np.inf))),
        "least squares")
    # The public layer also raises plain ValueErrors for data it cannot weigh.
    public = (errors.BarometraError, TypeError, ValueError)
    data = guarded("Dataset", lambda: Dataset(p, v, pressure_sigma=np.abs(sp)), public)
    if data is not None:
        result = guarded("fit", lambda: fit(BM3(v0=11.0, k0=150.0, k0_prime=4.0), data), public)
        if result is not None and not np.all(np.isfinite(list(result.values.values()))):
            raise Finding("public fit returned non-finite values")


def csv(rng):
    columns = ["pressure", "volume", "pressure_sigma", "comment"]
    rows = int(rng.integers(0, 6))
    cells = [[repr(number(rng, 10.0)) if rng.random() < 0.9 else
              ["", "nan", "x", '"1,2"', "1e999"][rng.integers(5)] for _ in columns]
             for _ in range(rows)]
    text = "\n".join([",".join(columns)] + [",".join(row) for row in cells])
    guarded("read_csv", lambda: read_csv(io.StringIO(text)),
            (errors.BarometraError, TypeError, ValueError))


TARGETS = [thermal, hugoniot, fits, csv]


def run_batch(seed, calls):
    rng = np.random.default_rng(seed)
    for _ in range(calls):
        TARGETS[rng.integers(len(TARGETS))](rng)


def threaded(seed, threads=4):
    """The batch of one seed on several threads at once: no finding, and the
    same array results on every thread."""
    model = RtEos.bm3(11.0, 160.0, 4.0)
    pressures = np.random.default_rng(seed).uniform(-5.0, 200.0, 5000)
    expected = model.volume_array(pressures)
    barrier, failures = threading.Barrier(threads), []

    def work():
        barrier.wait(timeout=60)
        try:
            run_batch(seed, 5)
            if not np.array_equal(model.volume_array(pressures), expected):
                failures.append("threaded volume_array differs")
        except Finding as finding:
            failures.append(str(finding))

    workers = [threading.Thread(target=work) for _ in range(threads)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    if failures:
        raise Finding(failures[0])


def fuzz(seconds, seed):
    """Runs seeded batches until `seconds` have passed; returns the number of
    batches, or raises Finding naming the seed."""
    deadline, batches = time.perf_counter() + seconds, 0
    while batches == 0 or time.perf_counter() < deadline:
        try:
            run_batch(seed + batches, 20)
            if batches % 10 == 0:
                threaded(seed + batches)
        except Finding as finding:
            raise Finding(f"seed {seed + batches}: {finding}") from finding
        batches += 1
    return batches


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    np.seterr(all="ignore")
    warnings.simplefilter("ignore")  # convergence warnings of fits that may well fail
    try:
        batches = fuzz(args.seconds, args.seed)
    except Finding as finding:
        print(f"FINDING {finding}", file=sys.stderr)
        sys.exit(1)
    print(f"{batches} batches from seed {args.seed}: no finding")


if __name__ == "__main__":
    main()
