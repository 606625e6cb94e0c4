"""Joint EOS fits against the plain fit of the same data.

* the bridgmanite P-V-T fit of Tange et al. (2012), 42 rows, Vinet +
  Mie-Grueneisen-Debye with V0 fixed: from its MgO volumes through the
  MgO-Tange2009 scale with the scale's uncertainty (six nuisance parameters)
  against the same fit from its pressure column. Goal: at most 3x.
* a synthetic Mie-Grueneisen-Debye fit of 50 static P-V-T rows and 20 rows on
  the principal Hugoniot, latent volumes, against the 50 static rows alone.
  Goal: at most 5x.

Times are the best of alternating repeats through the public ``fit`` (wall
time; run on a quiet machine, or repeat). Run::

    python bench/joint_fit_bench.py
"""

from __future__ import annotations

import warnings

from bench_support import best_times

from barometra import MieGruneisenDebye, Vinet
from barometra.data import load_example
from barometra.fit import fit

DATA = load_example("bridgmanite_pvt_tange2012")
MODEL = MieGruneisenDebye(reference=Vinet(v0=162.373, k0=258.0, k0_prime=4.1), tr=300.0,
                          theta0=940.0, gamma0=1.55, q=1.1, n=5, volume_unit="Å3/cell",
                          formula_units=4)


def calibrant_against_pressure_column(budget: float = 3.0) -> None:
    contenders = {
        "pressure column": lambda: fit(MODEL, DATA, fix=("v0",)),
        "MgO volumes, scale uncertainty": lambda: fit(
            MODEL, DATA, fix=("v0",), pressure_scale="MgO-Tange2009",
            calibrant_volume="volume_mgo", scale_uncertainty=True),
    }
    best = best_times(contenders, budget)
    base = best["pressure column"]
    print("bridgmanite, 42 rows             time (ms)   ratio (goal <= 3)")
    for name, seconds in best.items():
        print(f"  {name:30} {seconds * 1e3:9.2f}   {seconds / base:6.2f}")



def shock_rows_against_static_alone(budget: float = 3.0) -> None:
    """50 static P-V-T rows and 20 shock rows, latent volumes, against the 50 alone."""
    import numpy as np

    from barometra import BM3
    from barometra.data import Dataset

    truth = MieGruneisenDebye(reference=BM3(v0=1.1248, k0=160.0, k0_prime=4.0), tr=300.0,
                              theta0=760.0, gamma0=1.5, q=1.5, n=2)
    rng = np.random.default_rng(1)
    v = 1.1248 * rng.uniform(0.8, 1.0, 50)
    t = rng.uniform(300.0, 2000.0, 50)
    static = Dataset(truth.pressure(v, t) + rng.normal(0, 0.3, 50), v, temperature=t,
                     pressure_sigma=np.full(50, 0.3), volume_sigma=np.full(50, 0.002),
                     volume_unit="J/bar", name="static")
    vh = 1.1248 * np.linspace(0.65, 0.9, 20)
    shock = Dataset(truth.hugoniot_pressure(vh) + rng.normal(0, 1.0, 20), vh,
                    pressure_sigma=np.full(20, 1.0), volume_sigma=np.full(20, 0.002),
                    volume_unit="J/bar", name="shock", kind="hugoniot")
    start = truth.replace(gamma0=1.3, q=1.0)
    vary = ("k0", "k0_prime", "gamma0", "q")
    contenders = {
        "static alone": lambda: fit(start, static, vary=vary, errors="pressure+volume"),
        "static + shock": lambda: fit(start, [static, shock], vary=vary,
                                      errors="pressure+volume"),
    }
    best = best_times(contenders, budget)
    base = best["static alone"]
    print("50 static (+ 20 shock) rows, latent volumes   time (ms)   ratio (goal <= 5)")
    for name, seconds in best.items():
        print(f"  {name:42} {seconds * 1e3:9.2f}   {seconds / base:6.2f}")


if __name__ == "__main__":
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        calibrant_against_pressure_column()
        shock_rows_against_static_alone()
