"""P-V-T data as a handful of isotherms on one colour scale of temperature."""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any

import numpy as np
import numpy.typing as npt

from ..data import Dataset
from ..data._dataset import TEMPERATURE_UNIT
from ._matplotlib import axis_label, pyplot

#: At most this many isotherms are drawn unless the caller names them.
MOST_ISOTHERMS = 8

Group = tuple[float | None, npt.NDArray[np.intp]]


def isotherm_groups(data: Dataset, temperatures: Sequence[float] | None) -> list[Group]:
    """(temperature of the isotherm, row indices) of each group drawn, in temperature order.

    Given ``temperatures``, each row goes to the nearest one. Otherwise up to
    :data:`MOST_ISOTHERMS` distinct temperatures are their own isotherms;
    more are binned into that many equal ranges of temperature, each
    isotherm at the centre of the temperatures its bin holds (so a bin of
    300 K rows alone is the 300 K isotherm). Empty groups are left out.
    """
    if len(data) == 0:
        raise ValueError("the dataset has no rows to plot")
    measured = data.temperature
    if measured is None:
        return [(None, np.arange(len(data)))]
    if temperatures is not None:
        centres = np.unique(np.asarray(temperatures, dtype=np.float64))
        if centres.ndim != 1 or not centres.size or not np.isfinite(centres).all():
            raise ValueError("temperatures must be a non-empty sequence of finite numbers")
        nearest = np.abs(measured[:, None] - centres[None, :]).argmin(axis=1)
        return [(float(t), np.flatnonzero(nearest == i)) for i, t in enumerate(centres)
                if (nearest == i).any()]
    distinct = np.unique(measured)
    if len(distinct) <= MOST_ISOTHERMS:
        return [(float(t), np.flatnonzero(measured == t)) for t in distinct]
    edges = np.linspace(distinct[0], distinct[-1], MOST_ISOTHERMS + 1)
    bins = np.clip(np.searchsorted(edges, measured, side="right") - 1, 0, MOST_ISOTHERMS - 1)
    groups: list[Group] = []
    for index in range(MOST_ISOTHERMS):
        rows = np.flatnonzero(bins == index)
        if rows.size:
            inside = measured[rows]
            groups.append((float(inside.min() + inside.max()) / 2.0, rows))
    return groups


class TemperatureScale:
    """One colour for every temperature, shared by points, isotherms, residuals and the
    colour bar."""

    def __init__(self, temperatures: npt.NDArray[np.float64]) -> None:
        from matplotlib.colors import ListedColormap, Normalize

        plasma = pyplot().get_cmap("plasma")
        # plasma's last, pale yellow stretch is hard to see on white.
        self.colormap = ListedColormap(plasma(np.linspace(0.0, 0.85, 256)), name="temperature")
        self.norm = Normalize(float(temperatures.min()), float(temperatures.max()))

    @staticmethod
    def of(data: Dataset, groups: list[Group]) -> TemperatureScale | None:
        """The scale of a dataset whose temperatures differ; None for one temperature."""
        if data.temperature is None:
            return None
        isotherms = np.array([t for t, _ in groups], dtype=np.float64)
        every = np.concatenate([data.temperature, isotherms])
        return TemperatureScale(every) if np.ptp(every) > 0 else None

    def colors(self, temperatures: npt.ArrayLike) -> Any:
        """RGBA colours, one row per temperature."""
        return self.colormap(self.norm(np.asarray(temperatures, dtype=np.float64)))

    def color(self, temperature: float) -> Any:
        return self.colormap(self.norm(temperature))

    def colour_bar(self, figure: Any, axes: list[Any]) -> Any:
        from matplotlib.cm import ScalarMappable

        mappable = ScalarMappable(norm=self.norm, cmap=self.colormap)
        return figure.colorbar(mappable, ax=axes, pad=0.02,
                               label=axis_label("Temperature", TEMPERATURE_UNIT))
