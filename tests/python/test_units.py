import itertools

import numpy as np
import pytest

from barometra import units


@pytest.mark.parametrize(
    ("kind", "text", "label"),
    [
        ("pressure", "KBAR", "kbar"), ("pressure", "gpa", "GPa"), ("pressure", "MPa", "MPa"),
        ("volume", "A^3/cell", "Å³/cell"), ("volume", "A^3", "Å³/cell"),
        ("volume", "Å3", "Å³/cell"), ("volume", "\u212b\u00b3 per cell", "Å³/cell"),
        ("volume", "A^3/f.u.", "Å³/f.u."), ("volume", "cm^3/mol", "cm³/mol"),
        ("volume", "cm3 mol-1", "cm³/mol"), ("volume", "kJ/kbar", "J/bar"),
        ("volume", "m^3/mol", "m³/mol"), ("temperature", "C", "°C"), ("temperature", "℉", "°F"),
    ],
)
def test_spellings_name_their_unit(kind, text, label):
    assert getattr(units, f"{kind}_unit")(text) == label


def test_unknown_spelling_lists_the_known_ones():
    with pytest.raises(ValueError, match=r"unknown volume unit 'nm3'; known volume units: "
                                         r"Å³/cell \(A\^3/cell, A\^3, Å3\); Å³/f.u."):
        units.volume_unit("nm3")


def test_factors_against_the_published_ones():
    # 1 Å³ per cell of stishovite (Z = 2) is 0.0301107038 J/bar; 1 J/bar = 10 cm³/mol.
    assert units.volume_factor("A^3", "J/bar", 2) == pytest.approx(0.0301107038, rel=1e-10)
    assert units.volume_factor("J/bar", "cm3/mol") == 10.0
    assert units.volume_factor("m3/mol", "cm3/mol") == 1e6
    assert units.volume_factor("A^3/f.u.", "A^3/cell", 4) == 4.0
    assert units.volume_factor("A^3", "Å³/cell") == 1.0  # no Z needed
    assert (units.pressure_factor("kbar", "GPa"), units.pressure_factor("bar", "MPa")) == (0.1, 0.1)


@pytest.mark.parametrize(("source", "target"), list(itertools.permutations(units.VOLUME_UNITS, 2)))
def test_volume_conversions_invert(source, target):
    values = np.array([46.56, 0.02])
    there = units.convert_volume(values, source, target, formula_units=3)
    np.testing.assert_allclose(units.convert_volume(there, target, source, 3), values, rtol=1e-15)
    if units.is_per_cell(source) != units.is_per_cell(target):
        with pytest.raises(ValueError, match=f"from {source} to {target} needs Z"):
            units.convert_volume(values, source, target)


def test_temperatures_and_their_sigmas():
    assert units.convert_temperature([0.0, 100.0], "C", "K").tolist() == [273.15, 373.15]
    assert units.convert_temperature(-40.0, "F", "C") == pytest.approx(-40.0, abs=1e-13)
    assert units.convert_temperature(212.0, "°F", "K") == pytest.approx(373.15, rel=1e-15)
    assert units.convert_temperature(9.0, "F", "K", difference=True) == pytest.approx(5.0)


@pytest.mark.parametrize("z", [0, -2, 2.0, True, "4"])
def test_formula_units_must_be_positive_integers(z):
    with pytest.raises(ValueError, match="formula_units must be a positive integer"):
        units.volume_factor("A^3", "J/bar", z)


def test_quantities_with_units_are_refused():
    class Quantity:  # what pint's Quantity looks like to NumPy: it would drop the unit
        magnitude, units = 1.0, "kilobar"

        def __array__(self, dtype=None, copy=None):
            return np.array(self.magnitude)

    with pytest.raises(TypeError, match="quantities with units are not accepted"):
        units.convert_pressure(Quantity(), "GPa", "kbar")
