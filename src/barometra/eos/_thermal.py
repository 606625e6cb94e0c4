"""The thermal (pressure-volume-temperature) equations of state, one class each.

Every model adds a thermal part to a reference isotherm, a public isothermal
model given as ``reference``; the methods are the quantities the engine
defines for that model, each of two state variables broadcast with NumPy's
rules.
"""

from __future__ import annotations

from collections.abc import Callable, Mapping
from types import MappingProxyType
from typing import TYPE_CHECKING, Any, ClassVar

import numpy.typing as npt

from .._engine import ThermalEos as NativeThermalEos
from .._arrays import FloatArray, evaluate_pair
from ._base import EngineModel, real_parameter
from ._docs import add_parameter_sections
from ._isothermal import IsothermalEos, ModifiedTait

__all__ = [
    "ThermalEos",
    "MieGruneisenDebye",
    "MieGruneisenEinstein",
    "AsymptoticPowerLawMieGruneisenDebye",
    "VariableQMieGruneisenDebye",
    "Dewaele2006",
    "DorogokupetsOganov2007",
    "MultiOscillatorGruneisen",
    "Sokolova2016",
    "DebyeAnharmonicHelmholtz",
    "LinearThermalPressure",
    "LogVolumeThermalPressure",
    "DebyeQuadraticThermalPressure",
    "SecondOrderTaylorThermalPressure",
    "HollandPowell",
    "ThermalModifiedTait",
    "ThermalReferenceState",
]

_UNITS = """\
Volumes, the reference's ``v0`` among them, are molar volumes in J/bar per
formula unit (1 J/bar = 10 cm³/mol), pressures and bulk moduli in GPa,
temperatures in K, energies in J/mol, heat capacities and entropies in
J/(mol K): the models turn energies into pressures through
1 GPa × 1 J/bar = 10⁴ J/mol. Volumes in other units give wrong thermal
pressures without any error; convert unit-cell volumes in Å³ first, with
:meth:`barometra.data.Dataset.to_molar_volume` or
:func:`barometra.data.cell_volume_to_molar`."""

_PARAMETER_DOCS = {
    "reference": "The reference isotherm, a public isothermal model (BM3, Vinet, ...): the "
                 "pressure at tr (or, by the model's option, along the reference isentrope "
                 "or at 0 K). The thermal model keeps its own copy.",
    "tr": "Reference temperature Tr of the reference isotherm, in K; positive.",
    "theta0": "Debye (or Einstein) characteristic temperature θ0 at V0, in K; positive.",
    "theta": "Einstein temperature θ of the thermal-pressure oscillator, in K; positive.",
    "gamma0": "Grüneisen parameter γ0 at V0.",
    "gamma_inf": "Limit γ∞ of the Grüneisen parameter at infinite compression, "
                 "γ = γ∞ + (γ0 - γ∞) x^β with x = V/V0; between 0 and gamma0.",
    "q": "Exponent q of the Grüneisen law γ = γ0 (V/V0)^q.",
    "q0": "q0 of the Grüneisen law γ = γ0 exp[q0 ((V/V0)^q1 - 1) / q1].",
    "q1": "q1 of the Grüneisen law γ = γ0 exp[q0 ((V/V0)^q1 - 1) / q1].",
    "n": "Number of atoms per formula unit (3n oscillators); positive.",
    "beta": "Exponent β of the Grüneisen law γ = γ∞ + (γ0 - γ∞) (V/V0)^β; positive.",
    "anharmonic_a": "Intrinsic anharmonicity a at V0, in 1/K; not negative.",
    "anharmonic_m": "Volume exponent m of the intrinsic anharmonicity, a (V/V0)^m; positive.",
    "electronic_e": "Electronic coefficient e at V0, in 1/K; not negative.",
    "electronic_g": "Volume exponent g of the electronic coefficient, e (V/V0)^g; positive.",
    "thermal_pressure_reference": "What the reference isotherm describes: "
                                  "'reference_temperature' (the isotherm at tr), "
                                  "'reference_isentrope' (the isentrope through V0 and tr) "
                                  "or 'absolute_zero' (the isotherm at 0 K).",
    "alpha0": "Thermal expansivity α0 at the reference state, in 1/K.",
}

# The order in which `quantities` lists them.
_ORDER = ("pressure", "volume", "temperature", "bulk_modulus", "isothermal_compressibility",
          "thermal_expansivity", "thermal_pressure", "thermal_pressure_increment",
          "adiabatic_bulk_modulus", "gruneisen_parameter", "characteristic_temperature",
          "heat_capacity_v", "heat_capacity_p", "thermal_energy", "thermal_entropy",
          "thermal_enthalpy", "thermal_helmholtz_free_energy", "thermal_gibbs_free_energy",
          "vibrational_pressure", "vibrational_pressure_increment",
          "anharmonic_pressure_increment", "electronic_pressure_increment",
          "absolute_thermal_pressure", "internal_energy", "entropy", "helmholtz_free_energy")

_OPTION_TYPE = "str"
_OPTIONAL_FLOAT = "float or None"


def _check_reference(owner: str, value: object) -> IsothermalEos:
    if not isinstance(value, IsothermalEos):
        raise TypeError(f"{owner}() parameter 'reference' must be an isothermal model "
                        f"(BM3, Vinet, ...), not {type(value).__name__}")
    return value


