"""The Dataset value: measured pressures, volumes and temperatures with their sigmas."""

from __future__ import annotations

import functools
import math
from collections.abc import Callable, Mapping, Sequence
from types import MappingProxyType
from typing import Any

import numpy as np
import numpy.typing as npt

from .. import units
from .._arrays import FloatArray
from ..errors import ValidationError

#: The unit of unit-cell volumes, as :func:`read_csv` assumes by default.
CELL_VOLUME_UNIT = "Å³/cell"
#: The unit of molar volumes that the thermal models need (1 J/bar = 10 cm³/mol).
MOLAR_VOLUME_UNIT = "J/bar"

# Column name -> what its values must be; NaN is "not reported" only in sigmas.
MEASURED = ("pressure", "volume", "temperature")
SIGMAS = ("pressure_sigma", "volume_sigma", "temperature_sigma")
# What the rows are: states at their own temperature, or on a principal
# Hugoniot (the shock's jump conditions; a temperature, if any, unused).
KINDS = ("static", "hugoniot")
STANDARD_COLUMNS = ("pressure", "pressure_sigma", "volume", "volume_sigma", "temperature",
                    "temperature_sigma")
TEMPERATURE_UNIT = "K"


def plural(count: int, noun: str) -> str:
    """``"1 row"``, ``"2 rows"``."""
    return f"{count} {noun}" if count == 1 else f"{count} {noun}s"


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
    units.check_formula_units(formula_units_per_cell, "formula_units_per_cell")
    factor = units.volume_factor(CELL_VOLUME_UNIT, MOLAR_VOLUME_UNIT, formula_units_per_cell)
    return np.asarray(volume, dtype=np.float64) * factor


