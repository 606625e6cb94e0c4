"""``barometra demo`` (and ``barometra`` alone): the published fits of the bundled data, redone."""

from __future__ import annotations

import argparse
from typing import Any

from . import demonstration


def add_parser(commands: Any) -> None:
    parser = commands.add_parser(
        "demo", help="refit the bundled published datasets (the default command)",
        description="Refit the three bundled published datasets, as published and with "
                    "latent volumes, print each fit beside the published values, then use "
                    "the fitted bridgmanite model. Further options go to the "
                    "demonstration itself (barometra demo --help).",
        add_help=False)
    parser.set_defaults(run=run, prog=parser.prog)


def run(arguments: argparse.Namespace) -> int:
    return demonstration.main(arguments.rest)