def _quantity(quantity: str, summary: str, result: str, *, of_volume_only: bool = False
              ) -> Callable[..., float | FloatArray]:
    """The method that evaluates one engine quantity of volume and temperature
    (or of volume alone)."""
    if of_volume_only:
        def single(self: ThermalEos, volume: npt.ArrayLike) -> float | FloatArray:
            engine = self._engine
            if type(volume) is float:
                return engine.evaluate_scalar(quantity, volume, volume)
            # The engine's second input is unused here: the volumes stand in for it.
            return evaluate_pair(engine.evaluate_scalar, engine.evaluate_array, quantity,
                                 volume, volume, ("volume", "volume"))
        method: Callable[..., float | FloatArray] = single
        arguments = "volume : float or array_like\n    Molar volumes (J/bar), positive.\n"
        shape = "a float for a scalar volume, else a new array of its shape"
    else:
        def pair(self: ThermalEos, volume: npt.ArrayLike, temperature: npt.ArrayLike
                 ) -> float | FloatArray:
            engine = self._engine
            if type(volume) is float and type(temperature) is float:
                return engine.evaluate_scalar(quantity, volume, temperature)
            return evaluate_pair(engine.evaluate_scalar, engine.evaluate_array, quantity,
                                 volume, temperature, _VOLUME_TEMPERATURE)
        method = pair
        arguments = _PAIR_ARGUMENTS
        shape = _PAIR_SHAPE
    method.__name__ = method.__qualname__ = quantity
    method.__doc__ = (f"{summary}\n\nParameters\n----------\n{arguments}\n"
                      f"Returns\n-------\nfloat or ndarray\n    {result}: {shape}.\n")
    return method


_VOLUME_TEMPERATURE = ("volume", "temperature")
_PAIR_ARGUMENTS = """\
volume, temperature : float or array_like
    Molar volumes (J/bar) and temperatures (K), positive. They broadcast
    against each other with NumPy's rules (a scalar temperature with an
    array of volumes, np.meshgrid grids, ...).
"""
_PAIR_SHAPE = "a float when both are scalars, else a new array of their broadcast shape"


