"""Joint confidence regions of two parameters."""

from __future__ import annotations

import math
from collections.abc import Sequence
from typing import Any

import numpy as np
import numpy.typing as npt

from .._arrays import as_float64_array
from ..fit import FitResult
from ._matplotlib import axis_label, drawing, pyplot

_LINE_STYLES = ("-", "--", ":", "-.")


def confidence_ellipse(
    center: npt.ArrayLike | FitResult,
    covariance: npt.ArrayLike | None = None,
    levels: Sequence[float] = (0.683, 0.954),
    *,
    names: Sequence[str] | None = None,
    units: Sequence[str] | None = None,
    color: Any = "C0",
    ax: Any = None,
    **style: Any,
) -> Any:
    """Draw the joint confidence ellipses of two parameters.

    For a confidence level p, the ellipse is the set of x with
    (x - center)ᵀ C⁻¹ (x - center) = -2 ln(1 - p), the quantile of the
    chi-square distribution with two degrees of freedom: 68.3% of normally
    distributed estimates fall inside the first default ellipse, 95.4%
    inside the second (for one parameter alone, ±1σ and ±2σ hold 68.3% and
    95.4%; the projections of these ellipses are wider, 1.52σ and 2.48σ).

    Parameters
    ----------
    center : array_like, shape (2,), or barometra.fit.FitResult
        The estimates of the two parameters, or a fit whose values and
        covariance of the two parameters ``names`` are drawn (the only two
        it varied by default), with their units.
    covariance : array_like, shape (2, 2)
        Their covariance matrix; symmetric and positive semi-definite (a
        zero variance draws a segment). Not given with a fit result.
    levels : sequence of float, optional
        Confidence levels, each in (0, 1); one ellipse each, with its own
        line style.
    names : (str, str), optional
        The parameters' names, for the axis labels.
    units : (str, str), optional
        Their units, for the axis labels ("" for none); a fit result's by
        default.
    color : matplotlib color, optional
        The ellipses' and the centre's colour.
    ax : matplotlib Axes, optional
        Where to draw; a new figure by default.
    **style
        Further properties of the ellipse patches (``linewidth``, ...).

    Returns
    -------
    matplotlib.figure.Figure
        The figure drawn on; nothing is shown.

    Examples
    --------
    >>> import matplotlib
    >>> matplotlib.use("Agg")
    >>> from barometra.plot import confidence_ellipse
    >>> figure = confidence_ellipse([296.0, 4.2], [[25.0, -1.6], [-1.6, 0.16]],
    ...                             names=("k0", "k0_prime"))
    >>> [patch.get_label() for patch in figure.axes[0].patches]
    ['68.3%', '95.4%']
    """
    pyplot()
    from matplotlib.patches import Ellipse

    point: Any = center
    if isinstance(center, FitResult):
        point, covariance, names, units = _of_fit(center, covariance, names, units)
    if covariance is None:
        raise TypeError("confidence_ellipse needs a covariance, or a FitResult as center")
    mean, matrix, chi2 = _checked(point, covariance, levels)
    variances, vectors = np.linalg.eigh(matrix)
    variances = np.clip(variances, 0.0, None)  # rounding below zero
    major = vectors[:, 1]
    angle = math.degrees(math.atan2(major[1], major[0]))
    # Patches do not enter the data limits: the outer ellipse's bounding box does.
    half = np.sqrt(max(chi2) * np.diag(matrix))
    with drawing(ax) as (figure, (axes,)):
        for index, (level, quantile) in enumerate(zip(levels, chi2)):
            width, height = 2.0 * np.sqrt(quantile * variances[::-1])
            patch = Ellipse(tuple(mean), float(width), float(height), angle=angle, fill=False,
                            edgecolor=color, linestyle=_LINE_STYLES[index % len(_LINE_STYLES)],
                            label=f"{100.0 * float(level):.3g}%", **style)
            axes.add_patch(patch)
        axes.plot(*mean, "+", color=color, markersize=8)
        axes.update_datalim([mean - half, mean + half])
        axes.autoscale_view()
        if names is not None:
            x_unit, y_unit = ("", "") if units is None else units
            axes.set_xlabel(axis_label(str(names[0]), str(x_unit)))
            axes.set_ylabel(axis_label(str(names[1]), str(y_unit)))
        axes.legend()
    return figure


def _of_fit(result: FitResult, covariance: npt.ArrayLike | None, names: Sequence[str] | None,
            units: Sequence[str] | None) -> tuple[Any, Any, Sequence[str], Sequence[str]]:
    """The centre, covariance, names and units of two parameters of a fit."""
    if covariance is not None:
        raise TypeError("a FitResult brings its own covariance: give names=, not a covariance")
    if names is None:
        if len(result.names) != 2:
            raise ValueError(f"name the two parameters: names=(first, second) among "
                             f"{', '.join(result.names)}")
        names = result.names
    for name in names:
        if name not in result.values:
            raise ValueError(f"{name!r} is not a varied parameter; varied: "
                             f"{', '.join(result.names)}")
    pair = tuple(names)
    if units is None:
        units = tuple(result.unit(name) for name in pair)
    return ([result.values[name] for name in pair],
            np.asarray(result.covariance.submatrix(pair)), pair, units)


def _checked(center: npt.ArrayLike, covariance: npt.ArrayLike, levels: Sequence[float]
             ) -> tuple[Any, Any, list[float]]:
    mean = as_float64_array(center, "center")
    matrix = as_float64_array(covariance, "covariance")
    if mean.shape != (2,) or not np.isfinite(mean).all():
        raise ValueError(f"center must be two finite numbers, not of shape {mean.shape}")
    if matrix.shape != (2, 2) or not np.isfinite(matrix).all():
        raise ValueError(f"covariance must be a finite 2 x 2 matrix, not of shape "
                         f"{matrix.shape}")
    scale = float(np.abs(matrix).max())
    if abs(matrix[0, 1] - matrix[1, 0]) > 1e-12 * scale:
        raise ValueError("covariance must be symmetric")
    if (np.linalg.eigvalsh(matrix) < -1e-12 * scale).any():
        raise ValueError("covariance must be positive semi-definite")
    chi2 = []
    for level in levels:
        p = float(level)
        if not 0.0 < p < 1.0:
            raise ValueError(f"confidence levels must lie in (0, 1), not {level!r}")
        chi2.append(-2.0 * math.log1p(-p))
    if not chi2:
        raise ValueError("levels must hold at least one confidence level")
    return mean, (matrix + matrix.T) / 2.0, chi2
