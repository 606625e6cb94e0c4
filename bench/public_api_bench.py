"""The cost of the public model classes over the private engine they call.

For each of pressure, bulk modulus and volume of a third-order
Birch-Murnaghan model, pressure and volume of the linear Us-Up Hugoniot, and
pressure, volume and bulk modulus of a Holland-Powell thermal model,
prints:

* per scalar call: ``BM3(...).pressure(9.0)`` against
  ``RtEos.bm3(...).pressure_scalar(9.0)`` (``LinearUsUpHugoniot(...).pressure``
  against ``HugoniotEos.evaluate_scalar("pressure", ...)``), and the difference;
* per array call of 10 and of 1e5 elements: ``model.pressure(volumes)``
  against ``engine.pressure_array(volumes)``, and the overhead in percent
  (thermal models: ``model.pressure(volumes, temperatures)`` against
  ``ThermalEos.evaluate_array("pressure", volumes, temperatures)``, arrays
  of the same shape).

Then the cost of the public ``barometra.fit.fit`` over the native fit it
runs (``fit_rt_eos_native``, ``fit_thermal_eos_native``) on the bundled
stishovite datasets: the public call converts the dataset and names, builds
the fitted model and the result object. Last, ``FitResult.predict`` of
a volume at 10 pressures (and temperatures) by the delta method and by
Monte Carlo draws (1000 of the BM3 fit, 100 of the thermal one).

Goals: at most 1 us per scalar call and at most 5% at 1e5 elements over the
engine. Every figure is the best of alternating repeats, so that load from
other processes hits both sides alike::

    python bench/public_api_bench.py
"""

from __future__ import annotations

import argparse
import functools
import os
import platform
from collections.abc import Callable

import numpy as np

from barometra import BM3, HollandPowell, LinearUsUpHugoniot, MieGruneisenDebye
from barometra import _engine
from barometra._engine import HugoniotEos, RtEos, ThermalEos
from barometra.data import load_example
from barometra.fit import FitResult, fit
from bench_support import best_per_call

V0, K0, K0_PRIME = 10.0, 160.0, 4.0
SCALAR_GOAL_NS = 1000.0
ARRAY_GOAL = 0.05


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
    # A closed-form thermal pressure: the engine's time is small, so the layer's shows.
    thermal = HollandPowell(reference=model, tr=300.0, theta=500.0, alpha0=3e-5, n=2.0)
    native = ThermalEos.holland_powell_thermal_pressure(engine, 300.0, 500.0, 3e-5, 2.0)
    temperatures = rng.uniform(300.0, 2000.0, 100_000)
    thermal_pressures = native.evaluate_array("pressure", volumes, temperatures)
    # Two inputs: every side gets the same wrapper (a temperature of 1500 K for a scalar,
    # as many temperatures as volumes or pressures for an array).
    rows += [(f"HP {quantity}", _with_temperatures(getattr(thermal, quantity), temperatures),
              _with_temperatures(functools.partial(native.evaluate_scalar, quantity),
                                 temperatures),
              _with_temperatures(functools.partial(native.evaluate_array, quantity),
                                 temperatures), argument, inputs)
             for quantity, argument, inputs in [
                 ("pressure", 9.0, volumes), ("volume", 10.0, thermal_pressures),
                 ("bulk_modulus", 9.0, volumes)]]
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
    fit_overhead(args.seconds)


def _with_temperatures(function: Callable[..., object], temperatures: np.ndarray
                       ) -> Callable[[object], object]:
    """A two-input evaluation as a one-input one: 1500 K for a float, the first
    temperatures for an array."""
    def call(first: object) -> object:
        if isinstance(first, float):
            return function(first, 1500.0)
        return function(first, temperatures[:len(first)])  # type: ignore[arg-type]
    return call


def fit_overhead(seconds: float) -> None:
    """The public fit against the native fit it runs, on the same arrays."""
    if not hasattr(_engine, "fit_rt_eos_native"):
        print("fit: this build has no native EOS fits; skipped")
        return
    room = load_example("stishovite_300K_nishihara2005")
    pvt = load_example("stishovite_pvt_nishihara2005").to_molar_volume()
    reference = BM3(v0=1.40195, k0=296.0, k0_prime=4.2)
    mgd = MieGruneisenDebye(reference=reference, tr=300.0, theta0=1100.0, gamma0=1.3, q=5.0,
                            n=3.0)
    free, ones_room, ones_pvt = np.full(6, np.inf), np.ones(len(room)), np.ones(len(pvt))
    cases = {
        "BM3, 10 rows": (
            lambda: fit(BM3(v0=46.5, k0=300.0, k0_prime=4.0), room, pressure_sigma=1.0),
            lambda: _engine.fit_rt_eos_native(
                RtEos.bm3(46.5, 300.0, 4.0), ["V0", "K0", "K0_prime"],
                np.array([46.5, 300.0, 4.0]), -free[:3], free[:3], room.pressure, room.volume,
                ones_room)),
        "BM3 + MGD, 45 rows": (
            lambda: fit(mgd, pvt, pressure_sigma=1.0),
            lambda: _engine.fit_thermal_eos_native(
                mgd._engine, ["rt_eos.V0", "rt_eos.K0", "rt_eos.K0_prime", "theta0", "gamma0",
                              "q"], np.array([1.40195, 296.0, 4.2, 1100.0, 1.3, 5.0]), -free,
                free, pvt.pressure, pvt.volume, pvt.temperature, ones_pvt)),
    }
    print(f"{'fit':>20} | {'public':>10} {'native':>10} {'over':>9}")
    for name, (public, native) in cases.items():
        best = best_per_call({"public": public, "native": native}, 5, seconds)
        print(f"{name:>20} | {best['public'] * 1e3:7.3f} ms {best['native'] * 1e3:7.3f} ms "
              f"{(best['public'] - best['native']) * 1e6:6.0f} us")
    predict_cost(seconds, fit(BM3(v0=46.5, k0=300.0, k0_prime=4.0), room, pressure_sigma=1.0),
                 fit(mgd, pvt, pressure_sigma=1.0))


def predict_cost(seconds: float, room: FitResult, hot: FitResult) -> None:
    """FitResult.predict of a volume at 10 states, by the delta method and by Monte Carlo."""
    pressures, temperatures = np.linspace(1.0, 30.0, 10), np.linspace(300.0, 2000.0, 10)
    cases = {
        "BM3 delta": lambda: room.predict("volume", pressures),
        "BM3 1000 draws": lambda: room.predict("volume", pressures, monte_carlo=1000, seed=1),
        "MGD delta": lambda: hot.predict("volume", pressures, temperatures),
        "MGD 100 draws": lambda: hot.predict("volume", pressures, temperatures,
                                             monte_carlo=100, seed=1),
    }
    print(f"{'predict, 10 volumes':>20} | {'time':>10}")
    for name, call in cases.items():
        best = best_per_call({name: call}, 1, seconds)
        print(f"{name:>20} | {best[name] * 1e3:7.3f} ms")


if __name__ == "__main__":
    main()
