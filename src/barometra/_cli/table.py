"""The fitted parameters as a table for a spreadsheet, a Markdown page or a LaTeX paper."""

from __future__ import annotations

import csv
import io
import math
import re
from dataclasses import dataclass

from ..fit import FitResult

FORMATS = ("csv", "markdown", "latex")

_GREEK = {"alpha", "beta", "gamma", "delta", "theta", "eta", "rho", "nu"}
_CAPITALS = {"v", "k", "p", "t"}
_SUPERSCRIPTS = {"²": "2", "³": "3", "⁻": "-", "¹": "1"}


@dataclass(frozen=True)
class _Row:
    name: str
    value: float
    error: float | None  # None: fixed; NaN: not determined by the data
    unit: str
    text: str            # value(esd) as the summary prints it

    @property
    def status(self) -> str:
        if self.error is None:
            return "fixed"
        return "fitted" if math.isfinite(self.error) else "not determined"


def parameter_table(result: FitResult, form: str) -> str:
    """The varied parameters, then the fixed ones: values, esds and units, as ``form``
    ("csv", "markdown" or "latex") writes them."""
    rows = _rows(result)
    if form == "csv":
        return _csv(rows)
    if form == "markdown":
        return _markdown(rows)
    if form == "latex":
        return _latex(rows)
    raise ValueError(f"table form must be one of {', '.join(FORMATS)}, not {form!r}")


def _rows(result: FitResult) -> list[_Row]:
    document = result.to_dict()
    rows = []
    for name, entry in document["parameters"].items():
        error = entry["standard_error"]  # null where it is not finite
        rows.append(_Row(name, entry["value"], math.nan if error is None else error,
                         entry["unit"], entry["formatted"]))
    for name, value in document["fixed"].items():
        rows.append(_Row(name, value, None, result.unit(name), _plain(value)))
    return rows


def _plain(value: float) -> str:
    return format(value, ".10g")


def _shown(row: _Row) -> str:
    """The value column of the text tables."""
    if row.status == "fixed":
        return f"{row.text} (fixed)"
    if row.status == "not determined":
        return f"{_plain(row.value)} (not determined)"
    return row.text


def _csv(rows: list[_Row]) -> str:
    stream = io.StringIO()
    writer = csv.writer(stream, lineterminator="\n")
    writer.writerow(["parameter", "value", "standard_error", "unit", "status"])
    for row in rows:
        error = "" if row.status != "fitted" else repr(row.error)
        writer.writerow([row.name, repr(row.value), error, row.unit, row.status])
    return stream.getvalue()


def _markdown(rows: list[_Row]) -> str:
    lines = ["| Parameter | Value | Unit |", "| --- | --- | --- |"]
    lines += [f"| {row.name} | {_shown(row)} | {row.unit} |" for row in rows]
    return "\n".join(lines) + "\n"


def _latex(rows: list[_Row]) -> str:
    lines = [r"\begin{tabular}{lll}", r"\hline", r"Parameter & Value & Unit \\", r"\hline"]
    for row in rows:
        value = f"${row.text if row.status == 'fitted' else _plain(row.value)}$"
        if row.status != "fitted":
            value += f" ({row.status})"
        lines.append(f"{latex_name(row.name)} & {value} & {latex_unit(row.unit)} \\\\")
    lines += [r"\hline", r"\end{tabular}"]
    return "\n".join(lines) + "\n"


def latex_name(name: str) -> str:
    """A parameter as a paper writes it: k0_prime as $K_0'$, theta0 as $\\theta_0$; names
    of no such form as escaped text."""
    base, primes = name, ""
    for suffix, marks in (("_double_prime", "''"), ("_prime", "'")):
        if base.endswith(suffix):
            base, primes = base.removesuffix(suffix), marks
            break
    match = re.fullmatch(r"([a-z]+?)(\d*)", base)
    if match is None or not (len(match[1]) == 1 or match[1] in _GREEK):
        return name.replace("_", r"\_")
    letters, digits = match.groups()
    symbol = (f"\\{letters}" if letters in _GREEK
              else letters.upper() if letters in _CAPITALS else letters)
    return f"${symbol}{f'_{{{digits}}}' if digits else ''}{primes}$"


def latex_unit(unit: str) -> str:
    """A unit label in LaTeX: Å³/cell as \\AA$^{3}$/cell."""
    text = unit.replace("Å", r"\AA{}").replace("°", r"$^\circ$")
    return re.sub(r"[²³⁻¹]+", lambda match: "$^{" + "".join(
        _SUPERSCRIPTS[c] for c in match[0]) + "}$", text)
