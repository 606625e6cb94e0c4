"""A fit result as the text table papers print, and as plain data for JSON."""

from __future__ import annotations

import math
from typing import TYPE_CHECKING, Any

import numpy as np

from .._esd import format_value_esd
from ._fit import ERROR_MODES

if TYPE_CHECKING:
    from ._result import FitResult


def summary(result: FitResult) -> str:
    model, data = result.model, result.data
    source = f" to {data.name}" if data.name else ""
    lines = [f"Fit of {type(model).__name__}{source}: {result.points} rows, "
             f"{len(result.names)} parameters varied",
             f"Errors in {_enumeration(ERROR_MODES[result.settings.errors])}; "
             f"loss {result.settings.loss}"
             + ("" if result.settings.loss == "linear" else
                f" (f_scale {result.settings.f_scale:g})")]
    lines += [f"  {_sigma_text(result, name, values)}"
              for name, values in result.settings.sigmas.items()]
    if result.converged:
        lines.append(f"Converged after {result.evaluations} evaluations: {result.message}")
    else:
        lines.append(f"NOT CONVERGED after {result.evaluations} evaluations: "
                     f"{result.message} The values below are not a minimum.")
    lines.append("")
    width = max(len("Parameter"), *map(len, result.names))
    lines.append(f"{'Parameter'.ljust(width)}  Value")
    lines += [f"{name.ljust(width)}  {result.format_parameter(name)}" for name in result.names]
    fixed = [f"{name} = {value:g}{_with_unit(result.unit(name))}"
             for name, value in result.fixed.items()]
    lines.append(f"Fixed: {', '.join(fixed) if fixed else 'none'}")
    if result.settings.scale_errors:
        lines.append(f"Standard errors scaled by sqrt(reduced chi-square) = "
                     f"{result.error_scale:.4g}")
    if len(result.names) > 1:
        lines += ["", "Correlations"]
        names = result.names
        cell = max(7, *map(len, names[:-1])) + 1
        lines.append(" " * width + "".join(name.rjust(cell) for name in names[:-1]))
        for i in range(1, len(names)):
            row = "".join(f"{result.correlation.values[i, j]:{cell}.3f}" for j in range(i))
            lines.append(names[i].ljust(width) + row)
    reduced = ("-" if result.reduced_chi_square is None
               else f"{result.reduced_chi_square:.4g}")
    lines += ["", f"chi-square {result.chi_square:.6g}, degrees of freedom "
                  f"{result.degrees_of_freedom}, reduced chi-square {reduced}",
              f"AIC {result.aic:.6g}, BIC {result.bic:.6g} ({result.residual_count} "
              f"residuals, {result.variable_count} fitted variables)"]
    return "\n".join(lines)


def _enumeration(words: tuple[str, ...]) -> str:
    """'a', 'a and b', 'a, b and c'."""
    return " and ".join(filter(None, (", ".join(words[:-1]), words[-1])))


def _with_unit(unit: str) -> str:
    return f" {unit}" if unit else ""


def _sigma_text(result: FitResult, name: str, values: np.ndarray[Any, Any]) -> str:
    unit = {"pressure_sigma": result.data.pressure_unit, "volume_sigma": result.data.volume_unit,
            "temperature_sigma": "K"}[name]
    origin = "given" if name in result.settings.given_sigmas else "from the dataset"
    low, high = float(values.min()), float(values.max())
    spread = f"{low:g}" if low == high else f"{low:g} to {high:g}"
    return f"{name} {spread}{_with_unit(unit)} ({origin})"


def _number(value: float | None) -> float | None:
    """JSON has no NaN or infinity: those become null."""
    return None if value is None or not math.isfinite(value) else float(value)


def as_dict(result: FitResult) -> dict[str, Any]:
    model = result.model
    return {
        "model": type(model).__name__,
        "model_repr": repr(model),
        "dataset": result.data.name,
        "points": result.points,
        "errors": result.settings.errors,
        "loss": result.settings.loss,
        "f_scale": result.settings.f_scale,
        "converged": result.converged,
        "message": result.message,
        "evaluations": result.evaluations,
        "parameters": {name: {"value": result.values[name],
                              "standard_error": _number(result.standard_errors[name]),
                              "formatted": format_value_esd(result.values[name],
                                                            result.standard_errors[name]),
                              "unit": result.unit(name)}
                       for name in result.names},
        "fixed": {name: value for name, value in result.fixed.items()},
        "standard_errors_scaled": result.settings.scale_errors,
        "error_scale": result.error_scale,
        "covariance": result.covariance.to_dict(),
        "correlation": result.correlation.to_dict(),
        "statistics": {"chi_square": result.chi_square,
                       "degrees_of_freedom": result.degrees_of_freedom,
                       "reduced_chi_square": _number(result.reduced_chi_square),
                       "aic": _number(result.aic), "bic": _number(result.bic),
                       "residual_count": result.residual_count,
                       "variable_count": result.variable_count},
        "predicted_pressure": result.predicted_pressure.tolist(),
        "residuals": result.residuals.tolist(),
    }
