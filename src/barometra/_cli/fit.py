"""``barometra fit``: a model fitted to a data file (or a bundled dataset), with its summary."""

from __future__ import annotations

import argparse
import math
import pathlib
import sys
import warnings
from typing import Any

import numpy as np

from .. import eos, units
from ..data import EXAMPLES, Dataset, load_example, read, read_csv
from ..data._dataset import plural
from ..errors import FitConvergenceWarning
from ..fit import FitResult, fit
from ..fit._fit import ERROR_MODES, LOSSES
from .common import (CommandError, find_model, model_classes, models_epilog, output_options,
                     parse_assignments, print_json)
from .evaluate import ISOTHERMAL, isothermal_class
from .hints import as_flags
from .progress import Progress
from .table import FORMATS, parameter_table

_THERMAL = model_classes(eos.ThermalEos)

# Starting values of thermal parameters where a usual one exists (the rest
# come from --param).
_THERMAL_STARTS = {"tr": 300.0, "theta0": 1000.0, "gamma0": 1.5, "q": 1.0, "q0": 1.0,
                   "q1": 1.0, "a": 0.5, "b": 1.0}
# The exit status of a fit that did not converge or warned.
WARNED = 3

_DESCRIPTION = """\
Fit an equation of state to the pressures, volumes (and temperatures) of a
data file (.csv, or the field's keyword .dat), or of a bundled dataset named
instead of a file, and print the parameters with their standard errors, the
fixed parameters, the correlations and the fit statistics.

Starting values: --param NAME=VALUE; v0, k0, k0_prime (and k0_double_prime,
p0) otherwise start from the data, and a thermal model's tr at 300 K, n at
the dataset's atoms per formula unit, theta0, gamma0 and q at 1000 K, 1.5
and 1. Values, bounds and sigmas are in the data's units (--pressure-unit,
--volume-unit, else the file's). A thermal model computes in GPa and J/bar
per formula unit: the fit converts to them and back, so a thermal fit's v0
is in the data's volume unit too (volumes per cell need Z: --formula-units
where the file does not say). Pressures need sigmas: the file's, or
--pressure-sigma."""

_EPILOG = """\
examples:
  barometra fit stishovite_300K_nishihara2005 --eos bm3 --pressure-sigma 1 --scale-errors
  barometra fit data.csv --eos vinet --fix v0=46.56 --errors pressure+volume --json
  barometra fit quartz.dat --eos bm3 --bounds k0=10:100 k0_prime=2:8 --table latex
  barometra fit stishovite_pvt_nishihara2005 --eos bm3 --thermal mie-gruneisen-debye \\
      --pressure-sigma 1 --scale-errors --plot fit.png

exit status:
  0  the fit converged without a warning (or --allow-warnings was given)
  1  an error: nothing was fitted
  2  a command line that cannot be used
  3  the fit did not converge, or warned (an implausible fit, a parameter the
     data do not determine): its results are printed all the same, and the
     warnings on stderr

""" + models_epilog("eos names", ISOTHERMAL) + "\n" + models_epilog("thermal models", _THERMAL)


