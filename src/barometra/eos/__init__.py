"""Equations of state, one class per model.

Isothermal models (pressure, volume, bulk modulus and its pressure
derivative at the reference temperature):

{isothermal}

The shock Hugoniot :class:`LinearUsUpHugoniot` (parameters v0, rho0, c0, s
and p0, 0 by default) gives pressure, density, shock and particle velocities,
tangent modulus and internal-energy change along the states one shock
reaches, and their inverses from pressure or particle velocity.

Thermal models add a thermal part to a reference isotherm (any of the
models above, given as ``reference=``); each method is one quantity of two
state variables, broadcast with NumPy's rules (volumes in J/bar per formula
unit, pressures in GPa, temperatures in K):

{thermal}

Every model is also available from the top-level package: ``barometra.BM3``.
"""

from ._models import *  # noqa: F403  (the classes, made from the engine's table)
from ._models import __all__ as __all__
from ._overview import overview

# The public home of every class, also for pickles and reprs.
for _name in __all__:
    globals()[_name].__module__ = __name__
del _name

__doc__ = overview(__doc__ or "", [globals()[name] for name in __all__])
