"""The seventeen isothermal equations of state, one class each."""

from __future__ import annotations

from typing import TYPE_CHECKING, Any, ClassVar, overload

import numpy.typing as npt

from .._arrays import FloatArray, evaluate
from .._engine import RtEos
from ._base import EngineModel, real_parameter
from ._docs import add_parameter_sections

__all__ = [
    "IsothermalEos",
    "Baonza",
    "DensityPolynomial3",
    "BirchMurnaghan2",
    "BirchMurnaghan3",
    "BirchMurnaghan4",
    "Morse3",
    "Murnaghan",
    "SecondOrderMurnaghan",
    "ModifiedTait",
    "NaturalStrain2",
    "NaturalStrain3",
    "NaturalStrain4",
    "RydbergStacey",
    "SunMorse3",
    "SunMorse4",
    "Vinet",
    "Holzapfel",
    "BM2",
    "BM3",
    "BM4",
    "AP2",
]

_UNITS = """\
The model converts no units: every volume shares the unit of ``v0`` (Å³ per
cell, cm³/mol, J/bar, ...) and every pressure and bulk modulus the unit of
``k0`` (GPa by convention). Nothing is guessed from the magnitudes."""

_PARAMETER_DOCS = {
    "v0": "Reference volume V0, the volume at zero pressure (at p0 where the model has "
          "one); positive.",
    "k0": "Isothermal bulk modulus K0 at V0; positive.",
    "k0_prime": "Pressure derivative of the bulk modulus at V0, K0' = dK/dP (dimensionless).",
    "k0_double_prime": "Second pressure derivative of the bulk modulus at V0, K0'' = d²K/dP², "
                       "in 1/pressure.",
    "k_infinity_prime": "Limit of dK/dP at infinite compression, K'∞ (dimensionless).",
    "p0": "Pressure P0 at which V0, K0, K0' and K0'' are given.",
    "n": "Number of atoms per formula unit; positive.",
    "z": "Number of electrons per atom (the atomic number; the mean over the "
         "formula unit for a compound); positive.",
    "rho0": "Density at V0, in the unit the coefficients assume; positive.",
    "c0": "Coefficient c0 of P(ρ) = c0 + c1 ρ + c2 ρ² + c3 ρ³, a pressure.",
    "c1": "Coefficient c1 of ρ, in pressure per density.",
    "c2": "Coefficient c2 of ρ², in pressure per density squared; not negative.",
    "c3": "Coefficient c3 of ρ³, in pressure per density cubed; positive.",
}

# The fits' names of the parameters, where they differ from the Python ones.
_NATIVE_NAMES = {"v0": "V0", "k0": "K0", "k0_prime": "K0_prime",
                 "k0_double_prime": "K0_double_prime", "k_infinity_prime": "K_infinity_prime",
                 "p0": "P0", "z": "Z"}


