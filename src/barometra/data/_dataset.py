"""The Dataset value: measured pressures, volumes and temperatures with their sigmas."""

from __future__ import annotations

import functools
import math
from collections.abc import Mapping
from types import MappingProxyType
from typing import Any

import numpy as np
import numpy.typing as npt

from .._arrays import FloatArray
from ..errors import ValidationError

#: Avogadro's number (exact in the SI), per mole.
AVOGADRO = 6.02214076e23

#: The unit of unit-cell volumes, as :func:`read_csv` assumes by default.
CELL_VOLUME_UNIT = "Å³/cell"
#: The unit of molar volumes that the thermal models need (1 J/bar = 10 cm³/mol).
MOLAR_VOLUME_UNIT = "J/bar"

# Column name -> what its values must be; NaN is "not reported" only in sigmas.
MEASURED = ("pressure", "volume", "temperature")
SIGMAS = ("pressure_sigma", "volume_sigma", "temperature_sigma")
STANDARD_COLUMNS = ("pressure", "pressure_sigma", "volume", "volume_sigma", "temperature",
                    "temperature_sigma")


def value_problem(column: str, value: float) -> str | None:
    """Why ``value`` cannot stand in ``column``, or None when it can.

    The one rule for both the constructor and the CSV reader, so a file and an
    array are refused for the same values with the same words.
    """
    if column in SIGMAS:
        if math.isnan(value):
            return None
        if math.isinf(value):
            return "must be finite (leave it empty when not reported)"
        return "must not be negative" if value < 0 else None
    if math.isnan(value):
        return "is missing"
    if math.isinf(value):
        return "must be finite"
    if column != "pressure" and value <= 0:
        return "must be positive"
    return None


def cell_volume_to_molar(volume: npt.ArrayLike, formula_units_per_cell: int) -> FloatArray:
    """Unit-cell volumes in Å³ as molar volumes in J/bar per formula unit.

    V [J/bar] = V [Å³/cell] × 1e-24 cm³/Å³ × N_A / Z / 10, since 1 J/bar is
    10 cm³/mol. Apply it to volume sigmas and to V0 as well.

    Examples
    --------
    >>> round(float(cell_volume_to_molar(46.56, 2)), 5)  # stishovite, Z = 2
    1.40195
    """
    if isinstance(formula_units_per_cell, bool) or not isinstance(formula_units_per_cell, int) \
            or formula_units_per_cell <= 0:
        raise ValueError(f"formula_units_per_cell must be a positive integer, "
                         f"not {formula_units_per_cell!r}")
    factor = 1e-24 * AVOGADRO / formula_units_per_cell / 10.0
    return np.asarray(volume, dtype=np.float64) * factor


def _column(name: str, values: npt.ArrayLike, rows: int | None) -> FloatArray:
    array = np.array(values, dtype=np.float64)  # always a copy, then frozen
    if array.ndim != 1:
        raise ValidationError(f"{name} must be one-dimensional, not of shape {array.shape}",
                              code="data.invalid_input", field=name)
    if rows is not None and len(array) != rows:
        raise ValidationError(f"{name} has {len(array)} rows, pressure has {rows}",
                              code="data.invalid_input", field=name)
    if name in SIGMAS:
        bad = np.isinf(array) | (array < 0)
    elif name == "pressure":
        bad = ~np.isfinite(array)
    else:
        bad = ~(np.isfinite(array) & (array > 0))
    if bad.any():
        row = int(np.argmax(bad))
        value = float(array[row])
        raise ValidationError(f"{name}[{row}] = {value!r} {value_problem(name, value)}",
                              code="data.invalid_input", field=name)
    array.flags.writeable = False
    return array


def _extra_column(name: str, values: npt.ArrayLike, rows: int) -> npt.NDArray[Any]:
    array = np.array(values)
    if array.dtype.kind in "biuf":
        array = array.astype(np.float64)
    elif array.dtype.kind != "U":
        raise ValidationError(f"extra column {name!r} must hold numbers or strings, "
                              f"not {array.dtype}", code="data.invalid_input", field=name)
    if array.shape != (rows,):
        raise ValidationError(f"extra column {name!r} must have shape ({rows},), "
                              f"not {array.shape}", code="data.invalid_input", field=name)
    array.flags.writeable = False
    return array


