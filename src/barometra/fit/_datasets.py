"""Several datasets in one fit: their rows in one table, in one set of units,
with the dataset of every row; and the per-dataset offsets' names."""

from __future__ import annotations

from collections.abc import Callable, Sequence
from dataclasses import dataclass
from typing import Any

import numpy as np

from .._arrays import FloatArray
from ..data import Dataset

OFFSET_PREFIX = "pressure_offset:"
KIND_CODES = {"static": 0, "hugoniot": 1}


@dataclass(frozen=True)
class Combined:
    data: Dataset  # every row, in the units of the first dataset (converted)
    index: FloatArray  # the dataset of each row, 0 ..< len(names)
    names: tuple[str, ...]
    rows: tuple[int, ...]
    kinds: tuple[str, ...]  # each dataset's kind

    def row_kinds(self) -> FloatArray:
        """The engine's kind of each row: 0 static, 1 on the Hugoniot."""
        codes = np.array([float(KIND_CODES[kind]) for kind in self.kinds])
        return codes[self.index.astype(np.intp)]

    def offset_names(self) -> tuple[str, ...]:
        return tuple(OFFSET_PREFIX + name for name in self.names[1:])


def dataset_names(datasets: Sequence[Dataset]) -> tuple[str, ...]:
    """Each dataset's name, "dataset <i>" (from 1) where it has none; names must differ."""
    names = tuple(d.name or f"dataset {i + 1}" for i, d in enumerate(datasets))
    repeated = sorted({name for name in names if names.count(name) > 1})
    if repeated:
        raise ValueError(f"the datasets of a joint fit need different names: "
                         f"{', '.join(map(repr, repeated))} is given twice "
                         "(dataset.replace(name=...))")
    return names


def combine(datasets: Sequence[Dataset], in_units: Callable[[Dataset], Dataset]) -> Combined:
    """The rows of every dataset, each converted by ``in_units`` and then to the units
    of the first (so that a model without units takes the first's)."""
    if not datasets or not all(isinstance(d, Dataset) for d in datasets):
        raise TypeError("data must be a barometra.data.Dataset or a non-empty sequence of them")
    names = dataset_names(datasets)
    converted = [in_units(d) for d in datasets]
    first = converted[0]
    for i, d in enumerate(converted[1:], 1):
        if (d.pressure_unit, d.volume_unit) != (first.pressure_unit, first.volume_unit):
            try:
                converted[i] = d.to_units(pressure=first.pressure_unit, volume=first.volume_unit)
            except ValueError as error:
                raise ValueError(f"dataset {names[i]!r} ({d.pressure_unit}, {d.volume_unit}) "
                                 f"does not convert to the units of {names[0]!r} "
                                 f"({first.pressure_unit}, {first.volume_unit}): "
                                 f"{error}") from None
    thermal = all(d.temperature is not None for d in converted if d.kind == "static")

    def joined(column: str) -> Any:
        if column.startswith("temperature") and not thermal:
            return None
        return np.concatenate([_values(d, column) for d in converted])

    common = set.intersection(*(set(d.extra) for d in converted))
    extra = {key: np.concatenate([d.extra[key] for d in converted]) for key in sorted(common)}
    def shared(key: str) -> Any:
        value = getattr(first, key)
        return value if all(getattr(d, key) == value for d in converted) else None

    data = Dataset(joined("pressure"), joined("volume"), temperature=joined("temperature"),
                   pressure_sigma=joined("pressure_sigma"), volume_sigma=joined("volume_sigma"),
                   temperature_sigma=joined("temperature_sigma"), extra=extra,
                   pressure_unit=first.pressure_unit, volume_unit=first.volume_unit,
                   name=" + ".join(names),
                   formula_units_per_cell=shared("formula_units_per_cell"),
                   atoms_per_formula_unit=shared("atoms_per_formula_unit"))
    rows = tuple(len(d) for d in converted)
    index = np.repeat(np.arange(len(rows), dtype=np.float64), rows)
    return Combined(data, index, names, rows, tuple(d.kind for d in datasets))


def _values(data: Dataset, column: str) -> FloatArray:
    """A column of one dataset; a Hugoniot row's temperature, which the fit does not
    read, is 300 K (any positive value would do) and exact."""
    values = getattr(data, column)
    if values is None and data.kind == "hugoniot" and column.startswith("temperature"):
        return np.full(len(data), 300.0 if column == "temperature" else 0.0)
    return np.asarray(values, dtype=np.float64)
