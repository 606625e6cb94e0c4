"""Reading and writing datasets as CSV files.

The column convention is that of the bundled examples: a header line naming
``pressure`` and ``volume`` (required) and ``pressure_sigma``,
``volume_sigma``, ``temperature`` and ``temperature_sigma`` (optional), in
any order, then one row per measurement. An empty cell means "not
reported". Any other column is kept as an extra column.
"""

from __future__ import annotations

import csv
import math
import os
from collections.abc import Iterator
from typing import IO, Any

import numpy as np

from ..errors import DataFileError
from ._dataset import CELL_VOLUME_UNIT, MEASURED, STANDARD_COLUMNS, Dataset, value_problem

Source = str | os.PathLike[str] | IO[str]


class _Reader:
    """Parses one file; every fault names the file, the line and the column."""

    def __init__(self, path: str) -> None:
        self.path = path

    def fail(self, line: int | None, column: str | None, problem: str) -> DataFileError:
        where = self.path if line is None else f"{self.path}, line {line}"
        where += "" if column is None else f", column {column!r}"
        return DataFileError(f"{where}: {problem}", field=column, path=self.path, line=line)

    def header(self, rows: Iterator[list[str]], line: int) -> list[str]:
        # A byte-order mark survives in text streams opened without utf-8-sig.
        names = [name.strip().lstrip("\ufeff") for name in next(rows, [])]
        if not names:
            raise self.fail(1, None, "no header line: the first line must name the columns")
        for position, name in enumerate(names):
            if not name:
                raise self.fail(line, None, f"column {position + 1} of the header has no name")
            if name in names[:position]:
                raise self.fail(line, name, "the column is named twice")
        for required in ("pressure", "volume"):
            if required not in names:
                raise self.fail(line, required, "the header has no such column; it must "
                                "name pressure and volume")
        if "temperature_sigma" in names and "temperature" not in names:
            raise self.fail(line, "temperature_sigma", "given without a temperature column")
        return names

    def number(self, text: str, line: int, column: str) -> float:
        text = text.strip()
        if not text:
            return math.nan
        try:
            value = float(text)
        except ValueError:
            raise self.fail(line, column, f"{text!r} is not a number") from None
        problem = value_problem(column, value)
        if problem is not None and problem != "is missing":
            raise self.fail(line, column, f"{text!r} {problem}")
        return value


def _open(source: Source) -> tuple[IO[str], str, bool]:
    if isinstance(source, (str, os.PathLike)):
        # utf-8-sig: spreadsheets often start the file with a byte-order mark.
        return open(source, encoding="utf-8-sig", newline=""), os.fspath(source), True
    return source, str(getattr(source, "name", "<stream>")), False


def read_csv(
    source: Source,
    *,
    skip_incomplete: bool = False,
    pressure_unit: str = "GPa",
    volume_unit: str = CELL_VOLUME_UNIT,
    name: str | None = None,
    citation: str = "",
    doi: str = "",
    formula_units_per_cell: int | None = None,
    atoms_per_formula_unit: int | None = None,
) -> Dataset:
    """Read a dataset from a CSV file.

    Parameters
    ----------
    source : str, path-like or text file
        The file, or an open text stream.
    skip_incomplete : bool, default False
        A row without a pressure, a volume or (in a file with temperatures)
        a temperature is an error unless this is true; then it is skipped.
    pressure_unit, volume_unit : str
        The units of the file's columns (GPa and Å³ per cell by default).
    name : str, optional
        The dataset's name; by default the file name without its extension.
    citation, doi, formula_units_per_cell, atoms_per_formula_unit
        Passed on to :class:`Dataset`.

    Returns
    -------
    Dataset
        Extra columns become float64 arrays when every cell is a number or
        empty (NaN), and string arrays otherwise.

    Raises
    ------
    barometra.errors.DataFileError
        For a malformed file: a missing or repeated column, a row of the
        wrong length, a cell that is not a number or is out of range, an
        incomplete row, no rows. The message starts with the file name, the
        line and the column, which are also its ``path``, ``line`` and
        ``field`` attributes.
    """
    stream, path, owned = _open(source)
    reader = _Reader(path)
    try:
        columns, extra = _read_rows(reader, stream, skip_incomplete)
    except UnicodeDecodeError as error:
        raise reader.fail(None, None, f"not UTF-8 text ({error.reason})") from None
    except csv.Error as error:  # for example a NUL character
        raise reader.fail(None, None, f"not a CSV file ({error})") from None
    finally:
        if owned:
            stream.close()
    if name is None:
        name = os.path.splitext(os.path.basename(path))[0]
    return Dataset(
        **columns,
        extra={key: _extra_values(cells) for key, cells in extra.items()},
        pressure_unit=pressure_unit, volume_unit=volume_unit, name=name, citation=citation,
        doi=doi, formula_units_per_cell=formula_units_per_cell,
        atoms_per_formula_unit=atoms_per_formula_unit)


