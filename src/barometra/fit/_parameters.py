"""Which parameters a fit varies, under which names, and the engine's names for them.

A parameter is named as the model's constructor names it (``"k0"``,
``"theta0"``). A thermal model's reference-isotherm parameters are
``"reference.k0"``, ``"reference.v0"``, ...; the bare name works too
wherever the thermal model has no parameter of that name itself (so
``"k0"`` is the reference's K0, while ``"n"`` of a Mie-Grüneisen model over
a Holzapfel isotherm is the thermal model's n and ``"reference.n"`` the
Holzapfel one).
"""

from __future__ import annotations

import math
from collections.abc import Iterable, Mapping
from dataclasses import dataclass
from typing import Any

import numpy as np

from .._arrays import FloatArray
from ..eos import IsothermalEos, ThermalEos
from ..eos._base import EngineModel, real_parameter

REFERENCE = "reference."
# The engine's prefix for the parameters of a thermal model's reference isotherm.
_NATIVE_REFERENCE = "rt_eos."


@dataclass(frozen=True)
class Parameter:
    """One numeric parameter of a model: its public name, where it lives and its engine name."""

    name: str        # canonical public name: bare, or "reference.x" where bare is ambiguous
    own: str         # the name in its owner's constructor
    of_reference: bool
    native: str
    constant: bool   # held fixed unless the caller varies it


def model_parameters(model: EngineModel) -> dict[str, Parameter]:
    """The model's numeric parameters (those set to None excluded), by canonical name."""
    if isinstance(model, ThermalEos):
        reference = model.reference
        own = _numeric(model)
        # The reference's parameters first, as papers print them: v0, k0, ..., theta0, ...
        found = {}
        for name in _numeric(reference):
            public = REFERENCE + name if name in own else name
            found[public] = Parameter(public, name, True,
                                      _NATIVE_REFERENCE + reference._native_names[name],
                                      name in reference._fit_constants)
        found |= {name: Parameter(name, name, False, model._native_names[name],
                                  name in model._fit_constants) for name in own}
        return found
    if isinstance(model, IsothermalEos):
        return {name: Parameter(name, name, False, model._native_names[name],
                                name in model._fit_constants) for name in _numeric(model)}
    raise TypeError(f"model must be an isothermal or thermal model of barometra.eos, "
                    f"not {type(model).__name__}")


def _numeric(model: EngineModel) -> list[str]:
    values = model.parameters
    return [name for name in model._native_names if values[name] is not None]


def resolve(parameters: Mapping[str, Parameter], name: object, what: str) -> Parameter:
    """The parameter a caller's name means: canonical, ``reference.x`` or a bare
    reference name."""
    if not isinstance(name, str):
        raise TypeError(f"{what} must hold parameter names (str), not {type(name).__name__}")
    found = parameters.get(name)
    if found is None and name.startswith(REFERENCE):
        bare = name[len(REFERENCE):]
        found = next((p for p in parameters.values() if p.of_reference and p.own == bare), None)
    if found is None:
        raise ValueError(f"{what}: the model has no parameter {name!r}; its parameters: "
                         f"{', '.join(parameters)}")
    return found


def split(parameters: Mapping[str, Parameter], vary: Iterable[str] | str | None,
          fix: Iterable[str] | Mapping[str, Any] | str | None
          ) -> tuple[list[Parameter], dict[str, float]]:
    """The varied parameters in the model's order, and the values given for fixed ones."""
    if isinstance(vary, str) or isinstance(fix, str):
        raise TypeError("vary and fix take a sequence of names, not one string "
                        "(write vary=('k0',), not vary='k0')")
    values: dict[str, float] = {}
    fixed: set[str] = set()
    if fix is not None:
        items = fix.items() if isinstance(fix, Mapping) else ((name, None) for name in fix)
        for name, value in items:
            parameter = resolve(parameters, name, "fix")
            fixed.add(parameter.name)
            if value is not None:
                values[parameter.name] = _finite(parameter.name, value)
    if vary is None:
        chosen = {name for name, p in parameters.items() if not p.constant} - fixed
    else:
        chosen = {resolve(parameters, name, "vary").name for name in vary}
        both = sorted(chosen & fixed)
        if both:
            raise ValueError(f"{', '.join(map(repr, both))} cannot be both varied and fixed")
    if not chosen:
        raise ValueError("no parameter is left to vary")
    return [p for name, p in parameters.items() if name in chosen], values


def _finite(name: str, value: object) -> float:
    number = real_parameter("fix", name, value)
    if not math.isfinite(number):
        raise ValueError(f"fix: the value of {name!r} must be finite, not {number!r}")
    return number


def with_values(model: EngineModel, parameters: Mapping[str, Parameter],
                values: Mapping[str, float], **units: str) -> Any:
    """The public model with the given parameters (by canonical name), and units,
    changed."""
    own: dict[str, Any] = {parameters[name].own: value for name, value in values.items()
                           if not parameters[name].of_reference}
    own |= units
    of_reference = {parameters[name].own: value for name, value in values.items()
                    if parameters[name].of_reference}
    if of_reference:
        assert isinstance(model, ThermalEos)
        own["reference"] = model.reference.replace(**of_reference)
    return model.replace(**own) if own else model


def parameter_value(model: Any, parameter: Parameter) -> float:
    """The current value of one parameter of the model."""
    owner = model.reference if parameter.of_reference else model
    return float(owner.parameters[parameter.own])


def engine_scales(model: EngineModel, parameters: list[Parameter]) -> FloatArray:
    """Per parameter, the engine's unit per unit of the model's: a thermal model's
    volume scale for its reference's ``v0``, 1 for every other parameter."""
    scale = model._volume_scale
    return np.array([scale if p.of_reference and p.own == "v0" else 1.0 for p in parameters])
