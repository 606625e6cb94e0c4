"""Units of pressure, volume and temperature: their names, spellings and conversions.

One table for the whole package. A unit is named by its canonical label
(the strings in :data:`PRESSURE_UNITS`, :data:`VOLUME_UNITS` and
:data:`TEMPERATURE_UNITS`); every function also accepts the spellings the
field writes in its files and papers (``A^3/cell``, ``A^3``, ``Å3``,
``cm^3/mol``, ``cm3/mol``, ``kJ/kbar``, ``C`` ...), in any letter case, since
no two units of one kind differ only by case.

=============================  =============================================
:func:`pressure_unit`          canonical label of a pressure unit spelling
:func:`volume_unit`            likewise for volumes
:func:`temperature_unit`       likewise for temperatures
:func:`is_per_cell`            whether a volume unit is per unit cell (needs Z
                               to become molar)
:func:`check_formula_units`    Z validated: a positive integer or None
:func:`ascii_label`            a plain-ASCII spelling, for files and LaTeX
:func:`pressure_factor`        the factor from one pressure unit to another
:func:`volume_factor`          likewise for volumes, with Z where needed
:func:`temperature_affine`     scale and offset from one temperature unit to
                               another (scale only for differences)
:func:`convert_pressure`       values (and sigmas) in another pressure unit
:func:`convert_volume`         values (and sigmas) in another volume unit
:func:`convert_temperature`    values, or sigmas with ``difference=True``
=============================  =============================================

Pressures: GPa, MPa, kbar, bar. Volumes: Å³ per unit cell (Z formula units
per cell), Å³ per formula unit, cm³/mol, J/bar and m³/mol (molar volumes are
per mole of formula units; 1 J/bar = 10 cm³/mol, the unit the thermal
models compute in with pressures in GPa). Temperatures: K, °C, °F.

Conversion factors are exact ratios (Avogadro's number is exact in the SI)
rounded once to the nearest double, so a value converted by one factor
carries one rounding. A conversion between a per-cell unit and a molar or
per-formula-unit one needs ``formula_units`` (Z); without it the error
names both units. Unknown spellings raise :class:`ValueError` listing the
known ones.

Quantities of the ``pint`` package are refused with a :class:`TypeError`
rather than stripped of their unit: pass ``quantity.m_as("GPa")`` and name
the unit.

For the rest of the package: models and datasets keep canonical labels, so
two units compare equal exactly when their labels do; a fit converts data
with :meth:`barometra.data.Dataset.to_units`; formatting code prints the
labels as they are (Unicode) or :func:`ascii_label` where only ASCII fits.

Examples
--------
>>> from barometra import units
>>> units.volume_unit("A^3/cell"), units.pressure_unit("KBAR")
('Å³/cell', 'kbar')
>>> units.convert_pressure([1.0, 25.0], "kbar", "GPa")
array([0.1, 2.5])
>>> round(units.convert_volume(46.56, "Å³/cell", "J/bar", formula_units=2), 5)
1.40195
>>> units.convert_temperature(25.0, "C", "K")
298.15
"""

from __future__ import annotations

import operator
import re
import unicodedata
from fractions import Fraction
from typing import Any

import numpy.typing as npt

from ._arrays import FloatArray, as_float64_array

__all__ = [
    "PRESSURE_UNITS",
    "VOLUME_UNITS",
    "TEMPERATURE_UNITS",
    "AVOGADRO",
    "pressure_unit",
    "volume_unit",
    "temperature_unit",
    "is_per_cell",
    "check_formula_units",
    "ascii_label",
    "pressure_factor",
    "volume_factor",
    "temperature_affine",
    "convert_pressure",
    "convert_volume",
    "convert_temperature",
]

#: Avogadro's number (exact in the SI), per mole.
AVOGADRO = 6.02214076e23

