"""Static P-V-T rows and shock rows in one fit: a synthetic joint fit drawn from
one model recovers its parameters within their standard errors."""

import warnings

import numpy as np

from barometra import BM3, MieGruneisenDebye
from barometra.data import Dataset
from barometra.fit import fit

TRUTH = MieGruneisenDebye(reference=BM3(v0=1.1248, k0=160.0, k0_prime=4.0), tr=300.0,
                          theta0=760.0, gamma0=1.5, q=1.5, n=2)
VARY = ("k0", "k0_prime", "gamma0", "q")


def synthetic(seed, static=50, shock=20):
    """Static rows at 300-2000 K and Hugoniot rows, with noise in P and V."""
    rng = np.random.default_rng(seed)
    v0 = TRUTH.reference.parameters["v0"]
    v = v0 * rng.uniform(0.8, 1.0, static)
    t = rng.uniform(300.0, 2000.0, static)
    p = TRUTH.pressure(v, t)
    rows = Dataset(p + rng.normal(0, 0.3, static), v + rng.normal(0, 0.002, static),
                   temperature=t, pressure_sigma=np.full(static, 0.3),
                   volume_sigma=np.full(static, 0.002), volume_unit="J/bar", name="static")
    vh = v0 * np.linspace(0.65, 0.9, shock)
    ph = TRUTH.hugoniot_pressure(vh)
    shocked = Dataset(ph + rng.normal(0, 1.0, shock), vh + rng.normal(0, 0.002, shock),
                      pressure_sigma=np.full(shock, 1.0), volume_sigma=np.full(shock, 0.002),
                      volume_unit="J/bar", name="shock", kind="hugoniot")
    return rows, shocked


def test_joint_static_and_shock_fit_recovers_its_parameters():
    static, shock = synthetic(11)
    start = TRUTH.replace(gamma0=1.3, q=1.0)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        alone = fit(start, static, vary=VARY, errors="pressure+volume")
        joint = fit(start, [static, shock], vary=VARY, errors="pressure+volume")
    for name in VARY:
        truth = TRUTH.parameters[name] if name in TRUTH.parameters else \
            TRUTH.reference.parameters[name]
        assert abs(joint.values[name] - truth) < 3 * joint.standard_errors[name], name
    assert joint.standard_errors["q"] < alone.standard_errors["q"]
    np.testing.assert_allclose(joint.predicted_pressure[50:],
                               joint.model.hugoniot_pressure(joint.fitted_volume[50:]),
                               rtol=1e-9)
