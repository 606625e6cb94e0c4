"""Fitting models to measured data, with uncertainties.

===========================  ===============================================
:func:`fit`                  a model fitted to a dataset by the native engine
:class:`FitResult`           fitted model, values with standard errors,
                             covariance, statistics, summary, predictions
:func:`compare`              fits of the same data ranked by AIC and BIC
:class:`Prediction`          a derived quantity with its standard error
:class:`ParameterMatrix`     covariance or correlation over named parameters
===========================  ===============================================
"""

from ._compare import Comparison, compare
from ._fit import fit
from ._result import FitResult, ParameterMatrix, Prediction

__all__ = ["Comparison", "FitResult", "ParameterMatrix", "Prediction", "compare", "fit"]

for _name in __all__:
    globals()[_name].__module__ = __name__
del _name
