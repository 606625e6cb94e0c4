"""Reading and writing the field's keyword data files (``.dat``).

The file is free-format text: keyword lines, then a ``Format`` line naming
the columns in the order the rows give them, an optional ``Data`` line, and
whitespace-separated rows::

    Title   quartz at 300 K
    Pscale  GPa
    Vscale  A^3/cell
    System  trigonal
    Format  1 P SIGP A SIGA C SIGC
    Data
    0.0001  0.0     4.9137  0.0001  5.4047  0.0001

Keywords (``Title``, ``Pscale``, ``Vscale``, ``Tscale``, ``System``,
``Format``, ``Data``) are case-insensitive; ``#`` starts a comment, blank
lines are ignored. Columns: ``P SIGP V SIGV T SIGT`` and the cell
parameters ``A SIGA B SIGB C SIGC ALPHA SIGALPHA BETA SIGBETA GAMMA
SIGGAMMA``; any other name is kept as an extra column. A sigma of zero means
"not reported". Comments ``# key: value`` before the ``Format`` line carry
what the keywords cannot (citation, DOI, Z, n and other metadata), which is
how :func:`write_eosfit` writes a dataset that reads back equal.
"""

from __future__ import annotations

import functools
import math
import os
import re
from collections.abc import Callable
from typing import IO, Any

import numpy as np

from .. import units
from ._cell import ANGLES, PARAMETERS, SYSTEMS, cell_volume, required, ties
from ._dataset import (
    CELL_VOLUME_UNIT,
    MEASURED,
    STANDARD_COLUMNS,
    TEMPERATURE_UNIT,
    Dataset,
    plural,
)
from ._files import (
    Column,
    FileReader,
    Source,
    conversion_note,
    default_name,
    extra_values,
    first_repeat,
    open_source,
    skipped_note,
)

KEYWORDS = ("Title", "Pscale", "Vscale", "Tscale", "System", "Format", "Data")
_KEYWORDS = {keyword.casefold(): keyword for keyword in KEYWORDS}
# Format name -> dataset column; cell parameters are kept as extra columns.
_COLUMNS = {"P": "pressure", "SIGP": "pressure_sigma", "V": "volume", "SIGV": "volume_sigma",
            "T": "temperature", "SIGT": "temperature_sigma"}
_COLUMNS |= {p.upper(): p for p in PARAMETERS} | {f"SIG{p.upper()}": f"{p}_sigma"
                                                   for p in PARAMETERS}
_FORMAT_NAMES = {key: name for name, key in _COLUMNS.items()}
# Dataset fields that "# key: value" comments carry.
_FIELDS = ("citation", "doi", "formula_units_per_cell", "atoms_per_formula_unit")
_FIELD_COMMENT = re.compile(r"#\s*(?P<key>[A-Za-z_]\w*)\s*:\s*(?P<value>.*)")
_EXPECTED_FORMAT = "Format followed by the column names, such as Format 1 P SIGP V SIGV"


def _cell_problem(key: str, value: float) -> str | None:
    if math.isnan(value):
        return "is missing"
    if math.isinf(value):
        return "must be finite"
    if key.endswith("_sigma"):
        return "must not be negative" if value < 0 else None
    if key in ANGLES:
        return None if 0.0 < value < 180.0 else "must lie between 0 and 180 degrees"
    return "must be positive" if value <= 0 else None


