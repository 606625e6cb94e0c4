"""The engine's model table, read once into typed records.

``barometra._engine.model_table`` lists every model class of this package:
its names, its parameters (with their engine names, defaults, options and
descriptions), the quantities it evaluates and its documentation. The
classes of :mod:`barometra.eos` and the command line's model choices are
built from it; nothing here repeats it.
"""

from __future__ import annotations

from collections.abc import Mapping
from dataclasses import dataclass
from typing import Any

from .._engine import model_table

# The default of a parameter the constructor requires.
REQUIRED: Any = object()


@dataclass(frozen=True)
class ParameterInfo:
    """One constructor parameter of a model class."""

    name: str
    native: str | None      # the engine's fitting name; None for options and the reference
    description: str
    constant: bool          # held fixed by fits unless the caller varies it
    default: Any            # REQUIRED, a float, a str or None
    options: tuple[str, ...]  # the strings an option accepts; empty for numbers


@dataclass(frozen=True)
class QuantityInfo:
    """One quantity a model evaluates, and the state values it takes.

    The last ``len(defaults)`` state values are optional: each defaults to
    the value of the model parameter whose native name ``defaults`` gives.
    """

    name: str
    arguments: tuple[str, ...]
    defaults: tuple[str, ...] = ()


@dataclass(frozen=True)
class ModelInfo:
    """One model class: what the engine publishes of it."""

    family: str             # "isothermal", "thermal" or "hugoniot"
    constructor: str        # the engine's static constructor
    model_name: str         # the engine's name of the model
    class_name: str
    aliases: tuple[str, ...]
    summary: str
    details: str
    parameters: tuple[ParameterInfo, ...]
    quantities: tuple[QuantityInfo, ...]
    reference_model: str | None  # the model name a thermal reference must have


def _parameter(entry: Mapping[str, Any]) -> ParameterInfo:
    return ParameterInfo(entry["name"], entry["native"], entry["description"],
                         entry["constant"], entry.get("default", REQUIRED),
                         tuple(entry["options"]))


def _model(entry: Mapping[str, Any]) -> ModelInfo:
    return ModelInfo(
        entry["family"], entry["constructor"], entry["model_name"], entry["class_name"],
        tuple(entry["aliases"]), entry["summary"], entry["details"],
        tuple(_parameter(parameter) for parameter in entry["parameters"]),
        tuple(QuantityInfo(name, tuple(arguments), tuple(defaults))
              for name, arguments, defaults in entry["quantities"]),
        entry["reference_model"])


MODELS: tuple[ModelInfo, ...] = tuple(_model(entry) for entry in model_table)
