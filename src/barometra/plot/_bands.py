"""Confidence bands of fitted curves, by the delta method over the fit's covariance."""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import Any

import numpy as np

from .. import _engine
from .._arrays import FloatArray
from ..fit import FitResult
from ._models import is_isothermal

#: The band drawn around a fitted curve unless the caller says otherwise: ±1σ and ±2σ.
DEFAULT_BAND = (1.0, 2.0)
# Central-difference step, in standard errors of each parameter (as FitResult.predict).
_STEP = 1e-3


def band_levels(band: Sequence[float] | None) -> tuple[float, ...]:
    """The multiples of σ to shade, widest first."""
    levels = DEFAULT_BAND if band is None else tuple(float(k) for k in band)
    if not all(np.isfinite(k) and k > 0 for k in levels):
        raise ValueError(f"band must hold positive multiples of sigma, not {band!r}")
    return tuple(sorted(levels, reverse=True))


def pressure_sigma(result: FitResult, volumes: FloatArray, temperature: float | None
                   ) -> FloatArray:
    """σ of the fitted pressure at the volumes (and temperature)."""
    arguments = ((volumes,) if temperature is None or is_isothermal(result.model)
                 else (volumes, temperature))
    return np.asarray(result.predict("pressure", *arguments).standard_error, dtype=np.float64)


def curve_sigma(result: FitResult, curve: Callable[[Any], FloatArray]) -> FloatArray:
    """σ of ``curve(model)`` for the fitted model, where the curve's own coordinates
    move with the parameters (F at a given f, where V depends on V0): central
    differences over each varied parameter, propagated through the covariance."""
    names = result.names
    errors = np.array([result.standard_errors[name] for name in names])
    covariance = np.ascontiguousarray(np.asarray(result.covariance, dtype=np.float64))
    size = np.size(curve(result.model))
    if not (np.isfinite(errors).all() and np.isfinite(covariance).all()):
        return np.full(size, np.nan)  # a parameter the data do not determine
    columns = []
    for name, error in zip(names, errors):
        if error == 0.0:
            columns.append(np.zeros(size))
            continue
        value, step = result.values[name], _STEP * error
        up = curve(result.model.replace(**{name: value + step}))
        down = curve(result.model.replace(**{name: value - step}))
        columns.append((up - down) / (2.0 * step))
    jacobian = np.ascontiguousarray(np.array(columns).T)
    variance = _engine.linear_uncertainty(jacobian, covariance, np.zeros(size)).variance
    return np.sqrt(np.asarray(variance, dtype=np.float64))


def shade(axes: Any, x: FloatArray, y: FloatArray, sigma: FloatArray, levels: tuple[float, ...],
          color: Any) -> None:
    """The bands y ± k σ, the narrower the darker; nothing where σ is not finite."""
    finite = np.isfinite(sigma)
    for level in levels:
        axes.fill_between(x, y - level * sigma, y + level * sigma, where=finite,
                          color=color, alpha=band_alpha(level), linewidth=0, zorder=1)


def band_alpha(level: float) -> float:
    return min(0.3, 0.3 / level)


def band_legend(levels: tuple[float, ...]) -> list[tuple[Any, str]]:
    """Grey patches that explain the shading, narrowest first."""
    from matplotlib.patches import Patch

    return [(Patch(color="0.4", alpha=band_alpha(level), linewidth=0), f"±{level:g}σ")
            for level in reversed(levels)]
