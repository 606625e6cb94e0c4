"""``barometra fit``: a model fitted to a CSV file (or a bundled dataset), with its summary."""

from __future__ import annotations

import argparse
import math
import pathlib
import warnings
from typing import Any

import numpy as np

from .. import eos
from ..data import EXAMPLES, Dataset, load_example, read_csv
from ..data._dataset import CELL_VOLUME_UNIT
from ..errors import FitConvergenceWarning
from ..fit import FitResult, fit
from ..fit._fit import ERROR_MODES, LOSSES
from .common import (CommandError, model_classes, model_names, output_options,
                     parse_assignments, print_json)
from .evaluate import isothermal_class
from .progress import Progress

_THERMAL = model_classes(eos.ThermalEos)
_THERMAL_NAMES = model_names(_THERMAL, hyphens=True)

# Starting values of thermal parameters where a usual one exists (the rest
# come from --param).
_THERMAL_STARTS = {"tr": 300.0, "theta0": 1000.0, "gamma0": 1.5, "q": 1.0, "q0": 1.0,
                   "q1": 1.0, "a": 0.5, "b": 1.0}

_DESCRIPTION = """\
Fit an equation of state to the pressures, volumes (and temperatures) of a
CSV file, or of a bundled dataset named instead of a file, and print the
parameters with their standard errors, the fixed parameters, the
correlations and the fit statistics.

Starting values: --param NAME=VALUE; v0, k0, k0_prime (and k0_double_prime,
p0) otherwise start from the data, and a thermal model's tr at 300 K, n at
the dataset's atoms per formula unit, theta0, gamma0 and q at 1000 K, 1.5
and 1. A thermal fit converts unit-cell volumes (Å³) to J/bar per formula
unit first (--formula-units Z where the file does not say), so its v0 is in
J/bar. Pressures need sigmas: the file's, or --pressure-sigma."""

_EPILOG = """\
examples:
  barometra fit stishovite_300K_nishihara2005 --eos bm3 --pressure-sigma 1 --scale-errors
  barometra fit data.csv --eos vinet --fix v0=46.56 --errors pressure+volume --json
  barometra fit stishovite_pvt_nishihara2005 --eos bm3 --thermal mie-gruneisen-debye \\
      --pressure-sigma 1 --scale-errors --plot fit.png
thermal models: """ + ", ".join(sorted(name.replace("_", "-") for name in _THERMAL))


def add_parser(commands: Any) -> None:
    parser = commands.add_parser(
        "fit", parents=[output_options()], help="fit a model to measured data",
        description=_DESCRIPTION, epilog=_EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("file", metavar="FILE",
                        help="a CSV file, or the name of a bundled dataset: "
                             + ", ".join(EXAMPLES))
    parser.add_argument("--eos", metavar="NAME", required=True,
                        help="the isothermal EOS (the reference isotherm of a thermal fit)")
    parser.add_argument("--thermal", metavar="NAME",
                        help="a thermal model over the EOS: mie-gruneisen-debye, ...")
    parser.add_argument("--param", metavar="NAME=VALUE", nargs="+", action="extend",
                        default=[], help="a starting value; repeatable")
    parser.add_argument("--vary", metavar="NAME", nargs="+", action="extend",
                        help="the parameters to fit (default: all but the constants)")
    parser.add_argument("--fix", metavar="NAME[=VALUE]", nargs="+", action="extend",
                        default=[], help="a parameter held fixed, at VALUE when given")
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
    parser.add_argument("--formula-units", type=int, metavar="Z",
                        help="formula units per cell, to convert Å³ per cell to J/bar")
    parser.add_argument("--plot", metavar="PNG", type=pathlib.Path,
                        help="also draw the data, the fit and its residuals to this file")
    parser.set_defaults(run=run, prog=parser.prog)


def run(arguments: argparse.Namespace) -> int:
    prog = arguments.prog
    data = _dataset(arguments)
    thermal = None
    if arguments.thermal is not None:
        thermal = _THERMAL_NAMES.get(arguments.thermal.lower().replace("_", "-"))
        if thermal is None:
            raise CommandError(f"{prog}: error: unknown thermal model {arguments.thermal!r}; "
                               f"known: {', '.join(sorted(_THERMAL))}", status=2)
        data = _molar(data, arguments)
    model = _model(arguments, data, thermal)
    fix = [name for name in (text.partition("=")[0].strip() for text in arguments.fix)]
    with Progress(f"fitting {type(model).__name__} to {len(data)} rows",
                  enabled=arguments.progress), warnings.catch_warnings():
        warnings.simplefilter("ignore", FitConvergenceWarning)  # reported below instead
        result = fit(model, data, vary=arguments.vary, fix=fix or None,
                     errors=arguments.errors, pressure_sigma=arguments.pressure_sigma,
                     volume_sigma=arguments.volume_sigma,
                     temperature_sigma=arguments.temperature_sigma, loss=arguments.loss,
                     f_scale=arguments.f_scale, max_evaluations=arguments.max_evaluations,
                     scale_errors=arguments.scale_errors)
    if arguments.json:
        print_json({"file": arguments.file, **result.to_dict()})
    else:
        print(result.summary())
    if arguments.plot is not None:
        _plot(result, arguments.plot)
    if not result.converged:
        raise CommandError(f"{prog}: error: the fit did not converge: {result.message}")
    return 0


def _dataset(arguments: argparse.Namespace) -> Dataset:
    path = pathlib.Path(arguments.file)
    if not path.exists() and arguments.file in EXAMPLES:
        data = load_example(arguments.file)
        if arguments.formula_units is not None:
            data = data.replace(formula_units_per_cell=arguments.formula_units)
        return data
    return read_csv(path, formula_units_per_cell=arguments.formula_units)


def _molar(data: Dataset, arguments: argparse.Namespace) -> Dataset:
    if data.volume_unit != CELL_VOLUME_UNIT:
        return data
    if data.formula_units_per_cell is None:
        raise CommandError(f"{arguments.prog}: error: a thermal fit needs volumes in J/bar per "
                           "formula unit: give --formula-units Z to convert the file's Å³ "
                           "per cell", status=2)
    return data.to_molar_volume()


def _model(arguments: argparse.Namespace, data: Dataset, thermal: type[Any] | None) -> Any:
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
    if thermal is not None:
        own = {name: given.pop(name) for name in list(given) if name in thermal._parameter_names}
        given = {name.removeprefix("reference."): value for name, value in given.items()}
    reference = _build(isothermal, _isothermal_starts(data), given, prog)
    if thermal is None:
        return reference
    starts = {**_THERMAL_STARTS, "n": data.atoms_per_formula_unit}
    return _build(thermal, starts, {**own, "reference": reference}, prog)


def _build(cls: type[Any], starts: dict[str, Any], given: dict[str, Any], prog: str) -> Any:
    """The model from the given values, else the starts where the class takes them."""
    names = cls._parameter_names
    unknown = sorted(set(given) - set(names))
    if unknown:
        raise CommandError(f"{prog}: error: {cls.__name__} has no parameter "
                           f"{', '.join(unknown)}; its parameters: {', '.join(names)}", status=2)
    values = {name: starts[name] for name in names if starts.get(name) is not None}
    values |= given
    missing = [name for name in names if name not in values
               and name not in cls._parameter_defaults]
    if missing:
        raise CommandError(f"{prog}: error: {cls.__name__} needs a starting value of "
                           f"{', '.join(missing)}: give --param NAME=VALUE", status=2)
    return cls(**values)


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
        figure = result.plot()
    except ImportError as error:
        raise CommandError(f"barometra fit: error: --plot {error}") from None
    figure.savefig(path)