def _read_rows(
    reader: _Reader, stream: IO[str], skip_incomplete: bool
) -> tuple[dict[str, Any], dict[str, list[str]]]:
    rows = csv.reader(stream)
    names = reader.header(rows, 1)
    standard = [name for name in names if name in STANDARD_COLUMNS]
    measured = [name for name in standard if name in MEASURED]
    values: dict[str, list[float]] = {name: [] for name in standard}
    extra: dict[str, list[str]] = {name: [] for name in names if name not in STANDARD_COLUMNS}
    line = 1
    for row in rows:
        line = rows.line_num
        if not row:
            continue  # a blank line
        if len(row) != len(names):
            column = names[len(row)] if len(row) < len(names) else None
            raise reader.fail(line, column, f"{len(row)} cells, but the header names "
                              f"{len(names)} columns")
        cells = dict(zip(names, row))
        numbers = {name: reader.number(cells[name], line, name) for name in standard}
        missing = next((name for name in measured if math.isnan(numbers[name])), None)
        if missing is not None:
            if skip_incomplete:
                continue
            raise reader.fail(line, missing, "no value; pass skip_incomplete=True to skip "
                              "rows without one")
        for name in standard:
            values[name].append(numbers[name])
        for name in extra:
            extra[name].append(cells[name].strip())
    if not values["pressure"]:
        raise reader.fail(line, None, "no data rows")
    return values, extra


def _extra_values(cells: list[str]) -> Any:
    try:
        return np.array([float(cell) if cell else math.nan for cell in cells])
    except ValueError:
        return np.array(cells, dtype=str)


def write_csv(dataset: Dataset, destination: Source) -> None:
    """Write a dataset as CSV in the column convention that :func:`read_csv` reads.

    The columns are pressure, pressure_sigma, volume, volume_sigma, then
    temperature and temperature_sigma for a dataset with temperatures, then
    the extra columns. NaN is written as an empty cell and every number in
    its shortest form that reads back to the same float. Units and citation
    are not part of the file.

    Examples
    --------
    >>> import io
    >>> from barometra.data import Dataset, read_csv, write_csv
    >>> data = Dataset(pressure=[0.0, 4.76], volume=[46.56, 45.82])
    >>> out = io.StringIO()
    >>> write_csv(data, out)
    >>> print(out.getvalue(), end="")
    pressure,pressure_sigma,volume,volume_sigma
    0.0,,46.56,
    4.76,,45.82,
    >>> _ = out.seek(0)
    >>> read_csv(out, name="").pressure
    array([0.  , 4.76])
    """
    columns: dict[str, Any] = {
        key: getattr(dataset, key) for key in STANDARD_COLUMNS
        if getattr(dataset, key) is not None}
    columns.update(dataset.extra)
    if isinstance(destination, (str, os.PathLike)):
        with open(destination, "w", encoding="utf-8", newline="") as stream:
            _write(stream, columns)
    else:
        _write(destination, columns)


def _write(stream: IO[str], columns: dict[str, Any]) -> None:
    writer = csv.writer(stream, lineterminator="\n")
    writer.writerow(columns)
    for row in zip(*columns.values()):
        writer.writerow([_cell(value) for value in row])


def _cell(value: Any) -> str:
    if isinstance(value, str):
        return value
    number = float(value)
    return "" if math.isnan(number) else repr(number)