class ThermalEos(EngineModel):
    """Base of the thermal (pressure-volume-temperature) equations of state.

    Each subclass is one model: a reference isotherm, the public isothermal
    model given as ``reference``, plus a thermal part, built from keyword
    parameters in lower-case notation and validated once. Like the
    isothermal models, a thermal model is an immutable, hashable value,
    equal to another of its class with equal parameters (its reference
    included); it pickles, its ``repr`` evaluates back to an equal model,
    and :meth:`replace` gives a changed copy.

    The methods are the quantities of the model, listed in
    :attr:`quantities`: every model has :meth:`pressure`, :meth:`volume`,
    :meth:`temperature`, :meth:`bulk_modulus`,
    :meth:`isothermal_compressibility`, :meth:`thermal_expansivity`,
    :meth:`thermal_pressure` and :meth:`thermal_pressure_increment`; heat
    capacities, Grüneisen parameter, energies and free energies belong to
    the models that define them. Each takes two state variables (volume and
    temperature, or pressure and one of them), floats or array-likes that
    broadcast against each other, and gives a float for two scalars, else a
    new array of the broadcast shape. Invalid input raises
    :class:`~barometra.errors.EosValidationError`, a failed computation
    :class:`~barometra.errors.EosNumericalError`; no NaN or infinity is ever
    returned.

    Units
    -----
    {units}

    Examples
    --------
    MgO (V0 = 74.7 Å³ per cell of four MgO, 1.1248 J/bar per MgO):

    >>> import numpy as np
    >>> from barometra import BM3, MieGruneisenDebye
    >>> mgo = MieGruneisenDebye(reference=BM3(v0=1.1248, k0=160.2, k0_prime=4.03),
    ...                         tr=300.0, theta0=773.0, gamma0=1.5, q=1.5, n=2)
    >>> round(mgo.pressure(1.0, 2000.0), 3)  # a float for two floats
    33.897
    >>> mgo.pressure(np.array([1.0, 1.05]), 2000.0).round(3)  # broadcast
    array([33.897, 22.995])
    >>> volumes, temperatures = np.meshgrid([1.0, 1.05], [300.0, 1000.0, 2000.0])
    >>> mgo.pressure(volumes, temperatures).shape
    (3, 2)
    >>> round(mgo.volume(33.897, 2000.0), 5)  # the inverse
    1.0
    >>> round(mgo.thermal_expansivity(1.1248, 300.0) * 1e5, 3)  # 1/K
    3.045
    >>> "heat_capacity_v" in mgo.quantities
    True
    >>> mgo.reference
    BirchMurnaghan3(v0=1.1248, k0=160.2, k0_prime=4.03)
    """

    __slots__ = ()

    #: The engine's name of the model, for example ``"MieGruneisenDebye"``.
    model_name: ClassVar[str]
    #: The quantities this model gives, each a method of the same name.
    quantities: ClassVar[tuple[str, ...]] = ()
    # The name of the engine's static constructor, for example "mie_gruneisen_debye".
    _engine_constructor: ClassVar[str]
    # Parameters that are option strings, and those that may be None.
    _option_names: ClassVar[frozenset[str]] = frozenset()
    _optional_names: ClassVar[frozenset[str]] = frozenset()
    # Descriptions of this class's parameters beyond (or unlike) the common ones.
    _parameter_docs: ClassVar[Mapping[str, str]] = MappingProxyType({})
    # Public -> fitting name, where they differ beyond "tr" -> "Tr".
    _renamed: ClassVar[Mapping[str, str]] = MappingProxyType({})
    _fit_constants = frozenset({"tr", "n"})
    _engine: NativeThermalEos

    def __init_subclass__(cls, **kwargs: Any) -> None:
        super().__init_subclass__(**kwargs)
        cls.quantities = tuple(name for name in _ORDER if hasattr(cls, name))
        if "_parameter_names" not in vars(cls):
            return
        cls._native_names = {name: cls._renamed.get(name, "Tr" if name == "tr" else name)
                             for name in cls._parameter_names
                             if name != "reference" and name not in cls._option_names}
        if cls.__doc__:
            types = {name: _OPTION_TYPE for name in cls._option_names}
            types |= {name: _OPTIONAL_FLOAT for name in cls._optional_names}
            types["reference"] = "IsothermalEos"
            cls.__doc__ = add_parameter_sections(cls.__doc__, cls._parameter_names, types,
                                                 {**_PARAMETER_DOCS, **cls._parameter_docs},
                                                 _UNITS)

    @classmethod
    def _convert_parameter(cls, name: str, value: object) -> Any:
        if name == "reference":
            return _check_reference(cls.__name__, value)
        if name in cls._option_names:
            if not isinstance(value, str):
                raise TypeError(f"{cls.__name__}() parameter {name!r} must be a string, "
                                f"not {type(value).__name__}")
            return str(value)
        if value is None and name in cls._optional_names:
            return None
        return real_parameter(cls.__name__, name, value)

    @classmethod
    def _build_engine(cls, values: tuple[Any, ...]) -> NativeThermalEos:
        reference, *rest = values
        constructor = getattr(NativeThermalEos, cls._engine_constructor)
        engine: NativeThermalEos = constructor(reference._engine, *rest)
        return engine

    @property
    def reference(self) -> IsothermalEos:
        """The reference isotherm (the ``reference`` parameter)."""
        reference: IsothermalEos = self._values[0]
        return reference

    pressure = _quantity("pressure",
                         "Pressure P(V, T): the reference isotherm's plus the thermal pressure.",
                         "Pressures (GPa)")

    def volume(self, pressure: npt.ArrayLike, temperature: npt.ArrayLike) -> float | FloatArray:
        """Volume V(P, T), the inverse of :meth:`pressure` (root solver).

        Parameters
        ----------
        pressure, temperature : float or array_like
            Pressures (GPa) and temperatures (K, positive), broadcast against
            each other with NumPy's rules.

        Returns
        -------
        float or ndarray
            Molar volumes (J/bar): a float when both are scalars, else a new
            array of their broadcast shape.

        Raises
        ------
        barometra.errors.EosValidationError
            With code ``"eos.outside_invertible_range"`` for a pressure the
            model cannot reach at that temperature.
        """
        engine = self._engine
        if type(pressure) is float and type(temperature) is float:
            return engine.evaluate_scalar("volume", pressure, temperature)
        return evaluate_pair(engine.evaluate_scalar, engine.evaluate_array, "volume",
                             pressure, temperature, ("pressure", "temperature"))

    def temperature(self, pressure: npt.ArrayLike, volume: npt.ArrayLike) -> float | FloatArray:
        """Temperature T(P, V) at which the model has pressure P at volume V (root solver).

        Note the order: pressure first, then volume.

        Parameters
        ----------
        pressure, volume : float or array_like
            Pressures (GPa) and molar volumes (J/bar, positive), broadcast
            against each other with NumPy's rules.

        Returns
        -------
        float or ndarray
            Temperatures (K): a float when both are scalars, else a new array
            of their broadcast shape.
        """
        engine = self._engine
        if type(pressure) is float and type(volume) is float:
            return engine.evaluate_scalar("temperature", pressure, volume)
        return evaluate_pair(engine.evaluate_scalar, engine.evaluate_array, "temperature",
                             pressure, volume, ("pressure", "volume"))

    bulk_modulus = _quantity("bulk_modulus",
                             "Isothermal bulk modulus K_T = -V (∂P/∂V)_T, a central "
                             "difference with the relative volume step 1e-6.",
                             "Bulk moduli (GPa)")
    isothermal_compressibility = _quantity("isothermal_compressibility",
                                           "Isothermal compressibility β_T = 1/K_T.",
                                           "Compressibilities (1/GPa)")
    thermal_expansivity = _quantity("thermal_expansivity",
                                    "Volumetric thermal expansivity α = (∂V/∂T)_P / V, a "
                                    "difference with the relative temperature step 1e-5.",
                                    "Expansivities (1/K)")
    thermal_pressure = _quantity("thermal_pressure",
                                 "Thermal pressure Pth(V, T), the model's pressure less its "
                                 "reference isotherm's.", "Pressures (GPa)")
    thermal_pressure_increment = _quantity("thermal_pressure_increment",
        "Thermal-pressure increment from the reference temperature; the thermal pressure "
        "itself where the model has no separate increment.", "Pressures (GPa)")

    def volume_with_dac_confinement(self, cold_pressure: npt.ArrayLike,
                                    temperature: npt.ArrayLike, *,
                                    f_dac: float) -> float | FloatArray:
        """Volume of a sample loaded to ``cold_pressure`` and heated inside a diamond-anvil cell.

        The cell retains the fraction ``f_dac`` of the thermal-pressure
        increment: the volume V solves P(V, T) - f_dac ΔPth(V, T) =
        cold_pressure, from the reference isotherm's v0. With ``f_dac = 0``
        the heating is isobaric and the result is :meth:`volume`.

        Parameters
        ----------
        cold_pressure, temperature : float or array_like
            Pressures before heating (GPa) and temperatures (K), broadcast
            against each other.
        f_dac : float
            Confinement factor, in [0, 1).

        Returns
        -------
        float or ndarray
            Molar volumes (J/bar): a float for two scalars, else an array of
            the broadcast shape.
        """
        factor = real_parameter("volume_with_dac_confinement", "f_dac", f_dac)
        engine = self._engine
        return evaluate_pair(
            lambda _, p, t: engine.volume_with_dac_confinement_scalar(p, t, factor),
            lambda _, p, t: engine.volume_with_dac_confinement_array(p, t, factor),
            "", cold_pressure, temperature, ("cold_pressure", "temperature"))


