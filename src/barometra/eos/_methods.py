"""One factory for the methods of every model family: a method per quantity.

The three engine classes evaluate a quantity in one of two ways: ``RtEos``
has a method pair per operation (``pressure_scalar``/``pressure_array``),
``ThermalEos`` and ``HugoniotEos`` take the quantity's name
(``evaluate_scalar("pressure", ...)``). An :class:`EngineCall` says which;
:func:`quantity_method` makes the public method: floats go straight to the
scalar method and float64 arrays of one shape straight to the array method,
anything else through :func:`barometra._arrays.evaluate`.
The method is compiled from source, as :mod:`dataclasses` does, so that it
has the state values' own names as parameters (``pressure(volume)``,
``volume(pressure, temperature)``) and costs one call.
"""

from __future__ import annotations

import keyword
from collections.abc import Callable
from dataclasses import dataclass
from typing import Any

import numpy as np

from .._arrays import evaluate, real_parameter

# Marks a keyword-only parameter without a default.
KEYWORD_REQUIRED: Any = object()


@dataclass(frozen=True)
class EngineCall:
    """How a family's engine evaluates a quantity.

    ``scalar`` and ``array`` name the engine methods, ``{}`` standing for the
    quantity (``"{}_scalar"``); ``named`` passes the quantity's name first;
    ``arity`` is the number of state values the engine takes, a quantity of
    fewer repeating its first in the unused places.
    """

    scalar: str
    array: str
    named: bool
    arity: int


def quantity_method(name: str, arguments: tuple[str, ...], call: EngineCall, doc: str,
                    keywords: tuple[tuple[str, Any], ...] = (),
                    quantity: str | None = None,
                    optional: tuple[tuple[str, int], ...] = ()) -> Callable[..., Any]:
    """The method ``name(self, *arguments, *, **keywords)`` that evaluates one quantity,
    the engine's ``quantity`` (by default ``name``).

    Each keyword is a real number passed to the engine after the state
    values; its default is ``KEYWORD_REQUIRED`` when it has none. The last
    state values may be ``optional``: each pairs an argument with the index
    of the model parameter whose value it takes when None or not given.
    """
    quantity = name if quantity is None else quantity
    for identifier in (name, quantity, *arguments, *(word for word, _ in keywords)):
        if not identifier.isidentifier() or keyword.iskeyword(identifier):
            raise ValueError(f"{identifier!r} cannot name a method or a parameter")
    inputs = arguments + (arguments[0],) * (call.arity - len(arguments))
    before = f"{quantity!r}, " if call.named else ""
    values = ", ".join(inputs)
    extra = "".join(f", {word}" for word, _ in keywords)
    fast = " and ".join(f"type({argument}) is float" for argument in arguments)
    # float64 arrays of one shape, what the engine takes as they are.
    distinct = list(dict.fromkeys(inputs))
    ready = " and ".join([*(f"type({value}) is _ndarray and {value}.dtype is _FLOAT64"
                            for value in distinct),
                          *(f"{value}.shape == {inputs[0]}.shape" for value in distinct[1:]),
                          f"{inputs[0]}.ndim"])
    defaults = dict(optional)
    signature = ", ".join(("self", *(f"{argument}=None" if argument in defaults else argument
                                     for argument in arguments)))
    if keywords:
        signature += ", *, " + ", ".join(
            word if default is KEYWORD_REQUIRED else f"{word}=_default_{word}"
            for word, default in keywords)
    lines = [f"def {name}({signature}):"]
    for argument, index in optional:
        lines += [f"    if {argument} is None:", f"        {argument} = self._values[{index}]"]
    lines += [f"    {word} = _real({name!r}, {word!r}, {word})" for word, _ in keywords]
    scalar, array = call.scalar.format(quantity), call.array.format(quantity)
    lines += [
        "    engine = self._engine",
        f"    if {fast}:",
        f"        return engine.{scalar}({before}{values}{extra})",
        f"    if {ready}:",
        f"        return engine.{array}({before}{values}{extra})",
        f"    return _evaluate(engine.{scalar}, engine.{array}, ({values},), {inputs!r},",
        f"                     ({before}), ({extra.removeprefix(', ')}{',' if keywords else ''}))",
    ]
    namespace: dict[str, Any] = {"_evaluate": evaluate, "_real": real_parameter,
                                 "_ndarray": np.ndarray, "_FLOAT64": np.dtype(np.float64)}
    namespace |= {f"_default_{word}": default for word, default in keywords}
    exec("\n".join(lines), namespace)  # noqa: S102  (identifiers checked above)
    method: Callable[..., Any] = namespace[name]
    method.__doc__ = doc
    method.__annotations__ = {**{argument: "npt.ArrayLike | None" if argument in defaults
                                 else "npt.ArrayLike" for argument in arguments},
                              **{word: "float" for word, _ in keywords},
                              "return": "float | FloatArray"}
    method.is_quantity_method = True  # type: ignore[attr-defined]  # for the stubs
    return method
