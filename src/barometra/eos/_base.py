"""The value semantics shared by every public model, and the making of a
model class from the engine's table.

A model is named by its class and its keyword parameters (with the units
its family takes: see ``_unit_keywords``), and holds the engine object built
from them once, at construction; equality, hashing, ``repr``, pickling and
``replace`` all work on the parameters and units alone. A
family (isothermal, thermal, Hugoniot) is a subclass that says how its
engine is called; each model class is made from its entry of the engine's
model table (``model=`` in the class statement), which gives its names,
parameters, quantities and documentation.
"""

from __future__ import annotations

import functools
import inspect
from collections.abc import Mapping
from types import MappingProxyType
from typing import Any, ClassVar, TypeVar

from .._arrays import real_parameter
from ._docs import add_parameter_sections
from ._methods import EngineCall, quantity_method
from ._table import REQUIRED, ModelInfo, ParameterInfo, QuantityInfo

_Model = TypeVar("_Model", bound="EngineModel")

__all__ = ["EngineModel", "real_parameter"]


class EngineModel:
    """Base of the model classes: immutable keyword-parameter values over one engine object."""

    __slots__ = ("_values", "_engine", "_unit_values")

    #: The engine's name of the model, for example ``"BM3"``.
    model_name: ClassVar[str]
    # The model's entry of the engine's table, and what it gives the class.
    _model: ClassVar[ModelInfo]
    _engine_constructor: ClassVar[str]
    _aliases: ClassVar[tuple[str, ...]] = ()
    # The family's engine class and how it evaluates a quantity; its units.
    _engine_class: ClassVar[Any]
    _engine_call: ClassVar[EngineCall]
    _units: ClassVar[str] = ""
    # Whether the family base has the methods of every quantity any model has,
    # rather than of those every model has.
    _every_quantity_on_base: ClassVar[bool] = False
    # The method of an engine quantity, where its name is not the quantity's.
    _method_names: ClassVar[Mapping[str, str]] = MappingProxyType({})
    # The parameter names in the engine's order; set by each concrete class.
    _parameter_names: ClassVar[tuple[str, ...]] = ()
    # Values of the parameters that may be left out.
    _parameter_defaults: ClassVar[Mapping[str, Any]] = MappingProxyType({})
    # The engine's fitting name of each numeric parameter (barometra.fit's mapping).
    _native_names: ClassVar[Mapping[str, str]] = MappingProxyType({})
    # Constants of the material or the model (atoms per formula unit, a reference
    # temperature) that a fit keeps fixed unless asked to vary them.
    _fit_constants: ClassVar[frozenset[str]] = frozenset()
    # The keywords that name the model's units, all None by default; a family
    # that has them checks them in _convert_units.
    _unit_keywords: ClassVar[tuple[str, ...]] = ()

    _values: tuple[Any, ...]
    _engine: Any
    _unit_values: tuple[Any, ...]

    def __init_subclass__(cls, model: ModelInfo | None = None, **kwargs: Any) -> None:
        super().__init_subclass__(**kwargs)
        if model is not None:
            cls._take_model(model)
        if "_parameter_names" in vars(cls):
            # What help() and inspect.signature() show instead of (**parameters).
            cls.__signature__ = inspect.Signature(  # type: ignore[attr-defined]
                [inspect.Parameter(name, inspect.Parameter.KEYWORD_ONLY,
                                   default=cls._parameter_defaults.get(name,
                                                                       inspect.Parameter.empty))
                 for name in cls._parameter_names]
                + [inspect.Parameter(name, inspect.Parameter.KEYWORD_ONLY, default=None)
                   for name in cls._unit_keywords])

    @classmethod
    def _take_model(cls, model: ModelInfo) -> None:
        cls._model = model
        cls.model_name = model.model_name
        cls._engine_constructor = model.constructor
        cls._aliases = model.aliases
        parameters = model.parameters
        cls._parameter_names = tuple(parameter.name for parameter in parameters)
        cls._parameter_defaults = MappingProxyType({
            parameter.name: parameter.default for parameter in parameters
            if parameter.default is not REQUIRED})
        cls._native_names = MappingProxyType({
            parameter.name: parameter.native for parameter in parameters
            if parameter.native is not None})
        cls._fit_constants = frozenset(parameter.name for parameter in parameters
                                       if parameter.constant)
        cls._add_quantity_methods(model.quantities)
        doc = f"{model.summary}\n\n{model.details}" if model.details else model.summary
        cls.__doc__ = add_parameter_sections(
            doc, cls._parameter_names,
            {parameter.name: cls._parameter_type(parameter) for parameter in parameters},
            {parameter.name: parameter.description for parameter in parameters}, cls._units)

    @classmethod
    def _add_quantity_methods(cls, quantities: tuple[QuantityInfo, ...]) -> None:
        """A method on this class for each quantity that it does not inherit."""
        for quantity in quantities:
            name = cls._method_names.get(quantity.name, quantity.name)
            if not hasattr(cls, name):
                method = quantity_method(name, quantity.arguments, cls._engine_call,
                                         cls._method_doc(quantity), cls._keywords(quantity),
                                         quantity.name, cls._optional_states(quantity))
                method.__qualname__ = f"{cls.__qualname__}.{name}"
                setattr(cls, name, method)

    @classmethod
    def _optional_states(cls, quantity: QuantityInfo) -> tuple[tuple[str, int], ...]:
        """The optional state values of a quantity, each with the index of the
        parameter that gives its default."""
        if not quantity.defaults:
            return ()
        natives = [parameter.native for parameter in cls._model.parameters]
        optional = quantity.arguments[len(quantity.arguments) - len(quantity.defaults):]
        return tuple(zip(optional, map(natives.index, quantity.defaults)))

    @classmethod
    def _engine_quantity(cls, method: str) -> str:
        """The engine's quantity that a method evaluates."""
        return next((quantity for quantity, name in cls._method_names.items() if name == method),
                    method)

    @classmethod
    def _method_doc(cls, quantity: QuantityInfo) -> str:
        """The docstring of a quantity's method; each family writes its own."""
        return f"The engine's quantity {quantity.name}."

    @classmethod
    def _keywords(cls, quantity: QuantityInfo) -> tuple[tuple[str, Any], ...]:
        """Keyword-only parameters of a quantity's method beyond its state values."""
        return ()

    @classmethod
    def _parameter_type(cls, parameter: ParameterInfo) -> str:
        """The type its docstring gives a parameter."""
        if parameter.options:
            return "str"
        if parameter.default is None:
            return "float or None"
        return "float" if parameter.default is REQUIRED else "float, optional"

    def __init__(self, *args: object, **parameters: Any) -> None:
        cls = type(self)
        if not cls._parameter_names:
            raise TypeError(f"{cls.__name__} is abstract: build one of its subclasses")
        if args:
            raise TypeError(f"{cls.__name__}() takes keyword parameters only "
                            f"({len(args)} positional given); {cls._accepted()}")
        cls._check_names(parameters, f"{cls.__name__}()")
        given_units = {name: parameters.pop(name) for name in cls._unit_keywords
                       if name in parameters}
        parameters = {**cls._parameter_defaults, **parameters}
        missing = [name for name in cls._parameter_names if name not in parameters]
        if missing:
            raise TypeError(f"{cls.__name__}() missing parameter "
                            f"{', '.join(map(repr, missing))}; {cls._accepted()}")
        values = tuple(cls._convert_parameter(name, parameters[name])
                       for name in cls._parameter_names)
        unit_values = cls._convert_units(given_units, values)
        engine = cls._build_engine(values, unit_values)
        object.__setattr__(self, "_values", values)
        object.__setattr__(self, "_engine", engine)
        object.__setattr__(self, "_unit_values", unit_values)

    @classmethod
    def _accepted(cls) -> str:
        units = f" (units: {', '.join(cls._unit_keywords)})" if cls._unit_keywords else ""
        return f"accepted parameters: {', '.join(cls._parameter_names)}{units}"

    @classmethod
    def _check_names(cls, parameters: dict[str, Any], caller: str) -> None:
        unknown = [name for name in parameters
                   if name not in cls._parameter_names and name not in cls._unit_keywords]
        if unknown:
            raise TypeError(f"{caller} got unknown parameter "
                            f"{', '.join(map(repr, unknown))}; {cls._accepted()}")

    @classmethod
    def _convert_parameter(cls, name: str, value: object) -> Any:
        """The stored form of one parameter; real numbers unless a subclass says otherwise."""
        return real_parameter(cls.__name__, name, value)

    @classmethod
    def _convert_units(cls, given: dict[str, Any], values: tuple[Any, ...]) -> tuple[Any, ...]:
        """The stored units, in the order of ``_unit_keywords``, from those given."""
        return ()

    @classmethod
    def _build_engine(cls, values: tuple[Any, ...], unit_values: tuple[Any, ...]) -> Any:
        return getattr(cls._engine_class, cls._engine_constructor)(*values)

    @property
    def parameters(self) -> dict[str, Any]:
        """The parameters, by name in the constructor's notation (a new dict each time)."""
        return dict(zip(self._parameter_names, self._values))

    @property
    def _native_engine(self) -> Any:
        """The engine object, which computes in the engine's units."""
        return self._engine

    @property
    def _volume_scale(self) -> float:
        """The engine's volume unit per unit of this model's volumes."""
        return 1.0

    def _unit_arguments(self) -> dict[str, Any]:
        """The unit keywords that rebuild this model: those not at their default."""
        return {name: value for name, value in zip(self._unit_keywords, self._unit_values)
                if value != self._default_unit(name)}

    def _default_unit(self, name: str) -> Any:
        return None

    def replace(self: _Model, **changes: Any) -> _Model:
        """A new model of the same class with some parameters changed.

        Like :func:`dataclasses.replace`: the model itself never changes.
        The new model is validated again, as at construction.
        """
        type(self)._check_names(changes, f"{type(self).__name__}.replace()")
        return type(self)(**{**self.parameters, **self._unit_arguments(), **changes})

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError(f"{type(self).__name__} is immutable: use replace() "
                             "for a model with other parameters")

    def __delattr__(self, name: str) -> None:
        raise AttributeError(f"{type(self).__name__} is immutable")

    def __eq__(self, other: object) -> bool:
        if type(other) is not type(self):
            return NotImplemented
        return self._values == other._values and self._unit_values == other._unit_values

    def __hash__(self) -> int:
        return hash((type(self), self._values, self._unit_values))

    def __repr__(self) -> str:
        arguments = ", ".join(f"{name}={value!r}" for name, value in
                              {**self.parameters, **self._unit_arguments()}.items())
        return f"{type(self).__name__}({arguments})"

    def __reduce__(self) -> tuple[Any, ...]:
        # Rebuilt through the constructor, so the receiving process validates
        # the parameters and builds its own engine object.
        return (functools.partial(type(self), **self.parameters, **self._unit_arguments()), ())

    def __copy__(self: _Model) -> _Model:
        return self

    def __deepcopy__(self: _Model, memo: dict[int, Any]) -> _Model:
        return self
