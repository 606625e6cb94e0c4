"""The result of a fit: fitted model, parameters with standard errors, statistics."""

from __future__ import annotations

import math
import os
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field, fields
from typing import Any

import numpy as np
import numpy.typing as npt

from .. import _engine
from .._arrays import FloatArray
from .._esd import format_at_esd, format_value_esd
from ..data import Dataset
from ._parameters import Parameter, engine_scales, model_parameters


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
    ``np.asarray(matrix)`` gives that array too. Rows and columns of a
    parameter the data do not determine are NaN.
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

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, ParameterMatrix):
            return NotImplemented
        return self.names == other.names and bool(
            np.array_equal(self.values, other.values, equal_nan=True))

    __hash__ = None  # type: ignore[assignment]

    def __reduce__(self) -> tuple[Any, ...]:
        return (ParameterMatrix, (self.names, self.values))

    def submatrix(self, names: Sequence[str]) -> ParameterMatrix:
        """The entries of the given parameters only, in their order."""
        index = [self.names.index(name) for name in names]
        return ParameterMatrix(names, self.values[np.ix_(index, index)])

    def to_dict(self) -> dict[str, Any]:
        """Names and rows; NaN (JSON has none) as None."""
        return {"names": list(self.names),
                "values": [[None if math.isnan(x) else x for x in row]
                           for row in self.values.tolist()]}

    def __repr__(self) -> str:
        width = max(map(len, self.names)) + 2
        lines = ["".rjust(width) + "".join(name.rjust(13) for name in self.names)]
        lines += [name.rjust(width) + "".join(f"{x:13.6g}" for x in row)
                  for name, row in zip(self.names, self.values)]
        return "\n".join(lines)


