"""What every pressure scale shares: its key and source, its value semantics,
and the two records its uncertainties come in."""

from __future__ import annotations

import functools
from dataclasses import dataclass
from typing import Any, ClassVar, NamedTuple

import numpy as np
import numpy.typing as npt

from .._arrays import FloatArray, as_float64_array
from ..errors import ValidationError


class PressureUncertainty(NamedTuple):
    """The standard error of a pressure and its two independent parts (GPa).

    ``measurement`` comes from the uncertainties of what was measured (a
    volume and a temperature, or a line position), ``parameters`` from the
    published standard errors of the scale's own parameters, and ``total``
    is their quadrature sum. Each is a float for scalar input, else an array
    of the inputs' broadcast shape.
    """

    total: Any
    measurement: Any
    parameters: Any


@dataclass(frozen=True)
class ScaleParameter:
    """One parameter of a scale that has a published standard error.

    ``name`` is the model's own (``"k0_prime"``, ``"gamma0"``; a thermal
    model's reference parameter as ``"reference.x"`` where the bare name is
    ambiguous), ``native`` the engine's (``"rt_eos.K0_prime"``), and
    ``value`` and ``standard_error`` are in the units the model computes in
    (a thermal model's ``v0`` in J/bar).
    """

    name: str
    native: str
    value: float
    standard_error: float


def _text(value: object, name: str) -> str:
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a string, not {type(value).__name__}")
    return value


class PressureScale:
    """Base of the pressure scales: a key, its source and whether the set was
    checked against the source's own table, as immutable values."""

    __slots__ = ("key", "citation", "doi", "checked", "notes")

    #: What the scale reads a pressure from, for listings.
    kind: ClassVar[str] = ""

    key: str
    citation: str
    doi: str
    checked: bool
    notes: str

    def __init__(self, key: str, *, citation: str = "", doi: str = "", checked: bool = False,
                 notes: str = "") -> None:
        if not _text(key, "key").strip():
            raise ValueError("a scale's key must not be empty")
        if not isinstance(checked, bool):
            raise TypeError(f"checked must be True or False, not {type(checked).__name__}")
        self._set(key=key, citation=_text(citation, "citation"), doi=_text(doi, "doi"),
                  checked=checked, notes=_text(notes, "notes"))

    def _set(self, **values: Any) -> None:
        for name, value in values.items():
            object.__setattr__(self, name, value)

    def _arguments(self) -> dict[str, Any]:
        """The constructor's keyword arguments that rebuild this scale."""
        return {"key": self.key, "citation": self.citation, "doi": self.doi,
                "checked": self.checked, "notes": self.notes}

    def replace(self, **changes: Any) -> Any:
        """A new scale of the same class with some arguments changed (``key``,
        ``citation``, ...), validated again."""
        return type(self)(**{**self._arguments(), **changes})

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError(f"{type(self).__name__} is immutable: use replace()")

    def __delattr__(self, name: str) -> None:
        raise AttributeError(f"{type(self).__name__} is immutable")

    def __eq__(self, other: object) -> bool:
        if type(other) is not type(self):
            return NotImplemented
        return self._arguments() == other._arguments()

    def __hash__(self) -> int:
        return hash((type(self), self.key))

    def __reduce__(self) -> tuple[Any, ...]:
        return (functools.partial(type(self), **self._arguments()), ())

    def describe(self) -> str:
        """One line: key, what it reads, source and whether it was checked."""
        source = "; ".join(filter(None, (self.citation, self.doi and f"doi:{self.doi}")))
        checked = "" if self.checked else "not checked against the source's table"
        return "; ".join(filter(None, (f"{self.key}: {self._subject()}", source, checked)))

    def _subject(self) -> str:
        return self.kind

    def __repr__(self) -> str:
        source = f"; {self.citation}" if self.citation else ""
        return f"<{type(self).__name__} {self.key!r}: {self._subject()}{source}>"


def broadcast(values: tuple[npt.ArrayLike, ...], names: tuple[str, ...]) -> tuple[FloatArray, ...]:
    """The values as float64 arrays of one broadcast shape."""
    arrays = [as_float64_array(value, name) for value, name in zip(values, names)]
    try:
        return tuple(np.broadcast_arrays(*arrays))
    except ValueError:
        shapes = ", ".join(f"{name} {array.shape}" for name, array in zip(names, arrays))
        raise ValueError(f"shapes do not broadcast together: {shapes}") from None


def check_sigma(sigma: FloatArray, name: str) -> None:
    """A standard uncertainty must be zero or positive, and finite."""
    if not np.all((sigma >= 0.0) & np.isfinite(sigma)):
        raise ValidationError(f"{name} must be zero or positive and finite", field=name)


def scalar_or_array(values: FloatArray, scalar: bool) -> Any:
    return float(values) if scalar else values
