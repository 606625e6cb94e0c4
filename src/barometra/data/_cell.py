"""Unit-cell volumes from cell parameters, with their standard errors.

V = a b c sqrt(D), D = 1 - cos²α - cos²β - cos²γ + 2 cos α cos β cos γ,
with the parameters that the crystal system ties (b = a in a tetragonal
cell, γ = 120° in a hexagonal one) taken from the independent ones. The
esds of the independent parameters, taken as uncorrelated, propagate to first
order: σV² = Σ (∂V/∂p σp)², the derivative of a tied parameter added to that of
the parameter it equals.
"""

from __future__ import annotations

from collections.abc import Mapping

import numpy as np

from .._arrays import FloatArray

SYSTEMS = ("cubic", "tetragonal", "hexagonal", "trigonal", "orthorhombic", "monoclinic",
           "triclinic")
LENGTHS = ("a", "b", "c")
ANGLES = ("alpha", "beta", "gamma")
PARAMETERS = LENGTHS + ANGLES

_RIGHT: dict[str, str | float] = {"alpha": 90.0, "beta": 90.0, "gamma": 90.0}
_HEXAGONAL: dict[str, str | float] = {"b": "a", "alpha": 90.0, "beta": 90.0, "gamma": 120.0}
# Parameter -> the parameter it equals, or its fixed angle in degrees.
_TIES: dict[str, dict[str, str | float]] = {
    "cubic": {"b": "a", "c": "a", **_RIGHT},
    "tetragonal": {"b": "a", **_RIGHT},
    "hexagonal": _HEXAGONAL,
    "orthorhombic": dict(_RIGHT),
    "monoclinic": {},
    "triclinic": {},
}
_RHOMBOHEDRAL: dict[str, str | float] = {"b": "a", "c": "a", "beta": "alpha", "gamma": "alpha"}


def ties(system: str, given: set[str]) -> dict[str, str | float]:
    """What the system fixes, for a file that gives the parameters ``given``.

    A trigonal cell is on hexagonal axes when ``c`` is given, rhombohedral
    otherwise. In a monoclinic cell the angles not given are 90°.
    """
    if system == "trigonal":
        return dict(_HEXAGONAL) if "c" in given else dict(_RHOMBOHEDRAL)
    if system == "monoclinic":
        return {angle: 90.0 for angle in ANGLES if angle not in given}
    return dict(_TIES[system])


def required(system: str, given: set[str]) -> tuple[str, ...]:
    """The parameters the file must give for the volume of a cell of this system."""
    tied = ties(system, given)
    return tuple(p for p in PARAMETERS if p not in tied
                 and not (system == "monoclinic" and p in ANGLES))


def cell_volume(system: str, values: Mapping[str, FloatArray],
                sigmas: Mapping[str, FloatArray]) -> tuple[FloatArray, FloatArray]:
    """Volumes (Å³ per cell) and their esds, NaN where an esd the volume needs is
    not reported; NaN volumes where the angles close no cell.

    ``values`` and ``sigmas`` hold the parameters the file gives (angles in
    degrees); a tied parameter that the file also gives is read from its tie.
    """
    tied = ties(system, set(values))
    rows = len(next(iter(values.values())))
    full = {}
    for p in PARAMETERS:
        tie = tied.get(p, p)
        full[p] = np.full(rows, tie) if isinstance(tie, float) else np.asarray(values[tie])
    a, b, c = (full[p] for p in LENGTHS)
    cosine = {p: np.cos(np.radians(full[p])) for p in ANGLES}
    sine = {p: np.sin(np.radians(full[p])) for p in ANGLES}
    ca, cb, cg = (cosine[p] for p in ANGLES)
    determinant = 1.0 - ca**2 - cb**2 - cg**2 + 2.0 * ca * cb * cg
    # Angles that close no cell leave a determinant at or near zero, up to rounding.
    root = np.sqrt(np.where(determinant > 1e-12, determinant, np.nan))
    volume = a * b * c * root
    degree = np.pi / 180.0
    partial = {"a": b * c * root, "b": a * c * root, "c": a * b * root}
    for angle, (other, third) in zip(ANGLES, ((cb, cg), (ca, cg), (ca, cb))):
        partial[angle] = a * b * c * sine[angle] * (cosine[angle] - other * third) / root * degree
    variance = np.zeros(rows)
    for p in values:
        if p in tied:
            continue
        derivative = sum(partial[q] for q in PARAMETERS if tied.get(q, q) == p)
        term = (derivative * sigmas.get(p, np.full(rows, np.nan))) ** 2
        if system == "monoclinic" and p in ANGLES:
            term = np.where(values[p] == 90.0, 0.0, term)  # fixed by symmetry, not measured
        variance += term
    return volume, np.sqrt(variance)
