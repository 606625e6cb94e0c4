"""Reading and writing datasets as CSV files.

The column convention is that of the bundled examples: a header line naming
``pressure`` and ``volume`` (required) and ``pressure_sigma``,
``volume_sigma``, ``temperature`` and ``temperature_sigma`` (optional), in
any order, then one row per measurement. An empty cell means "not
reported". Any other column is kept as an extra column.

Files as people write them are read too: lines starting with ``#`` are
comments; header names are case-insensitive, with the field's short names
``P``, ``sigP``, ``V``, ``sigV``, ``T`` and ``sigT``; a unit after a name, in
parentheses or brackets (``pressure (kbar)``, ``volume [cm3/mol]``,
``T (C)``), is converted into the dataset's unit.
"""

from __future__ import annotations

import csv
import math
import os
import re
from collections.abc import Iterator
from typing import IO, Any

from ._dataset import (
    CELL_VOLUME_UNIT,
    MEASURED,
    STANDARD_COLUMNS,
    TEMPERATURE_UNIT,
    Dataset,
    plural,
)
from ._files import (
    CANONICAL,
    Column,
    FileReader,
    Source,
    default_name,
    extra_values,
    first_repeat,
    open_source,
    skipped_note,
)

# Header name, case-folded -> dataset column.
_NAMES = {name: name for name in STANDARD_COLUMNS} | {
    "p": "pressure", "sigp": "pressure_sigma", "v": "volume", "sigv": "volume_sigma",
    "t": "temperature", "sigt": "temperature_sigma"}
_WITH_UNIT = re.compile(r"(?P<name>.*?)\s*(?:\((?P<round>[^()]*)\)|\[(?P<square>[^\[\]]*)\])")
_DEFAULT_UNITS = {"pressure": "GPa", "volume": CELL_VOLUME_UNIT}


