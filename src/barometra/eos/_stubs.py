"""Writes ``_models.pyi``, what a type checker knows of the model classes.

The classes are made at import from the engine's model table, so a type
checker cannot see them; this module writes their stub from the classes
themselves (``python -m barometra.eos._stubs`` rewrites the file, and a test
checks that it is up to date). A model added to the engine's table needs
nothing else from Python.
"""

from __future__ import annotations

import inspect
import pathlib
from collections.abc import Callable, Iterator
from typing import Any

from . import _models
from ._base import EngineModel

STUB = pathlib.Path(__file__).with_name("_models.pyi")

_HEADER = '''\
"""The model classes of barometra.eos, for type checkers.

Written by ``python -m barometra.eos._stubs`` from the classes, which are
made from the engine's model table: do not edit.
"""

from typing import ClassVar, overload

import numpy.typing as npt

from .._arrays import FloatArray
from ._base import EngineModel
'''


def _parameter_type(cls: type[EngineModel], name: str) -> str:
    if name == "reference":
        return "IsothermalEos"
    if name in getattr(cls, "_option_names", ()):
        return "str"
    return "float | None" if cls._parameter_defaults.get(name, 0.0) is None else "float"


_UNIT_TYPES = {"formula_units": "int | None"}


def _constructor(cls: type[EngineModel]) -> str:
    parameters = [f"{name}: {_parameter_type(cls, name)}"
                  + (" = ..." if name in cls._parameter_defaults else "")
                  for name in cls._parameter_names]
    parameters += [f"{name}: {_UNIT_TYPES.get(name, 'str | None')} = ..."
                   for name in cls._unit_keywords]
    return f"    def __init__(self, *, {', '.join(parameters)}) -> None: ..."


def _quantity_method(name: str, method: Callable[..., Any]) -> Iterator[str]:
    """Overloads: floats give a float, anything else an array."""
    signature = inspect.signature(method)
    states = [p.name for p in signature.parameters.values()
              if p.kind is p.POSITIONAL_OR_KEYWORD and p.name != "self"]
    keywords = "".join(f", {p.name}: {method.__annotations__.get(p.name, 'float')}"
                       + (" = ..." if p.default is not p.empty else "")
                       for p in signature.parameters.values() if p.kind is p.KEYWORD_ONLY)
    keywords = keywords.replace(", ", ", *, ", 1) if keywords else ""
    for kind, result in (("float", "float"), ("npt.ArrayLike", "FloatArray")):
        arguments = ", ".join(
            f"{state}: {kind}" + ("" if signature.parameters[state].default is
                                  signature.parameters[state].empty else " | None = ...")
            for state in states)
        yield "    @overload"
        yield f"    def {name}(self, {arguments}{keywords}) -> {result}: ..."


def _members(cls: type, inherited: bool) -> Iterator[str]:
    """The public members a stub needs: annotated class variables, properties and methods."""
    classes = [base for base in cls.__mro__ if base is not EngineModel
               and issubclass(base, EngineModel)] if inherited else [cls]
    seen: set[str] = set()
    for owner in reversed(classes):
        for name, annotation in vars(owner).get("__annotations__", {}).items():
            if not name.startswith("_") and name not in seen and "ClassVar" in annotation:
                seen.add(name)
                yield f"    {name}: {annotation}"
    for owner in reversed(classes):
        for name, member in vars(owner).items():
            if name.startswith("_") or name in seen:
                continue
            seen.add(name)
            if isinstance(member, property) and member.fget is not None:
                result = member.fget.__annotations__.get("return", "object")
                yield f"    @property\n    def {name}(self) -> {result}: ..."
            elif getattr(member, "is_quantity_method", False):
                yield from _quantity_method(name, member)


def stub() -> str:
    """The text of ``_models.pyi`` for the classes as they are."""
    names = "".join(f'    "{name}",\n' for name in _models.__all__)
    lines = [_HEADER, f"__all__ = [\n{names}]", ""]
    written: dict[type, str] = {}
    for name in _models.__all__:
        cls = getattr(_models, name)
        if cls in written:
            lines.append(f"{name} = {written[cls]}\n")
            continue
        written[cls] = name
        # A family base that is not public takes its methods into each model.
        base = cls.__bases__[0]
        public_base = base in written
        lines.append(f"class {name}({base.__name__ if public_base else 'EngineModel'}):")
        body = list(_members(cls, inherited=not public_base and "_model" in vars(cls)))
        if "_model" in vars(cls):
            body.insert(0, _constructor(cls))
        lines += [*(body or ["    ..."]), ""]
    return "\n".join(lines).rstrip() + "\n"


if __name__ == "__main__":
    STUB.write_text(stub(), encoding="utf-8")
    print(f"wrote {STUB}")