def read_eosfit(
    source: Source,
    *,
    skip_incomplete: bool = False,
    pressure_unit: str | None = None,
    volume_unit: str | None = None,
    name: str | None = None,
    citation: str | None = None,
    doi: str | None = None,
    formula_units_per_cell: int | None = None,
    atoms_per_formula_unit: int | None = None,
) -> Dataset:
    """Read a dataset from one of the field's keyword data files (``.dat``).

    Rows that give cell parameters and no volume get the volume of the cell
    of the file's ``System``, with its esd propagated from the cell esds. A
    sigma of 0 is "not reported" (NaN); the dataset's ``notes`` say how many
    rows had one, and which units were converted and which rows skipped.
    ``Tscale`` °C or °F is converted to kelvin.

    Parameters
    ----------
    source : str, path-like or text file
        The file, or an open text stream.
    skip_incomplete : bool, default False
        A row whose pressure, volume (or cell) or temperature is ``nan`` is
        an error unless this is true; then it is skipped and counted.
    pressure_unit, volume_unit : str, optional
        The dataset's units, into which ``Pscale`` and ``Vscale`` convert;
        by default the file's (volumes from a cell are in Å³ per cell).
    name : str, optional
        By default the ``Title``, else the file name without its extension.
    citation, doi, formula_units_per_cell, atoms_per_formula_unit : optional
        By default what the file's ``# key: value`` comments say.

    Raises
    ------
    barometra.errors.DataFileError
        For an unknown keyword, unit, crystal system or column, a repeated
        keyword or column, a missing ``Format`` line, a row of the wrong
        length, a value that is not a number or is out of range, cell
        parameters that close no cell, an incomplete row, no rows; the
        message names the file, the line and the column.

    Examples
    --------
    >>> import io
    >>> text = '''Title periclase
    ... Pscale kbar
    ... Tscale C
    ... System cubic
    ... Format 1 P SIGP T SIGT A SIGA
    ... 0.001 0.0 26.85 0 4.2112 0.0002
    ... 100.0 0.5 526.85 5 4.1900 0.0002
    ... '''
    >>> data = read_eosfit(io.StringIO(text), pressure_unit="GPa")
    >>> data.name, data.pressure.tolist(), data.temperature.tolist()
    ('periclase', [0.0001, 10.0], [300.0, 800.0])
    >>> data.volume.round(3), data.volume_sigma.round(4), data.pressure_sigma
    (array([74.682, 73.56 ]), array([0.0106, 0.0105]), array([ nan, 0.05]))
    >>> for note in data.notes: print(note)
    pressures converted from kbar to GPa
    temperatures converted from °C to K
    volumes computed from the cell parameters of a cubic cell, esds propagated
    1 row had a zero sigma, read as not reported (SIGP in 1, SIGT in 1)
    """
    stream, path, owned = open_source(source)
    reader = _EosfitReader(path)
    with reader.reading(stream, owned):
        reader.scan(stream)
    title = reader.keywords.get("Title")
    if name is None:
        name = default_name(path) if title is None else title[1]
    z = reader.count("formula_units_per_cell", formula_units_per_cell)
    columns, extra = reader.table(pressure_unit, volume_unit, z, skip_incomplete)
    return Dataset(**columns, extra=extra, name=name, citation=reader.text("citation", citation),
                   doi=reader.text("doi", doi), formula_units_per_cell=z,
                   atoms_per_formula_unit=reader.count("atoms_per_formula_unit",
                                                       atoms_per_formula_unit),
                   notes=reader.notes, metadata=reader.metadata())


