"""``fit``: a public model fitted to a dataset by the engine's native EOS fit."""

from __future__ import annotations

import math
import operator
import warnings
from collections.abc import Iterable, Mapping
from typing import Any

import numpy as np
import numpy.typing as npt

from .. import _engine, units
from .._arrays import FloatArray
from ..data import Dataset
from ..eos import IsothermalEos, ThermalEos
from ..eos._isothermal import canonical_unit
from ..errors import (BarometraError, FitConvergenceWarning, FitEosValidationError,
                      FitError, FitQualityWarning, FitValidationError)
from ._parameters import (Parameter, engine_scales, model_parameters, parameter_value,
                          resolve, split, with_values)
from ._quality import quality_warnings, stop_reason
from ._result import FitResult, FitSettings, ParameterMatrix, frozen

#: The robust losses, and for each choice of ``errors`` the variables it makes
#: uncertain: the engine's lists.
LOSSES: tuple[str, ...] = _engine.LOSSES
ERROR_MODES: dict[str, tuple[str, ...]] = dict(_engine.ERROR_MODES)
_SIGMAS = ("pressure_sigma", "volume_sigma", "temperature_sigma")


def fit(
    model: IsothermalEos | ThermalEos,
    data: Dataset,
    *,
    vary: Iterable[str] | None = None,
    fix: Iterable[str] | Mapping[str, float] | None = None,
    errors: str = "pressure",
    pressure_sigma: npt.ArrayLike | None = None,
    volume_sigma: npt.ArrayLike | None = None,
    temperature_sigma: npt.ArrayLike | None = None,
    loss: str = "linear",
    f_scale: float = 1.0,
    max_evaluations: int | None = None,
    bounds: Mapping[str, tuple[float, float]] | None = None,
    scale_errors: bool = False,
) -> FitResult:
    """Fit a model's parameters to measured pressures, volumes (and temperatures).

    The whole fit runs in the native engine (a bounded, damped Gauss-Newton
    least-squares fit with the interpreter lock released): it minimises the
    misfit of the model's pressure P(V) or P(V, T) to the measured pressures,
    each weighted by its sigma. With volume (and temperature) errors, the
    true volume (and temperature) of each row is fitted too, penalised by its
    distance from the measured one in units of its sigma (errors in all
    variables). The starting values are the model's own.

    Parameters
    ----------
    model : IsothermalEos or ThermalEos
        The model to fit, holding the starting values, in its units: a
        thermal model's (GPa and its ``volume_unit``), an isothermal model's
        labels (``pressure_unit``, ``volume_unit``), or the data's units for
        an isothermal model without labels, whose fitted model then carries
        them. A thermal model needs a dataset with temperatures.
    data : barometra.data.Dataset
        The measurements, converted to the model's units first (with the
        model's ``formula_units``, else the dataset's, between volumes per
        cell and molar volumes).
    vary : sequence of str, optional
        The parameters to fit, by name (``"k0"``, ``"theta0"``; a thermal
        model's reference parameters as ``"k0"`` or ``"reference.k0"``:
        ``"reference.x"`` where the thermal model has an ``x`` of its own).
        By default every numeric parameter except those listed in ``fix`` and
        the constants (reference temperature ``tr``, atoms per formula unit
        ``n``, Holzapfel's ``z``, ``p0``, ``rho0``, multiplicities, ``cvmax``).
    fix : sequence of str or mapping of str to float, optional
        Parameters held fixed; a mapping also sets their values first
        (``fix={"v0": 162.373}``). Every parameter not varied is fixed.
    errors : {"pressure", "pressure+volume", "all"}
        The uncertain variables: pressure only; pressure and volume (latent
        volumes); or pressure, volume and temperature (latent temperatures,
        thermal models only).
    pressure_sigma, volume_sigma, temperature_sigma : float or array_like, optional
        Sigmas to use instead of the dataset's: one number for every row or
        one per row, in the model's units (those the summary prints). A
        sigma that the errors need and that neither the dataset reports nor
        the caller gives is an error, never guessed.
    loss : {"linear", "soft_l1", "huber", "cauchy", "arctan"}
        Robust loss applied to the weighted residuals, with the scale
        ``f_scale``.
    f_scale : float
        Residual scale of a robust loss.
    max_evaluations : int, optional
        Budget of residual evaluations, a positive integer; by default the
        engine's.
    bounds : mapping of str to (float, float), optional
        Lower and upper bounds of varied parameters; unbounded by default.
    scale_errors : bool
        Multiply the standard errors (and the covariance by the square) by
        sqrt(reduced chi-square), as many published fits do; the summary
        says so.

    Returns
    -------
    FitResult
        The fitted model, parameter values, standard errors, covariance,
        statistics and residuals.

    Raises
    ------
    ValueError
        For an unusable request: an unknown parameter, a missing sigma, a
        thermal model without temperatures, data whose units do not convert
        to the model's, an unknown ``errors`` or ``loss``.
        :class:`~barometra.errors.FitValidationError` (a ValueError) when the
        data give fewer residuals than there are fitted variables (fewer rows
        than varied parameters), and for ``scale_errors`` with as many.
    barometra.errors.FitError
        When the engine fails (for example a model that cannot be evaluated
        at the data); its subclasses say why.

    Warns
    -----
    barometra.errors.FitConvergenceWarning
        When the fit stops without converging (evaluation budget exhausted or
        no step that lowers the misfit). The result is returned with
        ``converged`` False, and its summary says NOT CONVERGED; turn the
        warning into an error with :func:`warnings.simplefilter`.
    barometra.errors.FitQualityWarning
        When the data do not determine a varied parameter (its standard
        error is NaN), the reduced chi-square of a converged fit exceeds
        1e4, or a fitted value sits at a bound. The result keeps every
        warning's text in ``warnings``, and its summary repeats them.

    Examples
    --------
    Stishovite at 300 K, fitted as Nishihara et al. (2005) did: equal
    weights (1 GPa each) and standard errors scaled by the scatter.

    >>> from barometra import BM3
    >>> from barometra.data import load_example
    >>> from barometra.fit import fit
    >>> data = load_example("stishovite_300K_nishihara2005")
    >>> result = fit(BM3(v0=46.5, k0=300.0, k0_prime=4.0), data,
    ...              pressure_sigma=1.0, scale_errors=True)
    >>> result.format_parameter("k0")
    '296(5) GPa'
    >>> round(result.model.parameters["v0"], 2)
    46.56
    """
    if not isinstance(data, Dataset):
        raise TypeError(f"data must be a barometra.data.Dataset, not {type(data).__name__}")
    parameters = model_parameters(model)
    thermal = isinstance(model, ThermalEos)
    if not isinstance(errors, str) or errors not in ERROR_MODES:
        raise ValueError(f"errors must be one of {', '.join(map(repr, ERROR_MODES))}, "
                         f"not {errors!r}")
    if not isinstance(loss, str):
        raise ValueError(_loss_message(loss))
    uncertain = ERROR_MODES[errors]
    if "temperature" in uncertain and not thermal:
        raise ValueError(f"errors={errors!r} needs a thermal model: an isothermal fit has no "
                         "temperatures (use 'pressure+volume')")
    budget = _budget(max_evaluations)
    _check_data(model, data, thermal)
    varied, fixed_values = split(parameters, vary, fix)
    start = with_values(model, parameters, fixed_values)
    data = _in_units_of(start, data)
    _check_counts(len(data), len(varied), len(uncertain) - 1, bool(scale_errors))
    lower, upper = _bounds(parameters, varied, bounds)
    given = {"pressure_sigma": pressure_sigma, "volume_sigma": volume_sigma,
             "temperature_sigma": temperature_sigma}
    arrays: dict[str, Any] = {"pressure": data.pressure, "volume": data.volume}
    if thermal:
        arrays["temperature"] = data.temperature
    for column in _SIGMAS[:3 if thermal else 2]:
        arrays[column] = _sigma(data, column, given[column], len(data),
                                needed=column.removesuffix("_sigma") in uncertain)
    initial = np.array([parameter_value(start, p) for p in varied])
    scales = engine_scales(start, varied)
    common = dict(loss=loss, f_scale=float(f_scale), max_nfev=budget)
    try:
        raw = _run(start, thermal, [p.native for p in varied], (initial, lower, upper), scales,
                   arrays, common)
    except FitValidationError as error:
        raise _named(error, varied, (initial, lower, upper), arrays, given, loss) from error
    except FitEosValidationError as error:
        raise _astray(error, varied) from error
    except FitError as error:
        raise _at_overflowing_row(error, start, arrays) from error
    if not math.isfinite(raw.cost):
        raise _at_overflowing_row(FitError("the cost at the start is not finite",
                                           code="fit.evaluation_failed", operation="fit"),
                                  start, arrays)
    settings = FitSettings(errors=errors, loss=loss, f_scale=float(f_scale),
                           scale_errors=bool(scale_errors),
                           sigmas={key: arrays[key] for key in _SIGMAS
                                   if arrays.get(key) is not None},
                           given_sigmas={key for key, value in given.items()
                                         if value is not None})
    result = _result(raw, start, data, parameters, varied, scales, settings,
                     _labels(start, data))
    found: list[tuple[str, type[Warning]]] = []
    if not result.converged:
        found.append((f"the fit of {type(model).__name__} did not converge: "
                      f"{stop_reason(result.message)}", FitConvergenceWarning))
    found += [(text, FitQualityWarning) for text in quality_warnings(result, lower, upper)]
    # The warnings read the finished result; it is complete once they are in.
    object.__setattr__(result, "warnings", tuple(text for text, _ in found))
    for text, category in found:
        warnings.warn(text, category, stacklevel=2)
    return result


