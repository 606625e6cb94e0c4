"""The thermal (pressure-volume-temperature) family: its engine, methods and units.

Every model adds a thermal part to a reference isotherm, a public isothermal
model given as ``reference``; the methods are the quantities the engine
defines for that model, each of two state variables broadcast with NumPy's
rules. The fifteen model classes are made from the engine's model table
(:mod:`barometra.eos._models`).
"""

from __future__ import annotations

from types import MappingProxyType
from typing import Any, ClassVar

from .. import units
from .._engine import ThermalEos as NativeThermalEos
from ._base import EngineModel, real_parameter
from ._isothermal import IsothermalEos, canonical_unit
from ._methods import KEYWORD_REQUIRED, EngineCall, quantity_method
from ._scaled import VolumeScaledEngine
from ._table import ModelInfo, QuantityInfo

# The volume unit the engine computes in, with pressures in GPa.
ENGINE_VOLUME_UNIT = "J/bar"

_UNITS = """\
Pressures and bulk moduli are in GPa, temperatures in K, energies in J/mol,
heat capacities and entropies in J/(mol K), all per mole of formula units:
the models turn energies into pressures through 1 GPa × 1 J/bar = 10⁴ J/mol.
Volumes, the reference's ``v0`` among them, are in ``volume_unit``: by
default the reference's label, else molar volumes in J/bar per formula unit
(1 J/bar = 10 cm³/mol). Any other volume unit of :mod:`barometra.units` is
converted on the way in and out (``volume_unit="Å3/cell"`` with
``formula_units=4`` takes and gives Å³ per cell of four formula units), so
no thermal pressure is computed from volumes in the wrong unit."""

# Summary and result of each quantity of volume and temperature.
_QUANTITIES = {
    "pressure": ("Pressure P(V, T): the reference isotherm's plus the thermal pressure.",
                 "Pressures (GPa)"),
    "bulk_modulus": ("Isothermal bulk modulus K_T = -V (∂P/∂V)_T, a central difference with "
                     "the relative volume step 1e-6.", "Bulk moduli (GPa)"),
    "isothermal_compressibility": ("Isothermal compressibility β_T = 1/K_T.",
                                   "Compressibilities (1/GPa)"),
    "thermal_expansivity": ("Volumetric thermal expansivity α = (∂V/∂T)_P / V, a difference "
                            "with the relative temperature step 1e-5.", "Expansivities (1/K)"),
    "thermal_pressure": ("Thermal pressure Pth(V, T), the model's pressure less its reference "
                         "isotherm's.", "Pressures (GPa)"),
    "thermal_pressure_increment": ("Thermal-pressure increment from the reference temperature; "
                                   "the thermal pressure itself where the model has no separate "
                                   "increment.", "Pressures (GPa)"),
    "adiabatic_bulk_modulus": ("Adiabatic bulk modulus K_S = K_T (1 + α γ T).",
                               "Bulk moduli (GPa)"),
    "gruneisen_parameter": ("Grüneisen parameter γ (the Mie-Grüneisen models' γ(V) does not "
                            "depend on the temperature).", "γ (dimensionless)"),
    "characteristic_temperature": ("Debye (or Einstein) characteristic temperature θ(V) at the "
                                   "given volume(s).", "θ (K)"),
    "heat_capacity_v": ("Isochoric molar heat capacity C_V.", "C_V (J/(mol K))"),
    "heat_capacity_p": ("Isobaric molar heat capacity C_P.", "C_P (J/(mol K))"),
    "thermal_energy": ("Thermal internal energy.", "Energies (J/mol)"),
    "thermal_entropy": ("Thermal entropy.", "Entropies (J/(mol K))"),
    "thermal_enthalpy": ("Thermal enthalpy.", "Energies (J/mol)"),
    "thermal_helmholtz_free_energy": ("Thermal (vibrational) Helmholtz free energy.",
                                      "Energies (J/mol)"),
    "thermal_gibbs_free_energy": ("Thermal Gibbs free energy.", "Energies (J/mol)"),
    "vibrational_pressure": ("Vibrational pressure γ(V) E(V, T) / V.", "Pressures (GPa)"),
    "bulk_modulus_pressure_derivative": (
        "Pressure derivative of the isothermal bulk modulus, K' = (∂K_T/∂P)_T, from "
        "fourth-order differences of the pressure over the volume.", "K' (dimensionless)"),
    "vibrational_pressure_increment": ("Quasi-harmonic (Debye) part of the thermal-pressure "
                                       "increment.", "Pressures (GPa)"),
    "anharmonic_pressure_increment": ("Anharmonic part of the thermal-pressure increment.",
                                      "Pressures (GPa)"),
    "electronic_pressure_increment": ("Electronic part of the thermal-pressure increment.",
                                      "Pressures (GPa)"),
    "absolute_thermal_pressure": ("Thermal pressure measured from 0 K.", "Pressures (GPa)"),
    "internal_energy": ("Internal energy, static lattice included.", "Energies (J/mol)"),
    "entropy": ("Entropy.", "Entropies (J/(mol K))"),
    "helmholtz_free_energy": ("Helmholtz free energy, static lattice included.",
                              "Energies (J/mol)"),
}

