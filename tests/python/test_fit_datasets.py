"""Several datasets in one fit: the same table split in two, offsets recovered,
units converted, and the requests refused."""

import numpy as np
import pytest

from barometra import BM3
from barometra.data import Dataset
from barometra.fit import FitResult, fit

TRUTH = BM3(v0=46.56, k0=296.0, k0_prime=4.2)
START = BM3(v0=46.0, k0=280.0, k0_prime=4.5)


def synthetic(seed, rows=20, shift=0.0, name=""):
    rng = np.random.default_rng(seed)
    volume = np.linspace(46.5, 40.0, rows)
    pressure = TRUTH.pressure(volume) + shift + rng.normal(0.0, 0.3, rows)
    return Dataset(pressure, volume, pressure_sigma=np.full(rows, 0.3), name=name)


def test_two_datasets_without_offsets_are_one_table():
    a, b = synthetic(1, name="a"), synthetic(2, name="b")
    joined = Dataset(np.concatenate([a.pressure, b.pressure]),
                     np.concatenate([a.volume, b.volume]),
                     pressure_sigma=np.concatenate([a.pressure_sigma, b.pressure_sigma]))
    one, two = fit(START, joined), fit(START, [a, b])
    np.testing.assert_allclose(list(two.values.values()), list(one.values.values()), rtol=1e-9)
    np.testing.assert_allclose(list(two.standard_errors.values()),
                               list(one.standard_errors.values()), rtol=1e-6)
    assert [d.rows for d in two.datasets] == [20, 20]
    assert sum(d.chi_square for d in two.datasets) == pytest.approx(two.chi_square)


def test_offsets_are_recovered_across_units():
    shifted = synthetic(4, shift=1.5, name="run 2")
    datasets = [synthetic(3, name="run 1"), shifted.to_units(pressure="kbar")]
    result = fit(START, datasets, pressure_offsets=True)
    offset = "pressure_offset:run 2"
    assert result.names[-1] == offset and result.unit(offset) == "GPa"
    assert abs(result.values[offset] - 1.5) < 3 * result.standard_errors[offset]
    for name in ("v0", "k0", "k0_prime"):
        assert abs(result.values[name] - TRUTH.parameters[name]) < \
            3 * result.standard_errors[name]
    # The model (and predict) carry no offset; the rows' predictions do.
    np.testing.assert_allclose(result.predicted_pressure[20:] - result.values[offset],
                               result.model.pressure(result.data.volume[20:]))
    assert FitResult.from_dict(result.to_dict()) == result


@pytest.mark.parametrize(("data", "options", "message"), [
    (synthetic(1), {"pressure_offsets": True}, "two or more datasets"),
    ([synthetic(1, name="x"), synthetic(2, name="x")], {}, "'x' is given twice"),
    ([synthetic(1), synthetic(2).replace(volume_unit="cm3/mol")], {}, "does not convert"),
    ([], {}, "non-empty list"),
])
def test_joint_requests_refused(data, options, message):
    with pytest.raises((ValueError, TypeError), match=message):
        fit(START, data, **options)


def test_us_up_rows_satisfy_the_jump_conditions_and_propagate_sigmas():
    us, up, rho0, mass, p0 = np.array([4.0, 6.0]), np.array([0.5, 2.0]), 19.3, 196.97, 0.1
    shock = Dataset.from_us_up(us, up, rho0=rho0, molar_mass=mass, p0=p0,
                               shock_velocity_sigma=0.02, particle_velocity_sigma=0.01)
    v0 = mass / rho0
    # Energy and mass balance give back the velocities: (P - p0)(V0 - V) = M up².
    back_up = np.sqrt((shock.pressure - p0) * (v0 - shock.volume) / mass)
    np.testing.assert_allclose(back_up, up, rtol=1e-12)
    np.testing.assert_allclose(back_up * v0 / (v0 - shock.volume), us, rtol=1e-12)
    rng = np.random.default_rng(5)
    draws = [Dataset.from_us_up(us + rng.normal(0, 0.02, 2), up + rng.normal(0, 0.01, 2),
                                rho0=rho0, molar_mass=mass, p0=p0) for _ in range(4000)]
    for column in ("pressure", "volume"):
        spread = np.std([getattr(d, column) for d in draws], axis=0)
        np.testing.assert_allclose(getattr(shock, f"{column}_sigma"), spread, rtol=0.05)
    with pytest.raises(ValueError, match="Us > up > 0"):
        Dataset.from_us_up([1.0], [1.0], rho0=rho0, molar_mass=mass)


def test_a_hugoniot_dataset_needs_a_thermal_model():
    shock = Dataset.from_us_up([4.0, 5.0], [0.6, 1.2], rho0=19.3, molar_mass=196.97,
                               name="Au shock")
    with pytest.raises(ValueError, match="BirchMurnaghan3 has no thermal energy.*Au shock"):
        fit(START, [synthetic(1), shock])