class _EosfitReader(FileReader):
    def __init__(self, path: str) -> None:
        super().__init__(path)
        self.keywords: dict[str, tuple[int, str]] = {}
        self.comments: dict[str, tuple[int, str]] = {}
        self.rows: list[tuple[int, list[str]]] = []
        self.last_line = 0

    def scan(self, stream: IO[str]) -> None:
        """Sort the lines into keywords, ``key: value`` comments and data rows."""
        for line, raw in enumerate(stream, 1):
            self.last_line = line
            text = raw.strip()
            if not text or text.startswith("#"):
                match = _FIELD_COMMENT.fullmatch(text)
                if match and "Format" not in self.keywords:
                    self.comments.setdefault(match["key"], (line, match["value"].strip()))
                continue
            word, rest = (text.split(None, 1) + [""])[:2]
            keyword = _KEYWORDS.get(word.casefold())
            if "Format" in self.keywords:
                if keyword == "Data" and not self.rows and "Data" not in self.keywords:
                    self.keywords["Data"] = (line, "")
                elif keyword is not None:
                    raise self.fail(line, None, f"{keyword} after the Format line: expected a "
                                    "data row (keywords come before Format)")
                else:
                    self.rows.append((line, text.split("#", 1)[0].split()))
                continue
            if keyword == "Data":
                raise self.fail(line, None, f"Data before the Format line: expected "
                                f"{_EXPECTED_FORMAT}")
            if keyword is None:
                raise self.fail(line, None, f"unknown keyword {word!r}: expected one of "
                                f"{', '.join(KEYWORDS[:6])} (data rows follow the Format line)")
            if keyword in self.keywords:
                raise self.fail(line, None, f"{keyword} given twice (first on line "
                                f"{self.keywords[keyword][0]})")
            rest = rest.strip() if keyword == "Title" else rest.split("#", 1)[0].strip()
            self.keywords[keyword] = (line, rest)
        if "Format" not in self.keywords:
            raise self.fail(None, None, f"no Format line: expected {_EXPECTED_FORMAT}")

    def text(self, key: str, given: str | None) -> str:
        """A text field: as given, else as a comment says, else empty."""
        return given if given is not None else self.comments.get(key, (0, ""))[1]

    def count(self, key: str, given: int | None) -> int | None:
        """Z or n: as given, else as a comment says, else None."""
        if given is not None or key not in self.comments:
            return given
        line, text = self.comments[key]
        if not text.isdigit() or int(text) == 0:
            raise self.fail(line, None, f"{key} {text!r}: expected a positive integer")
        return int(text)

    def metadata(self) -> dict[str, str]:
        kept = {key: text for key, (_, text) in self.comments.items() if key not in _FIELDS}
        if "System" in self.keywords:
            kept["system"] = self.system()
        code = self.format_code()
        if code is not None:
            kept["format"] = code
        return kept

    def unit(self, keyword: str, canonical: Callable[[str], str], default: str) -> str:
        if keyword not in self.keywords:
            return default
        line, text = self.keywords[keyword]
        try:
            return canonical(text)
        except ValueError as error:
            raise self.fail(line, None, f"{keyword}: {error}") from None

    def system(self) -> str:
        line, text = self.keywords["System"]
        if text.casefold() not in SYSTEMS:
            raise self.fail(line, None, f"unknown System {text!r}: expected one of "
                            f"{', '.join(SYSTEMS)}")
        return text.casefold()

    def format_code(self) -> str | None:
        words = self.keywords["Format"][1].split()
        return words[0] if words and words[0].isdigit() else None

    def layout(self) -> tuple[list[str], list[str]]:
        """The Format line's column names and the dataset column of each."""
        line, text = self.keywords["Format"]
        names = text.split()[1:] if self.format_code() is not None else text.split()
        if not names:
            raise self.fail(line, None, f"the Format line names no columns: expected "
                            f"{_EXPECTED_FORMAT}")
        keys = [_COLUMNS.get(name.upper(), name) for name in names]
        repeat = first_repeat(keys)
        if repeat is not None:
            raise self.fail(line, names[repeat[1]], "the column is named twice")
        for key, name in zip(keys, names):
            value = key.removesuffix("_sigma")
            if key != value and value in _FORMAT_NAMES and value not in keys:
                raise self.fail(line, name, f"given without a {_FORMAT_NAMES[value]} column")
        if "pressure" not in keys:
            raise self.fail(line, None, "the Format line names no P column")
        if "volume" not in keys:
            self.check_cell(line, keys)
        return names, keys

    def check_cell(self, line: int, keys: list[str]) -> None:
        given = {key for key in keys if key in PARAMETERS}
        if not given:
            raise self.fail(line, None, "the Format line names no V column and no cell "
                            "parameters (A B C ALPHA BETA GAMMA)")
        if "System" not in self.keywords:
            raise self.fail(line, None, "cell parameters without V need a System line to give "
                            f"volumes: expected System followed by one of {', '.join(SYSTEMS)}")
        system = self.system()
        missing = [_FORMAT_NAMES[p] for p in required(system, given) if p not in given]
        if missing:
            raise self.fail(line, None, f"{_article(system)} {system} cell needs the columns "
                            f"{' '.join(_FORMAT_NAMES[p] for p in required(system, given))}; "
                            f"missing {' '.join(missing)}")

    def columns(self, names: list[str], keys: list[str], targets: dict[str, str],
                formula_units: int | None) -> list[Column | str]:
        written = {"pressure": self.unit("Pscale", units.pressure_unit, "GPa"),
                   "volume": self.unit("Vscale", units.volume_unit, CELL_VOLUME_UNIT),
                   "temperature": self.unit("Tscale", units.temperature_unit, "K")}
        layout: list[Column | str] = []
        for key, name in zip(keys, names):
            quantity = key.removesuffix("_sigma")
            if key in STANDARD_COLUMNS:
                layout.append(self.measured(key, name, written[quantity], targets[quantity],
                                            formula_units, self.keywords["Format"][0]))
            elif quantity in PARAMETERS:
                layout.append(Column(key, name, functools.partial(_cell_problem, key)))
            else:
                layout.append(name)
        return layout

    def table(self, pressure_unit: str | None, volume_unit: str | None,
              formula_units: int | None, skip_incomplete: bool
              ) -> tuple[dict[str, Any], dict[str, Any]]:
        names, keys = self.layout()
        from_cell = "volume" not in keys
        file_volume = CELL_VOLUME_UNIT if from_cell else \
            self.unit("Vscale", units.volume_unit, CELL_VOLUME_UNIT)
        targets = {
            "pressure": _target(units.pressure_unit, pressure_unit,
                                self.unit("Pscale", units.pressure_unit, "GPa")),
            "volume": _target(units.volume_unit, volume_unit, file_volume),
            "temperature": TEMPERATURE_UNIT}
        layout = self.columns(names, keys, targets, formula_units)
        values, zeros, lines = self.values(layout, keys, from_cell, skip_incomplete)
        extra = {key: np.array(values[key]) if key.removesuffix("_sigma") in PARAMETERS
                 else extra_values(values[key]) for key in keys if key not in STANDARD_COLUMNS}
        columns: dict[str, Any] = {key: np.array(values[key]) for key in keys
                                   if key in STANDARD_COLUMNS}
        if from_cell:
            columns["volume"], columns["volume_sigma"] = self.volumes(
                extra, lines, targets["volume"], formula_units)
        if zeros:
            rows = len(set().union(*zeros.values()))
            counts = ", ".join(f"{name} in {len(found)}" for name, found in zeros.items())
            self.notes.append(f"{plural(rows, 'row')} had a zero sigma, read as not reported "
                              f"({counts})")
        columns.setdefault("temperature", None)
        return dict(columns, pressure_unit=targets["pressure"],
                    volume_unit=targets["volume"]), extra

    def values(self, layout: list[Column | str], keys: list[str], from_cell: bool,
               skip_incomplete: bool) -> tuple[dict[str, list[Any]], dict[str, set[int]], list[int]]:
        """Each column's values over the rows kept, the rows with a zero sigma per
        column, and the line of each row kept."""
        needed = [column for column in layout if isinstance(column, Column) and (
            column.key in MEASURED or from_cell and column.key in PARAMETERS)]
        values: dict[str, list[Any]] = {key: [] for key in keys}
        zeros: dict[str, set[int]] = {}
        lines: list[int] = []
        skipped = []
        for line, tokens in self.rows:
            if len(tokens) != len(layout):
                short = layout[len(tokens)] if len(tokens) < len(layout) else None
                raise self.fail(line, short.name if isinstance(short, Column) else short,
                                f"{plural(len(tokens), 'value')}, but the Format line names "
                                f"{len(layout)} columns")
            row: dict[str, Any] = {}
            for token, column in zip(tokens, layout):
                if isinstance(column, str):
                    row[column] = token
                    continue
                row[column.key] = self.number(token, line, column)
                if column.key.endswith("_sigma") and row[column.key] == 0.0:
                    row[column.key] = math.nan
                    zeros.setdefault(column.name, set()).add(line)
            missing = next((column for column in needed if math.isnan(row[column.key])), None)
            if missing is not None:
                if not skip_incomplete:
                    raise self.fail(line, missing.name, "no value; pass skip_incomplete=True to "
                                    "skip rows without one")
                skipped.append(line)
                for found in zeros.values():
                    found.discard(line)
                continue
            lines.append(line)
            for key, value in row.items():
                values[key].append(value)
        if not lines:
            raise self.fail(self.last_line, None, "no data rows")
        if skipped:
            self.notes.append(skipped_note(skipped, "incomplete"))
        return values, {name: found for name, found in zeros.items() if found}, lines

    def volumes(self, extra: dict[str, Any], lines: list[int], unit: str,
                formula_units: int | None) -> tuple[Any, Any]:
        system = self.system()
        given = {p: extra[p] for p in PARAMETERS if p in extra}
        for p, tie in ties(system, set(given)).items():
            if p in given:
                expected = given[tie] if isinstance(tie, str) else np.full(len(lines), tie)
                wrong = np.flatnonzero(~np.isclose(given[p], expected, rtol=1e-6, atol=0.0))
                if len(wrong):
                    row = int(wrong[0])
                    what = _FORMAT_NAMES[tie] if isinstance(tie, str) else f"{tie:g}"
                    raise self.fail(lines[row], _FORMAT_NAMES[p], f"{given[p][row]:g} in "
                                    f"{_article(system)} {system} cell must equal {what} "
                                    f"({expected[row]:g})")
        sigmas = {p: extra[f"{p}_sigma"] for p in given if f"{p}_sigma" in extra}
        volume, sigma = cell_volume(system, given, sigmas)
        closed = ~np.isnan(volume)
        if not closed.all():
            row = int(np.argmin(closed))
            raise self.fail(lines[row], None, "the cell parameters give no volume: the angles "
                            "close no cell")
        self.notes.append(f"volumes computed from the cell parameters of a {system} cell, "
                          "esds propagated")
        try:
            factor = units.volume_factor(CELL_VOLUME_UNIT, unit, formula_units)
        except ValueError as error:
            raise self.fail(self.keywords["Format"][0], None, str(error)) from None
        if unit != CELL_VOLUME_UNIT:
            self.notes.append(conversion_note("volume", CELL_VOLUME_UNIT, unit))
        return volume * factor, sigma * factor


