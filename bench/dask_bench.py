"""A thermal model's volume on an N × N P-T grid: through Dask on a local cluster
of worker processes against the engine's own parallel array call.

Pressures 0-120 GPa down the rows, temperatures 300-3000 K along the columns,
a MgSiO3-like model over a Vinet isotherm: Mie-Grüneisen with an Einstein or a
Debye spectrum, or a thermal pressure linear in T (the fastest to invert). Three contenders, each timed from the inputs to the full grid:

* engine: ``model.volume(P[:, None], T[None, :])`` in this process, on the
  engine's worker pool (one thread per core);
* dask to client: ``barometra.dask.map_blocks`` over square chunks on the
  cluster, the grid gathered into this process, as the engine call gives it;
* dask on workers: the same graph persisted, the grid left in the workers'
  memory, as a job that writes its chunks to storage would leave it.

The cluster is started and warmed up before any timing; every figure is the
best of ``--repeat`` alternating rounds, so load from other processes hits
each contender alike. The Dask grid is checked equal, bit for bit, to the
engine's::

    python bench/dask_bench.py --size 4000 --model einstein
    python bench/dask_bench.py --size 1000 --model debye --chunk 250
"""

from __future__ import annotations

import argparse
import math
import os
import time

import numpy as np

import dask.array as da
import distributed

from barometra import LinearThermalPressure, MieGruneisenDebye, MieGruneisenEinstein, Vinet
from barometra.dask import map_blocks

REFERENCE = Vinet(v0=2.4445, k0=258.0, k0_prime=4.1)  # J/bar, GPa
MODELS = {
    "einstein": lambda: MieGruneisenEinstein(reference=REFERENCE, tr=300.0, theta0=940.0,
                                             gamma0=1.5, q=1.1, n=5),
    "debye": lambda: MieGruneisenDebye(reference=REFERENCE, tr=300.0, theta0=940.0,
                                       gamma0=1.5, q=1.1, n=5),
    "linear": lambda: LinearThermalPressure(reference=REFERENCE, tr=300.0, alpha_kt=0.006),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=int, default=4000, help="grid side N (default 4000)")
    parser.add_argument("--model", choices=sorted(MODELS), default="einstein")
    parser.add_argument("--chunk", type=int, default=1000, help="chunk side (default 1000)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes (default 2)")
    parser.add_argument("--threads-per-worker", type=int, default=1)
    parser.add_argument("--repeat", type=int, default=3, help="timed rounds (default 3)")
    args = parser.parse_args()

    model = MODELS[args.model]()
    pressure = np.linspace(0.0, 120.0, args.size)[:, None]
    temperature = np.linspace(300.0, 3000.0, args.size)[None, :]
    grid = map_blocks(model, "volume", da.from_array(pressure, chunks=(args.chunk, 1)),
                      da.from_array(temperature, chunks=(1, args.chunk)))

    with distributed.LocalCluster(n_workers=args.workers,
                                  threads_per_worker=args.threads_per_worker,
                                  processes=True, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        client.compute(map_blocks(model, "volume", 30.0, 2000.0)).result()  # imports on workers

        def engine():
            return model.volume(pressure, temperature)

        def to_client():
            return client.compute(grid).result()

        def on_workers():
            kept = client.persist(grid)
            distributed.wait(kept)
            del kept

        contenders = {"engine": engine, "dask to client": to_client,
                      "dask on workers": on_workers}
        best = dict.fromkeys(contenders, math.inf)
        for _ in range(args.repeat):
            for name, call in contenders.items():
                started = time.perf_counter()
                call()
                best[name] = min(best[name], time.perf_counter() - started)
        identical = np.array_equal(to_client(), engine())

    print(f"{type(model).__name__} volume on a {args.size} x {args.size} P-T grid, "
          f"{os.cpu_count()} cores; Dask: {args.workers} worker processes x "
          f"{args.threads_per_worker} thread(s), chunks {args.chunk} x {args.chunk}; "
          f"best of {args.repeat}")
    for name, seconds in best.items():
        ratio = seconds / best["engine"]
        print(f"  {name:16s} {seconds:9.3f} s   {ratio:5.2f} x engine")
    print(f"  Dask grid bit-identical to the engine's: {identical}")


if __name__ == "__main__":
    main()
