"""Measured pressures and volumes against model curves, with a residual panel."""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any

import numpy as np
import numpy.typing as npt

from ..data import Dataset
from ._matplotlib import axis_label, drawing, error_bars, pyplot
from ._models import as_models, is_isothermal, model_labels, model_pressure


def pv(
    data: Dataset,
    models: Any = (),
    *,
    temperatures: Sequence[float] | None = None,
    residuals: bool = True,
    labels: Sequence[str] | None = None,
    points: int = 200,
    ax: Any = None,
) -> Any:
    """Plot measured pressure against volume, with model curves and their residuals.

    The measurements are drawn with their sigmas as error bars (none where
    not reported); each model as a curve over the measured volumes, and in
    a panel below as its residuals P_measured - P_model(V_measured), from
    the model's own pressure.

    Parameters
    ----------
    data : barometra.data.Dataset
        The measurements; the axis labels take its units.
    models : model or sequence of models, optional
        Anything with a ``pressure`` method: the isothermal models and the
        Hugoniot give one curve each, compared with every row drawn (select
        the rows at the model's temperature first, with
        :meth:`~barometra.data.Dataset.select`); a model whose pressure also
        takes a temperature gives one curve per temperature group and is
        compared with each row at its measured temperature.
    temperatures : sequence of float, optional
        For a dataset with temperatures: the isotherms to draw, each row
        going to the nearest one. By default every distinct measured
        temperature is its own group. Ignored for an isothermal dataset.
    residuals : bool, optional
        Draw the residual panel (when there is a model).
    labels : sequence of str, optional
        Legend entries of the models; their class names by default.
    points : int, optional
        Points along each curve.
    ax : matplotlib Axes, optional
        Where to draw; the residual panel is attached below it. By default a
        new figure.

    Returns
    -------
    matplotlib.figure.Figure
        The figure drawn on. Nothing is shown: call ``plt.show()`` or
        ``figure.savefig(...)``.

    Examples
    --------
    >>> import matplotlib
    >>> matplotlib.use("Agg")
    >>> from barometra import BM3
    >>> from barometra.data import load_example
    >>> from barometra.plot import pv
    >>> data = load_example("stishovite_300K_nishihara2005")
    >>> figure = pv(data, BM3(v0=46.56, k0=296.0, k0_prime=4.2))
    >>> [axes.get_ylabel() for axes in figure.axes]
    ['Pressure (GPa)', 'Residual pressure (GPa)']
    """
    plt = pyplot()
    models = as_models(models)
    names = model_labels(models, labels)
    groups = _groups(data, temperatures)
    shown = np.concatenate([rows for _, rows in groups])
    volume = data.volume[shown]
    grid = np.linspace(volume.min(), volume.max(), max(points, 2))
    # Every model value first, so that a model failing leaves no half-drawn figure.
    curves = [[(grid, model_pressure(model, grid, None))] if is_isothermal(model)
              or data.temperature is None else
              [(grid, model_pressure(model, grid, temperature)) for temperature, _ in groups]
              for model in models]
    measured_t = None if data.temperature is None else data.temperature[shown]
    misfits = [data.pressure[shown] - model_pressure(model, volume, measured_t)
               for model in models] if residuals else []
    cycle = plt.rcParams["axes.prop_cycle"].by_key().get("color", ["k"])
    group_colors = (["k"] if len(groups) == 1 else
                    [plt.get_cmap("plasma")(x) for x in np.linspace(0.0, 0.85, len(groups))])

    with drawing(ax, rows=2 if misfits else 1) as (figure, axes):
        main, below = _panels(axes, bool(misfits))
        for (temperature, rows), color in zip(groups, group_colors):
            main.errorbar(data.volume[rows], data.pressure[rows],
                          xerr=error_bars(data.volume_sigma[rows]),
                          yerr=error_bars(data.pressure_sigma[rows]), fmt="o", markersize=4,
                          color=color, ecolor=color, elinewidth=1, capsize=2, zorder=3,
                          label=None if temperature is None else f"{temperature:g} K")
        for index, (model_curves, name) in enumerate(zip(curves, names)):
            for position, (x, y) in enumerate(model_curves):
                main.plot(x, y, color=cycle[index % len(cycle)],
                          label=name if position == 0 else None)
        for index, misfit in enumerate(misfits):
            below.errorbar(volume, misfit, yerr=error_bars(data.pressure_sigma[shown]),
                           fmt="o", markersize=3, color=cycle[index % len(cycle)],
                           elinewidth=1, capsize=2)
        _label(main, below, data)
    return figure


def _panels(axes: list[Any], residuals: bool) -> tuple[Any, Any]:
    """The P-V axes and the residual axes (None without residuals); on axes given by
    the caller, the residual panel is attached below them."""
    main = axes[0]
    if not residuals:
        return main, None
    if len(axes) > 1:
        return main, axes[1]
    from mpl_toolkits.axes_grid1 import make_axes_locatable

    return main, make_axes_locatable(main).append_axes("bottom", size="35%", pad=0.1,
                                                       sharex=main)


def _label(main: Any, below: Any, data: Dataset) -> None:
    main.set_ylabel(axis_label("Pressure", data.pressure_unit))
    if below is not None:
        below.axhline(0.0, color="0.5", linewidth=0.8, zorder=0)
        below.set_ylabel(axis_label("Residual pressure", data.pressure_unit))
        below.set_xlabel(axis_label("Volume", data.volume_unit))
        main.tick_params(labelbottom=False)
    else:
        main.set_xlabel(axis_label("Volume", data.volume_unit))
    if main.get_legend_handles_labels()[0]:
        main.legend()
    if data.name:
        main.set_title(data.name)


def _groups(data: Dataset, temperatures: Sequence[float] | None
            ) -> list[tuple[float | None, npt.NDArray[np.intp]]]:
    """(temperature, row indices) of each group drawn, in temperature order; the groups
    with no row are left out."""
    if len(data) == 0:
        raise ValueError("the dataset has no rows to plot")
    if data.temperature is None:
        return [(None, np.arange(len(data)))]
    if temperatures is None:
        centres = np.unique(data.temperature)
    else:
        centres = np.unique(np.asarray(temperatures, dtype=np.float64))
        if centres.ndim != 1 or not centres.size or not np.isfinite(centres).all():
            raise ValueError("temperatures must be a non-empty sequence of finite numbers")
    nearest = np.abs(data.temperature[:, None] - centres[None, :]).argmin(axis=1)
    return [(float(t), np.flatnonzero(nearest == i)) for i, t in enumerate(centres)
            if (nearest == i).any()]
