"""The normalised pressure against Eulerian strain (F-f) diagnostic of finite-strain fits."""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any, NamedTuple

import numpy as np
import numpy.typing as npt

from .._arrays import as_float64_array
from ..data import Dataset
from ._matplotlib import axis_label, drawing, error_bars, pyplot
from ._models import as_models, model_labels, model_pressure, reference_volume


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
    data: Dataset,
    models: Any = (),
    *,
    v0: float | None = None,
    labels: Sequence[str] | None = None,
    points: int = 200,
    ax: Any = None,
) -> Any:
    """Plot normalised pressure F against Eulerian strain f, the finite-strain diagnostic.

    The measurements are drawn with error bars propagated from their
    pressure and volume sigmas (see :func:`finite_strain`; the row at V0,
    where F is undefined, is left out), and each model as its curve
    F(f), from the model's own pressure at V = V0 (1 + 2f)^(-3/2). A
    third-order Birch-Murnaghan model is a straight line of intercept K0.

    Parameters
    ----------
    data : barometra.data.Dataset
        The measurements (one isotherm).
    models : model or sequence of models, optional
        Models with a ``pressure(volume)`` method.
    v0 : float, optional
        The reference volume of the strain; the first model's ``v0`` by
        default.
    labels : sequence of str, optional
        Legend entries of the models; their class names by default.
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
    >>> figure = ff(data, BM3(v0=46.56, k0=296.0, k0_prime=4.2))
    >>> figure.axes[0].get_xlabel()
    'Eulerian strain f'
    """
    pyplot()
    models = as_models(models)
    names = model_labels(models, labels)
    reference = reference_volume(models, v0)
    coordinates = finite_strain(data.pressure, data.volume, reference,
                                pressure_sigma=data.pressure_sigma,
                                volume_sigma=data.volume_sigma)
    drawn = np.isfinite(coordinates.normalized_pressure)
    if not drawn.any():
        raise ValueError("no row away from v0, where F is defined, to plot")
    strain = coordinates.strain[drawn]
    low, high = min(0.0, float(strain.min())), max(0.0, float(strain.max()))
    grid = np.linspace(low, high, max(points, 2))
    grid = grid[grid != 0.0]
    volumes = reference * (1.0 + 2.0 * grid) ** -1.5
    with drawing(ax) as (figure, (axes,)):
        axes.errorbar(strain, coordinates.normalized_pressure[drawn],
                      xerr=error_bars(coordinates.strain_sigma[drawn]),
                      yerr=error_bars(coordinates.normalized_pressure_sigma[drawn]), fmt="o",
                      markersize=4, color="k", elinewidth=1, capsize=2, zorder=3, label="data")
        for model, name in zip(models, names):
            curve = finite_strain(model_pressure(model, volumes, None), volumes, reference)
            axes.plot(grid, curve.normalized_pressure, label=name)
        axes.set_xlabel("Eulerian strain f")
        axes.set_ylabel(axis_label("Normalised pressure F", data.pressure_unit))
        axes.legend()
        if data.name:
            axes.set_title(data.name)
    return figure
