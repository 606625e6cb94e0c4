"""matplotlib, imported only when a plot is drawn.

``import barometra`` never imports it: it is an optional dependency (the
``plot`` extra) and takes longer to import than the rest of the package.
"""

from __future__ import annotations

import contextlib
from collections.abc import Iterator
from typing import Any

import numpy as np
import numpy.typing as npt

from .._arrays import FloatArray


def pyplot() -> Any:
    """``matplotlib.pyplot``, or an ImportError that says how to install it."""
    try:
        import matplotlib.pyplot as plt
    except ImportError as error:
        raise ImportError("barometra.plot needs matplotlib: pip install 'barometra[plot]'",
                          name=error.name, path=error.path) from error
    return plt


@contextlib.contextmanager
def drawing(ax: Any, rows: int = 1) -> Iterator[tuple[Any, list[Any]]]:
    """The figure and axes to draw on: ``ax`` itself, or a new figure's ``rows`` stacked
    axes (the first three times as tall as the others), closed again if drawing fails."""
    plt = pyplot()
    if ax is not None:
        yield ax.figure, [ax]
        return
    if rows == 1:
        figure, single = plt.subplots(layout="constrained")
        axes = [single]
    else:
        figure, stacked = plt.subplots(rows, 1, sharex=True, layout="constrained",
                                       gridspec_kw={"height_ratios": (3,) + (1,) * (rows - 1)})
        axes = list(stacked)
    try:
        yield figure, axes
    except BaseException:
        plt.close(figure)  # no half-drawn figure left behind in pyplot
        raise


def axis_label(quantity: str, unit: str) -> str:
    return f"{quantity} ({unit})" if unit else quantity


def error_bars(sigma: npt.NDArray[np.float64] | None) -> FloatArray | None:
    """Sigmas as matplotlib takes them: None when none is reported (all NaN)."""
    if sigma is None or bool(np.isnan(sigma).all()):
        return None
    return sigma


def measured(axes: Any, x: FloatArray, y: FloatArray, xerr: FloatArray | None,
             yerr: FloatArray | None, color: Any, *, marker: str = "o", size: float = 4.0,
             label: str | None = None) -> Any:
    """Points with their error bars, in one colour or in one colour per point (an
    array of RGBA rows); the points' collection."""
    each = np.ndim(color) == 2
    bars = axes.errorbar(x, y, xerr=error_bars(xerr), yerr=error_bars(yerr), fmt="none",
                         ecolor=None if each else color, elinewidth=1, zorder=2)
    if each:
        for collection in bars.lines[2]:
            collection.set_color(color)
    return axes.scatter(x, y, s=size ** 2, marker=marker, zorder=3, label=label,
                        **({"c": color} if each else {"color": color}))