ThermalEos.__doc__ = (ThermalEos.__doc__ or "").replace("{units}", _UNITS.replace("\n", "\n    "))


class _Gruneisen:
    __slots__ = ()
    gruneisen_parameter = _quantity("gruneisen_parameter",
                                    "Grüneisen parameter γ (the Mie-Grüneisen models' γ(V) "
                                    "does not depend on the temperature).",
                                    "γ (dimensionless)")


class _Caloric(_Gruneisen):
    __slots__ = ()
    adiabatic_bulk_modulus = _quantity("adiabatic_bulk_modulus",
                                       "Adiabatic bulk modulus K_S = K_T (1 + α γ T).",
                                       "Bulk moduli (GPa)")
    heat_capacity_v = _quantity("heat_capacity_v",
                                "Isochoric molar heat capacity C_V.", "C_V (J/(mol K))")
    heat_capacity_p = _quantity("heat_capacity_p",
                                "Isobaric molar heat capacity C_P.", "C_P (J/(mol K))")


class _ThermalHelmholtz:
    __slots__ = ()
    thermal_helmholtz_free_energy = _quantity("thermal_helmholtz_free_energy",
                                              "Thermal (vibrational) Helmholtz free energy.",
                                              "Energies (J/mol)")


class _ThermalEnergies(_Caloric, _ThermalHelmholtz):
    __slots__ = ()
    thermal_energy = _quantity("thermal_energy",
                               "Thermal internal energy.", "Energies (J/mol)")
    thermal_entropy = _quantity("thermal_entropy",
                                "Thermal entropy.", "Entropies (J/(mol K))")
    thermal_enthalpy = _quantity("thermal_enthalpy",
                                 "Thermal enthalpy.", "Energies (J/mol)")
    thermal_gibbs_free_energy = _quantity("thermal_gibbs_free_energy",
                                          "Thermal Gibbs free energy.", "Energies (J/mol)")


class _CharacteristicTemperature:
    __slots__ = ()
    characteristic_temperature = _quantity("characteristic_temperature",
                                           "Debye (or Einstein) characteristic temperature "
                                           "θ(V) at the given volume(s).", "θ (K)",
                                           of_volume_only=True)


class _MieGruneisen(_ThermalEnergies, _CharacteristicTemperature, ThermalEos):
    __slots__ = ()
    vibrational_pressure = _quantity("vibrational_pressure",
                                     "Vibrational pressure γ(V) E(V, T) / V.",
                                     "Pressures (GPa)")


class MieGruneisenDebye(_MieGruneisen):
    """Mie-Grüneisen-Debye thermal equation of state.

    P(V, T) = P_ref(V) + γ(V) [E(V, T) - E(V, Tr)] / V with the Debye energy
    E = 3 n R T D3(θ/T) (scaled by cvmax / 3nR when given), γ = γ0 x^q,
    θ = θ0 exp[(γ0 - γ) / q] and x = V/V0, V0 the reference's v0.
    """

    __slots__ = ()
    model_name = "MieGruneisenDebye"
    _engine_constructor = "mie_gruneisen_debye"
    _parameter_names = ("reference", "tr", "theta0", "gamma0", "q", "n", "debye_temperature_law",
                        "thermal_pressure_reference", "cvmax")
    _parameter_defaults = MappingProxyType({"debye_temperature_law": "integrated_gruneisen",
                                            "thermal_pressure_reference": "reference_temperature",
                                            "cvmax": None})
    _option_names = frozenset({"debye_temperature_law", "thermal_pressure_reference"})
    _optional_names = frozenset({"cvmax"})
    _renamed = MappingProxyType({"cvmax": "Cvmax"})
    _fit_constants = frozenset({"tr", "n", "cvmax"})
    _parameter_docs = MappingProxyType({
        "debye_temperature_law": "How θ follows V: 'integrated_gruneisen' (θ0 exp[(γ0 - γ)/q]) "
                                 "or 'variable_exponent'.",
        "cvmax": "High-temperature limit of C_V in J/(mol K), scaling the Debye energy; "
                 "None for 3nR.",
    })
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, theta0: float,
                     gamma0: float, q: float, n: float,
                     debye_temperature_law: str = ..., thermal_pressure_reference: str = ...,
                     cvmax: float | None = ...) -> None: ...