def _column(name: str, values: npt.ArrayLike, rows: int | None) -> FloatArray:
    units.require_plain(values, name)
    array = np.array(values, dtype=np.float64)  # always a copy, then frozen
    if array.ndim != 1:
        raise ValidationError(f"{name} must be one-dimensional, not of shape {array.shape}",
                              code="data.invalid_input", field=name)
    if rows is not None and len(array) != rows:
        raise ValidationError(f"{name} has {plural(len(array), 'row')}, pressure has {rows}",
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

    Two datasets are equal when their columns, units, names, citations, Z
    and n are; their ``notes`` and ``metadata`` (what the file said and what
    was done on the way in) are kept by every operation but not compared.

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
        The units of the columns. A known spelling is stored as its
        canonical label (``"A^3"`` as ``"Å³/cell"``, see
        :mod:`barometra.units`); any other label is kept as given, and only
        :meth:`to_units` then refuses it. Nothing is converted here.
    name, citation, doi : str
        Where the data come from.
    formula_units_per_cell : int, optional
        Z, which converts unit-cell volumes to molar volumes
        (:meth:`to_molar_volume`).
    atoms_per_formula_unit : int, optional
        n, the atoms per formula unit that thermal models need.
    notes : sequence of str, optional
        What was done to the data on the way in: rows skipped, sigmas read as
        not reported, units converted. :meth:`describe` lists them.
    metadata : mapping of str to str, optional
        What the source file said beyond its columns (a crystal system, a
        format code, ``key: value`` comments).
    kind : {"static", "hugoniot"}
        What the rows are: static states (the default), or states on the
        principal Hugoniot of the material (shock data, see
        :meth:`from_us_up`), which a fit compares with the model's
        ``hugoniot_pressure`` at their volumes.

    Attributes
    ----------
    pressure, volume, pressure_sigma, volume_sigma : ndarray
        Read-only float64 columns, one value per row.
    temperature, temperature_sigma : ndarray or None
        Likewise, or None for an isothermal dataset.
    extra : mapping of str to ndarray
        Read-only float64 or string columns.
    pressure_unit, volume_unit, name, citation, doi : str
        As given, known units by their canonical labels.
    formula_units_per_cell, atoms_per_formula_unit : int or None
        As given.
    notes : tuple of str
    metadata : mapping of str to str
        Read-only.
    kind : str
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
                 "citation", "doi", "formula_units_per_cell", "atoms_per_formula_unit", "notes",
                 "metadata", "kind")

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
    notes: tuple[str, ...]
    kind: str
    metadata: Mapping[str, str]

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
        notes: Sequence[str] = (),
        metadata: Mapping[str, str] | None = None,
        kind: str = "static",
    ) -> None:
        if kind not in KINDS:
            raise ValidationError(f"kind must be one of {', '.join(map(repr, KINDS))}, "
                                  f"not {kind!r}", code="data.invalid_input", field="kind")
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
            "pressure_unit": _label(units.pressure_unit, pressure_unit),
            "volume_unit": _label(units.volume_unit, volume_unit),
            "name": str(name),
            "citation": str(citation),
            "doi": str(doi),
            "formula_units_per_cell": formula_units_per_cell,
            "atoms_per_formula_unit": atoms_per_formula_unit,
            "notes": (notes,) if isinstance(notes, str) else tuple(map(str, notes)),
            "metadata": MappingProxyType({str(k): str(v) for k, v in (metadata or {}).items()}),
            "kind": kind,
        }
        for key, value in fields.items():
            object.__setattr__(self, key, value)

    @classmethod
    def from_us_up(cls, shock_velocity: npt.ArrayLike, particle_velocity: npt.ArrayLike, *,
                   rho0: float, molar_mass: float,
                   shock_velocity_sigma: npt.ArrayLike | None = None,
                   particle_velocity_sigma: npt.ArrayLike | None = None, p0: float = 0.0,
                   **options: Any) -> Dataset:
        """A Hugoniot dataset from measured shock and particle velocities.

        The jump conditions from rest at density rho0 and pressure p0 give
        each row's state: V = V0 (1 - up/Us) with V0 = molar_mass/rho0, and
        P = p0 + rho0 Us up. The velocities' sigmas (independent) are
        propagated to first order into pressure_sigma and volume_sigma; the
        two are correlated (both grow with up), which a fit does not see.

        Parameters
        ----------
        shock_velocity, particle_velocity : array_like
            Us and up in km/s, one pair per row, with Us > up > 0.
        rho0 : float
            The density before the shock, g/cm³.
        molar_mass : float
            The mass of one formula unit, g/mol: the volumes come out in
            cm³/mol per formula unit.
        shock_velocity_sigma, particle_velocity_sigma : array_like, optional
            Their standard uncertainties, km/s.
        p0 : float
            The pressure before the shock, GPa.
        **options
            Further arguments of the constructor (name, citation, ...).

        Examples
        --------
        >>> from barometra.data import Dataset
        >>> gold = Dataset.from_us_up([4.0, 5.0], [0.6, 1.25], rho0=19.2827,
        ...                           molar_mass=196.96657, shock_velocity_sigma=0.05)
        >>> gold.kind, gold.pressure.round(2), gold.volume.round(4)
        ('hugoniot', array([ 46.28, 120.52]), array([8.6825, 7.661 ]))
        """
        us, up = (_column(name, values, None) for name, values in
                  (("shock_velocity", shock_velocity), ("particle_velocity", particle_velocity)))
        if len(us) != len(up):
            raise ValidationError(f"particle_velocity has {plural(len(up), 'row')}, "
                                  f"shock_velocity has {len(us)}", code="data.invalid_input",
                                  field="particle_velocity")
        bad = np.flatnonzero(~((up > 0.0) & (us > up)))
        if len(bad):
            raise ValidationError(f"row {bad[0]}: a shock needs Us > up > 0, not Us = "
                                  f"{us[bad[0]]!r}, up = {up[bad[0]]!r} km/s",
                                  code="data.invalid_input", field="particle_velocity")
        for name, value in (("rho0", rho0), ("molar_mass", molar_mass)):
            if not (isinstance(value, (int, float)) and 0.0 < value < math.inf):
                raise ValidationError(f"{name} must be a positive finite number, not {value!r}",
                                      code="data.invalid_input", field=name)
        v0 = molar_mass / rho0
        s_us, s_up = (np.zeros(len(us)) if sigma is None else
                      np.broadcast_to(np.asarray(sigma, dtype=np.float64), us.shape)
                      for sigma in (shock_velocity_sigma, particle_velocity_sigma))
        known = shock_velocity_sigma is not None or particle_velocity_sigma is not None
        pressure_sigma = np.hypot(rho0 * up * s_us, rho0 * us * s_up) if known else None
        volume_sigma = np.hypot(v0 * up * s_us / us**2, v0 * s_up / us) if known else None
        return cls(p0 + rho0 * us * up, v0 * (1.0 - up / us), pressure_sigma=pressure_sigma,
                   volume_sigma=volume_sigma, pressure_unit="GPa", volume_unit="cm3/mol",
                   kind="hugoniot", **options)

    @property
    def _fields(self) -> dict[str, Any]:
        return {key: getattr(self, key) for key in self.__slots__}

    def __len__(self) -> int:
        return len(self.pressure)

    def _arguments(self) -> dict[str, Any]:
        """The constructor arguments that rebuild this dataset."""
        arguments = dict(self._fields)
        arguments["extra"] = dict(self.extra)
        arguments["metadata"] = dict(self.metadata)
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

    def to_units(self, pressure: str | None = None, volume: str | None = None, *,
                 formula_units: int | None = None) -> Dataset:
        """This dataset with pressures and volumes, and their sigmas, in other units.

        Each conversion is recorded in ``notes``.

        Parameters
        ----------
        pressure, volume : str, optional
            The new units (any spelling :mod:`barometra.units` knows); None
            keeps a column's unit.
        formula_units : int, optional
            Z, needed between volumes per unit cell and molar or per formula
            unit volumes; by default the dataset's own
            ``formula_units_per_cell``. It becomes the new dataset's Z.

        Raises
        ------
        ValueError
            For an unknown unit (the dataset's own included) and for a volume
            conversion that needs Z without one; the message names both units.

        Examples
        --------
        >>> from barometra.data import Dataset
        >>> data = Dataset(pressure=[10.0, 250.0], volume=[74.5, 70.1], pressure_unit="kbar",
        ...                volume_unit="A^3/cell", formula_units_per_cell=4)
        >>> molar = data.to_units(pressure="GPa", volume="cm3/mol")
        >>> molar.pressure, molar.volume.round(4), molar.volume_unit
        (array([ 1., 25.]), array([11.2162, 10.5538]), 'cm³/mol')
        >>> molar.notes
        ('pressures converted from kbar to GPa', 'volumes converted from Å³/cell to cm³/mol (Z = 4)')
        """
        z = self.formula_units_per_cell if formula_units is None else formula_units
        changes: dict[str, Any] = {}
        notes = list(self.notes)
        if pressure is not None:
            target = units.pressure_unit(pressure)
            if target != self.pressure_unit:
                factor = units.pressure_factor(self.pressure_unit, target)
                changes.update(pressure=self.pressure * factor,
                               pressure_sigma=self.pressure_sigma * factor, pressure_unit=target)
                notes.append(f"pressures converted from {self.pressure_unit} to {target}")
        if volume is not None:
            target = units.volume_unit(volume)
            if target != self.volume_unit:
                factor = units.volume_factor(self.volume_unit, target, z)
                changes.update(volume=self.volume * factor,
                               volume_sigma=self.volume_sigma * factor, volume_unit=target)
                through_z = units.is_per_cell(self.volume_unit) != units.is_per_cell(target)
                notes.append(f"volumes converted from {self.volume_unit} to {target}"
                             + (f" (Z = {z})" if through_z else ""))
        if formula_units is not None:
            changes["formula_units_per_cell"] = units.check_formula_units(formula_units)
        return self.replace(**changes, notes=notes) if changes else self

    def to_molar_volume(self, formula_units_per_cell: int | None = None) -> Dataset:
        """This dataset with unit-cell volumes (Å³) turned into J/bar per formula unit.

        The thermal models need molar volumes in J/bar with pressures in GPa;
        volumes and their sigmas are multiplied by
        :func:`cell_volume_to_molar`'s factor. :meth:`to_units` converts
        between any units.

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
        units.check_formula_units(z, "formula_units_per_cell")
        return self.to_units(volume=MOLAR_VOLUME_UNIT, formula_units=z)

    def describe(self) -> str:
        """A few lines on the dataset: rows, ranges and units, which sigmas are
        reported, its source, and its ``notes``.

        Examples
        --------
        >>> from barometra.data import load_example
        >>> print(load_example("stishovite_300K_nishihara2005").describe())
        stishovite_300K_nishihara2005: 10 rows
          pressure      0 to 21.23 GPa, sigma not reported
          volume        43.73 to 46.56 Å³/cell, sigma in 10 of 10 rows
          extra columns a, a_sigma, c, c_sigma
          Z = 2 formula units per cell, n = 3 atoms per formula unit
          Nishihara, ...
        """
        from ._display import describe
        return describe(self)

    def _repr_html_(self) -> str:
        """The first rows as an HTML table with units, for notebooks."""
        from ._display import html_table
        return html_table(self)

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError("Dataset is immutable: use replace()")

    def __delattr__(self, name: str) -> None:
        raise AttributeError("Dataset is immutable")

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Dataset):
            return NotImplemented
        mine, theirs = self._fields, other._fields
        for key in ("notes", "metadata"):
            del mine[key], theirs[key]
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
        kind = "" if self.kind == "static" else f"kind={self.kind!r}, "
        return (f"Dataset(name={self.name!r}, {kind}rows={len(self)}, columns={columns}, "
                f"pressure_unit={self.pressure_unit!r}, volume_unit={self.volume_unit!r})")


def _label(canonical: Callable[[str], str], unit: str) -> str:
    try:
        return canonical(unit)
    except (TypeError, ValueError):
        return str(unit)


def _same(a: object, b: object) -> bool:
    if isinstance(a, np.ndarray) and isinstance(b, np.ndarray):
        if a.dtype.kind != b.dtype.kind:
            return False
        return bool(np.array_equal(a, b, equal_nan=a.dtype.kind == "f"))
    return type(a) is type(b) and a == b

