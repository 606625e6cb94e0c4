"""What the plots need to know of the models they draw."""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any

import numpy as np

from .._arrays import FloatArray
from ..eos import IsothermalEos, LinearUsUpHugoniot


def as_models(models: Any) -> list[Any]:
    """One model or a sequence of them, as a list."""
    if models is None:
        return []
    if hasattr(models, "pressure"):
        return [models]
    listed = list(models)
    for model in listed:
        if not hasattr(model, "pressure"):
            raise TypeError(f"models must be models with a pressure method, "
                            f"not {type(model).__name__}")
    return listed


def model_labels(models: list[Any], labels: Sequence[str] | None) -> list[str]:
    """The legend entries: the given labels, or each model's class name."""
    if labels is None:
        return [type(model).__name__ for model in models]
    labels = list(labels)
    if len(labels) != len(models):
        raise ValueError(f"{len(labels)} labels for {len(models)} models")
    return [str(label) for label in labels]


def is_isothermal(model: Any) -> bool:
    """Whether the model's pressure is P(V) alone (one curve whatever the temperature)."""
    return isinstance(model, (IsothermalEos, LinearUsUpHugoniot))


def model_pressure(model: Any, volume: FloatArray, temperature: float | FloatArray | None
                   ) -> FloatArray:
    """The model's own pressure at the volumes, and at the temperatures when it takes one."""
    if temperature is None or is_isothermal(model):
        result = model.pressure(volume)
    else:
        result = model.pressure(volume, temperature)
    return np.asarray(result, dtype=np.float64)


def reference_volume(models: list[Any], v0: float | None) -> float:
    """``v0`` when given, else the first model's."""
    if v0 is not None:
        value = float(v0)
    else:
        found = [model.parameters["v0"] for model in models
                 if "v0" in getattr(model, "parameters", {})]
        if not found:
            raise ValueError("v0 is needed: pass v0= or a model with a v0 parameter")
        value = float(found[0])
    if not (np.isfinite(value) and value > 0):
        raise ValueError(f"v0 must be positive and finite, not {value!r}")
    return value
