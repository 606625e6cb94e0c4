"""A few seconds of the seeded fuzz driver (scripts/fuzz.py, which a developer
runs for minutes)."""

import importlib.util
import pathlib
import warnings

import numpy as np

_spec = importlib.util.spec_from_file_location(
    "fuzz", pathlib.Path(__file__).parents[2] / "scripts" / "fuzz.py")
fuzz = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(fuzz)


def test_fuzz_smoke_run_finds_nothing():
    with warnings.catch_warnings(), np.errstate(all="ignore"):
        warnings.simplefilter("ignore")
        assert fuzz.fuzz(seconds=3.0, seed=20240601) >= 1
