"""``barometra pressure``: the pressure a calibrant's volume or a gauge's line
position gives on a published scale, with its standard error in two parts."""

from __future__ import annotations

import argparse
from collections.abc import Callable
from typing import Any

import numpy as np

from .. import scales
from ..errors import BarometraError, ValidationError
from .common import CommandError, output_options, print_json, print_table

_DESCRIPTION = """\
The pressure (GPa) that a pressure scale gives to what was measured: the
volume (or, for a cubic calibrant, the lattice parameter) of a calibrant at a
temperature, or the position of an optical gauge's line. Each pressure comes
with its standard error and the two parts of it: from the measurement's
sigmas and from the scale's published parameter uncertainties.
`barometra scales` lists the scales."""

_EPILOG = """\
examples:
  barometra pressure --scale Au-Fei2007 --volume 60.1 --temperature 1500 --volume-sigma 0.02
  barometra pressure --scale MgO-Tange2009 --lattice-parameter 4.1 4.0 --temperature 2000
  barometra pressure --scale ruby-Shen2020 --wavelength 700 710 --wavelength-sigma 0.03
  barometra pressure --scale diamond-Akahama2006 --wavenumber 1500 --json"""

# What each measurement is called on the command line, and the scale kind
# that reads it.
_MEASUREMENTS: dict[str, type[scales.PressureScale]] = {
    "volume": scales.VolumeScale, "lattice_parameter": scales.VolumeScale,
    "wavelength": scales.WavelengthGauge, "wavenumber": scales.WavenumberGauge}
_UNITS = {"lattice_parameter": "Å", "wavelength": "nm", "wavenumber": "cm⁻¹"}


def add_parser(commands: Any) -> None:
    parser = commands.add_parser(
        "pressure", parents=[output_options()], help="a pressure from a calibrant or a gauge",
        description=_DESCRIPTION, epilog=_EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--scale", metavar="KEY", required=True,
                        help="a pressure scale (see barometra scales), in any letter case")
    measured = parser.add_mutually_exclusive_group(required=True)
    measured.add_argument("--volume", metavar="V", type=float, nargs="+",
                          help="calibrant volumes, Å³ per cell unless --volume-unit says")
    measured.add_argument("--lattice-parameter", metavar="A", type=float, nargs="+",
                          help="lattice parameters of a cubic calibrant (Å)")
    measured.add_argument("--wavelength", metavar="NM", type=float, nargs="+",
                          help="line wavelengths of a luminescence gauge (nm)")
    measured.add_argument("--wavenumber", metavar="CM-1", type=float, nargs="+",
                          help="line wavenumbers of a Raman gauge (cm⁻¹)")
    for name in _MEASUREMENTS:
        unit = "the unit of --volume" if name == "volume" else _UNITS[name]
        parser.add_argument(f"--{name.replace('_', '-')}-sigma", metavar="S", type=float,
                            help=f"standard uncertainty of each {name.replace('_', ' ')} "
                                 f"({unit})")
    parser.add_argument("--temperature", metavar="T", type=float, nargs="+",
                        help="temperatures (K) of a calibrant: one, or one per value "
                             "(300 by default)")
    parser.add_argument("--temperature-sigma", metavar="S", type=float, default=0.0,
                        help="standard uncertainty of the temperature (K)")
    parser.add_argument("--volume-unit", metavar="UNIT",
                        help="the unit of --volume (A^3/cell, cm3/mol, J/bar, ...)")
    parser.add_argument("--reference", metavar="Y0", type=float,
                        help="a gauge's ambient line position, measured (the scale's by default)")
    parser.add_argument("--reference-sigma", metavar="S", type=float, default=0.0,
                        help="standard uncertainty of --reference")
    parser.set_defaults(run=run, prog=parser.prog)