# The units of the quantities that are not pressures (GPa) or volumes.
_QUANTITY_UNITS = {
    "temperature": "K", "characteristic_temperature": "K", "hugoniot_temperature": "K", "bulk_modulus": "GPa",
    "adiabatic_bulk_modulus": "GPa", "isothermal_compressibility": "1/GPa",
    "thermal_expansivity": "1/K", "heat_capacity_v": "J/(mol K)", "heat_capacity_p": "J/(mol K)",
    "thermal_entropy": "J/(mol K)", "entropy": "J/(mol K)", "thermal_energy": "J/mol",
    "thermal_enthalpy": "J/mol", "thermal_helmholtz_free_energy": "J/mol",
    "thermal_gibbs_free_energy": "J/mol", "internal_energy": "J/mol",
    "helmholtz_free_energy": "J/mol", "gruneisen_parameter": "",
}

_PAIR_ARGUMENTS = """\
volume, temperature : float or array_like
    Volumes (in ``volume_unit``, J/bar by default) and temperatures (K),
    positive. They broadcast against each other with NumPy's rules (a
    scalar temperature with an array of volumes, np.meshgrid grids, ...).
"""
_PAIR_SHAPE = "a float when both are scalars, else a new array of their broadcast shape"
_VOLUME_ARGUMENT = "volume : float or array_like\n    Volumes (in ``volume_unit``), positive.\n"
_VOLUME_SHAPE = "a float for a scalar volume, else a new array of its shape"

_HUGONIOT = """{summary} on the principal Hugoniot from rest at (V0, t0, P = 0).

V0 is the model's volume at zero pressure and ``t0``. The state at
each volume V <= V0 meets the Rankine-Hugoniot energy condition
E(V, T_H) - E(V0, t0) = P_H (V0 - V) / 2, with the internal energy
E = F_ref + Tr S_th(V, Tr) + E_th(V, T) - E_th(V, Tr) of the reference
isotherm's Helmholtz energy F_ref and the model's thermal energy and
entropy (for a reference taken at 0 K or on the isentrope, the energy
along that reference instead).

Parameters
----------
volume : float or array_like
    Volumes (in ``volume_unit``), positive and at most V0.
t0 : float or array_like, optional
    Temperature (K) of the unshocked state; the model's ``tr`` when
    None. It broadcasts against ``volume``.

Returns
-------
float or ndarray
    {result}: a float when both are scalars, else a new array of their
    broadcast shape.

Raises
------
barometra.errors.EosValidationError
    For a volume above V0, or one compressed so far that no temperature
    up to 1e5 K meets the energy condition (beyond the limiting
    compression γ / (γ + 2) of a Mie-Grüneisen solid).
"""

# The quantities whose state values are not (volume, temperature).
_INVERSES = {
    "volume": """Volume V(P, T), the inverse of :meth:`pressure` (root solver).

Parameters
----------
pressure, temperature : float or array_like
    Pressures (GPa) and temperatures (K, positive), broadcast against
    each other with NumPy's rules.

Returns
-------
float or ndarray
    Volumes (in ``volume_unit``): a float when both are scalars, else a new
    array of their broadcast shape.

Raises
------
barometra.errors.EosValidationError
    With code ``"eos.outside_invertible_range"`` for a pressure the
    model cannot reach at that temperature.
""",
    "hugoniot_pressure": _HUGONIOT.format(summary="Pressure P_H", result="Pressures (GPa)"),
    "hugoniot_temperature": _HUGONIOT.format(summary="Temperature T_H",
                                             result="Temperatures (K)"),
    "temperature": """Temperature T(P, V) at which the model has pressure P at volume V (root solver).

Note the order: pressure first, then volume.

Parameters
----------
pressure, volume : float or array_like
    Pressures (GPa) and volumes (in ``volume_unit``, positive), broadcast
    against each other with NumPy's rules.

Returns
-------
float or ndarray
    Temperatures (K): a float when both are scalars, else a new array
    of their broadcast shape.
""",
}

