"""Joint EOS fits against the plain fit of the same data.

* the bridgmanite P-V-T fit of Tange et al. (2012), 42 rows, Vinet +
  Mie-Grueneisen-Debye with V0 fixed: from its MgO volumes through the
  MgO-Tange2009 scale with the scale's uncertainty (six nuisance parameters)
  against the same fit from its pressure column. Goal: at most 3x.

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


if __name__ == "__main__":
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        calibrant_against_pressure_column()