def run(arguments: argparse.Namespace) -> int:
    prog = arguments.prog
    given = next(name for name in _MEASUREMENTS if getattr(arguments, name) is not None)
    if arguments.volume_unit is not None and given != "volume":
        raise CommandError(f"{prog}: error: --volume-unit goes with --volume", status=2)
    try:
        scale = scales.get(arguments.scale, volume_unit=arguments.volume_unit)
    except ValidationError as error:
        raise CommandError(f"{prog}: error: {error}", status=2) from None
    if not isinstance(scale, _MEASUREMENTS[given]):
        raise CommandError(f"{prog}: error: {scale.key} reads {_reads(scale)}, not a "
                           f"{given.replace('_', ' ')}", status=2)
    for name in _MEASUREMENTS:
        if name != given and getattr(arguments, f"{name}_sigma") is not None:
            option = name.replace("_", "-")
            raise CommandError(f"{prog}: error: --{option}-sigma goes with --{option}",
                               status=2)
    values = np.array(getattr(arguments, given), dtype=np.float64)
    sigma = getattr(arguments, f"{given}_sigma") or 0.0
    if isinstance(scale, scales.VolumeScale):
        _refuse(arguments, prog, "--reference", "--reference-sigma")
        columns = _calibrant(scale, given, values, sigma, arguments)
    else:
        _refuse(arguments, prog, "--temperature", "--temperature-sigma")
        columns = _gauge(scale, given, values, sigma, arguments)
    if arguments.json:
        print_json({"scale": scale.key, "citation": scale.citation, "doi": scale.doi,
                    "checked": scale.checked, "given": given,
                    "columns": {name: column.tolist() for name, column in columns.items()}})
    else:
        print_table(scale.describe(), columns)
    return 0


def _reads(scale: Any) -> str:
    if isinstance(scale, scales.VolumeScale):
        return "a calibrant's volume or lattice parameter"
    return f"a line's {scale.position_name}"


def _refuse(arguments: argparse.Namespace, prog: str, *options: str) -> None:
    """A usage error for options that the scale's kind does not take."""
    defaults = {"--reference": None, "--reference-sigma": 0.0, "--temperature": None,
                "--temperature-sigma": 0.0}
    for option in options:
        if getattr(arguments, option[2:].replace("-", "_")) != defaults[option]:
            kind = "a calibrant" if option.startswith("--reference") else "an optical gauge"
            raise CommandError(f"{prog}: error: {option} does not apply to {kind}", status=2)


def _calibrant(scale: scales.VolumeScale, given: str, values: Any, sigma: float,
               arguments: argparse.Namespace) -> dict[str, Any]:
    temperatures = np.array(arguments.temperature or [300.0], dtype=np.float64)
    if temperatures.size not in (1, values.size):
        raise CommandError(f"{arguments.prog}: error: give one temperature or one per value "
                           f"({values.size})", status=2)
    values, temperatures = np.broadcast_arrays(values, temperatures)
    columns = {given: values}
    volumes, sigmas = values, np.full(values.shape, sigma)
    if given == "lattice_parameter":
        volumes = columns["volume"] = scale.cell_volume(values)
        sigmas = 3.0 * volumes / values * sigma  # d(a³) = 3 a² da
    columns["temperature"] = temperatures

    def evaluate(i: int) -> tuple[float, scales.PressureUncertainty]:
        return (scale.pressure(volumes[i], temperatures[i]),
                scale.pressure_uncertainty(volumes[i], temperatures[i], sigmas[i],
                                           arguments.temperature_sigma))

    return columns | _rows(given, values, evaluate)


def _gauge(scale: Any, given: str, values: Any, sigma: float,
           arguments: argparse.Namespace) -> dict[str, Any]:
    reference = scale.reference if arguments.reference is None else arguments.reference

    def evaluate(i: int) -> tuple[float, scales.PressureUncertainty]:
        return (scale.pressure(values[i], reference),
                scale.pressure_uncertainty(values[i], reference, sigma,
                                           arguments.reference_sigma))

    return {given: values, f"reference_{given}": np.full(values.shape, reference)} | \
        _rows(given, values, evaluate)


def _rows(given: str, values: Any,
          evaluate: Callable[[int], tuple[float, scales.PressureUncertainty]]
          ) -> dict[str, Any]:
    """The pressures and their uncertainties, value by value, so that a failure
    names the value."""
    rows = []
    for i, value in enumerate(values):
        try:
            rows.append(evaluate(i))
        except BarometraError as error:
            where = f"at {given.replace('_', ' ')} {float(value)!r}"
            raise type(error)(f"{where}: {error}", code=error.code, operation=error.operation,
                              field=error.field) from None
    return {"pressure": np.array([pressure for pressure, _ in rows]),
            "sigma": np.array([u.total for _, u in rows]),
            "sigma_measurement": np.array([u.measurement for _, u in rows]),
            "sigma_parameters": np.array([u.parameters for _, u in rows])}
