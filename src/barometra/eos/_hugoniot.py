"""The linear shock-velocity/particle-velocity Hugoniot."""

from __future__ import annotations

from types import MappingProxyType
from typing import TYPE_CHECKING, Any, ClassVar, overload

import numpy.typing as npt

from .._arrays import FloatArray, evaluate
from .._engine import HugoniotEos
from ._base import EngineModel

__all__ = ["LinearUsUpHugoniot"]


class LinearUsUpHugoniot(EngineModel):
    """Shock Hugoniot whose shock velocity is linear in the particle velocity.

    Us = c0 + s up, from the unshocked reference state (v0, rho0, p0). With
    the compression η = 1 - V/V0 and D = 1 - s η, the states reached by one
    shock are Us = c0 / D, up = η c0 / D and P = p0 + ρ0 c0² η / D², for
    volumes from V0 down to (but excluding) V0 (1 - 1/s).

    Like the isothermal models, a Hugoniot is an immutable, hashable value
    built from keyword parameters, validated once, that pickles and has a
    ``repr`` that evaluates back to an equal model. Each method takes a
    float or any array-like of real numbers and gives a float or a new
    float64 array of the input's shape. Invalid input raises
    :class:`~barometra.errors.EosValidationError` (a volume above V0 or at
    or below V0 (1 - 1/s), a pressure below p0, a negative particle
    velocity), a failed computation
    :class:`~barometra.errors.EosNumericalError`; no NaN or infinity is ever
    returned.

    Parameters
    ----------
    v0 : float
        Volume of the unshocked material; positive.
    rho0 : float
        Density of the unshocked material; positive. Independent of ``v0``:
        the density on the Hugoniot is ρ = ρ0 V0 / V.
    c0 : float
        Bulk sound speed, the intercept of Us(up); positive.
    s : float
        Slope dUs/dup; positive.
    p0 : float, optional
        Pressure of the unshocked material; 0 by default.

    Units
    -----
    The model converts no units: volumes share the unit of ``v0``, densities
    that of ``rho0`` and velocities that of ``c0``; pressures come out in
    the unit of ρ0 c0² (g/cm³ with km/s gives GPa) and energies per unit mass
    in pressure per density (GPa per g/cm³ is kJ/g).

    Examples
    --------
    Copper (Marsh 1980), volumes in cm³/mol, densities in g/cm³, velocities
    in km/s, pressures in GPa:

    >>> import numpy as np
    >>> from barometra import LinearUsUpHugoniot
    >>> copper = LinearUsUpHugoniot(v0=7.113, rho0=8.93, c0=3.94, s=1.49)
    >>> copper
    LinearUsUpHugoniot(v0=7.113, rho0=8.93, c0=3.94, s=1.49, p0=0.0)
    >>> round(copper.pressure(6.0), 3)
    36.886
    >>> copper.shock_velocity([7.113, 6.0]).round(4)
    array([3.94  , 5.1379])
    >>> round(copper.volume(copper.pressure(6.0)), 12)
    6.0
    >>> round(copper.pressure_from_particle_velocity(1.0), 4)
    48.4899
    """

    __slots__ = ()

    #: The engine's name of the model.
    model_name: ClassVar[str] = "LinearUsUpHugoniot"
    _parameter_names = ("v0", "rho0", "c0", "s", "p0")
    _parameter_defaults = MappingProxyType({"p0": 0.0})
    _engine: HugoniotEos
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, rho0: float, c0: float, s: float,
                     p0: float = 0.0) -> None: ...

    @classmethod
    def _build_engine(cls, values: tuple[Any, ...]) -> HugoniotEos:
        return HugoniotEos.linear_us_up(*values)

    def _evaluate(self, quantity: str, values: npt.ArrayLike,
                  name: str) -> float | FloatArray:
        engine = self._engine
        if type(values) is float:
            return engine.evaluate_scalar(quantity, values)
        return evaluate(lambda x: engine.evaluate_scalar(quantity, x),
                        lambda x: engine.evaluate_array(quantity, x), values, name)

    @overload
    def pressure(self, volume: float) -> float: ...
    @overload
    def pressure(self, volume: npt.ArrayLike) -> FloatArray: ...
    def pressure(self, volume: npt.ArrayLike) -> float | FloatArray:
        """Pressure on the Hugoniot at the given volume(s), in the unit of ρ0 c0².

        Parameters
        ----------
        volume : float or array_like
            Volumes, in the unit of ``v0``; at most V0 and above V0 (1 - 1/s).

        Returns
        -------
        float or ndarray
            A float for a scalar volume, a new array of the same shape for
            an array; likewise for every method of this class.
        """
        return self._evaluate("pressure", volume, "volume")

    @overload
    def volume(self, pressure: float) -> float: ...
    @overload
    def volume(self, pressure: npt.ArrayLike) -> FloatArray: ...
    def volume(self, pressure: npt.ArrayLike) -> float | FloatArray:
        """Volume on the Hugoniot at the given pressure(s): the inverse of :meth:`pressure`.

        Parameters
        ----------
        pressure : float or array_like
            Pressures, in the unit of ρ0 c0²; at least ``p0``.

        Raises
        ------
        barometra.errors.EosValidationError
            With code ``"eos.outside_invertible_range"`` below ``p0``.
        """
        return self._evaluate("volume", pressure, "pressure")

    @overload
    def density(self, volume: float) -> float: ...
    @overload
    def density(self, volume: npt.ArrayLike) -> FloatArray: ...
    def density(self, volume: npt.ArrayLike) -> float | FloatArray:
        """Density ρ0 V0 / V at the given volume(s) on the Hugoniot, in the unit of ``rho0``."""
        return self._evaluate("density", volume, "volume")

    @overload
    def shock_velocity(self, volume: float) -> float: ...
    @overload
    def shock_velocity(self, volume: npt.ArrayLike) -> FloatArray: ...
    def shock_velocity(self, volume: npt.ArrayLike) -> float | FloatArray:
        """Shock velocity Us reaching the given volume(s), in the unit of ``c0``."""
        return self._evaluate("shock_velocity", volume, "volume")

    @overload
    def particle_velocity(self, volume: float) -> float: ...
    @overload
    def particle_velocity(self, volume: npt.ArrayLike) -> FloatArray: ...
    def particle_velocity(self, volume: npt.ArrayLike) -> float | FloatArray:
        """Particle velocity up behind a shock reaching the given volume(s), in the unit of c0."""
        return self._evaluate("particle_velocity", volume, "volume")

    @overload
    def tangent_modulus(self, volume: float) -> float: ...
    @overload
    def tangent_modulus(self, volume: npt.ArrayLike) -> FloatArray: ...
    def tangent_modulus(self, volume: npt.ArrayLike) -> float | FloatArray:
        """Tangent modulus -V dP/dV along the Hugoniot at the given volume(s).

        In the unit of pressure; ρ0 c0² at V0.
        """
        return self._evaluate("tangent_modulus", volume, "volume")

    @overload
    def specific_internal_energy_change(self, volume: float) -> float: ...
    @overload
    def specific_internal_energy_change(self, volume: npt.ArrayLike) -> FloatArray: ...
    def specific_internal_energy_change(self, volume: npt.ArrayLike) -> float | FloatArray:
        """Internal energy gained per unit mass, E - E0 = (P + p0)(1/ρ0 - 1/ρ) / 2.

        In pressure per density, at the given volume(s) on the Hugoniot.
        """
        return self._evaluate("specific_internal_energy_change", volume, "volume")

    @overload
    def volume_from_particle_velocity(self, particle_velocity: float) -> float: ...
    @overload
    def volume_from_particle_velocity(self, particle_velocity: npt.ArrayLike) -> FloatArray: ...
    def volume_from_particle_velocity(
        self, particle_velocity: npt.ArrayLike
    ) -> float | FloatArray:
        """Volume V0 (1 - up / Us) behind a shock of the given particle velocity(ies).

        Raises
        ------
        barometra.errors.EosValidationError
            For a negative particle velocity, or with code
            ``"eos.outside_invertible_range"`` where s < 1 takes the volume
            to zero.
        """
        return self._evaluate("volume_from_particle_velocity", particle_velocity,
                              "particle_velocity")

    @overload
    def pressure_from_particle_velocity(self, particle_velocity: float) -> float: ...
    @overload
    def pressure_from_particle_velocity(self, particle_velocity: npt.ArrayLike) -> FloatArray: ...
    def pressure_from_particle_velocity(
        self, particle_velocity: npt.ArrayLike
    ) -> float | FloatArray:
        """Pressure p0 + ρ0 Us up behind a shock of the given particle velocity(ies)."""
        return self._evaluate("pressure_from_particle_velocity", particle_velocity,
                              "particle_velocity")

    @overload
    def shock_velocity_from_particle_velocity(self, particle_velocity: float) -> float: ...
    @overload
    def shock_velocity_from_particle_velocity(
        self, particle_velocity: npt.ArrayLike
    ) -> FloatArray: ...
    def shock_velocity_from_particle_velocity(
        self, particle_velocity: npt.ArrayLike
    ) -> float | FloatArray:
        """Shock velocity c0 + s up for the given particle velocity(ies)."""
        return self._evaluate("shock_velocity_from_particle_velocity", particle_velocity,
                              "particle_velocity")
