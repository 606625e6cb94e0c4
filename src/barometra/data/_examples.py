"""The published datasets bundled with the package."""

from __future__ import annotations

import json
from importlib import resources
from typing import Any

from ._csv import read_csv
from ._dataset import Dataset

#: The names :func:`load_example` accepts.
EXAMPLES = (
    "stishovite_300K_nishihara2005",
    "stishovite_pvt_nishihara2005",
    "bridgmanite_pvt_tange2012",
)


def _resource(name: str, suffix: str) -> Any:
    if name not in EXAMPLES:
        raise ValueError(f"no example dataset {name!r}; available: {', '.join(EXAMPLES)}")
    return resources.files(__package__).joinpath("examples", name + suffix)


def example_info(name: str) -> dict[str, Any]:
    """Everything known about a bundled dataset: citation, DOI, provenance, columns, units
    and the published fit, as stored in its JSON file (a new dict each time).

    Examples
    --------
    >>> from barometra.data import example_info
    >>> example_info("stishovite_300K_nishihara2005")["doi"]
    '10.1007/s00269-004-0426-7'
    """
    info: dict[str, Any] = json.loads(_resource(name, ".json").read_text(encoding="utf-8"))
    return info


def load_example(name: str) -> Dataset:
    """Load one of the bundled published datasets.

    ========================================  =====================================
    Name                                      Content
    ========================================  =====================================
    ``"stishovite_300K_nishihara2005"``       SiO2 stishovite, P-V at 300 K, 10 rows
    ``"stishovite_pvt_nishihara2005"``        SiO2 stishovite, P-V-T, 45 rows
    ``"bridgmanite_pvt_tange2012"``           MgSiO3 bridgmanite, P-V-T, 42 rows
    ========================================  =====================================

    Pressures are in GPa, volumes in Å³ per unit cell as the papers print
    them (:meth:`Dataset.to_molar_volume` converts them to J/bar per formula
    unit for the thermal models), temperatures in K. The dataset carries its
    citation, DOI, Z and n; :func:`example_info` has the provenance and the
    published fit.

    Examples
    --------
    >>> from barometra.data import load_example
    >>> data = load_example("stishovite_300K_nishihara2005")
    >>> len(data), data.pressure_unit, data.volume_unit, data.citation[:18]
    (10, 'GPa', 'Å³/cell', 'Nishihara, Y., Nak')
    >>> round(float(data.to_molar_volume().volume[0]), 5)
    1.40195
    """
    info = example_info(name)
    with _resource(name, ".csv").open("r", encoding="utf-8", newline="") as stream:
        return read_csv(stream, name=name, citation=info["citation"], doi=info["doi"],
                        formula_units_per_cell=info["Z_formula_units_per_cell"],
                        atoms_per_formula_unit=info["atoms_per_formula_unit"])