def _article(word: str) -> str:
    return "an" if word[0] in "aeiou" else "a"


def _target(canonical: Callable[[str], str], given: str | None, written: str) -> str:
    return written if given is None else canonical(given)


def write_eosfit(dataset: Dataset, destination: Source) -> None:
    """Write a dataset as a keyword data file that :func:`read_eosfit` reads back equal.

    The columns are P SIGP V SIGV, then T SIGT for a dataset with
    temperatures, then the cell parameters among the extra columns (``a``,
    ``a_sigma`` ... ``gamma_sigma``) and the other extra columns by their
    names. A sigma that is not reported is written as 0, as the field
    writes it (so an exactly zero sigma reads back as not reported);
    numbers in their shortest form that reads back to the same float. The
    citation, DOI, Z, n and metadata go into ``# key: value`` comments, a
    ``system`` in the metadata into the ``System`` line.

    Raises
    ------
    ValueError
        Before anything is written, for what the file cannot hold: a unit
        the format does not know, a line break in a text field, an extra
        column whose name or values are not single words or whose name
        reads back as another column.

    Examples
    --------
    >>> import io
    >>> from barometra.data import Dataset, write_eosfit
    >>> data = Dataset(pressure=[0.0001, 4.76], volume=[46.56, 45.82],
    ...                volume_sigma=[0.02, 0.02], name="stishovite")
    >>> out = io.StringIO()
    >>> write_eosfit(data, out)
    >>> print(out.getvalue(), end="")
    Title stishovite
    Pscale GPa
    Vscale A^3/cell
    Format 1 P SIGP V SIGV
    Data
    0.0001  0  46.56  0.02
      4.76  0  45.82  0.02
    """
    text = _eosfit_text(dataset)
    if isinstance(destination, (str, os.PathLike)):
        with open(destination, "w", encoding="utf-8", newline="") as stream:
            stream.write(text)
    else:
        destination.write(text)