def add_parser(commands: Any) -> None:
    parser = commands.add_parser(
        "fit", parents=[output_options()], help="fit a model to measured data",
        description=_DESCRIPTION, epilog=_EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("file", metavar="FILE",
                        help="a .csv or .dat file, or the name of a bundled dataset: "
                             + ", ".join(EXAMPLES))
    parser.add_argument("--eos", metavar="NAME", required=True,
                        help="the isothermal EOS (the reference isotherm of a thermal "
                             "fit): bm3, vinet, ... (see below)")
    parser.add_argument("--thermal", metavar="NAME",
                        help="a thermal model over the EOS: mie-gruneisen-debye, ... "
                             "(see below)")
    parser.add_argument("--param", metavar="NAME=VALUE", nargs="+", action="extend",
                        default=[], help="a starting value; repeatable")
    parser.add_argument("--vary", metavar="NAME", nargs="+", action="extend",
                        help="the parameters to fit (default: all but the constants)")
    parser.add_argument("--fix", metavar="NAME[=VALUE]", nargs="+", action="extend",
                        default=[], help="a parameter held fixed, at VALUE when given")
    parser.add_argument("--bounds", metavar="NAME=LOWER:UPPER", nargs="+", action="extend",
                        default=[], help="bounds of a varied parameter (either side may be "
                                         "left empty: k0=0:); repeatable")
    parser.add_argument("--errors", choices=tuple(ERROR_MODES),
                        default="pressure", help="the uncertain variables (default pressure)")
    for variable in ("pressure", "volume", "temperature"):
        parser.add_argument(f"--{variable}-sigma", metavar="SIGMA", type=float,
                            help=f"one {variable} sigma for every row, instead of the file's")
    parser.add_argument("--loss", default="linear", choices=LOSSES)
    parser.add_argument("--f-scale", type=float, default=1.0, help="scale of a robust loss")
    parser.add_argument("--max-evaluations", type=int, metavar="N")
    parser.add_argument("--scale-errors", action="store_true",
                        help="scale the standard errors by sqrt(reduced chi-square)")
    parser.add_argument("--pressure-unit", metavar="UNIT", type=_unit(units.pressure_unit),
                        help="the pressure unit to read the data into: GPa, MPa, kbar, bar")
    parser.add_argument("--volume-unit", metavar="UNIT", type=_unit(units.volume_unit),
                        help="the volume unit to read the data into: A^3/cell, A^3/f.u., "
                             "cm^3/mol, J/bar, m^3/mol")
    parser.add_argument("--formula-units", type=int, metavar="Z",
                        help="formula units per cell, to convert volumes per cell")
    parser.add_argument("--skip-incomplete", action="store_true",
                        help="skip the file's rows without a pressure, volume or "
                             "temperature (they are counted), instead of refusing the file")
    parser.add_argument("--table", choices=FORMATS,
                        help="print only the parameter table (values, esds, units) in "
                             "this form")
    parser.add_argument("--allow-warnings", action="store_true",
                        help="exit with status 0 even when the fit did not converge or "
                             "warned")
    parser.add_argument("--plot", metavar="PNG", type=pathlib.Path,
                        help="also draw the data, the fit and its residuals to this file")
    parser.set_defaults(run=run, prog=parser.prog)


def _unit(canonical: Any) -> Any:
    """An argparse type: the unit's canonical label, or the list of known ones."""
    def parse(text: str) -> str:
        try:
            return str(canonical(text))
        except ValueError as error:
            raise argparse.ArgumentTypeError(str(error)) from None
    return parse


def run(arguments: argparse.Namespace) -> int:
    prog = arguments.prog
    if arguments.json and arguments.table:
        raise CommandError(f"{prog}: error: --json and --table are two forms of the output: "
                           "give one", status=2)
    data = _dataset(arguments)
    thermal = None
    if arguments.thermal is not None:
        thermal = find_model(arguments.thermal, _THERMAL, "thermal model", prog)
        data = _thermal_units(data, arguments)
    bounds = _bounds(arguments.bounds, prog)
    model = _model(arguments, data, thermal, bounds)
    result, concerns = _fitted(model, data, bounds, arguments)
    if arguments.json:
        print_json({"file": arguments.file, **result.to_dict(), "warnings": concerns})
    elif arguments.table is not None:
        sys.stdout.write(parameter_table(result, arguments.table))
    else:
        print(result.summary())
    if arguments.plot is not None:
        _plot(result, arguments.plot)
    sys.stdout.flush()
    for concern in concerns:
        print(f"{prog}: warning: {concern}", file=sys.stderr)
    if concerns and not arguments.allow_warnings:
        raise CommandError(f"{prog}: error: the fit gave {plural(len(concerns), 'warning')}; "
                           "--allow-warnings accepts it", status=WARNED)
    return 0


def _fitted(model: Any, data: Dataset, bounds: dict[str, tuple[float, float]],
            arguments: argparse.Namespace) -> tuple[FitResult, list[str]]:
    """The fit the command line asks for, and what it warned of."""
    fix = [name for name in (text.partition("=")[0].strip() for text in arguments.fix)]
    with Progress(f"fitting {type(model).__name__} to {plural(len(data), 'row')}",
                  enabled=arguments.progress), warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        result = fit(model, data, vary=arguments.vary, fix=fix or None,
                     errors=arguments.errors, pressure_sigma=arguments.pressure_sigma,
                     volume_sigma=arguments.volume_sigma,
                     temperature_sigma=arguments.temperature_sigma, loss=arguments.loss,
                     f_scale=arguments.f_scale, max_evaluations=arguments.max_evaluations,
                     bounds=bounds or None, scale_errors=arguments.scale_errors)
    return result, _concerns(caught, result)


def _concerns(caught: list[warnings.WarningMessage], result: FitResult) -> list[str]:
    """What the fit warned of (every UserWarning: the fit's own classes derive from it),
    in the command line's words; a fit that did not converge is one even unwarned.
    Other warnings go on as Python would have shown them."""
    concerns = []
    for warning in caught:
        if issubclass(warning.category, UserWarning):
            concerns.append(as_flags(" ".join(str(warning.message).split())))
        else:
            warnings.warn_explicit(warning.message, warning.category, warning.filename,
                                   warning.lineno)
    if not result.converged and not any(issubclass(warning.category, FitConvergenceWarning)
                                        for warning in caught):
        concerns.append(f"the fit did not converge: {result.message}")
    return concerns


def _dataset(arguments: argparse.Namespace) -> Dataset:
    path = pathlib.Path(arguments.file)
    if not path.exists() and arguments.file in EXAMPLES:
        data = load_example(arguments.file)
        if arguments.formula_units is not None:
            data = data.replace(formula_units_per_cell=arguments.formula_units)
        return data.to_units(pressure=arguments.pressure_unit, volume=arguments.volume_unit)
    # Other extensions are read as CSV, as they always were.
    reader = read if path.suffix.lower() in (".csv", ".dat") else read_csv
    return reader(path, skip_incomplete=arguments.skip_incomplete,
                  pressure_unit=arguments.pressure_unit, volume_unit=arguments.volume_unit,
                  formula_units_per_cell=arguments.formula_units)


def _bounds(texts: list[str], prog: str) -> dict[str, tuple[float, float]]:
    """``NAME=LOWER:UPPER`` words as fit's bounds; an empty side is unbounded."""
    bounds: dict[str, tuple[float, float]] = {}
    for text in texts:
        name, equals, span = text.partition("=")
        low, colon, high = span.partition(":")
        name = name.strip()
        if not (equals and colon and name) or not (low.strip() or high.strip()):
            raise CommandError(f"{prog}: error: --bounds {text!r} is not NAME=LOWER:UPPER",
                               status=2)
        if name in bounds:
            raise CommandError(f"{prog}: error: --bounds {name} is given twice", status=2)
        try:
            bounds[name] = (float(low) if low.strip() else -math.inf,
                            float(high) if high.strip() else math.inf)
        except ValueError:
            raise CommandError(f"{prog}: error: --bounds {text}: LOWER and UPPER must be "
                               "numbers", status=2) from None
    return bounds


def _thermal_units(data: Dataset, arguments: argparse.Namespace) -> Dataset:
    """The data with the pressures a thermal model computes in (GPa); its volumes stay in
    their unit, which the model takes over, but a volume per cell needs Z."""
    if units.is_per_cell(data.volume_unit) and data.formula_units_per_cell is None:
        raise CommandError(f"{arguments.prog}: error: a thermal fit needs the formula units "
                           "per cell of volumes in "
                           f"{data.volume_unit}: give --formula-units Z", status=2)
    return data.to_units(pressure="GPa")


def _model(arguments: argparse.Namespace, data: Dataset, thermal: type[Any] | None,
           bounds: dict[str, tuple[float, float]]) -> Any:
    prog = arguments.prog
    isothermal = isothermal_class(arguments.eos, prog)
    given = parse_assignments(arguments.param, "--param", prog)
    for name, value in parse_assignments([text for text in arguments.fix if "=" in text],
                                         "--fix", prog).items():
        if name in given:
            raise CommandError(f"{prog}: error: {name} is given by both --param and --fix",
                               status=2)
        given[name] = value
    own: dict[str, Any] = {}
    own_bounds: dict[str, tuple[float, float]] = {}
    if thermal is not None:
        own = {name: given.pop(name) for name in list(given) if name in thermal._parameter_names}
        given = {name.removeprefix("reference."): value for name, value in given.items()}
        own_bounds = {name: bounds[name] for name in bounds if name in thermal._parameter_names}
    reference_bounds = {name.removeprefix("reference."): pair for name, pair in bounds.items()
                        if name not in own_bounds}
    reference = _build(isothermal, _isothermal_starts(data), given, reference_bounds, prog)
    if thermal is None:
        return reference
    starts = {**_THERMAL_STARTS, "n": data.atoms_per_formula_unit}
    # The model speaks the data's volume unit, so --param v0 is read in it.
    in_units = {"volume_unit": data.volume_unit, "formula_units": data.formula_units_per_cell
                if units.is_per_cell(data.volume_unit) else None}
    return _build(thermal, starts, {**own, "reference": reference}, own_bounds, prog,
                  **in_units)


def _build(cls: type[Any], starts: dict[str, Any], given: dict[str, Any],
           bounds: dict[str, tuple[float, float]], prog: str, **options: Any) -> Any:
    """The model from the given values, else the starts where the class takes them, moved
    inside their bounds (a start guessed from the data may lie outside)."""
    names = cls._parameter_names
    unknown = sorted(set(given) - set(names))
    if unknown:
        raise CommandError(f"{prog}: error: {cls.__name__} has no parameter "
                           f"{', '.join(unknown)}; its parameters: {', '.join(names)}", status=2)
    for name in sorted(given.keys() & bounds.keys()):
        low, high = bounds[name]
        if not low <= given[name] <= high:
            raise CommandError(f"{prog}: error: the starting value {name}={given[name]:g} lies "
                               f"outside --bounds {name}={low:g}:{high:g}", status=2)
    values = {name: float(np.clip(starts[name], *bounds.get(name, (-math.inf, math.inf))))
              for name in names if starts.get(name) is not None}
    values |= given
    missing = [name for name in names if name not in values
               and name not in cls._parameter_defaults]
    if missing:
        raise CommandError(f"{prog}: error: {cls.__name__} needs a starting value of "
                           f"{', '.join(missing)}: give --param NAME=VALUE", status=2)
    return cls(**values, **options)


def _isothermal_starts(data: Dataset) -> dict[str, float]:
    """Rough starting values from the data: V0 at the lowest pressure of the lowest
    temperature, K0 from the volume change over the pressure range, K0' = 4."""
    rows = np.arange(len(data)) if data.temperature is None else \
        np.flatnonzero(data.temperature == data.temperature.min())
    low, high = rows[np.argmin(data.pressure[rows])], rows[np.argmax(data.pressure[rows])]
    v0 = float(data.volume[low])
    strain = math.log(data.volume[low] / data.volume[high])
    k0 = float(data.pressure[high] - data.pressure[low]) / strain if strain > 0 else 100.0
    k0 = k0 if math.isfinite(k0) and k0 > 0 else 100.0
    return {"v0": v0, "k0": k0, "k0_prime": 4.0, "k0_double_prime": -4.0 / k0, "p0": 0.0}


def _plot(result: FitResult, path: pathlib.Path) -> None:
    try:
        from ..plot import pv

        figure = pv(result)
    except ImportError as error:
        raise CommandError(f"barometra fit: error: --plot {error}") from None
    figure.savefig(path)
    import matplotlib.pyplot as plt

    plt.close(figure)
