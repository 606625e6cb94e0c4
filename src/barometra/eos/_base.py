"""The value semantics shared by every public model.

A model is named by its class and its keyword parameters, and holds the
engine object built from them once, at construction; equality, hashing,
``repr``, pickling and ``replace`` all work on the parameters alone. Later
model kinds (thermal models, whose parameters include an isothermal model)
reuse this class through its two hooks, ``_convert_parameter`` and
``_build_engine``.
"""

from __future__ import annotations

import functools
import inspect
from collections.abc import Mapping
from types import MappingProxyType
from typing import Any, ClassVar, TypeVar

import numpy as np

_Model = TypeVar("_Model", bound="EngineModel")


def real_parameter(owner: str, name: str, value: object) -> float:
    """``value`` as a float, for a real number only: a string is refused, not parsed."""
    if type(value) is float:
        return value
    if (
        isinstance(value, (str, bytes))
        or (isinstance(value, np.ndarray) and value.ndim != 0)
        or not hasattr(value, "__float__") and not hasattr(value, "__index__")
    ):
        raise TypeError(f"{owner}() parameter {name!r} must be a real number, "
                        f"not {type(value).__name__}")
    return float(value)  # type: ignore[arg-type]


class EngineModel:
    """Base of the model classes: immutable keyword-parameter values over one engine object."""

    __slots__ = ("_values", "_engine")

    # The parameter names in the engine's order; set by each concrete class.
    _parameter_names: ClassVar[tuple[str, ...]] = ()
    # Values of the parameters that may be left out.
    _parameter_defaults: ClassVar[Mapping[str, Any]] = MappingProxyType({})

    _values: tuple[Any, ...]
    _engine: Any

    def __init_subclass__(cls, **kwargs: Any) -> None:
        super().__init_subclass__(**kwargs)
        if "_parameter_names" in vars(cls):
            # What help() and inspect.signature() show instead of (**parameters).
            cls.__signature__ = inspect.Signature(  # type: ignore[attr-defined]
                [inspect.Parameter(name, inspect.Parameter.KEYWORD_ONLY,
                                   default=cls._parameter_defaults.get(name,
                                                                       inspect.Parameter.empty))
                 for name in cls._parameter_names])

    def __init__(self, *args: object, **parameters: Any) -> None:
        cls = type(self)
        if not cls._parameter_names:
            raise TypeError(f"{cls.__name__} is abstract: build one of its subclasses")
        if args:
            raise TypeError(f"{cls.__name__}() takes keyword parameters only "
                            f"({len(args)} positional given); {cls._accepted()}")
        cls._check_names(parameters, f"{cls.__name__}()")
        parameters = {**cls._parameter_defaults, **parameters}
        missing = [name for name in cls._parameter_names if name not in parameters]
        if missing:
            raise TypeError(f"{cls.__name__}() missing parameter "
                            f"{', '.join(map(repr, missing))}; {cls._accepted()}")
        values = tuple(cls._convert_parameter(name, parameters[name])
                       for name in cls._parameter_names)
        engine = cls._build_engine(values)
        object.__setattr__(self, "_values", values)
        object.__setattr__(self, "_engine", engine)

    @classmethod
    def _accepted(cls) -> str:
        return f"accepted parameters: {', '.join(cls._parameter_names)}"

    @classmethod
    def _check_names(cls, parameters: dict[str, Any], caller: str) -> None:
        unknown = [name for name in parameters if name not in cls._parameter_names]
        if unknown:
            raise TypeError(f"{caller} got unknown parameter "
                            f"{', '.join(map(repr, unknown))}; {cls._accepted()}")

    @classmethod
    def _convert_parameter(cls, name: str, value: object) -> Any:
        """The stored form of one parameter; real numbers unless a subclass says otherwise."""
        return real_parameter(cls.__name__, name, value)

    @classmethod
    def _build_engine(cls, values: tuple[Any, ...]) -> Any:
        raise NotImplementedError

    @property
    def parameters(self) -> dict[str, Any]:
        """The parameters, by name in the constructor's notation (a new dict each time)."""
        return dict(zip(self._parameter_names, self._values))

    def replace(self: _Model, **changes: Any) -> _Model:
        """A new model of the same class with some parameters changed.

        Like :func:`dataclasses.replace`: the model itself never changes.
        The new model is validated again, as at construction.
        """
        type(self)._check_names(changes, f"{type(self).__name__}.replace()")
        return type(self)(**{**self.parameters, **changes})

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError(f"{type(self).__name__} is immutable: use replace() "
                             "for a model with other parameters")

    def __delattr__(self, name: str) -> None:
        raise AttributeError(f"{type(self).__name__} is immutable")

    def __eq__(self, other: object) -> bool:
        if type(other) is not type(self):
            return NotImplemented
        return self._values == other._values

    def __hash__(self) -> int:
        return hash((type(self), self._values))

    def __repr__(self) -> str:
        arguments = ", ".join(f"{name}={value!r}" for name, value in self.parameters.items())
        return f"{type(self).__name__}({arguments})"

    def __reduce__(self) -> tuple[Any, ...]:
        # Rebuilt through the constructor, so the receiving process validates
        # the parameters and builds its own engine object.
        return (functools.partial(type(self), **self.parameters), ())

    def __copy__(self: _Model) -> _Model:
        return self

    def __deepcopy__(self: _Model, memo: dict[int, Any]) -> _Model:
        return self
