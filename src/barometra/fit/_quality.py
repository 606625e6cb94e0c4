"""What a fit should warn about: parameters the data leave free, an implausible
misfit, values at their bounds. Each check gives the warning's text."""

from __future__ import annotations

import math
from typing import TYPE_CHECKING

import numpy as np

from .._arrays import FloatArray

if TYPE_CHECKING:
    from ._result import FitResult

#: A reduced chi-square above this is no fit: the model misses the data by a
#: hundred sigmas per residual.
IMPLAUSIBLE_REDUCED_CHI_SQUARE = 1e4

# A value this close to a bound (relative, at least absolute) sits at it.
_AT_BOUND = 1e-9

# The engine's reasons for stopping, in plain words.
_STOPS = {
    "The maximum number of function evaluations is exceeded.":
        "the budget of residual evaluations ran out",
    "No acceptable optimization step could be computed.":
        "no step lowered the misfit any further",
    "`gtol` termination condition is satisfied.":
        "the gradient of the misfit vanished",
    "`ftol` termination condition is satisfied.":
        "the misfit stopped decreasing",
    "`xtol` termination condition is satisfied.":
        "the parameters stopped changing",
    "Both `ftol` and `xtol` termination conditions are satisfied.":
        "the misfit stopped decreasing and the parameters stopped changing",
}


def stop_reason(message: str) -> str:
    """The engine's termination message in plain words, without its backticks."""
    return _STOPS.get(message, message.replace("`", ""))


def undetermined_reason(result: FitResult) -> str:
    """Why the data leave parameters undetermined, as far as the data show it."""
    temperatures = result.data.temperature
    if temperatures is not None and np.ptp(temperatures) == 0:
        return f"no temperature spread (every row at {float(temperatures[0]):g} K)"
    if result.points < 2 or np.ptp(result.data.volume) == 0:
        return "no volume spread"
    return "their effects on the pressures vanish or cancel"


def quality_warnings(result: FitResult, lower: FloatArray, upper: FloatArray) -> list[str]:
    """The quality warnings of a fit of the varied parameters within (lower, upper)."""
    found = []
    if result.undetermined:
        names = ", ".join(result.undetermined)
        one = len(result.undetermined) == 1
        found.append(
            f"{names} {'is' if one else 'are'} not determined by the data, "
            f"{undetermined_reason(result)}; {'its' if one else 'their'} standard "
            f"error{'' if one else 's'} {'is' if one else 'are'} NaN: fix "
            f"{'it' if one else 'them'} (fix=...) or fit data that constrain "
            f"{'it' if one else 'them'}")
    reduced = result.reduced_chi_square
    if result.converged and reduced is not None and reduced > IMPLAUSIBLE_REDUCED_CHI_SQUARE:
        found.append(
            f"the misfit is implausibly large (reduced chi-square {reduced:.3g}, "
            f"{math.sqrt(reduced):.3g} sigmas per residual): check the units of the data and of "
            f"the starting values (v0 in {result.volume_unit}, k0 in {result.pressure_unit}?), "
            "start closer to the solution, or vary a parameter the model is missing")
    for name, low, high in zip(result.names, lower, upper):
        value = result.values[name]
        for side, bound in (("lower", low), ("upper", high)):
            if math.isfinite(bound) and abs(value - bound) <= _AT_BOUND * max(1.0, abs(bound)):
                found.append(f"{name} = {value:g} sits at its {side} bound: the best fit may "
                             "lie beyond it; widen the bound, or check the starting values "
                             "and the units")
    return found
