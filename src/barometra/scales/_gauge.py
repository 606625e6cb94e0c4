"""Optical gauges: the pressure a spectral line's shift from its ambient
position gives (ruby and Sm:SrB4O7 luminescence, the diamond Raman edge)."""

from __future__ import annotations

import math
from collections.abc import Mapping
from types import MappingProxyType
from typing import Any, ClassVar

import numpy as np
import numpy.typing as npt

from .._engine import OpticalGauge as NativeGauge
from .._arrays import evaluate, real_parameter
from ._base import PressureScale, PressureUncertainty, broadcast, check_sigma, scalar_or_array

# Each formula and the constants it takes, in the engine's order.
FORMS = {
    "power_law": ("a", "b"),
    "quadratic": ("a", "b"),
    "rational": ("a", "b", "c"),
    "raman_edge": ("k0", "k0_prime"),
}
# The form that reads a Raman wavenumber; the others read a wavelength.
_WAVENUMBER_FORMS = frozenset({"raman_edge"})


class OpticalGauge(PressureScale):
    """Base of the optical gauges: a formula of the line's shift, its constants
    and their published standard errors.

    Parameters
    ----------
    key : str
        The gauge's name, for example ``"ruby-Shen2020"``.
    form : str
        The formula, with y the line's position and y0 its ambient position:
        ``"power_law"``, P = (a/b) [(y/y0)^b - 1]; ``"quadratic"``,
        P = a x (1 + b x) with x = (y - y0)/y0; ``"rational"``,
        P = a d (1 + b d)/(1 + c d) with d = y - y0; ``"raman_edge"``,
        P = k0 x [1 + (k0_prime - 1) x/2].
    constants : mapping of str to float
        The form's constants by name (``a``, ``b``, ``c``; ``k0``,
        ``k0_prime``), pressures in GPa.
    reference : float
        The default ambient position y0, which every method lets the caller
        replace with their own measurement.
    gauge : str, optional
        What is measured, for example ``"ruby R1"``.
    standard_errors : mapping of str to float, optional
        Published standard errors of the constants, independent.
    citation, doi, checked, notes
        The source, and whether the set was checked against its own values.
    """

    __slots__ = ("form", "constants", "standard_errors", "reference", "gauge", "_engine",
                 "_covariance")

    kind = "optical gauge"
    #: What the gauge reads, and its unit.
    position_name: ClassVar[str] = ""
    position_unit: ClassVar[str] = ""

    form: str
    constants: Mapping[str, float]
    standard_errors: Mapping[str, float]
    reference: float
    gauge: str
    _engine: NativeGauge
    _covariance: npt.NDArray[np.float64]

    def __init__(self, key: str, form: str, constants: Mapping[str, float], *,
                 reference: float, gauge: str = "",
                 standard_errors: Mapping[str, float] | None = None, citation: str = "",
                 doi: str = "", checked: bool = False, notes: str = "") -> None:
        super().__init__(key, citation=citation, doi=doi, checked=checked, notes=notes)
        if not self.position_name:
            raise TypeError("OpticalGauge is abstract: build a WavelengthGauge or a "
                            "WavenumberGauge")
        names = FORMS.get(form) if isinstance(form, str) else None
        if names is None:
            raise ValueError(f"unknown gauge form {form!r}; known: {', '.join(FORMS)}")
        reads = "wavenumber" if form in _WAVENUMBER_FORMS else "wavelength"
        if reads != self.position_name:
            raise ValueError(f"the {form} form reads a {reads}: use a "
                             f"{reads.capitalize()}Gauge")
        if sorted(constants) != sorted(names):
            raise ValueError(f"the {form} form takes the constants {', '.join(names)}, "
                             f"not {', '.join(constants) or 'none'}")
        values = {name: real_parameter(type(self).__name__, name, constants[name])
                  for name in names}
        engine = getattr(NativeGauge, form)(*values.values())
        errors = dict(standard_errors or {})
        unknown = sorted(set(errors) - set(names))
        if unknown:
            raise ValueError(f"standard_errors: the {form} form has no constant "
                             f"{', '.join(map(repr, unknown))}")
        sigmas = [real_parameter(type(self).__name__, f"standard error of {name}",
                                 errors.get(name, 0.0)) for name in names]
        if not all(sigma >= 0.0 and math.isfinite(sigma) for sigma in sigmas):
            raise ValueError("standard errors must be zero or positive and finite")
        y0 = real_parameter(type(self).__name__, "reference", reference)
        if not (y0 > 0.0 and math.isfinite(y0)):
            raise ValueError(f"reference must be a positive and finite {self.position_name}")
        if not isinstance(gauge, str):
            raise TypeError(f"gauge must be a string, not {type(gauge).__name__}")
        self._set(form=form, constants=MappingProxyType(values),
                  standard_errors=MappingProxyType({name: sigma for name, sigma
                                                    in zip(names, sigmas) if sigma > 0.0}),
                  reference=y0, gauge=gauge, _engine=engine,
                  _covariance=np.diag(np.square(sigmas)))

    def _arguments(self) -> dict[str, Any]:
        return {**super()._arguments(), "form": self.form, "constants": dict(self.constants),
                "reference": self.reference, "gauge": self.gauge,
                "standard_errors": dict(self.standard_errors)}

    def _subject(self) -> str:
        return f"{self.gauge or self.kind}, {self.position_name} in {self.position_unit}"

    def _reference(self, reference: npt.ArrayLike | None) -> npt.ArrayLike:
        return self.reference if reference is None else reference

    def _pressure(self, position: npt.ArrayLike, reference: npt.ArrayLike | None) -> Any:
        engine = self._engine
        return evaluate(engine.pressure_scalar, engine.pressure_array,
                        (position, self._reference(reference)),
                        (self.position_name, f"reference_{self.position_name}"))

    def _position(self, pressure: npt.ArrayLike, reference: npt.ArrayLike | None) -> Any:
        engine = self._engine
        return evaluate(engine.position_scalar, engine.position_array,
                        (pressure, self._reference(reference)),
                        ("pressure", f"reference_{self.position_name}"))

    def _uncertainty(self, position: npt.ArrayLike, reference: npt.ArrayLike | None,
                     position_sigma: npt.ArrayLike,
                     reference_sigma: npt.ArrayLike) -> PressureUncertainty:
        name = self.position_name
        names = (name, f"reference_{name}", f"{name}_sigma", f"reference_{name}_sigma")
        y, y0, y_sigma, y0_sigma = broadcast((position, self._reference(reference),
                                              position_sigma, reference_sigma), names)
        check_sigma(y_sigma, names[2])
        check_sigma(y0_sigma, names[3])
        total, measurement, constants = self._engine.uncertainty(y, y0, y_sigma, y0_sigma,
                                                                 self._covariance)
        scalar = y.ndim == 0
        return PressureUncertainty(scalar_or_array(total, scalar),
                                   scalar_or_array(measurement, scalar),
                                   scalar_or_array(constants, scalar))