# Canonical label -> spellings (after the label itself, the field's common ones
# first: they are the ones an error message lists).
_PRESSURE_SPELLINGS = {
    "GPa": ("gigapascal",),
    "MPa": ("megapascal",),
    "kbar": ("kb", "kilobar"),
    "bar": ("bars",),
}
_VOLUME_SPELLINGS = {
    "Å³/cell": ("A^3/cell", "A^3", "Å3", "A3", "Å³", "A3/cell", "Å^3", "Å^3/cell",
                "ang^3", "angstrom^3", "angstrom^3/cell", "A^3/unit cell", "Å³ per cell"),
    "Å³/f.u.": ("A^3/f.u.", "A^3/fu", "A3/fu", "Å3/f.u.", "Å³/fu", "A^3/formula unit",
                "Å³ per formula unit"),
    "cm³/mol": ("cm^3/mol", "cm3/mol", "cc/mol", "cm3 mol-1", "cm^3 mol^-1"),
    "J/bar": ("kJ/kbar", "J bar-1"),
    "m³/mol": ("m^3/mol", "m3/mol", "m3 mol-1", "m^3 mol^-1"),
}
_TEMPERATURE_SPELLINGS = {
    "K": ("kelvin",),
    "°C": ("C", "degC", "deg C", "celsius"),
    "°F": ("F", "degF", "deg F", "fahrenheit"),
}

#: Canonical labels of the pressure units.
PRESSURE_UNITS = tuple(_PRESSURE_SPELLINGS)
#: Canonical labels of the volume units.
VOLUME_UNITS = tuple(_VOLUME_SPELLINGS)
#: Canonical labels of the temperature units.
TEMPERATURE_UNITS = tuple(_TEMPERATURE_SPELLINGS)

# Each unit in GPa.
_PRESSURE = {"GPa": Fraction(1), "MPa": Fraction(1, 1000), "kbar": Fraction(1, 10),
             "bar": Fraction(1, 10000)}
# Each unit in cm³ per mole of formula units; a per-cell unit is divided by Z.
_CM3_PER_MOL_PER_A3 = Fraction(602214076, 10**9)  # 1e-24 cm³/Å³ times N_A
_VOLUME = {"Å³/cell": _CM3_PER_MOL_PER_A3, "Å³/f.u.": _CM3_PER_MOL_PER_A3,
           "cm³/mol": Fraction(1), "J/bar": Fraction(10), "m³/mol": Fraction(10**6)}
_PER_CELL = frozenset({"Å³/cell"})
# Each unit as (scale, offset) with T[K] = scale * t + offset.
_TEMPERATURE = {"K": (Fraction(1), Fraction(0)),
                "°C": (Fraction(1), Fraction(27315, 100)),
                "°F": (Fraction(5, 9), Fraction(45967, 100) * Fraction(5, 9))}
_ASCII = {"Å³/cell": "A^3/cell", "Å³/f.u.": "A^3/f.u.", "cm³/mol": "cm^3/mol",
          "m³/mol": "m^3/mol", "°C": "C", "°F": "F"}


def _key(text: str) -> str:
    """A spelling reduced to what tells units apart: no case, spaces or carets,
    superscripts as digits, Å as A, "per" as a slash."""
    text = unicodedata.normalize("NFKC", text).casefold()  # ³ -> 3, ℃ -> °c
    text = re.sub(r"\s+per\s+", "/", text.strip())
    text = text.replace("\u2212", "-").replace("·", " ").replace("**", "").replace("^", "")
    text = text.replace("å", "a").replace("mol-1", "/mol").replace("bar-1", "/bar")
    return re.sub(r"\s+", "", text).replace("//", "/")


def _lookup_table(spellings: dict[str, tuple[str, ...]]) -> dict[str, str]:
    table: dict[str, str] = {}
    for label, others in spellings.items():
        for spelling in (label, *others):
            clash = table.setdefault(_key(spelling), label)
            assert clash == label, f"{spelling!r} spells both {clash} and {label}"
    return table


