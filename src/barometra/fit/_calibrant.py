"""Fits whose pressures come from a calibrant's volumes through a pressure scale,
optionally with the scale's published uncertainty as nuisance parameters."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any

import numpy as np

from .._arrays import FloatArray
from ..data import Dataset


@dataclass(frozen=True)
class Calibrant:
    """What the engine needs of a scale and the calibrant column, in its units."""

    scale: Any  # a VolumeScale
    column: str
    volume: FloatArray  # the scale model's volumes (J/bar for a thermal scale)
    volume_sigma: FloatArray | None  # likewise; None when exact
    temperature: FloatArray
    pressure: FloatArray  # the scale's pressures at the measured volumes
    names: tuple[str, ...]  # the nuisance parameters (engine names)
    prior_values: FloatArray
    prior_factor: FloatArray

    def engine_arguments(self) -> dict[str, Any]:
        rows = len(self.volume)
        return {"kind": np.full(rows, 2.0), "scale": self.scale.model._native_engine,
                "scale_names": list(self.names), "calibrant_volume": self.volume,
                "calibrant_volume_sigma": self.volume_sigma,
                "prior_values": self.prior_values, "prior_factor": self.prior_factor}


def calibrant(pressure_scale: Any, column: str | None, data: Dataset, *, latent: bool,
              uncertainty: bool) -> Calibrant:
    """The calibrant of a fit, or a ValueError naming the scale or column at fault."""
    from ..scales import VolumeScale, get

    scale = get(pressure_scale) if isinstance(pressure_scale, str) else pressure_scale
    if not isinstance(scale, VolumeScale):
        raise ValueError(f"pressure_scale must name a volume calibrant's scale, not "
                         f"{getattr(scale, 'key', scale)!r}")
    if not isinstance(column, str):
        raise ValueError("pressure_scale needs calibrant_volume, the dataset's column of "
                         "calibrant volumes")
    volume = _column(data, column)
    sigma = data.extra.get(f"{column}_sigma")
    sigma = None if sigma is None else np.asarray(sigma, dtype=np.float64)
    if latent and (sigma is None or np.isnan(sigma).any() or (sigma <= 0).any()):
        raise ValueError(f"errors in the calibrant volumes need the column {column}_sigma, "
                         f"positive in every row (the dataset has "
                         f"{'none' if sigma is None else 'gaps or zeros'})")
    temperature = (np.full(len(data), scale.reference_temperature) if data.temperature is None
                   else np.asarray(data.temperature, dtype=np.float64))
    pressure = np.asarray(scale.pressure(volume, temperature), dtype=np.float64)
    uncertain = scale.uncertain_parameters if uncertainty else ()
    covariance = scale.parameter_covariance if uncertainty else np.zeros((0, 0))
    return Calibrant(
        scale=scale, column=column, volume=np.asarray(scale.model_volume(volume)),
        volume_sigma=np.asarray(scale.model_volume(sigma)) if latent and sigma is not None
        else None,
        temperature=temperature, pressure=pressure,
        names=tuple(p.native for p in uncertain),
        prior_values=np.array([p.value for p in uncertain]),
        prior_factor=np.asarray(np.linalg.cholesky(covariance) if len(uncertain) else
                                np.zeros((0, 0)), dtype=np.float64))


def propagated_sigma(cal: Calibrant, data: Dataset) -> FloatArray:
    """The pressure sigma the calibrant's measured volumes (and temperatures) give,
    for a dataset that reports none: K σV/V (and the temperature's share)."""
    name = f"{cal.column}_sigma"
    sigma = data.extra.get(name)
    if sigma is None or np.isnan(np.asarray(sigma, dtype=np.float64)).any():
        raise ValueError(f"the dataset reports no pressure_sigma and its calibrant column has "
                         f"no {name} to derive one from: give pressure_sigma, or {name}")
    temperature_sigma: Any = 0.0
    if data.temperature_sigma is not None:
        temperature_sigma = np.nan_to_num(np.asarray(data.temperature_sigma, dtype=np.float64))
    measurement = cal.scale.pressure_uncertainty(
        _column(data, cal.column), cal.temperature, np.asarray(sigma, dtype=np.float64),
        temperature_sigma).measurement
    return np.asarray(measurement, dtype=np.float64)


def _column(data: Dataset, column: str) -> FloatArray:
    if column not in data.extra:
        have = ", ".join(sorted(data.extra)) or "none"
        raise ValueError(f"calibrant_volume: the dataset has no column {column!r} "
                         f"(its extra columns: {have})")
    values = np.asarray(data.extra[column], dtype=np.float64)
    if np.isnan(values).any():
        raise ValueError(f"calibrant_volume: the column {column!r} has empty rows "
                         f"({', '.join(map(str, np.flatnonzero(np.isnan(values))[:5]))})")
    return values
