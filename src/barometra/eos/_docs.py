"""The Parameters and Notes (units) sections that every model class's docstring gets."""

from __future__ import annotations

import inspect
import re
import textwrap
from collections.abc import Mapping

_SECTION = re.compile(r"^\w[\w ]*\n-+$", re.MULTILINE)


def add_parameter_sections(doc: str, names: tuple[str, ...], types: Mapping[str, str],
                           descriptions: Mapping[str, str], units: str) -> str:
    """``doc`` with a Parameters section (and a Notes section on its units
    unless it has its own Notes) inserted before its first section."""
    doc = inspect.cleandoc(doc) + "\n"
    section = _SECTION.search(doc)
    at = section.start() if section else len(doc)
    lines = ["Parameters", "----------"]
    for name in names:
        lines.append(f"{name} : {types.get(name, 'float')}")
        lines.extend(textwrap.wrap(descriptions[name], 76, initial_indent="    ",
                                   subsequent_indent="    "))
    added = "\n".join(lines)
    if units and "\nNotes\n" not in doc:
        added += f"\n\nNotes\n-----\n{units}"
    return f"{doc[:at].rstrip()}\n\n{added}\n\n{doc[at:]}".rstrip() + "\n"