class WavelengthGauge(OpticalGauge):
    """An optical gauge read from a luminescence line's wavelength (nm).

    See :class:`OpticalGauge` for the parameters.

    Examples
    --------
    >>> from barometra import scales
    >>> ruby = scales.get("ruby-Shen2020")
    >>> round(ruby.pressure(700.0), 2)  # GPa, against the default λ0 = 694.25 nm
    16.21
    >>> ruby.pressure([694.25, 700.0, 720.0], reference_wavelength=694.3).round(2)
    array([-0.13, 16.06, 83.64])
    >>> round(ruby.wavelength(16.21), 3)
    700.0
    >>> uncertainty = ruby.pressure_uncertainty(700.0, wavelength_sigma=0.02)
    >>> round(uncertainty.measurement, 3), round(uncertainty.parameters, 3)
    (0.059, 0.087)
    """

    __slots__ = ()

    position_name = "wavelength"
    position_unit = "nm"

    def pressure(self, wavelength: npt.ArrayLike,
                 reference_wavelength: npt.ArrayLike | None = None) -> Any:
        """The pressure (GPa) at the wavelength(s) (nm), against
        ``reference_wavelength`` (the gauge's ``reference`` by default).
        The two broadcast against each other."""
        return self._pressure(wavelength, reference_wavelength)

    def wavelength(self, pressure: npt.ArrayLike,
                   reference_wavelength: npt.ArrayLike | None = None) -> Any:
        """The wavelength (nm) at the pressure(s) (GPa): the inverse of :meth:`pressure`."""
        return self._position(pressure, reference_wavelength)

    def pressure_uncertainty(self, wavelength: npt.ArrayLike,
                             reference_wavelength: npt.ArrayLike | None = None,
                             wavelength_sigma: npt.ArrayLike = 0.0,
                             reference_wavelength_sigma: npt.ArrayLike = 0.0
                             ) -> PressureUncertainty:
        """The standard error of :meth:`pressure` (GPa) and its two parts: from
        the sigmas of the two wavelengths, and from the constants' published
        standard errors, both to first order in closed form."""
        return self._uncertainty(wavelength, reference_wavelength, wavelength_sigma,
                                 reference_wavelength_sigma)


class WavenumberGauge(OpticalGauge):
    """An optical gauge read from a Raman line's wavenumber (cm⁻¹).

    See :class:`OpticalGauge` for the parameters.

    Examples
    --------
    >>> from barometra import scales
    >>> diamond = scales.get("diamond-Akahama2006")
    >>> round(diamond.pressure(1500.0), 2)  # GPa, against ν0 = 1334 cm⁻¹
    79.71
    """

    __slots__ = ()

    position_name = "wavenumber"
    position_unit = "cm⁻¹"

    def pressure(self, wavenumber: npt.ArrayLike,
                 reference_wavenumber: npt.ArrayLike | None = None) -> Any:
        """The pressure (GPa) at the wavenumber(s) (cm⁻¹), against
        ``reference_wavenumber`` (the gauge's ``reference`` by default)."""
        return self._pressure(wavenumber, reference_wavenumber)

    def wavenumber(self, pressure: npt.ArrayLike,
                   reference_wavenumber: npt.ArrayLike | None = None) -> Any:
        """The wavenumber (cm⁻¹) at the pressure(s) (GPa): the inverse of :meth:`pressure`."""
        return self._position(pressure, reference_wavenumber)

    def pressure_uncertainty(self, wavenumber: npt.ArrayLike,
                             reference_wavenumber: npt.ArrayLike | None = None,
                             wavenumber_sigma: npt.ArrayLike = 0.0,
                             reference_wavenumber_sigma: npt.ArrayLike = 0.0
                             ) -> PressureUncertainty:
        """The standard error of :meth:`pressure` (GPa) and its two parts, as for
        :meth:`WavelengthGauge.pressure_uncertainty`."""
        return self._uncertainty(wavenumber, reference_wavenumber, wavenumber_sigma,
                                 reference_wavenumber_sigma)
