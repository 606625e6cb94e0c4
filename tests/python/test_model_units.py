"""Models in the user's units, and fits that convert the data to them."""

import numpy as np
import pytest

from barometra import BM3, MieGruneisenDebye, eos, units
from barometra.data import load_example
from barometra.fit import fit

PVT = load_example("stishovite_pvt_nishihara2005")  # Å³ per cell, Z = 2, GPa
C = units.volume_factor("A^3/cell", "J/bar", formula_units=4)


def mgo(v0, **units_):
    return MieGruneisenDebye(reference=BM3(v0=v0, k0=160.2, k0_prime=3.99), tr=300, theta0=773,
                             gamma0=1.5, q=1.5, n=2, **units_)


def test_a_thermal_model_in_cell_volumes_is_the_molar_one():
    cell, molar = mgo(74.698, volume_unit="Å3/cell", formula_units=4), mgo(74.698 * C)
    volumes, temperatures = np.meshgrid([60.0, 70.0, 75.0], [300.0, 1500.0, 3000.0])
    for quantity in ("pressure", "bulk_modulus", "thermal_expansivity", "heat_capacity_v"):
        np.testing.assert_allclose(getattr(cell, quantity)(volumes, temperatures),
                                   getattr(molar, quantity)(volumes * C, temperatures),
                                   rtol=1e-12)
    np.testing.assert_allclose(cell.volume([5.0, 50.0], 2000.0) * C,
                               molar.volume([5.0, 50.0], 2000.0), rtol=1e-12)
    assert cell.volume_with_dac_confinement(10.0, 2000.0, f_dac=0.5) * C == pytest.approx(
        molar.volume_with_dac_confinement(10.0, 2000.0, f_dac=0.5), rel=1e-12)
    assert eval(repr(cell), vars(eos)) == cell != cell.replace(formula_units=2)
    assert cell.quantity_unit("volume") == "Å³/cell"


@pytest.mark.parametrize(("call", "message"), [
    (lambda: mgo(74.698, volume_unit="A^3/cell"), "volume_unit='Å³/cell' needs formula_units"),
    (lambda: mgo(1.0, volume_unit="cm3/mol").replace(
        reference=BM3(v0=1.0, k0=1.0, k0_prime=4.0, volume_unit="J/bar")),
     "has volume_unit='cm³/mol' but its reference 'J/bar'"),
    (lambda: mgo(1.0).replace(reference=BM3(v0=1.0, k0=1.0, k0_prime=4.0,
                                            pressure_unit="kbar")), "computes in GPa"),
    (lambda: BM3(v0=1.0, k0=1.0, k0_prime=4.0, volume_unit="nm3"), "unknown volume unit"),
])
def test_units_that_cannot_hold_are_refused(call, message):
    with pytest.raises(ValueError, match=message):
        call()


def test_a_thermal_fit_in_any_units_is_the_molar_fit():
    start = MieGruneisenDebye(reference=BM3(v0=46.56, k0=296.0, k0_prime=4.2), tr=300.0,
                              theta0=1100.0, gamma0=1.3, q=5.0, n=3, volume_unit="A^3",
                              formula_units=2)
    factor = units.volume_factor("A^3/cell", "J/bar", formula_units=2)
    molar = start.replace(reference=start.reference.replace(v0=46.56 * factor),
                          volume_unit="J/bar")
    # The data in kbar and cm³/mol; each fit converts them to its model's units.
    data = PVT.to_units(pressure="kbar", volume="cm3/mol")
    cell, reference = (fit(model, data, pressure_sigma=10.0) for model in (start, molar))
    assert cell.data.volume_unit == "Å³/cell" and reference.data.pressure_unit == "GPa"
    for name in cell.names:  # the same minimum, in other units
        scale = factor if name == "v0" else 1.0
        assert abs(cell.values[name] * scale - reference.values[name]) < \
            1e-3 * reference.standard_errors[name]
        assert cell.standard_errors[name] * scale == pytest.approx(
            reference.standard_errors[name], rel=1e-4)
    assert "v0         46.5" in cell.summary() and "Å³/cell" in cell.summary()
    hot, molar_hot = cell.predict("volume", 20.0, 1500.0), reference.predict("volume", 20.0,
                                                                               1500.0)
    assert hot.unit == "Å³/cell" and molar_hot.unit == "J/bar"
    assert abs(hot.value * factor - molar_hot.value) < 1e-3 * molar_hot.standard_error
    assert hot.standard_error * factor == pytest.approx(molar_hot.standard_error, rel=1e-4)


def test_isothermal_labels_convert_the_data_or_refuse():
    room = PVT.select(PVT.temperature == 300.0)
    plain = fit(BM3(v0=46.5, k0=300.0, k0_prime=4.0), room, pressure_sigma=1.0)
    # Sigmas given to the fit are in the model's units, as the summary prints them.
    labelled = fit(BM3(v0=23.25, k0=300.0, k0_prime=4.0, pressure_unit="GPa",
                       volume_unit="A^3/f.u.", formula_units=2),
                   room.to_units(pressure="kbar"), pressure_sigma=1.0)
    assert "pressure_sigma 1 GPa (given)" in labelled.summary()
    for name, scale in (("v0", 2.0), ("k0", 1.0), ("k0_prime", 1.0)):
        assert abs(labelled.values[name] * scale - plain.values[name]) < \
            1e-3 * plain.standard_errors[name]
    with pytest.raises(ValueError, match=r"the data \(GPa, Å³/cell\) do not convert to the "
                       r"units of BirchMurnaghan3 \(cm³/mol\).*needs Z"):
        fit(BM3(v0=1.0, k0=300.0, k0_prime=4.0, volume_unit="cm3/mol"),
            room.replace(formula_units_per_cell=None), pressure_sigma=1.0)
