"""A fit result as plain data (JSON), and back.

The document holds everything a result is: the fitted and starting models,
the data, how the fit was asked for, the parameters, covariance and
statistics, so that the result read back summarises and predicts as the one
written. JSON has no NaN: NaN is written as null and read back as NaN.
``format_version`` is 1; a later version adds keys, and this reader refuses
versions newer than it knows.
"""

from __future__ import annotations

import json
import math
import os
from collections.abc import Mapping
from typing import TYPE_CHECKING, Any

import numpy as np

from ..data import Dataset
from ._result import FitSettings, ParameterMatrix

if TYPE_CHECKING:
    from ._result import FitResult

FORMAT = "barometra.fit.FitResult"
FORMAT_VERSION = 1


def _number(value: float | None) -> float | None:
    return None if value is None or math.isnan(value) else float(value)


def _float(value: float | None) -> float:
    return math.nan if value is None else float(value)


def _numbers(values: Any) -> list[Any]:
    return [None if isinstance(x, float) and math.isnan(x) else x
            for x in np.asarray(values).tolist()]


def _array(values: list[Any] | None) -> Any:
    return None if values is None else np.array([math.nan if x is None else x for x in values],
                                                dtype=np.float64)


def model_document(model: Any) -> dict[str, Any]:
    """A model as its class name, parameters (a reference as its own document) and
    units."""
    parameters = {name: model_document(value) if name == "reference" else value
                  for name, value in model.parameters.items()}
    return {"class": type(model).__name__, "parameters": parameters,
            "units": model._unit_arguments()}


def model_from_document(document: Mapping[str, Any]) -> Any:
    from .. import eos

    cls = getattr(eos, document["class"], None)
    if not isinstance(cls, type) or not issubclass(cls, eos._base.EngineModel):
        raise ValueError(f"unknown model class {document['class']!r}")
    parameters = {name: model_from_document(value) if name == "reference" else value
                  for name, value in document["parameters"].items()}
    return cls(**parameters, **document.get("units", {}))


def dataset_document(data: Dataset) -> dict[str, Any]:
    arguments = data._arguments()
    columns = {name: None if arguments[name] is None else _numbers(arguments[name])
               for name in ("pressure", "volume", "temperature", "pressure_sigma",
                            "volume_sigma", "temperature_sigma")}
    return {**arguments, **columns, "notes": list(arguments["notes"]),
            "extra": {name: {"kind": values.dtype.kind, "values": _numbers(values)}
                      for name, values in arguments["extra"].items()}}


def dataset_from_document(document: Mapping[str, Any]) -> Dataset:
    arguments = dict(document)
    for name in ("pressure", "volume", "temperature", "pressure_sigma", "volume_sigma",
                 "temperature_sigma"):
        arguments[name] = _array(arguments[name])
    arguments["extra"] = {
        name: (_array(column["values"]) if column["kind"] == "f" else
               np.array(column["values"]))
        for name, column in document["extra"].items()}
    return Dataset(**arguments)


def result_document(result: FitResult) -> dict[str, Any]:
    from .._esd import format_value_esd

    settings = result.settings
    return {
        "format": FORMAT,
        "format_version": FORMAT_VERSION,
        "model": type(result.model).__name__,
        "model_repr": repr(result.model),
        "fitted_model": model_document(result.model),
        "initial_model": model_document(result.initial_model),
        "dataset": result.data.name,
        "data": dataset_document(result.data),
        "points": result.points,
        "units": {"pressure": result.pressure_unit, "volume": result.volume_unit},
        "errors": settings.errors,
        "loss": settings.loss,
        "f_scale": settings.f_scale,
        "sigmas": {name: _numbers(values) for name, values in settings.sigmas.items()},
        "given_sigmas": sorted(settings.given_sigmas),
        "converged": result.converged,
        "message": result.message,
        "evaluations": result.evaluations,
        "warnings": list(result.warnings),
        "parameters": {name: {"value": result.values[name],
                              "standard_error": _number(result.standard_errors[name]),
                              "formatted": format_value_esd(result.values[name],
                                                            result.standard_errors[name]),
                              "unit": result.unit(name)}
                       for name in result.names},
        "undetermined": list(result.undetermined),
        "fixed": dict(result.fixed),
        "standard_errors_scaled": settings.scale_errors,
        "error_scale": result.error_scale,
        "covariance": result.covariance.to_dict(),
        "correlation": result.correlation.to_dict(),
        "statistics": {"chi_square": result.chi_square,
                       "degrees_of_freedom": result.degrees_of_freedom,
                       "reduced_chi_square": _number(result.reduced_chi_square),
                       "aic": result.aic, "bic": result.bic,
                       "residual_count": result.residual_count,
                       "variable_count": result.variable_count},
        "predicted_pressure": _numbers(result.predicted_pressure),
        "residuals": _numbers(result.residuals),
        "weighted_residuals": _numbers(result.weighted_residuals),
        "fitted_volume": _numbers(result.fitted_volume),
        "fitted_temperature": (None if result.fitted_temperature is None
                               else _numbers(result.fitted_temperature)),
    }


