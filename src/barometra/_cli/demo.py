"""``barometra demo`` (and ``barometra`` alone): the published fits of the bundled data, redone."""

from __future__ import annotations

import argparse
import importlib
from typing import Any

from .common import CommandError


def add_parser(commands: Any) -> None:
    parser = commands.add_parser(
        "demo", help="refit the bundled published datasets (the default command)",
        description="Refit the three bundled published datasets, as published and with "
                    "latent volumes, print each fit beside the published values, then use "
                    "the fitted bridgmanite model. Further options go to the "
                    "demonstration itself (python -m barometra._demo --help).",
        add_help=False)
    parser.set_defaults(run=run, prog=parser.prog)


def run(arguments: argparse.Namespace) -> int:
    try:
        demo = importlib.import_module("barometra._demo")
    except ModuleNotFoundError as error:
        if error.name != "barometra._demo":
            raise
        raise CommandError(f"{arguments.prog}: error: this build has no demonstration") from None
    status: int = demo.main(arguments.rest)
    return status