def _result(raw: Any, start: Any, data: Dataset, parameters: Mapping[str, Parameter],
            varied: list[Parameter], scales: FloatArray, settings: FitSettings,
            labels: dict[str, str]) -> FitResult:
    """The public result of the engine's, in the model's units; the fitted model
    takes the unit labels given."""
    statistics = raw.eos_fit
    names = tuple(p.name for p in varied)
    values, errors = raw.x[:len(varied)], statistics.standard_errors
    covariance = raw.parameter_covariance
    if start._volume_scale != 1.0:
        values, errors = values / scales, errors / scales
        covariance /= np.outer(scales, scales)
    fitted = with_values(start, parameters, dict(zip(names, values.tolist())), **labels)
    reduced = statistics.reduced_chi_square
    # Scaling by sqrt(reduced chi-square) is a choice of how to report the
    # engine's numbers, made here; the correlation does not change with it.
    error_scale = math.sqrt(reduced) if settings.scale_errors and reduced is not None else 1.0
    if error_scale != 1.0:
        errors, covariance = errors * error_scale, covariance * error_scale ** 2
    blank = list(statistics.undetermined)
    if blank:
        covariance[blank, :] = covariance[:, blank] = math.nan
    return FitResult(
        model=fitted, initial_model=start, data=data, settings=settings, names=names,
        values=dict(zip(names, values.tolist())),
        standard_errors=dict(zip(names, errors.tolist())),
        covariance=ParameterMatrix(names, covariance),
        correlation=ParameterMatrix(names, statistics.correlation),
        undetermined=tuple(names[i] for i in blank),
        fixed={name: parameter_value(fitted, p) for name, p in parameters.items()
               if name not in names},
        chi_square=statistics.chi_square, degrees_of_freedom=statistics.degrees_of_freedom,
        reduced_chi_square=reduced, aic=statistics.aic, bic=statistics.bic,
        residual_count=len(raw.fun), variable_count=len(raw.x),
        predicted_pressure=frozen(raw.predicted_pressure, copy=False),
        weighted_residuals=frozen(raw.fun, copy=False),
        fitted_volume=frozen(statistics.volumes / start._volume_scale, copy=False),
        fitted_temperature=statistics.temperatures,
        converged=bool(raw.success), message=str(raw.message), evaluations=int(raw.nfev),
        error_scale=error_scale)


