"""The tables of models in the docstring of :mod:`barometra.eos`."""

from __future__ import annotations

from collections.abc import Iterable, Sequence

from ._base import EngineModel
from ._isothermal import IsothermalEos
from ._thermal import ThermalEos


def _table(headers: tuple[str, ...], rows: Sequence[tuple[str, ...]]) -> str:
    """An reStructuredText simple table."""
    widths = [max(len(cell) for cell in column) for column in zip(headers, *rows)]
    rule = "  ".join("=" * width for width in widths)
    lines = [rule, "  ".join(cell.ljust(width) for cell, width in zip(headers, widths)).rstrip(),
             rule]
    lines += ["  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip()
              for row in rows]
    return "\n".join([*lines, rule])


def _thermal_parameters(cls: type[ThermalEos]) -> str:
    """The first few numbers after reference and tr, and whether there are options."""
    numbers = [name for name in cls._native_names if name != "tr"]
    shown = ", ".join(numbers[:4]) + (", ..." if len(numbers) > 4 else "")
    return shown + ("; options" if cls._option_names else "")


def overview(doc: str, classes: Iterable[type[EngineModel]]) -> str:
    """``doc`` with its ``{isothermal}`` and ``{thermal}`` tables filled in."""
    models = list(dict.fromkeys(cls for cls in classes if "_model" in vars(cls)))
    isothermal = [(f":class:`{cls.__name__}`", ", ".join(f"``{alias}``" for alias in cls._aliases),
                   ", ".join(cls._parameter_names))
                  for cls in models if issubclass(cls, IsothermalEos)]
    thermal = [(f":class:`{cls.__name__}`",
                " ".join(f"``{alias}``" for alias in cls._aliases), _thermal_parameters(cls))
               for cls in models if issubclass(cls, ThermalEos)]
    return doc.format(
        isothermal=_table(("Class", "Alias", "Parameters"), isothermal),
        thermal=_table(("Class", "Alias", "Parameters after reference, tr"), thermal))