def _single_line(what: str, text: str) -> str:
    if "\n" in text or "\r" in text:
        raise ValueError(f"{what} has a line break, which a data file cannot hold")
    return text


def _written_columns(dataset: Dataset) -> dict[str, Any]:
    """Format name -> values, in the order the file gives them."""
    columns: dict[str, Any] = {_FORMAT_NAMES[key]: getattr(dataset, key)
                               for key in STANDARD_COLUMNS if getattr(dataset, key) is not None}
    cell = [key for p in PARAMETERS if p in dataset.extra for key in (p, f"{p}_sigma")
            if key in dataset.extra]
    columns |= {_FORMAT_NAMES[key]: dataset.extra[key] for key in cell}
    for name, values in dataset.extra.items():
        if name in cell:
            continue
        if not name or re.search(r"\s|#", name) or name.upper() in _COLUMNS:
            raise ValueError(f"extra column {name!r} cannot be written: its name must be one "
                             "word, without #, that names no column of the format")
        if values.dtype.kind == "U" and any(not word or re.search(r"\s|#", word)
                                            for word in values):
            raise ValueError(f"extra column {name!r} cannot be written: its values must be "
                             "single words without #")
        columns[name] = values
    return columns


def _eosfit_text(dataset: Dataset) -> str:
    lines = [f"Title {_single_line('name', dataset.name)}".rstrip()]
    fields = {key: getattr(dataset, key) for key in _FIELDS}
    fields |= {key: value for key, value in dataset.metadata.items()
               if key not in ("system", "format")}
    for key, value in fields.items():
        if value is None or value == "":
            continue
        if not re.fullmatch(r"[A-Za-z_]\w*", key):
            raise ValueError(f"metadata key {key!r} cannot be written: it must be one word")
        lines.append(f"# {key}: {_single_line(key, str(value))}")
    lines.append(f"Pscale {units.ascii_label(units.pressure_unit(dataset.pressure_unit))}")
    lines.append(f"Vscale {units.ascii_label(units.volume_unit(dataset.volume_unit))}")
    if dataset.temperature is not None:
        lines.append(f"Tscale {TEMPERATURE_UNIT}")
    system = dataset.metadata.get("system")
    if system is not None:
        if system not in SYSTEMS:
            raise ValueError(f"unknown system {system!r} in the metadata: expected one of "
                             f"{', '.join(SYSTEMS)}")
        lines.append(f"System {system}")
    code = dataset.metadata.get("format", "1")
    if not code.isdigit():
        raise ValueError(f"format {code!r} in the metadata: expected an integer")
    columns = _written_columns(dataset)
    lines += [f"Format {code} {' '.join(columns)}", "Data"]
    cells = [[_word(value, name.startswith("SIG")) for value in values]
             for name, values in columns.items()]
    widths = [max(map(len, column)) for column in cells]
    lines += ["  ".join(cell.rjust(width) for cell, width in zip(row, widths))
              for row in zip(*cells)]
    return "\n".join(lines) + "\n"


def _word(value: Any, sigma: bool) -> str:
    if isinstance(value, str):
        return value
    number = float(value)
    if math.isnan(number) and sigma:
        return "0"  # the field's "not reported"
    return repr(number)
