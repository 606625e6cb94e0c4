"""Measured pressures and volumes against model curves, with a residual panel."""

from __future__ import annotations

from collections.abc import Sequence
from dataclasses import dataclass
from typing import Any

import numpy as np

from .._arrays import FloatArray
from ..data import Dataset
from ..fit import FitResult
from ._bands import band_legend, band_levels, pressure_sigma, shade
from ._isotherms import Group, TemperatureScale, isotherm_groups
from ._matplotlib import axis_label, drawing, measured, pyplot
from ._models import Curve, curves, is_isothermal, model_pressure

_LINE_STYLES = ("-", "--", ":", "-.")
_MARKERS = ("o", "s", "^", "D", "v")


@dataclass(frozen=True)
class _Line:
    """One computed line of one model: an isotherm, or the whole curve of a P(V) model."""

    volume: FloatArray
    pressure: FloatArray
    sigma: FloatArray | None
    temperature: float | None


def pv(
    data: Dataset | FitResult,
    models: Any = (),
    *,
    temperatures: Sequence[float] | None = None,
    residuals: bool = True,
    labels: Sequence[str] | None = None,
    band: Sequence[float] | None = None,
    points: int = 200,
    ax: Any = None,
) -> Any:
    """Plot measured pressure against volume, with model curves and their residuals.

    The measurements are drawn with their sigmas as error bars (none where
    not reported); each model as a curve over the measured volumes, and in
    a panel below as its residuals P_measured - P_model(V_measured), from
    the model's own pressure. A fitted model carries its confidence band,
    the delta method of :meth:`~barometra.fit.FitResult.predict`.

    Data with more than one temperature are coloured by temperature on one
    scale, shown by a colour bar: the points, the isotherms of each model
    and the residuals. The legend names the models (by line style when there
    are isotherms), never the temperatures.

    Parameters
    ----------
    data : barometra.data.Dataset or barometra.fit.FitResult
        The measurements; the axis labels take their units. A fit result
        brings its data and draws its fitted model first, with its band.
    models : model, fit result or sequence of them, optional
        Anything with a ``pressure`` method, or fit results: the isothermal
        models and the Hugoniot give one curve each, compared with every row
        drawn (select the rows at the model's temperature first, with
        :meth:`~barometra.data.Dataset.select`); a model whose pressure also
        takes a temperature gives one isotherm per temperature group, over
        that group's volumes, and is compared with each row at its measured
        temperature.
    temperatures : sequence of float, optional
        For a dataset with temperatures: the isotherms to draw, each row
        going to the nearest one. By default up to eight: the distinct
        measured temperatures when there are so few, else eight equal ranges
        of temperature, each isotherm at the centre of the temperatures in
        its range.
    residuals : bool, optional
        Draw the residual panel (when there is a model).
    labels : sequence of str, optional
        Legend entries of the models; their class names by default (``"...
        fit"`` for a fit result).
    band : sequence of float, optional
        Multiples of σ shaded around each fitted curve; ``(1, 2)`` by
        default, ``()`` for none.
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
    data, drawn = curves(data, models, labels)
    groups = isotherm_groups(data, temperatures)
    levels = band_levels(band)
    scale = TemperatureScale.of(data, groups)
    # Every model value first, so that a model failing leaves no half-drawn figure.
    lines = [_lines(curve, data, groups, levels, points) for curve in drawn]
    misfits = [data.pressure - model_pressure(curve.model, data.volume, data.temperature)
               for curve in drawn] if residuals else []
    cycle = plt.rcParams["axes.prop_cycle"].by_key().get("color", ["k"])
    point_colors = ("k" if scale is None or data.temperature is None
                    else scale.colors(data.temperature))

    with drawing(ax, rows=2 if misfits else 1) as (figure, axes):
        main, below = _panels(axes, bool(misfits))
        measured(main, data.volume, data.pressure, data.volume_sigma, data.pressure_sigma,
                 point_colors)
        legend = []
        for index, (curve, model_lines) in enumerate(zip(drawn, lines)):
            style = _LINE_STYLES[index % len(_LINE_STYLES)] if scale else "-"
            handles = []
            for line in model_lines:
                color = (cycle[index % len(cycle)] if scale is None or line.temperature is None
                         else scale.color(line.temperature))
                handles += main.plot(line.volume, line.pressure, color=color, linestyle=style,
                                     label=_hidden(line.temperature), zorder=2.5)
                if line.sigma is not None:
                    shade(main, line.volume, line.pressure, line.sigma, levels, color)
            legend.append((handles[0] if scale is None else _proxy(style), curve.label))
        if any(line.sigma is not None for model_lines in lines for line in model_lines):
            legend += band_legend(levels)
        for index, misfit in enumerate(misfits):
            color = point_colors if scale is not None else cycle[index % len(cycle)]
            measured(below, data.volume, misfit, None, data.pressure_sigma, color,
                     marker=_MARKERS[index % len(_MARKERS)], size=3.5)
        _label(main, below, data, legend)
        if scale is not None:
            scale.colour_bar(figure, [main] if below is None else [main, below])
    return figure


def _lines(curve: Curve, data: Dataset, groups: list[Group], levels: tuple[float, ...],
           points: int) -> list[_Line]:
    """The lines of one model: one over every row for a P(V) model, else one isotherm
    per group over the group's volumes; each with its σ for a fit result."""
    count = max(int(points), 2)
    spans: list[tuple[float | None, FloatArray]]
    if is_isothermal(curve.model) or data.temperature is None:
        spans = [(None, data.volume)]
    else:
        spans = [(temperature, data.volume[rows]) for temperature, rows in groups]
    lines = []
    span = float(np.ptp(data.volume))
    for temperature, volumes in spans:
        low, high = float(volumes.min()), float(volumes.max())
        if low == high:  # one volume: a short stretch about it
            margin = 0.05 * span or 0.01 * low
            low, high = low - margin, high + margin
        grid = np.linspace(low, high, count)
        sigma = (pressure_sigma(curve.result, grid, temperature)
                 if curve.result is not None and levels else None)
        lines.append(_Line(grid, model_pressure(curve.model, grid, temperature), sigma,
                           temperature))
    return lines


def _hidden(temperature: float | None) -> str:
    """A label the legend leaves out, naming the isotherm for whoever inspects the figure."""
    return "_curve" if temperature is None else f"_isotherm {temperature:g} K"


def _proxy(style: Any) -> Any:
    from matplotlib.lines import Line2D

    return Line2D([], [], color="0.3", linestyle=style)


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


def _label(main: Any, below: Any, data: Dataset, legend: list[tuple[Any, str]]) -> None:
    main.set_ylabel(axis_label("Pressure", data.pressure_unit))
    if below is not None:
        below.axhline(0.0, color="0.5", linewidth=0.8, zorder=0)
        below.set_ylabel(axis_label("Residual pressure", data.pressure_unit))
        below.set_xlabel(axis_label("Volume", data.volume_unit))
        main.tick_params(labelbottom=False)
    else:
        main.set_xlabel(axis_label("Volume", data.volume_unit))
    if legend:
        handles, texts = zip(*legend)
        main.legend(handles, texts)
    if data.name:
        main.set_title(data.name)
