"""The making of the model classes from the engine's model table."""

from __future__ import annotations

from collections.abc import Mapping

from ._base import EngineModel
from ._table import MODELS, ModelInfo, QuantityInfo

PUBLIC_MODULE = "barometra.eos"


def _shared_quantities(models: list[ModelInfo], every: bool) -> tuple[QuantityInfo, ...]:
    """The quantities of every model (or, with ``every``, of any), in table order."""
    found: dict[str, QuantityInfo] = {}
    for model in models:
        for quantity in model.quantities:
            found.setdefault(quantity.name, quantity)
    if not every:
        for model in models:
            names = {quantity.name for quantity in model.quantities}
            found = {name: quantity for name, quantity in found.items() if name in names}
    return tuple(found.values())


def make_classes(families: Mapping[str, type[EngineModel]]) -> dict[str, type[EngineModel]]:
    """Each model class of the table under its name and its aliases, in table
    order; the family bases get the methods their models share first."""
    for family, base in families.items():
        models = [model for model in MODELS if model.family == family]
        base._add_quantity_methods(_shared_quantities(models, base._every_quantity_on_base))
    classes: dict[str, type[EngineModel]] = {}
    for model in MODELS:
        namespace = {"__slots__": (), "__module__": PUBLIC_MODULE,
                     "__qualname__": model.class_name}
        cls = type(model.class_name, (families[model.family],), namespace, model=model)
        classes[model.class_name] = cls
        classes |= dict.fromkeys(model.aliases, cls)
    return classes
