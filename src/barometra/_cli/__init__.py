"""The ``barometra`` command line (also ``python -m barometra``).

One subcommand per module of this package, each with an ``add_parser``
that registers it; without one, ``barometra`` runs the demonstration.
Failures are one line on stderr and a non-zero exit status: 2 for a command
line that cannot be used, 1 for a computation that failed (3 for a fit that
did not converge or warned); never a traceback. Hints of the library that
name a Python keyword name the command line's flag instead.
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Sequence

from ..errors import BarometraError
from . import demo, evaluate, fit, pressure, scales
from .common import CommandError, OneLineParser
from .hints import as_flags

COMMANDS = (evaluate, fit, pressure, scales, demo)


def build_parser() -> argparse.ArgumentParser:
    parser = OneLineParser(prog="barometra",
                           description="Equations of state of solids at high pressure and "
                                       "temperature.")
    commands = parser.add_subparsers(title="commands", dest="command", metavar="COMMAND")
    for command in COMMANDS:
        command.add_parser(commands)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Run the command line on ``argv`` (``sys.argv[1:]`` by default); the exit status."""
    parser = build_parser()
    prog = parser.prog
    try:
        # The demonstration parses its own options: the rest of the line goes to it.
        arguments, rest = parser.parse_known_args(argv)
        if arguments.command is None:  # bare `barometra`: the demonstration
            arguments, rest = parser.parse_known_args(["demo", *rest])
        if rest and arguments.command != "demo":
            parser.error(f"unrecognized arguments: {' '.join(rest)}")
        arguments.rest = rest
        prog = arguments.prog
        status: int = arguments.run(arguments)
        sys.stdout.flush()
        return status
    except CommandError as error:
        return _fail(str(error), error.status)
    except KeyboardInterrupt:
        return _fail(f"{prog}: interrupted", 130)
    except BrokenPipeError:
        # The reader left (| head): no more output, and no complaint at exit.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except (BarometraError, ValueError, TypeError, ArithmeticError, NotImplementedError,
            OSError) as error:
        return _fail(f"{prog}: error: {as_flags(_one_line(error))}", 1)


def _one_line(error: BaseException) -> str:
    return " ".join(str(error).split()) or type(error).__name__


def _fail(message: str, status: int) -> int:
    print(message, file=sys.stderr)
    return status
