"""What the commands share: their error, their common options and their output."""

from __future__ import annotations

import argparse
import json
import sys
from collections.abc import Mapping
from typing import Any, NoReturn, TypeVar

import numpy as np

from .. import eos
from ..eos._base import EngineModel

_Model = TypeVar("_Model", bound=EngineModel)


class CommandError(Exception):
    """A failure the command line reports as one line, with its exit status."""

    def __init__(self, message: str, *, status: int = 1) -> None:
        super().__init__(message)
        self.status = status


class OneLineParser(argparse.ArgumentParser):
    """argparse with its usage errors as one line, raised rather than printed."""

    def error(self, message: str) -> NoReturn:
        raise CommandError(f"{self.prog}: error: {message} (see {self.prog} --help)", status=2)


def output_options() -> argparse.ArgumentParser:
    """The options every command takes: --json and --progress."""
    options = argparse.ArgumentParser(add_help=False)
    options.add_argument("--json", action="store_true",
                         help="print one JSON object instead of a table")
    options.add_argument("--progress", action="store_const", const=True, default=None,
                         help="report slow operations on stderr even when it is not a terminal")
    return options


def model_classes(base: type[_Model]) -> dict[str, type[_Model]]:
    """The models of :mod:`barometra.eos` derived from ``base``, by the engine's lower-case
    name (the name of its constructor)."""
    return {cls._engine_constructor: cls for cls in vars(eos).values()
            if isinstance(cls, type) and issubclass(cls, base) and cls is not base}


def model_names(classes: dict[str, type[_Model]], hyphens: bool = False) -> dict[str, type[_Model]]:
    """Every name a command line accepts for the models, lower-case: the engine's
    constructor names (the keys of ``classes``), and the class names, model names
    and aliases; with ``hyphens``, "_" written "-"."""
    names = {name.lower(): cls for cls in classes.values()
             for name in (cls.__name__, cls.model_name, *cls._aliases)}
    names |= classes
    return {name.replace("_", "-"): cls for name, cls in names.items()} if hyphens else names


def parse_assignments(texts: list[str], option: str, prog: str) -> dict[str, float]:
    """``NAME=VALUE`` words as a dict of floats; a usage error for anything else."""
    parameters: dict[str, float] = {}
    for text in texts:
        name, equals, value = text.partition("=")
        name = name.strip()
        if not equals or not name:
            raise CommandError(f"{prog}: error: {option} {text!r} is not NAME=VALUE", status=2)
        if name in parameters:
            raise CommandError(f"{prog}: error: {option} {name} is given twice", status=2)
        try:
            parameters[name] = float(value)
        except ValueError:
            raise CommandError(f"{prog}: error: {option} {name}={value}: "
                               f"{value!r} is not a number", status=2) from None
    return parameters


def print_table(title: str, columns: Mapping[str, Any]) -> None:
    """Columns of floats, each in its shortest exact form, under a '#' title line."""
    texts = {name: [repr(float(x)) for x in np.ravel(values)] for name, values in columns.items()}
    widths = {name: max([len(name), *map(len, cells)]) for name, cells in texts.items()}
    lines = [f"# {title}", "  ".join(name.rjust(widths[name]) for name in texts)]
    lines += ["  ".join(cells[row].rjust(widths[name]) for name, cells in texts.items())
              for row in range(len(next(iter(texts.values()))))]
    sys.stdout.write("\n".join(lines) + "\n")


def print_json(document: Mapping[str, Any]) -> None:
    sys.stdout.write(json.dumps(document, ensure_ascii=False, indent=2) + "\n")