def _check_counts(rows: int, varied: int, latent_groups: int, scale_errors: bool) -> None:
    """Refuse fits with fewer residuals than fitted variables, and error scaling
    without degrees of freedom."""
    residuals = rows * (1 + latent_groups)
    variables = varied + rows * latent_groups
    counts = (f"{rows} row{'s' if rows != 1 else ''} give{'s' if rows == 1 else ''} "
              f"{residuals} residual{'s' if residuals != 1 else ''} for {variables} fitted "
              f"variable{'s' if variables != 1 else ''}")
    if residuals < variables:
        raise FitValidationError(
            f"too few data: {counts} ({varied} varied parameters"
            + (f" and {rows * latent_groups} latent coordinates" if latent_groups else "")
            + f"); vary at most {rows} parameters, or fit more rows",
            code="fit.invalid_input", operation="fit", field="data")
    if scale_errors and residuals == variables:
        raise FitValidationError(
            f"scale_errors needs degrees of freedom: {counts}, which leaves none to "
            "estimate the scatter from; fit more rows or vary fewer parameters",
            code="fit.invalid_input", operation="fit", field="scale_errors")


def _run(model: Any, thermal: bool, names: list[str],
         vectors: tuple[FloatArray, FloatArray, FloatArray], scales: FloatArray,
         arrays: dict[str, Any], common: dict[str, Any]) -> Any:
    """The engine's fit, in the engine's units: volumes (and v0) scaled to them."""
    initial, lower, upper = (vector * scales for vector in vectors)
    native, scale = model._native_engine, model._volume_scale
    volume = arrays["volume"] * scale
    volume_sigma = None if arrays["volume_sigma"] is None else arrays["volume_sigma"] * scale
    if thermal:
        return _engine.fit_thermal_eos_native(
            native, names, initial, lower, upper, arrays["pressure"], volume,
            arrays["temperature"], arrays["pressure_sigma"], volume_sigma,
            arrays["temperature_sigma"], **common)
    return _engine.fit_rt_eos_native(
        native, names, initial, lower, upper, arrays["pressure"], volume,
        arrays["pressure_sigma"], volume_sigma, **common)


