"""Calibrant pressures against their thermal model's own ``pressure``.

A calibrant pressure is one thermal-model evaluation plus the conversion of
the volumes from Å³ per cell to J/bar per formula unit: on 1e5 states it
should cost no more than the model's ``pressure`` on the same states in
J/bar. For each scale, per state, best of alternating repeats:

* ``scale``: ``scales.get(key).pressure(volumes_per_cell, temperatures)``;
* ``model``: ``scale.model.pressure(molar_volumes, temperatures)``;
* ``scale in J/bar``: the scale asked for J/bar, so nothing is converted.

Also the uncertainty of 1e4 pressures with both of its parts, per state.
Run it with allocator settings that keep freed memory, so that the
temporaries of the conversion cost what they cost at their best::

    GLIBC_TUNABLES=glibc.malloc.trim_threshold=1073741824:glibc.malloc.mmap_threshold=1073741824 \\
        python bench/scales_bench.py
"""

from __future__ import annotations

import argparse
import os

import numpy as np

from barometra import scales
from bench_support import best_times

KEYS = ("MgO-Tange2009", "Au-Fei2007", "Pt-Holmes1989")


def states(scale, size, rng):
    v0 = scale.volume(0.0, 300.0)
    volumes = v0 * rng.uniform(0.75, 1.0, size)
    temperatures = rng.uniform(300.0, 2500.0, size)
    return volumes, temperatures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=int, default=100_000)
    parser.add_argument("--budget", type=float, default=2.0, help="seconds per row")
    arguments = parser.parse_args()
    rng = np.random.default_rng(1)
    print(f"numpy {np.__version__}; {os.cpu_count()} logical CPUs; GLIBC_TUNABLES="
          f"{os.environ.get('GLIBC_TUNABLES', '(unset)')}")
    print(f"{'scale':<16} {'scale ns':>9} {'model ns':>9} {'J/bar ns':>9} {'ratio':>6}"
          f" {'uncertainty ns':>15}")
    for key in KEYS:
        scale = scales.get(key)
        molar_scale = scales.get(key, volume_unit="J/bar")
        volumes, temperatures = states(scale, arguments.size, rng)
        molar = scale.model_volume(volumes)
        best = best_times({
            "scale": lambda: scale.pressure(volumes, temperatures),
            "model": lambda: scale.model.pressure(molar, temperatures),
            "molar": lambda: molar_scale.pressure(molar, temperatures),
        }, arguments.budget)
        few = slice(0, arguments.size // 10)
        uncertainty = best_times({"u": lambda: scale.pressure_uncertainty(
            volumes[few], temperatures[few], 0.02, 30.0)}, arguments.budget)["u"]
        per = {name: 1e9 * seconds / arguments.size for name, seconds in best.items()}
        print(f"{key:<16} {per['scale']:9.1f} {per['model']:9.1f} {per['molar']:9.1f}"
              f" {per['scale'] / per['model']:6.3f} {1e9 * uncertainty / (arguments.size // 10):15.1f}")


if __name__ == "__main__":
    main()