class MieGruneisenEinstein(_MieGruneisen):
    """Mie-Grüneisen thermal equation of state with an Einstein spectrum.

    As :class:`MieGruneisenDebye` with the Einstein energy of 3n oscillators
    at θ(V) in place of the Debye energy.
    """

    __slots__ = ()
    model_name = "MieGruneisenEinstein"
    _engine_constructor = "mie_gruneisen_einstein"
    _parameter_names = ("reference", "tr", "theta0", "gamma0", "q", "n")
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, theta0: float,
                     gamma0: float, q: float, n: float) -> None: ...


class AsymptoticPowerLawMieGruneisenDebye(_MieGruneisen):
    """Mie-Grüneisen-Debye model with γ = γ0 [1 + a (x^b - 1)], x = V/V0."""

    __slots__ = ()
    model_name = "AsymptoticPowerLawMieGruneisenDebye"
    _engine_constructor = "asymptotic_power_law_mie_gruneisen_debye"
    _parameter_names = ("reference", "tr", "theta0", "gamma0", "a", "b", "n")
    _parameter_docs = MappingProxyType({
        "a": "Weight a of the power law in γ = γ0 [1 + a (x^b - 1)]; between 0 and 1.",
        "b": "Exponent b of the power law in γ = γ0 [1 + a (x^b - 1)].",
    })
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, theta0: float,
                     gamma0: float, a: float, b: float, n: float) -> None: ...


class VariableQMieGruneisenDebye(_MieGruneisen):
    """Mie-Grüneisen-Debye model with γ = γ0 exp[q0 (x^q1 - 1) / q1], x = V/V0."""

    __slots__ = ()
    model_name = "VariableQMieGruneisenDebye"
    _engine_constructor = "variable_q_mie_gruneisen_debye"
    _parameter_names = ("reference", "tr", "theta0", "gamma0", "q0", "q1", "n")
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, theta0: float,
                     gamma0: float, q0: float, q1: float, n: float) -> None: ...


class Dewaele2006(_CharacteristicTemperature, _Gruneisen, ThermalEos):
    """Debye thermal pressure with anharmonic and electronic terms (Dewaele et al. 2006).

    γ = γ∞ + (γ0 - γ∞) x^β, x = V/V0, with quadratic-in-T anharmonic
    (a x^m) and electronic (e x^g) pressures. Dewaele, Loubeyre, Occelli,
    Mezouar, Dorogokupets and Torrent (2006), Phys. Rev. Lett. 97, 215504.
    """

    __slots__ = ()
    model_name = "Dewaele2006"
    _engine_constructor = "dewaele_2006"
    _parameter_names = ("reference", "tr", "theta0", "gamma0", "gamma_inf", "beta",
                        "anharmonic_a", "anharmonic_m", "electronic_e", "electronic_g", "n",
                        "thermal_pressure_reference", "zero_point_pressure")
    _parameter_defaults = MappingProxyType({"thermal_pressure_reference": "reference_temperature",
                                            "zero_point_pressure": "omitted"})
    _option_names = frozenset({"thermal_pressure_reference", "zero_point_pressure"})
    _parameter_docs = MappingProxyType({
        "thermal_pressure_reference": "'reference_temperature' (the reference is the isotherm "
                                      "at tr) or 'absolute_zero' (at 0 K).",
        "zero_point_pressure": "'omitted' or 'included' (which needs 'absolute_zero').",
    })
    vibrational_pressure_increment = _quantity("vibrational_pressure_increment",
        "Quasi-harmonic (Debye) part of the thermal-pressure increment.", "Pressures (GPa)")
    anharmonic_pressure_increment = _quantity("anharmonic_pressure_increment",
        "Anharmonic part of the thermal-pressure increment.", "Pressures (GPa)")
    electronic_pressure_increment = _quantity("electronic_pressure_increment",
        "Electronic part of the thermal-pressure increment.", "Pressures (GPa)")
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, theta0: float,
                     gamma0: float, gamma_inf: float, beta: float, anharmonic_a: float,
                     anharmonic_m: float, electronic_e: float, electronic_g: float, n: float,
                     thermal_pressure_reference: str = ...,
                     zero_point_pressure: str = ...) -> None: ...


_OSCILLATOR_DOCS = {
    "theta_b1": "Characteristic temperature of the first Bose-Einstein oscillator at V0, K.",
    "d_b1": "Its Bose parameter d; positive.",
    "m_b1": "Its multiplicity (number of modes).",
    "theta_b2": "Characteristic temperature of the second Bose-Einstein oscillator at V0, K.",
    "d_b2": "Its Bose parameter d; positive.",
    "m_b2": "Its multiplicity.",
    "theta_e1": "Characteristic temperature of the first Einstein oscillator at V0, K.",
    "m_e1": "Its multiplicity.",
    "theta_e2": "Characteristic temperature of the second Einstein oscillator at V0, K.",
    "m_e2": "Its multiplicity.",
    "defect_h": "Enthalpy of vacancy formation over R, in K.",
    "defect_s": "Entropy of vacancy formation over R.",
}


