"""The model classes, made at import from the engine's model table.

What they are for a type checker is in ``_models.pyi``, written from these
classes by ``python -m barometra.eos._stubs``.
"""

from ._classes import make_classes
from ._hugoniot import Hugoniot
from ._isothermal import IsothermalEos
from ._thermal import ThermalEos

_CLASSES = make_classes({"isothermal": IsothermalEos, "thermal": ThermalEos,
                         "hugoniot": Hugoniot})
globals().update(_CLASSES)

__all__ = ["IsothermalEos", "ThermalEos", *_CLASSES]
