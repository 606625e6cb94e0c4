"""Plots of measurements, models and fits, drawn with matplotlib.

matplotlib is optional (``pip install 'barometra[plot]'``): it is imported
when a plot is drawn, never by ``import barometra``, and a plot function
without it raises an ImportError that says so. Every function draws on the
Axes given as ``ax`` or on a new figure, returns the matplotlib Figure and
shows nothing (``plt.show()`` or ``figure.savefig(...)`` is the caller's).
:func:`pv`, :func:`ff` and :func:`confidence_ellipse` take a
:class:`~barometra.fit.FitResult` as well as data and models: a fitted curve
is drawn with its ±1σ and ±2σ confidence bands, and the axes name each
quantity with its unit.

=============================  ==============================================
:func:`pv`                     measured P-V with error bars, model curves and
                               a residual panel; P-V-T data coloured by
                               temperature, with a colour bar
:func:`ff`                     normalised pressure F against Eulerian strain
                               f, optionally with the weighted line (or
                               quadratic) read as K0, K0′ (and K0″)
:func:`confidence_ellipse`     joint confidence ellipses of two parameters
:func:`finite_strain`          the F-f coordinates and their sigmas (no
                               matplotlib needed)
=============================  ==============================================
"""

from ._ellipse import confidence_ellipse
from ._finite_strain import FiniteStrain, ff, finite_strain
from ._pressure_volume import pv

__all__ = ["FiniteStrain", "confidence_ellipse", "ff", "finite_strain", "pv"]

for _name in __all__:
    globals()[_name].__module__ = __name__
del _name
