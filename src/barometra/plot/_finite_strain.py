"""The normalised pressure against Eulerian strain (F-f) diagnostic of finite-strain fits."""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any, NamedTuple

import numpy as np
import numpy.typing as npt

from .._arrays import FloatArray, as_float64_array
from ..data import Dataset
from ..data._dataset import plural
from ..fit import FitResult
from ._bands import band_legend, band_levels, curve_sigma, shade
from ._matplotlib import axis_label, drawing, measured, pyplot
from ._models import curves, is_isothermal, model_pressure, model_volume, reference_volume
from ._strain_fit import strain_fit

# Below this Eulerian strain F = P / 3f(1 + 2f)^(5/2) is mostly the rounding of P and V.
SMALLEST_STRAIN = 1e-4


class FiniteStrain(NamedTuple):
    """Eulerian strain f and normalised pressure F, with their propagated sigmas."""

    strain: Any
    normalized_pressure: Any
    strain_sigma: Any
    normalized_pressure_sigma: Any


def finite_strain(
    pressure: npt.ArrayLike,
    volume: npt.ArrayLike,
    v0: float,
    *,
    pressure_sigma: npt.ArrayLike | None = None,
    volume_sigma: npt.ArrayLike | None = None,
) -> FiniteStrain:
    """The F-f coordinates of pressure-volume measurements, with first-order sigmas.

    f = [(V0/V)^(2/3) - 1] / 2 and F = P / [3 f (1 + 2f)^(5/2)]: a
    third-order Birch-Murnaghan isotherm is the straight line
    F = K0 [1 + 3/2 (K0' - 4) f], so the intercept reads K0 and the slope
    K0' (a horizontal line is K0' = 4). The sigmas are propagated to first
    order, V0 taken as exact:

    σf = (1 + 2f) σV / (3V),
    σF² = [σP / (3 f (1 + 2f)^(5/2))]² + [F (1 + 7f) / (3f) · σV / V]².

    Parameters
    ----------
    pressure, volume : array_like
        The measurements, broadcast together.
    v0 : float
        Reference volume, in the unit of ``volume``.
    pressure_sigma, volume_sigma : array_like, optional
        Their standard uncertainties; NaN (or None) where not reported. A
        sigma not reported counts as zero when the other one is, and gives
        NaN when neither is.

    Returns
    -------
    FiniteStrain
        ``strain``, ``normalized_pressure``, ``strain_sigma`` and
        ``normalized_pressure_sigma``: floats for scalar input, else arrays
        of the broadcast shape. F is NaN at V = V0, where it is 0/0.

    Examples
    --------
    >>> from barometra.plot import finite_strain
    >>> ff = finite_strain([10.0], [40.0], v0=42.0, volume_sigma=[0.02])
    >>> ff.strain.round(6), ff.normalized_pressure.round(3)
    (array([0.016531]), array([185.896]))
    """
    v0 = reference_volume([], v0)
    p = as_float64_array(pressure, "pressure")
    v = as_float64_array(volume, "volume")
    nan = np.full((), np.nan)
    sp = nan if pressure_sigma is None else as_float64_array(pressure_sigma, "pressure_sigma")
    sv = nan if volume_sigma is None else as_float64_array(volume_sigma, "volume_sigma")
    p, v, sp, sv = np.broadcast_arrays(p, v, sp, sv)
    if not (np.isfinite(v) & (v > 0)).all():
        raise ValueError("volumes must be positive and finite")
    with np.errstate(divide="ignore", invalid="ignore"):
        compression = (v0 / v) ** (2.0 / 3.0)  # 1 + 2f
        f = (compression - 1.0) / 2.0
        denominator = 3.0 * f * compression ** 2.5
        big_f = np.where(f == 0.0, np.nan, p / denominator)
        f_sigma = compression * sv / (3.0 * v)
        from_p = sp / denominator
        from_v = big_f * (1.0 + 7.0 * f) / (3.0 * f) * sv / v
        neither = np.isnan(sp) & np.isnan(sv)
        big_f_sigma = np.where(neither, np.nan,
                               np.hypot(np.nan_to_num(from_p), np.nan_to_num(from_v)))
        big_f_sigma = np.where(f == 0.0, np.nan, big_f_sigma)
    results = (f, big_f, f_sigma, big_f_sigma)
    if f.ndim == 0:
        return FiniteStrain(*map(float, results))
    return FiniteStrain(*results)


