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

Every model is also available from the top-level package: ``barometra.BM3``.
"""

from ._hugoniot import LinearUsUpHugoniot
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

# The public home of every class, also for pickles and reprs.
for _name in __all__:
    globals()[_name].__module__ = __name__
del _name