class DorogokupetsOganov2007(_ThermalEnergies, ThermalEos):
    """Four oscillators with anharmonic, electronic and defect terms (Dorogokupets and Oganov 2007).

    Two Bose-Einstein and two Einstein oscillators whose characteristic
    temperatures follow γ = γ∞ + (γ0 - γ∞) x^β, x = V/V0; anharmonic_a and
    electronic_e in units of 1e-6 per K. Dorogokupets and Oganov (2007),
    Phys. Rev. B 75, 024115.
    """

    __slots__ = ()
    model_name = "DorogokupetsOganov2007"
    _engine_constructor = "dorogokupets_oganov_2007"
    _parameter_names = ("reference", "tr", "theta_b1", "d_b1", "m_b1", "theta_b2", "d_b2",
                        "m_b2", "theta_e1", "m_e1", "theta_e2", "m_e2", "gamma0", "gamma_inf",
                        "beta", "anharmonic_a", "anharmonic_m", "electronic_e", "electronic_g",
                        "defect_h", "defect_s", "n")
    _renamed = MappingProxyType({
        "theta_b1": "theta_B1", "d_b1": "d_B1", "m_b1": "m_B1", "theta_b2": "theta_B2",
        "d_b2": "d_B2", "m_b2": "m_B2", "theta_e1": "theta_E1", "m_e1": "m_E1",
        "theta_e2": "theta_E2", "m_e2": "m_E2", "defect_h": "defect_H", "defect_s": "defect_S"})
    _fit_constants = frozenset({"tr", "n", "m_b1", "m_b2", "m_e1", "m_e2"})
    _parameter_docs = MappingProxyType({
        **_OSCILLATOR_DOCS,
        "anharmonic_a": "Intrinsic anharmonicity a at V0, in 1e-6/K.",
        "electronic_e": "Electronic coefficient e at V0, in 1e-6/K.",
    })
    absolute_thermal_pressure = _quantity("absolute_thermal_pressure",
                                          "Thermal pressure measured from 0 K.",
                                          "Pressures (GPa)")
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, theta_b1: float,
                     d_b1: float, m_b1: float, theta_b2: float, d_b2: float, m_b2: float,
                     theta_e1: float, m_e1: float, theta_e2: float, m_e2: float,
                     gamma0: float, gamma_inf: float, beta: float, anharmonic_a: float,
                     anharmonic_m: float, electronic_e: float, electronic_g: float,
                     defect_h: float, defect_s: float, n: float) -> None: ...


class MultiOscillatorGruneisen(ThermalEos):
    """Multi-oscillator thermal model of Sokolova, Dorogokupets et al. (2016).

    Two Einstein oscillators (with zero-point energy) and two Bose-Einstein
    oscillators whose characteristic temperatures all scale with one factor,
    the integral of a Grüneisen parameter built from the reference
    isotherm's P, K and K'; quadratic-in-T anharmonic and electronic
    pressures. The Bose oscillators have no modes by default. Also
    available as :data:`Sokolova2016`.
    """

    __slots__ = ()
    model_name = "MultiOscillatorGruneisenThermalEOS"
    _engine_constructor = "multi_oscillator_gruneisen"
    _parameter_names = ("reference", "tr", "qe1o", "me1", "qe2o", "me2", "delta", "t", "a_0",
                        "m", "g", "e_0", "beta", "qbo", "d", "mb", "qb1o", "d1", "mb1", "n")
    _parameter_defaults = MappingProxyType({"beta": 0.0, "qbo": 1.0, "d": 1.0, "mb": 0.0,
                                            "qb1o": 1.0, "d1": 1.0, "mb1": 0.0, "n": None})
    _optional_names = frozenset({"n"})
    _renamed = MappingProxyType({"qe1o": "QE1o", "me1": "mE1", "qe2o": "QE2o", "me2": "mE2",
                                 "qbo": "QBo", "qb1o": "QB1o"})
    _fit_constants = frozenset({"tr", "n", "me1", "me2", "mb", "mb1"})
    _parameter_docs = MappingProxyType({
        "qe1o": "Characteristic temperature of the first Einstein oscillator at V0, K.",
        "me1": "Its multiplicity (number of modes); not negative.",
        "qe2o": "Characteristic temperature of the second Einstein oscillator at V0, K.",
        "me2": "Its multiplicity; not negative.",
        "delta": "δ of the Grüneisen law.",
        "t": "t of the Grüneisen law.",
        "a_0": "Intrinsic anharmonicity at V0, in 1e-6/K.",
        "m": "Volume exponent of the intrinsic anharmonicity.",
        "g": "Volume exponent of the electronic coefficient.",
        "e_0": "Electronic coefficient at V0, in 1e-6/K.",
        "beta": "β of the Grüneisen law (0: t constant).",
        "qbo": "Characteristic temperature of the first Bose-Einstein oscillator at V0, K.",
        "d": "Its Bose parameter; positive.",
        "mb": "Its multiplicity; not negative.",
        "qb1o": "Characteristic temperature of the second Bose-Einstein oscillator at V0, K.",
        "d1": "Its Bose parameter; positive.",
        "mb1": "Its multiplicity; not negative.",
        "n": "Number of atoms per formula unit; None takes the n of a Holzapfel reference "
             "(any other reference needs it).",
    })
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, qe1o: float, me1: float,
                     qe2o: float, me2: float, delta: float, t: float, a_0: float, m: float,
                     g: float, e_0: float, beta: float = ..., qbo: float = ..., d: float = ...,
                     mb: float = ..., qb1o: float = ..., d1: float = ..., mb1: float = ...,
                     n: float | None = ...) -> None: ...