def _budget(max_evaluations: int | None) -> int | None:
    """The engine's budget for ``max_evaluations``, whose range the engine checks: a
    negative budget reaches it as 0, a huge one as the largest it takes."""
    if max_evaluations is None:
        return None
    if isinstance(max_evaluations, bool) or not hasattr(type(max_evaluations), "__index__"):
        raise TypeError(f"max_evaluations must be an integer or None, "
                        f"not {type(max_evaluations).__name__}")
    return min(max(operator.index(max_evaluations), 0), 2**64 - 1)


def _loss_message(loss: object) -> str:
    return f"loss must be one of {', '.join(map(repr, LOSSES))}, not {loss!r}"


def _named(error: FitValidationError, varied: list[Parameter],
           vectors: tuple[FloatArray, FloatArray, FloatArray], arrays: dict[str, Any],
           given: Mapping[str, object], loss: str) -> FitValidationError:
    """The engine's refusal of an input, in the words and names of the call."""
    field, row = error.field, error.index
    public: str | None = field
    if field == "loss":
        message = _loss_message(loss)
    elif field in _SIGMAS and row is not None:
        value = float(arrays[field][row])
        message = (f"{field} must be positive and finite: {value!r} is not"
                   if given[field] is not None else
                   f"the dataset's {field} must be positive to weigh the fit: row {row} is "
                   f"{value:g}; give {field}")
    elif field == "initial" and row is not None:
        start, low, high = (float(vector[row]) for vector in vectors)
        public, row = varied[row].name, None
        message = (f"bounds: {public!r} needs lower < upper, not ({low!r}, {high!r})"
                   if not low < high else
                   f"the start of {public!r}, {start!r}, lies outside its bounds "
                   f"({low!r}, {high!r}): bound it around the start, or start inside")
    elif field in ("volume", "temperature") and row is not None:
        # A measured value the dataset accepts: positive, so subnormal here.
        message = (f"the {field} of row {row}, {float(arrays[field][row])!r}, is too small "
                   f"to be fitted: a fit with {field} errors needs normal (not subnormal) "
                   f"{field}s")
    else:
        return error
    return FitValidationError(message, code=error.code, operation=error.operation,
                              field=public, index=row)


def _at_overflowing_row(error: FitError, start: Any, arrays: dict[str, Any]) -> FitError:
    """The engine's error, naming the row whose weighted pressure misfit at the start
    overflows when squared (a cost that is not finite), when there is one."""
    states = (arrays["volume"], arrays["temperature"]) if "temperature" in arrays else \
        (arrays["volume"],)
    try:
        predicted = start.pressure(*states)
    except BarometraError:
        return error
    with np.errstate(over="ignore", invalid="ignore"):
        misfit = (predicted - arrays["pressure"]) / arrays["pressure_sigma"]
        rows = np.flatnonzero(~np.isfinite(misfit * misfit))
    if not len(rows):
        return error
    row = int(rows[0])
    return type(error)(
        f"{error} (row {row}: its pressure misfit in sigmas, {float(misfit[row]):.3g}, "
        "overflows when squared; check that row's pressure and pressure_sigma)",
        code=error.code, operation=error.operation, field="pressure", index=row)


def _astray(error: FitEosValidationError, varied: list[Parameter]) -> FitEosValidationError:
    """The engine's error for a trial step that left a parameter's valid range, with
    what to do about it."""
    if error.code != "eos.invalid_parameter":
        return error
    names = [p.name for p in varied if error.field in (p.native, p.native.removeprefix(
        "rt_eos."))] or [p.name for p in varied]
    hint = ", ".join(f"{name!r}: (lower, upper)" for name in names)
    return FitEosValidationError(
        f"{error} (a trial step of the fit left the model's valid range: bound the "
        f"parameter with bounds={{{hint}}}, or start closer to the solution)",
        code=error.code, operation=error.operation, field=error.field)


