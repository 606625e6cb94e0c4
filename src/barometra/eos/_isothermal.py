"""The isothermal (reference-temperature) family: its engine, methods and units.

The seventeen model classes are made from the engine's model table
(:mod:`barometra.eos._models`).
"""

from __future__ import annotations

import functools
from types import MappingProxyType
from typing import Any, ClassVar

from .. import units
from .._engine import RtEos
from ._base import EngineModel
from ._methods import KEYWORD_REQUIRED, EngineCall, quantity_method
from ._table import QuantityInfo

_UNITS = """\
The model converts no units: every volume shares the unit of ``v0`` (Å³ per
cell, cm³/mol, J/bar, ...) and every pressure and bulk modulus the unit of
``k0`` (GPa by convention). Nothing is guessed from the magnitudes. The
keywords ``pressure_unit``, ``volume_unit`` and ``formula_units`` (Z, for
volumes per cell) label them (any spelling :mod:`barometra.units` knows);
a fit then converts its data to these units, and results print them."""

_VOLUME = """\
volume : float or array_like
    Volumes, in the unit of ``v0``"""

_METHOD_DOCS = {
    "pressure": f"""Pressure P(V) at the given volume(s).

Parameters
----------
{_VOLUME}; positive and finite.

Returns
-------
float or ndarray
    Pressures in the unit of ``k0``: a float for a scalar volume, a
    new array of the same shape for an array.
""",
    "volume": """Volume V(P) at the given pressure(s): the inverse of :meth:`pressure`.

Parameters
----------
pressure : float or array_like
    Pressures, in the unit of ``k0``; finite.

Returns
-------
float or ndarray
    Volumes in the unit of ``v0``.

Raises
------
barometra.errors.EosValidationError
    With code ``"eos.outside_invertible_range"`` for a pressure the
    model cannot reach (a tension beyond its expansion range).
""",
    "bulk_modulus": f"""Isothermal bulk modulus K(V) = -V dP/dV at the given volume(s).

Parameters
----------
{_VOLUME}.

Returns
-------
float or ndarray
    Bulk moduli in the unit of ``k0``.
""",
}

_K_PRIME_DOC = f"""Pressure derivative of the bulk modulus, K' = dK/dP, at the given volume(s).

In closed form for every model, as exact as its bulk modulus. With
``epsilon``, a central difference of the bulk modulus over the volumes
V (1 ± epsilon) instead, which only :class:`Holzapfel` provides (the
former form of this method, kept for its callers).

Parameters
----------
{_VOLUME}.
epsilon : float, optional
    Relative volume step of the central difference, in (0, 1).

Returns
-------
float or ndarray
    K' (dimensionless).

Raises
------
barometra.errors.UnsupportedOperationError
    With ``epsilon``, for every model but :class:`Holzapfel`.
"""

_K_SECOND_DOC = f"""Second pressure derivative of the bulk modulus, K'' = d²K/dP², at the given volume(s).

In closed form for every model.

Parameters
----------
{_VOLUME}.

Returns
-------
float or ndarray
    K'' in the inverse unit of ``k0``.
"""

# The methods of K' and K'', and how they reach the engine.
_ONE_VOLUME = EngineCall("{}_scalar", "{}_array", named=False, arity=1)
_k_prime = quantity_method("bulk_modulus_derivative", ("volume",), _ONE_VOLUME, _K_PRIME_DOC,
                           quantity="bulk_modulus_pressure_derivative")
_k_prime_by_difference = quantity_method("bulk_modulus_derivative", ("volume",), _ONE_VOLUME,
                                         _K_PRIME_DOC, (("epsilon", KEYWORD_REQUIRED),))


def _bulk_modulus_derivative(self: Any, volume: Any, *, epsilon: float | None = None) -> Any:
    if epsilon is None:
        return _k_prime(self, volume)
    return _k_prime_by_difference(self, volume, epsilon=epsilon)


_bulk_modulus_derivative.__doc__ = _K_PRIME_DOC
_bulk_modulus_derivative.__annotations__ = {"volume": "npt.ArrayLike",
                                            "epsilon": "float | None",
                                            "return": "float | FloatArray"}
_bulk_modulus_derivative.is_quantity_method = True  # type: ignore[attr-defined]


def canonical_unit(kind: str, spelling: object) -> str:
    """The canonical label of a unit's spelling (remembered for strings: models are
    built often, from few spellings)."""
    if isinstance(spelling, str):
        return _canonical_unit(kind, spelling)
    refused: str = getattr(units, f"{kind}_unit")(spelling)  # raises its TypeError
    return refused


@functools.lru_cache(maxsize=256)
def _canonical_unit(kind: str, spelling: str) -> str:
    canonical: str = getattr(units, f"{kind}_unit")(spelling)
    return canonical


