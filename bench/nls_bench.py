"""How close fit_least_squares gets to the minimum, against SciPy.

For each classic problem of ``nls_problems.py`` (exponentials, Gaussians,
rational functions, Rosenbrock-type valleys; unbounded and bounded, from the
published starting points) it prints the engine's final cost, status and
residual evaluations beside those of ``scipy.optimize.least_squares`` (trf,
two-point differences) at tight tolerances (ftol = xtol = gtol = 1e-15,
max_nfev 10000). Neither count includes the evaluations of the
finite-difference Jacobians. A success of the engine whose cost exceeds
SciPy's by more than 1e-6 relative (1e-20 absolute) is flagged "SHORT": it
stopped short of the minimum and called it one. Run::

    python bench/nls_bench.py [--json]
"""

from __future__ import annotations

import argparse
import json
import sys

import numpy as np

from barometra._engine import fit_least_squares
from nls_problems import PROBLEMS

try:
    from scipy.optimize import least_squares
except ImportError:  # SciPy is an optional benchmark dependency: pip install .[bench]
    sys.exit("nls_bench.py needs SciPy")


def ours(p):
    r = fit_least_squares(p.residuals, p.start, p.lower, p.upper)
    return {"cost": r.cost, "nfev": r.nfev, "status": r.status, "success": r.success}


def scipy_fit(p):
    r = least_squares(p.residuals, p.start, bounds=(p.lower, p.upper), ftol=1e-15, xtol=1e-15,
                      gtol=1e-15, max_nfev=10000)
    return {"cost": float(r.cost), "nfev": int(r.nfev), "status": int(r.status)}


def short(a, b):
    return a["success"] and a["cost"] > b["cost"] * (1 + 1e-6) + 1e-20


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--json", action="store_true")
    args = parser.parse_args()
    rows = []
    for p in PROBLEMS:
        a, b = ours(p), scipy_fit(p)
        rows.append({"problem": p.name, "start": p.start.tolist(), "ours": a, "scipy": b,
                     "short": short(a, b)})
    if args.json:
        print(json.dumps(rows, indent=1))
        return
    print(f"{'problem':30} {'start':34} {'our cost':>11} {'st':>2} {'nfev':>5}"
          f" {'SciPy cost':>11} {'nfev':>5}")
    for row in rows:
        a, b = row["ours"], row["scipy"]
        start = ", ".join(f"{v:g}" for v in row["start"])
        flag = "  SHORT" if row["short"] else ""
        print(f"{row['problem']:30} ({start:32}) {a['cost']:11.5g} {a['status']:2d} {a['nfev']:5d}"
              f" {b['cost']:11.5g} {b['nfev']:5d}{flag}")
    print(f"{sum(r['short'] for r in rows)} of {len(rows)} stopped short; "
          f"{sum(not r['ours']['success'] for r in rows)} not successful")


if __name__ == "__main__":
    main()
