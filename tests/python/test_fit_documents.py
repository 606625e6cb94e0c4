"""Fit results travel: pickles, copies, JSON documents and files give equal results."""

import copy
import json
import pickle
import re

import numpy as np
import pytest

from barometra import BM3, MieGruneisenDebye
from barometra.data import load_example
from barometra.fit import FitResult, fit, load

PVT = load_example("stishovite_pvt_nishihara2005")


@pytest.fixture(scope="module")
def result():
    """A thermal fit in Å³ per cell with latent volumes, scaled errors, and an
    undetermined parameter (gamma0: every row at the reference temperature)."""
    model = MieGruneisenDebye(reference=BM3(v0=46.56, k0=296.0, k0_prime=4.2), tr=300.0,
                              theta0=1160.0, gamma0=1.33, q=6.1, n=3, volume_unit="A^3/cell",
                              formula_units=2)
    with pytest.warns(UserWarning):
        return fit(model, PVT.select(PVT.temperature == 300.0), vary=("v0", "k0", "gamma0"),
                   errors="pressure+volume", pressure_sigma=0.1, scale_errors=True)


def test_pickles_and_copies_are_equal(result):
    for twin in (pickle.loads(pickle.dumps(result)), copy.copy(result), copy.deepcopy(result)):
        assert twin == result and twin is not result
        assert twin.summary() == result.summary()
    prediction = result.predict("volume", [20.0, 10.0], 300.0, monte_carlo=50, seed=2)
    assert pickle.loads(pickle.dumps(prediction)) == prediction == copy.deepcopy(prediction)
    single = result.predict("volume", 20.0, 300.0, monte_carlo=50, seed=2)
    assert re.fullmatch(r"volume = 43\.86\d\(\d\) Å³/cell, 68\.3% interval 43\.8\d\d to "
                        r"43\.8\d\d \(50 Monte Carlo draws, 0 rejected\)", str(single))
    assert prediction != result.predict("volume", [20.0, 10.0], 300.0)


def test_documents_and_files_rebuild_the_result(result, tmp_path):
    document = json.loads(json.dumps(result.to_dict(), allow_nan=False))
    assert document["parameters"]["gamma0"]["standard_error"] is None
    again = FitResult.from_dict(document)
    assert again == result and again.summary() == result.summary()
    assert again.model == result.model and again.data == result.data
    np.testing.assert_array_equal(again.covariance.values, result.covariance.values)
    for method in ({}, {"monte_carlo": 100, "seed": 4}):
        assert again.predict("volume", [20.0, 0.0], [300.0, 900.0], **method) == \
            result.predict("volume", [20.0, 0.0], [300.0, 900.0], **method)
    result.save(tmp_path / "fit.json")
    assert load(tmp_path / "fit.json") == result


@pytest.mark.parametrize(("change", "message"), [
    ({"format_version": 2}, "format version 2 is newer than this barometra reads"),
    ({"format": "something"}, "not a fit result written by barometra"),
])
def test_documents_from_elsewhere_are_refused(result, change, message):
    with pytest.raises(ValueError, match=message):
        FitResult.from_dict({**result.to_dict(), **change})