class IsothermalEos(EngineModel):
    """Base of the isothermal (reference-temperature) equations of state.

    Each subclass is one model, built from keyword parameters in lower-case
    notation (``v0``, ``k0``, ``k0_prime``, ...) and validated once; a model
    is an immutable, hashable value that compares equal to another of the
    same class with the same parameters, pickles, and has a ``repr`` that
    evaluates back to an equal model.

    The evaluations (:meth:`pressure`, :meth:`volume`, :meth:`bulk_modulus`
    and its pressure derivatives :meth:`bulk_modulus_derivative` and
    :meth:`bulk_modulus_second_derivative`) take a float or any array-like
    of real numbers.
    A float (or any 0-d input) gives a float; an array gives a new float64
    array of the input's shape. Invalid input raises
    :class:`~barometra.errors.EosValidationError`, a failed computation
    :class:`~barometra.errors.EosNumericalError`; no NaN or infinity is ever
    returned. For an array, the error is that of its first failing element.

    Examples
    --------
    >>> import numpy as np
    >>> from barometra import BM3
    >>> eos = BM3(v0=46.56, k0=296.0, k0_prime=4.2)
    >>> eos
    BirchMurnaghan3(v0=46.56, k0=296.0, k0_prime=4.2)
    >>> eos.pressure(46.56)
    0.0
    >>> eos.pressure(np.array([46.0, 45.0, 44.0])).round(3)
    array([ 3.674, 10.836, 18.853])
    >>> round(eos.volume(10.0), 6)
    45.11115
    >>> eos.replace(k0_prime=4.0) == BM3(v0=46.56, k0=296.0, k0_prime=4.0)
    True
    """

    __slots__ = ()

    _engine_class = RtEos
    _engine_call = EngineCall("{}_scalar", "{}_array", named=False, arity=1)
    _units = _UNITS
    # RtEos has every operation for every model and refuses for itself what
    # a model lacks, so the base class has every method.
    _every_quantity_on_base: ClassVar[bool] = True
    _unit_keywords = ("pressure_unit", "volume_unit", "formula_units")
    _method_names = MappingProxyType({
        "bulk_modulus_pressure_derivative": "bulk_modulus_derivative",
        "bulk_modulus_second_pressure_derivative": "bulk_modulus_second_derivative"})
    _engine: RtEos

    bulk_modulus_derivative = _bulk_modulus_derivative
    bulk_modulus_second_derivative = quantity_method(
        "bulk_modulus_second_derivative", ("volume",), _ONE_VOLUME, _K_SECOND_DOC,
        quantity="bulk_modulus_second_pressure_derivative")

    @property
    def implied_k0_double_prime(self) -> float | None:
        """K0'' as the model's form fixes it (BM3: -[(3 - K0')(4 - K0') + 35/9] / K0),
        or None where K0'' is a parameter of the model or not defined."""
        implied: float | None = self._engine.implied_k0_double_prime
        return implied

    @classmethod
    def _convert_units(cls, given: dict[str, Any], values: tuple[Any, ...]) -> tuple[Any, ...]:
        if not given:
            return (None, None, None)
        pressure, volume, z = (given.get(name) for name in cls._unit_keywords)
        return (None if pressure is None else canonical_unit("pressure", pressure),
                None if volume is None else canonical_unit("volume", volume),
                units.check_formula_units(z))

    @property
    def pressure_unit(self) -> str | None:
        """The label of the unit of pressures and ``k0``, or None when not given."""
        label: str | None = self._unit_values[0]
        return label

    @property
    def volume_unit(self) -> str | None:
        """The label of the unit of volumes and ``v0``, or None when not given."""
        label: str | None = self._unit_values[1]
        return label

    @property
    def formula_units(self) -> int | None:
        """Z, the formula units per unit cell, or None when not given."""
        z: int | None = self._unit_values[2]
        return z

    def quantity_unit(self, quantity: str) -> str:
        """The unit label of a quantity: the labels given, ``""`` where none is."""
        pressure, volume = self.pressure_unit or "", self.volume_unit or ""
        inverse = pressure and f"1/{pressure}"
        return {"pressure": pressure, "bulk_modulus": pressure, "volume": volume,
                "bulk_modulus_second_derivative": inverse,
                "implied_k0_double_prime": inverse}.get(quantity, "")

    @classmethod
    def _method_doc(cls, quantity: QuantityInfo) -> str:
        return _METHOD_DOCS.get(quantity.name) or super()._method_doc(quantity)



for _method in (IsothermalEos.bulk_modulus_derivative, IsothermalEos.bulk_modulus_second_derivative):
    _method.__qualname__ = f"IsothermalEos.{_method.__name__}"
del _method
