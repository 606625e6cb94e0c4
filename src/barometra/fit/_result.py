"""The result of a fit: fitted model, parameters with standard errors, statistics."""

from __future__ import annotations

import math
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field
from typing import Any

import numpy as np
import numpy.typing as npt

from .._arrays import FloatArray
from .._esd import format_value_esd
from ..data import Dataset
from ._parameters import Parameter, parameter_value


@dataclass(frozen=True)
class FitSettings:
    """How a fit was asked for (kept for the summary and to_dict)."""

    errors: str
    loss: str
    f_scale: float
    scale_errors: bool
    sigmas: Mapping[str, FloatArray]
    given_sigmas: set[str] = field(default_factory=set)


class ParameterMatrix:
    """A square matrix over named parameters: covariance or correlation.

    ``matrix["k0", "k0_prime"]`` reads one entry by names, ``matrix.values``
    is a read-only float64 array in the order of ``matrix.names``, and
    ``np.asarray(matrix)`` gives that array too.
    """

    __slots__ = ("names", "values")

    names: tuple[str, ...]
    values: FloatArray

    def __init__(self, names: Sequence[str], values: npt.ArrayLike) -> None:
        array = np.array(values, dtype=np.float64)
        array.flags.writeable = False
        object.__setattr__(self, "names", tuple(names))
        object.__setattr__(self, "values", array)

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError("ParameterMatrix is immutable")

    def __getitem__(self, key: tuple[str, str]) -> float:
        first, second = key
        return float(self.values[self.names.index(first), self.names.index(second)])

    def __array__(self, dtype: Any = None, copy: Any = None) -> FloatArray:
        return np.array(self.values, dtype=dtype)

    def submatrix(self, names: Sequence[str]) -> ParameterMatrix:
        """The entries of the given parameters only, in their order."""
        index = [self.names.index(name) for name in names]
        return ParameterMatrix(names, self.values[np.ix_(index, index)])

    def to_dict(self) -> dict[str, Any]:
        return {"names": list(self.names), "values": self.values.tolist()}

    def __repr__(self) -> str:
        width = max(map(len, self.names)) + 2
        lines = ["".rjust(width) + "".join(name.rjust(13) for name in self.names)]
        lines += [name.rjust(width) + "".join(f"{x:13.6g}" for x in row)
                  for name, row in zip(self.names, self.values)]
        return "\n".join(lines)


@dataclass(frozen=True)
class Prediction:
    """A quantity of the fitted model with its standard error.

    ``value`` is the fitted model's own value; ``standard_error`` comes from
    the delta method, or from the spread of Monte Carlo draws, which also
    give the central ``confidence`` interval (``lower``, ``upper``).
    ``draws`` counts the Monte Carlo draws used and ``rejected`` those
    whose parameters the model refused (a negative K0, ...).
    """

    quantity: str
    value: float | FloatArray
    standard_error: float | FloatArray
    method: str
    lower: float | FloatArray | None = None
    upper: float | FloatArray | None = None
    confidence: float | None = None
    draws: int = 0
    rejected: int = 0

    def __str__(self) -> str:
        how = ("delta method" if self.method == "delta" else
               f"{self.draws} Monte Carlo draws, {self.rejected} rejected")
        if isinstance(self.value, float) and isinstance(self.standard_error, float):
            text = format_value_esd(self.value, self.standard_error)
        else:
            text = f"{self.value} ± {self.standard_error}"
        return f"{self.quantity} = {text} ({how})"