def _matrix(document: Mapping[str, Any]) -> ParameterMatrix:
    return ParameterMatrix(document["names"],
                           [[_float(x) for x in row] for row in document["values"]])


def result_from_document(document: Mapping[str, Any]) -> FitResult:
    from ._result import FitResult

    if not isinstance(document, Mapping) or document.get("format") != FORMAT:
        raise ValueError("not a fit result written by barometra (no format "
                         f"{FORMAT!r})")
    version = document.get("format_version")
    if not isinstance(version, int) or not 1 <= version <= FORMAT_VERSION:
        raise ValueError(f"fit result format version {version!r} is newer than this "
                         f"barometra reads (up to {FORMAT_VERSION}): upgrade barometra")
    parameters = document["parameters"]
    statistics = document["statistics"]
    reduced = statistics["reduced_chi_square"]
    temperature = document["fitted_temperature"]
    settings = FitSettings(
        errors=document["errors"], loss=document["loss"], f_scale=document["f_scale"],
        scale_errors=document["standard_errors_scaled"],
        sigmas={name: _array(values) for name, values in document["sigmas"].items()},
        given_sigmas=set(document["given_sigmas"]))
    return FitResult(
        model=model_from_document(document["fitted_model"]),
        initial_model=model_from_document(document["initial_model"]),
        data=dataset_from_document(document["data"]),
        settings=settings,
        names=tuple(parameters),
        values={name: float(entry["value"]) for name, entry in parameters.items()},
        standard_errors={name: _float(entry["standard_error"])
                         for name, entry in parameters.items()},
        covariance=_matrix(document["covariance"]),
        correlation=_matrix(document["correlation"]),
        undetermined=tuple(document["undetermined"]),
        fixed={name: float(value) for name, value in document["fixed"].items()},
        chi_square=statistics["chi_square"],
        degrees_of_freedom=statistics["degrees_of_freedom"],
        reduced_chi_square=None if reduced is None else float(reduced),
        aic=statistics["aic"], bic=statistics["bic"],
        residual_count=statistics["residual_count"],
        variable_count=statistics["variable_count"],
        predicted_pressure=_array(document["predicted_pressure"]),
        weighted_residuals=_array(document["weighted_residuals"]),
        fitted_volume=_array(document["fitted_volume"]),
        fitted_temperature=_array(temperature),
        converged=document["converged"], message=document["message"],
        evaluations=document["evaluations"], error_scale=document["error_scale"],
        warnings=tuple(document["warnings"]))


def save(result: FitResult, path: str | os.PathLike[str]) -> None:
    with open(path, "w", encoding="utf-8") as file:
        json.dump(result.to_dict(), file, ensure_ascii=False, indent=1)
        file.write("\n")


def load(path: str | os.PathLike[str]) -> FitResult:
    """The fit result that :meth:`FitResult.save` wrote to ``path``.

    Raises
    ------
    ValueError
        For a file that is not JSON, not a fit result, or of a format version
        newer than this package reads.

    Examples
    --------
    >>> import pathlib, tempfile
    >>> from barometra import BM3
    >>> from barometra.data import load_example
    >>> from barometra.fit import fit, load
    >>> result = fit(BM3(v0=46.5, k0=300.0, k0_prime=4.0),
    ...              load_example("stishovite_300K_nishihara2005"), pressure_sigma=1.0)
    >>> path = pathlib.Path(tempfile.mkdtemp()) / "fit.json"
    >>> result.save(path)
    >>> load(path) == result
    True
    """
    with open(path, encoding="utf-8") as file:
        try:
            document = json.load(file)
        except json.JSONDecodeError as error:
            raise ValueError(f"{os.fspath(path)} is not a JSON file: {error}") from None
    return result_from_document(document)
