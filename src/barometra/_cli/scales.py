"""``barometra scales``: the pressure scales, with their sources."""

from __future__ import annotations

import argparse
import sys
from typing import Any

from .. import scales as pressure_scales
from .common import output_options, print_json


def add_parser(commands: Any) -> None:
    parser = commands.add_parser(
        "scales", parents=[output_options()], help="list the pressure scales",
        description="The pressure scales `barometra pressure --scale KEY` reads: volume "
                    "calibrants and optical gauges, each with its source and whether its "
                    "parameters were checked against the source's own table.")
    parser.set_defaults(run=run, prog=parser.prog)


def run(arguments: argparse.Namespace) -> int:
    found = [pressure_scales.get(key) for key in pressure_scales.available()]
    if arguments.json:
        print_json({"scales": [{"key": scale.key, "kind": scale.kind,
                                "reads": scale._subject(), "citation": scale.citation,
                                "doi": scale.doi, "checked": scale.checked,
                                "notes": scale.notes} for scale in found]})
        return 0
    for kind in (pressure_scales.VolumeScale.kind, pressure_scales.OpticalGauge.kind):
        sys.stdout.write(f"# {kind}s\n")
        sys.stdout.write("".join(f"{scale.describe()}\n" for scale in found
                                 if scale.kind == kind))
    return 0
