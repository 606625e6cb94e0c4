"""No call leaks or steals a reference, on success or on failure."""

from __future__ import annotations

import sys

import numpy as np
import pytest
from support import RtEos

from barometra import errors


def calls(model):
    good = np.linspace(8.0, 10.5, 70_000)
    bad = good.copy()
    bad[5] = -1.0
    pressures = model.pressure_array(good[:1000])
    bad_pressures = pressures.copy()
    bad_pressures[7] = np.nan
    return {
        "pressure small": (model.pressure_array, good[:100]),
        "pressure parallel": (model.pressure_array, good),
        "pressure failing": (model.pressure_array, bad[:100]),
        "pressure parallel failing": (model.pressure_array, bad),
        "volume parallel": (model.volume_array, pressures),
        "volume parallel failing": (model.volume_array, bad_pressures),
        "wrong dtype": (model.pressure_array, good.astype(np.float32)),
    }


@pytest.mark.parametrize("case", list(calls(RtEos.bm3(10.0, 160.0, 4.0))))
def test_arguments_and_model_keep_their_reference_counts(bm3, case):
    method, argument = calls(bm3)[case]
    # Warm up: the first call may create the pool and import barometra.errors.
    for _ in range(2):
        try:
            method(argument)
        except (errors.BarometraError, TypeError):
            pass
    counts = (sys.getrefcount(argument), sys.getrefcount(bm3))
    for _ in range(20):
        try:
            method(argument)
        except (errors.BarometraError, TypeError):
            pass
    assert (sys.getrefcount(argument), sys.getrefcount(bm3)) == counts


def test_instances_release_their_class():
    RtEos.bm3(10.0, 160.0, 4.0)
    before = sys.getrefcount(RtEos)
    models = [RtEos.vinet(10.0, 160.0, 4.0) for _ in range(1000)]
    del models
    assert sys.getrefcount(RtEos) == before


def test_exception_classes_are_not_leaked(bm3):
    cls = errors.EosValidationError
    for _ in range(2):
        with pytest.raises(cls):
            bm3.pressure_scalar(-1.0)
    before = sys.getrefcount(cls)
    for _ in range(100):
        with pytest.raises(cls):
            bm3.pressure_scalar(-1.0)
    assert sys.getrefcount(cls) == before
