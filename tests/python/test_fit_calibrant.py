"""Fits from calibrant volumes through a pressure scale: the scale's share of the
standard errors against refits under perturbed scales, and the inputs refused."""

import warnings

import numpy as np
import pytest

from barometra import MieGruneisenDebye, Vinet, scales
from barometra.data import load_example
from barometra.fit import FitResult, fit
from barometra.fit._parameters import model_parameters, with_values

DATA = load_example("bridgmanite_pvt_tange2012")
MODEL = MieGruneisenDebye(reference=Vinet(v0=162.373, k0=258.0, k0_prime=4.1), tr=300.0,
                          theta0=940.0, gamma0=1.55, q=1.1, n=5, volume_unit="Å3/cell",
                          formula_units=4)
OPTIONS = {"fix": ("v0",), "calibrant_volume": "volume_mgo"}


def test_scale_share_matches_refits_under_perturbed_scales():
    scale = scales.get("MgO-Tange2009")
    joint = fit(MODEL, DATA, pressure_scale=scale, scale_uncertainty=True, **OPTIONS)
    rng = np.random.default_rng(7)
    draws = rng.multivariate_normal([p.value for p in scale.uncertain_parameters],
                                    scale.parameter_covariance, 300)
    parameters = model_parameters(scale.model)
    names = [p.name for p in scale.uncertain_parameters]
    refits = []
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        for draw in draws:
            perturbed = scale.replace(model=with_values(scale.model, parameters,
                                                        dict(zip(names, draw))))
            refits.append(list(fit(MODEL, DATA, pressure_scale=perturbed, **OPTIONS)
                               .values.values()))
    spread = np.std(refits, axis=0, ddof=1)
    share = np.sqrt([joint.standard_errors[n] ** 2 - joint.standard_errors_without_scale[n] ** 2
                     for n in joint.names])
    np.testing.assert_allclose(share, spread, rtol=0.15)


def test_without_uncertainty_the_scale_pressures_replace_the_column():
    plain = fit(MODEL, DATA, pressure_scale="MgO-Tange2009", **OPTIONS)
    # The dataset's pressures come from the same scale, within their sigmas.
    assert np.all(np.abs(plain.data.pressure - DATA.pressure) < 3 * DATA.pressure_sigma + 0.05)
    assert plain.standard_errors_without_scale is None
    again = FitResult.from_dict(plain.to_dict())
    assert again == plain and again.settings.pressure_scale == "MgO-Tange2009"


@pytest.mark.parametrize(("data", "options", "message"), [
    (DATA, {"calibrant_volume": "volume_au"}, "no column 'volume_au'"),
    (DATA.replace(extra={"volume_mgo": DATA.extra["volume_mgo"]}),
     {"calibrant_volume": "volume_mgo", "errors": "pressure+volume"}, "volume_mgo_sigma"),
    (DATA.replace(pressure_sigma=None, extra={"volume_mgo": DATA.extra["volume_mgo"]}),
     {"calibrant_volume": "volume_mgo"}, "volume_mgo_sigma"),
    (DATA, {}, "needs calibrant_volume"),
])
def test_a_missing_calibrant_column_is_named(data, options, message):
    with pytest.raises(ValueError, match=message):
        fit(MODEL, data, fix=("v0",), pressure_scale="MgO-Tange2009", **options)