_LOOKUP = {
    "pressure": (_lookup_table(_PRESSURE_SPELLINGS), _PRESSURE_SPELLINGS),
    "volume": (_lookup_table(_VOLUME_SPELLINGS), _VOLUME_SPELLINGS),
    "temperature": (_lookup_table(_TEMPERATURE_SPELLINGS), _TEMPERATURE_SPELLINGS),
}


def _canonical(kind: str, text: str) -> str:
    if not isinstance(text, str):
        raise TypeError(f"a {kind} unit must be a string, not {type(text).__name__}")
    table, spellings = _LOOKUP[kind]
    label = table.get(_key(text))
    if label is None:
        known = "; ".join(f"{unit} ({', '.join(others[:3])})"
                          for unit, others in spellings.items())
        raise ValueError(f"unknown {kind} unit {text!r}; known {kind} units: {known}")
    return label


def pressure_unit(text: str) -> str:
    """The canonical label of a pressure unit ("GPa", "MPa", "kbar" or "bar").

    Raises
    ------
    ValueError
        For an unknown spelling; the message lists the known ones.

    Examples
    --------
    >>> pressure_unit("gpa")
    'GPa'
    """
    return _canonical("pressure", text)


def volume_unit(text: str) -> str:
    """The canonical label of a volume unit ("Å³/cell", "Å³/f.u.", "cm³/mol",
    "J/bar" or "m³/mol"). A bare Å³ (``A^3``, ``Å3``) is per unit cell, as in
    the field's files.

    Raises
    ------
    ValueError
        For an unknown spelling; the message lists the known ones.

    Examples
    --------
    >>> volume_unit("A^3"), volume_unit("cm3/mol"), volume_unit("kJ/kbar")
    ('Å³/cell', 'cm³/mol', 'J/bar')
    """
    return _canonical("volume", text)


def temperature_unit(text: str) -> str:
    """The canonical label of a temperature unit ("K", "°C" or "°F").

    Examples
    --------
    >>> temperature_unit("C"), temperature_unit("kelvin")
    ('°C', 'K')
    """
    return _canonical("temperature", text)


def is_per_cell(unit: str) -> bool:
    """Whether a volume unit is per unit cell, so that Z is needed to make it molar.

    Examples
    --------
    >>> is_per_cell("A^3"), is_per_cell("J/bar")
    (True, False)
    """
    return volume_unit(unit) in _PER_CELL


def ascii_label(unit: str) -> str:
    """A plain-ASCII spelling of any unit, which every function here reads back.

    Examples
    --------
    >>> ascii_label("Å³/cell"), ascii_label("cm³/mol"), ascii_label("GPa")
    ('A^3/cell', 'cm^3/mol', 'GPa')
    """
    for kind in _LOOKUP:
        try:
            label = _canonical(kind, unit)
        except ValueError:
            continue
        return _ASCII.get(label, label)
    raise ValueError(f"unknown unit {unit!r}: not a pressure, volume or temperature unit")


def pressure_factor(from_unit: str, to_unit: str) -> float:
    """The number that turns pressures in ``from_unit`` into ``to_unit``.

    Examples
    --------
    >>> pressure_factor("kbar", "GPa"), pressure_factor("GPa", "bar")
    (0.1, 10000.0)
    """
    return float(_PRESSURE[pressure_unit(from_unit)] / _PRESSURE[pressure_unit(to_unit)])


def check_formula_units(value: object, name: str = "formula_units") -> int | None:
    """Z as an int, None for None; anything but a positive integer (a bool, 4.0)
    is a :class:`ValueError` naming ``name``."""
    if value is None:
        return None
    z = 0
    if not isinstance(value, bool):
        try:
            z = operator.index(value)  # type: ignore[arg-type]
        except TypeError:
            pass
    if z <= 0:
        raise ValueError(f"{name} must be a positive integer, not {value!r}")
    return int(z)


