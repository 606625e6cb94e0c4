"""A fit result as the text table papers print, and as an HTML table for notebooks."""

from __future__ import annotations

import html as _html
import math
from typing import TYPE_CHECKING, Any

import numpy as np

from ._fit import ERROR_MODES
from ._quality import stop_reason, undetermined_reason

if TYPE_CHECKING:
    from ._result import FitResult

NOT_DETERMINED = "not determined by the data"

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
    reason = stop_reason(result.message)
    if result.converged:
        lines.append(f"Converged after {result.evaluations} evaluations: {reason}")
    else:
        lines.append(f"NOT CONVERGED after {result.evaluations} evaluations: {reason}. "
                     "The values below are not a minimum.")
    # The convergence warning is the line above.
    lines += [f"WARNING: {warning}" for warning in result.warnings
              if not warning.endswith(f"did not converge: {reason}")]
    lines.append("")
    width = max(len("Parameter"), *map(len, result.names))
    lines.append(f"{'Parameter'.ljust(width)}  Value")
    lines += [f"{name.ljust(width)}  {_parameter_text(result, name)}" for name in result.names]
    if result.undetermined:
        lines.append(f"Not determined by the data, {undetermined_reason(result)}: "
                     f"{', '.join(result.undetermined)}")
    fixed = [f"{name} = {value:g}{_with_unit(result.unit(name))}"
             for name, value in result.fixed.items()]
    lines.append(f"Fixed: {', '.join(fixed) if fixed else 'none'}")
    if result.settings.scale_errors:
        lines.append(f"Standard errors scaled by sqrt(reduced chi-square) = "
                     f"{result.error_scale:.4g}")
    if len(result.names) > 1:
        lines += ["", "Correlations", *_correlation_lines(result, width)]
    reduced = ("-" if result.reduced_chi_square is None
               else f"{result.reduced_chi_square:.4g}")
    lines += ["", f"chi-square {result.chi_square:.6g}, degrees of freedom "
                  f"{result.degrees_of_freedom}, reduced chi-square {reduced}",
              f"AIC = 2n + m ln(chi-square/m) = {result.aic:.6g}, "
              f"BIC = n ln(m) + m ln(chi-square/m) = {result.bic:.6g}",
              f"  (m = {result.residual_count} residuals, n = {result.variable_count} "
              "fitted variables)"]
    return "\n".join(lines)


def _parameter_text(result: FitResult, name: str) -> str:
    if math.isnan(result.standard_errors[name]):
        unit = _with_unit(result.unit(name))
        return f"{result.values[name]!r}{unit}  ({NOT_DETERMINED})"
    return result.format_parameter(name)


def _correlation(value: float) -> str:
    """Three decimals, never -0.000; "n.d." where not determined."""
    if math.isnan(value):
        return "n.d."
    text = f"{value:.3f}"
    return "0.000" if text == "-0.000" else text


def _correlation_lines(result: FitResult, width: int) -> list[str]:
    names = result.names
    cell = max(7, *map(len, names[:-1])) + 1
    lines = [" " * width + "".join(name.rjust(cell) for name in names[:-1])]
    for i in range(1, len(names)):
        row = "".join(_correlation(result.correlation.values[i, j]).rjust(cell)
                      for j in range(i))
        lines.append(names[i].ljust(width) + row)
    return lines


def _enumeration(words: tuple[str, ...]) -> str:
    """'a', 'a and b', 'a, b and c'."""
    return " and ".join(filter(None, (", ".join(words[:-1]), words[-1])))


def _with_unit(unit: str) -> str:
    return f" {unit}" if unit else ""


def _sigma_text(result: FitResult, name: str, values: np.ndarray[Any, Any]) -> str:
    unit = {"pressure_sigma": result.pressure_unit, "volume_sigma": result.volume_unit,
            "temperature_sigma": "K"}[name]
    origin = "given" if name in result.settings.given_sigmas else "from the dataset"
    low, high = float(values.min()), float(values.max())
    spread = f"{low:g}" if low == high else f"{low:g} to {high:g}"
    return f"{name} {spread}{_with_unit(unit)} ({origin})"


def html(result: FitResult) -> str:
    """The parameter table (value(esd), unit) and the correlations as HTML."""
    escape = _html.escape
    rows = []
    for name in result.names:
        esd = result.standard_errors[name]
        value = (f"{result.values[name]!r} ({NOT_DETERMINED})" if math.isnan(esd)
                 else result.format_parameter(name).removesuffix(
                     _with_unit(result.unit(name))))
        rows.append(f"<tr><th>{escape(name)}</th><td>{escape(value)}</td>"
                    f"<td>{escape(result.unit(name))}</td></tr>")
    state = "converged" if result.converged else "NOT converged"
    reduced = result.reduced_chi_square
    parts = [f"<p><b>{escape(type(result.model).__name__)}</b> fitted to "
             f"{result.points} rows ({state}): chi-square {result.chi_square:.6g}, "
             f"reduced chi-square {'-' if reduced is None else f'{reduced:.4g}'}</p>",
             "<table><tr><th>Parameter</th><th>Value</th><th>Unit</th></tr>",
             *rows, "</table>"]
    if len(result.names) > 1:
        names = result.names
        parts.append("<table><tr><th>Correlations</th>"
                     + "".join(f"<th>{escape(n)}</th>" for n in names[:-1]) + "</tr>")
        for i in range(1, len(names)):
            cells = "".join(f"<td>{_correlation(result.correlation.values[i, j])}</td>"
                            for j in range(i))
            parts.append(f"<tr><th>{escape(names[i])}</th>{cells}</tr>")
        parts.append("</table>")
    parts += [f"<p>WARNING: {escape(warning)}</p>" for warning in result.warnings]
    return "\n".join(parts)
