"""What the commands share: their error, their common options and their output."""

from __future__ import annotations

import argparse
import json
import sys
import textwrap
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


def cli_name(name: str) -> str:
    """The command line's one spelling of a model name: lower case, words joined by "-"
    (the engine's "_" is accepted too, and read as this)."""
    return name.lower().replace("_", "-")


def model_names(classes: dict[str, type[_Model]]) -> dict[str, type[_Model]]:
    """Every name a command line accepts for the models, in :func:`cli_name` spelling:
    the engine's constructor names (the keys of ``classes``), and the class names, model
    names and aliases."""
    names = {cli_name(name): cls for cls in classes.values()
             for name in (cls.__name__, cls.model_name, *cls._aliases)}
    return names | {cli_name(name): cls for name, cls in classes.items()}


def find_model(text: str, classes: dict[str, type[_Model]], kind: str, prog: str
               ) -> type[_Model]:
    """The model class a command line names; a usage error listing the known names."""
    cls = model_names(classes).get(cli_name(text))
    if cls is None:
        raise CommandError(f"{prog}: error: unknown {kind} {text!r}; known: "
                           f"{known_models(classes)}", status=2)
    return cls


def known_models(classes: dict[str, type[_Model]]) -> str:
    return ", ".join(sorted(map(cli_name, classes)))


def models_epilog(kind: str, classes: dict[str, type[_Model]]) -> str:
    """The models' names as a paragraph of a command's help."""
    return textwrap.fill(f"{kind}: {known_models(classes)}", width=79, subsequent_indent="  ",
                         break_on_hyphens=False)


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
