"""Equations of state, one class per model.

Isothermal models (pressure, volume, bulk modulus and its pressure
derivative at the reference temperature):

========================  ==========  =======================================
Class                     Alias       Parameters
========================  ==========  =======================================
:class:`BirchMurnaghan2`  ``BM2``     v0, k0
:class:`BirchMurnaghan3`  ``BM3``     v0, k0, k0_prime
:class:`BirchMurnaghan4`  ``BM4``     v0, k0, k0_prime, k0_double_prime
:class:`NaturalStrain2`               v0, k0
:class:`NaturalStrain3`               v0, k0, k0_prime
:class:`NaturalStrain4`               v0, k0, k0_prime, k0_double_prime
:class:`Vinet`                        v0, k0, k0_prime
:class:`Morse3`                       v0, k0, k0_prime
:class:`SunMorse3`                    v0, k0, k0_prime
:class:`SunMorse4`                    v0, k0, k0_prime
:class:`RydbergStacey`                v0, k0, k0_prime, k_infinity_prime
:class:`Holzapfel`        ``AP2``     v0, k0, k0_prime, n, z
:class:`Baonza`                       v0, k0, k0_prime
:class:`Murnaghan`                    v0, k0, k0_prime
:class:`SecondOrderMurnaghan`         v0, k0, k0_prime, k0_double_prime, p0
:class:`ModifiedTait`                 v0, k0, k0_prime, k0_double_prime
:class:`DensityPolynomial3`           v0, rho0, c0, c1, c2, c3
========================  ==========  =======================================

The shock Hugoniot :class:`LinearUsUpHugoniot` (parameters v0, rho0, c0, s
and p0, 0 by default) gives pressure, density, shock and particle velocities,
tangent modulus and internal-energy change along the states one shock
reaches, and their inverses from pressure or particle velocity.

Thermal models add a thermal part to a reference isotherm (any of the
models above, given as ``reference=``); each method is one quantity of two
state variables, broadcast with NumPy's rules (volumes in J/bar per formula
unit, pressures in GPa, temperatures in K):

=======================================  ====================================
Class                                    Parameters after reference, tr
=======================================  ====================================
:class:`MieGruneisenDebye`               theta0, gamma0, q, n; options
:class:`MieGruneisenEinstein`            theta0, gamma0, q, n
:class:`AsymptoticPowerLawMieGruneisenDebye`  theta0, gamma0, a, b, n
:class:`VariableQMieGruneisenDebye`      theta0, gamma0, q0, q1, n
:class:`Dewaele2006`                     theta0, gamma0, gamma_inf, beta, ...
:class:`DorogokupetsOganov2007`          four oscillators, gamma0, ...
:class:`MultiOscillatorGruneisen`        (alias ``Sokolova2016``) qe1o, ...
:class:`DebyeAnharmonicHelmholtz`        theta0, gamma0, q, b1, b2, b3
:class:`LinearThermalPressure`           alpha_kt
:class:`LogVolumeThermalPressure`        alpha_kt_ref, dk_dt_v
:class:`DebyeQuadraticThermalPressure`   theta0, gamma0, q, n, a, m
:class:`SecondOrderTaylorThermalPressure`  eta0, c0 ... c5
:class:`HollandPowell`                   theta, alpha0, n
:class:`ThermalModifiedTait`             theta, alpha0, n (over ModifiedTait)
:class:`ThermalReferenceState`           alpha0, dk_dt, ...; laws
=======================================  ====================================

Every model is also available from the top-level package: ``barometra.BM3``.
"""

from . import _thermal
from ._hugoniot import LinearUsUpHugoniot
from ._thermal import *  # noqa: F403  (their __all__ joins this one)
from ._isothermal import (
    AP2,
    BM2,
    BM3,
    BM4,
    Baonza,
    BirchMurnaghan2,
    BirchMurnaghan3,
    BirchMurnaghan4,
    DensityPolynomial3,
    Holzapfel,
    IsothermalEos,
    ModifiedTait,
    Morse3,
    Murnaghan,
    NaturalStrain2,
    NaturalStrain3,
    NaturalStrain4,
    RydbergStacey,
    SecondOrderMurnaghan,
    SunMorse3,
    SunMorse4,
    Vinet,
)

__all__ = [
    "IsothermalEos",
    "BirchMurnaghan2",
    "BirchMurnaghan3",
    "BirchMurnaghan4",
    "NaturalStrain2",
    "NaturalStrain3",
    "NaturalStrain4",
    "Vinet",
    "Morse3",
    "SunMorse3",
    "SunMorse4",
    "RydbergStacey",
    "Holzapfel",
    "Baonza",
    "Murnaghan",
    "SecondOrderMurnaghan",
    "ModifiedTait",
    "DensityPolynomial3",
    "LinearUsUpHugoniot",
    "BM2",
    "BM3",
    "BM4",
    "AP2",
]
__all__ += _thermal.__all__

# The public home of every class, also for pickles and reprs.
for _name in __all__:
    globals()[_name].__module__ = __name__
del _name