def _check_data(model: IsothermalEos | ThermalEos, data: Dataset, thermal: bool) -> None:
    if len(data) == 0:
        raise ValueError("the dataset has no rows to fit")
    if thermal:
        if data.temperature is None:
            raise ValueError(f"{type(model).__name__} is a thermal model: the dataset needs "
                             "temperatures")
    elif data.temperature is not None and np.ptp(data.temperature) > 0:
        low, high = float(data.temperature.min()), float(data.temperature.max())
        raise ValueError(f"{type(model).__name__} is isothermal but the dataset spans "
                         f"{low:g}-{high:g} K: select the rows at one temperature "
                         "(data.select(data.temperature == 300.0)) or fit a thermal model")


def _labels(model: Any, data: Dataset) -> dict[str, str]:
    """For an isothermal model without unit labels, the data's units (those
    barometra knows): the units it is fitted in, which the fitted model carries."""
    if isinstance(model, ThermalEos):
        return {}
    labels = {}
    for kind, own, theirs in (("pressure", model.pressure_unit, data.pressure_unit),
                              ("volume", model.volume_unit, data.volume_unit)):
        if own is None:
            try:
                labels[f"{kind}_unit"] = canonical_unit(kind, theirs)
            except ValueError:
                pass
    return labels


def _in_units_of(model: Any, data: Dataset) -> Dataset:
    """The data in the model's units, or a ValueError naming both."""
    z = model.formula_units
    if z is not None and data.formula_units_per_cell not in (None, z):
        raise ValueError(f"the model has formula_units={z} but the dataset "
                         f"formula_units_per_cell={data.formula_units_per_cell}")
    if model.pressure_unit in (None, data.pressure_unit) and \
            model.volume_unit in (None, data.volume_unit) and z is None:
        return data
    try:
        return data.to_units(pressure=model.pressure_unit, volume=model.volume_unit,
                             formula_units=z)
    except ValueError as error:
        own = ", ".join(unit for unit in (model.pressure_unit, model.volume_unit) if unit)
        raise ValueError(
            f"the data ({data.pressure_unit}, {data.volume_unit}) do not convert to the units "
            f"of {type(model).__name__} ({own}): {error}"
            + ("; give the model formula_units=Z" if "needs Z" in str(error) else "")) from None


def _bounds(parameters: Mapping[str, Parameter], varied: list[Parameter],
            bounds: Mapping[str, tuple[float, float]] | None) -> tuple[FloatArray, FloatArray]:
    lower = np.full(len(varied), -math.inf)
    upper = np.full(len(varied), math.inf)
    index = {p.name: i for i, p in enumerate(varied)}
    for name, pair in (bounds or {}).items():
        parameter = resolve(parameters, name, "bounds")
        if parameter.name not in index:
            raise ValueError(f"bounds: {parameter.name!r} is not varied")
        try:
            low, high = (float(x) for x in pair)
        except (TypeError, ValueError):
            raise TypeError(f"bounds: {parameter.name!r} needs a (lower, upper) pair of "
                            f"numbers, not {pair!r}") from None
        lower[index[parameter.name]], upper[index[parameter.name]] = low, high
    return lower, upper


def _sigma(data: Dataset, column: str, given: npt.ArrayLike | None, rows: int, *,
           needed: bool) -> FloatArray | None:
    """The sigmas the fit uses for one variable, or None when that variable is exact."""
    if given is not None:
        if not needed:
            raise ValueError(f"{column} is given but the fit's errors leave that variable "
                             "exact: choose errors= to include it")
        array = np.array(given, dtype=np.float64)
        if array.ndim == 0:
            array = np.full(rows, float(array))
        if array.shape != (rows,):
            raise ValueError(f"{column} must be one number or one per row ({rows}), "
                             f"not of shape {array.shape}")
        return array
    if not needed:
        return None
    array = getattr(data, column)
    if array is None or np.isnan(array).any():
        missing = np.flatnonzero(np.isnan(array)) if array is not None else np.arange(rows)
        where = "any row" if len(missing) == rows else \
            f"rows {', '.join(map(str, missing[:5]))}{' ...' if len(missing) > 5 else ''}"
        raise ValueError(f"the dataset reports no {column} for {where}: give {column} "
                         f"(--{column.replace('_', '-')} on the command line), one number "
                         "for every row or one per row")
    return np.array(array, dtype=np.float64)