class DebyeAnharmonicHelmholtz(_Caloric, _ThermalHelmholtz, ThermalEos):
    """Quasi-harmonic Debye solid (per mole of atoms) with an anharmonic Helmholtz free energy.

    F = F_ref(V) + F_Debye(V, T) + F_anh(V, T), γ = γ0 x^q, x = V/V0; the
    anharmonic free energy is given by b1, b2 and b3. Its energies are totals,
    the static lattice included (:meth:`internal_energy`, :meth:`entropy`,
    :meth:`helmholtz_free_energy`).
    """

    __slots__ = ()
    model_name = "DebyeAnharmonicHelmholtz"
    _engine_constructor = "debye_anharmonic_helmholtz"
    _parameter_names = ("reference", "tr", "theta0", "gamma0", "q", "b1", "b2", "b3")
    _fit_constants = frozenset({"tr"})
    _parameter_docs = MappingProxyType({
        "b1": "Anharmonic coefficient b1 of the Helmholtz free energy.",
        "b2": "Anharmonic coefficient b2; not negative.",
        "b3": "Anharmonic coefficient b3.",
    })
    internal_energy = _quantity("internal_energy",
                                "Internal energy, static lattice included.", "Energies (J/mol)")
    entropy = _quantity("entropy", "Entropy.",
                        "Entropies (J/(mol K))")
    helmholtz_free_energy = _quantity("helmholtz_free_energy",
                                      "Helmholtz free energy, static lattice included.",
                                      "Energies (J/mol)")
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, theta0: float,
                     gamma0: float, q: float, b1: float, b2: float, b3: float) -> None: ...


class LinearThermalPressure(ThermalEos):
    """Thermal pressure linear in temperature: Pth = αK_T (T - Tr)."""

    __slots__ = ()
    model_name = "LinearThermalPressure"
    _engine_constructor = "linear_thermal_pressure"
    _parameter_names = ("reference", "tr", "alpha_kt")
    _renamed = MappingProxyType({"alpha_kt": "alpha_KT"})
    _fit_constants = frozenset({"tr"})
    _parameter_docs = MappingProxyType({
        "alpha_kt": "The constant product αK_T = (∂P/∂T)_V, in GPa/K.",
    })
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, alpha_kt: float) -> None: ...


class LogVolumeThermalPressure(ThermalEos):
    """Thermal pressure Pth = [αK_T(ref) + (∂K_T/∂T)_V ln(V0/V)] (T - Tr)."""

    __slots__ = ()
    model_name = "LogVolumeThermalPressure"
    _engine_constructor = "log_volume_thermal_pressure"
    _parameter_names = ("reference", "tr", "alpha_kt_ref", "dk_dt_v")
    _renamed = MappingProxyType({"alpha_kt_ref": "alpha_KT_ref", "dk_dt_v": "dK_dT_V"})
    _fit_constants = frozenset({"tr"})
    _parameter_docs = MappingProxyType({
        "alpha_kt_ref": "αK_T at the reference state, in GPa/K.",
        "dk_dt_v": "(∂K_T/∂T)_V, in GPa/K.",
    })
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, alpha_kt_ref: float,
                     dk_dt_v: float) -> None: ...


class DebyeQuadraticThermalPressure(ThermalEos):
    """Mie-Grüneisen-Debye thermal pressure plus a term A x^m (T² - Tr²), x = V/V0."""

    __slots__ = ()
    model_name = "DebyeQuadraticThermalPressure"
    _engine_constructor = "debye_quadratic_thermal_pressure"
    _parameter_names = ("reference", "tr", "theta0", "gamma0", "q", "n", "a", "m")
    _renamed = MappingProxyType({"a": "A"})
    _parameter_docs = MappingProxyType({
        "a": "Coefficient A of the quadratic term, in GPa/K².",
        "m": "Volume exponent m of the quadratic term.",
    })
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, theta0: float,
                     gamma0: float, q: float, n: float, a: float, m: float) -> None: ...


class SecondOrderTaylorThermalPressure(ThermalEos):
    """Thermal pressure as a second-order Taylor expansion in volume strain and temperature.

    The coefficients c0 ... c5 multiply the terms in η = 1 - V/V0 and
    T - Tr about the reference state η0.
    """

    __slots__ = ()
    model_name = "SecondOrderTaylorThermalPressure"
    _engine_constructor = "second_order_taylor_thermal_pressure"
    _parameter_names = ("reference", "tr", "eta0", "c0", "c1", "c2", "c3", "c4", "c5")
    _fit_constants = frozenset({"tr"})
    _parameter_docs = MappingProxyType({
        "eta0": "Strain η0 about which the expansion is taken.",
        **{f"c{i}": f"Coefficient c{i} of the expansion." for i in range(6)},
    })
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, eta0: float, c0: float,
                     c1: float, c2: float, c3: float, c4: float, c5: float) -> None: ...


