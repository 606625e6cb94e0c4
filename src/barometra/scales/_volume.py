"""Volume calibrants: the pressure a calibrant's measured volume and
temperature give through the scale's thermal (or isothermal) model."""

from __future__ import annotations

import math
from collections.abc import Mapping
from types import MappingProxyType
from typing import Any

import numpy as np
import numpy.typing as npt

from .. import _engine, units
from .._arrays import FloatArray, as_float64_array, real_parameter
from ..eos import IsothermalEos, ThermalEos
from ..fit._parameters import model_parameters, resolve
from ._base import (PressureScale, PressureUncertainty, ScaleParameter, broadcast, check_sigma,
                    scalar_or_array)

_MOLAR = "J/bar"


class VolumeScale(PressureScale):
    """A pressure scale read from the volume of a calibrant (Au, Pt, MgO, ...).

    The scale is a model of :mod:`barometra.eos` and what a user needs to
    read it: the calibrant, its Z, the unit of the volumes it takes, and the
    published standard errors of the model's parameters. A thermal model
    computes in J/bar per formula unit; the scale converts the volumes it is
    given (Å³ per unit cell by default) with Z, through :mod:`barometra.units`.

    Parameters
    ----------
    key : str
        The scale's name, for example ``"Au-Fei2007"``.
    model : ThermalEos or IsothermalEos
        P(V, T), or P(V) for a scale valid at one temperature only.
    material : str
        The calibrant, for example ``"Au"`` or ``"NaCl (B2)"``.
    formula_units : int
        Z, the formula units per unit cell.
    model_volume_unit : str, optional
        The unit of the model's volumes (its reference's ``v0``): J/bar, the
        thermal models' unit, by default; any volume unit for an isothermal
        model.
    volume_unit : str, optional
        The unit of the volumes the scale takes and gives, Å³ per cell by
        default.
    standard_errors : mapping of str to float, optional
        Published standard errors of the model's parameters, by the model's
        parameter names (a thermal model's reference parameters by their bare
        names, or as ``"reference.k0"``), in the model's units.
    correlations : mapping of (str, str) to float, optional
        Published correlation coefficients between pairs of those parameters;
        the errors are independent otherwise.
    cubic : bool, optional
        Whether the calibrant is cubic, so that a lattice parameter a gives
        its cell volume a³.
    reference_temperature : float, optional
        The temperature (K) of an isothermal model, the one temperature at
        which the scale is valid; a thermal model's is its ``tr``.
    citation, doi, checked, notes
        The source, and whether the set was checked against its own table.

    Examples
    --------
    >>> from barometra import scales
    >>> gold = scales.get("Au-Fei2007")
    >>> gold.material, gold.formula_units, gold.volume_unit
    ('Au', 4, 'Å³/cell')
    >>> round(gold.pressure(60.1, 1500.0), 2)  # GPa at 60.1 Å³ per cell and 1500 K
    38.05
    >>> round(gold.volume(38.05, 1500.0), 3)
    60.1
    >>> gold.pressure([67.85, 60.1]).round(2)  # 300 K
    array([ 0.  , 28.97])
    """

    __slots__ = ("model", "material", "formula_units", "model_volume_unit", "volume_unit",
                 "standard_errors", "correlations", "cubic", "reference_temperature",
                 "_factor", "_uncertain", "_covariance")

    kind = "volume calibrant"

    model: ThermalEos | IsothermalEos
    material: str
    formula_units: int
    model_volume_unit: str
    volume_unit: str
    standard_errors: Mapping[str, float]
    correlations: Mapping[tuple[str, str], float]
    cubic: bool
    reference_temperature: float
    _factor: float  # from volume_unit to model_volume_unit
    _uncertain: tuple[ScaleParameter, ...]
    _covariance: FloatArray

    def __init__(self, key: str, model: ThermalEos | IsothermalEos, *, material: str,
                 formula_units: int, model_volume_unit: str = _MOLAR,
                 volume_unit: str = "Å³/cell",
                 standard_errors: Mapping[str, float] | None = None,
                 correlations: Mapping[tuple[str, str], float] | None = None,
                 cubic: bool = False, reference_temperature: float | None = None,
                 citation: str = "", doi: str = "", checked: bool = False,
                 notes: str = "") -> None:
        super().__init__(key, citation=citation, doi=doi, checked=checked, notes=notes)
        if not isinstance(model, (ThermalEos, IsothermalEos)):
            raise TypeError("model must be a thermal or isothermal model of barometra.eos, "
                            f"not {type(model).__name__}")
        if not isinstance(material, str) or not material.strip():
            raise ValueError("material must be a non-empty string")
        z = units.check_formula_units(formula_units)
        if z is None:
            raise ValueError("formula_units (Z) is required")
        model_unit = units.volume_unit(model_volume_unit)
        if isinstance(model, ThermalEos) and {model_unit, model.volume_unit} != {_MOLAR}:
            other = model_unit if model_unit != _MOLAR else model.volume_unit
            raise ValueError(f"a thermal model computes in J/bar per formula unit, not "
                             f"{other}: build it with v0 in J/bar")
        unit = units.volume_unit(volume_unit)
        self._set(model=model, material=material, formula_units=z,
                  model_volume_unit=model_unit, volume_unit=unit, cubic=bool(cubic),
                  reference_temperature=_reference_temperature(model, reference_temperature),
                  _factor=units.volume_factor(unit, model_unit, z))
        self._take_errors(standard_errors or {}, correlations or {})

    def _take_errors(self, standard_errors: Mapping[str, float],
                     correlations: Mapping[tuple[str, str], float]) -> None:
        parameters = model_parameters(self.model)
        values = _parameter_values(self.model)
        errors: dict[str, float] = {}
        for name, sigma in standard_errors.items():
            parameter = resolve(parameters, name, "standard_errors")
            sigma = real_parameter(type(self).__name__, f"standard error of {name}", sigma)
            if not (sigma >= 0.0 and math.isfinite(sigma)):
                raise ValueError(f"the standard error of {name!r} must be zero or positive and "
                                 f"finite, not {sigma!r}")
            errors[parameter.name] = sigma
        uncertain = tuple(ScaleParameter(name, parameter.native, values[name], errors[name])
                          for name, parameter in parameters.items() if errors.get(name, 0.0))
        index = {p.name: i for i, p in enumerate(uncertain)}
        correlation = np.eye(len(uncertain))
        pairs: dict[tuple[str, str], float] = {}
        for (first, second), rho in correlations.items():
            i, j = (index.get(resolve(parameters, name, "correlations").name)
                    for name in (first, second))
            if i is None or j is None or i == j:
                raise ValueError(f"correlations: ({first!r}, {second!r}) must name two "
                                 "different parameters with non-zero standard errors")
            rho = real_parameter(type(self).__name__, "correlation", rho)
            if not abs(rho) <= 1.0:
                raise ValueError(f"correlations: {rho!r} lies outside [-1, 1]")
            correlation[i, j] = correlation[j, i] = rho
            pairs[(uncertain[i].name, uncertain[j].name)] = rho
        if np.linalg.eigvalsh(correlation).min(initial=0.0) < -1e-12:
            raise ValueError("correlations: the matrix they make is not positive semidefinite")
        sigmas = np.array([p.standard_error for p in uncertain])
        self._set(standard_errors=MappingProxyType(errors),
                  correlations=MappingProxyType(pairs), _uncertain=uncertain,
                  _covariance=correlation * np.outer(sigmas, sigmas))

    def _arguments(self) -> dict[str, Any]:
        arguments = {**super()._arguments(), "model": self.model, "material": self.material,
                     "formula_units": self.formula_units,
                     "model_volume_unit": self.model_volume_unit,
                     "volume_unit": self.volume_unit,
                     "standard_errors": dict(self.standard_errors),
                     "correlations": dict(self.correlations), "cubic": self.cubic}
        if isinstance(self.model, IsothermalEos):
            arguments["reference_temperature"] = self.reference_temperature
        return arguments

    def _subject(self) -> str:
        reference = self.model.reference if isinstance(self.model, ThermalEos) else self.model
        thermal = f" + {type(self.model).__name__}" if isinstance(self.model, ThermalEos) else ""
        return f"{self.material} (Z = {self.formula_units}), {type(reference).__name__}{thermal}"

    @property
    def uncertain_parameters(self) -> tuple[ScaleParameter, ...]:
        """The model's parameters that have a published standard error, in the
        model's order, with their engine names and values."""
        return self._uncertain

    @property
    def parameter_covariance(self) -> FloatArray:
        """The covariance of :attr:`uncertain_parameters` (a new array)."""
        covariance: FloatArray = self._covariance.copy()
        return covariance

    def with_volume_unit(self, unit: str) -> VolumeScale:
        """The same scale taking and giving volumes in another unit."""
        scale: VolumeScale = self.replace(volume_unit=unit)
        return scale

    def model_volume(self, volume: npt.ArrayLike) -> Any:
        """Volumes in the scale's unit as the model's volumes (J/bar for a thermal model)."""
        if type(volume) is float:
            return volume * self._factor
        values = as_float64_array(volume, "volume")
        if self._factor != 1.0:
            values = values * self._factor
        return float(values) if values.ndim == 0 else values

    def pressure(self, volume: npt.ArrayLike, temperature: npt.ArrayLike = 300.0) -> Any:
        """The pressure (GPa) at the calibrant's volume(s) and temperature(s) (K).

        Volumes are in :attr:`volume_unit`; the two broadcast against each
        other with NumPy's rules. A volume outside the model's domain raises
        the model's own error.
        """
        if isinstance(self.model, ThermalEos):
            return self.model.pressure(self.model_volume(volume), temperature)
        self._check_isothermal(temperature)
        return self.model.pressure(self.model_volume(volume))

    def volume(self, pressure: npt.ArrayLike, temperature: npt.ArrayLike = 300.0) -> Any:
        """The calibrant's volume (in :attr:`volume_unit`) at the pressure(s) (GPa)
        and temperature(s) (K): the inverse of :meth:`pressure`."""
        if isinstance(self.model, ThermalEos):
            volume = self.model.volume(pressure, temperature)
        else:
            self._check_isothermal(temperature)
            volume = self.model.volume(pressure)
        return volume / self._factor if self._factor != 1.0 else volume

    def pressure_from_lattice_parameter(self, a: npt.ArrayLike,
                                        temperature: npt.ArrayLike = 300.0) -> Any:
        """The pressure (GPa) of a cubic calibrant from its lattice parameter a (Å),
        whose cell volume is a³."""
        return self.pressure(self.cell_volume(a), temperature)

    def cell_volume(self, a: npt.ArrayLike) -> Any:
        """The volume a³ of a cubic calibrant's cell, in :attr:`volume_unit`."""
        if not self.cubic:
            raise ValueError(f"{self.key}: the calibrant is not cubic, so its lattice "
                             "parameter alone gives no volume")
        return units.convert_volume(as_float64_array(a, "a") ** 3, "Å³/cell", self.volume_unit,
                                    self.formula_units)

    def pressure_uncertainty(self, volume: npt.ArrayLike, temperature: npt.ArrayLike = 300.0,
                             volume_sigma: npt.ArrayLike = 0.0,
                             temperature_sigma: npt.ArrayLike = 0.0) -> PressureUncertainty:
        """The standard error of :meth:`pressure` and its two parts.

        The measurement's part is K_T σV / V and (∂P/∂T)_V σT in quadrature,
        from the model's bulk modulus and thermal expansivity; the parameters'
        part propagates the published standard errors (and correlations) of
        the model's parameters by the delta method, the model rebuilt natively
        for each step. All to first order.

        Parameters
        ----------
        volume, temperature : float or array_like
            As for :meth:`pressure`.
        volume_sigma, temperature_sigma : float or array_like
            Standard uncertainties of the volume (its unit) and temperature (K).

        Returns
        -------
        PressureUncertainty
            ``(total, measurement, parameters)`` in GPa.
        """
        names = ("volume", "temperature", "volume_sigma", "temperature_sigma")
        v, t, v_sigma, t_sigma = broadcast((volume, temperature, volume_sigma,
                                            temperature_sigma), names)
        check_sigma(v_sigma, "volume_sigma")
        check_sigma(t_sigma, "temperature_sigma")
        scalar = v.ndim == 0
        thermal = isinstance(self.model, ThermalEos)
        if not thermal and np.any(t_sigma):
            raise ValueError(f"{self.key} is isothermal: its pressure does not depend on the "
                             "temperature, so temperature_sigma must be 0")
        self.pressure(v, t)  # the model's own error for a volume outside its domain
        vm = self.model_volume(v)
        second = t if thermal else None
        variance = np.zeros(v.shape)
        if np.any(v_sigma) or np.any(t_sigma):
            bulk = self._quantity("bulk_modulus", vm, second)
            variance += (bulk * v_sigma / v) ** 2
            if np.any(t_sigma):
                expansivity = self._quantity("thermal_expansivity", vm, second)
                variance += (expansivity * bulk * t_sigma) ** 2
        measurement = np.sqrt(variance)
        parameters = np.zeros(v.shape)
        if self._uncertain:
            parameters = _engine.delta_method(
                self.model._engine, [p.native for p in self._uncertain],
                np.array([p.value for p in self._uncertain]), self._covariance, "pressure",
                np.asarray(vm, dtype=np.float64),
                second)
        return PressureUncertainty(scalar_or_array(np.hypot(measurement, parameters), scalar),
                                   scalar_or_array(measurement, scalar),
                                   scalar_or_array(parameters, scalar))

    def _quantity(self, name: str, volume: FloatArray, temperature: FloatArray | None) -> Any:
        method = getattr(self.model, name)
        return method(volume) if temperature is None else method(volume, temperature)

    def _check_isothermal(self, temperature: npt.ArrayLike) -> None:
        if not np.all(as_float64_array(temperature, "temperature") ==
                      self.reference_temperature):
            raise ValueError(f"{self.key} is isothermal: it gives pressures at "
                             f"{self.reference_temperature!r} K only")


def _reference_temperature(model: ThermalEos | IsothermalEos, given: float | None) -> float:
    if isinstance(model, ThermalEos):
        if given is not None:
            raise ValueError("reference_temperature is for an isothermal model: a thermal "
                             "model's is its tr")
        tr: float = model.parameters["tr"]
        return tr
    temperature = real_parameter("VolumeScale", "reference_temperature",
                                 300.0 if given is None else given)
    if not (temperature > 0.0 and math.isfinite(temperature)):
        raise ValueError("reference_temperature must be positive and finite")
    return temperature


def _parameter_values(model: ThermalEos | IsothermalEos) -> dict[str, float]:
    """Every numeric parameter's value, by the canonical names of model_parameters."""
    values: dict[str, float] = {}
    for name, parameter in model_parameters(model).items():
        owner = model.reference if parameter.of_reference and isinstance(model, ThermalEos) \
            else model
        values[name] = owner.parameters[parameter.own]
    return values