@dataclass(frozen=True, eq=False)
class Prediction:
    """A quantity of the fitted model with its standard error.

    ``value`` is the fitted model's own value, in ``unit``;
    ``standard_error`` comes from the delta method, or from the spread of
    Monte Carlo draws, which also give the central ``confidence`` interval
    (``lower``, ``upper``). ``draws`` counts the Monte Carlo draws used and
    ``rejected`` those whose parameters the model refused (a negative K0,
    ...). A standard error is NaN where the value depends on a parameter
    the data do not determine; ``note`` then says which.
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
    unit: str = ""
    note: str = ""

    def __eq__(self, other: object) -> bool:
        if type(other) is not Prediction:
            return NotImplemented
        return all(_same(getattr(self, f.name), getattr(other, f.name)) for f in fields(self))

    __hash__ = None  # type: ignore[assignment]

    def __str__(self) -> str:
        unit = f" {self.unit}" if self.unit else ""
        how = ("delta method" if self.method == "delta" else
               f"{self.draws} Monte Carlo draws, {self.rejected} rejected")
        if not isinstance(self.value, float) or not isinstance(self.standard_error, float):
            text = f"{self.quantity} = {self.value} ± {self.standard_error}{unit}"
            if self.lower is not None:
                text += f", {self.confidence:.1%} interval {self.lower} to {self.upper}"
        elif math.isnan(self.standard_error):
            return f"{self.quantity} = {self.value!r}{unit} ({self.note})"
        else:
            esd = self.standard_error
            text = f"{self.quantity} = {format_value_esd(self.value, esd)}{unit}"
            if self.lower is not None and self.upper is not None:
                low, high = (format_at_esd(float(bound), esd)
                             for bound in (self.lower, self.upper))
                text += f", {self.confidence:.1%} interval {low} to {high}"
        return f"{text} ({how})" + (f"; {self.note}" if self.note else "")


@dataclass(frozen=True, eq=False, repr=False)
class FitResult:
    """What :func:`barometra.fit.fit` found.

    Made by :func:`~barometra.fit.fit` and :meth:`from_dict`; it compares
    equal to a result with the same content, and pickles, copies and saves
    (:meth:`save`, :func:`barometra.fit.load`) to an equal result.

    Attributes
    ----------
    model : IsothermalEos or ThermalEos
        The fitted model (every parameter, the fixed ones included), in the
        units the fit worked in: the start's, or an unlabelled isothermal
        start's labelled with the data's units.
    initial_model : IsothermalEos or ThermalEos
        The model the fit started from (after ``fix`` values were set).
    data : barometra.data.Dataset
        The measurements fitted, in the model's units (converted when they
        came in others; the dataset's notes say so).
    names : tuple of str
        The varied parameters, in the model's order.
    values, standard_errors : dict of str to float
        Their fitted values and standard errors (scaled by
        sqrt(reduced chi-square) when the fit asked for it). A standard
        error is NaN for a parameter the data do not determine.
    covariance, correlation : ParameterMatrix
        Over ``names``; the covariance scaled like the standard errors; NaN
        in the rows and columns of an undetermined parameter.
    undetermined : tuple of str
        The varied parameters the data do not determine: the fit cannot tell
        their values apart (their effect on the pressures vanishes, or
        cancels against others'), so their values are the start's or
        arbitrary.
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
    warnings : tuple of str
        Every warning the fit issued (not converged, undetermined
        parameters, an implausible misfit, a value at a bound), as text.
    """

    model: Any
    initial_model: Any
    data: Dataset
    settings: FitSettings
    names: tuple[str, ...]
    values: dict[str, float]
    standard_errors: dict[str, float]
    covariance: ParameterMatrix
    correlation: ParameterMatrix
    undetermined: tuple[str, ...]
    fixed: dict[str, float]
    chi_square: float
    degrees_of_freedom: int
    reduced_chi_square: float | None
    aic: float
    bic: float
    residual_count: int
    variable_count: int
    predicted_pressure: FloatArray
    weighted_residuals: FloatArray
    fitted_volume: FloatArray
    fitted_temperature: FloatArray | None
    converged: bool
    message: str
    evaluations: int
    error_scale: float
    warnings: tuple[str, ...] = ()
    points: int = field(init=False)
    residuals: FloatArray = field(init=False)

    def __post_init__(self) -> None:
        for name in ("predicted_pressure", "weighted_residuals", "fitted_volume",
                     "fitted_temperature"):
            value = getattr(self, name)
            object.__setattr__(self, name, None if value is None else frozen(value))
        object.__setattr__(self, "points", len(self.data))
        object.__setattr__(self, "residuals", frozen(self.data.pressure - self.predicted_pressure))

    @property
    def pressure_unit(self) -> str:
        """The unit of the fitted pressures and of ``k0``."""
        unit: str = self.model.pressure_unit or self.data.pressure_unit
        return unit

    @property
    def volume_unit(self) -> str:
        """The unit of the fitted volumes and of ``v0``."""
        unit: str = self.model.volume_unit or self.data.volume_unit
        return unit

    def unit(self, name: str) -> str:
        """The unit of a parameter, from the model's units."""
        parameters = model_parameters(self.model)
        own = parameters[name].own if name in parameters else name
        return _UNITS.get(own, "").format(p=self.pressure_unit, v=self.volume_unit)

    def format_parameter(self, name: str) -> str:
        """A varied parameter as value(esd) with its unit, such as ``'296(5) GPa'``."""
        text = format_value_esd(self.values[name], self.standard_errors[name])
        unit = self.unit(name)
        if not unit:
            return text
        # The unit goes with the value, before a note on its standard error.
        value, space, note = text.partition(" (")
        return f"{value} {unit}{space}{note}"

    def summary(self) -> str:
        """The table a paper prints: each varied parameter as value(esd), the fixed
        ones, the correlations, the fit statistics and any warning."""
        from ._summary import summary

        return summary(self)

    def __str__(self) -> str:
        return self.summary()

    def __repr__(self) -> str:
        state = "converged" if self.converged else "NOT converged"
        return (f"<FitResult {type(self.model).__name__} to {self.points} rows, "
                f"{len(self.names)} varied, chi2={self.chi_square:.6g}, {state}>")

    def _repr_html_(self) -> str:
        """The summary's parameter table with its correlations, for notebooks."""
        from ._summary import html

        return html(self)

    def to_dict(self) -> dict[str, Any]:
        """The result as plain Python data that :func:`json.dumps` accepts, and
        that :meth:`from_dict` reads back (NaN is written as None)."""
        from ._document import result_document

        return result_document(self)

    @classmethod
    def from_dict(cls, document: Mapping[str, Any]) -> FitResult:
        """The result that :meth:`to_dict` wrote (also from its JSON text, read
        back with :func:`json.loads`), equal to the one written.

        Raises
        ------
        ValueError
            For a document that is not a fit result, or of a format version
            newer than this package reads.
        """
        from ._document import result_from_document

        return result_from_document(document)

    def save(self, path: str | os.PathLike[str]) -> None:
        """Writes :meth:`to_dict` as a JSON file, which :func:`barometra.fit.load`
        reads back."""
        from ._document import save

        save(self, path)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, FitResult):
            return NotImplemented
        return self.to_dict() == other.to_dict()

    __hash__ = None  # type: ignore[assignment]

    def __reduce__(self) -> tuple[Any, ...]:
        from ._document import result_from_document

        return (result_from_document, (self.to_dict(),))

    def predict(self, quantity: str, x: npt.ArrayLike | None = None,
                y: npt.ArrayLike | None = None, *, monte_carlo: int | None = None,
                confidence: float = 0.683, seed: int | None = None) -> Prediction:
        """A quantity of the fitted model with its standard error.

        The arguments are those of the model's method of that name: for an
        isothermal model ``predict("volume", pressure)``, for a thermal one
        ``predict("volume", pressure, temperature)`` or
        ``predict("bulk_modulus", volume, temperature)``, in the model's
        units; none for ``predict("implied_k0_double_prime")`` of an
        isothermal model whose form fixes K0''.

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
        ``confidence`` interval. Either way, a value that depends on a
        parameter the data do not determine has a NaN standard error (and
        interval), and the prediction's ``note`` says why.

        Parameters
        ----------
        quantity : str
            A method of the model: ``"volume"``, ``"pressure"``,
            ``"bulk_modulus"``, ``"bulk_modulus_derivative"``,
            ``"thermal_expansivity"``, ... (or ``"implied_k0_double_prime"``)
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
        >>> f"{volume.value:.3f} ± {volume.standard_error:.3f} {volume.unit}"
        '42.778 ± 0.020 Å³/cell'
        """
        arguments = self._arguments(quantity, x, y)
        value = getattr(self.model, quantity)
        if arguments:
            value = value(*arguments)
        elif value is None:
            raise ValueError(f"{type(self.model).__name__} has no {quantity}: its K0'' is a "
                             "parameter")
        else:
            arguments = (np.zeros(()),)  # a state the engine reads and the value ignores
        # The states in the engine's units, as the engine reads them.
        scale = self.model._volume_scale
        roles = _arguments_of(self.model, quantity) or ("",)
        states = [np.asarray(state * scale) if role == "volume" else state
                  for state, role in zip(np.broadcast_arrays(
                      *(np.asarray(a, dtype=np.float64) for a in arguments)), roles)]
        out = scale if quantity in ("volume", "volume_with_dac_confinement") else 1.0
        first, second = states[0], states[1] if len(states) > 1 else None
        varied = [model_parameters(self.model)[name] for name in self.names]
        scales = engine_scales(self.model, varied)
        theta = np.array([self.values[name] for name in self.names]) * scales
        # The undetermined rows and columns are the pseudoinverse's zeros: nothing
        # moves along them, and the engine reports the values that depend on them.
        covariance = np.nan_to_num(self.covariance.values) * np.outer(scales, scales)
        model, names = self.model._native_engine, [p.native for p in varied]
        engine_quantity = type(self.model)._engine_quantity(quantity)
        undetermined = [p.native for p in varied if p.name in self.undetermined]
        unit = self.model.quantity_unit(quantity)
        if monte_carlo is None:
            errors = _engine.delta_method(model, names, theta, covariance, engine_quantity,
                                          first, second, undetermined)
            return Prediction(quantity, _shaped(value, value), _shaped(value, errors / out),
                              "delta", unit=unit, note=self._note(quantity, errors))
        draws = int(monte_carlo)
        if draws < 2:
            raise ValueError(f"monte_carlo must be at least 2 draws, not {monte_carlo!r}")
        samples = np.random.default_rng(seed).multivariate_normal(
            theta, covariance, size=draws, method="eigh")
        summary, rejected = _engine.monte_carlo_prediction(
            model, names, theta, samples, float(confidence), engine_quantity, first, second,
            undetermined)
        errors = summary.standard_error
        return Prediction(quantity, _shaped(value, value), _shaped(value, errors / out),
                          "monte_carlo", _shaped(value, summary.lower / out),
                          _shaped(value, summary.upper / out), float(confidence),
                          draws - rejected, rejected, unit, self._note(quantity, errors))

    def _note(self, quantity: str, errors: FloatArray) -> str:
        """Why standard errors are NaN, when any is."""
        if not np.isnan(errors).any():
            return ""
        return (f"not determined: {quantity} depends on {', '.join(self.undetermined)}, "
                "which the data do not determine")

    def _arguments(self, quantity: str, x: npt.ArrayLike | None, y: npt.ArrayLike | None
                   ) -> tuple[npt.ArrayLike, ...]:
        """The arguments of the model's method ``quantity``, checked against it."""
        available = _quantities(self.model)
        if quantity not in available:
            raise ValueError(f"{type(self.model).__name__} has no quantity {quantity!r}; "
                             f"it has {', '.join(available)}")
        given = tuple(value for value in (x, y) if value is not None)
        count = len(_arguments_of(self.model, quantity))
        if len(given) != count or (count == 1 and x is None):
            words = ("no arguments", "one argument", "two arguments")[count]
            raise TypeError(f"{quantity} of {type(self.model).__name__} takes {words}")
        return given

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
            if name in self.undetermined:
                raise ValueError(f"{name!r} is not determined by the data: it has no "
                                 "confidence region")
        center = [self.values[first], self.values[second]]
        return confidence_ellipse(center, self.covariance.submatrix((first, second)).values,
                                  levels, names=(first, second), **options)