def read_csv(
    source: Source,
    *,
    skip_incomplete: bool = False,
    pressure_unit: str | None = None,
    volume_unit: str | None = None,
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
        a temperature is an error unless this is true; then it is skipped,
        and the dataset's ``notes`` say which lines were.
    pressure_unit, volume_unit : str, optional
        The dataset's units. A unit named in the header is converted into
        them; columns without one are taken to be in them already. By
        default the header's unit, else GPa and Å³ per cell. Temperatures
        are in kelvin; a header's °C or °F is converted to K.
    name : str, optional
        The dataset's name; by default the file name without its extension.
    citation, doi, formula_units_per_cell, atoms_per_formula_unit
        Passed on to :class:`Dataset`; Z also converts volumes between a
        per-cell unit and a molar one.

    Returns
    -------
    Dataset
        Extra columns become float64 arrays when every cell is a number or
        empty (NaN), and string arrays otherwise. The ``notes`` list the
        units converted and the rows skipped.

    Raises
    ------
    barometra.errors.DataFileError
        For a malformed file: a missing or repeated column, an unknown
        unit, a row of the wrong length, a cell that is not a number or is
        out of range, an incomplete row, no rows. The message starts with
        the file name, the line and the column, which are also its
        ``path``, ``line`` and ``field`` attributes.

    Examples
    --------
    >>> import io
    >>> text = "# run 2\\nP (kbar),V [cm3/mol],sigV\\n10,11.2,0.01\\n250,10.5,0.01\\n"
    >>> data = read_csv(io.StringIO(text), pressure_unit="GPa")
    >>> data.pressure, data.volume_unit, data.notes
    (array([ 1., 25.]), 'cm³/mol', ('pressures converted from kbar to GPa',))
    """
    stream, path, owned = open_source(source)
    reader = _CsvReader(path, pressure_unit, volume_unit, formula_units_per_cell)
    with reader.reading(stream, owned):
        try:
            columns, extra = reader.read(stream, skip_incomplete)
        except csv.Error as error:  # for example a NUL character
            raise reader.fail(None, None, f"not a CSV file ({error})") from None
    return Dataset(
        **columns,
        extra={key: extra_values(cells) for key, cells in extra.items()},
        pressure_unit=reader.targets["pressure"], volume_unit=reader.targets["volume"],
        name=default_name(path) if name is None else name, citation=citation, doi=doi,
        formula_units_per_cell=formula_units_per_cell,
        atoms_per_formula_unit=atoms_per_formula_unit, notes=reader.notes)


def _without_comments(stream: IO[str]) -> Iterator[str]:
    # A comment becomes a blank line, which keeps the line numbers of the rest.
    for line in stream:
        yield "\n" if line.lstrip().startswith("#") else line


def _column_key(text: str) -> tuple[str | None, str | None]:
    """The dataset column a header name stands for (None for an extra column),
    and the unit written after it."""
    match = _WITH_UNIT.fullmatch(text)
    if match is None:
        return _NAMES.get(text.casefold()), None
    unit = match["round"] if match["round"] is not None else match["square"]
    return _NAMES.get(match["name"].casefold()), unit


class _CsvReader(FileReader):
    def __init__(self, path: str, pressure_unit: str | None, volume_unit: str | None,
                 formula_units: int | None) -> None:
        super().__init__(path)
        self.given = {"pressure": pressure_unit, "volume": volume_unit}
        self.formula_units = formula_units
        self.targets = {quantity: given if given is not None else _DEFAULT_UNITS[quantity]
                        for quantity, given in self.given.items()}

    def header(self, rows: Any) -> list[Column | str]:
        """A :class:`Column` for each standard column, the name of each extra one."""
        row = next((row for row in rows if row), None)
        if row is None:
            raise self.fail(1, None, "no header line: the first line must name the columns")
        line: int = rows.line_num
        # A byte-order mark survives in text streams opened without utf-8-sig.
        names = [name.strip().lstrip("\ufeff") for name in row]
        written: dict[str, str] = {}  # dataset column -> the unit the header gives it
        keys: list[str] = []
        for position, name in enumerate(names):
            if not name:
                raise self.fail(line, None, f"column {position + 1} of the header has no name")
            key, unit = _column_key(name)
            if key is not None and unit is not None:
                try:
                    written[key] = CANONICAL[key.removesuffix("_sigma")](unit)
                except ValueError as error:
                    raise self.fail(line, name, str(error)) from None
            keys.append(name if key is None else key)
        repeat = first_repeat(keys)
        if repeat is not None:
            first, second = names[repeat[0]], names[repeat[1]]
            raise self.fail(line, second, "the column is named twice" + (
                "" if first == second else f" (as {first!r} and {second!r})"))
        for required in ("pressure", "volume"):
            if required not in keys:
                raise self.fail(line, required, "the header has no such column; it must name "
                                f"pressure (or P) and volume (or V); found {', '.join(names)}")
        if "temperature_sigma" in keys and "temperature" not in keys:
            raise self.fail(line, names[keys.index("temperature_sigma")],
                            "given without a temperature column")
        for quantity, given in self.given.items():
            unit = written.get(quantity, written.get(quantity + "_sigma"))
            if given is None and unit is not None:
                self.targets[quantity] = unit
        return [self.column(key, name, written, line) if key in STANDARD_COLUMNS else name
                for key, name in zip(keys, names)]

    def column(self, key: str, name: str, written: dict[str, str], line: int) -> Column:
        quantity = key.removesuffix("_sigma")
        source = written.get(key, written.get(quantity))  # a sigma shares its value's unit
        return self.measured(key, name, source, self.targets.get(quantity, TEMPERATURE_UNIT),
                             self.formula_units, line)

    def read(self, stream: IO[str], skip_incomplete: bool
             ) -> tuple[dict[str, Any], dict[str, list[str]]]:
        rows = csv.reader(_without_comments(stream))
        layout = self.header(rows)
        standard = [(at, column) for at, column in enumerate(layout) if isinstance(column, Column)]
        measured = [column for _, column in standard if column.key in MEASURED]
        values: dict[str, list[float]] = {column.key: [] for _, column in standard}
        extra: dict[str, tuple[int, list[str]]] = {
            name: (at, []) for at, name in enumerate(layout) if isinstance(name, str)}
        skipped = []
        line = rows.line_num
        for row in rows:
            line = rows.line_num
            if not row:
                continue  # a blank line or a comment
            if len(row) != len(layout):
                short = layout[len(row)] if len(row) < len(layout) else None
                raise self.fail(line, short.name if isinstance(short, Column) else short,
                                f"{plural(len(row), 'cell')}, but the header names "
                                f"{len(layout)} columns")
            numbers = {column.key: self.number(row[at], line, column) for at, column in standard}
            missing = next((column for column in measured
                            if math.isnan(numbers[column.key])), None)
            if missing is not None:
                if not skip_incomplete:
                    raise self.fail(line, missing.name, "no value; pass skip_incomplete=True "
                                    "to skip rows without one")
                skipped.append(line)
                continue
            for key, number in numbers.items():
                values[key].append(number)
            for at, cells in extra.values():
                cells.append(row[at].strip())
        if not values["pressure"]:
            raise self.fail(line, None, "no data rows")
        if skipped:
            self.notes.append(skipped_note(skipped, "incomplete"))
        return values, {name: cells for name, (_, cells) in extra.items()}


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
