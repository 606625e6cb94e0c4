"""What the plots need to know of the models and fits they draw."""

from __future__ import annotations

from collections.abc import Sequence
from dataclasses import dataclass
from typing import Any

import numpy as np

from .._arrays import FloatArray
from ..data import Dataset
from ..eos import IsothermalEos, LinearUsUpHugoniot
from ..fit import FitResult


@dataclass(frozen=True)
class Curve:
    """One model to draw: its legend entry, and the fit it came from (for its band)."""

    model: Any
    label: str
    result: FitResult | None


def curves(data: Dataset | FitResult, models: Any, labels: Sequence[str] | None
           ) -> tuple[Dataset, list[Curve]]:
    """The dataset and the curves to draw. A fit given as ``data`` brings its own data
    and comes first among the curves; fits among ``models`` bring their bands."""
    sources = as_models(models)
    if isinstance(data, FitResult):
        sources.insert(0, data)
        data = data.data
    elif not isinstance(data, Dataset):
        raise TypeError(f"data must be a barometra.data.Dataset or a FitResult, "
                        f"not {type(data).__name__}")
    if labels is None:
        names = [f"{type(s.model).__name__} fit" if isinstance(s, FitResult)
                 else type(s).__name__ for s in sources]
    else:
        names = [str(label) for label in labels]
        if len(names) != len(sources):
            raise ValueError(f"{len(names)} labels for {len(sources)} models")
    return data, [Curve(s.model, name, s) if isinstance(s, FitResult) else Curve(s, name, None)
                  for s, name in zip(sources, names)]


def as_models(models: Any) -> list[Any]:
    """One model (or fit) or a sequence of them, as a list."""
    if models is None:
        return []
    if isinstance(models, FitResult) or hasattr(models, "pressure"):
        return [models]
    listed = list(models)
    for model in listed:
        if not (isinstance(model, FitResult) or hasattr(model, "pressure")):
            raise TypeError(f"models must be models with a pressure method or fit results, "
                            f"not {type(model).__name__}")
    return listed


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


def model_volume(model: Any) -> float | None:
    """The model's own V0, or None when it has none."""
    value = getattr(model, "parameters", {}).get("v0")
    return None if value is None else float(value)


def reference_volume(models: list[Any], v0: float | None) -> float:
    """``v0`` when given, else the first model's."""
    found = next((value for value in map(model_volume, models) if value is not None), None)
    value = found if v0 is None else float(v0)
    if value is None:
        raise ValueError("v0 is needed: pass v0= or a model with a v0 parameter")
    if not (np.isfinite(value) and value > 0):
        raise ValueError(f"v0 must be positive and finite, not {value!r}")
    return value