# Units of the parameters by name: {p} the pressure unit, {v} the volume unit.
_UNITS = {"v0": "{v}", "k0": "{p}", "p0": "{p}", "k0_double_prime": "1/{p}", "tr": "K",
          "theta0": "K", "theta": "K", "theta_b1": "K", "theta_b2": "K", "theta_e1": "K",
          "theta_e2": "K", "qe1o": "K", "qe2o": "K", "qbo": "K", "qb1o": "K", "defect_h": "K",
          "alpha0": "1/K", "alpha_kt": "{p}/K", "alpha_kt_ref": "{p}/K", "dk_dt_v": "{p}/K",
          "dk_dt": "{p}/K", "dkprime_dt": "1/K", "alpha1": "1/K²", "cvmax": "J/(mol K)"}


# The isothermal quantities the engine propagates to, and their state values.
_ISOTHERMAL_QUANTITIES = {"pressure": ("volume",), "volume": ("pressure",),
                          "bulk_modulus": ("volume",), "bulk_modulus_derivative": ("volume",),
                          "bulk_modulus_second_derivative": ("volume",),
                          "implied_k0_double_prime": ()}


def _quantities(model: Any) -> tuple[str, ...]:
    """The quantities of the model that ``predict`` reaches."""
    if hasattr(model, "quantities"):
        quantities: tuple[str, ...] = model.quantities
        return quantities
    return tuple(_ISOTHERMAL_QUANTITIES)


