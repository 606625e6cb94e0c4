"""What the file readers share: opening, faults that name the place, columns and units."""

from __future__ import annotations

import contextlib
import functools
import math
import os
from collections.abc import Callable, Hashable, Iterable, Iterator, Sequence
from dataclasses import dataclass
from typing import IO, Any

import numpy as np

from .. import units
from ..errors import DataFileError
from ._dataset import plural, value_problem

Source = str | os.PathLike[str] | IO[str]

#: Quantity -> the canonical label of a spelling of its unit.
CANONICAL = {"pressure": units.pressure_unit, "volume": units.volume_unit,
             "temperature": units.temperature_unit}


def open_source(source: Source) -> tuple[IO[str], str, bool]:
    """The text stream, the name errors give it, and whether the caller must close it."""
    if isinstance(source, (str, os.PathLike)):
        # utf-8-sig: spreadsheets often start the file with a byte-order mark.
        return open(source, encoding="utf-8-sig", newline=""), os.fspath(source), True
    return source, str(getattr(source, "name", "<stream>")), False


def default_name(path: str) -> str:
    return os.path.splitext(os.path.basename(path))[0]


@dataclass(frozen=True)
class Column:
    """One column of a file: where it goes in the dataset, its name in the file,
    the rule its values obey, and the conversion into the dataset's unit."""

    key: str
    name: str
    problem: Callable[[float], str | None]
    scale: float = 1.0
    offset: float = 0.0
    unit: str = ""


class FileReader:
    """Parses one file; every fault names the file, the line and the column."""

    def __init__(self, path: str) -> None:
        self.path = path
        self.notes: list[str] = []  # what the reading did to the data

    def fail(self, line: int | None, column: str | None, problem: str) -> DataFileError:
        where = self.path if line is None else f"{self.path}, line {line}"
        where += "" if column is None else f", column {column!r}"
        return DataFileError(f"{where}: {problem}", field=column, path=self.path, line=line)

    @contextlib.contextmanager
    def reading(self, stream: IO[str], owned: bool) -> Iterator[None]:
        """Where the stream is read: text that is not UTF-8 is a fault of the file, and
        an ``owned`` stream is closed after."""
        try:
            yield
        except UnicodeDecodeError as error:
            raise self.fail(None, None, f"not UTF-8 text ({error.reason})") from None
        finally:
            if owned:
                stream.close()

    def number(self, text: str, line: int, column: Column) -> float:
        """The cell's number in the dataset's unit; NaN for an empty cell."""
        text = text.strip()
        if not text:
            return math.nan
        try:
            raw = float(text)
        except ValueError:
            raise self.fail(line, column.name, f"{text!r} is not a number") from None
        value = raw * column.scale  # the product alone keeps a -0.0
        if column.offset:
            value += column.offset
        problem = column.problem(value)
        if problem is not None and problem != "is missing":
            shown = repr(text) if value == raw or math.isnan(raw) else \
                f"{text!r} ({value:g} {column.unit})"
            raise self.fail(line, column.name, f"{shown} {problem}")
        return value

    def measured(self, key: str, name: str, source: str | None, target: str,
                 formula_units: int | None, line: int) -> Column:
        """The standard column ``key``, converted from the file's unit (None: already in
        the dataset's) to ``target``; a conversion is noted once per quantity."""
        problem = functools.partial(value_problem, key)
        if source is None:
            return Column(key, name, problem, unit=target)
        quantity = key.removesuffix("_sigma")
        try:
            scale, offset = conversion(key, source, target, formula_units)
            target = CANONICAL[quantity](target)
        except ValueError as error:
            raise self.fail(line, name, str(error)) from None
        note = conversion_note(quantity, source, target)
        if source != target and note not in self.notes:
            self.notes.append(note)
        return Column(key, name, problem, scale, offset, target)


def first_repeat(keys: Iterable[Hashable]) -> tuple[int, int] | None:
    """The positions of the first key met twice, the earlier one first.

    One dictionary look-up per key, so a header of many columns costs time in
    proportion to its length.
    """
    seen: dict[Hashable, int] = {}
    for position, key in enumerate(keys):
        first = seen.setdefault(key, position)
        if first != position:
            return first, position
    return None


def conversion(key: str, source: str, target: str,
               formula_units: int | None) -> tuple[float, float]:
    """``(scale, offset)`` taking the dataset column ``key`` from ``source`` to ``target``."""
    quantity = key.removesuffix("_sigma")
    if quantity == "pressure":
        return units.pressure_factor(source, target), 0.0
    if quantity == "volume":
        return units.volume_factor(source, target, formula_units), 0.0
    return units.temperature_affine(source, target, difference=key != quantity)


def conversion_note(quantity: str, source: str, target: str) -> str:
    return f"{quantity}s converted from {source} to {target}"


def skipped_note(lines: Sequence[int], why: str) -> str:
    where = "line" if len(lines) == 1 else "lines"
    return f"skipped {plural(len(lines), why + ' row')} ({where} {', '.join(map(str, lines))})"


def extra_values(cells: list[str]) -> Any:
    """Numbers when every cell is one or empty (NaN), strings otherwise."""
    try:
        return np.array([float(cell) if cell else math.nan for cell in cells])
    except ValueError:
        return np.array(cells, dtype=str)