class IsothermalEos(EngineModel):
    """Base of the isothermal (reference-temperature) equations of state.

    Each subclass is one model, built from keyword parameters in lower-case
    notation (``v0``, ``k0``, ``k0_prime``, ...) and validated once; a model
    is an immutable, hashable value that compares equal to another of the
    same class with the same parameters, pickles, and has a ``repr`` that
    evaluates back to an equal model.

    The four evaluations take a float or any array-like of real numbers.
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

    #: The engine's name of the model, for example ``"BM3"``.
    model_name: ClassVar[str]
    # The name of the engine's static constructor, for example ``"bm3"``.
    _engine_constructor: ClassVar[str]
    _engine: RtEos

    def __init_subclass__(cls, **kwargs: Any) -> None:
        super().__init_subclass__(**kwargs)
        if "_parameter_names" in vars(cls):
            cls._native_names = {name: _NATIVE_NAMES.get(name, name)
                                 for name in cls._parameter_names}
        if cls.__doc__ and "_parameter_names" in vars(cls):
            cls.__doc__ = add_parameter_sections(cls.__doc__, cls._parameter_names, {},
                                                 _PARAMETER_DOCS, _UNITS)

    @classmethod
    def _build_engine(cls, values: tuple[Any, ...]) -> RtEos:
        constructor = getattr(RtEos, cls._engine_constructor)
        engine: RtEos = constructor(*values)
        return engine

    @overload
    def pressure(self, volume: float) -> float: ...
    @overload
    def pressure(self, volume: npt.ArrayLike) -> FloatArray: ...
    def pressure(self, volume: npt.ArrayLike) -> float | FloatArray:
        """Pressure P(V) at the given volume(s).

        Parameters
        ----------
        volume : float or array_like
            Volumes, in the unit of ``v0``; positive and finite.

        Returns
        -------
        float or ndarray
            Pressures in the unit of ``k0``: a float for a scalar volume, a
            new array of the same shape for an array.
        """
        if type(volume) is float:
            return self._engine.pressure_scalar(volume)
        engine = self._engine
        return evaluate(engine.pressure_scalar, engine.pressure_array, volume, "volume")

    @overload
    def volume(self, pressure: float) -> float: ...
    @overload
    def volume(self, pressure: npt.ArrayLike) -> FloatArray: ...
    def volume(self, pressure: npt.ArrayLike) -> float | FloatArray:
        """Volume V(P) at the given pressure(s): the inverse of :meth:`pressure`.

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
        """
        if type(pressure) is float:
            return self._engine.volume_scalar(pressure)
        engine = self._engine
        return evaluate(engine.volume_scalar, engine.volume_array, pressure, "pressure")

    @overload
    def bulk_modulus(self, volume: float) -> float: ...
    @overload
    def bulk_modulus(self, volume: npt.ArrayLike) -> FloatArray: ...
    def bulk_modulus(self, volume: npt.ArrayLike) -> float | FloatArray:
        """Isothermal bulk modulus K(V) = -V dP/dV at the given volume(s).

        Parameters
        ----------
        volume : float or array_like
            Volumes, in the unit of ``v0``.

        Returns
        -------
        float or ndarray
            Bulk moduli in the unit of ``k0``.
        """
        if type(volume) is float:
            return self._engine.bulk_modulus_scalar(volume)
        engine = self._engine
        return evaluate(engine.bulk_modulus_scalar, engine.bulk_modulus_array, volume, "volume")

    @overload
    def bulk_modulus_derivative(self, volume: float, *, epsilon: float = ...) -> float: ...
    @overload
    def bulk_modulus_derivative(
        self, volume: npt.ArrayLike, *, epsilon: float = ...
    ) -> FloatArray: ...
    def bulk_modulus_derivative(
        self, volume: npt.ArrayLike, *, epsilon: float = 1e-5
    ) -> float | FloatArray:
        """Pressure derivative of the bulk modulus, K' = dK/dP, at the given volume(s).

        A central difference of the closed-form bulk modulus over the volumes
        V (1 ± epsilon). Only :class:`Holzapfel` provides it.

        Parameters
        ----------
        volume : float or array_like
            Volumes, in the unit of ``v0``.
        epsilon : float, optional
            Relative volume step, in (0, 1). The default 1e-5 balances
            truncation and rounding errors (about 1e-10 relative).

        Returns
        -------
        float or ndarray
            K' (dimensionless).

        Raises
        ------
        barometra.errors.UnsupportedOperationError
            For every model but :class:`Holzapfel`.
        """
        step = real_parameter("bulk_modulus_derivative", "epsilon", epsilon)
        engine = self._engine
        return evaluate(lambda v: engine.bulk_modulus_derivative_scalar(v, step),
                        lambda v: engine.bulk_modulus_derivative_array(v, step),
                        volume, "volume")


class Baonza(IsothermalEos):
    """Baonza equation of state.

    K = K0 [(P + Psp) / Psp]^β with β = 0.85 and the pseudospinodal pressure
    Psp = β K0 / K0'. Volumes beyond the pseudospinodal are outside its
    domain. Baonza, Cáceres and Núñez (1995), Phys. Rev. B 51, 28.
    """

    __slots__ = ()
    model_name = "Baonza"
    _engine_constructor = "baonza"
    _parameter_names = ("v0", "k0", "k0_prime")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float) -> None: ...


class DensityPolynomial3(IsothermalEos):
    """Pressure as a cubic polynomial in density.

    P = c0 + c1 ρ + c2 ρ² + c3 ρ³ with ρ = ρ0 V0 / V. The volume is found by
    bisection in density; pressures below the curve's minimum cannot be
    inverted.
    """

    __slots__ = ()
    model_name = "DensityPolynomial3"
    _engine_constructor = "density_polynomial_3"
    # Only the product rho0 v0 enters the pressure: fitting both is degenerate.
    _fit_constants = frozenset({"rho0"})
    _parameter_names = ("v0", "rho0", "c0", "c1", "c2", "c3")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, rho0: float, c0: float, c1: float, c2: float,
                     c3: float) -> None: ...


class BirchMurnaghan2(IsothermalEos):
    """Second-order Birch-Murnaghan equation of state (K0' fixed at 4).

    P = 3 K0 f (1 + 2f)^(5/2) with the Eulerian strain f = [(V0/V)^(2/3) - 1] / 2.
    Birch (1947), Phys. Rev. 71, 809.
    """

    __slots__ = ()
    model_name = "BM2"
    _engine_constructor = "bm2"
    _parameter_names = ("v0", "k0")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float) -> None: ...


class BirchMurnaghan3(IsothermalEos):
    """Third-order Birch-Murnaghan equation of state.

    P = 3 K0 f (1 + 2f)^(5/2) [1 + 3/2 (K0' - 4) f] with the Eulerian strain
    f = [(V0/V)^(2/3) - 1] / 2. Birch (1947), Phys. Rev. 71, 809.

    Examples
    --------
    Stishovite at 300 K (Nishihara et al. 2005), volumes in Å³ per cell:

    >>> from barometra import BirchMurnaghan3
    >>> stishovite = BirchMurnaghan3(v0=46.56, k0=296.0, k0_prime=4.2)
    >>> round(stishovite.bulk_modulus(44.0), 2)
    373.07
    """

    __slots__ = ()
    model_name = "BM3"
    _engine_constructor = "bm3"
    _parameter_names = ("v0", "k0", "k0_prime")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float) -> None: ...


class BirchMurnaghan4(IsothermalEos):
    """Fourth-order Birch-Murnaghan equation of state.

    P = 3 K0 f (1 + 2f)^(5/2) (1 + a f + b f²) with a = 3/2 (K0' - 4) and
    b = 3/2 [K0 K0'' + (K0' - 4)(K0' - 3) + 35/9]. Birch (1947), Phys. Rev.
    71, 809.
    """

    __slots__ = ()
    model_name = "BM4"
    _engine_constructor = "bm4"
    _parameter_names = ("v0", "k0", "k0_prime", "k0_double_prime")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float,
                     k0_double_prime: float) -> None: ...


class Morse3(IsothermalEos):
    """Three-parameter equation of state from the Morse potential.

    P = 3 K0 / [(K0' - 1) y²] (e² - e) with y = (V/V0)^(1/3) and
    e = exp[(K0' - 1)(1 - y)]; K0' must differ from 1.
    """

    __slots__ = ()
    model_name = "Morse3"
    _engine_constructor = "morse3"
    _parameter_names = ("v0", "k0", "k0_prime")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float) -> None: ...


class Murnaghan(IsothermalEos):
    """Murnaghan equation of state: a bulk modulus linear in pressure.

    P = K0 / K0' [(V0/V)^K0' - 1], K = K0 + K0' P. Murnaghan (1944), Proc.
    Natl. Acad. Sci. 30, 244.
    """

    __slots__ = ()
    model_name = "Murnaghan"
    _engine_constructor = "murnaghan"
    _parameter_names = ("v0", "k0", "k0_prime")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float) -> None: ...


class SecondOrderMurnaghan(IsothermalEos):
    """Second-order Murnaghan equation of state: a bulk modulus quadratic in pressure.

    K = K0 + K0' (P - P0) + K0'' (P - P0)² / 2, with V0, K0, K0' and K0'' at
    the pressure P0; K0'² - 2 K0 K0'' must be positive. The volume comes
    from the closed-form inverse.
    """

    __slots__ = ()
    model_name = "SecondOrderMurnaghan"
    _engine_constructor = "second_order_murnaghan"
    _fit_constants = frozenset({"p0"})
    _parameter_names = ("v0", "k0", "k0_prime", "k0_double_prime", "p0")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float, k0_double_prime: float,
                     p0: float) -> None: ...


class ModifiedTait(IsothermalEos):
    """Modified Tait equation of state.

    V/V0 = 1 - a [1 - (1 + b P)^(-c)], with a, b and c from K0, K0' and K0''.
    Holland and Powell (2011), J. Metamorphic Geol. 29, 333.
    """

    __slots__ = ()
    model_name = "ModifiedTait"
    _engine_constructor = "modified_tait"
    _parameter_names = ("v0", "k0", "k0_prime", "k0_double_prime")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float,
                     k0_double_prime: float) -> None: ...


class NaturalStrain2(IsothermalEos):
    """Second-order natural-strain (logarithmic) equation of state.

    P = 3 K0 (V0/V) g with the natural strain g = ln(V0/V) / 3. Poirier and
    Tarantola (1998), Phys. Earth Planet. Inter. 109, 1.
    """

    __slots__ = ()
    model_name = "NaturalStrain2"
    _engine_constructor = "natural_strain2"
    _parameter_names = ("v0", "k0")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float) -> None: ...


class NaturalStrain3(IsothermalEos):
    """Third-order natural-strain (logarithmic) equation of state.

    P = 3 K0 (V0/V) [g + 3/2 (K0' - 2) g²] with g = ln(V0/V) / 3. Poirier and
    Tarantola (1998), Phys. Earth Planet. Inter. 109, 1.
    """

    __slots__ = ()
    model_name = "NaturalStrain3"
    _engine_constructor = "natural_strain3"
    _parameter_names = ("v0", "k0", "k0_prime")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float) -> None: ...


class NaturalStrain4(IsothermalEos):
    """Fourth-order natural-strain (logarithmic) equation of state.

    P = 3 K0 (V0/V) (g + c2 g² + c3 g³) with g = ln(V0/V) / 3,
    c2 = 3/2 (K0' - 2) and c3 = 3/2 [K0 K0'' + 1 + (K0' - 2) + (K0' - 2)²].
    Poirier and Tarantola (1998), Phys. Earth Planet. Inter. 109, 1.
    """

    __slots__ = ()
    model_name = "NaturalStrain4"
    _engine_constructor = "natural_strain4"
    _parameter_names = ("v0", "k0", "k0_prime", "k0_double_prime")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float,
                     k0_double_prime: float) -> None: ...


class RydbergStacey(IsothermalEos):
    """Rydberg-Stacey equation of state, with a finite K' at infinite pressure.

    P = 3 K0 y^(-3 K'∞) (1 - y) exp[η (1 - y)] with y = (V/V0)^(1/3) and
    η = 3/2 K0' - 3 K'∞ + 1/2.
    """

    __slots__ = ()
    model_name = "RydbergStacey"
    _engine_constructor = "rydberg_stacey"
    _parameter_names = ("v0", "k0", "k0_prime", "k_infinity_prime")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float,
                     k_infinity_prime: float) -> None: ...


class SunMorse3(IsothermalEos):
    """Sun-Morse equation of state with the reduced length y = (V/V0)^(1/3).

    P = 3 K0 / s (e² - e) with s = (3 K0' + 1) / 3 and e = exp[s (1 - y)];
    s must not be zero.
    """

    __slots__ = ()
    model_name = "SunMorse3"
    _engine_constructor = "sun_morse3"
    _parameter_names = ("v0", "k0", "k0_prime")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float) -> None: ...


class SunMorse4(IsothermalEos):
    """Sun-Morse equation of state with the reduced length y = (V/V0)^(1/4).

    P = 4 K0 / s (e² - e) with s = (4 K0' + 1) / 3 and e = exp[s (1 - y)];
    s must not be zero.
    """

    __slots__ = ()
    model_name = "SunMorse4"
    _engine_constructor = "sun_morse4"
    _parameter_names = ("v0", "k0", "k0_prime")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float) -> None: ...


class Vinet(IsothermalEos):
    """Vinet (universal) equation of state.

    P = 3 K0 (1 - y) / y² exp[3/2 (K0' - 1)(1 - y)] with y = (V/V0)^(1/3).
    Vinet, Smith, Ferrante and Rose (1987), J. Geophys. Res. 92, 9319.

    Examples
    --------
    >>> from barometra import Vinet
    >>> round(Vinet(v0=46.56, k0=296.0, k0_prime=4.2).pressure(44.0), 3)
    18.835
    """

    __slots__ = ()
    model_name = "Vinet"
    _engine_constructor = "vinet"
    _parameter_names = ("v0", "k0", "k0_prime")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float) -> None: ...


class Holzapfel(IsothermalEos):
    """Holzapfel AP2 equation of state, with the Fermi-gas limit at infinite compression.

    P = 3 K0 X⁻⁵ (1 - X) exp[c0 (1 - X)] [1 + c2 X (1 - X)] with X = (V/V0)^(1/3),
    c0 = -ln(3 K0 / P_FG0) and c2 = 3/2 (K0' - 3) - c0, where
    P_FG0 = 1003.6 GPa [n Z / (10 V0)]^(5/3) is the Fermi-gas pressure at V0.
    Holzapfel (1996), Rep. Prog. Phys. 59, 29.

    Units
    -----
    The Fermi-gas constant fixes the units: volumes (and ``v0``) in J/bar per
    formula unit (1 J/bar = 10 cm³/mol), pressures (and ``k0``) in GPa. Other
    units give a wrong c0 without any error, so convert first; for unit-cell
    volumes in Å³, see :meth:`barometra.data.Dataset.to_molar_volume`.

    Examples
    --------
    Stishovite, SiO2 (n = 3 atoms, 30/3 = 10 electrons per atom):

    >>> from barometra import Holzapfel
    >>> eos = Holzapfel(v0=1.40195, k0=296.0, k0_prime=4.2, n=3, z=10)
    >>> round(eos.bulk_modulus_derivative(1.40195), 6)
    4.2
    """

    __slots__ = ()
    model_name = "Holzapfel"
    _engine_constructor = "holzapfel"
    _fit_constants = frozenset({"n", "z"})
    _parameter_names = ("v0", "k0", "k0_prime", "n", "z")
    if TYPE_CHECKING:
        def __init__(self, *, v0: float, k0: float, k0_prime: float, n: float,
                     z: float) -> None: ...


# Short names as the literature writes them.
BM2 = BirchMurnaghan2
BM3 = BirchMurnaghan3
BM4 = BirchMurnaghan4
AP2 = Holzapfel
