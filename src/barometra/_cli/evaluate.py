"""``barometra eval``: a model's quantities at given volumes, pressures or particle velocities."""

from __future__ import annotations

import argparse
from typing import Any

import numpy as np

from .. import eos
from .._arrays import FloatArray
from ..eos._hugoniot import Hugoniot
from ..errors import BarometraError
from ..data._dataset import plural
from .common import (CommandError, find_model, model_classes, models_epilog, output_options,
                     parse_assignments, print_json, print_table)
from .progress import Progress

# The models --eos names: the engine's lower-case names, and also (in any
# case) the class names and the literature's short names.
ISOTHERMAL = model_classes(eos.IsothermalEos)
_HUGONIOTS = model_classes(Hugoniot)

# What each kind of model gives at a volume, in the order printed.
_ISOTHERMAL_QUANTITIES = ("pressure", "bulk_modulus")
_HUGONIOT_QUANTITIES = ("pressure", "density", "shock_velocity", "particle_velocity",
                        "tangent_modulus", "specific_internal_energy_change")

_DESCRIPTION = """\
Evaluate an equation of state or a shock Hugoniot. From volumes: pressure and
bulk modulus (or the Hugoniot's pressure, density, shock and particle
velocities, tangent modulus and internal-energy change); from pressures (or,
on a Hugoniot, particle velocities): the volume, then the same quantities.
No unit is converted: volumes share the unit of v0, pressures that of k0
(of rho0 c0^2 on a Hugoniot)."""

_EPILOG = """\
examples:
  barometra eval --eos bm3 --param v0=46.56 k0=296 k0_prime=4.2 --volume 40 42 44
  barometra eval --eos vinet --param v0=46.56 k0=296 k0_prime=4.2 --pressure 10 20 --json
  barometra eval --hugoniot linear-us-up --param v0=7.113 rho0=8.93 c0=3.94 s=1.49 \\
      --particle-velocity 0.5 1 2
""" + models_epilog("eos names", ISOTHERMAL) + "\n" + models_epilog("hugoniot names", _HUGONIOTS)


def add_parser(commands: Any) -> None:
    parser = commands.add_parser(
        "eval", parents=[output_options()], help="evaluate a model at given states",
        description=_DESCRIPTION, epilog=_EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    model = parser.add_mutually_exclusive_group(required=True)
    model.add_argument("--eos", metavar="NAME",
                       help="an isothermal EOS: bm3, vinet, ... (see below)")
    model.add_argument("--hugoniot", metavar="NAME", help="a shock Hugoniot (see below)")
    parser.add_argument("--param", metavar="NAME=VALUE", nargs="+", action="extend",
                        default=[], help="a model parameter, lower-case as in Python; repeatable")
    given = parser.add_mutually_exclusive_group(required=True)
    given.add_argument("--volume", metavar="V", type=float, nargs="+")
    given.add_argument("--pressure", metavar="P", type=float, nargs="+")
    given.add_argument("--particle-velocity", metavar="UP", type=float, nargs="+",
                       help="particle velocities (Hugoniot only)")
    parser.set_defaults(run=run, prog=parser.prog)


def run(arguments: argparse.Namespace) -> int:
    model = _model(arguments)
    given, values = next((name, np.array(getattr(arguments, name), dtype=np.float64))
                         for name in ("volume", "pressure", "particle_velocity")
                         if getattr(arguments, name) is not None)
    if given == "particle_velocity" and arguments.hugoniot is None:
        raise CommandError(f"{arguments.prog}: error: --particle-velocity needs --hugoniot",
                           status=2)
    with Progress(f"evaluating {type(model).__name__} at {plural(len(values), 'point')}",
                  enabled=arguments.progress):
        columns = _first_failure(model, given, values)
    if arguments.json:
        print_json({"model": type(model).__name__, "parameters": model.parameters,
                    "given": given, "columns": {name: column.tolist()
                                                for name, column in columns.items()}})
    else:
        print_table(repr(model), columns)
    return 0


def _model(arguments: argparse.Namespace) -> Any:
    cls = (isothermal_class(arguments.eos, arguments.prog) if arguments.eos is not None
           else find_model(arguments.hugoniot, _HUGONIOTS, "Hugoniot", arguments.prog))
    parameters = parse_assignments(arguments.param, "--param", arguments.prog)
    try:
        return cls(**parameters)
    except TypeError as error:  # a missing or unknown name: the command line's fault
        raise CommandError(f"{arguments.prog}: error: {error}", status=2) from None


def isothermal_class(name: str, prog: str) -> type[Any]:
    """The isothermal model class ``--eos NAME`` names; a usage error for an unknown name."""
    return find_model(name, ISOTHERMAL, "EOS", prog)


def _columns(model: Any, given: str, values: FloatArray) -> dict[str, FloatArray]:
    """The given values, the volumes, then what the model gives at those volumes."""
    columns = {given: values}
    if given == "pressure":
        columns["volume"] = model.volume(values)
    elif given == "particle_velocity":
        # The direct formulas, exact in up, rather than through the volume.
        columns["volume"] = model.volume_from_particle_velocity(values)
        columns["pressure"] = model.pressure_from_particle_velocity(values)
        columns["shock_velocity"] = model.shock_velocity_from_particle_velocity(values)
    quantities = (_HUGONIOT_QUANTITIES if isinstance(model, eos.LinearUsUpHugoniot)
                  else _ISOTHERMAL_QUANTITIES)
    for quantity in quantities:
        if quantity not in columns:
            columns[quantity] = getattr(model, quantity)(columns["volume"])
    return columns


def _first_failure(model: Any, given: str, values: FloatArray) -> dict[str, FloatArray]:
    """The columns, or the error of the first value that fails, naming that value."""
    try:
        return _columns(model, given, values)
    except BarometraError:
        for value in values:
            try:
                _columns(model, given, np.array([value]))
            except BarometraError as error:
                where = f"at {given.replace('_', ' ')} {float(value)!r}"
                raise type(error)(f"{where}: {error}", code=error.code,
                                  operation=error.operation, field=error.field) from None
        raise