class Dataset:
    """Measured pressures and volumes, with temperatures and sigmas when known.

    An immutable value: the columns are read-only float64 arrays, one row per
    measurement. A sigma of NaN means "not reported" (it is not zero); a
    sigma column left out is all NaN. Pressures, volumes and temperatures
    must all be given and finite, volumes and temperatures positive.

    Parameters
    ----------
    pressure, volume : array_like
        One value per row, in ``pressure_unit`` and ``volume_unit``.
    temperature : array_like, optional
        Temperatures in kelvin; None for an isothermal dataset.
    pressure_sigma, volume_sigma, temperature_sigma : array_like, optional
        Standard uncertainties in the unit of their column, NaN where not
        reported. ``temperature_sigma`` needs ``temperature``.
    extra : mapping of str to array_like, optional
        Further columns (numbers or strings), kept as they are.
    pressure_unit, volume_unit : str
        Labels of the units; nothing is converted or guessed from them.
    name, citation, doi : str
        Where the data come from.
    formula_units_per_cell : int, optional
        Z, which converts unit-cell volumes to molar volumes
        (:meth:`to_molar_volume`).
    atoms_per_formula_unit : int, optional
        n, the atoms per formula unit that thermal models need.

    Attributes
    ----------
    pressure, volume, pressure_sigma, volume_sigma : ndarray
        Read-only float64 columns, one value per row.
    temperature, temperature_sigma : ndarray or None
        Likewise, or None for an isothermal dataset.
    extra : mapping of str to ndarray
        Read-only float64 or string columns.
    pressure_unit, volume_unit, name, citation, doi : str
        As given.
    formula_units_per_cell, atoms_per_formula_unit : int or None
        As given.

    Examples
    --------
    >>> from barometra.data import Dataset
    >>> data = Dataset(pressure=[0.0, 4.76], volume=[46.56, 45.82],
    ...                volume_sigma=[0.02, 0.02], formula_units_per_cell=2)
    >>> len(data), data.pressure_sigma
    (2, array([nan, nan]))
    >>> data.to_molar_volume().volume.round(5)
    array([1.40195, 1.37967])
    """

    # The constructor's parameters, each kept as a read-only attribute of that name.
    __slots__ = ("pressure", "volume", "temperature", "pressure_sigma", "volume_sigma",
                 "temperature_sigma", "extra", "pressure_unit", "volume_unit", "name",
                 "citation", "doi", "formula_units_per_cell", "atoms_per_formula_unit")

    pressure: FloatArray
    volume: FloatArray
    temperature: FloatArray | None
    pressure_sigma: FloatArray
    volume_sigma: FloatArray
    temperature_sigma: FloatArray | None
    extra: Mapping[str, npt.NDArray[Any]]
    pressure_unit: str
    volume_unit: str
    name: str
    citation: str
    doi: str
    formula_units_per_cell: int | None
    atoms_per_formula_unit: int | None

    def __init__(
        self,
        pressure: npt.ArrayLike,
        volume: npt.ArrayLike,
        *,
        temperature: npt.ArrayLike | None = None,
        pressure_sigma: npt.ArrayLike | None = None,
        volume_sigma: npt.ArrayLike | None = None,
        temperature_sigma: npt.ArrayLike | None = None,
        extra: Mapping[str, npt.ArrayLike] | None = None,
        pressure_unit: str = "GPa",
        volume_unit: str = CELL_VOLUME_UNIT,
        name: str = "",
        citation: str = "",
        doi: str = "",
        formula_units_per_cell: int | None = None,
        atoms_per_formula_unit: int | None = None,
    ) -> None:
        p = _column("pressure", pressure, None)
        rows = len(p)

        def column(name: str, values: npt.ArrayLike | None) -> FloatArray:
            return _column(name, np.full(rows, np.nan) if values is None else values, rows)

        if temperature is None and temperature_sigma is not None:
            raise ValidationError("temperature_sigma needs temperature", code="data.invalid_input",
                                  field="temperature_sigma")
        extras = {}
        for key, values in (extra or {}).items():
            if key in STANDARD_COLUMNS:
                raise ValidationError(f"extra column {key!r} is a standard column",
                                      code="data.invalid_input", field=key)
            extras[key] = _extra_column(key, values, rows)
        has_temperature = temperature is not None
        fields: dict[str, Any] = {
            "pressure": p,
            "volume": column("volume", volume),
            "temperature": column("temperature", temperature) if has_temperature else None,
            "pressure_sigma": column("pressure_sigma", pressure_sigma),
            "volume_sigma": column("volume_sigma", volume_sigma),
            "temperature_sigma": (column("temperature_sigma", temperature_sigma)
                                  if has_temperature else None),
            "extra": MappingProxyType(extras),
            "pressure_unit": str(pressure_unit),
            "volume_unit": str(volume_unit),
            "name": str(name),
            "citation": str(citation),
            "doi": str(doi),
            "formula_units_per_cell": formula_units_per_cell,
            "atoms_per_formula_unit": atoms_per_formula_unit,
        }
        for key, value in fields.items():
            object.__setattr__(self, key, value)

    @property
    def _fields(self) -> dict[str, Any]:
        return {key: getattr(self, key) for key in self.__slots__}

    def __len__(self) -> int:
        return len(self.pressure)

    def _arguments(self) -> dict[str, Any]:
        """The constructor arguments that rebuild this dataset."""
        arguments = dict(self._fields)
        arguments["extra"] = dict(self.extra)
        return arguments

    def replace(self, **changes: Any) -> Dataset:
        """A new dataset with some fields changed, validated again.

        Accepts the constructor's parameters, like :func:`dataclasses.replace`.
        Removing the temperatures removes their sigmas too.
        """
        unknown = sorted(set(changes) - set(self._fields))
        if unknown:
            raise TypeError(f"replace() got unknown field {', '.join(map(repr, unknown))}; "
                            f"accepted fields: {', '.join(self._fields)}")
        arguments = self._arguments()
        if changes.get("temperature", 0) is None and "temperature_sigma" not in changes:
            arguments["temperature_sigma"] = None
        arguments.update(changes)
        return Dataset(**arguments)

    def select(self, rows: npt.ArrayLike) -> Dataset:
        """The rows picked by a boolean mask or by integer indices, extra columns included.

        Examples
        --------
        >>> from barometra.data import load_example
        >>> pvt = load_example("stishovite_pvt_nishihara2005")
        >>> len(pvt.select(pvt.temperature == 300))
        10
        """
        index = np.asarray(rows)
        if index.dtype.kind not in "biu":
            raise TypeError(f"rows must be a boolean mask or integer indices, not {index.dtype}")
        arguments = self._arguments()
        for key in STANDARD_COLUMNS:
            if arguments[key] is not None:
                arguments[key] = arguments[key][index]
        arguments["extra"] = {key: values[index] for key, values in self.extra.items()}
        return Dataset(**arguments)

    def to_molar_volume(self, formula_units_per_cell: int | None = None) -> Dataset:
        """This dataset with unit-cell volumes (Å³) turned into J/bar per formula unit.

        The thermal models need molar volumes in J/bar with pressures in GPa;
        volumes and their sigmas are multiplied by
        :func:`cell_volume_to_molar`'s factor.

        Parameters
        ----------
        formula_units_per_cell : int, optional
            Z; by default the dataset's own.

        Raises
        ------
        ValueError
            When the volumes are not in Å³ per cell or Z is unknown.
        """
        if self.volume_unit != CELL_VOLUME_UNIT:
            raise ValueError(f"volumes are in {self.volume_unit!r}, not {CELL_VOLUME_UNIT!r}")
        z = self.formula_units_per_cell if formula_units_per_cell is None \
            else formula_units_per_cell
        if z is None:
            raise ValueError("formula_units_per_cell is unknown: pass it")
        return self.replace(volume=cell_volume_to_molar(self.volume, z),
                            volume_sigma=cell_volume_to_molar(self.volume_sigma, z),
                            volume_unit=MOLAR_VOLUME_UNIT, formula_units_per_cell=z)

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError("Dataset is immutable: use replace()")

    def __delattr__(self, name: str) -> None:
        raise AttributeError("Dataset is immutable")

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Dataset):
            return NotImplemented
        mine, theirs = self._fields, other._fields
        if mine.keys() != theirs.keys() or mine["extra"].keys() != theirs["extra"].keys():
            return False
        pairs = [(mine[k], theirs[k]) for k in mine if k != "extra"]
        pairs += [(mine["extra"][k], theirs["extra"][k]) for k in mine["extra"]]
        return all(_same(a, b) for a, b in pairs)

    __hash__ = None  # type: ignore[assignment]  # equal datasets may hold different array objects

    def __reduce__(self) -> tuple[Any, ...]:
        return (functools.partial(Dataset, **self._arguments()), ())

    def __repr__(self) -> str:
        columns = [key for key in STANDARD_COLUMNS if getattr(self, key) is not None]
        columns += list(self.extra)
        return (f"Dataset(name={self.name!r}, rows={len(self)}, columns={columns}, "
                f"pressure_unit={self.pressure_unit!r}, volume_unit={self.volume_unit!r})")


def _same(a: object, b: object) -> bool:
    if isinstance(a, np.ndarray) and isinstance(b, np.ndarray):
        if a.dtype.kind != b.dtype.kind:
            return False
        return bool(np.array_equal(a, b, equal_nan=a.dtype.kind == "f"))
    return type(a) is type(b) and a == b