class FitResult:
    """What :func:`barometra.fit.fit` found.

    Attributes
    ----------
    model : IsothermalEos or ThermalEos
        The fitted model (every parameter, the fixed ones included).
    initial_model : IsothermalEos or ThermalEos
        The model the fit started from (after ``fix`` values were set).
    data : barometra.data.Dataset
        The measurements fitted.
    names : tuple of str
        The varied parameters, in the model's order.
    values, standard_errors : dict of str to float
        Their fitted values and standard errors (scaled by
        sqrt(reduced chi-square) when the fit asked for it).
    covariance, correlation : ParameterMatrix
        Over ``names``; the covariance scaled like the standard errors.
    fixed : dict of str to float
        Every numeric parameter that was not varied, with its value.
    chi_square, degrees_of_freedom, reduced_chi_square, aic, bic : float
        Fit statistics of the engine's whitened residuals r (m of them,
        over n fitted variables, latent coordinates included):
        chi² = Σ r², dof = m - n, reduced chi² = chi² / (m - n) (None when
        m <= n), AIC = 2n + m ln(chi²/m), BIC = n ln m + m ln(chi²/m).
    points, residual_count, variable_count : int
        Rows fitted (N), residuals (m) and fitted variables (n).
    predicted_pressure, residuals, weighted_residuals : ndarray
        The model's pressures at the fitted states, the measured minus the
        predicted pressures, and the engine's residual vector.
    fitted_volume, fitted_temperature : ndarray or None
        The states the pressures were predicted at: fitted (latent) values
        when the volumes (temperatures) had errors, else the measured ones;
        no temperatures for an isothermal fit.
    converged : bool
        False when the fit stopped without converging (a
        :class:`~barometra.errors.FitConvergenceWarning` was issued).
    message : str
        The engine's reason for stopping.
    evaluations : int
        Residual evaluations of the engine.
    error_scale : float
        The factor applied to the standard errors: sqrt(reduced chi-square)
        when scaled, else 1.
    """

    def __init__(self, raw: Any, model: Any, initial_model: Any, data: Dataset,
                 parameters: Mapping[str, Parameter], varied: list[Parameter],
                 settings: FitSettings) -> None:
        statistics = raw.eos_fit
        self._statistics = statistics
        self.model = model
        self.initial_model = initial_model
        self.data = data
        self.settings = settings
        self._parameters = dict(parameters)
        self.names = tuple(p.name for p in varied)
        fun = raw.fun
        self.residual_count = len(fun)
        self.variable_count = len(raw.x)
        self.points = len(data)
        self.chi_square = statistics.chi_square
        self.degrees_of_freedom = statistics.degrees_of_freedom
        self.reduced_chi_square = statistics.reduced_chi_square
        self.aic = statistics.aic
        self.bic = statistics.bic
        # Scaling by sqrt(reduced chi-square) is a choice of how to report the
        # engine's numbers, made here; the correlation does not change with it.
        if settings.scale_errors:
            if self.reduced_chi_square is None:
                raise ValueError("scale_errors needs more residuals than fitted variables "
                                 f"({self.residual_count} <= {self.variable_count})")
            self.error_scale = math.sqrt(self.reduced_chi_square)
        else:
            self.error_scale = 1.0
        self.covariance = ParameterMatrix(self.names,
                                          raw.parameter_covariance * self.error_scale ** 2)
        self.correlation = ParameterMatrix(self.names, statistics.correlation)
        self.values = dict(zip(self.names, raw.x[:len(varied)].tolist()))
        self.standard_errors = dict(zip(
            self.names, (statistics.standard_errors * self.error_scale).tolist()))
        self.fixed = {name: parameter_value(model, p) for name, p in parameters.items()
                      if name not in self.values}
        self.weighted_residuals = _frozen(fun)
        self.predicted_pressure = _frozen(raw.predicted_pressure)
        self.residuals = _frozen(data.pressure - self.predicted_pressure)
        self.fitted_volume = _frozen(statistics.volumes)
        temperatures = statistics.temperatures
        self.fitted_temperature = None if temperatures is None else _frozen(temperatures)
        self.converged = bool(raw.success)
        self.message = str(raw.message)
        self.evaluations = int(raw.nfev)

    def unit(self, name: str) -> str:
        """The unit of a parameter, from the dataset's units where it has them."""
        own = self._parameters[name].own if name in self._parameters else name
        return _UNITS.get(own, "").format(p=self.data.pressure_unit, v=self.data.volume_unit)

    def format_parameter(self, name: str) -> str:
        """A varied parameter as value(esd) with its unit, such as ``'296(5) GPa'``."""
        text = format_value_esd(self.values[name], self.standard_errors[name])
        unit = self.unit(name)
        return f"{text} {unit}" if unit else text

    def summary(self) -> str:
        """The table a paper prints: each varied parameter as value(esd), the fixed
        ones, the correlations and the fit statistics."""
        from ._summary import summary

        return summary(self)

    def __str__(self) -> str:
        return self.summary()

    def __repr__(self) -> str:
        state = "converged" if self.converged else "NOT converged"
        return (f"<FitResult {type(self.model).__name__} to {len(self.data)} rows, "
                f"{len(self.names)} varied, chi2={self.chi_square:.6g}, {state}>")

    def to_dict(self) -> dict[str, Any]:
        """The result as plain Python data that :func:`json.dumps` accepts."""
        from ._summary import as_dict

        return as_dict(self)

    def predict(self, quantity: str, x: npt.ArrayLike, y: npt.ArrayLike | None = None, *,
                monte_carlo: int | None = None, confidence: float = 0.683,
                seed: int | None = None) -> Prediction:
        """A quantity of the fitted model with its standard error.

        The arguments are those of the model's method of that name: for an
        isothermal model ``predict("volume", pressure)``, for a thermal one
        ``predict("volume", pressure, temperature)`` or
        ``predict("bulk_modulus", volume, temperature)``.

        By default the standard error comes from the delta method: the
        engine propagates the fit's covariance (:attr:`covariance`) through
        J, the derivatives of the quantity with respect to the varied
        parameters, which are central differences of the quantity of the
        model rebuilt natively with steps of 1e-3 standard errors of each
        parameter. With ``monte_carlo=N``, N parameter vectors are drawn
        instead from the normal distribution of the fit's covariance (NumPy's
        generator, seeded by ``seed``); the engine rebuilds the model for
        each, evaluates the quantity, leaves out the draws the model refuses,
        and summarises the rest: their standard deviation and the central
        ``confidence`` interval.

        Parameters
        ----------
        quantity : str
            A method of the model: ``"volume"``, ``"pressure"``,
            ``"bulk_modulus"``, ``"thermal_expansivity"``, ...
        x, y : float or array_like
            Its arguments (``y`` only for a thermal model), broadcast
            against each other.
        monte_carlo : int, optional
            Number of Monte Carlo draws (at least 2).
        confidence : float
            Level of the Monte Carlo interval, in [0, 1).
        seed : int, optional
            Seed of the draws, for reproducible intervals.

        Returns
        -------
        Prediction

        Examples
        --------
        >>> from barometra import BM3
        >>> from barometra.data import load_example
        >>> from barometra.fit import fit
        >>> data = load_example("stishovite_300K_nishihara2005")
        >>> result = fit(BM3(v0=46.5, k0=300.0, k0_prime=4.0), data, pressure_sigma=1.0,
        ...              scale_errors=True)
        >>> volume = result.predict("volume", 30.0)
        >>> f"{volume.value:.3f} ± {volume.standard_error:.3f}"
        '42.778 ± 0.020'
        """
        arguments = self._arguments(quantity, x, y)
        value = getattr(self.model, quantity)(*arguments)
        # The states the value was computed at, as the engine reads them.
        states = np.broadcast_arrays(*(np.asarray(a, dtype=np.float64) for a in arguments))
        first, second = states[0], states[1] if len(states) > 1 else None
        covariance = self.covariance.values
        if monte_carlo is None:
            errors = self._statistics.delta_method(quantity, first, second, covariance)
            return Prediction(quantity, _shaped(value, value), _shaped(value, errors), "delta")
        draws = int(monte_carlo)
        if draws < 2:
            raise ValueError(f"monte_carlo must be at least 2 draws, not {monte_carlo!r}")
        theta = np.array([self.values[name] for name in self.names])
        samples = np.random.default_rng(seed).multivariate_normal(
            theta, covariance, size=draws, method="eigh")
        summary, rejected = self._statistics.monte_carlo(quantity, first, second, samples,
                                                         float(confidence))
        return Prediction(quantity, _shaped(value, value),
                          _shaped(value, summary.standard_error), "monte_carlo",
                          _shaped(value, summary.lower), _shaped(value, summary.upper),
                          float(confidence), draws - rejected, rejected)

    def _arguments(self, quantity: str, x: npt.ArrayLike, y: npt.ArrayLike | None
                   ) -> tuple[npt.ArrayLike, ...]:
        """The arguments of the model's method ``quantity``, checked against it."""
        thermal = _thermal(self.model)
        available = self.model.quantities if thermal else ("pressure", "volume",
                                                           "bulk_modulus")
        if quantity not in available:
            raise ValueError(f"{type(self.model).__name__} has no quantity {quantity!r}; "
                             f"it has {', '.join(available)}")
        if not thermal or quantity == "characteristic_temperature":
            if y is not None:
                raise TypeError(f"{quantity} of {type(self.model).__name__} takes one argument")
            return (x,)
        if y is None:
            raise TypeError(f"{quantity} of {type(self.model).__name__} takes two arguments")
        return (x, y)

    def plot(self, **options: Any) -> Any:
        """The data, the fitted model and the residuals: :func:`barometra.plot.pv`.

        Options go to :func:`~barometra.plot.pv` (``temperatures``,
        ``points``, ``ax``, ...); returns its matplotlib Figure.
        """
        from ..plot import pv

        options.setdefault("labels", [f"{type(self.model).__name__} fit"])
        return pv(self.data, self.model, **options)

    def plot_ellipse(self, first: str, second: str, levels: Sequence[float] = (0.683, 0.954),
                     **options: Any) -> Any:
        """Joint confidence ellipses of two varied parameters:
        :func:`barometra.plot.confidence_ellipse` over the fit's covariance."""
        from ..plot import confidence_ellipse

        for name in (first, second):
            if name not in self.values:
                raise ValueError(f"{name!r} is not a varied parameter; varied: "
                                 f"{', '.join(self.names)}")
        center = [self.values[first], self.values[second]]
        return confidence_ellipse(center, self.covariance.submatrix((first, second)).values,
                                  levels, names=(first, second), **options)