def _arguments_of(model: Any, quantity: str) -> tuple[str, ...]:
    """The names of the state values a quantity (a method's name) takes."""
    if not hasattr(model, "quantities"):
        return _ISOTHERMAL_QUANTITIES[quantity]
    engine = type(model)._engine_quantity(quantity)
    arguments: tuple[str, ...] = next(q.arguments for q in type(model)._model.quantities
                                      if q.name == engine)
    return arguments


def frozen(array: npt.ArrayLike, copy: bool = True) -> FloatArray:
    """A read-only float64 copy; an array already read-only is taken as it is, and
    with ``copy=False`` a new array the caller owns is made read-only in place."""
    if isinstance(array, np.ndarray) and array.dtype == np.float64 and \
            (not array.flags.writeable or not copy):
        array.flags.writeable = False
        return array
    owned = np.array(array, dtype=np.float64)
    owned.flags.writeable = False
    return owned


def _same(a: object, b: object) -> bool:
    if isinstance(a, np.ndarray) or isinstance(b, np.ndarray):
        return bool(np.array_equal(a, b, equal_nan=True))  # type: ignore[arg-type]
    if isinstance(a, float) and isinstance(b, float) and math.isnan(a) and math.isnan(b):
        return True
    return type(a) is type(b) and a == b


def _shaped(like: float | FloatArray, values: npt.ArrayLike) -> float | FloatArray:
    """``values`` in the shape of the model's result ``like``: a float for a float."""
    array = np.asarray(values, dtype=np.float64)
    if isinstance(like, float):
        return float(array.reshape(-1)[0])
    return array.reshape(np.shape(like))
