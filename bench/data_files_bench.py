"""Reading data files: a wide CSV header, and long CSV and keyword .dat files.

* ``read_csv`` of a header of 50,000 extra columns and one row: the check
  for repeated columns looks each name up once, so the time grows in
  proportion to the width. Beside it, the check it replaced (each name
  searched in the names before it) on the same header, alone.
* ``read_csv`` and ``read_eosfit`` of 100,000 rows of P, sigP, V, sigV, T,
  sigT, and ``read_eosfit`` of 100,000 rows of hexagonal cell parameters
  (volumes and esds computed), per row.

Every figure is the best of alternating repeats::

    python bench/data_files_bench.py
"""

from __future__ import annotations

import io

import numpy as np

from barometra.data import read_csv, read_eosfit
from bench_support import best_times

WIDTH = 50_000
ROWS = 100_000


def quadratic_repeat_check(names):
    for position, name in enumerate(names):
        if name in names[:position]:
            return position
    return None


def main():
    names = [f"c{i}" for i in range(WIDTH)]
    wide = "pressure,volume," + ",".join(names) + "\n1,40," + ",".join(["1"] * WIDTH) + "\n"
    times = best_times({
        "read_csv": lambda: read_csv(io.StringIO(wide)),
        "quadratic check alone": lambda: quadratic_repeat_check(["pressure", "volume", *names]),
    }, budget=2.0, warm_up=False, max_rounds=2)
    print(f"header of {WIDTH + 2} columns:")
    for name, seconds in times.items():
        print(f"  {name:<24} {seconds * 1e3:10.1f} ms")

    rng = np.random.default_rng(3)
    p, v, t = rng.uniform(0, 100, ROWS), rng.uniform(100, 150, ROWS), rng.uniform(300, 2500, ROWS)
    columns = np.column_stack([p, np.full(ROWS, 0.1), v, np.full(ROWS, 0.02), t,
                               np.full(ROWS, 10.0)])
    body = "\n".join(" ".join(f"{x:.6g}" for x in row) for row in columns) + "\n"
    a, c = rng.uniform(4.7, 4.9, ROWS), rng.uniform(5.2, 5.4, ROWS)
    cells = "\n".join(f"{x:.5f} 0.1 {y:.5f} 0.0001 {z:.5f} 0.0001"
                      for x, y, z in zip(p, a, c)) + "\n"
    files = {
        "read_csv": (read_csv, "P,sigP,V,sigV,T,sigT\n" + body.replace(" ", ",")),
        "read_eosfit": (read_eosfit, "Format 1 P SIGP V SIGV T SIGT\n" + body),
        "read_eosfit, cells": (read_eosfit, "System hexagonal\nFormat 1 P SIGP A SIGA C SIGC\n"
                               + cells),
    }
    times = best_times({name: (lambda r=reader, s=text: r(io.StringIO(s)))
                        for name, (reader, text) in files.items()}, budget=5.0, max_rounds=3)
    print(f"{ROWS} rows:")
    for name, seconds in times.items():
        print(f"  {name:<24} {seconds * 1e3:10.1f} ms  {seconds / ROWS * 1e6:6.2f} us/row")


if __name__ == "__main__":
    main()