# Units of the parameters by name: {p} the pressure unit, {v} the volume unit.
_UNITS = {"v0": "{v}", "k0": "{p}", "p0": "{p}", "k0_double_prime": "1/{p}", "tr": "K",
          "theta0": "K", "theta": "K", "theta_b1": "K", "theta_b2": "K", "theta_e1": "K",
          "theta_e2": "K", "qe1o": "K", "qe2o": "K", "qbo": "K", "qb1o": "K", "defect_h": "K",
          "alpha0": "1/K", "alpha_kt": "{p}/K", "alpha_kt_ref": "{p}/K", "dk_dt_v": "{p}/K",
          "dk_dt": "{p}/K", "dkprime_dt": "1/K", "alpha1": "1/K²", "cvmax": "J/(mol K)"}


def _thermal(model: Any) -> bool:
    return hasattr(model, "quantities")


def _frozen(array: FloatArray) -> FloatArray:
    array = np.array(array, dtype=np.float64)
    array.flags.writeable = False
    return array


def _shaped(like: float | FloatArray, values: npt.ArrayLike) -> float | FloatArray:
    """``values`` in the shape of the model's result ``like``: a float for a float."""
    array = np.asarray(values, dtype=np.float64)
    if isinstance(like, float):
        return float(array.reshape(-1)[0])
    return array.reshape(np.shape(like))