def ff(
    data: Dataset | FitResult,
    models: Any = (),
    *,
    v0: float | None = None,
    labels: Sequence[str] | None = None,
    band: Sequence[float] | None = None,
    fit_order: int | None = None,
    points: int = 200,
    ax: Any = None,
) -> Any:
    """Plot normalised pressure F against Eulerian strain f, the finite-strain diagnostic.

    The measurements are drawn with error bars propagated from both their
    pressure and volume sigmas (see :func:`finite_strain`), with the
    strain taken from ``v0``. Rows at or near P = 0, where F is 0/0 (``|f|``
    below 1e-4, or ``|P|`` within its sigma), are left out, and the legend says
    how many. Each model is drawn as its curve F(f) on its own V0, from its
    own pressure at V = V0 (1 + 2f)^(-3/2), through its limit F(0) = K0; a
    third-order Birch-Murnaghan model is a straight line of intercept K0. A
    fitted model carries its confidence band at each f (the delta method,
    V0's uncertainty moving V too).

    Parameters
    ----------
    data : barometra.data.Dataset or barometra.fit.FitResult
        The measurements (one isotherm). A fit result of an isothermal model
        brings its data and draws its fitted model first, with its band.
    models : model, fit result or sequence of them, optional
        Isothermal models (or a Hugoniot), or fit results of them.
    v0 : float, optional
        The reference volume of the measured strains; the first model's
        ``v0`` by default.
    labels : sequence of str, optional
        Legend entries of the models; their class names by default (``"...
        fit"`` for a fit result).
    band : sequence of float, optional
        Multiples of σ shaded around each fitted curve; ``(1, 2)`` by
        default, ``()`` for none.
    fit_order : {1, 2}, optional
        Also fit F against f by least squares, weighted by σF (when every
        row has one; else unweighted, the standard errors scaled by the
        scatter): a line, whose intercept and slope give K0 and K0′, or a
        quadratic, which also gives K0″ (fourth-order Birch-Murnaghan). The
        legend prints them with their standard errors.
    points : int, optional
        Points along each curve.
    ax : matplotlib Axes, optional
        Where to draw; a new figure by default.

    Returns
    -------
    matplotlib.figure.Figure
        The figure drawn on; nothing is shown.

    Examples
    --------
    >>> import matplotlib
    >>> matplotlib.use("Agg")
    >>> from barometra import BM3
    >>> from barometra.data import load_example
    >>> from barometra.plot import ff
    >>> data = load_example("stishovite_300K_nishihara2005")
    >>> figure = ff(data, BM3(v0=46.56, k0=296.0, k0_prime=4.2), fit_order=1)
    >>> figure.axes[0].get_xlabel()
    'Eulerian strain f'
    >>> figure.axes[0].get_legend().get_texts()[0].get_text()
    'data (1 row at P ≈ 0 left out)'
    """
    pyplot()
    data, drawn = curves(data, models, labels)
    for curve in drawn:
        if not is_isothermal(curve.model):
            raise TypeError(f"ff draws isothermal models; {type(curve.model).__name__} "
                            "depends on temperature")
    reference = reference_volume([curve.model for curve in drawn], v0)
    levels = band_levels(band)
    coordinates = finite_strain(data.pressure, data.volume, reference,
                                pressure_sigma=data.pressure_sigma,
                                volume_sigma=data.volume_sigma)
    kept = _defined(coordinates, data)
    if not kept.any():
        raise ValueError("no row away from P = 0, where F is defined, to plot")
    strain, normalized = coordinates.strain[kept], coordinates.normalized_pressure[kept]
    sigma = coordinates.normalized_pressure_sigma[kept]
    grid = _strain_grid(strain, points)
    lines = [(curve, _curve(curve.model, grid, reference)) for curve in drawn]
    sigmas = [curve_sigma(curve.result, lambda model: _curve(model, grid, reference))
              if curve.result is not None and levels else None for curve in drawn]
    line_fit = None if fit_order is None else strain_fit(strain, normalized, sigma, fit_order)
    left_out = len(data) - int(kept.sum())
    with drawing(ax) as (figure, (axes,)):
        measured(axes, strain, normalized, coordinates.strain_sigma[kept], sigma, "k",
                 label="data" if not left_out else
                 f"data ({plural(left_out, 'row')} at P ≈ 0 left out)")
        for (curve, values), line_sigma in zip(lines, sigmas):
            line, = axes.plot(grid, values, label=curve.label, zorder=2.5)
            if line_sigma is not None:
                shade(axes, grid, values, line_sigma, levels, line.get_color())
        if line_fit is not None:
            axes.plot(grid, line_fit(grid), color="0.35", linestyle="--", zorder=2.4,
                      label=line_fit.label(data.pressure_unit))
        axes.set_xlabel("Eulerian strain f")
        axes.set_ylabel(axis_label("Normalised pressure F", data.pressure_unit))
        handles, texts = axes.get_legend_handles_labels()
        if any(line_sigma is not None for line_sigma in sigmas):
            for handle, text in band_legend(levels):
                handles.append(handle)
                texts.append(text)
        axes.legend(handles, texts)
        if data.name:
            axes.set_title(data.name)
    return figure


def _defined(coordinates: FiniteStrain, data: Dataset) -> npt.NDArray[np.bool_]:
    """The rows where F is more than rounding: f away from 0 and P clear of 0 by more than
    its sigma."""
    near_zero = np.abs(data.pressure) <= np.nan_to_num(data.pressure_sigma, nan=-1.0)
    return np.asarray(np.isfinite(coordinates.normalized_pressure)
                      & (np.abs(coordinates.strain) >= SMALLEST_STRAIN) & ~near_zero)


def _strain_grid(strain: FloatArray, points: int) -> FloatArray:
    """Strains from 0 to the measured ones, without the rounding-dominated stretch about 0
    but with 0 itself, where each curve takes its limit."""
    low, high = min(0.0, float(strain.min())), max(0.0, float(strain.max()))
    grid = np.linspace(low, high, max(int(points), 2))
    return np.sort(np.append(grid[np.abs(grid) >= SMALLEST_STRAIN], 0.0))


def _curve(model: Any, strain: FloatArray, reference: float) -> FloatArray:
    """F(f) of a model on its own V0 (``reference`` for a model without one); at f = 0 its
    limit, K(V0) for a model with P(V0) = 0, else NaN."""
    v0 = model_volume(model) or reference
    normalized = np.full(strain.shape, np.nan)
    zero = strain == 0.0
    f = strain[~zero]
    volume = v0 * (1.0 + 2.0 * f) ** -1.5
    normalized[~zero] = model_pressure(model, volume, None) / (3.0 * f * (1.0 + 2.0 * f) ** 2.5)
    if zero.any() and hasattr(model, "bulk_modulus"):
        k0 = float(model.bulk_modulus(v0))
        if abs(float(model.pressure(v0))) <= 1e-12 * abs(k0):
            normalized[zero] = k0
    return normalized
