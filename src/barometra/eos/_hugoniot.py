"""The shock-Hugoniot family: its engine and methods.

Its model class, :class:`LinearUsUpHugoniot`, is made from the engine's
model table (:mod:`barometra.eos._models`).
"""

from __future__ import annotations

from .._engine import HugoniotEos
from ._base import EngineModel
from ._methods import EngineCall
from ._table import QuantityInfo

_RETURNS = """
Returns
-------
float or ndarray
    A float for a scalar volume, a new array of the same shape for
    an array; likewise for every method of this class.
"""

_METHOD_DOCS = {
    "pressure": """Pressure on the Hugoniot at the given volume(s), in the unit of ρ0 c0².

Parameters
----------
volume : float or array_like
    Volumes, in the unit of ``v0``; at most V0 and above V0 (1 - 1/s).
""" + _RETURNS,
    "volume": """Volume on the Hugoniot at the given pressure(s): the inverse of :meth:`pressure`.

Parameters
----------
pressure : float or array_like
    Pressures, in the unit of ρ0 c0²; at least ``p0``.

Raises
------
barometra.errors.EosValidationError
    With code ``"eos.outside_invertible_range"`` below ``p0``.
""",
    "density": "Density ρ0 V0 / V at the given volume(s) on the Hugoniot, in the unit of "
               "``rho0``.",
    "shock_velocity": "Shock velocity Us reaching the given volume(s), in the unit of ``c0``.",
    "particle_velocity": "Particle velocity up behind a shock reaching the given volume(s), in "
                         "the unit of c0.",
    "tangent_modulus": """Tangent modulus -V dP/dV along the Hugoniot at the given volume(s).

In the unit of pressure; ρ0 c0² at V0.
""",
    "specific_internal_energy_change": """\
Internal energy gained per unit mass, E - E0 = (P + p0)(1/ρ0 - 1/ρ) / 2.

In pressure per density, at the given volume(s) on the Hugoniot.
""",
    "volume_from_particle_velocity": """\
Volume V0 (1 - up / Us) behind a shock of the given particle velocity(ies).

Raises
------
barometra.errors.EosValidationError
    For a negative particle velocity, or with code
    ``"eos.outside_invertible_range"`` where s < 1 takes the volume
    to zero.
""",
    "pressure_from_particle_velocity": "Pressure p0 + ρ0 Us up behind a shock of the given "
                                       "particle velocity(ies).",
    "shock_velocity_from_particle_velocity": "Shock velocity c0 + s up for the given particle "
                                             "velocity(ies).",
}


class Hugoniot(EngineModel):
    """Base of the shock Hugoniots: the states one shock reaches from a reference state."""

    __slots__ = ()

    _engine_class = HugoniotEos
    _engine_call = EngineCall("evaluate_scalar", "evaluate_array", named=True, arity=1)
    _engine: HugoniotEos

    @classmethod
    def _method_doc(cls, quantity: QuantityInfo) -> str:
        return _METHOD_DOCS.get(quantity.name) or super()._method_doc(quantity)