_CONFINEMENT_DOC = """Volume of a sample loaded to ``cold_pressure`` and heated inside a diamond-anvil cell.

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
    Volumes (in ``volume_unit``): a float for two scalars, else an array of
    the broadcast shape.
"""


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
    ``quantities``: every model has :meth:`pressure`, :meth:`volume`,
    :meth:`temperature`, :meth:`bulk_modulus`, its pressure derivative
    :meth:`bulk_modulus_derivative`, :meth:`isothermal_compressibility`,
    :meth:`thermal_expansivity`, :meth:`thermal_pressure` and
    :meth:`thermal_pressure_increment`; heat
    capacities, Grüneisen parameter, energies and free energies belong to
    the models that define them. Each takes two state variables (volume and
    temperature, or pressure and one of them), floats or array-likes that
    broadcast against each other, and gives a float for two scalars, else a
    new array of the broadcast shape. Invalid input raises
    :class:`~barometra.errors.EosValidationError`, a failed computation
    :class:`~barometra.errors.EosNumericalError`; no NaN or infinity is ever
    returned.

    Notes
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

    The same model in Å³ per cell of four formula units:

    >>> cell = MieGruneisenDebye(reference=BM3(v0=74.698, k0=160.2, k0_prime=4.03),
    ...                          tr=300.0, theta0=773.0, gamma0=1.5, q=1.5, n=2,
    ...                          volume_unit="A^3/cell", formula_units=4)
    >>> round(cell.volume(33.897, 2000.0), 2), cell.volume_unit
    (66.41, 'Å³/cell')
    """

    __slots__ = ()

    #: The quantities this model gives, each a method of the same name.
    quantities: ClassVar[tuple[str, ...]] = ()
    _engine_class = NativeThermalEos
    _engine_call = EngineCall("evaluate_scalar", "evaluate_array", named=True, arity=2)
    _units = _UNITS
    # Parameters that are option strings, and those that may be None.
    _option_names: ClassVar[frozenset[str]] = frozenset()
    _optional_names: ClassVar[frozenset[str]] = frozenset()
    _unit_keywords = ("volume_unit", "formula_units")
    # K' is bulk_modulus_derivative, as for the isothermal models.
    _method_names = MappingProxyType({"bulk_modulus_pressure_derivative":
                                      "bulk_modulus_derivative"})
    # The model name the reference isotherm must have, if any.
    _reference_model: ClassVar[str | None] = None
    _engine: NativeThermalEos

    volume_with_dac_confinement = quantity_method(
        "volume_with_dac_confinement", ("cold_pressure", "temperature"),
        EngineCall("{}_scalar", "{}_array", named=False, arity=2), _CONFINEMENT_DOC,
        (("f_dac", KEYWORD_REQUIRED),))

    @classmethod
    def _take_model(cls, model: ModelInfo) -> None:
        cls._option_names = frozenset(p.name for p in model.parameters if p.options)
        cls._optional_names = frozenset(p.name for p in model.parameters if p.default is None)
        cls._reference_model = model.reference_model
        cls.quantities = tuple(cls._method_names.get(quantity.name, quantity.name)
                               for quantity in model.quantities)
        super()._take_model(model)

    @classmethod
    def _parameter_type(cls, parameter: Any) -> str:
        return "IsothermalEos" if parameter.name == "reference" else \
            super()._parameter_type(parameter)

    @classmethod
    def _method_doc(cls, quantity: QuantityInfo) -> str:
        if quantity.name in _INVERSES:
            return _INVERSES[quantity.name]
        summary, result = _QUANTITIES.get(quantity.name, (super()._method_doc(quantity), ""))
        arguments, shape = (_VOLUME_ARGUMENT, _VOLUME_SHAPE) if len(quantity.arguments) == 1 \
            else (_PAIR_ARGUMENTS, _PAIR_SHAPE)
        return (f"{summary}\n\nParameters\n----------\n{arguments}\n"
                f"Returns\n-------\nfloat or ndarray\n    {result}: {shape}.\n")

    @classmethod
    def _convert_parameter(cls, name: str, value: object) -> Any:
        if name == "reference":
            return cls._check_reference(value)
        if name in cls._option_names:
            if not isinstance(value, str):
                raise TypeError(f"{cls.__name__}() parameter {name!r} must be a string, "
                                f"not {type(value).__name__}")
            return str(value)
        if value is None and name in cls._optional_names:
            return None
        return real_parameter(cls.__name__, name, value)

    @classmethod
    def _check_reference(cls, value: object) -> IsothermalEos:
        required = cls._reference_model
        if required is None and isinstance(value, IsothermalEos) or \
                isinstance(value, IsothermalEos) and value.model_name == required:
            return value
        kind = "an isothermal model (BM3, Vinet, ...)" if required is None else \
            "a " + next(model.__name__ for model in IsothermalEos.__subclasses__()
                        if model.model_name == required) + " model"
        raise TypeError(f"{cls.__name__}() parameter 'reference' must be {kind}, "
                        f"not {type(value).__name__}")

    @classmethod
    def _convert_units(cls, given: dict[str, Any], values: tuple[Any, ...]) -> tuple[Any, ...]:
        """(volume unit, Z): the ones given, else the reference's labels, else J/bar."""
        reference: IsothermalEos = values[0]
        name = cls.__name__
        if reference.pressure_unit not in (None, "GPa"):
            raise ValueError(f"{name}() computes in GPa, but its reference's pressures are in "
                             f"{reference.pressure_unit}: give the reference in GPa")
        volume = given.get("volume_unit")
        volume = reference.volume_unit if volume is None else canonical_unit("volume", volume)
        volume = volume or ENGINE_VOLUME_UNIT
        z = units.check_formula_units(given.get("formula_units"))
        z = reference.formula_units if z is None else z
        for keyword, own, theirs in (("volume_unit", volume, reference.volume_unit),
                                     ("formula_units", z, reference.formula_units)):
            if theirs is not None and own != theirs:
                raise ValueError(f"{name}() has {keyword}={own!r} but its reference "
                                 f"{theirs!r}: the reference's volumes are the model's")
        if units.is_per_cell(volume) and z is None:
            raise ValueError(f"{name}() with volume_unit={volume!r} needs formula_units, Z, "
                             f"to convert its volumes to {ENGINE_VOLUME_UNIT} per formula unit")
        return volume, z

    def _default_unit(self, name: str) -> Any:
        return ENGINE_VOLUME_UNIT if name == "volume_unit" else None

    @classmethod
    def _build_engine(cls, values: tuple[Any, ...], unit_values: tuple[Any, ...]) -> Any:
        reference, *rest = values
        scale = units.volume_factor(unit_values[0], ENGINE_VOLUME_UNIT, unit_values[1])
        if scale != 1.0:
            reference = reference.replace(v0=reference.parameters["v0"] * scale)
        constructor = getattr(NativeThermalEos, cls._engine_constructor)
        engine: NativeThermalEos = constructor(reference._engine, *rest)
        if scale == 1.0:
            return engine
        return VolumeScaledEngine(engine, scale, {q.name: q.arguments
                                                  for q in cls._model.quantities})

    @property
    def reference(self) -> IsothermalEos:
        """The reference isotherm (the ``reference`` parameter)."""
        reference: IsothermalEos = self._values[0]
        return reference

    @property
    def pressure_unit(self) -> str:
        """The unit of pressures: always GPa."""
        return "GPa"

    @property
    def volume_unit(self) -> str:
        """The label of the unit of volumes and of the reference's ``v0``."""
        label: str = self._unit_values[0]
        return label

    @property
    def formula_units(self) -> int | None:
        """Z, the formula units per unit cell, or None when not given."""
        z: int | None = self._unit_values[1]
        return z

    def quantity_unit(self, quantity: str) -> str:
        """The unit label of a quantity (``""`` when dimensionless)."""
        if quantity in ("volume", "volume_with_dac_confinement"):
            return self.volume_unit
        return _QUANTITY_UNITS.get(quantity, "GPa" if "pressure" in quantity else "")

    @property
    def _native_engine(self) -> NativeThermalEos:
        """The engine object, which computes in J/bar."""
        engine = self._engine
        native: NativeThermalEos = engine.native if isinstance(engine, VolumeScaledEngine) \
            else engine
        return native

    @property
    def _volume_scale(self) -> float:
        """J/bar per unit of this model's volumes."""
        engine = self._engine
        return engine.scale if isinstance(engine, VolumeScaledEngine) else 1.0


ThermalEos.__doc__ = (ThermalEos.__doc__ or "").replace("{units}", _UNITS.replace("\n", "\n    "))
