"""The ``barometra`` command line (also ``python -m barometra``).

One subcommand per module of this package, each with an ``add_parser``
that registers it. Failures are one line on stderr and a non-zero exit
status: 2 for a command line that cannot be used, 1 for a computation that
failed; never a traceback.
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Sequence
from typing import NoReturn

from ..errors import BarometraError
from . import evaluate
from .common import CommandError

# "fit FILE ..." and "demo" join here once they work end to end.
COMMANDS = (evaluate,)


class _Parser(argparse.ArgumentParser):
    """argparse with its usage errors as one line, raised rather than printed."""

    def error(self, message: str) -> NoReturn:
        raise CommandError(f"{self.prog}: error: {message} (see {self.prog} --help)", status=2)


def build_parser() -> argparse.ArgumentParser:
    parser = _Parser(prog="barometra",
                     description="Equations of state of solids at high pressure and temperature.")
    commands = parser.add_subparsers(title="commands", dest="command", metavar="COMMAND")
    for command in COMMANDS:
        command.add_parser(commands)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Run the command line on ``argv`` (``sys.argv[1:]`` by default); the exit status."""
    parser = build_parser()
    prog = parser.prog
    try:
        arguments = parser.parse_args(argv)
        if arguments.command is None:
            parser.error("a command is needed")
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
        return _fail(f"{prog}: error: {_one_line(error)}", 1)


def _one_line(error: BaseException) -> str:
    return " ".join(str(error).split()) or type(error).__name__


def _fail(message: str, status: int) -> int:
    print(message, file=sys.stderr)
    return status
