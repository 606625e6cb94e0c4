"""barometra: equations of state of solids at high pressure and temperature.

The models live in :mod:`barometra.eos` and are re-exported here
(``barometra.BM3``, ``barometra.Vinet``, ...); datasets, their CSV files and
the bundled published measurements in :mod:`barometra.data`; fits with
uncertainties in :mod:`barometra.fit`; pressure scales (calibrants and optical
gauges) in :mod:`barometra.scales`; plots (with the optional matplotlib)
in :mod:`barometra.plot`; exceptions in :mod:`barometra.errors`. The numbers all come from the native core, the
private module ``barometra._engine``.
"""

from . import data, eos, errors, fit, plot, scales
from .eos import *  # noqa: F403  (the models, also at the top level)

__version__ = "0.1.0"

__all__ = ["__version__", "data", "eos", "errors", "fit", "plot", "scales"]
__all__ += eos.__all__
