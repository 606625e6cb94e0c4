"""Fitting models to measured data, with uncertainties.

===========================  ===============================================
:func:`fit`                  a model fitted to a dataset by the native engine
:class:`FitResult`           fitted model, values with standard errors,
                             covariance, statistics, summary, predictions;
                             saved to JSON and read back (:func:`load`)
:func:`compare`              fits of the same data ranked by AIC and BIC
:class:`Prediction`          a derived quantity with its standard error
:class:`ParameterMatrix`     covariance or correlation over named parameters
:class:`FitQualityWarning`   a fit whose numbers need a second look
===========================  ===============================================
"""

from ..errors import FitQualityWarning
from ._compare import Comparison, compare
from ._document import load
from ._fit import fit
from ._result import FitResult, ParameterMatrix, Prediction

__all__ = ["Comparison", "FitQualityWarning", "FitResult", "ParameterMatrix", "Prediction",
           "compare", "fit", "load"]

for _name in __all__:
    if _name != "FitQualityWarning":  # its home is barometra.errors
        globals()[_name].__module__ = __name__
del _name