class HollandPowell(_Caloric, ThermalEos):
    """Holland-Powell thermal pressure: one Einstein oscillator, scaled to α0 at the reference.

    Pth = α0 K0 θ / ξ0 [1/(e^(θ/T) - 1) - 1/(e^(θ/Tr) - 1)] with
    ξ0 = (θ/Tr)² e^(θ/Tr) / (e^(θ/Tr) - 1)²: the thermal pressure depends on
    the temperature only. Holland and Powell (2011), J. Metamorphic Geol. 29,
    333.
    """

    __slots__ = ()
    model_name = "HollandPowellThermalPressure"
    _engine_constructor = "holland_powell_thermal_pressure"
    _parameter_names = ("reference", "tr", "theta", "alpha0", "n")
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, theta: float,
                     alpha0: float, n: float) -> None: ...


class ThermalModifiedTait(_Caloric, ThermalEos):
    """Holland-Powell thermal pressure over a modified Tait isotherm.

    The thermal equation of state of Holland and Powell (2011): as
    :class:`HollandPowell`, with a :class:`ModifiedTait` reference, whose K0
    scales the thermal pressure.
    """

    __slots__ = ()
    model_name = "ThermalModifiedTait"
    _engine_constructor = "thermal_modified_tait"
    _parameter_names = ("reference", "tr", "theta", "alpha0", "n")
    _parameter_docs = MappingProxyType({
        "reference": "The reference isotherm at tr: a :class:`ModifiedTait` model.",
    })

    @classmethod
    def _convert_parameter(cls, name: str, value: object) -> Any:
        if name == "reference" and not isinstance(value, ModifiedTait):
            raise TypeError(f"ThermalModifiedTait() parameter 'reference' must be a "
                            f"ModifiedTait model, not {type(value).__name__}")
        return super()._convert_parameter(name, value)


class ThermalReferenceState(ThermalEos):
    """The reference isotherm moved to each temperature: V0(T), K0(T) and K0'(T).

    At temperature T the isotherm is the reference model with V0 replaced by
    V0(T) (the volume law), K0 by K0(T) (the bulk-modulus law) and K0'
    shifted by the pressure-derivative terms; it needs a reference that can
    change its reference state (every isothermal model but
    :class:`DensityPolynomial3`).
    """

    __slots__ = ()
    model_name = "ThermalReferenceStateEOS"
    _engine_constructor = "thermal_reference_state"
    _parameter_names = ("reference", "tr", "alpha0", "dk_dt", "alpha1", "thermal_expansion_law",
                        "reference_volume_law", "bulk_modulus_law", "beta1", "beta2", "beta3",
                        "kprime_log_coefficient", "dkprime_dt")
    _parameter_defaults = MappingProxyType({
        "alpha1": 0.0, "thermal_expansion_law": "constant",
        "reference_volume_law": "integrated_expansivity", "bulk_modulus_law": "linear_temperature",
        "beta1": 0.0, "beta2": 0.0, "beta3": 0.0, "kprime_log_coefficient": 0.0,
        "dkprime_dt": 0.0})
    _option_names = frozenset({"thermal_expansion_law", "reference_volume_law",
                               "bulk_modulus_law"})
    _renamed = MappingProxyType({"dk_dt": "dK_dT", "dkprime_dt": "dKprime_dT"})
    _fit_constants = frozenset({"tr"})
    _parameter_docs = MappingProxyType({
        "alpha0": "Thermal expansivity α0 (constant term), in 1/K.",
        "dk_dt": "dK0/dT of the linear bulk-modulus law, in GPa/K.",
        "alpha1": "Temperature coefficient α1 of the expansivity, in 1/K².",
        "thermal_expansion_law": "α(T): 'constant', 'linear_temperature' or "
                                 "'linear_reference_temperature'.",
        "reference_volume_law": "V0(T): 'integrated_expansivity', 'linear_temperature' or "
                                "'berman'.",
        "bulk_modulus_law": "K0(T): 'linear_temperature' (with dk_dt) or 'reciprocal_cubic' "
                            "(with beta1, beta2, beta3).",
        "beta1": "Coefficient β1 of the reciprocal cubic compressibility law.",
        "beta2": "Coefficient β2 of the reciprocal cubic compressibility law.",
        "beta3": "Coefficient β3 of the reciprocal cubic compressibility law.",
        "kprime_log_coefficient": "Coefficient of the logarithmic K0' term.",
        "dkprime_dt": "dK0'/dT, in 1/K.",
    })
    if TYPE_CHECKING:
        def __init__(self, *, reference: IsothermalEos, tr: float, alpha0: float,
                     dk_dt: float, alpha1: float = ..., thermal_expansion_law: str = ...,
                     reference_volume_law: str = ..., bulk_modulus_law: str = ...,
                     beta1: float = ..., beta2: float = ..., beta3: float = ...,
                     kprime_log_coefficient: float = ..., dkprime_dt: float = ...) -> None: ...


#: The same model as :class:`MultiOscillatorGruneisen`, under the name of its paper.
Sokolova2016 = MultiOscillatorGruneisen
