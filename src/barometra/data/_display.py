"""A dataset in words and as an HTML table (for notebooks)."""

from __future__ import annotations

import html
import math
from typing import TYPE_CHECKING

import numpy as np

from ._dataset import STANDARD_COLUMNS, TEMPERATURE_UNIT, plural

if TYPE_CHECKING:
    from ._dataset import Dataset

#: Rows that a notebook shows of a dataset.
HTML_ROWS = 10


def _units(data: Dataset) -> dict[str, str]:
    unit = {"pressure": data.pressure_unit, "volume": data.volume_unit,
            "temperature": TEMPERATURE_UNIT}
    return {key: unit[key.removesuffix("_sigma")] for key in STANDARD_COLUMNS}


def _number(value: float) -> str:
    # Ten digits show every digit people measure, not the noise of a conversion.
    return "" if math.isnan(value) else f"{value:.10g}"


def describe(data: Dataset) -> str:
    units = _units(data)
    lines = [f"{data.name or 'Dataset'}: {plural(len(data), 'row')}"]
    for key in ("pressure", "volume", "temperature"):
        values, sigmas = getattr(data, key), getattr(data, key + "_sigma")
        if values is None:
            continue
        span = (f"{values.min():.6g} to {values.max():.6g} {units[key]}"
                if len(values) else units[key])
        reported = int((~np.isnan(sigmas)).sum())
        sigma = "sigma not reported" if reported == 0 else \
            f"sigma in {reported} of {plural(len(data), 'row')}"
        lines.append(f"  {key:<12}  {span}, {sigma}")
    if data.extra:
        lines.append(f"  extra columns {', '.join(data.extra)}")
    counts = []
    if data.formula_units_per_cell is not None:
        counts.append(f"Z = {data.formula_units_per_cell} formula units per cell")
    if data.atoms_per_formula_unit is not None:
        counts.append(f"n = {data.atoms_per_formula_unit} atoms per formula unit")
    if counts:
        lines.append("  " + ", ".join(counts))
    source = " ".join(part for part in (data.citation, data.doi and f"doi:{data.doi}") if part)
    if source:
        lines.append(f"  {source}")
    lines += [f"  note: {note}" for note in data.notes]
    return "\n".join(lines)


def html_table(data: Dataset) -> str:
    units = _units(data)
    columns = [key for key in STANDARD_COLUMNS if getattr(data, key) is not None]
    columns += list(data.extra)
    arrays = [getattr(data, key) if key in units else data.extra[key] for key in columns]
    escape = html.escape
    head = "".join(f"<th>{escape(key)}" + (f"<br>({escape(units[key])})" if key in units else "")
                   + "</th>" for key in columns)
    body = []
    for row in range(min(len(data), HTML_ROWS)):
        cells = "".join(
            f"<td>{escape(value if isinstance(value, str) else _number(float(value)))}</td>"
            for value in (array[row] for array in arrays))
        body.append(f"<tr><th>{row}</th>{cells}</tr>")
    more = len(data) - HTML_ROWS
    caption = escape(f"{data.name or 'Dataset'}: {plural(len(data), 'row')}"
                     + (f", the first {HTML_ROWS} shown" if more > 0 else ""))
    notes = "".join(f"<li>{escape(note)}</li>" for note in data.notes)
    return (f"<div><table><caption>{caption}</caption><thead><tr><th></th>{head}</tr>"
            f"</thead><tbody>{''.join(body)}</tbody></table>"
            + (f"<ul>{notes}</ul>" if notes else "") + "</div>")