def volume_factor(from_unit: str, to_unit: str, formula_units: int | None = None) -> float:
    """The number that turns volumes in ``from_unit`` into ``to_unit``.

    Parameters
    ----------
    from_unit, to_unit : str
        Volume units, any known spelling.
    formula_units : int, optional
        Z, the formula units per unit cell: needed exactly when one unit is
        per cell and the other is not; ignored otherwise.

    Raises
    ------
    ValueError
        For an unknown unit, for a Z that is not a positive integer, and for
        a pair that needs Z without one (the message names both units).

    Examples
    --------
    >>> volume_factor("J/bar", "cm³/mol")
    10.0
    >>> volume_factor("A^3/cell", "A^3/f.u.", formula_units=4)
    0.25
    """
    source, target = volume_unit(from_unit), volume_unit(to_unit)
    z = check_formula_units(formula_units)
    if (source in _PER_CELL) != (target in _PER_CELL) and z is None:
        raise ValueError(f"converting volumes from {source} to {target} needs Z, "
                         "the number of formula units per unit cell")

    def per_formula_unit(unit: str) -> Fraction:
        return _VOLUME[unit] / z if unit in _PER_CELL and z is not None else _VOLUME[unit]

    if source in _PER_CELL and target in _PER_CELL:
        return 1.0
    return float(per_formula_unit(source) / per_formula_unit(target))


def temperature_affine(from_unit: str, to_unit: str, *,
                       difference: bool = False) -> tuple[float, float]:
    """``(scale, offset)`` with ``t_to = t_from * scale + offset``.

    With ``difference=True`` the offset is 0: the conversion of a
    temperature difference or a standard uncertainty.

    Examples
    --------
    >>> temperature_affine("°C", "K")
    (1.0, 273.15)
    >>> temperature_affine("F", "C", difference=True)
    (0.5555555555555556, 0.0)
    """
    scale_from, offset_from = _TEMPERATURE[temperature_unit(from_unit)]
    scale_to, offset_to = _TEMPERATURE[temperature_unit(to_unit)]
    offset = Fraction(0) if difference else (offset_from - offset_to) / scale_to
    return float(scale_from / scale_to), float(offset)


def require_plain(values: object, what: str) -> None:
    """Refuse a quantity that carries its own unit (a ``pint`` Quantity), which
    NumPy would quietly strip to its magnitude."""
    if hasattr(values, "magnitude") and hasattr(values, "units"):
        raise TypeError(f"{what}: quantities with units are not accepted; pass the "
                        "magnitude in a named unit (for pint, quantity.m_as('GPa'))")


def _scaled(values: Any, factor: float, offset: float = 0.0) -> Any:
    require_plain(values, "values")
    array = as_float64_array(values, "values")
    converted: FloatArray = array * factor
    if offset:
        converted += offset
    return float(converted) if converted.ndim == 0 else converted


def convert_pressure(values: npt.ArrayLike, from_unit: str, to_unit: str) -> Any:
    """Pressures (or their sigmas) in ``to_unit``: a float for a scalar, else an array.

    Examples
    --------
    >>> convert_pressure(2.5, "GPa", "kbar")
    25.0
    """
    return _scaled(values, pressure_factor(from_unit, to_unit))


def convert_volume(values: npt.ArrayLike, from_unit: str, to_unit: str,
                   formula_units: int | None = None) -> Any:
    """Volumes (or their sigmas) in ``to_unit``; Z as :func:`volume_factor` needs it.

    Examples
    --------
    >>> round(convert_volume(74.698, "A^3", "J/bar", formula_units=4), 6)  # MgO
    1.124605
    """
    return _scaled(values, volume_factor(from_unit, to_unit, formula_units))


def convert_temperature(values: npt.ArrayLike, from_unit: str, to_unit: str, *,
                        difference: bool = False) -> Any:
    """Temperatures in ``to_unit``; sigmas and differences with ``difference=True``.

    Examples
    --------
    >>> convert_temperature([32.0, 212.0], "F", "C")
    array([  0., 100.])
    """
    return _scaled(values, *temperature_affine(from_unit, to_unit, difference=difference))
